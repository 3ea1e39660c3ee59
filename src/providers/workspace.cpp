#include "providers/workspace.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>

#include "frame/thread_context.h"
#include "orvo/error.h"

namespace orvo::providers {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = "Workspace";
constexpr const char* kSettingsFile = "workspace.xml";
constexpr const char* kDefaultLedger = "ledger.sqlite";

struct ListFile {
  const char* file;
  const char* root;
};

// Indexed by WorkspaceList.
constexpr std::array<ListFile, kWorkspaceListCount> kListFiles = {{
    {"reports.xml", "Reports"},
    {"formats.xml", "Formats"},
    {"styles.xml", "Styles"},
    {"bookmarks.xml", "BookmarkDefinitions"},
    {"named_ranges.xml", "NamedRangeDefinitions"},
    {"chart_map.xml", "ChartMap"},
    {"data_columns.xml", "DataColumns"},
}};

[[noreturn]] void RaiseFileProblem(const fs::path& file, const std::string& problem) {
  RaiseError(kSource, "Workspace file '" + file.string() + "' " + problem);
}

// The whole file, or nothing when it does not exist.
std::optional<std::string> ReadFile(const fs::path& file) {
  std::error_code code;
  fs::file_status status = fs::status(file, code);
  if (status.type() == fs::file_type::not_found) return std::nullopt;
  if (code) RaiseFileProblem(file, "cannot be examined: " + code.message());
  if (!fs::is_regular_file(status)) RaiseFileProblem(file, "is not a regular file");
  std::ifstream stream(file, std::ios::binary);
  std::ostringstream text;
  if (stream) text << stream.rdbuf();
  if (!stream || stream.bad()) RaiseFileProblem(file, "cannot be read");
  return std::move(text).str();
}

// The document element of the parsed file, which must be named `root`.
xml::Node ParseFile(const fs::path& file, const std::string& text, const char* root) {
  xml::Document document;
  ResumeNext resume;
  resume.Step([&] { document = xml::Document::Parse(text); });
  if (resume.IsErrorPending()) {
    RaiseFileProblem(file, "is not well-formed XML (" + resume.Pending()->Description() + ")");
  }
  xml::Node element = document.DocumentElement();
  if (!element || element.Name() != root) {
    RaiseFileProblem(file, "must have the root element <" + std::string(root) + ">, not <" +
                               (element ? element.Name() : std::string()) + ">");
  }
  return element;
}

// Each returns the nodes it selected.
xml::NodeList UpperCaseAttributes(const xml::Node& root, const char* xpath, const char* attribute) {
  xml::NodeList nodes = root.SelectNodes(xpath);
  for (xml::Node node : nodes) {
    std::string value = node.AttributeOr(attribute, "");
    std::string upper = UpperCase(value);
    if (upper != value) node.SetAttribute(attribute, upper);
  }
  return nodes;
}

xml::NodeList UpperCaseTexts(const xml::Node& root, const char* xpath) {
  xml::NodeList nodes = root.SelectNodes(xpath);
  for (xml::Node node : nodes) {
    std::string value = node.Text();
    std::string upper = UpperCase(value);
    if (upper != value) node.SetText(upper);
  }
  return nodes;
}

// Stores lookup keys in upper case (see the header) and returns the keyed
// nodes. The queries use the descendant axis rather than ".//": the same
// nodes in the same order, but one walk of the tree instead of a child step
// from every node whose results are merged, several times dearer on a large
// format library.
xml::NodeList NormaliseKeys(WorkspaceList list, const xml::Node& root) {
  switch (list) {
    case WorkspaceList::kReports:
      return UpperCaseAttributes(root, "Rep[@Key]", "Key");
    case WorkspaceList::kFormats:
      return UpperCaseAttributes(root, "descendant::Fmt[@Key]", "Key");
    case WorkspaceList::kBookmarks:
      return UpperCaseAttributes(root, "BMk[@Key]", "Key");
    case WorkspaceList::kNamedRanges:
      return UpperCaseAttributes(root, "Nrg[@Key]", "Key");
    case WorkspaceList::kChartMap:
      return UpperCaseTexts(root, "descendant::ItemKey");
    case WorkspaceList::kDataColumns:
      return UpperCaseAttributes(root, "Configurations/DC[@Key]", "Key");
    case WorkspaceList::kStyles:
      break;
  }
  return {};
}

std::optional<std::int64_t> WholeNumber(const std::string& text) {
  std::int64_t value = 0;
  auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (code != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> Number(const std::string& text) {
  double value = 0;
  auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (code != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

double Margin(const fs::path& file, const xml::Node& printer, const char* side) {
  std::string text = printer.AttributeOr(side, "0");
  std::optional<double> margin = Number(text);
  if (!margin || *margin < 0 || *margin > 1000) {
    RaiseFileProblem(file, "has Printer " + std::string(side) + " \"" + text +
                               "\", which is not a margin in millimetres (0 to 1000)");
  }
  return *margin;
}

WorkspaceSettings ParseSettings(const fs::path& folder, const fs::path& file,
                                const xml::Node& element) {
  WorkspaceSettings settings;

  std::string period_text = element.AttributeOr("CurrentPeriod", "1");
  std::optional<std::int64_t> period = WholeNumber(period_text);
  if (!period || *period < 1 || *period > INT16_MAX) {
    RaiseFileProblem(file, "has CurrentPeriod \"" + period_text +
                               "\", which is not a period number from 1 to 32767");
  }
  settings.current_period = static_cast<Int16>(*period);
  settings.current_period_given = element.GetAttribute("CurrentPeriod").has_value();

  std::string mode_text = element.AttributeOr("StorageMode", "0");
  std::string mode = UpperCase(mode_text);
  if (mode == "0" || mode == "FALSE") {
    settings.storage_mode = false;
  } else if (mode == "-1" || mode == "1" || mode == "TRUE") {
    settings.storage_mode = true;
  } else {
    RaiseFileProblem(file, "has StorageMode \"" + mode_text + "\", which is not \"0\" or \"-1\"");
  }

  std::string ledger = element.AttributeOr("Ledger", kDefaultLedger);
  if (ledger.empty()) RaiseFileProblem(file, "names no Ledger file");
  settings.ledger = (folder / ledger).lexically_normal();

  if (xml::Node printer = element.SelectSingleNode("Printer")) {
    settings.printer =
        PrinterMargins{Margin(file, printer, "Top"), Margin(file, printer, "Bottom"),
                       Margin(file, printer, "Left"), Margin(file, printer, "Right")};
  }
  return settings;
}

}  // namespace

// The Workspace objects alive on this thread, by folder.
struct OpenWorkspaces {
  std::unordered_map<std::string, std::weak_ptr<Workspace>> by_folder;
};

xml::Node DetachedCopy(const xml::Node& node) {
  if (!node) return {};
  return xml::Document::Create().ImportNode(node, true);
}

std::string Workspace::FolderTextOf(const xml::Node& launch_properties) {
  if (!launch_properties) return {};
  xml::Node element = launch_properties;
  if (element.Type() == xml::NodeType::kDocument) {
    element = xml::Document(element).DocumentElement();
    if (!element) return {};
  }
  return element.AttributeOr("Workspace", "");
}

fs::path Workspace::FolderOf(const xml::Node& launch_properties) {
  const std::string folder = FolderTextOf(launch_properties);
  if (folder.empty()) return {};
  std::error_code code;
  fs::path absolute = fs::absolute(folder, code);
  return (code ? fs::path(folder) : absolute).lexically_normal();
}

fs::path Workspace::RequiredFolderOf(const xml::Node& launch_properties) {
  fs::path folder = FolderOf(launch_properties);
  if (folder.empty()) {
    RaiseError(kSource,
               "The launch properties name no workspace folder (attribute Workspace of the "
               "launch-properties element)");
  }
  return folder;
}

std::shared_ptr<Workspace> Workspace::Open(const xml::Node& launch_properties) {
  fs::path folder = RequiredFolderOf(launch_properties);
  auto& open = ThreadContext::Current().Workspaces().Get().by_folder;
  std::weak_ptr<Workspace>& slot = open[folder.string()];
  if (std::shared_ptr<Workspace> alive = slot.lock()) return alive;
  auto workspace = std::make_shared<Workspace>(folder);
  slot = workspace;
  std::erase_if(open, [](const auto& entry) { return entry.second.expired(); });
  return workspace;
}

Workspace::Workspace(fs::path folder) : m_folder(std::move(folder)) {}

const WorkspaceSettings& Workspace::Settings() {
  if (!m_settings) m_settings = ReadSettings(m_folder);
  return *m_settings;
}

WorkspaceSettings Workspace::ReadSettings(const fs::path& folder) {
  std::error_code code;
  fs::file_status status = fs::status(folder, code);
  if (status.type() == fs::file_type::not_found) {
    RaiseError(kSource, "Workspace folder '" + folder.string() + "' does not exist");
  }
  if (!fs::is_directory(status)) {
    RaiseError(kSource, "Workspace folder '" + folder.string() + "' is not a folder");
  }
  fs::path file = folder / kSettingsFile;
  std::optional<std::string> text = ReadFile(file);
  if (!text) RaiseFileProblem(file, "is missing (every workspace needs one)");
  return ParseSettings(folder, file, ParseFile(file, *text, "Workspace"));
}

xml::Node Workspace::List(WorkspaceList list) {
  auto index = static_cast<std::size_t>(list);
  xml::Node& slot = m_lists.at(index);
  if (slot) return slot;
  Settings();
  const ListFile& list_file = kListFiles[index];
  fs::path file = m_folder / list_file.file;
  std::optional<std::string> text = ReadFile(file);
  xml::Node root;
  xml::NodeList keyed;
  if (text) {
    root = ParseFile(file, *text, list_file.root);
    keyed = NormaliseKeys(list, root);
    // Detached, so that "/BMk[...]" on the list selects its entries.
    root.ParentNode().RemoveChild(root);
  } else {
    root = xml::Document::Create().CreateElement(list_file.root);
  }
  // The format index comes from the same walk as the keys' upper-casing.
  if (list == WorkspaceList::kFormats) m_formats = IndexFormats(keyed);
  slot = root;
  return slot;
}

xml::Node Workspace::DataColumnPart(const char* name) {
  xml::Node root = List(WorkspaceList::kDataColumns);
  xml::Node part = root.SelectSingleNode(name);
  if (!part) part = root.AppendChild(root.OwnerDocument().CreateElement(name));
  return part;
}

Workspace::KeyIndex Workspace::IndexFormats(const xml::NodeList& formats) {
  KeyIndex index;
  for (const xml::Node& format : formats) {
    auto [entry, added] = index.try_emplace(format.AttributeOr("Key", ""), format);
    // A full format replaces a stub (a Fmt without children) met earlier.
    if (!added && !entry->second.HasChildNodes()) entry->second = format;
  }
  return index;
}

xml::Node Workspace::FindFormat(const std::string& upper_key) {
  List(WorkspaceList::kFormats);
  auto found = m_formats.find(upper_key);
  return found == m_formats.end() ? xml::Node() : found->second;
}

xml::Node Workspace::FindDataColumnConfiguration(const std::string& upper_key) {
  if (!m_configurations) {
    KeyIndex index;
    for (const xml::Node& configuration :
         DataColumnPart("Configurations").SelectNodes("DC[@Key]")) {
      index.try_emplace(configuration.AttributeOr("Key", ""), configuration);
    }
    m_configurations = std::move(index);
  }
  auto found = m_configurations->find(upper_key);
  return found == m_configurations->end() ? xml::Node() : found->second;
}

}  // namespace orvo::providers
