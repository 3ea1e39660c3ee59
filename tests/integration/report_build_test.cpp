// The report build: print conditions, groups, kept sections, page setups,
// space fillers, row deletion and the evaluation passes.
#include <gtest/gtest.h>

#include "integration/builder_workspace.h"
#include "orvo/header_footer.h"

namespace orvo::testing {
namespace {

TEST(ReportBuild, EntryPrintConditions) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "x"}});
  // Printed: empty, "abc" (not a formula: its text is its value), a formula
  // that does not parse, "TRUE", a positive number. Not printed: "FALSE" in
  // any case, 0, a negative number, an empty text.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"", true},     {"abc", true},    {"=(1+", true},   {"True", true},
      {"=2", true},   {"false", false}, {"FALSE", false}, {"=0", false},
      {"=-3", false}, {"-3", false},    {"=\"\"", false}, {"=1>2", false}};
  std::string body;
  for (const auto& [condition, printed] : cases) body += Entry("F", condition);
  workspace.Report("R", body);
  const PreviewRun run = workspace.Preview({"R"});
  std::size_t expected = 0;
  for (const auto& [condition, printed] : cases) expected += printed ? 1 : 0;
  EXPECT_EQ(run.texts.at("A1").size(), expected);
  EXPECT_EQ(run.rows, static_cast<std::int32_t>(expected));
}

TEST(ReportBuild, OneBodyEntryReportsItsSectionThenTheEnd) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "x"}, {"A2", "y"}});
  workspace.Report("R", Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.report_status, (std::vector<int>{100, 100}));
  const std::vector<std::string> names = {"F",
                                          "Evaluating print conditions",
                                          "Evaluating bookmarks",
                                          "Evaluating named ranges",
                                          "Evaluating headers and footers",
                                          "Generating preview..."};
  EXPECT_EQ(run.format_names, names);
  EXPECT_EQ(run.format_status, (std::vector<int>{50, 100}));  // one per row
}

TEST(ReportBuild, RowPrintConditionsDeleteRowsAndShiftWhatFollows) {
  BuilderWorkspace workspace;
  // Rows 1-8 of A print, row 9 does not; B's rows follow with a space
  // filler over them (rows 10 to 12 before the deletion).
  std::vector<Cell> first;
  for (int row = 1; row <= 9; ++row) first.push_back({"A" + std::to_string(row), "a"});
  first.push_back({"PRINT9", "=1=2"});
  first.push_back({"PRINT3", "=3>2"});
  workspace.Format("A", first);
  workspace.Format("B", {{"A1", "b"}, {"A2", "b"}, {"A3", "b"}}, "");
  workspace.Report("R", Entry("A") + Entry("B"));
  PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.rows, 11);
  EXPECT_EQ(run.texts.count("A9"), 0u);

  // The same with a filler definition in B (rows 10 to 12 before the
  // deletion) and a group around B whose page setups stand after row 9.
  BuilderWorkspace filled;
  filled.Format("A", first);
  filled.RawFormat(
      "<Fmt Key='B' Name='B' MRow='3' MCol='1'><Itms>"
      "<Row><Itm Key='A1' Row='1' Col='1' Value='b'><PEx/><Stl/><Drill On='0' Key=''/>"
      "<SpFl>-1</SpFl><Wdt PtLs='1'>12.5</Wdt></Itm></Row>"
      "<Row><Itm Key='A2' Row='2' Col='1' Value='b'><PEx/></Itm></Row>"
      "<Row><Itm Key='A3' Row='3' Col='1' Value='b'><PEx/></Itm></Row></Itms></Fmt>");
  // Groups are built before the report's own body: A and B each in one.
  filled.Report("R", "", Group(Entry("A")) + Group(Entry("B")));
  run = filled.Preview({"R"});
  EXPECT_EQ(run.rows, 11);
  EXPECT_EQ(Canonical(run.body_fillers),
            Canonical("<SpFs><SF Start='9' End='11' Col='1' Width='12.5' Portscape='-1'/></SpFs>"));
  // Page setups: row 1 at the first group's start (it takes the place of
  // the report's row 0 and becomes row 0), row 10 between the groups and
  // row 13 at the end, the last two moved up by the deletion of row 9.
  const std::string setup = "Bottom='94.48809' Left='71.81095' Right='71.81095' Top='94.48809'";
  EXPECT_EQ(Canonical(run.page_throws),
            Canonical("<PgBks><PgB Row='0' " + setup + " OR='1'/><PgB Row='9' " + setup +
                      " OR='1'/><PgB Row='12' " + setup + " OR='1'/></PgBks>"));
}

