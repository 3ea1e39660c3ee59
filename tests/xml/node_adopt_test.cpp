#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo::xml {
namespace {

using Copy = Node::AttributeCopy;
using Shape = Node::ElementShape;

constexpr Copy kPartAttributes[] = {{"A", "A"}, {"B", "B"}};
constexpr Copy kRunAttributes[] = {{"F", "F"}, {"G", "G"}};
constexpr Shape kRunShape[] = {{"Run", "Run", kRunAttributes, {}}};
constexpr Copy kItemAttributes[] = {{"Col", "Col"}, {"Dsp", "PTxt"}, {"Key", "Key"}};
constexpr Shape kItemChildren[] = {{"Part", "Part", kPartAttributes, {}},
                                   {"Runs", "Runs", {}, kRunShape, true}};
constexpr Shape kItemShape = {"Itm", "Itm", kItemAttributes, kItemChildren};

// Items with a Drill written when they have none.
constexpr Copy kDrillAttributes[] = {{"On", "On"}, {"Key", "Key"}};
constexpr Node::AttributeValue kNoDrill[] = {{"On", "0"}, {"Key", ""}, {"Why", "none & <all>"}};
constexpr Shape kDrillChildren[] = {{"Part", "Part", kPartAttributes, {}},
                                    {"Drill", "Drill", kDrillAttributes, {}, false, kNoDrill}};
constexpr Shape kDrillItemShape = {"Itm", "Itm", kItemAttributes, kDrillChildren};

// Writes every item of the source's first element in turn, moving or
// copying, into a new document; returns the written XML.
std::string WriteAll(Document& source, bool move, std::vector<Node>* kept = nullptr,
                     const Shape& shape = kItemShape) {
  Document output = move ? Document::CreateSharingNames(source) : Document::Create();
  Node root = output.AppendNewElement("Out");
  Node::PreparedShape prepared(shape);
  std::vector<Node> items;
  for (Node item = source.DocumentElement().FirstChild(); item; item = item.NextSibling()) {
    if (item.Type() == NodeType::kElement) items.push_back(item);
  }
  for (Node& item : items) {
    Node written = root.AppendShaped(std::move(item), prepared, move);
    EXPECT_EQ(written.ParentNode(), root);
    if (kept) kept->push_back(written);
  }
  return root.Xml();
}

const char* const kOddItems[] = {
    // Attributes as the shape has them, renamed, missing, extra, reordered.
    "<Itm Col='1' PTxt='x' Key='k'/>",
    "<Itm Key='k' Extra='e' PTxt='a &amp; b' Col='3'/>",
    "<Itm PTxt=''/>",
    "<Itm Col='' Dsp='already' Key='a very long key that is not kept inline'/>",
    // Children kept, dropped, repeated, gathered from several runs or none.
    "<Itm Col='2'><PEx Exp='1'><Deep/></PEx><Part B='b' A='a' C='c'/>text<!-- note -->"
    "<Runs><Run G='g' F='f'/><Other/></Runs><Part/><Runs/><Runs><Run F='2'/></Runs></Itm>",
    "<Itm Col='4'><Runs X='1'><Run F='1' G='1'><Run F='nested'/></Run></Runs></Itm>",
};

TEST(AppendShaped, MovingWritesWhatCopyingWritesForOddSources) {
  std::string items;
  for (const char* item : kOddItems) items += item;
  for (const bool preserve_whitespace : {false, true}) {
    Document copied = Document::Parse("<Src>" + items + "</Src>", preserve_whitespace);
    Document moved = Document::Parse("<Src>" + items + "</Src>", preserve_whitespace);
    const std::string expected = WriteAll(copied, false);
    EXPECT_EQ(WriteAll(moved, true), expected);
    // The copy leaves its source as it was; the move takes the items away.
    EXPECT_EQ(copied.DocumentElement().SelectNodes("Itm").Length(), std::size(kOddItems));
    EXPECT_TRUE(moved.DocumentElement().SelectNodes("Itm").Empty());
    EXPECT_NE(expected.find("<Itm Col=\"3\" Dsp=\"a &amp; b\" Key=\"k\"><Runs/></Itm>"),
              std::string::npos);
    EXPECT_NE(expected.find("<Runs><Run F=\"f\" G=\"g\"/><Run F=\"2\" G=\"\"/></Runs>"),
              std::string::npos);
  }
}

TEST(AppendShaped, WritesTheAbsentChildOnlyForSourcesWithoutOne) {
  std::string items;
  for (const char* item : kOddItems) items += item;
  items += "<Itm><Drill On='1' Key='k'/><Part/><Drill Key='second'/></Itm><Itm Col='5'>text</Itm>";
  // Dropped attributes of every kind of value, some reused for the Drill.
  for (int i = 0; i < 3; ++i) {
    items += "<Itm Str='' MgKey='' Value='a value too long to be kept inside its text node, " +
             std::to_string(i) + "' Evaluated='-1' Amp='&amp;' Col='8'/>";
  }
  items += "<Itm A1='' A2='' A3='' A4='' A5='' A6='' A7='' A8='' A9='' A10='' Col='9'/>";
  Document copied = Document::Parse("<Src>" + items + "</Src>");
  Document moved = Document::Parse("<Src>" + items + "</Src>");
  const std::string expected = WriteAll(copied, false, nullptr, kDrillItemShape);
  EXPECT_EQ(WriteAll(moved, true, nullptr, kDrillItemShape), expected);
  EXPECT_TRUE(moved.DocumentElement().SelectNodes("Itm").Empty());
  EXPECT_NE(expected.find("<Itm Col=\"1\" Dsp=\"x\" Key=\"k\"><Drill On=\"0\" Key=\"\" "
                          "Why=\"none &amp; &lt;all&gt;\"/></Itm>"),
            std::string::npos);
  EXPECT_NE(expected.find("<Part A=\"\" B=\"\"/><Drill On=\"1\" Key=\"k\"/>"
                          "<Drill On=\"\" Key=\"second\"/></Itm>"),
            std::string::npos);
}

TEST(AppendShaped, MovesBuiltTreesAndOutlivesEitherDocument) {
  // A tree built through the facade (names and short texts in the
  // dictionary, values inside their nodes or in buffers of their own),
  // then cloned, as repeated rows are.
  Document source = Document::Create();
  Node top = source.AppendNewElement("Src");
  Node model = source.CreateElement("Itm");
  model.SetAttribute("Key", "key of a repeated row, longer than a short text");
  model.SetAttribute("PTxt", "12.50");
  model.SetAttribute("Col", "7");
  model.AppendChild(source.CreateElement("Part")).SetAttribute("A", "x");
  for (int i = 0; i < 50; ++i) top.AppendChild(model.CloneNode(true));
  Document copy_of_source = Document::Parse(source.Xml());
  const std::string expected = WriteAll(copy_of_source, false);

  std::vector<Node> written;
  EXPECT_EQ(WriteAll(source, true, &written), expected);
  // The source document goes first here; the written items live on.
  source = Document();
  top = Node();
  model = Node();
  ASSERT_EQ(written.size(), 50u);
  EXPECT_EQ(written[0].GetAttribute("Key").value_or(""),
            "key of a repeated row, longer than a short text");
  written[0].SetAttribute("Dsp", "changed after the move");
  written[1].FirstChild().SetAttribute("A", "y");
  EXPECT_EQ(written[1].Xml(),
            "<Itm Col=\"7\" Dsp=\"12.50\" Key=\"key of a repeated row, longer than a short "
            "text\"><Part A=\"y\" B=\"\"/><Runs/></Itm>");
}

TEST(AppendShaped, CopiesWhatItCannotMove) {
  const std::string text =
      "<!DOCTYPE Src [<!ENTITY e 'entity'>]>"
      "<Src xmlns:n='urn:n'><Itm Col='1' n:Key='ns'/><Itm Col='2'><Part A='held'/></Itm>"
      "<Itm Col='3'/><n:Itm Col='4'/><Itm PTxt='a&e;b'/><Itm Col='6'/></Src>";
  Document expected_source = Document::Parse(text);
  const std::string expected = WriteAll(expected_source, false);

  Document source = Document::Parse(text);
  Node held_part = source.SelectSingleNode("//Part");
  Node held_item = source.DocumentElement().ChildNodes().Item(2);
  EXPECT_EQ(WriteAll(source, true), expected);
  // Items with a namespace, a held node below them, a second handle or an
  // entity reference stay in the source as they were; the last one moved.
  EXPECT_NE(expected.find("Dsp=\"aentityb\""), std::string::npos);
  EXPECT_EQ(source.DocumentElement().ChildNodes().Length(), 5u);
  EXPECT_EQ(held_part.ParentNode().GetAttribute("Col").value_or(""), "2");
  EXPECT_EQ(held_item.ParentNode(), source.DocumentElement());

  // A target keeping its names elsewhere gets copies.
  Document unrelated = Document::Parse(text);
  Document target = Document::Parse("<Out/>");
  target.DocumentElement().AppendShaped(unrelated.SelectSingleNode("//Itm[@Col='3']"), kItemShape,
                                        true);
  EXPECT_EQ(target.DocumentElement().Xml(),
            "<Out><Itm Col=\"3\" Dsp=\"\" Key=\"\"><Runs/></Itm></Out>");
  EXPECT_TRUE(unrelated.SelectSingleNode("//Itm[@Col='3']"));
}

// The odd items, then one with more attribute names than a list's
// remembered names hold.
std::string OddItemsAndAWideOne() {
  std::string items;
  for (const char* item : kOddItems) items += item;
  items += "<Itm";
  for (int i = 0; i < 80; ++i) items += " X" + std::to_string(i) + "='" + std::to_string(i) + "'";
  items += " PTxt='wide' Col='9'/>";
  return items;
}

TEST(AppendShaped, OnePreparedShapeServesTargetsOfEveryKind) {
  const std::string items = OddItemsAndAWideOne();
  Document expected_source = Document::Parse("<Src>" + items + "</Src>");
  const std::string expected = WriteAll(expected_source, false);
  Node::PreparedShape prepared(kItemShape);
  const auto write_all = [&prepared](Node& root, Document& source) {
    std::vector<Node> all;
    for (Node item = source.DocumentElement().FirstChild(); item; item = item.NextSibling()) {
      all.push_back(item);
    }
    for (Node& item : all) root.AppendShaped(std::move(item), prepared, true);
    return source.DocumentElement().FirstChild() ? "not moved: " + source.DocumentElement().Xml()
                                                 : root.Xml();
  };
  // A target sharing the names of a parsed source, then one sharing those
  // of another (the names are looked up again).
  Document first = Document::Parse("<Src>" + items + "</Src>");
  Document shared = Document::CreateSharingNames(first);
  Node shared_root = shared.AppendNewElement("Out");
  EXPECT_EQ(write_all(shared_root, first), expected);
  Document second = Document::Parse("<Src>" + items + "</Src>");
  Document other = Document::CreateSharingNames(second);
  Node other_root = other.AppendNewElement("Out");
  EXPECT_EQ(write_all(other_root, second), expected);
  // A source built through the facade, whose names the facade chose.
  const auto build = [] {
    Document built = Document::Create();
    Node top = built.AppendNewElement("Src");
    for (int i = 0; i < 3; ++i) {
      Node item = top.AppendNewElement("Itm");
      item.SetAttribute("Extra", "e");
      item.SetAttribute("PTxt", "text " + std::to_string(i));
      item.SetAttribute("Col", std::to_string(i));
      item.AppendNewElement("Part").SetAttribute("B", "b");
      item.AppendNewElement("Runs").AppendNewElement("Run").SetAttribute("F", "f");
    }
    return built;
  };
  Document built_copy = build();
  const std::string built_expected = WriteAll(built_copy, false);
  Document built = build();
  Document built_target = Document::CreateSharingNames(built);
  Node built_root = built_target.AppendNewElement("Out");
  EXPECT_EQ(write_all(built_root, built), built_expected);
  // The sources go first; the targets stay.
  first = Document();
  second = Document();
  built = Document();
  EXPECT_EQ(shared_root.FirstChild().GetAttribute("Dsp").value_or(""), "x");
  EXPECT_EQ(other_root.LastChild().GetAttribute("Dsp").value_or(""), "wide");
  EXPECT_EQ(built_root.LastChild().FirstChild().GetAttribute("B").value_or(""), "b");
}

constexpr Copy kBadAttributes[] = {{"Col", "Col"}, {"1bad", "PTxt"}};
constexpr Shape kBadShape = {"Itm", "Itm", kBadAttributes, {}};

TEST(AppendShaped, RefusesBadNamesBeforeChangingAnything) {
  for (const bool move : {false, true}) {
    Document source = Document::Parse("<Src><Itm Col='1' PTxt='x' Key='k'/></Src>");
    Document target = Document::CreateSharingNames(source);
    Node root = target.AppendNewElement("Out");
    EXPECT_THROW(root.AppendShaped(source.DocumentElement().FirstChild(), kBadShape, move), Error);
    // Whatever the failed call left belongs to one document or the other,
    // and either may go first.
    source = Document();
    if (move) {
      EXPECT_EQ(root.SelectNodes("Itm[@Col='1' and @PTxt='x']").Length(), 1u);
    }
    EXPECT_TRUE(root.Xml().starts_with("<Out"));
  }
}

TEST(HasDescendant, FindsElementsAtAnyDepthByTheirNames) {
  Document doc = Document::Parse(
      "<R xmlns:n='urn:n'><A>text<!-- Row --><B><Row/></B></A><C><n:Row/></C><D Row='1'/></R>");
  Node a = doc.SelectSingleNode("/R/A");
  EXPECT_TRUE(a.HasDescendant("Row"));
  EXPECT_FALSE(a.HasDescendant("A"));
  EXPECT_FALSE(doc.SelectSingleNode("/R/C").HasDescendant("Row"));
  EXPECT_TRUE(doc.SelectSingleNode("/R/C").HasDescendant("n:Row"));
  EXPECT_FALSE(doc.SelectSingleNode("/R/D").HasDescendant("Row"));
  EXPECT_TRUE(doc.HasDescendant("D"));
}

TEST(HasDescendant, AnswersForManyNodesAtOnceAsOneByOne) {
  // More nodes than walk in step, of every kind, with subtrees of all
  // sizes; a node may come twice.
  std::string text = "<R xmlns:n='urn:n'>";
  for (int i = 0; i < 40; ++i) {
    text += "<I a='1'>t<B>" + std::string(i % 7 == 3 ? "<C><Row/></C>" : "<C/>") +
            std::string(i % 11 == 5 ? "<n:Row/>" : "") + "</B><!--Row-->" +
            std::string(i == 39 ? "<Row/>" : "") + "</I>";
  }
  text += "</R>";
  Document doc = Document::Parse(text);
  std::vector<Node> nodes = {doc, doc.DocumentElement()};
  for (const Node& node : doc.SelectNodes("//node() | //@*")) nodes.push_back(node);
  nodes.push_back(doc.SelectSingleNode("/R/I"));
  for (const std::string_view name : {"Row", "n:Row", "C", "R"}) {
    std::vector<bool> answers;
    Node::HasDescendants(nodes, name, answers);
    ASSERT_EQ(answers.size(), nodes.size());
    std::size_t found = 0;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      EXPECT_EQ(answers[i], nodes[i].HasDescendant(name)) << name << " " << i;
      found += answers[i] ? 1 : 0;
    }
    EXPECT_GT(found, name == "R" ? 0u : 5u) << name;
  }
  std::vector<bool> none = {true};
  Node::HasDescendants({}, "Row", none);
  EXPECT_TRUE(none.empty());
}

