// A workspace folder written by a test into a fresh temporary directory and
// removed afterwards.
#ifndef ORVO_TESTS_SUPPORT_TEMP_WORKSPACE_H_
#define ORVO_TESTS_SUPPORT_TEMP_WORKSPACE_H_

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "orvo/xml.h"
#include "support/on_new_thread.h"

namespace orvo::testing {

namespace fs = std::filesystem;

class TempWorkspace {
 public:
  TempWorkspace() {
    std::string pattern = (fs::temp_directory_path() / "orvo_ws_XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_folder = pattern;
  }
  ~TempWorkspace() {
    std::error_code ignored;
    fs::permissions(m_folder, fs::perms::owner_all, ignored);
    fs::remove_all(m_folder, ignored);
  }
  TempWorkspace(const TempWorkspace&) = delete;
  TempWorkspace& operator=(const TempWorkspace&) = delete;

  const fs::path& Folder() const { return m_folder; }

  void Write(const std::string& file, const std::string& text) const {
    std::ofstream(m_folder / file, std::ios::binary) << text;
  }

  xml::Node LaunchProperties() const { return LaunchPropertiesFor(m_folder.string()); }

  static xml::Node LaunchPropertiesFor(const std::string& folder) {
    xml::Document document = xml::Document::Create();
    xml::Node element = document.CreateElement("LaunchProperties");
    element.SetAttribute("Workspace", folder);
    document.SetDocumentElement(element);
    return element;
  }

  // Every entry's name, kind, time and content: equal snapshots mean nothing
  // was created, changed or removed.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(m_folder)) {
      std::ostringstream description;
      description << entry.is_directory() << ':'
                  << entry.last_write_time().time_since_epoch().count() << ':';
      if (entry.is_regular_file()) {
        std::ifstream stream(entry.path(), std::ios::binary);
        description << stream.rdbuf();
      }
      entries[fs::relative(entry.path(), m_folder).string()] = description.str();
    }
    return entries;
  }

  // A small complete workspace, keys partly in lower case as a hand-edited
  // workspace might have them.
  void WriteStandard() const {
    Write("workspace.xml",
          "<Workspace CurrentPeriod='7' StorageMode='0' Ledger='books/ledger.sqlite'>"
          "<Printer Top='20' Bottom='25.5' Left='15' Right='0'/></Workspace>");
    Write("reports.xml",
          "<Reports><Rep Key='income'><Grps/><Hdrs/><Bdys/><Ftrs/>"
          "<PgSetup Ovr='1' Bottom='!' Left='!' Right='!' Top='!'/></Rep>"
          "<Rep Key='BALANCE'/></Reports>");
    Write("formats.xml",
          "<Formats><Catalogue><Fmt Key='IS_MAIN' Name='Stub'/></Catalogue>"
          "<Folder Name='Statements'>"
          "<Fmt Key='is_main' Name='Income statement' MRow='1' MCol='2'><Itms><Row>"
          "<Itm Key='A1' Row='1' Col='1' Value='Revenue'/></Row></Itms></Fmt>"
          "</Folder><Fmt Key='IS_MAIN' Name='Shadowed duplicate'/></Formats>");
    Write("styles.xml", "<Styles><Stl Name='TOTAL' Hier='' SKey='1'/></Styles>");
    Write("bookmarks.xml",
          "<BookmarkDefinitions><BMk Key='note1' Fmt='IS_MAIN' Row='3' Note='-1'/>"
          "</BookmarkDefinitions>");
    Write("named_ranges.xml",
          "<NamedRangeDefinitions><Nrg Key='Sales' Fmt='IS_MAIN'/></NamedRangeDefinitions>");
    Write("chart_map.xml",
          "<ChartMap><Folder><ItemKey>revenue</ItemKey>"
          "<Range From='4000' To='4999' Step='1' Credit='-1' Debit='-1'/>"
          "<Folder><ItemKey>Other</ItemKey><Mapping Name='REVENUE'/></Folder></Folder></ChartMap>");
    Write("data_columns.xml",
          "<DataColumns><Definitions><DC ID='1' Name='Actual'/></Definitions>"
          "<Configurations><DC Key='monthly' Name='Monthly'/></Configurations></DataColumns>");
  }

 private:
  fs::path m_folder;
};

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_TEMP_WORKSPACE_H_
