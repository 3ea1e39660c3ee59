// A workspace folder as the reference components read it: the settings file
// workspace.xml (required) and one XML file per definition list (optional; a
// missing file is an empty list). The layout is described in docs/workspace.md.
//
// Invariants:
//   * Nothing is ever written: files are read whole and parsed from memory
//     (no external entities), each at most once per Workspace object, on
//     first use (but for the pieces of formats.xml that FormatCopy reads
//     again instead of keeping them in memory). workspace.xml is read before any list file, so a
//     missing or broken workspace is reported first, whatever is asked.
//   * Lookup keys (`Key` of Rep, Fmt, BMk, Nrg and DC, the text of ItemKey)
//     are upper-cased in memory when a file is loaded, so lookups in upper
//     case find hand-written lower-case keys too.
//   * Every problem is a failure with number 1, source "Workspace" and a
//     description naming the folder or file.
//
// Threading: a Workspace and the nodes it hands out belong to one thread.
// Open shares one object per folder among the components alive on a thread.
#ifndef ORVO_PROVIDERS_WORKSPACE_H_
#define ORVO_PROVIDERS_WORKSPACE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "frame/int16.h"
#include "frame/text.h"
#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo::providers {

// The list files of a workspace.
enum class WorkspaceList {
  kReports,      // reports.xml: <Reports> of Rep
  kFormats,      // formats.xml: <Formats> with Fmt descendants
  kStyles,       // styles.xml: <Styles> of named style records
  kBookmarks,    // bookmarks.xml: <BookmarkDefinitions> of BMk
  kNamedRanges,  // named_ranges.xml: <NamedRangeDefinitions> of Nrg
  kChartMap,     // chart_map.xml: <ChartMap> of folders
  kDataColumns,  // data_columns.xml: <DataColumns> with Definitions and Configurations
};
inline constexpr std::size_t kWorkspaceListCount = 7;

// What workspace.xml says.
struct WorkspaceSettings {
  Int16 current_period = 1;
  bool current_period_given = false;  // the file states CurrentPeriod
  bool storage_mode = false;
  std::filesystem::path ledger;  // absolute
  std::optional<PrinterMargins> printer;
};

class Workspace {
 public:
  // The folder named by the `Workspace` attribute of the launch-properties
  // element, made absolute against the current directory; empty when the
  // node is Nothing or names none.
  static std::filesystem::path FolderOf(const xml::Node& launch_properties);
  // That attribute's text as written ("" when there is none).
  static std::string FolderTextOf(const xml::Node& launch_properties);

  // The same, raising when the launch properties name no workspace.
  static std::filesystem::path RequiredFolderOf(const xml::Node& launch_properties);

  // The workspace of the launch properties: the object another component on
  // this thread already holds for that folder, or a new one. Raises when the
  // launch properties name no workspace. Touches no file.
  static std::shared_ptr<Workspace> Open(const xml::Node& launch_properties);

  // Reads the settings of the workspace in `folder` now, as Settings() does
  // once: the folder and workspace.xml are checked with the same failures.
  // For components that read the settings again on every reopening.
  static WorkspaceSettings ReadSettings(const std::filesystem::path& folder);

  explicit Workspace(std::filesystem::path folder);
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const std::filesystem::path& Folder() const noexcept { return m_folder; }

  // workspace.xml, read on first use. Raises when the folder or the file is
  // missing, the file is malformed or a value is out of range.
  const WorkspaceSettings& Settings();

  // The top element of a list file, detached from its document so that a
  // query starting with "/" ("/BMk[@Key='X']") means the list itself; an
  // empty element of the file's root name when the file is absent.
  //
  // In the format list every full format (a Fmt with a Key and child nodes,
  // and no Fmt above or below it) is a stub: the element with its attributes
  // only. Its content is kept as text, a tenth of its parsed size, and
  // FormatCopy parses it on request; the library's own lookup asks the
  // format provider for the full format of a stub. A library of tens of
  // thousands of rows would otherwise stay parsed, beside the copy a build
  // works on, for as long as the workspace is open. Only where the content
  // lies in the file is kept, not the text: FormatCopy reads the piece again
  // when asked a second time.
  xml::Node List(WorkspaceList list);

  // The data-column definitions and configurations: the `Definitions` and
  // `Configurations` children of data_columns.xml (created empty when absent).
  xml::Node DataColumnPart(const char* name);

  // A detached copy, in a document of its own that the caller may change, of
  // the first full Fmt (one with child nodes) anywhere in formats.xml whose
  // Key is `upper_key`, else of the first stub with that Key, else Nothing.
  // The library looks formats up in the format library itself and asks for
  // the full format only when it found a stub.
  //
  // The first request for a full format gets the tree parsed with the list;
  // a later one reads the format's piece of formats.xml again. When the file
  // has changed since the list was read (size or write time), the format is
  // taken from a parse of the file as it is now.
  xml::Node FormatCopy(const std::string& upper_key);
  // The DC configuration whose Key is `upper_key`, or Nothing.
  xml::Node FindDataColumnConfiguration(const std::string& upper_key);

 private:
  using KeyIndex = std::unordered_map<std::string, xml::Node>;
  // A format of the index: its element in the list; for a full format made
  // a stub, where its text lies in formats.xml and, until the first
  // FormatCopy, its parsed tree.
  struct StoredFormat {
    xml::Node element;
    std::size_t offset = 0;
    std::size_t length = 0;  // 0: not a stub of a full format
    xml::Node parsed;
    bool IsFull() const { return length != 0 || element.HasChildNodes(); }
  };
  // What tells formats.xml as it was read from a changed one.
  struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written;
    bool operator==(const FileStamp&) const = default;
  };
  // The size and write time of `file`; nothing when they cannot be had.
  static std::optional<FileStamp> StampOf(const std::filesystem::path& file);
  using FormatIndex = std::unordered_map<std::string, StoredFormat>;

  // Reads the format list from the text of formats.xml (see List) and
  // indexes it into m_formats.
  xml::Node LoadFormats(const std::filesystem::path& file, const std::string& text);
  // The text of a stub's full format read again from formats.xml; nothing
  // when the file is no longer the one the list was read from.
  std::optional<std::string> ReadFormatText(const StoredFormat& format) const;
  // The format of `upper_key` as a parse of formats.xml as it is now holds it.
  xml::Node FormatFromFile(const std::string& upper_key);

  std::filesystem::path m_folder;
  std::optional<WorkspaceSettings> m_settings;
  std::array<xml::Node, kWorkspaceListCount> m_lists;
  // Hash indexes for the keyed lookups: formats built with the list,
  // configurations on their first use.
  FormatIndex m_formats;
  // formats.xml as it was when its list was read; nothing when it changed
  // while being read.
  std::optional<FileStamp> m_formats_stamp;
  std::optional<KeyIndex> m_configurations;
};

// A detached deep copy of `node` in a new document: the caller may change it
// without touching the workspace's copy.
xml::Node DetachedCopy(const xml::Node& node);

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_WORKSPACE_H_
