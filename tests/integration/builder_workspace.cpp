#include "integration/builder_workspace.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvo::testing {
namespace {

std::string Escaped(const std::string& text) { return xml::Escape(text); }

int ColumnNumber(const std::string& letters) {
  if (letters == "PRINT") return -2;
  int column = 0;
  for (char c : letters) column = column * 26 + (c - 'A' + 1);
  return column;
}

}  // namespace

std::string Entry(const std::string& format, const std::string& condition, const std::string& tag) {
  return "<" + tag + " Name=\"" + format + "\"><PCnd>" + Escaped(condition) + "</PCnd></" + tag +
         ">";
}

std::string Section(const std::string& body, const std::string& condition) {
  return "<BSec><Bdys>" + body + "</Bdys><PCnd>" + Escaped(condition) + "</PCnd></BSec>";
}

std::string Group(const std::string& body, const std::string& condition,
                  const std::string& attributes, const std::string& headers,
                  const std::string& footers, const std::string& groups, const std::string& setup) {
  return "<Grp " + attributes + "><Grps>" + groups + "</Grps><Hdrs>" + headers + "</Hdrs><Bdys>" +
         body + "</Bdys><Ftrs>" + footers + "</Ftrs><PCnd>" + Escaped(condition) + "</PCnd>" +
         setup + "</Grp>";
}

std::string PageSetup(const std::string& margins) {
  return "<PgSetup Ovr=\"-1\" " + margins + "/>";
}

BuilderWorkspace::BuilderWorkspace() = default;

void BuilderWorkspace::Format(const std::string& key, const std::vector<Cell>& cells,
                              const std::string& extra) {
  std::map<int, std::vector<std::pair<int, const Cell*>>> rows;
  int last_row = 0;
  int last_column = 0;
  for (const Cell& cell : cells) {
    const std::size_t digit = cell.key.find_first_of("0123456789");
    const int column = ColumnNumber(cell.key.substr(0, digit));
    const int row = std::stoi(cell.key.substr(digit));
    rows[row].emplace_back(column, &cell);
    last_row = std::max(last_row, row);
    last_column = std::max(last_column, column);
  }
  std::string text = "<Fmt Key=\"" + key + "\" Name=\"" + key + "\" MRow=\"" +
                     std::to_string(last_row) + "\" MCol=\"" + std::to_string(last_column) +
                     "\"><Itms>";
  for (int row = 1; row <= last_row; ++row) {
    text += "<Row PgBk=\"0\">";
    for (const auto& [column, cell] : rows[row]) {
      text += "<Itm Key=\"" + cell->key + "\" Row=\"" + std::to_string(row) + "\" Col=\"" +
              std::to_string(column) + "\" Value=\"" + Escaped(cell->value) +
              "\" Str=\"\" MgKey=\"\" ASz=\"0\"><PEx/></Itm>";
    }
    text += "</Row>";
  }
  m_formats += text + "</Itms>" + extra + "</Fmt>";
}

void BuilderWorkspace::Report(const std::string& key, const std::string& body,
                              const std::string& groups, const std::string& headers,
                              const std::string& footers, const std::string& attributes) {
  m_reports += "<Rep Key=\"" + key + "\" " + attributes + "><Grps>" + groups + "</Grps><Hdrs>" +
               headers + "</Hdrs><Bdys>" + body + "</Bdys><Ftrs>" + footers + "</Ftrs>" +
               PageSetup() + "<Desc/><Opts/></Rep>";
}

void BuilderWorkspace::Write() const {
  m_folder.Write("workspace.xml", "<Workspace CurrentPeriod=\"12\" StorageMode=\"0\">" +
                                      m_settings + "</Workspace>");
  m_folder.Write("formats.xml", "<Formats>" + m_formats + "</Formats>");
  m_folder.Write("reports.xml", "<Reports>" + m_reports + "</Reports>");
  m_folder.Write("bookmarks.xml", "<BookmarkDefinitions>" + m_bookmarks + "</BookmarkDefinitions>");
  m_folder.Write("named_ranges.xml",
                 "<NamedRangeDefinitions>" + m_named_ranges + "</NamedRangeDefinitions>");
  if (!m_data_columns.empty()) m_folder.Write("data_columns.xml", m_data_columns);
}

