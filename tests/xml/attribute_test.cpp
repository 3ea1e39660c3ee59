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

// Values taken from other attributes of the element: copied as they are
// (entity-decoded, long, empty, missing), existing names left alone, a
// prefixed source found, the added ones after the rest in their order.
TEST(Attributes, AddedFromOtherAttributes) {
  Document doc = Document::Parse("<x:R xmlns:x='urn:x' K='a&amp;b' L='" + std::string(40, 'l') +
                                 "' E='' x:P='p' Had='h'/>");
  Node root = doc.DocumentElement();
  const Node::AttributeToAdd added[] = {
      {"Fixed", {}, "0"},       {"CopyK", "K", {}},   {"CopyL", "L", {}}, {"CopyE", "E", {}},
      {"CopyNone", "None", {}}, {"CopyP", "x:P", {}}, {"Had", "K", {}}};
  EXPECT_EQ(root.AddAttributesFrom(added), 6u);
  EXPECT_EQ(root.Xml(), "<x:R xmlns:x=\"urn:x\" K=\"a&amp;b\" L=\"" + std::string(40, 'l') +
                            "\" E=\"\" x:P=\"p\" Had=\"h\" Fixed=\"0\" CopyK=\"a&amp;b\" CopyL=\"" +
                            std::string(40, 'l') + "\" CopyE=\"\" CopyNone=\"\" CopyP=\"p\"/>");
  // The copies are values of their own.
  root.SetAttribute("K", "changed");
  EXPECT_EQ(root.AttributeOr("CopyK", ""), "a&b");
  EXPECT_EQ(root.AddAttributesFrom(added), 0u);
  const Node::AttributeToAdd bad[] = {{"not ok", {}, "1"}};
  EXPECT_THROW(root.AddAttributesFrom(bad), Error);

  // Dropped attributes go first (the last one, and one a handle still
  // holds, too); a source is never dropped.
  Document items = Document::Parse("<I K='k' S='' M='m' V='v'/>");
  Node item = items.DocumentElement();
  const Node held = item.Attributes().GetNamedItem("M");
  const Node::AttributeToAdd copies[] = {{"OK", "K", {}}, {"OV", "V", {}}};
  constexpr std::string_view kDropped[] = {"S", "M", "V", "Absent"};
  EXPECT_EQ(item.AddAttributesFrom(copies, kDropped), 2u);
  EXPECT_EQ(item.Xml(), "<I K=\"k\" V=\"v\" OK=\"k\" OV=\"v\"/>");
  EXPECT_EQ(held.Text(), "m");
  EXPECT_TRUE(held.ParentNode().IsNull());
  constexpr std::string_view kLast[] = {"OV"};
  EXPECT_EQ(item.AddAttributesFrom({}, kLast), 0u);
  item.SetAttribute("After", "1");
  EXPECT_EQ(item.Xml(), "<I K=\"k\" V=\"v\" OK=\"k\" After=\"1\"/>");
}

