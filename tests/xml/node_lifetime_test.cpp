#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo::xml {
namespace {

TEST(NodeLifetime, RemovedNodeStaysUsableWhileHeld) {
  Node removed;
  {
    Document doc = Document::Parse("<R><A K='1'><B/></A><C/></R>");
    Node root = doc.DocumentElement();
    removed = root.RemoveChild(root.FirstChild());
    EXPECT_EQ(root.Xml(), "<R><C/></R>");
  }
  // The document handle is gone; the removed subtree lives on.
  EXPECT_EQ(removed.Xml(), "<A K=\"1\"><B/></A>");
  removed.SetAttribute("K", "2");
  removed.FirstChild().SetAttribute("X", "y");
  EXPECT_EQ(removed.Xml(), "<A K=\"2\"><B X=\"y\"/></A>");
  EXPECT_TRUE(removed.ParentNode().IsNull());
}

TEST(NodeLifetime, HeldDescendantOfDroppedDetachedRootSurvivesSweeps) {
  Document doc = Document::Parse("<R><A><B N='deep'/></A></R>");
  Node deep = doc.SelectSingleNode("//B");
  {
    Node root = doc.DocumentElement();
    root.RemoveChild(root.FirstChild());  // the handle to A is dropped at once
  }
  // Many unheld detached nodes force the arena to sweep repeatedly.
  for (int i = 0; i < 5000; ++i) doc.CreateElement("Junk" + std::to_string(i % 7));
  EXPECT_EQ(deep.GetAttribute("N").value_or(""), "deep");
  EXPECT_EQ(deep.ParentNode().Name(), "A");
}

TEST(NodeLifetime, NodeMovesToAnotherDocumentAndHandlesFollowIt) {
  Document target = Document::Parse("<Out/>");
  Node moved;
  {
    Document source = Document::Parse("<In><Row Key='r1'>text</Row></In>");
    moved = source.DocumentElement().FirstChild();
    target.DocumentElement().AppendChild(moved);
    EXPECT_EQ(source.DocumentElement().Xml(), "<In/>");
  }
  moved.SetAttribute("Key", "r2");  // the template-then-modify pattern
  EXPECT_EQ(target.DocumentElement().Xml(), "<Out><Row Key=\"r2\">text</Row></Out>");
  EXPECT_EQ(moved.OwnerDocument(), target);
  // Cloned templates of another document, appended and modified afterwards.
  Document templates = Document::Parse("<Itm Key=''/>");
  Node copy = templates.DocumentElement().CloneNode(true);
  target.DocumentElement().AppendChild(copy);
  copy.SetAttribute("Key", "SUM");
  EXPECT_NE(target.DocumentElement().Xml().find("<Itm Key=\"SUM\"/>"), std::string::npos);
  EXPECT_EQ(templates.DocumentElement().Xml(), "<Itm Key=\"\"/>");
}

TEST(NodeLifetime, AdjacentTextNodesAreNotMerged) {
  Document doc = Document::Parse("<R/>");
  Node first = doc.CreateTextNode("ab");
  Node second = doc.CreateTextNode("cd");
  doc.DocumentElement().AppendChild(first);
  doc.DocumentElement().AppendChild(second);
  EXPECT_EQ(doc.DocumentElement().ChildNodes().Length(), 2u);
  second.SetText("CD");
  EXPECT_EQ(doc.DocumentElement().Text(), "abCD");
  EXPECT_EQ(first.Text(), "ab");
}

TEST(NodeLifetime, ReplacedAndRemovedAttributesStayValid) {
  Document doc = Document::Parse("<R A='1' B='2'/>");
  Node root = doc.DocumentElement();
  NamedNodeMap attributes = root.Attributes();
  Node fresh = doc.CreateAttribute("A");
  fresh.SetText("new");
  Node old = attributes.SetNamedItem(fresh);
  ASSERT_FALSE(old.IsNull());
  EXPECT_EQ(old.Text(), "1");
  EXPECT_EQ(root.Xml(), "<R A=\"new\" B=\"2\"/>");  // replaced in place
  Node removed = attributes.RemoveNamedItem("B");
  EXPECT_EQ(removed.Text(), "2");
  EXPECT_EQ(attributes.Length(), 1u);
  root.SetAttribute("A", "");  // an emptied value still reads and writes
  EXPECT_EQ(root.Xml(), "<R A=\"\"/>");
  EXPECT_EQ(root.GetAttribute("A").value_or("?"), "");
  root.SetAttribute("A", "new");
  EXPECT_TRUE(attributes.RemoveNamedItem("missing").IsNull());
  // An attribute attached elsewhere must be cloned first.
  Node other = doc.CreateElement("O");
  EXPECT_THROW(other.Attributes().SetNamedItem(fresh), Error);
  other.Attributes().SetNamedItem(fresh.CloneNode(true));
  EXPECT_EQ(other.Xml(), "<O A=\"new\"/>");
}

TEST(NodeLifetime, SetTextKeepsHeldChildrenAlive) {
  Document doc = Document::Parse("<R><A/>x</R>");
  Node child = doc.DocumentElement().FirstChild();
  doc.DocumentElement().SetText("plain & <simple>");
  EXPECT_EQ(doc.DocumentElement().Xml(), "<R>plain &amp; &lt;simple&gt;</R>");
  EXPECT_EQ(child.Name(), "A");
  EXPECT_TRUE(child.ParentNode().IsNull());
}

TEST(TreeEdits, InsertReplaceAndMisuse) {
  Document doc = Document::Parse("<R><A/><C/></R>");
  Node root = doc.DocumentElement();
  Node b = doc.CreateElement("B");
  root.InsertBefore(b, root.SelectSingleNode("C"));
  EXPECT_EQ(root.Xml(), "<R><A/><B/><C/></R>");
  Node d = doc.CreateElement("D");
  Node old = root.ReplaceChild(d, b);
  EXPECT_EQ(old, b);
  EXPECT_EQ(root.Xml(), "<R><A/><D/><C/></R>");
  // Moving a node within its own tree.
  root.AppendChild(root.FirstChild());
  EXPECT_EQ(root.Xml(), "<R><D/><C/><A/></R>");
  // A node cannot go below itself, and a document holds one element.
  EXPECT_THROW(root.FirstChild().AppendChild(root), Error);
  EXPECT_THROW(doc.AppendChild(doc.CreateElement("Second")), Error);
  EXPECT_THROW(root.RemoveChild(doc.CreateElement("Stranger")), Error);
  try {
    Node().Name();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Source(), "XML");
    EXPECT_EQ(e.Number(), 91);
  }
  // Replacing the document element itself.
  doc.SetDocumentElement(doc.CreateElement("New"));
  EXPECT_EQ(doc.Xml(), "<New/>");
}

