#include "evaluate/repeat_sort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "orvo/error.h"

namespace orvo {
namespace {

TEST(RepeatSort, StylesheetTextAndSortFields) {
  EXPECT_EQ(RepeatSortStylesheetText("Records", "Rec", {"CODE", "AMOUNT"}, {"AMOUNT", "CODE"}),
            "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
            "<xsl:template match='/*'><Records><xsl:for-each select='./Rec'>"
            "<xsl:sort select='@AMOUNT' order='ascending'/>"
            "<xsl:sort select='@CODE' order='ascending'/><Rec>"
            "<xsl:attribute name='CODE'><xsl:value-of select='@CODE'/></xsl:attribute>"
            "<xsl:attribute name='AMOUNT'><xsl:value-of select='@AMOUNT'/></xsl:attribute>"
            "</Rec></xsl:for-each></Records></xsl:template></xsl:stylesheet>");

  const xml::Node definition = xml::Document::Parse(
                                   "<Rpt><SItm Ind='2' Fld='code'/><SItm Ind='1' Fld='Amount'/>"
                                   "<SItm Ind='4' Fld='Lost'/></Rpt>")
                                   .DocumentElement();
  EXPECT_THAT(RepeatSortFields(definition), ::testing::ElementsAre("AMOUNT", "CODE"));

  const xml::Node list = xml::Document::Parse("<L><R A='1'/></L>").DocumentElement();
  for (const char* field : {"A'B", "A B", "1A", ""}) {
    EXPECT_THROW(SortRepeatList(list, {field}), Error) << field;
    EXPECT_THROW(SortRepeatListByStylesheet(list, {field}), Error) << field;
  }
}

// Random lists: few distinct values (many ties), upper and lower case,
// digits, non-ASCII letters, empty and missing attributes, records of
// another name, records with their attributes in another order, and text
// between records. The direct sort must give the stylesheet's list exactly.
TEST(RepeatSort, DirectSortEqualsTheStylesheetOnRandomLists) {
  std::mt19937 random(0x5eed);
  const std::vector<std::string> values = {"",   "a",   "A",    "b",      "10",       "9",
                                           "-1", "1.5", "abc",  "ab",     "\xC3\xA9", "Z",
                                           "z ", " z",  "6000", "6000-10"};
  const std::vector<std::string> names = {"CODE", "AMOUNT", "DESCRIPTION", "TYPE"};
  for (int round = 0; round < 300; ++round) {
    std::string text = "<Records Count='x'>";
    const int records = static_cast<int>(random() % 40);
    for (int r = 0; r < records; ++r) {
      if (random() % 9 == 0) text += " ";
      const bool other = random() % 15 == 0;
      text += other ? "<Other" : "<Rec";
      std::vector<std::string> attributes = names;
      if (random() % 6 == 0) std::swap(attributes[0], attributes[1]);
      for (const std::string& name : attributes) {
        if (random() % 7 == 0) continue;  // missing
        text += " " + name + "='" + values[random() % values.size()] + "'";
      }
      text +=
          random() % 12 == 0 ? "><Child/></" + std::string(other ? "Other" : "Rec") + ">" : "/>";
    }
    text += "</Records>";
    std::vector<std::string> fields;
    const int field_count = 1 + static_cast<int>(random() % 3);
    for (int f = 0; f < field_count; ++f) fields.push_back(names[random() % names.size()]);

    const xml::Document source = xml::Document::Parse(text, true);
    const xml::Node list = source.DocumentElement();
    const std::string expected = SortRepeatListByStylesheet(list, fields).Xml();
    const std::string direct = SortRepeatList(list.CloneNode(true), fields).Xml();
    ASSERT_EQ(direct, expected) << text;
    // The sorted list again, without the root's attribute: mostly in order
    // already (unless a sort field it no longer carries decided the order).
    xml::Node sorted = xml::Document::Parse(expected, true).DocumentElement();
    sorted.RemoveAttribute("Count");
    EXPECT_EQ(SortRepeatList(sorted.CloneNode(true), fields).Xml(),
              SortRepeatListByStylesheet(sorted, fields).Xml())
        << text;
  }
}

TEST(RepeatSort, AListInOrderComesBackItself) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::string text = "<Records>";
    for (int r = static_cast<int>(random() % 30); r > 0; --r) {
      text += "<Rec CODE='" + std::to_string(random() % 50) + "' AMOUNT='" +
              std::to_string(random() % 3) + "'/>";
    }
    text += "</Records>";
    const xml::Document source = xml::Document::Parse(text);
    const std::vector<std::string> fields = {"AMOUNT", "CODE"};
    // The stylesheet's order is the sorted list; sorting it again keeps it.
    const xml::Node sorted = SortRepeatListByStylesheet(source.DocumentElement(), fields);
    if (!sorted.FirstChild()) continue;
    const std::string expected = sorted.Xml();
    const xml::Node again = SortRepeatList(sorted, fields);
    EXPECT_EQ(again.Raw(), sorted.Raw()) << text;
    EXPECT_EQ(again.Xml(), expected);
    // An attribute on the root, which the sorted list leaves out: a new list.
    xml::Node counted = xml::Document::Parse(text).DocumentElement();
    counted.SetAttribute("Count", "1");
    EXPECT_NE(SortRepeatList(counted, fields).Raw(), counted.Raw());
  }
}

}  // namespace
}  // namespace orvo