// An adder for many elements gives each the result AddAttributesFrom gives
// it, whether the element repeats the shape of the one before or not: other
// names or order, a handle on an attribute to drop, an addition already
// there, a prefixed or missing source, another document, and values long,
// empty or repaired. The values stay each attribute's own.
TEST(Attributes, AdderMatchesAddingOneByOne) {
  const std::string rows =
      "<Rows xmlns:x='urn:x'>"
      "<I K='k1' R='1' V='=A1' S='' M='' Z='0'/>"
      "<I K='k2' R='2' V='" +
      std::string(40, 'v') +
      "' S='s' M='' Z='0'><C/></I>"
      "<I K='k3' R='3' V='' S='' M='' Z='0'/>"
      "<I K='k4' R='4' S='' M='' Z='0' V='late'/>"
      "<I K='k5' R='5' V='v' S='' M='' Z='0' Fixed='had'/>"
      "<I K='k6' x:R='p' V='v' M='' S=''/>"
      "<I K='k7' R='7' V='v' Z='0'/>"
      "<I/>"
      "<I K='k9' R='9' V='v' S='' M='' Z='0'/>"
      "<I K='k10' R='10' V='v' S='s' M='m' Z='0'/>"
      "</Rows>";
  const std::string long_value(30, 'f');
  const std::string repaired = std::string("a\x01") + "b";
  const Node::AttributeToAdd added[] = {{"Fixed", {}, "0"},       {"CopyR", "R", {}},
                                        {"Long", {}, long_value}, {"Repaired", {}, repaired},
                                        {"Empty", {}, ""},        {"CopyV", "V", {}}};
  constexpr std::string_view kDropped[] = {"S", "M"};
  Document expected = Document::Parse(rows);
  Document got = Document::Parse(rows);
  Document other = Document::Parse(rows);
  Node::AttributeAdder adder(added, kDropped);
  std::vector<Node> held;
  Node want = expected.DocumentElement().FirstChild();
  for (Node item = got.DocumentElement().FirstChild(); item; item = item.NextSibling()) {
    // A handle on an attribute to drop: it leaves, and keeps its value.
    if (item.AttributeOr("K", "") == "k10") held.push_back(item.Attributes().GetNamedItem("M"));
    EXPECT_EQ(adder.AddTo(item), want.AddAttributesFrom(added, kDropped));
    EXPECT_EQ(item.Xml(), want.Xml());
    want = want.NextSibling();
  }
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].Text(), "m");
  EXPECT_TRUE(held[0].ParentNode().IsNull());
  // Another document, and again over elements that have them all.
  Node first = other.DocumentElement().FirstChild();
  EXPECT_EQ(adder.AddTo(first), 6u);
  EXPECT_EQ(first.Xml(), expected.DocumentElement().FirstChild().Xml());
  for (Node item = got.DocumentElement().FirstChild(); item; item = item.NextSibling()) {
    EXPECT_EQ(adder.AddTo(item), 0u);
  }
  // Shared values are each attribute's own to rewrite.
  Node one = got.DocumentElement().FirstChild();
  Node two = one.NextSibling();
  one.SetAttribute("Fixed", "-1");
  one.SetAttribute("R", "100");
  EXPECT_EQ(two.AttributeOr("Fixed", ""), "0");
  EXPECT_EQ(one.AttributeOr("CopyR", ""), "1");
  EXPECT_EQ(got.DocumentElement().SelectNodes("I[@Fixed='0']").Length(), 8u);
  const Node::AttributeToAdd bad[] = {{"not ok", {}, "1"}};
  Node::AttributeAdder bad_adder(bad);
  EXPECT_THROW(bad_adder.AddTo(one), Error);
}

// An attribute read by its place in the list, prefixed or not, reads as a
// read by name does; a place past the last, or a node that is no element,
// has none.
TEST(Attributes, ReadByPlaceInTheList) {
  Document doc = Document::Parse("<x:R xmlns:x='urn:x' K='a&amp;b' x:P='p' L='" +
                                 std::string(40, 'l') + "' E=''>text</x:R>");
  Node root = doc.DocumentElement();
  root.SetAttribute("Set", "1");
  std::string value = "old";
  const std::string expected[] = {"a&b", "p", std::string(40, 'l'), "", "1"};
  for (std::size_t at = 0; at < std::size(expected); ++at) {
    EXPECT_TRUE(root.ReadAttributeAt(at, value));
    EXPECT_EQ(value, expected[at]);
  }
  EXPECT_FALSE(root.ReadAttributeAt(5, value));
  EXPECT_EQ(value, "");
  value = "old";
  EXPECT_FALSE(root.FirstChild().ReadAttributeAt(0, value));
  EXPECT_EQ(value, "");
  EXPECT_THROW(Node().ReadAttributeAt(0, value), Error);
}