TEST(ReadAttributes, ReadsOneAttributeOfManyNodesAsReadAttribute) {
  // Values of one text, of none, of several (an entity inside), prefixed
  // names, attributes missing, and nodes that have none (texts, the document).
  std::string text = "<!DOCTYPE R [<!ENTITY e 'E'>]><R xmlns:n='urn:n'>";
  for (int i = 0; i < 40; ++i) {
    const std::string number = std::to_string(i);
    text += i % 5 == 0   ? "<I Row='" + number + "'/>"
            : i % 5 == 1 ? "<I Key='k' Col=''/>"
            : i % 5 == 2 ? "<I Col='a&e;b" + number + "' Key='k'/>"
            : i % 5 == 3 ? "<I n:Col='p" + number + "' Col='c" + number + "'/>"
                         : "<I>t</I>";
  }
  text += "</R>";
  Document doc = Document::Parse(text);
  std::vector<Node> nodes = {doc};
  for (const Node& node : doc.SelectNodes("//node()")) nodes.push_back(node);
  for (const std::string_view name : {"Col", "n:Col", "Row", ""}) {
    std::vector<std::string> values(3, "old");
    Node::ReadAttributes(nodes, name, values);
    ASSERT_EQ(values.size(), nodes.size());
    std::size_t present = 0;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      std::string expected;
      const bool element = nodes[i].Type() == NodeType::kElement;
      if (element && nodes[i].ReadAttribute(name, expected)) ++present;
      EXPECT_EQ(values[i], expected) << name << " " << i;
    }
    EXPECT_EQ(present, name.empty() ? 0u : name == "Col" ? 24u : 8u) << name;
  }
  EXPECT_EQ(doc.SelectSingleNode("/R/I[3]").GetAttribute("Col"), "aEb2");
}

}  // namespace
}  // namespace orvo::xml
