#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo::xml {
namespace {

// Values around the size that is kept inside a node (15 bytes and less) and
// beyond it, and the empty one.
const std::vector<std::string>& Values() {
  static const std::vector<std::string> values = {
      "", "1", "fifteen bytes..", "sixteen bytes...", std::string(40, 'L'), "-0.5", "short"};
  return values;
}

// Every value written over every other, on attributes and on texts, reads,
// matches in XPath and serialises as written.
TEST(ValueStorage, ValuesOfEverySizeReplaceEachOther) {
  Document doc = Document::Parse("<R A='parsed'>text<C/></R>");
  Node root = doc.DocumentElement();
  Node text = root.FirstChild();
  for (const std::string& before : Values()) {
    for (const std::string& after : Values()) {
      root.SetAttribute("A", before);
      root.SetAttribute("A", after);
      text.SetText(before);
      text.SetText(after);
      ASSERT_EQ(root.AttributeOr("A", "?"), after);
      ASSERT_EQ(text.Text(), after);
      ASSERT_EQ(root.SelectNodes("self::R[@A='" + after + "']").Length(), 1u);
      ASSERT_EQ(root.Xml(), "<R A=\"" + after + "\">" + after + "<C/></R>");
    }
  }
  // An element's text set short, then long, then short again.
  Node c = root.LastChild();
  for (const std::string& value : Values()) {
    c.SetText(value);
    ASSERT_EQ(c.Text(), value);
  }
  Node made = doc.CreateTextNode("tiny");
  c.AppendChild(made);
  EXPECT_EQ(c.Xml(), "<C>shorttiny</C>");
  made.SetText(std::string(30, 'm'));
  EXPECT_EQ(c.Text(), "short" + std::string(30, 'm'));
}

// Copies, imports and moves carry each value on its own: changing or freeing
// one side never shows on the other.
TEST(ValueStorage, CopiesImportsAndMovesKeepTheirOwnValues) {
  std::string xml = "<R";
  for (std::size_t i = 0; i < Values().size(); ++i) {
    xml += " V" + std::to_string(i) + "='" + Values()[i] + "'";
  }
  xml += "><T>" + std::string(20, 't') + "</T><S>s</S></R>";
  Node moved;
  Node imported;
  Document target = Document::Create();
  target.SetDocumentElement(target.CreateElement("Out"));
  {
    Document source = Document::Parse(xml);
    Node original = source.DocumentElement();
    Node clone = original.CloneNode(true);
    EXPECT_EQ(clone.Xml(), original.Xml());
    for (std::size_t i = 0; i < Values().size(); ++i) {
      clone.SetAttribute("V" + std::to_string(i), Values()[Values().size() - 1 - i]);
    }
    clone.SelectSingleNode("T").SetText("x");
    clone.SelectSingleNode("S").SetText(std::string(50, 's'));
    EXPECT_EQ(original.Xml(), Document::Parse(xml).DocumentElement().Xml());
    imported = target.ImportNode(clone, true);
    moved = target.DocumentElement().AppendChild(original);
  }
  // The source document is gone; both trees live in the target.
  EXPECT_EQ(moved.Xml(), Document::Parse(xml).DocumentElement().Xml());
  EXPECT_EQ(imported.SelectSingleNode("S").Text(), std::string(50, 's'));
  EXPECT_EQ(imported.AttributeOr("V0", "?"), "short");
  moved.SetAttribute("V1", std::string(17, 'v'));
  EXPECT_EQ(moved.AttributeOr("V1", ""), std::string(17, 'v'));
  Document third = Document::Create();
  third.AppendChild(imported);
  EXPECT_EQ(third.DocumentElement().AttributeOr("V3", "?"), Values()[Values().size() - 4]);
}

// Moves between parsed and built documents (with or without a dictionary of
// their own, whitespace kept or not, namespaces or none) keep every name and
// text once the source document is gone.
TEST(ValueStorage, MovesBetweenDocumentsOfEveryKind) {
  const std::string blank(20, ' ');
  const std::string xml = "<R A='1' B='" + std::string(20, 'b') + "'><C>" + blank + "<D E='e'>" +
                          std::string(20, 'd') + "</D>" + blank +
                          "<!--note--></C><N xmlns:n='urn:n' n:F='f'/></R>";
  for (int kind = 0; kind < 4; ++kind) {
    Document target = kind % 2 ? Document::Parse("<T/>") : Document::Create();
    if (kind % 2 == 0) target.SetDocumentElement(target.CreateElement("T"));
    Node moved;
    Node moved_plain;
    {
      Document source = Document::Parse(xml, kind >= 2);
      Node root = source.DocumentElement();
      moved_plain = target.DocumentElement().AppendChild(root.FirstChild());
      moved = target.DocumentElement().AppendChild(root);
      Document built = Document::Create();
      Node made = built.CreateElement("Made");
      made.SetAttribute("M", "m");
      made.AppendNewElement("Inner").SetText(std::string(18, 'i'));
      target.DocumentElement().AppendChild(made);
    }
    const std::string c = kind >= 2
                              ? "<C>" + blank + "<D E=\"e\">" + std::string(20, 'd') + "</D>" +
                                    blank + "<!--note--></C>"
                              : "<C><D E=\"e\">" + std::string(20, 'd') + "</D><!--note--></C>";
    EXPECT_EQ(moved_plain.Xml(), c);
    EXPECT_EQ(moved.Xml(),
              "<R A=\"1\" B=\"" + std::string(20, 'b') + "\"><N xmlns:n=\"urn:n\" n:F=\"f\"/></R>");
    EXPECT_EQ(target.SelectSingleNode("//D").AttributeOr("E", ""), "e");
    EXPECT_EQ(target.SelectSingleNode("//Made/Inner").Text(), std::string(18, 'i'));
    target.SelectSingleNode("//D").SetAttribute("E", std::string(30, 'x'));
    EXPECT_EQ(Document::Parse(target.Xml()).SelectNodes("//*").Length(), 7u);
  }
}

// Held attributes and texts stay readable after removal and sweeps; frees of
// large detached trees (with comments, CDATA and processing instructions
// among elements) leave nothing behind (checked under the sanitizers).
TEST(ValueStorage, RemovedValuesLiveWhileHeldAndFreeCleanly) {
  Document doc = Document::Parse("<R A='a' B='" + std::string(30, 'b') + "'><K>k</K></R>");
  Node root = doc.DocumentElement();
  Node a = root.Attributes().GetNamedItem("A");
  Node text = root.FirstChild().FirstChild();
  root.RemoveAttribute("A");
  root.RemoveChild(root.FirstChild());
  for (int i = 0; i < 500; ++i) {
    Node made = root.AppendNewElement("N");
    made.SetAttribute("I", std::to_string(i));
    made.AppendChild(doc.CreateTextNode(std::string(i % 40, 'x')));
    Node comment =
        Document::Parse("<X><!--c--><![CDATA[d]]><?p q?><Y Z='z'/></X>").DocumentElement();
    made.AppendChild(comment);
    root.RemoveChild(made);
  }
  EXPECT_EQ(a.Text(), "a");
  EXPECT_EQ(text.Text(), "k");
  EXPECT_EQ(root.Xml(), "<R B=\"" + std::string(30, 'b') + "\"/>");
}

// The transform reads values wherever they are kept.
TEST(ValueStorage, TransformsReadEveryValue) {
  Document doc = Document::Parse("<R><I V='1'/><I V='sixteen bytes...'/></R>");
  doc.DocumentElement().AppendNewElement("I").SetAttribute("V", "built");
  doc.DocumentElement().AppendChild(doc.DocumentElement().FirstChild().CloneNode(true));
  const std::string stylesheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='text'/>"
      "<xsl:template match='/'><xsl:for-each select='//I'>[<xsl:value-of select='@V'/>]"
      "</xsl:for-each></xsl:template></xsl:stylesheet>";
  EXPECT_EQ(doc.TransformNode(Stylesheet::Compile(stylesheet)), "[1][sixteen bytes...][built][1]");
}

// Copies of subtrees with namespaces deep inside fall back to the library's
// copy after a partial copy was started.
TEST(ValueStorage, NamespacesDeepInACopiedTree) {
  Document doc = Document::Parse("<R A='1'><B C='2'><D xmlns:n='urn:n' n:E='3'>t</D></B><F G='" +
                                 std::string(20, 'g') + "'/></R>");
  Node copy = doc.DocumentElement().CloneNode(true);
  EXPECT_EQ(copy.Xml(), doc.DocumentElement().Xml());
  EXPECT_EQ(copy.SelectSingleNode("B/D").AttributeOr("n:E", "?"), "3");
  Document other = Document::Create();
  EXPECT_EQ(other.ImportNode(copy, true).Xml(), doc.DocumentElement().Xml());
}

// Whitespace-only text goes wherever it stands unless xml:space keeps it
// (for the whole subtree) or the caller asks to keep all; other text, CDATA
// and comments stay.
TEST(ValueStorage, BlankTextIsDroppedExactlyWhereItShould) {
  const std::string plain =
      "<R>\n  <A>  </A>\n  <B>x  <C/>  y<!--c-->  </B>\r\n"
      "  <D> &#32; </D><E><![CDATA[  ]]></E>\t</R>";
  EXPECT_EQ(Document::Parse(plain).Xml(),
            "<R><A/><B>x  <C/>  y<!--c--></B><D/><E><![CDATA[  ]]></E></R>");
  EXPECT_EQ(Document::Parse(plain, true).DocumentElement().FirstChild().Text(), "\n  ");
  const std::string spaced =
      "<R> <P xml:space='preserve'>  <Q> </Q> <S xml:space='default'> <T/> </S></P> <U> </U></R>";
  EXPECT_EQ(Document::Parse(spaced).Xml(),
            "<R><P xml:space=\"preserve\">  <Q> </Q> <S xml:space=\"default\"> <T/> </S></P>"
            "<U/></R>");
}

// Documents made, copied from and freed in turn: a dictionary and the
// strings of a freed document may come back at the same addresses as new
// ones, and what the facade remembers of the old must not apply to them.
TEST(ValueStorage, DictionariesComeAndGo) {
  for (int i = 0; i < 300; ++i) {
    Document parsed = Document::Parse("<R N" + std::to_string(i % 7) + "='v'><C D='" +
                                      std::string(i % 30, 'd') + "'/></R>");
    Document built = Document::Create();
    built.SetDocumentElement(built.CreateElement("B"));
    built.DocumentElement().AppendNewElement("X").SetAttribute("N" + std::to_string(i % 5), "w");
    Node copy = built.ImportNode(parsed.DocumentElement(), true);
    built.DocumentElement().AppendChild(copy.CloneNode(true));
    built.DocumentElement().AppendChild(parsed.DocumentElement());
    ASSERT_EQ(built.SelectNodes("//C").Length(), 2u);
    ASSERT_EQ(built.SelectSingleNode("//C").AttributeOr("D", "?"), std::string(i % 30, 'd'));
  }
}

TEST(ValueStorage, NewNamesWithANulAreRefused) {
  Node root = Document::Parse("<R/>").DocumentElement();
  EXPECT_THROW(root.AppendNewElement(std::string("A\0B", 3)), Error);
  EXPECT_THROW(root.SetAttribute(std::string("A\0B", 3), "1"), Error);
  EXPECT_EQ(root.Xml(), "<R/>");
}

}  // namespace
}  // namespace orvo::xml