TEST(TreeEdits, ShallowAndDeepClones) {
  Document doc = Document::Parse("<R A='1'><B/></R>");
  EXPECT_EQ(doc.DocumentElement().CloneNode(false).Xml(), "<R A=\"1\"/>");
  Node deep = doc.DocumentElement().CloneNode(true);
  deep.FirstChild().SetAttribute("X", "1");
  EXPECT_EQ(doc.DocumentElement().Xml(), "<R A=\"1\"><B/></R>");
  EXPECT_EQ(deep.OwnerDocument(), doc);
  Document other = Document::Create();
  Node imported = other.ImportNode(doc.DocumentElement(), true);
  other.AppendChild(imported);
  EXPECT_EQ(other.Xml(), "<R A=\"1\"><B/></R>");
}

// Each deep copy must change, move and outlive its source on its own, and
// trees with namespaces, comments or CDATA copy whole.
TEST(TreeEdits, DeepCopiesStayIndependentOfTheirSource) {
  const std::string long_text(100, 'x');
  Node moved;
  std::string original;
  {
    Document doc = Document::Parse("<R A='1' E=''><!--c--><B V='0' L='" + long_text +
                                   "'>t<![CDATA[<d>]]></B><n:N xmlns:n='urn:n' n:K='k'/></R>");
    original = doc.DocumentElement().Xml();
    Node copy = doc.DocumentElement().CloneNode(true);
    EXPECT_EQ(copy.Xml(), original);
    Node b = copy.SelectSingleNode("B");
    b.SetAttribute("V", "12345");
    b.SetAttribute("L", "short");
    copy.SetAttribute("E", "now set");
    EXPECT_EQ(doc.DocumentElement().Xml(), original);
    Document other = Document::Create();
    other.AppendChild(other.ImportNode(copy, true));
    other.DocumentElement().AppendChild(copy.CloneNode(true));
    moved = other.DocumentElement();
  }
  // Both documents' handles are gone; the moved copy keeps its own texts.
  EXPECT_EQ(moved.FirstChild().Type(), NodeType::kComment);
  EXPECT_EQ(moved.SelectSingleNode("B").AttributeOr("V", ""), "12345");
  EXPECT_EQ(moved.SelectSingleNode("R/B").AttributeOr("L", ""), "short");
  EXPECT_EQ(moved.AttributeOr("E", ""), "now set");
  Document third = Document::Create();
  third.AppendChild(third.ImportNode(moved, true));
  moved = Node();
  EXPECT_EQ(third.DocumentElement().SelectSingleNode("B").AttributeOr("A", "none"), "none");
  EXPECT_EQ(third.DocumentElement().AttributeOr("A", ""), "1");
}

