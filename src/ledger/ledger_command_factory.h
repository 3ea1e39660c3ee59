// The ledger data driver's command factory, registered under kCommandFactoryId
// ("OrvoLedger.CCommandFactory").
//
// It finds its workspace, on first use, from the last Init (a
// launch-properties node) or OpenWorkspace (a folder) call, or, without
// either, from the calling thread's launch-properties node
// (<LaunchProperties Workspace="DIR"/>).
// The ledger file is opened read-only when the first command runs; in WAL
// mode every command until the next Refresh_DDKFunction reads one snapshot
// (docs/ledger.md, "Reading while a host writes").
//
// Threading: a factory and its commands belong to one thread.
#ifndef ORVO_LEDGER_LEDGER_COMMAND_FACTORY_H_
#define ORVO_LEDGER_LEDGER_COMMAND_FACTORY_H_

#include <memory>
#include <string>

#include "ledger/ledger_session.h"
#include "orvo/data_driver.h"
#include "orvo/providers.h"

namespace orvo::ledger {

class CLedgerCommandFactory : public IDriverCommandFactory {
 public:
  CLedgerCommandFactory();

  // Takes the workspace from a launch-properties node (a deep copy is kept).
  void Init(const xml::Node& launch_properties) override;
  // Takes the workspace folder directly.
  void OpenWorkspace(const std::string& workspace_folder);

  // Unknown function names raise a failure naming the function.
  std::shared_ptr<ICommand> CreateCommand(std::int32_t kind, const std::string& name) override;

 private:
  std::shared_ptr<CLedgerSession> m_session;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_COMMAND_FACTORY_H_
