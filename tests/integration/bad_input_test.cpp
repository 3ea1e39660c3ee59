// Report definitions that are wrong in every way end skipped, as error
// values or as a reported failure: never a crash, a hang or a deep stack.
#include <gtest/gtest.h>

#include "integration/builder_workspace.h"

namespace orvo::testing {
namespace {

TEST(BadInput, BrokenDefinitionsAreSkipped) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "ok"}});
  workspace.Format("EMPTY", {});
  workspace.RawFormat(
      "<Fmt Key='ODD' Name='ODD' MRow='many' MCol='-4'><Itms>"
      "<Row><Itm Key='A1' Row='x' Col='y' Value='=1+1'><PEx/></Itm>"
      "<Itm Key='NODIGIT' Row='1' Col='70000' Value='=NODIGIT+1'><PEx/></Itm>"
      "<Itm Key='B1' Row='99999999999' Col='2' Value='=(('><PEx/></Itm>"
      "<Itm Key='A1|X' Row='1' Col='3' Value='pipe'><PEx/></Itm>"
      "<Itm/><Junk/>text</Row><NotARow/></Itms></Fmt>");
  const std::string reports[] = {
      "<Rep Key='BARE'/>",
      "<Rep Key='NOFORMAT' OR='1'><Grps/><Hdrs/><Bdys><Bdy Name='MISSING'/><Bdy/>"
      "<Bdy Name='F'><PCnd/><a/><b/><c/><NotAFormat/></Bdy></Bdys></Rep>",
      "<Rep Key='ODD' OR='1'><Grps><Grp/><Grp OR='!'><Grps/></Grp></Grps><Hdrs><Hdr Name='EMPTY'/>"
      "</Hdrs><Bdys><Bdy Name='ODD'/><BSec/><BSec><Bdys/></BSec><Bdy Name='EMPTY'/></Bdys>"
      "<Ftrs><Ftr/></Ftrs><PgSetup Ovr='x' Bottom='' Left='!'/></Rep>",
  };
  workspace.Report("GOOD", Entry("F"));
  const PreviewRun run = workspace.Preview(
      {reports[0], reports[1], reports[2], "<Fav/>", "<fav Rep='NONE'/>", "<Whatever/>", "GOOD"});
  EXPECT_TRUE(run.failures.empty()) << run.failures[0].Description();
  EXPECT_EQ(run.texts.at("A1"), std::vector<std::string>{"ok"});

  const PreviewRun odd = workspace.Preview({reports[2]});
  EXPECT_TRUE(odd.failures.empty());
  // An item whose column is no number is no cell of the grid: not evaluated.
  EXPECT_EQ(odd.texts.at("A1"), std::vector<std::string>{""});
  EXPECT_EQ(odd.texts.at("B1"), std::vector<std::string>{"#ERROR"});
}

TEST(BadInput, TenThousandColumnsAreOneRow) {
  BuilderWorkspace workspace;
  std::string items;
  for (int column = 1; column <= 10000; ++column) {
    items += "<Itm Key='A1' Row='1' Col='" + std::to_string(column) +
             "' Value='=" + std::to_string(column) + "'><PEx/></Itm>";
  }
  workspace.RawFormat("<Fmt Key='WIDE' Name='WIDE' MRow='1' MCol='10000'><Itms><Row>" + items +
                      "</Row></Itms></Fmt>");
  workspace.Report("R", Entry("WIDE"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_TRUE(run.failures.empty());
  EXPECT_EQ(run.rows, 1);
  EXPECT_EQ(run.texts.at("A1").size(), 10000u);
  EXPECT_EQ(run.texts.at("A1").back(), "10000");
}

TEST(BadInput, TextWhereNumbersBelongFailsTheReportOnly) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "ok"}});
  workspace.Report("BAD_OR", Entry("F"), "", "", "", "OR='landscape'");
  workspace.Report("GOOD", Entry("F"));
  const PreviewRun run = workspace.Preview({"BAD_OR", "GOOD"});
  ASSERT_EQ(run.failures.size(), 1u);
  EXPECT_EQ(run.failures[0].Source(), "BuildReport");
  EXPECT_EQ(run.rows, 1);
}

TEST(BadInput, GroupsNestedTenThousandDeepFailTheBuild) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "ok"}});
  workspace.Write();
  OnNewThread([&] {
    CPreviewBuilder builder;
    builder.Init(workspace.Folder().LaunchProperties());
    builder.ResetQueue();
    // Built from the innermost group out, so no insertion walks a deep tree.
    xml::Document document = xml::Document::Create();
    xml::Node inner;
    for (int depth = 0; depth < 10000; ++depth) {
      xml::Node group = document.CreateElement("Grp");
      xml::Node groups = group.AppendChild(document.CreateElement("Grps"));
      if (inner) groups.AppendChild(inner);
      group.AppendChild(document.CreateElement("Hdrs"));
      xml::Node body = group.AppendChild(document.CreateElement("Bdys"));
      body.AppendChild(document.CreateElement("Bdy")).SetAttribute("Name", "F");
      inner = group;
    }
    xml::Node report = document.CreateElement("Rep");
    report.AppendChild(document.CreateElement("Grps")).AppendChild(inner);
    document.SetDocumentElement(report);
    builder.AddReport(report);
    builder.CreatePreview();
    ASSERT_EQ(builder.BuildFailures().size(), 1u);
    EXPECT_EQ(builder.BuildFailures()[0].Source(), "BuildReport");
  });
}

TEST(BadInput, LongChainsAndCyclesSettleWithoutDeepStacks) {
  BuilderWorkspace workspace;
  // A1 = A2 + 1, ..., A9999 = A10000 + 1, A10000 = 1: each waits for the
  // next, which settles last; and B1 = B2, ..., B10000 = B1: a cycle.
  constexpr int kLength = 10000;
  std::vector<Cell> chain;
  std::vector<Cell> cycle;
  for (int row = 1; row <= kLength; ++row) {
    const std::string next = std::to_string(row == kLength ? 1 : row + 1);
    chain.push_back({"A" + std::to_string(row), row == kLength ? "1" : "=A" + next + "+1"});
    cycle.push_back({"B" + std::to_string(row), "=B" + next});
  }
  workspace.Format("CHAIN", chain);
  workspace.Format("CYCLE", cycle);
  workspace.Report("R", Entry("CHAIN") + Entry("CYCLE"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_TRUE(run.failures.empty());
  EXPECT_EQ(run.rows, 2 * kLength);
  // Every cell of the cycle has a value by the last pass: none is left
  // without one, none is "#CIRC" (no cell waits for itself).
  for (const std::string& text : run.texts.at("B1")) EXPECT_NE(text, "#CIRC");
}

}  // namespace
}  // namespace orvo::testing
