#include "evaluate/item_bookkeeping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvo {
namespace {

TEST(PrepareForEvaluation, AddsTheAttributesOnceInTheirOrderAndADrill) {
  xml::Document document = xml::Document::Parse(
      "<Itm Key='C4' Row='4' Col='3' Value='=B4*2' Str='' MgKey='' ASz='0'><PEx/><Stl/></Itm>");
  xml::Node item = document.DocumentElement();
  EXPECT_TRUE(PrepareForEvaluation(item, "IS"));
  EXPECT_EQ(item.Xml(),
            "<Itm Key=\"C4\" Row=\"4\" Col=\"3\" Value=\"=B4*2\" Str=\"\" MgKey=\"\" ASz=\"0\" "
            "Evaluated=\"0\" OrigKey=\"C4\" OrigRow=\"4\" DCFml=\"\" OrigFmt=\"IS\" "
            "OrigFml=\"=B4*2\" RptKey=\"\" RptIndex=\"\" PTxt=\"\">"
            "<PEx/><Stl/><Drill On=\"0\" Key=\"\"/></Itm>");

  // The evaluator prepares an item it is about to evaluate as evaluated.
  xml::Node copy = item.CloneNode(true);
  copy.RemoveAttribute("Evaluated");
  EXPECT_TRUE(PrepareForEvaluation(copy, "IS", "-1"));
  EXPECT_EQ(copy.AttributeOr("Evaluated", ""), "-1");

  item.SetAttribute("Value", "8");
  item.SetAttribute("Evaluated", "-1");
  EXPECT_FALSE(PrepareForEvaluation(item, "OTHER"));
  EXPECT_EQ(item.AttributeOr("OrigFml", ""), "=B4*2");
  EXPECT_EQ(item.AttributeOr("OrigFmt", ""), "IS");
}

TEST(PrepareForEvaluation, KeepsADataColumnFormulaAndAnExistingDrill) {
  xml::Document document = xml::Document::Parse(
      "<Itm Key='D1' Row='1' Col='4' Value='' DCFml='=DB.Sales'><PEx/><Stl/>"
      "<Drill On='-1' Key='K'/></Itm>");
  xml::Node item = document.DocumentElement();
  PrepareForEvaluation(item, "F");
  EXPECT_EQ(item.Xml(),
            "<Itm Key=\"D1\" Row=\"1\" Col=\"4\" Value=\"\" DCFml=\"=DB.Sales\" Evaluated=\"0\" "
            "OrigKey=\"D1\" OrigRow=\"1\" OrigFmt=\"F\" OrigFml=\"\" RptKey=\"\" RptIndex=\"\" "
            "PTxt=\"\"><PEx/><Stl/><Drill On=\"-1\" Key=\"K\"/></Itm>");
}

TEST(PrepareForBuild, WritesOnlyTheAttributesThatHoldSomething) {
  xml::Document document = xml::Document::Parse(
      "<Itm Key='C4' Row='4' Col='3' Value='=B4*2' DCFml='=DB.Sales'><PEx/></Itm>");
  xml::Node item = document.DocumentElement();
  EXPECT_TRUE(PrepareForBuild(item, "IS"));
  EXPECT_EQ(item.Xml(),
            "<Itm Key=\"C4\" Row=\"4\" Col=\"3\" Value=\"=B4*2\" DCFml=\"=DB.Sales\" "
            "Evaluated=\"0\" OrigRow=\"4\" OrigFmt=\"IS\" OrigFml=\"=B4*2\">"
            "<PEx/></Itm>");
  // OrigKey is left implied: the item stands for its Key.
  EXPECT_EQ(OriginalKeyOf(item), "C4");
  EXPECT_FALSE(PrepareForBuild(item, "OTHER"));
  EXPECT_FALSE(PrepareForEvaluation(item, "OTHER"));
  EXPECT_EQ(item.AttributeOr("OrigFmt", ""), "IS");
  EXPECT_TRUE(DrillOf(item).IsNull());
}

TEST(OriginalKeyOf, IsTheOrigKeyOrElseTheKey) {
  xml::Document document = xml::Document::Parse(
      "<Itms><Itm Key='B2' OrigKey='A1'/><Itm Key='B2' OrigKey=''/><Itm Key='B2' OrigFmt='F'/>"
      "<Itm Key='B2'/><Itm OrigFmt='F'/></Itms>");
  std::vector<std::string> keys;
  for (const xml::Node& item : document.DocumentElement().ChildNodes()) {
    keys.push_back(OriginalKeyOf(item));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"A1", "", "B2", "", ""}));
}

TEST(DrillFor, MakesTheDrillWherePreparationPutsItOnce) {
  // After the item's children, before a repeat context appended later.
  xml::Document document = xml::Document::Parse(
      "<Itm Key='C4'><PEx/><Stl/><SpFl>-1</SpFl><DepData DSI='2' DRpt='R'/></Itm>");
  xml::Node item = document.DocumentElement();
  xml::Node drill = DrillFor(item);
  EXPECT_EQ(item.Xml(),
            "<Itm Key=\"C4\"><PEx/><Stl/><SpFl>-1</SpFl><Drill On=\"0\" Key=\"\"/>"
            "<DepData DSI=\"2\" DRpt=\"R\"/></Itm>");
  drill.SetAttribute("On", "-1");
  EXPECT_TRUE(DrillFor(item) == drill);
  EXPECT_TRUE(DrillOf(item) == drill);
  EXPECT_EQ(item.SelectNodes("Drill").Length(), 1u);

  xml::Document bare = xml::Document::Parse("<Itm Key='A1'><PEx/></Itm>");
  DrillFor(bare.DocumentElement());
  EXPECT_EQ(bare.DocumentElement().Xml(), "<Itm Key=\"A1\"><PEx/><Drill On=\"0\" Key=\"\"/></Itm>");
}

}  // namespace
}  // namespace orvo
