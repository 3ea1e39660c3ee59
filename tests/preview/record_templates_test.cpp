#include "preview/record_templates.h"

#include <string>

#include <gtest/gtest.h>

namespace orvo {
namespace {

TEST(RecordTemplates, RecordsKeepTheAttributeOrderOfTheirTemplates) {
  RecordTemplates templates;
  const std::pair<RecordKind, std::string_view> expected[] = {
      {RecordKind::kPageSetup, "<PgB Row=\"\" Bottom=\"\" Left=\"\" Right=\"\" Top=\"\" OR=\"\"/>"},
      {RecordKind::kSpaceFiller, "<SF Start=\"\" End=\"\" Col=\"\" Width=\"\" Portscape=\"\"/>"},
      {RecordKind::kKeptSection, "<Sect Start=\"\" End=\"\" Key=\"\"/>"},
      {RecordKind::kPrintCondition,
       "<EPRC Fmt=\"\" Key=\"\" Value=\"\" RptKey=\"\" RptIndex=\"\"/>"},
      {RecordKind::kNamedRange, "<NR Name=\"\" Fmt=\"\" Value=\"\"/>"},
      {RecordKind::kDependent, "<Dep Key=\"\"/>"},
      {RecordKind::kRow, "<Row Del=\"-1\" Keep=\"-1\"/>"},
      {RecordKind::kIgnoredRow, "<RowIgn OrigFmt=\"\" OrigRow=\"\" RptIndex=\"\"/>"},
      {RecordKind::kColumn, "<Col ID=\"\"/>"},
      {RecordKind::kBalanceKey, "<Key Year=\"\" Prd=\"\" PrdEnd=\"\" PBal=\"\" Bal=\"\"/>"},
      {RecordKind::kDependencyData, "<DepData DSI=\"\" DRpt=\"\"/>"},
  };
  for (const auto& [kind, xml_text] : expected) {
    EXPECT_EQ(templates.NewRecord(kind).Xml(), xml_text);
  }
  // Filling a record in any order leaves the attributes where the template has them.
  xml::Node section = templates.NewRecord(RecordKind::kKeptSection);
  section.SetAttribute("Key", "S1");
  section.SetAttribute("End", "9");
  section.SetAttribute("Start", "4");
  EXPECT_EQ(section.Attributes().Item(0).Text(), "4");
  EXPECT_EQ(section.Attributes().Item(1).Text(), "9");
}

TEST(RecordTemplates, RecordsAreIndependentCopiesOfAChangeableTemplate) {
  RecordTemplates templates;
  xml::Node first = templates.NewRecord(RecordKind::kRow);
  first.SetText("3");
  templates.Template(RecordKind::kRow).SetAttribute("Del", "0");
  templates.Template(RecordKind::kRow).SetAttribute("Keep", "0");
  xml::Node second = templates.NewRecord(RecordKind::kRow);
  EXPECT_EQ(first.Xml(), "<Row Del=\"-1\" Keep=\"-1\">3</Row>");
  EXPECT_EQ(second.Xml(), "<Row Del=\"0\" Keep=\"0\"/>");

  // Records and containers go into any document.
  xml::Document preview = xml::Document::Parse("<Build/>");
  xml::Node rows = preview.DocumentElement().AppendChild(templates.NewContainer("Rows"));
  rows.AppendChild(first);
  rows.AppendChild(second);
  EXPECT_EQ(preview.DocumentElement().Xml(),
            "<Build><Rows><Row Del=\"-1\" Keep=\"-1\">3</Row><Row Del=\"0\" Keep=\"0\"/></Rows>"
            "</Build>");
  EXPECT_EQ(RecordTemplateText(RecordKind::kRow), "Row Del='-1' Keep='-1'");
}

}  // namespace
}  // namespace orvo
