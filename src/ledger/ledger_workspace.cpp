#include "ledger/ledger_workspace.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "orvo/error.h"

namespace orvo::ledger {
namespace {

constexpr const char* kSource = "OpenWorkspace";

}  // namespace

std::string ReadWorkspaceFile(const std::string& path, const char* source) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    RaiseError(source, "Workspace file '" + path + "' does not exist");
  }
  std::ifstream stream(path, std::ios::binary);
  if (!stream) RaiseError(source, "Workspace file '" + path + "' cannot be read");
  std::ostringstream text;
  text << stream.rdbuf();
  if (stream.bad()) RaiseError(source, "Workspace file '" + path + "' cannot be read");
  return text.str();
}

LedgerLocation LocateLedger(const xml::Node& launch_properties) {
  if (!launch_properties) RaiseError(kSource, "No launch properties: the workspace is unknown");
  xml::Node element = launch_properties;
  if (element.Type() == xml::NodeType::kDocument) {
    element = xml::Document(launch_properties).DocumentElement();
  }
  std::optional<std::string> folder;
  if (element) folder = element.GetAttribute("Workspace");
  if (!folder && element) {
    xml::Node child = element.SelectSingleNode("Workspace");
    if (child) folder = child.Text();
  }
  if (!folder || folder->empty()) {
    RaiseError(kSource, "The launch properties name no workspace (attribute Workspace)");
  }
  return LocateLedgerInFolder(*folder);
}

LedgerLocation LocateLedgerInFolder(const std::string& workspace_folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(workspace_folder, error)) {
    RaiseError(kSource, "Workspace folder '" + workspace_folder + "' does not exist");
  }
  std::filesystem::path folder(workspace_folder);
  std::string file = (folder / "workspace.xml").string();
  std::string text = ReadWorkspaceFile(file, kSource);

  xml::Document document;
  ResumeNext resume;
  resume.Step([&] { document = xml::Document::Parse(text); });
  if (resume.IsErrorPending()) {
    const Error& failure = *resume.Pending();
    RaiseFailure(failure.Number(), failure.Source(),
                 "Workspace file '" + file + "' is malformed: " + failure.Description());
  }
  xml::Node root = document.DocumentElement();
  if (!root || root.Name() != "Workspace") {
    RaiseError(kSource, "Workspace file '" + file + "' has no Workspace element");
  }
  std::optional<std::string> ledger = root.GetAttribute("Ledger");
  if (!ledger || ledger->empty()) {
    RaiseError(kSource, "Workspace file '" + file + "' names no ledger (attribute Ledger)");
  }

  LedgerLocation location;
  location.workspace_folder = workspace_folder;
  std::filesystem::path ledger_path(*ledger);
  location.ledger_path = (ledger_path.is_absolute() ? ledger_path : folder / ledger_path).string();
  if (std::optional<std::string> period = root.GetAttribute("CurrentPeriod")) {
    int value = 0;
    auto [end, status] = std::from_chars(period->data(), period->data() + period->size(), value);
    if (status != std::errc() || end != period->data() + period->size() || value < 0) {
      RaiseError(kSource,
                 "Workspace file '" + file + "' has an invalid CurrentPeriod '" + *period + "'");
    }
    location.current_period = value;
  }
  return location;
}

}  // namespace orvo::ledger
