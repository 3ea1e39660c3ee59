#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"
#include "xml/valid_text.h"

namespace orvo::xml {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kMarker = "\xC3\xBF";  // U+00FF, the display-text marker

// Written text and what the tree holds afterwards.
const std::vector<std::pair<std::string, std::string>> kCases = {
    {"=\xFF\xFE+1", "=" + kReplacement + kReplacement + "+1"},
    {"a\x01"
     "b\x1F",
     "a" + kReplacement + "b" + kReplacement},
    {std::string("nul\0x", 5), "nul" + kReplacement + "x"},
    {"tab\tlf\ncr\r", "tab\tlf\ncr\r"},
    {kMarker + "P1" + kMarker + "R", kMarker + "P1" + kMarker + "R"},
    {"\xFF"
     "P",
     kReplacement + "P"},
    {"cut \xE2\x82", "cut " + kReplacement},  // one U+FFFD for a cut-off character
    {"\xC0\xAF overlong", kReplacement + kReplacement + " overlong"},
    {"\xED\xA0\x80 surrogate", kReplacement + kReplacement + kReplacement + " surrogate"},
    {"\xEF\xBF\xBE\xEF\xBF\xBF", kReplacement + kReplacement},  // U+FFFE, U+FFFF
    {"\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
    {"\xC2\x85 \xE2\x82\xAC \xF0\x9F\x98\x80", "\xC2\x85 \xE2\x82\xAC \xF0\x9F\x98\x80"},
};

TEST(TextRule, EveryWayInKeepsTheTreeWellFormed) {
  for (const auto& [written, held] : kCases) {
    SCOPED_TRACE(testing::PrintToString(written));
    Document document = Document::Parse("<R/>");
    Node root = document.DocumentElement();
    root.SetAttribute("A", written);
    Node element = root.AppendChild(document.CreateElement("E"));
    element.SetText(written);
    root.AppendChild(document.CreateTextNode(written));
    Node attribute = document.CreateAttribute("B");
    attribute.SetText(written);
    root.Attributes().SetNamedItem(attribute);

    EXPECT_EQ(root.AttributeOr("A", ""), held);
    EXPECT_EQ(element.Text(), held);
    EXPECT_EQ(root.LastChild().Text(), held);
    EXPECT_EQ(root.AttributeOr("B", ""), held);

    // What Xml() writes parses again to the same texts.
    Document again = Document::Parse(root.Xml(), true);
    Node reread = again.DocumentElement();
    EXPECT_EQ(reread.AttributeOr("A", ""), held);
    EXPECT_EQ(reread.AttributeOr("B", ""), held);
    EXPECT_EQ(reread.SelectSingleNode("E").Text(), held);
    EXPECT_EQ(reread.LastChild().Text(), held);
    EXPECT_EQ(again.Xml(), root.Xml());

    // Escape follows the same rule, in attributes and in content.
    Document escaped =
        Document::Parse("<R A=\"" + Escape(written) + "\">" + Escape(written) + "</R>", true);
    EXPECT_EQ(escaped.DocumentElement().AttributeOr("A", ""), held);
    EXPECT_EQ(escaped.DocumentElement().Text(), held);
  }
}

TEST(TextRule, UnwritableCommentsInstructionsAndNamesAreRefused) {
  Document document = Document::Parse("<R><!--note--><?step go?><![CDATA[x]]></R>", true);
  Node comment = document.DocumentElement().FirstChild();
  EXPECT_THROW(comment.SetText("a--b"), Error);
  EXPECT_THROW(comment.SetText("ends-"), Error);
  comment.SetText("a - b \x01");
  EXPECT_EQ(comment.Text(), "a - b " + kReplacement);
  EXPECT_THROW(comment.NextSibling().SetText("a?>b"), Error);
  // A CDATA section holding its own end marker is still written readably.
  Node cdata = document.DocumentElement().LastChild();
  cdata.SetText("x]]>y\xFF");
  Document again = Document::Parse(document.Xml(), true);
  EXPECT_EQ(again.DocumentElement().LastChild().Text(), "x]]>y" + kReplacement);
  EXPECT_EQ(again.DocumentElement().FirstChild().Text(), "a - b " + kReplacement);

  EXPECT_THROW(document.DocumentElement().SetAttribute("bad name", "v"), Error);
  EXPECT_THROW(document.DocumentElement().SetAttribute("\xFF", "v"), Error);
}

// Long runs of printable text are checked several bytes at a time: a
// byte the rule refuses or that starts a longer character is found at
// every position of a run, and the characters it allows stay.
TEST(TextRule, OddBytesAtEveryPositionOfLongText) {
  for (const std::string odd : {"\x01", "\x1F", "\x80", "\xFF", "\x7F", "\t", "\n", "\xC3\xBF"}) {
    const bool allowed = odd == "\x7F" || odd == "\t" || odd == "\n" || odd == "\xC3\xBF";
    for (std::size_t length = 0; length < 40; ++length) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string text(length, 'a');
        text.insert(at, odd);
        EXPECT_EQ(detail::ValidPrefixLength(text), allowed ? text.size() : at)
            << static_cast<int>(static_cast<unsigned char>(odd[0])) << " at " << at;
      }
    }
  }
}

}  // namespace
}  // namespace orvo::xml
