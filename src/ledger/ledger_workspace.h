// Finding the ledger of a workspace from the launch-properties node:
//   <LaunchProperties Workspace="DIR"/>  ->  DIR/workspace.xml
//   <Workspace CurrentPeriod="12" Ledger="ledger.sqlite" .../>  ->  DIR/ledger.sqlite
// workspace.xml is read by the workspace reader of the reference providers
// (providers/workspace.h), so a broken workspace fails here with the same
// number, source and text as everywhere else (docs/workspace.md). It is read
// afresh on every call: the driver locates its ledger again after Refresh.
#ifndef ORVO_LEDGER_LEDGER_WORKSPACE_H_
#define ORVO_LEDGER_LEDGER_WORKSPACE_H_

#include <optional>
#include <string>

#include "orvo/xml.h"

namespace orvo::ledger {

struct LedgerLocation {
  std::string workspace_folder;
  std::string ledger_path;
  // The workspace's CurrentPeriod, when it states one.
  std::optional<int> current_period;
};

// Reads the workspace folder named by the launch-properties node. Raises a
// failure naming the folder or file when the node names no workspace, the
// folder or workspace.xml is missing, or workspace.xml is malformed.
LedgerLocation LocateLedger(const xml::Node& launch_properties);

// The same, from the workspace folder itself.
LedgerLocation LocateLedgerInFolder(const std::string& workspace_folder);

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_WORKSPACE_H_
