#include "providers/workspace.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

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

// A Fmt element in the text of the format list: its start tag at `start`,
// its content from `content` to `content_end`, its end tag ending at `end`
// (for an empty-element tag all three are the end of the tag). Full: a Key,
// content that is not blank, and no Fmt above or below it.
struct FormatSpan {
  std::size_t start = 0;
  std::size_t content = 0;
  std::size_t content_end = 0;
  std::size_t end = 0;
  bool keyed = false;
  bool full = false;
};

// The Fmt elements of the text in document order, and the text with the
// content of each full one taken out.
struct FormatScan {
  std::vector<FormatSpan> spans;
  std::string stubbed;
};

bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Whether a format's text could parse differently on its own than inside
// the file: a document type (entities), namespaces, preserved space, or an
// encoding other than UTF-8.
bool PiecesMayDiffer(std::string_view text) {
  // Searched from a byte that is rare in the markup ('<' starts every tag).
  for (std::size_t at = text.find("!DOCTYPE"); at != std::string_view::npos;
       at = text.find("!DOCTYPE", at + 1)) {
    if (at > 0 && text[at - 1] == '<') return true;
  }
  for (std::string_view marker : {"xmlns", "xml:space"}) {
    if (text.find(marker) != std::string_view::npos) return true;
  }
  if (text.find('\0') != std::string_view::npos) return true;
  if (text.starts_with("<?xml")) {
    const std::string declaration(text.substr(0, text.find("?>")));
    const std::size_t encoding = declaration.find("encoding");
    return encoding != std::string::npos &&
           UpperCase(declaration.substr(encoding)).find("UTF-8") == std::string::npos;
  }
  return false;
}

// The bytes that stop the walk through a start tag other than a format's:
// its end and the quotes around attribute values.
constexpr std::array<bool, 256> MakeTagStops() {
  std::array<bool, 256> stops{};
  stops['>'] = true;
  stops['"'] = true;
  stops['\''] = true;
  return stops;
}
constexpr std::array<bool, 256> kTagStops = MakeTagStops();