// An item's formula is parsed only when the item carries the bare record;
// one without a record shows its text. The bare record is taken off while
// the items are prepared, so an item that waits has its parse written back.
TEST(ReportBuild, OnlyItemsWithTheBareRecordAreEvaluatedAsFormulas) {
  BuilderWorkspace workspace;
  workspace.RawFormat(
      "<Fmt Key='F' Name='F' MRow='2' MCol='3'><Itms>"
      "<Row><Itm Key='A1' Row='1' Col='1' Value='=B2+1'><PEx/></Itm>"
      "<Itm Key='B1' Row='1' Col='2' Value='=2*3'/>"
      "<Itm Key='C1' Row='1' Col='3' Value='=A1*2'><PEx/><Drill On='0' Key=''/></Itm></Row>"
      "<Row><Itm Key='A2' Row='2' Col='1' Value='=(1+'><PEx/></Itm>"
      "<Itm Key='B2' Row='2' Col='2' Value='=4'><PEx/></Itm>"
      "<Itm Key='C2' Row='2' Col='3' Value='text'><PEx/></Itm></Row></Itms></Fmt>");
  // Printed twice: the second print prepares a fresh copy of the format.
  workspace.Report("R", Entry("F") + Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_TRUE(run.failures.empty());
  const std::map<std::string, std::vector<std::string>> expected = {
      {"A1", {"5", "5"}},           {"B1", {"=2*3", "=2*3"}}, {"C1", {"10", "10"}},
      {"A2", {"#ERROR", "#ERROR"}}, {"B2", {"4", "4"}},       {"C2", {"text", "text"}}};
  EXPECT_EQ(run.texts, expected);
}

TEST(ReportBuild, KeptSectionsAreRecordedShiftedAndCut) {
  BuilderWorkspace workspace;
  workspace.Format("A", {{"A1", "a"}, {"A2", "a"}, {"A3", "a"}});
  // Its last two rows never print.
  workspace.Format("TAIL", {{"A1", "t"}, {"PRINT1", "FALSE"}, {"A2", "t"}, {"PRINT2", "=0"}});
  workspace.Format("EMPTY", {});
  workspace.Report("R", Section(Entry("A")) + Section(Entry("A") + Entry("TAIL")) +
                            Section(Entry("TAIL")) + Section(Entry("EMPTY")) +
                            Section(Entry("A"), "=1=2") + Section(""));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.rows, 6);
  // Section 1: rows 1-3. Section 2: rows 4-8, cut at row 6 (rows 7 and 8
  // were deleted). Section 3 (rows 9-10) starts after the last row: gone.
  // A section that printed no row, a false one and an empty one: none.
  EXPECT_EQ(Canonical(run.kept_sections),
            Canonical("<KpSections><Sect Start='1' End='3' Key=''/>"
                      "<Sect Start='4' End='6' Key=''/></KpSections>"));
}

