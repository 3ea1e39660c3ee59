// Hand-written workspaces for the preview builder's tests, and one preview
// run over them on a thread of its own (launch properties are per thread).
//
//   BuilderWorkspace workspace;
//   workspace.Format("F1", {{"A1", "=B1+1"}, {"B1", "2"}, {"PRINT1", "=A1>0"}});
//   workspace.Report("R", Body({Entry("F1")}));
//   PreviewRun run = workspace.Preview({"R"});
//
// Cells are given by key: column letters and row ("B12"), or "PRINTn" for
// the print condition of row n. A format's rows are written 1 to its last
// row, empty ones included.
#ifndef ORVO_TESTS_INTEGRATION_BUILDER_WORKSPACE_H_
#define ORVO_TESTS_INTEGRATION_BUILDER_WORKSPACE_H_

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvo/preview_builder.h"
#include "orvo/xml.h"
#include "support/on_new_thread.h"
#include "support/temp_workspace.h"

namespace orvo::testing {

// XML compared after parsing and writing back: quotes and blanks between
// elements do not matter; names, attribute order, values and order do.
inline std::string Canonical(std::string_view text) {
  return xml::Document::Parse(text).DocumentElement().Xml();
}

struct Cell {
  std::string key;
  std::string value;
};

// Definition pieces, as XML text.
std::string Entry(const std::string& format, const std::string& condition = "",
                  const std::string& tag = "Bdy");
std::string Section(const std::string& body, const std::string& condition = "");
std::string Group(const std::string& body, const std::string& condition = "",
                  const std::string& attributes = "OR=\"!\"", const std::string& headers = "",
                  const std::string& footers = "", const std::string& groups = "",
                  const std::string& setup = "<PgSetup Ovr=\"0\"/>");
std::string PageSetup(const std::string& margins = "Bottom=\"!\" Left=\"!\" Right=\"!\" Top=\"!\"");

// What one preview run gave.
struct PreviewRun {
  std::string evaluated;  // EvaluatedFormat, or "" when null
  std::string page_throws;
  std::string kept_sections;
  std::string body_fillers;
  std::string headers;  // PreviewHeaders as XML (Headers)
  std::string footers;
  std::string ref_index;  // RefIndex()->GetAsXML("RefIndex")
  std::vector<Error> failures;
  std::vector<std::string> format_names;
  std::vector<int> format_status;
  std::vector<int> report_status;
  // The display texts of the preview's items by original key, in row order
  // ("A1" -> {"5"}); a key printed twice has two texts.
  std::map<std::string, std::vector<std::string>> texts;
  std::int32_t rows = 0;  // Row elements of the preview
};

class BuilderWorkspace {
 public:
  BuilderWorkspace();

  // A format of cells; `extra` is appended inside the Fmt (ColBals, Rpts).
  void Format(const std::string& key, const std::vector<Cell>& cells,
              const std::string& extra = "");
  // A report: groups, headers, body and footers lists as XML text.
  void Report(const std::string& key, const std::string& body, const std::string& groups = "",
              const std::string& headers = "", const std::string& footers = "",
              const std::string& attributes = "OR=\"1\"");
  // A format written out in full.
  void RawFormat(const std::string& xml) { m_formats += xml; }
  void Bookmarks(const std::string& xml) { m_bookmarks = xml; }
  void NamedRanges(const std::string& xml) { m_named_ranges = xml; }
  void DataColumns(const std::string& xml) { m_data_columns = xml; }
  // Children of the Workspace element of workspace.xml (a Printer).
  void Settings(const std::string& xml) { m_settings = xml; }

  // Writes the files (again) and runs a preview of the stored reports named
  // (or "<Fav Rep='KEY'/>" texts, or whole "<Rep ...>" texts), in order.
  // `prepare` runs on the builder before CreatePreview.
  PreviewRun Preview(const std::vector<std::string>& queue,
                     const std::function<void(CPreviewBuilder&)>& prepare = {}) const;

  const TempWorkspace& Folder() const { return m_folder; }
  void Write() const;

 private:
  TempWorkspace m_folder;
  std::string m_formats;
  std::string m_reports;
  std::string m_bookmarks;
  std::string m_named_ranges;
  std::string m_data_columns;
  std::string m_settings;
};

// Twenty formats of 2,000 rows (a text and a formula each; 40,000 body rows)
// in the report "LARGE", the first kept together and carrying the bookmark
// TOP, under the header format "HEAD": a build long enough to stop in the
// middle, with page setups, a kept section, header rows and a bookmark.
inline constexpr int kLargeReportFormats = 20;
inline constexpr int kLargeReportRowsPerFormat = 2000;
BuilderWorkspace& LargeReport(BuilderWorkspace& workspace);

// Previews the stored report `report` of the workspace in `folder` with
// CPreviewBuilder on a new thread and hands the builder to `inspect` on that
// thread; fails the test when there is no evaluated format.
void WithStoredPreview(const std::string& folder, const std::string& report,
                       const std::function<void(CPreviewBuilder&)>& inspect);

}  // namespace orvo::testing

#endif  // ORVO_TESTS_INTEGRATION_BUILDER_WORKSPACE_H_
