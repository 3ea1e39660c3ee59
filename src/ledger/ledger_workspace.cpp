#include "ledger/ledger_workspace.h"

#include "providers/workspace.h"

namespace orvo::ledger {

LedgerLocation LocateLedger(const xml::Node& launch_properties) {
  return LocateLedgerInFolder(providers::Workspace::RequiredFolderOf(launch_properties).string());
}

LedgerLocation LocateLedgerInFolder(const std::string& workspace_folder) {
  providers::WorkspaceSettings settings = providers::Workspace::ReadSettings(workspace_folder);
  LedgerLocation location;
  location.workspace_folder = workspace_folder;
  location.ledger_path = settings.ledger.string();
  if (settings.current_period_given) location.current_period = settings.current_period;
  return location;
}

}  // namespace orvo::ledger
