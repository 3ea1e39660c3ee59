// Settling items: self-waiting and mutually waiting cells, row print
// conditions settled late, and references into and out of repeated rows.
#include <gtest/gtest.h>

#include <filesystem>

#include "evaluate/number_text.h"
#include "integration/builder_workspace.h"
#include "support/sample_folders.h"

namespace orvo::testing {
namespace {

double Number(const std::string& text) {
  std::string plain;
  for (char c : text) {
    if (c != ',') plain.push_back(c);
  }
  return ParseNumber(plain).value_or(-999999);
}

TEST(Dependents, RowConditionsSettledByLaterCellsHideOrShowTheirRows) {
  BuilderWorkspace workspace;
  // Each row's condition reads the row's own cell, which is evaluated after
  // it: the condition waits and settles when the cell does.
  const std::vector<std::pair<std::string, bool>> values = {
      {"0", false}, {"-2", false}, {"\"\"", false}, {"\"abc\"", true}, {"2", true}, {"1=1", true}};
  std::vector<Cell> cells;
  int row = 0;
  for (const auto& [value, shown] : values) {
    ++row;
    const std::string number = std::to_string(row);
    cells.push_back({"PRINT" + number, "=B" + number});
    cells.push_back({"A" + number, "row " + number});
    cells.push_back({"B" + number, "=" + value});
  }
  workspace.Format("F", cells);
  // The same as a header: its rows stay (only body rows are deleted).
  workspace.Format("H", cells);
  workspace.Report("R", Entry("F"), "", Entry("H", "", "Hdr"));
  const PreviewRun run = workspace.Preview({"R"});
  row = 0;
  for (const auto& [value, shown] : values) {
    ++row;
    EXPECT_EQ(run.texts.count("A" + std::to_string(row)), shown ? 1u : 0u) << value;
  }
  EXPECT_EQ(run.rows, 3);
  for (int header_row = 1; header_row <= 6; ++header_row) {
    EXPECT_NE(run.headers.find("row " + std::to_string(header_row)), std::string::npos);
  }
}

TEST(Dependents, SelfWaitingCellsAreCircularAndTheirDependentsWait) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "=A1+1"},
                         {"B1", "=A1"},
                         {"A2", "=Sum(A1:B3)"},  // waits for B3, which waits for A2
                         {"B3", "=A2"},
                         {"C1", "=C2+1"},
                         {"C2", "=C1+1"},
                         {"D1", "=D9"}});  // a cell that is not there
  workspace.Report("R", Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  EXPECT_EQ(run.texts.at("A1"), std::vector<std::string>{"#CIRC"});
  EXPECT_NE(run.texts.at("B1")[0], "#CIRC");
  EXPECT_NE(run.texts.at("A2")[0], "#CIRC");
  EXPECT_NE(run.texts.at("B3")[0], "#CIRC");
  // Waiting for each other: both settle at the last pass.
  EXPECT_EQ(run.texts.at("C1"), std::vector<std::string>{"1"});
  EXPECT_EQ(run.texts.at("C2"), std::vector<std::string>{"2"});
  EXPECT_EQ(run.texts.at("D1"), std::vector<std::string>{"#REF"});
}