PreviewRun BuilderWorkspace::Preview(const std::vector<std::string>& queue,
                                     const std::function<void(CPreviewBuilder&)>& prepare) const {
  Write();
  PreviewRun run;
  OnNewThread([&] {
    CPreviewBuilder builder;
    builder.FormatName.Connect([&](const std::string& name) { run.format_names.push_back(name); });
    builder.FormatStatus.Connect([&](std::int16_t status) { run.format_status.push_back(status); });
    builder.ReportStatus.Connect([&](std::int16_t status) { run.report_status.push_back(status); });
    builder.Init(m_folder.LaunchProperties());
    builder.ResetQueue();
    xml::Document library = xml::Document::Parse("<Reports>" + m_reports + "</Reports>");
    xml::Document own = xml::Document::Create();
    for (const std::string& entry : queue) {
      if (!entry.empty() && entry.front() == '<') {
        builder.AddReport(own.ImportNode(xml::Document::Parse(entry).DocumentElement(), true));
        continue;
      }
      xml::Node report = library.DocumentElement().SelectSingleNode("Rep[@Key='" + entry + "']");
      builder.AddReport(own.ImportNode(report, true));
    }
    if (prepare) prepare(builder);
    builder.CreatePreview();
    const auto text = [](const xml::Node& node) { return node ? node.Xml() : std::string(); };
    const xml::Node evaluated = builder.EvaluatedFormat();
    run.evaluated = text(evaluated);
    run.page_throws = text(builder.PageThrows());
    run.kept_sections = text(builder.KeepSections());
    run.body_fillers = text(builder.SpaceFillersBody());
    run.headers = text(builder.PreviewHeaders()->GetAsXML("Headers"));
    run.footers = text(builder.PreviewFooters()->GetAsXML("Footers"));
    run.ref_index = text(builder.RefIndex()->GetAsXML("RefIndex"));
    run.failures = builder.BuildFailures();
    if (evaluated) {
      for (const xml::Node& row : evaluated.SelectNodes("Itms/Row")) {
        ++run.rows;
        for (const xml::Node& item : row.SelectNodes("Itm")) {
          run.texts[item.AttributeOr("OrigKey", "")].push_back(item.AttributeOr("Dsp", ""));
        }
      }
    }
  });
  return run;
}

BuilderWorkspace& LargeReport(BuilderWorkspace& workspace) {
  std::string body;
  for (int format = 1; format <= kLargeReportFormats; ++format) {
    std::vector<Cell> cells;
    for (int row = 1; row <= kLargeReportRowsPerFormat; ++row) {
      const std::string number = std::to_string(row);
      cells.push_back({"A" + number, "row " + number});
      cells.push_back({"B" + number, "=" + number + "*2"});
    }
    const std::string key = "F" + std::to_string(format);
    workspace.Format(key, cells);
    body += format == 1 ? Section(Entry(key)) : Entry(key);
  }
  workspace.Format("HEAD", {{"A1", "Large report"}});
  workspace.Bookmarks("<BMk Key='TOP' Fmt='F1' Row='1' Note='0'/>");
  workspace.Report("LARGE", body, "", Entry("HEAD", "", "Hdr"));
  return workspace;
}

void WithStoredPreview(const std::string& folder, const std::string& report,
                       const std::function<void(CPreviewBuilder&)>& inspect) {
  OnNewThread([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", folder);
    CPreviewBuilder builder;
    builder.Init(launch.DocumentElement());
    builder.ResetQueue();
    xml::Document queue = xml::Document::Parse("<Fav Rep='" + report + "'/>");
    builder.AddReport(queue.DocumentElement());
    builder.CreatePreview();
    ASSERT_TRUE(builder.EvaluatedFormat()) << report;
    inspect(builder);
  });
}

}  // namespace orvo::testing