TEST(Parsing, WhitespaceMalformedTextAndLoadXml) {
  Document doc = Document::Parse("<Errs>\r\n</Errs>");
  EXPECT_FALSE(doc.DocumentElement().HasChildNodes());
  Document kept = Document::Parse("<T> </T>", true);
  EXPECT_EQ(kept.DocumentElement().Text(), " ");
  try {
    Document::Parse("<A><B></A>");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Source(), "XML");
    EXPECT_NE(e.Number(), 0);
    EXPECT_NE(e.Description().find("line 1"), std::string::npos);
  }
  Document target = Document::Parse("<Old/>");
  Node held = target.DocumentElement();
  EXPECT_THROW(target.LoadXml("<broken"), Error);
  EXPECT_EQ(target.Xml(), "<Old/>");
  target.LoadXml("<New><X/></New>");
  EXPECT_EQ(target.Xml(), "<New><X/></New>");
  EXPECT_EQ(held.Name(), "Old");  // the replaced element lives on while held
}

// Built documents intern their names: trees built in one, moved or copied
// into another (built or parsed) and outliving the first must keep every
// name and value, and attributes must be found by name after each move.
TEST(NodeLifetime, BuiltTreesOutliveTheDocumentTheyWereBuiltIn) {
  Document target = Document::Create();
  target.SetDocumentElement(target.CreateElement("Out"));
  Document parsed = Document::Parse("<P/>");
  Node imported;
  {
    Document source = Document::Create();
    Node row = source.CreateElement("Row");
    row.SetAttribute("Key", "k1");
    row.AppendNewElement("Itm").AddAttributes({{"Value", "=A1"}, {"Evaluated", "0"}});
    target.DocumentElement().AppendChild(row);                     // moved
    imported = parsed.ImportNode(target.DocumentElement(), true);  // copied
    parsed.DocumentElement().AppendChild(source.CreateElement("Gone"));
  }
  EXPECT_EQ(target.DocumentElement().Xml(),
            "<Out><Row Key=\"k1\"><Itm Value=\"=A1\" Evaluated=\"0\"/></Row></Out>");
  EXPECT_EQ(imported.Xml(), target.DocumentElement().Xml());
  EXPECT_EQ(parsed.DocumentElement().Xml(), "<P><Gone/></P>");
  Node item = target.SelectSingleNode("//Itm");
  EXPECT_EQ(item.AttributeOr("Evaluated", ""), "0");
  EXPECT_TRUE(item.HasAttribute("Value"));
  EXPECT_FALSE(item.HasAttribute("V"));
  EXPECT_FALSE(item.HasAttribute(""));
  target.LoadXml("<New A='1'/>");
  EXPECT_EQ(target.DocumentElement().AttributeOr("A", ""), "1");
}

// Many detached nodes made, held, inserted and dropped in turn: the arena's
// set of detached roots grows, sweeps and keeps exactly the held ones.
TEST(NodeLifetime, DetachedRootsChurn) {
  Document doc = Document::Create();
  doc.SetDocumentElement(doc.CreateElement("R"));
  std::vector<Node> held;
  for (int i = 0; i < 20000; ++i) {
    Node made = doc.CreateElement("N");
    made.SetAttribute("I", std::to_string(i));
    if (i % 3 == 0) doc.DocumentElement().AppendChild(made);
    if (i % 7 == 0) held.push_back(made);
    if (i % 11 == 0 && doc.DocumentElement().FirstChild()) {
      held.push_back(doc.DocumentElement().RemoveChild(doc.DocumentElement().FirstChild()));
    }
  }
  for (const Node& node : held) EXPECT_EQ(node.Name(), "N");
  EXPECT_EQ(held.front().AttributeOr("I", ""), "0");
  EXPECT_TRUE(held.back().ParentNode().IsNull());
}

}  // namespace
}  // namespace orvo::xml
