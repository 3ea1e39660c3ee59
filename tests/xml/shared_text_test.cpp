// Copies made by a NodeStamp share the text nodes of the attribute values
// they hold unchanged: whatever is done to one copy (edits, drops, moves,
// clones, frees in any order) must leave the other copies, and the copies
// made later, as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "orvo/xml.h"
#include "xml/arena.h"
#include "xml/libxml.h"

namespace orvo::xml {
namespace {

const std::string kLong = "a value long enough to live outside its text node";

// A row of two items built through the facade, as a report's template row.
Document TemplateRow() {
  Document doc = Document::Create();
  Node root = doc.AppendNewElement("Root");
  Node row = root.AppendNewElement("Row");
  for (const char* key : {"K1", "K2"}) {
    Node item = row.AppendNewElement("Itm");
    item.AddAttributes({{"Key", key}, {"Txt", kLong}, {"Flag", "0"}, {"Empty", ""}});
    item.AppendNewElement("PEx").SetAttribute("Exp", "1 + 2");
    Node style = item.AppendNewElement("Stl");
    style.AddAttributes({{"Size", "0"}, {"Font", kLong}});
    style.SetText("element text");
  }
  return doc;
}

// The attribute's only text node.
xmlNodePtr TextOf(const Node& element, std::string_view name) {
  Node attr = element.Attributes().GetNamedItem(name);
  return attr ? detail::ToXml(attr.Raw())->children : nullptr;
}

struct Copies {
  Document doc = TemplateRow();
  Node root = doc.DocumentElement();
  Node row = root.FirstChild();
  std::string expected = row.CloneNode(true).Xml();
  NodeStamp stamp{row};
  std::vector<Node> copies;