// Element and attribute names are checked as XML names, ASCII or not.
// One walk finds several attributes; writes go to the attribute found, or
// add one at the end when there is none, also when it came after the walk.
TEST(Attributes, SetFoundInOneWalk) {
  Document doc =
      Document::Parse("<x:R xmlns:x='urn:x' Key='K' x:Val='v' Value='1' Val='plain'><C/></x:R>");
  Node root = doc.DocumentElement();
  static constexpr std::string_view kNames[] = {"Value", "x:Val", "PTxt", "Val", "Late"};
  AttributeSet set(kNames);
  set.Find(root);
  EXPECT_TRUE(set.Element() == root);
  EXPECT_EQ(set.Value(0), "1");
  EXPECT_EQ(set.Value(1), "v");
  EXPECT_FALSE(set.Has(2));
  EXPECT_EQ(set.Value(2), "");
  EXPECT_EQ(set.Value(3), "plain");
  set.Write(0, "2.5");
  root.SetAttribute("Other", "o");  // after the walk: new ones still go last
  set.Write(2, "shown");
  root.SetAttribute("Late", "a");  // after the walk: written, not duplicated
  EXPECT_FALSE(set.Has(4));
  set.Write(4, "b");
  root.SetAttribute("Value", "3");  // written elsewhere: read again
  EXPECT_EQ(set.Value(0), "3");
  EXPECT_EQ(root.Xml(),
            "<x:R xmlns:x=\"urn:x\" Key=\"K\" x:Val=\"v\" Value=\"3\" Val=\"plain\" "
            "Other=\"o\" PTxt=\"shown\" Late=\"b\"><C/></x:R>");
  EXPECT_THROW(set.Has(5), Error);
  // Nodes that are no elements have none; writing needs an element.
  set.Find(root.FirstChild());
  EXPECT_FALSE(set.Has(0));
  set.Find(doc);
  EXPECT_THROW(set.Write(0, "x"), Error);
  set.Clear();
  EXPECT_THROW(set.Write(0, "x"), Error);
  static constexpr std::string_view kEmpty[] = {""};
  EXPECT_THROW(AttributeSet{kEmpty}, Error);
}

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
  // The same as views, one call each.
  std::vector<std::pair<std::string, std::string>> visited;
  item.VisitAttributes(
      [&](std::string_view name, std::string_view value) { visited.emplace_back(name, value); });
  EXPECT_EQ(visited, expected);
  item.FirstChild().VisitAttributes([&](std::string_view, std::string_view) { FAIL(); });
  // A value of several nodes (text and an entity reference) is read whole.
  Document entity = Document::Parse("<!DOCTYPE d [<!ENTITY e 'E'>]><d a='x&e;y'/>");
  visited.clear();
  entity.DocumentElement().VisitAttributes(
      [&](std::string_view name, std::string_view value) { visited.emplace_back(name, value); });
  EXPECT_EQ(visited, (std::vector<std::pair<std::string, std::string>>{{"a", "xEy"}}));
}

// Names are looked up however their nodes came into the document: parsed,
// made before or after the document had a dictionary, copied, imported,
// moved between documents with and without one, loaded, transformed.
TEST(Attributes, FoundHoweverTheNodesCameIntoTheDocument) {
  auto expect_found = [](const Node& element, const char* name, const char* key) {
    EXPECT_TRUE(element.NameIs(name)) << element.Xml();
    EXPECT_EQ(element.AttributeOr(key, "none"), "v") << element.Xml();
    EXPECT_FALSE(element.HasAttribute("Absent"));
  };
  // Built from nothing: the first element and an imported subtree come
  // before the document has a dictionary, later names after.
  Document built = Document::Create();
  Node first = built.CreateElement("First");
  Node imported = built.ImportNode(Document::Parse("<Imp K='v'><Deep D='v'/></Imp>"), true);
  first.SetAttribute("F", "v");
  built.SetDocumentElement(first);
  first.AppendChild(imported);
  expect_found(first, "First", "F");
  expect_found(imported, "Imp", "K");
  expect_found(imported.FirstChild(), "Deep", "D");
  Node removed = first.RemoveChild(imported);
  removed.SetAttribute("Late", "v");
  expect_found(removed, "Imp", "Late");

  // Loaded into a document without a dictionary, which gets one later.
  Document loaded = Document::Create();
  loaded.LoadXml("<L A='v'><M B='v'/></L>");
  expect_found(loaded.DocumentElement(), "L", "A");
  Node extra = loaded.CreateElement("X");
  loaded.DocumentElement().AppendChild(extra);
  extra.SetAttribute("C", "v");
  expect_found(loaded.DocumentElement().FirstChild(), "M", "B");
  expect_found(extra, "X", "C");

  // Moved from a parsed document into a built one and back; an attribute
  // set as a named item from another document; a copied document.
  Document parsed = Document::Parse("<P><Q Q='v'/></P>");
  Node moving = parsed.DocumentElement().FirstChild();
  first.AppendChild(moving);
  expect_found(moving, "Q", "Q");
  Document plain = Document::Create();
  plain.SetDocumentElement(plain.CreateElement("Only"));
  plain.DocumentElement().AppendChild(moving);
  expect_found(moving, "Q", "Q");
  parsed.DocumentElement().AppendChild(moving);
  expect_found(moving, "Q", "Q");
  Node attribute = plain.CreateAttribute("Named");
  attribute.SetText("v");
  moving.Attributes().SetNamedItem(attribute);
  expect_found(moving, "Q", "Named");
  Document copied = Document(parsed.CloneNode(true));
  copied.DocumentElement().SetAttribute("S", "v");
  copied.DocumentElement().AppendNewElement("T").SetAttribute("U", "v");
  expect_found(copied.DocumentElement(), "P", "S");
  expect_found(copied.DocumentElement().FirstChild(), "Q", "Named");
  expect_found(copied.DocumentElement().LastChild(), "T", "U");

  // Transform results, into documents with and without a dictionary.
  Stylesheet make = Stylesheet::Compile(
      "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
      "<xsl:template match='/'><Out O='v'><xsl:copy-of select='//Q'/></Out></xsl:template>"
      "</xsl:stylesheet>");
  for (Document output : {Document::Parse("<Old/>"), Document::Create()}) {
    parsed.TransformNodeToObject(make, output);
    expect_found(output.DocumentElement(), "Out", "O");
    expect_found(output.DocumentElement().FirstChild(), "Q", "Q");
    output.DocumentElement().SetAttribute("Z", "v");
    expect_found(output.DocumentElement(), "Out", "Z");
  }
}