TEST(ReportBuild, KeepRangesOfAFormatAreKeptSections) {
  BuilderWorkspace workspace;
  workspace.Format("A", {{"A1", "a"}, {"A2", "a"}, {"A3", "a"}});
  workspace.Format("K", {{"A1", "k"}, {"A2", "k"}, {"A3", "k"}, {"A4", "k"}, {"A5", "k"}},
                   "<Kps><Kp On='-1' KpStart='2' KpEnd='4'/><Kp On='0' KpStart='1' KpEnd='2'/>"
                   "<Kp On='-1' KpStart='5' KpEnd='9'/><Kp On='-1' KpStart='x' KpEnd='2'/></Kps>");
  workspace.Report("R", Entry("A") + Entry("K"), "", Entry("K", "", "Hdr"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.rows, 8);
  // Rows 2 to 4 of K print as rows 5 to 7; the range from row 5 runs past
  // the last row and is cut there; the header's K keeps nothing.
  EXPECT_EQ(Canonical(run.kept_sections),
            Canonical("<KpSections><Sect Start='5' End='7' Key='2:4:K'/>"
                      "<Sect Start='8' End='8' Key='5:9:K'/></KpSections>"));
}

TEST(ReportBuild, BodyEntriesWriteTheirOwnPageSetupsWhenTheyChange) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "f"}});
  const std::string setup = "<PgSetup Ovr=\"-1\" Bottom=\"5\" Left=\"6\" Right=\"7\" Top=\"8\"/>";
  const auto own = [&](const std::string& orientation) {
    return "<Bdy Name=\"F\" OR=\"" + orientation + "\"><PCnd/>" + setup + "</Bdy>";
  };
  // Rows 1 to 4: none, a setup in landscape, the same again, the same in
  // portrait ("!" keeps the orientation in force).
  workspace.Report("R", Entry("F") + own("2") + own("!") + own("1"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.rows, 4);
  const xml::Document throws = xml::Document::Parse(run.page_throws);
  const xml::NodeList records = throws.DocumentElement().SelectNodes("PgB");
  ASSERT_EQ(records.Length(), 3u) << run.page_throws;
  EXPECT_EQ(Canonical(records.Item(1).Xml()),
            Canonical("<PgB Row='2' Bottom='5' Left='6' Right='7' Top='8' OR='2'/>"));
  EXPECT_EQ(Canonical(records.Item(2).Xml()),
            Canonical("<PgB Row='4' Bottom='5' Left='6' Right='7' Top='8' OR='1'/>"));
}

TEST(ReportBuild, GroupsPrintConditionsOrientationAndPageSetups) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "f"}});
  const std::string inner = Group(Entry("F"), "", "OR=\"!\"");
  workspace.Report("R", "",
                   Group(Entry("F"), "", "OR=\"2\"", "", "", inner,
                         "<PgSetup Ovr=\"-1\" Bottom=\"10\" Left=\"!\" Right=\"!\" Top=\"10\"/>") +
                       Group(Entry("F"), "=1=0") + Group(Entry("F"), "FALSE", "OR=\"junk\""),
                   "", "", "OR=\"1\"");
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_TRUE(run.failures.empty());
  // The false groups print nothing (the second is not even read).
  EXPECT_EQ(run.rows, 2);
  // The inner group ("!") takes the outer group's orientation 2 and, having
  // no setup of its own, the outer group's margins.
  EXPECT_EQ(Canonical(run.page_throws),
            Canonical("<PgBks>"
                      "<PgB Row='0' Bottom='10' Left='71.81095' Right='71.81095' Top='10' OR='2'/>"
                      "<PgB Row='2' Bottom='10' Left='71.81095' Right='71.81095' Top='10' OR='2'/>"
                      "<PgB Row='3' Bottom='10' Left='71.81095' Right='71.81095' Top='10' OR='2'/>"
                      "</PgBks>"));
}

TEST(ReportBuild, HeadersAndFootersFillTheirCollectionsPerRange) {
  BuilderWorkspace workspace;
  workspace.Format("BODY", {{"A1", "b"}, {"A2", "b"}});
  workspace.Format("HEAD", {{"A1", "h"}, {"B1", "=1+1"}, {"PRINT2", "FALSE"}, {"A2", "hidden"}});
  workspace.Format("FOOT", {{"A1", "f"}});
  workspace.Report("R", Entry("BODY"),
                   Group(Entry("BODY"), "", "OR=\"!\"", Entry("HEAD", "", "Hdr")),
                   Entry("HEAD", "", "Hdr"), Entry("FOOT", "", "Ftr"));
  const PreviewRun run = workspace.Preview({"R"});
  // The group's header covers its rows (1-2); the report's header the rest.
  // A header row whose condition fails stays in the header block: only body
  // rows are deleted.
  const std::string headers = Canonical(run.headers);
  EXPECT_NE(headers.find("Start=\"1\" End=\"2\""), std::string::npos) << headers;
  EXPECT_NE(headers.find("Start=\"3\" End=\"4\""), std::string::npos) << headers;
  EXPECT_NE(headers.find("Dsp=\"2\""), std::string::npos) << headers;
  EXPECT_NE(Canonical(run.footers).find("Dsp=\"f\""), std::string::npos);
  EXPECT_EQ(run.rows, 4);
}

