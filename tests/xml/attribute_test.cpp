#include <gtest/gtest.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo::xml {
namespace {

// Values rewritten in place must read and serialise exactly as freshly set
// ones, whichever way the old value was stored (parsed, dictionary, set).
TEST(Attributes, RewrittenValuesReadAndWriteAsNew) {
  Document doc = Document::Parse("<R Long='abcdefgh' One='x' Empty=''/>");
  Node root = doc.DocumentElement();
  root.SetAttribute("Long", "ab");       // shorter: in place
  root.SetAttribute("One", "longer y");  // longer: a new buffer
  root.SetAttribute("Empty", "z");
  EXPECT_EQ(root.Xml(), "<R Long=\"ab\" One=\"longer y\" Empty=\"z\"/>");
  root.SetAttribute("Long", "abcdefgh");  // longer than the last value, within the first
  root.SetAttribute("One", "");
  EXPECT_EQ(root.Xml(), "<R Long=\"abcdefgh\" One=\"\" Empty=\"z\"/>");
  root.SetAttribute("New", "");  // an empty new value
  root.SetAttribute("Long", std::string(100, 'q'));
  root.SetAttribute("Long", "&<\"");
  EXPECT_EQ(root.Xml(), "<R Long=\"&amp;&lt;&quot;\" One=\"\" Empty=\"z\" New=\"\"/>");
  EXPECT_EQ(root.SelectNodes("self::R[@New='' and @One='']").Length(), 1u);
  // The text rule still applies on the in-place path.
  root.SetAttribute("Long", "a\x01");
  EXPECT_EQ(root.AttributeOr("Long", ""), "a\xEF\xBF\xBD");
}

TEST(Attributes, ReadAttributeNameIsAndBatchAdds) {
  Document doc = Document::Parse("<x:R xmlns:x='urn:x' A='1' x:B='2'><C/></x:R>");
  Node root = doc.DocumentElement();
  std::string value = "stale";
  EXPECT_TRUE(root.ReadAttribute("A", value));
  EXPECT_EQ(value, "1");
  EXPECT_TRUE(root.ReadAttribute("x:B", value));
  EXPECT_EQ(value, "2");
  EXPECT_FALSE(root.ReadAttribute("Z", value));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(root.NameIs("x:R"));
  EXPECT_FALSE(root.NameIs("R"));
  EXPECT_TRUE(root.FirstChild().NameIs("C"));
  EXPECT_FALSE(root.FirstChild().NameIs("CC"));

  Node child = root.FirstChild();
  EXPECT_EQ(child.AddAttributes({{"P", "1"}, {"Q", ""}, {"P", "2"}}), 2u);  // existing stay
  EXPECT_EQ(child.AddAttributes({{"Q", "3"}, {"S", "4"}}), 1u);
  EXPECT_EQ(child.Xml(), "<C P=\"1\" Q=\"\" S=\"4\"/>");
  EXPECT_THROW(child.AddAttributes({{"1bad", ""}}), Error);

  Node appended = child.AppendNewElement("D");
  appended.SetAttribute("On", "0");
  EXPECT_EQ(root.FirstChild().Xml(), "<C P=\"1\" Q=\"\" S=\"4\"><D On=\"0\"/></C>");
  EXPECT_EQ(appended.ParentNode(), child);
  EXPECT_THROW(child.AppendNewElement("no good"), Error);
  EXPECT_THROW(Document(doc).AppendNewElement("Second"), Error);  // one document element
}

// Element and attribute names are checked as XML names, ASCII or not.
TEST(Attributes, NamesMustBeXmlNames) {
  Document doc = Document::Parse("<R/>");
  Node root = doc.DocumentElement();
  for (const char* name : {"A", "_x", "a:b", "a-b.c1", "\xC3\xA9t\xC3\xA9", "x\xC2\xB7y"}) {
    EXPECT_NO_THROW(root.SetAttribute(name, "v")) << name;
    EXPECT_NO_THROW(doc.CreateElement(name)) << name;
  }
  for (const char* name : {"", "1a", "-a", ".a", "a b", "a/b", "\xC2\xB7y", "a\x01"}) {
    EXPECT_THROW(root.SetAttribute(name, "v"), Error) << name;
    EXPECT_THROW(root.AppendNewElement(name), Error) << name;
  }
  EXPECT_THROW(root.AddAttributes({{"ok", "1"}, {"not ok", "2"}}), Error);
}

TEST(Attributes, CopiedIntoANewElementAndReadAllAtOnce) {
  Document source = Document::Parse(
      "<x:I xmlns:x='urn:x' Col='3' PTxt='a &amp; &lt;b&gt;' x:K='k' Empty=''>t</x:I>");
  const Node item = source.DocumentElement();
  Document target = Document::Create();
  Node row = target.CreateElement("Row");
  target.SetDocumentElement(row);
  const Node::AttributeCopy copies[] = {
      {"Dsp", "PTxt"}, {"Col", "Col"}, {"Missing", "None"}, {"Empty", "Empty"}, {"K", "x:K"}};
  const Node copy = row.AppendNewElement("Itm", item, copies);
  EXPECT_EQ(row.Xml(),
            "<Row><Itm Dsp=\"a &amp; &lt;b&gt;\" Col=\"3\" Missing=\"\" Empty=\"\" "
            "K=\"k\"/></Row>");
  EXPECT_EQ(copy.ParentNode(), row);
  EXPECT_EQ(copy.SelectNodes("self::Itm[@Missing='' and @Empty='' and @K='k']").Length(), 1u);
  // From a node that is no element every value is empty; bad names fail.
  row.AppendNewElement("T", item.FirstChild(), std::span(copies, 2));
  EXPECT_EQ(row.LastChild().Xml(), "<T Dsp=\"\" Col=\"\"/>");
  const Node::AttributeCopy bad[] = {{"no good", "Col"}};
  EXPECT_THROW(row.AppendNewElement("U", item, bad), Error);

  // Every attribute, prefixed names included; longer lists shrink.
  std::vector<std::pair<std::string, std::string>> attributes(9, {"stale", "stale"});
  item.ReadAttributes(attributes);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Col", "3"}, {"PTxt", "a & <b>"}, {"x:K", "k"}, {"Empty", ""}};
  EXPECT_EQ(attributes, expected);
  item.FirstChild().ReadAttributes(attributes);
  EXPECT_TRUE(attributes.empty());
}

}  // namespace
}  // namespace orvo::xml
