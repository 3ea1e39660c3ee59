// Fuzz target: report definitions and formats through a whole CreatePreview.
//
// The input is one XML document (at most 256 KiB):
//
//   <Case>
//     <Reports> Rep and Fav entries: queued in order, and the stored reports </Reports>
//     <Formats> Fmt elements: the format library </Formats>
//     <BookmarkDefinitions/> <NamedRangeDefinitions/> <DataColumns/>   (optional)
//   </Case>
//
// Each input is written as a workspace and previewed on a thread of its
// own (launch properties and providers are per thread). Input that is not
// XML is passed over. Every outcome must be a preview, error values or a
// reported failure: no crash, no hang, no leak.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "orvo/error.h"
#include "orvo/preview_builder.h"
#include "orvo/xml.h"

namespace {

namespace fs = std::filesystem;

// A folder of this process for the workspace files, removed at exit.
class WorkspaceFolder {
 public:
  WorkspaceFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvo_fuzz_XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
  }
  ~WorkspaceFolder() {
    std::error_code ignored;
    if (!m_path.empty()) fs::remove_all(m_path, ignored);
  }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The child element of that name as the file's text, or an empty list.
std::string ListText(const orvo::xml::Node& input, const char* name, const char* empty) {
  for (orvo::xml::Node child = input.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == orvo::xml::NodeType::kElement && child.Name() == name) return child.Xml();
  }
  return empty;
}

void Preview(const fs::path& folder, const orvo::xml::Node& input) {
  WriteFile(folder / "workspace.xml", "<Workspace CurrentPeriod='12' StorageMode='0'/>");
  WriteFile(folder / "reports.xml", ListText(input, "Reports", "<Reports/>"));
  WriteFile(folder / "formats.xml", ListText(input, "Formats", "<Formats/>"));
  WriteFile(folder / "bookmarks.xml",
            ListText(input, "BookmarkDefinitions", "<BookmarkDefinitions/>"));
  WriteFile(folder / "named_ranges.xml",
            ListText(input, "NamedRangeDefinitions", "<NamedRangeDefinitions/>"));
  WriteFile(folder / "data_columns.xml", ListText(input, "DataColumns", "<DataColumns/>"));

  orvo::xml::Document document = orvo::xml::Document::Create();
  orvo::xml::Node properties = document.CreateElement("LaunchProperties");
  properties.SetAttribute("Workspace", folder.string());
  try {
    orvo::CPreviewBuilder builder;
    builder.Init(properties);
    builder.ResetQueue();
    for (orvo::xml::Node list = input.FirstChild(); list; list = list.NextSibling()) {
      if (list.Type() != orvo::xml::NodeType::kElement || list.Name() != "Reports") continue;
      for (orvo::xml::Node entry = list.FirstChild(); entry; entry = entry.NextSibling()) {
        if (entry.Type() != orvo::xml::NodeType::kElement) continue;
        builder.AddReport(document.ImportNode(entry, true));
      }
    }
    builder.CreatePreview();
    if (const orvo::xml::Node evaluated = builder.EvaluatedFormat()) evaluated.Xml();
    builder.PreviewHeaders()->GetAsXML("Headers");
    builder.PreviewFooters()->GetAsXML("Footers");
    builder.RefIndex()->GetAsXML("RefIndex");
    builder.DrillDownObject()->GetAsXML("Drill");
    builder.EvaluatePageNumberCondition("=1+1");
  } catch (const orvo::Error&) {
    // A reported failure is an allowed outcome.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 256 * 1024) return 0;
  static WorkspaceFolder folder;
  if (folder.Path().empty()) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  // A thread of its own: its providers read this input's files, and its
  // documents are its own.
  std::thread([&] {
    orvo::xml::Document input;
    try {
      input = orvo::xml::Document::Parse(text);
    } catch (const orvo::Error&) {
      return;
    }
    if (const orvo::xml::Node root = input.DocumentElement()) Preview(folder.Path(), root);
  }).join();
  return 0;
}