// Prefixed names, names the document has only as text, and a caller reusing
// the storage of a name for another.
TEST(Attributes, LookupsStayRightAcrossNames) {
  Document doc =
      Document::Parse("<R xmlns:p='urn:p' p:A='pa' A='a' un:B='b'><p:E/><un:F/><G>Text</G></R>");
  Node root = doc.DocumentElement();
  EXPECT_EQ(root.AttributeOr("A", ""), "a");
  EXPECT_EQ(root.AttributeOr("p:A", ""), "pa");
  EXPECT_EQ(root.AttributeOr("un:B", ""), "b");  // an undeclared prefix stays in the name
  EXPECT_FALSE(root.HasAttribute("B"));
  EXPECT_FALSE(root.HasAttribute("Text"));  // in the document, but as text only
  EXPECT_TRUE(root.FirstChild().NameIs("p:E"));
  EXPECT_FALSE(root.FirstChild().NameIs("E"));
  EXPECT_TRUE(root.FirstChild().NextSibling().NameIs("un:F"));
  EXPECT_FALSE(root.LastChild().NameIs("Text"));
  EXPECT_FALSE(root.NameIs(""));
  EXPECT_FALSE(root.HasAttribute(std::string("A\0B", 3)));
  const std::string long_name(40, 'L');
  EXPECT_FALSE(root.HasAttribute(long_name));
  root.SetAttribute(long_name, "long");
  EXPECT_EQ(root.AttributeOr(long_name, ""), "long");

  std::string name = "A";
  EXPECT_EQ(root.AttributeOr(name, ""), "a");
  name[0] = 'C';  // same storage, another name
  EXPECT_FALSE(root.HasAttribute(name));
  root.LastChild().SetAttribute("C", "c");  // the name enters the dictionary
  EXPECT_FALSE(root.HasAttribute(name));
  EXPECT_EQ(root.LastChild().AttributeOr(name, ""), "c");
  root.SetAttribute(name, "rc");
  EXPECT_EQ(root.AttributeOr(name, ""), "rc");
}

// Names given to new elements and attributes stay right over many documents
// made and freed and when a caller reuses the storage of a name for another.
TEST(Attributes, NewNamesStayRightAcrossDocumentsAndStorage) {
  std::string name = "Aa";
  for (int i = 0; i < 200; ++i) {
    Document doc = i % 2 ? Document::Parse("<D/>") : Document::Create();
    if (i % 2 == 0) doc.SetDocumentElement(doc.CreateElement("D"));
    name[1] = static_cast<char>('a' + i % 3);
    Node element = doc.DocumentElement().AppendNewElement(name);
    element.AddAttributes({{name, "1"}, {"Fixed", "2"}});
    element.AppendNewElement("E").AddAttributes({{"Fixed", "3"}});
    EXPECT_EQ(doc.Xml(), "<D><" + name + " " + name + "=\"1\" Fixed=\"2\"><E Fixed=\"3\"/></" +
                             name + "></D>");
  }
  Node root = Document::Parse("<R/>").DocumentElement();
  name = "ok";
  EXPECT_EQ(root.AddAttributes({{name, ""}}), 1u);
  name[0] = '1';  // same storage, no XML name
  EXPECT_THROW(root.AddAttributes({{name, ""}}), Error);
  EXPECT_THROW(root.AppendNewElement(name), Error);
}

}  // namespace
}  // namespace orvo::xml
