// Finding the ledger of a workspace from the launch-properties node:
//   <LaunchProperties Workspace="DIR"/>  ->  DIR/workspace.xml
//   <Workspace CurrentPeriod="12" Ledger="ledger.sqlite" .../>  ->  DIR/ledger.sqlite
// Relative paths are taken from the process's current directory (the
// workspace folder) and from the workspace folder (the ledger file).
#ifndef ORVO_LEDGER_LEDGER_WORKSPACE_H_
#define ORVO_LEDGER_LEDGER_WORKSPACE_H_

#include <optional>
#include <string>

#include "orvo/xml.h"

namespace orvo::ledger {

struct LedgerLocation {
  std::string workspace_folder;
  std::string ledger_path;
  // The workspace's CurrentPeriod, when it gives one.
  std::optional<int> current_period;
};

// Reads the workspace folder named by the launch-properties node. Raises a
// failure naming the folder or file when the node names no workspace, the
// folder or workspace.xml is missing, or workspace.xml is malformed.
LedgerLocation LocateLedger(const xml::Node& launch_properties);

// The same, from the workspace folder itself.
LedgerLocation LocateLedgerInFolder(const std::string& workspace_folder);

// Reads a whole file; raises a failure naming it when it cannot be read.
std::string ReadWorkspaceFile(const std::string& path, const char* source);

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_WORKSPACE_H_