  explicit Copies(int count) {
    for (int i = 0; i < count; ++i) copies.push_back(root.AppendChild(stamp.Copy()));
  }
  // Every copy but those edited is as the row was, and so is a new one.
  void ExpectIntact(std::initializer_list<int> edited) const {
    for (int i = 0; i < static_cast<int>(copies.size()); ++i) {
      if (std::find(edited.begin(), edited.end(), i) != edited.end()) continue;
      EXPECT_EQ(copies[i].Xml(), expected) << "copy " << i;
    }
    EXPECT_EQ(const_cast<NodeStamp&>(stamp).Copy().Xml(), expected);
  }
};

TEST(SharedTexts, CopiesShareOneTextPerValue) {
  Copies rows(3);
  const Node a = rows.copies[0].FirstChild();
  const Node b = rows.copies[1].FirstChild();
  for (const char* name : {"Key", "Txt", "Flag"}) {
    ASSERT_NE(TextOf(a, name), nullptr);
    EXPECT_EQ(TextOf(a, name), TextOf(b, name)) << name;
    EXPECT_TRUE(detail::IsSharedText(TextOf(a, name))) << name;
  }
  EXPECT_EQ(TextOf(a, "Empty"), nullptr);
  // Equal values share one node, whatever the attribute.
  EXPECT_EQ(TextOf(a, "Flag"), TextOf(b.LastChild(), "Size"));
  EXPECT_EQ(TextOf(a, "Txt"), TextOf(a.NextSibling().LastChild(), "Font"));
  // Element texts are children a handle may reach: never shared.
  EXPECT_FALSE(detail::IsSharedText(detail::ToXml(a.LastChild().FirstChild().Raw())));
  EXPECT_NE(a.LastChild().FirstChild(), b.LastChild().FirstChild());
}

TEST(SharedTexts, ChangingRemovingOrDroppingOneCopysValueLeavesTheOthers) {
  Copies rows(12);
  std::vector<Node> items;
  for (const Node& copy : rows.copies) items.push_back(copy.FirstChild());
  items[0].SetAttribute("Key", "k");
  items[1].SetAttribute("Txt", kLong + ", replaced by a longer one");
  items[2].Attributes().GetNamedItem("Flag").SetText("1");
  items[3].SetAttribute("Key", "");
  items[4].SetAttribute("Empty", kLong);
  // A removed attribute keeps its value while held, and after its copy goes.
  Node removed = items[5].Attributes().GetNamedItem("Txt");
  items[5].RemoveAttribute("Txt");
  rows.copies[5] = Node();
  items[5] = Node();
  EXPECT_EQ(removed.Text(), kLong);
  removed.SetText("changed once removed");
  // Dropped, and copied into new attributes (the value becomes a text of the
  // new attribute's own).
  const Node::AttributeToAdd added[] = {{"Copied", "Key", ""}, {"Set", "", "v"}};
  const std::string_view dropped[] = {"Txt", "Flag"};
  EXPECT_EQ(items[6].AddAttributesFrom(added, dropped), 2u);
  EXPECT_EQ(items[6].AttributeOr("Copied", "-"), "K1");
  items[6].SetAttribute("Copied", "x");
  items[7].LastChild().SetAttribute("Size", "12");
  Node parse = items[8].FirstChild();
  items[8].RemoveChild(parse);
  parse.SetAttribute("Exp", "3");

  EXPECT_EQ(items[0].AttributeOr("Key", "-"), "k");
  EXPECT_EQ(items[1].AttributeOr("Txt", "-"), kLong + ", replaced by a longer one");
  EXPECT_EQ(items[2].AttributeOr("Flag", "-"), "1");
  EXPECT_EQ(items[3].AttributeOr("Key", "-"), "");
  EXPECT_EQ(items[4].AttributeOr("Empty", "-"), kLong);
  EXPECT_EQ(items[6].AttributeOr("Txt", "-"), "-");
  EXPECT_EQ(items[6].AttributeOr("Copied", "-"), "x");
  EXPECT_EQ(items[6].AttributeOr("Set", "-"), "v");
  EXPECT_EQ(items[7].LastChild().AttributeOr("Size", "-"), "12");
  EXPECT_EQ(parse.AttributeOr("Exp", "-"), "3");
  EXPECT_EQ(removed.Text(), "changed once removed");
  rows.ExpectIntact({0, 1, 2, 3, 4, 5, 6, 7, 8});
}

TEST(SharedTexts, CopiesFreedInAnyOrder) {
  for (int order = 0; order < 4; ++order) {
    auto rows = std::make_unique<Copies>(40);
    std::vector<Node> held;
    for (Node& copy : rows->copies) {
      held.push_back(copy.FirstChild());
      rows->root.RemoveChild(copy);
    }
    rows->copies.clear();
    if (order == 0) std::reverse(held.begin(), held.end());
    if (order == 1) {
      // Every other one first, then the rest.
      std::stable_partition(held.begin(), held.end(),
                            [&](const Node& n) { return (&n - held.data()) % 2 == 0; });
    }
    if (order == 2) rows.reset();  // the document and the stamp go first
    while (held.size() > 1) {
      if (order == 3 && held.size() == 20) rows.reset();
      EXPECT_EQ(held.back().AttributeOr("Txt", ""), kLong);
      held.pop_back();
    }
    // The last one outlives the document, the stamp and the other copies.
    rows.reset();
    EXPECT_EQ(held.back().AttributeOr("Key", ""), "K1");
    EXPECT_EQ(held.back().LastChild().AttributeOr("Font", ""), kLong);
  }
}

TEST(SharedTexts, CopiesMovedIntoOtherDocuments) {
  auto rows = std::make_unique<Copies>(6);
  std::vector<Node>& copies = rows->copies;
  // Into a document of another dictionary.
  Document other = Document::Parse("<Other/>");
  other.DocumentElement().AppendChild(copies[0]);
  // Into one sharing the dictionary: libxml2 moves it, and the copy is
  // given texts of its own first.
  Document sharing = Document::CreateSharingNames(rows->doc);
  sharing.AppendChild(copies[1]);
  EXPECT_FALSE(detail::IsSharedText(TextOf(copies[1].FirstChild(), "Txt")));
  // An attribute moved onto an element of another document.
  Node attr = copies[2].FirstChild().Attributes().GetNamedItem("Txt");
  copies[2].FirstChild().RemoveAttribute("Txt");
  other.DocumentElement().Attributes().SetNamedItem(attr);
  // Written by a shape into a document sharing the names, as the preview
  // writer does: attributes renamed, dropped and kept.
  static constexpr Node::AttributeCopy kItem[] = {{"Key", "Key"}, {"Shown", "Txt"}};
  static constexpr Node::AttributeCopy kStyle[] = {{"Font", "Font"}};
  static constexpr Node::ElementShape kItemChildren[] = {{"Stl", "Stl", kStyle, {}}};
  static constexpr Node::ElementShape kItemShape = {"Itm", "Itm", kItem, kItemChildren};
  Document output = Document::CreateSharingNames(rows->doc);
  Node out = output.AppendNewElement("Out");
  {
    Node::PreparedShape prepared(kItemShape);
    for (int i = 3; i < 6; ++i) {
      for (Node item = copies[i].FirstChild(); item;) {
        Node next = item.NextSibling();
        out.AppendShaped(std::move(item), prepared, true);
        item = next;
      }
    }
  }
  out.FirstChild().SetAttribute("Key", "changed");
  rows->ExpectIntact({2, 3, 4, 5});
  other.DocumentElement().FirstChild().FirstChild().SetAttribute("Flag", "9");
  copies[1].FirstChild().SetAttribute("Flag", "8");
  rows->ExpectIntact({0, 1, 2, 3, 4, 5});

  // Everything that held the copies goes; what was moved stays as it was.
  const std::string row = rows->expected;
  rows.reset();
  const auto item = [](const std::string& key, const std::string& font) {
    return "<Itm Key=\"" + key + "\" Shown=\"" + kLong + "\"><Stl Font=\"" + font + "\"/></Itm>";
  };
  std::string shaped = item("changed", kLong) + item("K2", kLong);
  for (int i = 0; i < 2; ++i) shaped += item("K1", kLong) + item("K2", kLong);
  EXPECT_EQ(out.Xml(), "<Out>" + shaped + "</Out>");
  std::string moved = row;
  moved.replace(moved.find("Flag=\"0\""), 8, "Flag=\"9\"");
  EXPECT_EQ(other.DocumentElement().Xml(), "<Other Txt=\"" + kLong + "\">" + moved + "</Other>");
  EXPECT_EQ(sharing.DocumentElement().FirstChild().AttributeOr("Flag", ""), "8");
}

TEST(SharedTexts, CopiesClonedAndImported) {
  auto rows = std::make_unique<Copies>(2);
  Node clone = rows->copies[0].CloneNode(true);
  Node shallow = rows->copies[0].FirstChild().CloneNode(false);
  Document other = Document::Parse("<Other/>");
  Node imported = other.ImportNode(rows->copies[1], true);
  other.DocumentElement().AppendChild(imported);
  EXPECT_EQ(clone.Xml(), rows->expected);
  EXPECT_EQ(imported.Xml(), rows->expected);
  clone.FirstChild().SetAttribute("Txt", "clone");
  shallow.SetAttribute("Key", "shallow");
  imported.FirstChild().SetAttribute("Flag", "imported");
  rows->ExpectIntact({});
  const std::string expected = rows->expected;
  rows.reset();
  std::string copied = expected;
  copied.replace(copied.find("Flag=\"0\""), 8, "Flag=\"imported\"");
  EXPECT_EQ(imported.Xml(), copied);
  EXPECT_EQ(clone.FirstChild().AttributeOr("Txt", ""), "clone");
  EXPECT_EQ(clone.FirstChild().NextSibling().AttributeOr("Txt", ""), kLong);
  EXPECT_EQ(shallow.AttributeOr("Txt", ""), kLong);
}

TEST(SharedTexts, XPathOverCopies) {
  Copies rows(50);
  rows.copies[7].FirstChild().SetAttribute("Flag", "1");
  Node doc = rows.doc;
  EXPECT_EQ(doc.SelectNodes("/Root/Row/Itm[@Flag='0' and @Txt='" + kLong + "']").Length(), 101u);
  EXPECT_EQ(doc.SelectNodes("//Itm[@Flag='1']").Length(), 1u);
  EXPECT_EQ(doc.SelectNodes("//Stl[@Size=0 and .='element text']").Length(), 102u);
  NodeList keys = doc.SelectNodes("/Root/Row[3]/Itm/@Key");
  ASSERT_EQ(keys.Length(), 2u);
  EXPECT_EQ(keys.Item(1).Text(), "K2");
  EXPECT_EQ(keys.Item(1).Xml(), "Key=\"K2\"");
  // Attributes have no children in a query: the shared texts never show.
  EXPECT_EQ(doc.SelectNodes("//Itm/@Key/node()").Length(), 0u);
  EXPECT_EQ(doc.SelectNodes("//Itm/@*/..").Length(), 102u);
  EXPECT_FALSE(doc.SelectSingleNode("//Itm[@Key='K2']/@Key/text()"));
}

// A shared text goes back to the pool with its last holder: loops of
// stamps, copies, clones, copied values and values written anew that are
// made, edited and dropped must not make the pools grow.
TEST(SharedTexts, TextsGoWithTheirLastHolder) {
  Document doc = TemplateRow();
  Node root = doc.DocumentElement();
  Node row = root.FirstChild();
  Node item = row.FirstChild();
  const Node::AttributeToAdd added[] = {{"Copied", "Key", ""}, {"Moved", "Txt", ""}};
  const std::string_view dropped[] = {"Copied", "Moved"};
  const auto step = [&](int i) {
    {
      NodeStamp stamp(row);
      Node kept = root.AppendChild(stamp.Copy());
      stamp.Copy().FirstChild().SetAttribute("Key", "edited");
      if (i % 2) kept.FirstChild().SetAttribute("Txt", std::to_string(i));
      root.RemoveChild(kept);
    }
    Node clone = row.CloneNode(true);
    clone.LastChild().SetAttribute("Flag", "x");
    item.AddAttributesFrom(added);
    item.SetAttribute("Key", i % 3 ? "K1" : "another key, long enough for a buffer");
    item.AddAttributesFrom({}, dropped);
    Document parsed = Document::Parse("<R><I A='1' B='1'/><I A='1' B='2'/></R>");
    parsed.DocumentElement().LastChild().SetAttribute("A", "3");
  };
  // The first rounds fill the pool's table of short values written lately.
  for (int i = 0; i < 5000; ++i) step(i);
  const std::size_t bytes = detail::NodePool::ChunkBytes();
  for (int i = 0; i < 20000; ++i) step(i);
  EXPECT_EQ(detail::NodePool::ChunkBytes(), bytes);
  EXPECT_EQ(item.AttributeOr("Txt", ""), kLong);
}

// Short values written anew share one text per pool; a pool merged into
// another lets go of the texts its table held.
TEST(SharedTexts, ShortValuesWrittenAnewShareTheirText) {
  Document doc = Document::Create();
  Node root = doc.AppendNewElement("Root");
  Node a = root.AppendNewElement("A");
  Node b = root.AppendNewElement("B");
  a.SetAttribute("Flag", "1");
  b.AddAttributes({{"Flag", "1"}, {"Long", kLong}});
  ASSERT_EQ(TextOf(a, "Flag"), TextOf(b, "Flag"));
  EXPECT_FALSE(detail::IsSharedText(TextOf(b, "Long")));
  const auto holders = [](xmlNodePtr text) { return reinterpret_cast<std::uintptr_t>(text->psvi); };
  EXPECT_EQ(holders(TextOf(a, "Flag")), 3u);  // the two attributes and the table
  b.SetAttribute("Flag", "0");
  EXPECT_EQ(holders(TextOf(a, "Flag")), 2u);
  EXPECT_EQ(a.AttributeOr("Flag", ""), "1");
  EXPECT_EQ(b.AttributeOr("Flag", ""), "0");

  Node moved = Document::Create().AppendNewElement("M");
  moved.SetAttribute("V", "moved");
  root.AppendChild(moved);
  EXPECT_EQ(holders(TextOf(moved, "V")), 1u);
  moved.SetAttribute("V", "changed");
  EXPECT_EQ(root.Xml(),
            "<Root><A Flag=\"1\"/><B Flag=\"0\" Long=\"" + kLong + "\"/><M V=\"changed\"/></Root>");
}

// A parsed document's repeated short values share one text; each
// attribute still reads, changes and goes on its own.
TEST(SharedTexts, RepeatedValuesOfAParsedDocument) {
  const std::string text =
      "<R><I A='0' B='0' C='a long value, not shared'/><I A='0' B='1'/><I A='0' B='0'/></R>";
  Document doc = Document::Parse(text);
  Node first = doc.DocumentElement().FirstChild();
  Node last = doc.DocumentElement().LastChild();
  EXPECT_EQ(TextOf(first, "A"), TextOf(first, "B"));
  EXPECT_EQ(TextOf(first, "A"), TextOf(last, "A"));
  EXPECT_TRUE(detail::IsSharedText(TextOf(first, "A")));
  EXPECT_FALSE(detail::IsSharedText(TextOf(first, "C")));
  first.SetAttribute("A", "changed");
  last.RemoveAttribute("B");
  Node clone = first.NextSibling().CloneNode(true);
  clone.SetAttribute("A", "clone");
  EXPECT_EQ(doc.DocumentElement().Xml(),
            "<R><I A=\"changed\" B=\"0\" C=\"a long value, not shared\"/><I A=\"0\" B=\"1\"/>"
            "<I A=\"0\"/></R>");
  EXPECT_EQ(doc.SelectNodes("//I[@A='0']").Length(), 2u);
  EXPECT_EQ(clone.Xml(), "<I A=\"clone\" B=\"1\"/>");
}

// A value an attribute gets anew that another attribute of its element
// holds (an item's display text, most often its value) shares that text,
// long or short; a shared value written over with itself keeps its text.
// Each attribute still changes, goes, copies and moves on its own, and
// loops of such writes leave the pool as it was.
TEST(SharedTexts, AttributesOfOneElementShareTheValuesTheyHaveInCommon) {
  Document doc = Document::Parse("<R><I Key='A1' Row='7' Value='=A1*2'/></R>");
  Node item = doc.DocumentElement().FirstChild();
  item.SetAttribute("Value", kLong);
  item.SetAttribute("PTxt", kLong);
  EXPECT_EQ(TextOf(item, "PTxt"), TextOf(item, "Value"));
  item.SetAttribute("OrigKey", "A1");
  EXPECT_EQ(TextOf(item, "OrigKey"), TextOf(item, "Key"));
  const xmlNodePtr key_text = TextOf(item, "Key");
  item.SetAttribute("Key", "A1");
  EXPECT_EQ(TextOf(item, "Key"), key_text);

  item.SetAttribute("Value", "14");
  Node copy = item.CloneNode(true);
  item.RemoveAttribute("Key");
  item.SetAttribute("OrigKey", "B2");
  Node moved = Document::Create().AppendNewElement("M");
  moved.AppendChild(copy);
  copy.SetAttribute("PTxt", "short");
  EXPECT_EQ(item.Xml(), "<I Row=\"7\" Value=\"14\" PTxt=\"" + kLong + "\" OrigKey=\"B2\"/>");
  EXPECT_EQ(copy.Xml(), "<I Key=\"A1\" Row=\"7\" Value=\"14\" PTxt=\"short\" OrigKey=\"A1\"/>");
  EXPECT_EQ(doc.SelectNodes("//I[@PTxt='" + kLong + "']").Length(), 1u);

  for (int i = 0; i < 1000; ++i) item.SetAttribute("Value", kLong + std::to_string(i % 2));
  const std::size_t bytes = detail::NodePool::ChunkBytes();
  for (int i = 0; i < 100000; ++i) {
    const std::string value = kLong + std::to_string(i % 2);
    item.SetAttribute("Value", value);
    item.SetAttribute("PTxt", value);
    item.SetAttribute("Row", "7");
    item.SetAttribute("Row2", i % 3 ? "7" : "8");
  }
  EXPECT_EQ(detail::NodePool::ChunkBytes(), bytes);
  EXPECT_EQ(item.AttributeOr("PTxt", ""), kLong + "1");
  EXPECT_EQ(item.AttributeOr("Row2", ""), "8");
}

}  // namespace
}  // namespace orvo::xml