TEST(Dependents, ReferencesSeeTheirOwnPrintOfAFormat) {
  BuilderWorkspace workspace;
  workspace.Format("F", {{"A1", "1"},
                         {"A2", "2"},
                         {"A3", "=Sum(A1:A2)"},
                         {"B1", "=A1*10"},
                         {"B2", "=B3+1"},  // a later cell
                         {"B3", "4"},
                         {"C1", "=C2+1"},  // settled by the last pass
                         {"C2", "=C1+1"}});
  workspace.Report("R", Entry("F") + Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  using Texts = std::vector<std::string>;
  EXPECT_EQ(run.texts.at("A3"), (Texts{"3", "3"}));
  EXPECT_EQ(run.texts.at("B1"), (Texts{"10", "10"}));
  EXPECT_EQ(run.texts.at("B2"), (Texts{"5", "5"}));
  EXPECT_EQ(run.texts.at("C1"), (Texts{"1", "1"}));
  EXPECT_EQ(run.texts.at("C2"), (Texts{"2", "2"}));
}

TEST(Dependents, ReferencesIntoAndOutOfRepeatedRows) {
  // The sample's ledger and chart map, with formats of this test.
  BuilderWorkspace workspace;
  for (const char* file : {"ledger.sqlite", "chart_map.xml"}) {
    std::filesystem::copy_file(std::filesystem::path(SmallWorkspace()) / file,
                               workspace.Folder().Folder() / file,
                               std::filesystem::copy_options::overwrite_existing);
  }
  workspace.Format("FIXED",
                   {{"A1", "Code"},
                    {"B1", "Amount"},
                    {"A2", "=CODE"},
                    {"B2", "=CM.FIXEDASSETS"},
                    {"C2", "=B2*2"},  // its own copy of B2
                    {"D2", "=B4"},    // a cell outside the repeat, after it
                    {"B3", "=B2"},    // every copy of B2
                    {"C3", "=Sum(C2)"},
                    {"B4", "=7"}},
                   "<ColBals><ColBal Col='2' Year='Y' Prd='Current Period' PdEnd='Current Period' "
                   "PdBal='Closing' Bal='Actuals'/></ColBals>"
                   "<Rpts><Rpt Row='2' Typ='1' Sub='-1' Zer='0' Use='0'>CM.FIXEDASSETS"
                   "<SItm Ind='1' Fld='CODE'/></Rpt></Rpts>");
  workspace.Report("R", Entry("FIXED"));
  workspace.Write();
  workspace.Folder().Write(
      "workspace.xml", "<Workspace CurrentPeriod='12' StorageMode='0' Ledger='ledger.sqlite'/>");
  const PreviewRun run = workspace.Preview({"R"});
  ASSERT_TRUE(run.failures.empty());
  const std::vector<std::string>& amounts = run.texts.at("B2");
  const std::vector<std::string>& doubled = run.texts.at("C2");
  ASSERT_GE(amounts.size(), 2u) << run.evaluated;
  ASSERT_EQ(doubled.size(), amounts.size());
  double total = 0;
  double doubled_total = 0;
  for (std::size_t copy = 0; copy < amounts.size(); ++copy) {
    EXPECT_DOUBLE_EQ(Number(doubled[copy]), 2 * Number(amounts[copy])) << copy;
    EXPECT_EQ(run.texts.at("D2")[copy], "7");
    total += Number(amounts[copy]);
    doubled_total += Number(doubled[copy]);
  }
  EXPECT_DOUBLE_EQ(Number(run.texts.at("B3")[0]), total);
  EXPECT_DOUBLE_EQ(Number(run.texts.at("C3")[0]), doubled_total);
  EXPECT_EQ(run.rows, static_cast<std::int32_t>(amounts.size()) + 3);
}

TEST(Dependents, PrintConditionsOfRepeatedRowsHoldForEachCopy) {
  // Every copy of a repeated row evaluates the row's print condition in its
  // own repeat context; a row without one keeps all its copies.
  BuilderWorkspace workspace;
  for (const char* file : {"ledger.sqlite", "chart_map.xml"}) {
    std::filesystem::copy_file(std::filesystem::path(SmallWorkspace()) / file,
                               workspace.Folder().Folder() / file,
                               std::filesystem::copy_options::overwrite_existing);
  }
  const std::string repeat =
      "<Rpts><Rpt Row='2' Typ='1' Sub='-1' Zer='0' Use='0'>CM.FIXEDASSETS"
      "<SItm Ind='1' Fld='CODE'/></Rpt></Rpts>";
  workspace.Format("ALL", {{"A1", "Code"}, {"A2", "=CODE"}, {"B2", "=RepeatPosition()"}}, repeat);
  workspace.Format("SKIP",
                   {{"A1", "Code"},
                    {"A2", "=CODE"},
                    {"B2", "=RepeatPosition()"},
                    {"PRINT2", "=RepeatPosition()<>2"}},
                   repeat);
  workspace.Report("ALL", Entry("ALL"));
  workspace.Report("SKIP", Entry("SKIP"));
  workspace.Write();
  workspace.Folder().Write(
      "workspace.xml", "<Workspace CurrentPeriod='12' StorageMode='0' Ledger='ledger.sqlite'/>");
  const PreviewRun all = workspace.Preview({"ALL"});
  const PreviewRun skip = workspace.Preview({"SKIP"});
  ASSERT_TRUE(all.failures.empty());
  ASSERT_TRUE(skip.failures.empty());
  const std::vector<std::string>& positions = all.texts.at("B2");
  ASSERT_GE(positions.size(), 3u) << all.evaluated;
  EXPECT_EQ(all.rows, static_cast<std::int32_t>(positions.size()) + 1);
  std::vector<std::string> shown;
  for (std::size_t position = 1; position <= positions.size(); ++position) {
    EXPECT_EQ(positions[position - 1], std::to_string(position));
    if (position != 2) shown.push_back(std::to_string(position));
  }
  EXPECT_EQ(skip.texts.at("B2"), shown);
  EXPECT_EQ(skip.rows, static_cast<std::int32_t>(shown.size()) + 1);
}

TEST(Dependents, ItemsCarryingBookkeepingAlreadyAreIndexedByIt) {
  BuilderWorkspace workspace;
  // B1 names itself Z9 already, A2 stands in definition row 7, C2 counts as
  // evaluated and the last item of row 2 has no key: the originals an item
  // carries are the ones the index goes by.
  workspace.RawFormat(
      "<Fmt Key='F' Name='F' MRow='2' MCol='5'><Itms>"
      "<Row><Itm Key='A1' Row='1' Col='1' Value='5' Str='' MgKey=''><PEx/></Itm>"
      "<Itm Key='B1' Row='1' Col='2' Value='7' OrigKey='Z9'><PEx/></Itm>"
      "<Itm Key='C1' Row='1' Col='3' Value='=Z9+A1'><PEx/></Itm></Row>"
      "<Row><Itm Key='A2' Row='7' Col='1' Value='3'><PEx/></Itm>"
      "<Itm Key='B2' Row='2' Col='2' Value='=A2*2+Sum(A1:A9)'><PEx/></Itm>"
      "<Itm Key='C2' Row='2' Col='3' Value='4' Evaluated='-1'><PEx/></Itm>"
      "<Itm Key='D2' Row='2' Col='4' Value='=C2+1'><PEx/></Itm>"
      "<Itm Row='2' Col='5' Value='9'><PEx/></Itm></Row></Itms></Fmt>");
  workspace.Report("R", Entry("F"));
  const PreviewRun run = workspace.Preview({"R"});
  ASSERT_TRUE(run.failures.empty());
  EXPECT_EQ(run.texts.at("A1"), std::vector<std::string>{"5"});
  EXPECT_EQ(run.texts.at("Z9"), std::vector<std::string>{"7"});
  EXPECT_EQ(run.texts.count("B1"), 0u);
  EXPECT_EQ(run.texts.at("C1"), std::vector<std::string>{"12"});
  EXPECT_EQ(run.texts.at("A2"), std::vector<std::string>{"3"});
  EXPECT_EQ(run.texts.at("B2"), std::vector<std::string>{"14"});
  // C2 is not prepared: it has no originals, and nothing finds it.
  EXPECT_EQ(run.texts.at("D2"), std::vector<std::string>{"#REF"});
  EXPECT_EQ(run.texts.at(""), (std::vector<std::string>{"4", "9"}));
  // Every item of the second row stands in row 2 of the preview.
  EXPECT_NE(run.evaluated.find("Col=\"1\" Row=\"2\" Dsp=\"3\""), std::string::npos)
      << run.evaluated;
}

}  // namespace
}  // namespace orvo::testing
