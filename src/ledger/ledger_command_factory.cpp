#include "ledger/ledger_command_factory.h"

#include "frame/launch_properties.h"
#include "ledger/ledger_command.h"
#include "orvo/error.h"

namespace orvo::ledger {

CLedgerCommandFactory::CLedgerCommandFactory()
    : m_session(
          std::make_shared<CLedgerSession>([] { return LocateLedger(GetLaunchProperties()); })) {}

void CLedgerCommandFactory::Init(const xml::Node& launch_properties) {
  // A private copy: the caller's node may change or go away.
  xml::Node copy = CopyLaunchProperties(launch_properties);
  m_session->Relocate([copy] { return LocateLedger(copy); });
}

void CLedgerCommandFactory::OpenWorkspace(const std::string& workspace_folder) {
  m_session->Relocate([workspace_folder] { return LocateLedgerInFolder(workspace_folder); });
}

std::shared_ptr<ICommand> CLedgerCommandFactory::CreateCommand(std::int32_t,
                                                               const std::string& name) {
  std::optional<LedgerFunction> function = FindLedgerFunction(name);
  if (!function) RaiseError("CreateCommand", "Unknown data-driver function '" + name + "'");
  return std::make_shared<CLedgerCommand>(*function, m_session);
}

}  // namespace orvo::ledger
