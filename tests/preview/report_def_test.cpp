#include "preview/report_def.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvo/error.h"
#include "preview/format_library.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

constexpr std::string_view kReport = R"(
<Rep Key="IS" OR="2" DCC="">
  <Grps>
    <Grp OR="!"><Grps/><Hdrs/><Bdys/><Ftrs/><PC>=A1&gt;0</PC><PS Ovr="-1" Top="!" Left="10"/></Grp>
    <Grp OR="1"><G/><H/><B/><F/><C/><S Ovr="0"/></Grp>
  </Grps>
  <Hdrs><Hdr Name="head"><PC/></Hdr></Hdrs>
  <!-- a comment is not a child that counts -->
  <Bdys>
    <Bdy Name="IS_BODY"><PC>TRUE</PC><x/><x/><x/><Fmt Key="INLINE"/></Bdy>
    <BSec><Bdys><Bdy Name="A"><PC/></Bdy></Bdys><PC>false</PC></BSec>
  </Bdys>
  <Ftrs/>
  <PS Ovr="1" Bottom="20" Left="!" Right="30" Top="40"/>
  <Sixth/><Seventh/>
  <DCs><DC ID="1"/></DCs>
</Rep>)";

TEST(ReportDefinition, ReadsChildrenByPosition) {
  xml::Document document = xml::Document::Parse(kReport);
  ReportDefinition report(document.DocumentElement());
  EXPECT_EQ(report.Key(), "IS");
  EXPECT_EQ(report.Orientation(), 2);
  EXPECT_EQ(report.Groups().Name(), "Grps");
  EXPECT_EQ(report.Headers().Name(), "Hdrs");
  EXPECT_EQ(report.Body().Name(), "Bdys");
  EXPECT_EQ(report.Footers().Name(), "Ftrs");
  EXPECT_EQ(report.DataColumnOverride().Name(), "DCs");
  PageSetupValues setup = ReadPageSetup(report.PageSetup());
  EXPECT_TRUE(setup.own);
  EXPECT_EQ(setup.bottom + "|" + setup.left + "|" + setup.right + "|" + setup.top, "20|!|30|40");

  GroupDefinition first(report.Groups().FirstChild());
  EXPECT_EQ(first.PrintCondition(), "=A1>0");
  EXPECT_EQ(first.Orientation(5), 5);  // "!" takes the enclosing orientation
  EXPECT_TRUE(ReadPageSetup(first.PageSetup()).own);
  GroupDefinition second(report.Groups().LastChild());
  EXPECT_EQ(second.Orientation(5), 1);
  EXPECT_EQ(second.PrintCondition(), "");
  EXPECT_FALSE(ReadPageSetup(second.PageSetup()).own);
  EXPECT_EQ(second.SubGroups().Name(), "G");
  EXPECT_EQ(second.Footers().Name(), "F");

  xml::Node body = report.Body().FirstChild();
  EXPECT_EQ(EntryFormatName(body), "IS_BODY");
  EXPECT_EQ(EntryPrintCondition(body), "TRUE");
  EXPECT_EQ(EntryInlineFormat(body).AttributeOr("Key", ""), "INLINE");
  EXPECT_TRUE(EntryInlineFormat(report.Headers().FirstChild()).IsNull());
  xml::Node section = report.Body().LastChild();
  EXPECT_EQ(SectionBody(section).FirstChild().AttributeOr("Name", ""), "A");
  EXPECT_EQ(SectionPrintCondition(section), "false");
}

TEST(ReportDefinition, MissingPartsAndBadOrientations) {
  xml::Document document = xml::Document::Parse("<Rep><Grps/></Rep>");
  ReportDefinition report(document.DocumentElement());
  EXPECT_EQ(report.Orientation(), 1);
  EXPECT_TRUE(report.Headers().IsNull());
  EXPECT_TRUE(report.DataColumnOverride().IsNull());
  EXPECT_FALSE(ReadPageSetup(report.PageSetup()).own);

  xml::Document bad = xml::Document::Parse("<Rep OR='landscape'/>");
  EXPECT_EQ(
      testing::FailureOf([&] { ReportDefinition(bad.DocumentElement()).Orientation(); }).Number(),
      kErrTypeMismatch);
  xml::Document wide = xml::Document::Parse("<Grp OR='40000'/>");
  EXPECT_EQ(
      testing::FailureOf([&] { GroupDefinition(wide.DocumentElement()).Orientation(1); }).Number(),
      kErrOverflow);
}