// "!" takes the printer's margin (millimetres into pixels at 96 per inch),
// the default where the printer gives 0 or there are no printer settings;
// a margin written out is copied as it stands.
TEST(ReportBuild, BangMarginsComeFromThePrinterSettingsOrTheDefaults) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "x"}});
  workspace.Report("R", Entry("F"));
  const auto first_setup = [&](const std::string& report) {
    const PreviewRun run = workspace.Preview({report});
    return Canonical(run.page_throws);
  };
  const std::string defaults =
      "<PgBks><PgB Row='0' Bottom='94.48809' Left='71.81095' Right='71.81095' "
      "Top='94.48809' OR='1'/></PgBks>";
  EXPECT_EQ(first_setup("R"), Canonical(defaults));

  workspace.Settings("<Printer Top='20' Bottom='0' Left='10' Right='15'/>");
  EXPECT_EQ(first_setup("R"),
            Canonical("<PgBks><PgB Row='0' Bottom='94.48809' Left='37.79524' Right='56.69286' "
                      "Top='75.59048' OR='1'/></PgBks>"));

  // A report whose own setup writes two margins out.
  BuilderWorkspace own;
  own.Format("F", {{"A1", "x"}});
  own.Settings("<Printer Top='20' Bottom='20' Left='15' Right='15'/>");
  const std::string report =
      "<Rep Key='OWN' OR='2'><Grps/><Hdrs/><Bdys>" + Entry("F") +
      "</Bdys><Ftrs/><PgSetup Ovr='-1' Top='30' Bottom='!' Left='12.5' Right='!'/><Desc/>"
      "<Opts/></Rep>";
  const PreviewRun run = own.Preview({report});
  EXPECT_EQ(Canonical(run.page_throws),
            Canonical("<PgBks><PgB Row='0' Bottom='75.59048' Left='12.5' Right='56.69286' "
                      "Top='30' OR='2'/></PgBks>"));
}

