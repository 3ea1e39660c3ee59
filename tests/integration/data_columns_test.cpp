// Data-column configurations: inserting configured columns into a format,
// and which configuration is in force while a report is built.
#include "preview/data_columns.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "integration/builder_workspace.h"
#include "support/sample_folders.h"

namespace orvo::testing {
namespace {

xml::Document SampleFile(const std::string& name) {
  std::ifstream file(std::filesystem::path(SmallWorkspace()) / name);
  std::stringstream text;
  text << file.rdbuf();
  return xml::Document::Parse(text.str());
}

TEST(DataColumns, MonthlyConfigurationAddsTwelveColumnsAfterTheLast) {
  const xml::Document formats = SampleFile("formats.xml");
  const xml::Document columns = SampleFile("data_columns.xml");
  xml::Node format =
      formats.DocumentElement().SelectSingleNode("//Fmt[@Key='INCOME_STATEMENT']").CloneNode(true);
  const xml::Node monthly = columns.DocumentElement().SelectSingleNode("Configurations/DC");
  ASSERT_TRUE(format);
  ASSERT_EQ(monthly.AttributeOr("Key", ""), "MONTHLY");

  InsertDataColumns(format, monthly);
  EXPECT_EQ(format.AttributeOr("MCol", ""), "20");
  // Headings from the configuration, in the first row that held text.
  std::string headings;
  for (const xml::Node& item : format.SelectNodes("Itms/Row[1]/Itm[@Col > 8]")) {
    headings += item.AttributeOr("Key", "") + "=" + item.AttributeOr("Value", "") + " ";
  }
  EXPECT_EQ(headings,
            "I1=Jan J1=Feb K1=Mar L1=Apr M1=May N1=Jun O1=Jul P1=Aug Q1=Sep R1=Oct S1=Nov T1=Dec ");
  // The template column (B, the first balance column) copied with its
  // references moved to the new column; other references stay.
  const xml::Node total = format.SelectSingleNode("Itms/Row[8]/Itm[@Key='T8']");
  ASSERT_TRUE(total);
  EXPECT_EQ(total.AttributeOr("Value", ""), "=Sum(T4:T7)");
  EXPECT_EQ(total.AttributeOr("DCFml", ""), "=Sum(T4:T7)");
  EXPECT_EQ(total.SelectSingleNode("PEx").Xml(), "<PEx/>");
  EXPECT_EQ(format.SelectSingleNode("Itms/Row[4]/Itm[@Col='10']").AttributeOr("Value", ""),
            "=-CM.PRODUCTSALES");
  EXPECT_EQ(format.SelectSingleNode("Itms/Row[8]/Itm[@Key='B8']").AttributeOr("Value", ""),
            "=Sum(B4:B7)");
  // One balance column per configured column.
  const xml::Node march = format.SelectSingleNode("ColBals/ColBal[@Col='11']");
  ASSERT_TRUE(march);
  EXPECT_EQ(march.AttributeOr("Prd", ""), "3");
  EXPECT_EQ(march.AttributeOr("PdEnd", ""), "3");
  EXPECT_EQ(march.AttributeOr("PdBal", ""), "Movement");
  EXPECT_EQ(format.SelectNodes("ColBals/ColBal").Length(), 16u);

  // A format without balance columns, and no configuration, stay as they are.
  xml::Node header =
      formats.DocumentElement().SelectSingleNode("//Fmt[@Key='IS_HEADER']").CloneNode(true);
  const std::string before = header.Xml();
  InsertDataColumns(header, monthly);
  EXPECT_EQ(header.Xml(), before);
  xml::Node plain = formats.DocumentElement().SelectSingleNode("//Fmt[@Key='BALANCE_SHEET']");
  const std::string plain_before = plain.Xml();
  InsertDataColumns(plain, xml::Node());
  EXPECT_EQ(plain.Xml(), plain_before);
}

TEST(DataColumns, ScopeAppliesAndRestoresConfigurations) {
  const xml::Document library = xml::Document::Parse(
      "<DataColumns><Definitions><DC ID='Q' Cfg='quarters'/></Definitions><Configurations>"
      "<DC Key='MONTHLY'/><DC Key='QUARTERS'/></Configurations></DataColumns>");
  const xml::Node definitions = library.DocumentElement().FirstChild();
  const xml::Node configurations = definitions.NextSibling();
  DataColumnScope scope;
  scope.Reset(configurations, definitions);
  EXPECT_FALSE(scope.Current());
  scope.ReportConfiguration("monthly");
  EXPECT_EQ(scope.Current().AttributeOr("Key", ""), "MONTHLY");
  EXPECT_TRUE(scope.Collection().count("REPORT"));

  const xml::Document elements =
      xml::Document::Parse("<x><Grp DCID='Q'/><Bdy DCC='NONE'/><Bdy/><Grp DCC='monthly'/></x>");
  const xml::Node group = elements.DocumentElement().FirstChild();
  const std::size_t outer = scope.Apply(group);
  EXPECT_EQ(scope.Current().AttributeOr("Key", ""), "QUARTERS");  // through the definition
  const std::size_t missing = scope.Apply(group.NextSibling());
  EXPECT_FALSE(scope.Current());  // a key found nowhere: none in force
  scope.Restore(missing);
  const std::size_t inherited = scope.Apply(group.NextSibling().NextSibling());
  EXPECT_EQ(scope.Current().AttributeOr("Key", ""), "QUARTERS");  // names none: keeps it
  scope.Restore(inherited);
  scope.Restore(outer);
  EXPECT_EQ(scope.Current().AttributeOr("Key", ""), "MONTHLY");

  // The override of AddReport wins over the library for its keys.
  const xml::Document given =
      xml::Document::Parse("<DCs><DC Key='OWN'/><DC Key='MONTHLY' Own='1'/></DCs>");
  scope.Override(given.DocumentElement());
  EXPECT_EQ(scope.Current().AttributeOr("Key", ""), "OWN");
  scope.Apply(group.NextSibling().NextSibling().NextSibling());
  EXPECT_EQ(scope.Current().AttributeOr("Own", ""), "1");
}

TEST(DataColumns, ReportsTakeTheirConfigurationOrTheOverride) {
  BuilderWorkspace workspace;
  workspace.Format(
      "F", {{"A1", "Label"}, {"B1", "Amount"}, {"A2", "x"}, {"B2", "=1+1"}, {"B3", "=B2*2"}},
      "<ColBals><ColBal Col='2' Year='Y' Prd='1' PdEnd='12' PdBal='YTD' "
      "Bal='Actuals'/></ColBals>");
  workspace.DataColumns(
      "<DataColumns><Definitions/><Configurations><DC Key='HALVES'>"
      "<DCol Ind='2' Hdg='H2' Year='Y' Prd='7' PdEnd='12' PdBal='YTD' Bal='Actuals'/>"
      "<DCol Ind='1' Hdg='H1' Year='Y' Prd='1' PdEnd='6' PdBal='YTD' Bal='Actuals'/>"
      "</DC></Configurations></DataColumns>");
  workspace.Report("BY_KEY", Entry("F"), "", "", "", "OR='1' DCC='halves'");
  workspace.Report("IN_GROUP", Entry("F"), Group(Entry("F"), "", "OR='!' DCC='HALVES'"));
  workspace.Report("PLAIN", Entry("F"));

  PreviewRun run = workspace.Preview({"BY_KEY"});
  EXPECT_EQ(run.texts.at("C1"), std::vector<std::string>{"H1"});
  EXPECT_EQ(run.texts.at("D1"), std::vector<std::string>{"H2"});
  EXPECT_EQ(run.texts.at("D2"), std::vector<std::string>{"2"});

  // The group's configuration is restored when the group ends.
  run = workspace.Preview({"IN_GROUP"});
  EXPECT_EQ(run.texts.at("C1").size(), 1u);
  EXPECT_EQ(run.texts.at("B1").size(), 2u);

  // AddReport's override, for a report that names no configuration.
  run = workspace.Preview({"PLAIN"});
  EXPECT_EQ(run.texts.count("C1"), 0u);
  workspace.Write();
  OnNewThread([&] {
    CPreviewBuilder builder;
    builder.Init(workspace.Folder().LaunchProperties());
    builder.ResetQueue();
    xml::Document document = xml::Document::Parse(
        "<Rep Key='PLAIN' OR='1'><Grps/><Hdrs/><Bdys><Bdy Name='F'><PCnd/></Bdy></Bdys><Ftrs/>"
        "<PgSetup Ovr='0'/><Desc/><Opts/></Rep>");
    const xml::Document given = xml::Document::Parse(
        "<DCs><DC Key='THREE'><DCol Hdg='a'/><DCol Hdg='b'/><DCol Hdg='c'/></DC></DCs>");
    builder.AddReport(document.DocumentElement(), given.DocumentElement());
    builder.CreatePreview();
    EXPECT_EQ(builder.EvaluatedFormat().AttributeOr("MCol", ""), "5");
    EXPECT_EQ(builder.EvaluatedFormat()
                  .SelectSingleNode("Itms/Row[1]/Itm[@Col='5']")
                  .AttributeOr("Dsp", ""),
              "c");
  });
}

}  // namespace
}  // namespace orvo::testing