TEST(ReportDefinition, FavouritesResolveWithoutRegardToCase) {
  xml::Document library = xml::Document::Parse(
      "<Reps><Rep Key='BS' OR='1'/><Other Key='IS'/><Rep Key='IS' OR='2'/>"
      "<Rep Key='IS' OR='3'/></Reps>");
  xml::Document queue = xml::Document::Parse(
      "<Reps><fav Rep='is'/><Fav Rep='CF'/><Fav Rep=\"it's\"/><Rep Key='X'/></Reps>");
  xml::Node entry = queue.DocumentElement().FirstChild();
  EXPECT_TRUE(IsFavourite(entry));
  EXPECT_EQ(FindStoredReport(library.DocumentElement(), entry).AttributeOr("OR", ""), "2");
  entry = entry.NextSibling();
  EXPECT_TRUE(FindStoredReport(library.DocumentElement(), entry).IsNull());
  entry = entry.NextSibling();
  EXPECT_TRUE(FindStoredReport(library.DocumentElement(), entry).IsNull());
  EXPECT_FALSE(IsFavourite(entry.NextSibling()));
  EXPECT_TRUE(FindStoredReport(xml::Node(), entry).IsNull());
}

class CountingFormatProvider : public IFormatProvider {
 public:
  void Init(const xml::Node&) override {}
  xml::Node NewFormat() override { return {}; }
  xml::Node NewItem(std::int32_t, std::int32_t) override { return {}; }
  xml::Node GetFormat(const std::string& key) override {
    requested.push_back(key);
    return m_document.CreateElement("Full" + key);
  }
  std::int16_t ColumnNumber(const std::string&) override { return -1; }

  std::vector<std::string> requested;

 private:
  xml::Document m_document = xml::Document::Create();
};

TEST(FormatLibraryIndex, FindsTheFirstFormatOfAKeyAtAnyDepth) {
  xml::Document library = xml::Document::Parse(
      "<Fmts><Folder><Fmt Key='IS' Name='first'><Itms/></Fmt></Folder>"
      "<Fmt Key='IS' Name='second'><Itms/></Fmt><Fmt Key='STUB'/><Fmt Key='bs'><Itms/></Fmt>"
      "</Fmts>");
  FormatLibraryIndex index;
  CountingFormatProvider provider;
  xml::Node root = library.DocumentElement();
  EXPECT_EQ(index.Find(root, "is").AttributeOr("Name", ""), "first");
  EXPECT_TRUE(index.Find(root, "bs").IsNull());  // stored keys are upper case
  EXPECT_TRUE(index.Find(root, "it's").IsNull());

  // Document order across levels: a format inside a format, and the walk
  // climbing back out of deep folders to their parents' later siblings.
  xml::Document nested = xml::Document::Parse(
      "<Fmts><A><B><C/></B></A><Fmt Key='OUT'><Itms><Fmt Key='IN' Name='inner'/></Itms></Fmt>"
      "<D><E><F><Fmt Key='X' Name='deep'/></F></E></D><Fmt Key='IN' Name='late'/>"
      "<Fmt Key='X' Name='late'/><G><Fmt Key='LAST'/></G></Fmts>");
  FormatLibraryIndex nested_index;
  const xml::Node nested_root = nested.DocumentElement();
  EXPECT_EQ(nested_index.Find(nested_root, "in").AttributeOr("Name", ""), "inner");
  EXPECT_EQ(nested_index.Find(nested_root, "x").AttributeOr("Name", ""), "deep");
  EXPECT_FALSE(nested_index.Find(nested_root, "out").IsNull());
  EXPECT_FALSE(nested_index.Find(nested_root, "last").IsNull());

  xml::Node format = index.LookUpFormat(root, "Is", provider);
  EXPECT_EQ(format.AttributeOr("Name", ""), "first");
  format.SetAttribute("Name", "changed");  // a copy: the library keeps its own
  EXPECT_EQ(index.Find(root, "IS").AttributeOr("Name", ""), "first");
  EXPECT_TRUE(provider.requested.empty());

  EXPECT_EQ(index.LookUpFormat(root, "stub", provider).Name(), "FullSTUB");
  EXPECT_TRUE(index.LookUpFormat(root, "none", provider).IsNull());
  EXPECT_EQ(provider.requested, std::vector<std::string>{"STUB"});

  // Another library node is indexed afresh; Reset drops the index.
  xml::Document other = xml::Document::Parse("<Fmts><Fmt Key='IS' Name='other'/></Fmts>");
  EXPECT_EQ(index.Find(other.DocumentElement(), "IS").AttributeOr("Name", ""), "other");
  EXPECT_EQ(index.Find(root, "IS").AttributeOr("Name", ""), "first");
  root.AppendChild(library.CreateElement("Fmt")).SetAttribute("Key", "NEW");
  EXPECT_TRUE(index.Find(root, "NEW").IsNull());  // changed in place: not seen until Reset
  index.Reset();
  EXPECT_FALSE(index.Find(root, "NEW").IsNull());
  EXPECT_TRUE(index.Find(xml::Node(), "IS").IsNull());
}

}  // namespace
}  // namespace orvo