// Header and footer formats record their space fillers in the numbering of
// the block they are written into; each closed range hands its fillers to
// its collection, so none is left over after the build.
TEST(ReportBuild, HeaderAndFooterSpaceFillersGoWithTheirRange) {
  BuilderWorkspace workspace;
  workspace.Format("BODY", {{"A1", "b"}, {"A2", "b"}});
  const auto filled = [](const std::string& key, const std::string& width) {
    return "<Fmt Key='" + key + "' Name='" + key +
           "' MRow='2' MCol='2'><Itms>"
           "<Row><Itm Key='A1' Row='1' Col='1' Value='x'><PEx/></Itm>"
           "<Itm Key='B1' Row='1' Col='2' Value='y'><PEx/><Stl/><Drill On='0' Key=''/>"
           "<SpFl>-1</SpFl><Wdt>" +
           width +
           "</Wdt></Itm></Row>"
           "<Row><Itm Key='A2' Row='2' Col='1' Value='z'><PEx/></Itm></Row></Itms></Fmt>";
  };
  workspace.RawFormat(filled("HEAD", "40") + filled("FOOT", "25"));
  // The group's range (rows 1-2) has two headers and no footer; the
  // report's own range (rows 3-4) one header and one footer.
  workspace.Report(
      "R", Entry("BODY"),
      Group(Entry("BODY"), "", "OR=\"!\"", Entry("HEAD", "", "Hdr") + Entry("HEAD", "", "Hdr")),
      Entry("HEAD", "", "Hdr"), Entry("FOOT", "", "Ftr"));
  workspace.Write();
  const auto filler = [](std::int32_t start, std::int32_t end, const std::string& width) {
    return "<SF Start='" + std::to_string(start) + "' End='" + std::to_string(end) +
           "' Col='2' Width='" + width + "' Portscape='0'/>";
  };
  OnNewThread([&] {
    CPreviewBuilder builder;
    builder.Init(workspace.Folder().LaunchProperties());
    builder.ResetQueue();
    xml::Document queue = xml::Document::Parse("<Fav Rep='R'/>");
    builder.AddReport(queue.DocumentElement());
    builder.CreatePreview();
    EXPECT_FALSE(builder.SpaceFillersHeaders().HasChildNodes());
    EXPECT_FALSE(builder.SpaceFillersFooters().HasChildNodes());
    EXPECT_FALSE(builder.SpaceFillersBody().HasChildNodes());

    std::shared_ptr<cHeaderFooter> headers = builder.PreviewHeaders();
    std::shared_ptr<cHeaderFooter> footers = builder.PreviewFooters();
    ASSERT_TRUE(headers->ItemForRow(2));
    EXPECT_EQ(headers->ItemForRow(2).SelectNodes("Itms/Row").Length(), 4u);
    EXPECT_EQ(Canonical(headers->SpaceFillerForRow().Xml()),
              Canonical("<SpFsH>" + filler(1, 2, "40") + filler(3, 4, "40") + "</SpFsH>"));
    EXPECT_FALSE(footers->ItemForRow(2));
    EXPECT_FALSE(footers->SpaceFillerForRow().HasChildNodes());

    ASSERT_TRUE(headers->ItemForRow(3));
    EXPECT_EQ(Canonical(headers->SpaceFillerForRow().Xml()),
              Canonical("<SpFsH>" + filler(1, 2, "40") + "</SpFsH>"));
    ASSERT_TRUE(footers->ItemForRow(4));
    EXPECT_EQ(Canonical(footers->SpaceFillerForRow().Xml()),
              Canonical("<SpFsF>" + filler(1, 2, "25") + "</SpFsF>"));
  });
}

TEST(ReportBuild, BookmarksAndNotesAreNumberedAsMet) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "x"}, {"A2", "=Note(SECOND)"}, {"A3", "=Note(FIRST)"}});
  workspace.Bookmarks(
      "<BMk Key='FIRST' Fmt='F' Row='1' Note='-1'/><BMk Key='PLAIN' Fmt='F' Row='2' Note='0'/>"
      "<BMk Key='SECOND' Fmt='F' Row='3' Note='-1'/>");
  workspace.Report("R", Entry("F") + Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.texts.at("A2"), (std::vector<std::string>{"2", "2"}));
  EXPECT_EQ(run.texts.at("A3"), (std::vector<std::string>{"1", "1"}));
}

TEST(ReportBuild, RefToABookmarkLeavesAReferenceMarkerAndFillsTheIndex) {
  // The parser names the bare key of Ref as a word it cannot place; for a
  // defined bookmark that message does not stop the cell from evaluating.
  BuilderWorkspace workspace;
  workspace.Format(
      "F", {{"A1", "total"}, {"A2", "=Ref(TOTAL)"}, {"A3", "=Ref(NOSUCH)"}, {"A4", "=TOTAL+1"}});
  workspace.Bookmarks("<BMk Key='TOTAL' Fmt='F' Row='1' Note='0'/>");
  workspace.Report("R", Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.texts.at("A2"), (std::vector<std::string>{"\xC3\xBFR1\xC3\xBF"}));
  EXPECT_EQ(run.texts.at("A3"), (std::vector<std::string>{"#ERROR"}));
  EXPECT_EQ(run.texts.at("A4"), (std::vector<std::string>{"#ERROR"}));
  EXPECT_NE(run.ref_index.find("TOTAL"), std::string::npos) << run.ref_index;
}

}  // namespace
}  // namespace orvo::testing