// Where the end tag of a format whose content starts at `from` begins, found
// by stepping from '<' to '<' when the content holds no comment, CDATA
// section, processing instruction or other format: every '<' in it then
// starts a tag (attribute values hold none), and the first "</Fmt" closes
// the format. Nothing when the content holds one of those; the markup is
// then read tag by tag. Whether the tags in between are well formed is left
// to the parse of the piece.
std::optional<std::size_t> FormatEndTag(std::string_view text, std::size_t from) {
  const char* const bytes = text.data();
  for (std::size_t at = from; at < text.size(); ++at) {
    const void* next = std::memchr(bytes + at, '<', text.size() - at);
    if (!next) return std::nullopt;
    at = static_cast<std::size_t>(static_cast<const char*>(next) - bytes);
    const std::string_view rest = text.substr(at + 1);
    if (rest.starts_with("/Fmt")) {
      if (rest.size() > 4 && (rest[4] == '>' || IsXmlBlank(rest[4]))) return at;
      return std::nullopt;
    }
    if (rest.starts_with("Fmt") || rest.starts_with('!') || rest.starts_with('?')) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// Finds the Fmt elements by reading the markup: comments, CDATA sections
// and processing instructions skipped, attribute values read between their
// quotes. Nothing when the pieces may parse differently (PiecesMayDiffer)
// or the text is not the markup expected; the file is then parsed whole.
// Only a format's start tag is read attribute by attribute (for its Key);
// any other is passed over to its '>' outside quotes, which in well-formed
// markup is its end: a tag that is not well formed is left for the parse
// of the piece holding it to refuse.
std::optional<FormatScan> ScanFormats(std::string_view text) {
  if (PiecesMayDiffer(text)) return std::nullopt;
  FormatScan scan;
  struct Open {
    bool is_format;
    std::size_t span;
  };
  std::vector<Open> open;
  std::size_t at = 0;
  const char* const bytes = text.data();
  const std::size_t size = text.size();
  const auto skip_past = [&](std::string_view end) {
    const std::size_t found = text.find(end, at);
    if (found == std::string_view::npos) return false;
    at = found + end.size();
    return true;
  };
  const auto skip_blanks = [&](std::size_t from) {
    while (from < size && IsXmlBlank(bytes[from])) ++from;
    return from;
  };
  const auto name_end = [&](std::size_t from) {
    while (from < size && !IsXmlBlank(bytes[from]) && bytes[from] != '/' && bytes[from] != '>' &&
           bytes[from] != '=') {
      ++from;
    }
    return from;
  };
  for (;;) {
    // (Tags mostly follow one another: the next '<' is the next byte.)
    if (at >= size) break;
    if (bytes[at] != '<') {
      const void* next = std::memchr(bytes + at, '<', size - at);
      if (!next) break;
      at = static_cast<std::size_t>(static_cast<const char*>(next) - bytes);
    }
    const std::string_view rest = text.substr(at);
    const char second = rest.size() >= 2 ? rest[1] : '\0';
    if (second == '/') {
      if (open.empty()) return std::nullopt;
      const std::size_t tag = at;
      // (An end tag is short: its '>' is stepped to.)
      std::size_t close = at + 2;
      while (close < size && bytes[close] != '>') ++close;
      if (close >= size) return std::nullopt;
      at = close + 1;
      if (open.back().is_format) {
        FormatSpan& span = scan.spans[open.back().span];
        span.content_end = tag;
        span.end = at;
        span.full =
            span.full && std::any_of(text.begin() + static_cast<std::ptrdiff_t>(span.content),
                                     text.begin() + static_cast<std::ptrdiff_t>(tag),
                                     [](char c) { return !IsXmlBlank(c); });
      }
      open.pop_back();
    } else if (second == '!' || second == '?') {
      if (rest.starts_with("<!--")) {
        if (!skip_past("-->")) return std::nullopt;
      } else if (rest.starts_with("<![CDATA[")) {
        if (!skip_past("]]>")) return std::nullopt;
      } else if (second == '?') {
        if (!skip_past("?>")) return std::nullopt;
      } else {
        return std::nullopt;
      }
    } else {
      const std::size_t tag = at;
      std::size_t cursor = name_end(at + 1);
      const std::string_view name = text.substr(at + 1, cursor - at - 1);
      if (name.empty()) return std::nullopt;
      const bool is_format = name == "Fmt";
      bool keyed = false;
      bool empty_element = false;
      if (is_format) {
        for (;;) {
          cursor = skip_blanks(cursor);
          if (cursor >= size) return std::nullopt;
          if (bytes[cursor] == '>') break;
          if (text.substr(cursor).starts_with("/>")) {
            empty_element = true;
            ++cursor;
            break;
          }
          const std::size_t attribute_end = name_end(cursor);
          if (attribute_end == cursor) return std::nullopt;
          keyed = keyed || text.substr(cursor, attribute_end - cursor) == "Key";
          cursor = skip_blanks(attribute_end);
          if (cursor >= size || bytes[cursor] != '=') return std::nullopt;
          cursor = skip_blanks(cursor + 1);
          if (cursor >= size || (bytes[cursor] != '"' && bytes[cursor] != '\'')) {
            return std::nullopt;
          }
          const std::size_t close = text.find(bytes[cursor], cursor + 1);
          if (close == std::string_view::npos) return std::nullopt;
          cursor = close + 1;
        }
      } else {
        for (;;) {
          while (cursor < size && !kTagStops[static_cast<unsigned char>(bytes[cursor])]) ++cursor;
          if (cursor >= size) return std::nullopt;
          const char stop = bytes[cursor];
          if (stop == '>') break;
          // Values are short: stepped over byte by byte.
          ++cursor;
          while (cursor < size && bytes[cursor] != stop) ++cursor;
          if (cursor >= size) return std::nullopt;
          ++cursor;
        }
        empty_element = bytes[cursor - 1] == '/';
      }
      at = cursor + 1;
      if (is_format) {
        // A format inside another makes neither full.
        bool nested = false;
        for (const Open& outer : open) {
          if (!outer.is_format) continue;
          scan.spans[outer.span].full = false;
          nested = true;
        }
        scan.spans.push_back({tag, at, at, at, keyed, keyed && !empty_element && !nested});
        // The content of a full format, most of the text, is passed over
        // when it can be.
        FormatSpan& span = scan.spans.back();
        const std::optional<std::size_t> end_tag =
            span.full ? FormatEndTag(text, at) : std::nullopt;
        const std::size_t close = end_tag ? skip_blanks(*end_tag + 5) : size;
        if (close < size && bytes[close] == '>') {
          span.content_end = *end_tag;
          span.end = close + 1;
          span.full = std::any_of(text.begin() + static_cast<std::ptrdiff_t>(span.content),
                                  text.begin() + static_cast<std::ptrdiff_t>(span.content_end),
                                  [](char c) { return !IsXmlBlank(c); });
          at = span.end;
          continue;
        }
      }
      if (!empty_element) open.push_back({is_format, scan.spans.size() - 1});
    }
  }
  if (!open.empty()) return std::nullopt;
  std::size_t copied = 0;
  for (const FormatSpan& span : scan.spans) {
    if (!span.full) continue;
    scan.stubbed.append(text.substr(copied, span.content - copied));
    copied = span.content_end;
  }
  scan.stubbed.append(text.substr(copied));
  return scan;
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
  const bool formats = list == WorkspaceList::kFormats;
  const std::optional<FileStamp> before = formats ? StampOf(file) : std::nullopt;
  std::optional<std::string> text = ReadFile(file);
  xml::Node root;
  if (text && formats) {
    // The file read is the one stamped when the stamp is the same after the
    // read and its size is that of the text.
    const std::optional<FileStamp> after = StampOf(file);
    m_formats_stamp.reset();
    if (before && after && *before == *after && after->size == text->size()) {
      m_formats_stamp = after;
    }
    root = LoadFormats(file, *text);
  } else if (text) {
    root = ParseFile(file, *text, list_file.root);
    NormaliseKeys(list, root);
    // Detached, so that "/BMk[...]" on the list selects its entries.
    root.ParentNode().RemoveChild(root);
  } else {
    root = xml::Document::Create().CreateElement(list_file.root);
  }
  slot = root;
  return slot;
}

xml::Node Workspace::LoadFormats(const fs::path& file, const std::string& text) {
  m_formats.clear();
  // The full formats parsed one by one and the list from the text without
  // them: the same trees as one parse of the file, the list holding stubs.
  // When a piece does not parse, the file is parsed whole, which reports
  // the fault as it is in the file.
  std::optional<FormatScan> scan = ScanFormats(text);
  std::vector<xml::Node> pieces;
  xml::Node root;
  if (scan) {
    ResumeNext resume;
    resume.Step([&] {
      for (const FormatSpan& span : scan->spans) {
        if (!span.full) continue;
        xml::Node format =
            xml::Document::Parse(std::string_view(text).substr(span.start, span.end - span.start))
                .DocumentElement();
        format.ParentNode().RemoveChild(format);
        pieces.push_back(format);
      }
      root = xml::Document::Parse(scan->stubbed).DocumentElement();
    });
    if (resume.IsErrorPending() || !root || root.Name() != "Formats") scan.reset();
  }
  // The pieces pair with the list's keyed formats in document order.
  xml::NodeList keyed;
  std::vector<const FormatSpan*> keyed_spans;
  if (scan) {
    keyed = NormaliseKeys(WorkspaceList::kFormats, root);
    for (const FormatSpan& span : scan->spans) {
      if (span.keyed) keyed_spans.push_back(&span);
    }
    if (keyed_spans.size() != keyed.Length()) scan.reset();
  }
  if (!scan) {
    pieces.clear();
    keyed_spans.clear();
    root = ParseFile(file, text, "Formats");
    keyed = NormaliseKeys(WorkspaceList::kFormats, root);
  }
  std::size_t next_piece = 0;
  for (std::size_t i = 0; i < keyed.Length(); ++i) {
    const xml::Node& element = keyed.Item(i);
    StoredFormat format;
    format.element = element;
    if (scan && keyed_spans[i]->full) {
      format.parsed = pieces.at(next_piece++);
      // Blank text alone parses to a format without children: a stub too.
      if (format.parsed.HasChildNodes()) {
        format.parsed.SetAttribute("Key", element.AttributeOr("Key", ""));
        const FormatSpan& span = *keyed_spans[i];
        format.offset = span.start;
        format.length = span.end - span.start;
      } else {
        format.parsed = xml::Node();
      }
    }
    // The first full format of a key wins; a full one replaces a stub met earlier.
    auto [entry, added] = m_formats.try_emplace(element.AttributeOr("Key", ""));
    StoredFormat& stored = entry->second;
    if (added || (format.IsFull() && !stored.IsFull())) stored = std::move(format);
  }
  // Detached, so that "/Fmt[...]" on the list selects its entries.
  root.ParentNode().RemoveChild(root);
  return root;
}

xml::Node Workspace::FormatCopy(const std::string& upper_key) {
  List(WorkspaceList::kFormats);
  auto found = m_formats.find(upper_key);
  if (found == m_formats.end()) return {};
  StoredFormat& format = found->second;
  // The format parsed with the list goes to the first caller; later ones
  // get its text read from the file and parsed again.
  if (format.parsed) return std::exchange(format.parsed, xml::Node());
  if (format.length == 0) return DetachedCopy(format.element);
  const std::optional<std::string> text = ReadFormatText(format);
  if (!text) return FormatFromFile(upper_key);
  xml::Node copy;
  ResumeNext resume;
  resume.Step([&] { copy = xml::Document::Parse(*text).DocumentElement(); });
  // (A piece that parsed with the list and no longer does: the file changed
  // within the same size and write time.)
  if (resume.IsErrorPending() || !copy || copy.Name() != "Fmt") return FormatFromFile(upper_key);
  copy.ParentNode().RemoveChild(copy);
  copy.SetAttribute("Key", format.element.AttributeOr("Key", ""));
  return copy;
}

std::optional<Workspace::FileStamp> Workspace::StampOf(const fs::path& file) {
  std::error_code code;
  FileStamp stamp;
  stamp.size = fs::file_size(file, code);
  if (code) return std::nullopt;
  stamp.written = fs::last_write_time(file, code);
  if (code) return std::nullopt;
  return stamp;
}

std::optional<std::string> Workspace::ReadFormatText(const StoredFormat& format) const {
  if (!m_formats_stamp) return std::nullopt;
  const fs::path file =
      m_folder / kListFiles[static_cast<std::size_t>(WorkspaceList::kFormats)].file;
  if (StampOf(file) != m_formats_stamp) return std::nullopt;
  std::ifstream stream(file, std::ios::binary);
  std::string text(format.length, '\0');
  if (!stream.seekg(static_cast<std::streamoff>(format.offset)) ||
      !stream.read(text.data(), static_cast<std::streamsize>(text.size()))) {
    return std::nullopt;
  }
  // Unchanged while it was read, too.
  if (StampOf(file) != m_formats_stamp) return std::nullopt;
  return text;
}

xml::Node Workspace::FormatFromFile(const std::string& upper_key) {
  const fs::path file =
      m_folder / kListFiles[static_cast<std::size_t>(WorkspaceList::kFormats)].file;
  std::optional<std::string> text = ReadFile(file);
  if (!text) RaiseFileProblem(file, "was removed while its formats were in use");
  const xml::Node root = ParseFile(file, *text, "Formats");
  text.reset();
  // As LoadFormats picks: the first full format of the key, else its first stub.
  xml::Node stub;
  for (const xml::Node& element : NormaliseKeys(WorkspaceList::kFormats, root)) {
    if (element.AttributeOr("Key", "") != upper_key) continue;
    if (element.HasChildNodes()) return DetachedCopy(element);
    if (!stub) stub = element;
  }
  return DetachedCopy(stub);
}

xml::Node Workspace::DataColumnPart(const char* name) {
  xml::Node root = List(WorkspaceList::kDataColumns);
  xml::Node part = root.SelectSingleNode(name);
  if (!part) part = root.AppendChild(root.OwnerDocument().CreateElement(name));
  return part;
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
