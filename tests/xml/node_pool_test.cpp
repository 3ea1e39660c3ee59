// Nodes the facade makes live in per-arena pools: they must behave as
// libxml2's own nodes do under every edit, move and teardown order, and
// freed ones must be reused.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "orvo/xml.h"
#include "xml/arena.h"

namespace orvo::xml {
namespace {

using detail::NodePool;

// A document built through the facade only (every node pooled).
Document Built(int items) {
  Document doc = Document::Create();
  Node root = doc.AppendNewElement("Root");
  for (int i = 0; i < items; ++i) {
    Node item = root.AppendNewElement("Itm");
    item.AddAttributes(
        {{"Key", "K" + std::to_string(i)},
         {"Txt", "a value long enough to live outside its node " + std::to_string(i)}});
    item.AppendNewElement("Part").SetText("part " + std::to_string(i));
  }
  return doc;
}

TEST(NodePool, EditLoopsReuseFreedNodes) {
  Document doc = Built(10);
  Node item = doc.DocumentElement().FirstChild();
  const auto settle = [&](auto&& step) {
    // The first rounds may add a chunk; from then on the pool must not grow.
    for (int i = 0; i < 1000; ++i) step(i);
    const std::size_t bytes = NodePool::ChunkBytes();
    for (int i = 0; i < 200000; ++i) step(i);
    EXPECT_EQ(NodePool::ChunkBytes(), bytes);
  };
  settle([&](int i) {
    item.SetAttribute("Val", i % 2 ? "short" : "a long value that needs a buffer of its own");
  });
  settle([&](int) {
    item.RemoveAttribute("Val");
    item.SetAttribute("Val", "again");
  });
  settle([&](int i) { item.SetText(i % 2 ? "x" : "a text long enough for its own buffer"); });
  settle([&](int) {
    Node sub = item.AppendNewElement("Sub");
    sub.AddAttributes({{"A", "1"}, {"B", "2"}});
    sub.AppendNewElement("Leaf").SetText("leaf");
    item.RemoveChild(sub);
  });
  settle([&](int) { item.ReplaceChild(item.FirstChild().CloneNode(true), item.FirstChild()); });
  EXPECT_EQ(doc.DocumentElement().ChildNodes().Length(), 10u);
}

TEST(NodePool, SettingOneAttributeTenMillionTimesStaysBounded) {
  Document doc = Built(1);
  Node item = doc.DocumentElement().FirstChild();
  const std::size_t bytes = NodePool::ChunkBytes();
  const std::string values[] = {"1", "", "12345678901234567890", "-1234.56"};
  for (int i = 0; i < 10000000; ++i) item.SetAttribute("Amt", values[i % 4]);
  EXPECT_EQ(NodePool::ChunkBytes(), bytes);
  EXPECT_EQ(item.AttributeOr("Amt", "?"), "-1234.56");
}

TEST(NodePool, RemovedNodesStayValidWhileHeld) {
  Node held;
  Node attribute;
  {
    Document doc = Built(3);
    Node root = doc.DocumentElement();
    held = root.RemoveChild(root.FirstChild());
    attribute = root.FirstChild().Attributes().GetNamedItem("Key");
    root.FirstChild().RemoveAttribute("Key");
    // Churn: freed nodes are reused, never the held ones.
    for (int i = 0; i < 1000; ++i) root.AppendNewElement("New").SetAttribute("A", "b");
  }
  EXPECT_EQ(held.AttributeOr("Key", ""), "K0");
  EXPECT_EQ(held.SelectSingleNode("Part").Text(), "part 0");
  EXPECT_EQ(attribute.Text(), "K1");
  held.SetAttribute("Key", "changed");
  EXPECT_EQ(held.AttributeOr("Key", ""), "changed");
}

TEST(NodePool, NodesMovedBetweenDocumentsOutliveTheirOrigin) {
  for (const bool drop_target_first : {false, true}) {
    Document target = Document::Parse("<T><Old/></T>");
    Node moved;
    {
      Document origin = Built(5);
      Node root = origin.DocumentElement();
      moved = root.FirstChild();
      target.DocumentElement().AppendChild(moved);
      // The arenas are one now: nodes made in either may go into the other.
      root.AppendChild(target.DocumentElement().FirstChild());
      target.DocumentElement().AppendChild(root.FirstChild().CloneNode(true));
    }
    Node root = target.DocumentElement();
    EXPECT_EQ(root.ChildNodes().Length(), 2u);
    EXPECT_EQ(moved.AttributeOr("Key", ""), "K0");
    EXPECT_EQ(root.SelectNodes("//Itm[@Key='K0' or @Key='K1']").Length(), 2u);
    if (drop_target_first) {
      target = Document();
      root = Node();
    }
    EXPECT_EQ(moved.FirstChild().Text(), "part 0");
  }
}

TEST(NodePool, ImportedAndClonedNodesMixWithParsedOnes) {
  Document parsed = Document::Parse("<P><!-- note --><Q A='1'>text<?pi x?></Q></P>");
  Document built = Built(2);
  Node imported = built.ImportNode(parsed.DocumentElement(), true);
  built.DocumentElement().AppendChild(imported);
  // A parsed node under a pooled one and the reverse.
  parsed.DocumentElement().AppendChild(built.DocumentElement().FirstChild().CloneNode(true));
  EXPECT_EQ(imported.Xml(), "<P><!-- note --><Q A=\"1\">text<?pi x?></Q></P>");
  EXPECT_EQ(parsed.SelectNodes("/P/Itm/Part").Length(), 1u);
  built.DocumentElement().RemoveChild(imported);
  parsed = Document();
  EXPECT_EQ(imported.SelectSingleNode("Q").AttributeOr("A", ""), "1");
}

TEST(NodePool, XPathAndTransformsReadPooledNodes) {
  Document doc = Built(4);
  EXPECT_EQ(doc.SelectNodes("/Root/Itm[Part='part 2']/@Key").Item(0).Text(), "K2");
  Node detached = doc.DocumentElement().LastChild().CloneNode(true);
  EXPECT_EQ(detached.SelectSingleNode("/Part").Text(), "part 3");
  const std::string sheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:strip-space elements='*'/><xsl:output method='xml' omit-xml-declaration='yes'/>"
      "<xsl:template match='/'><Out><xsl:for-each select='//Itm'>"
      "<xsl:sort select='@Key' order='descending'/><xsl:copy-of select='Part'/>"
      "</xsl:for-each></Out></xsl:template></xsl:stylesheet>";
  Document output = Document::Create();
  doc.TransformNodeToObject(Stylesheet::Compile(sheet), output);
  EXPECT_EQ(output.Xml(),
            "<Out><Part>part 3</Part><Part>part 2</Part><Part>part 1</Part><Part>part 0</Part>"
            "</Out>");
  // The transform's nodes and pooled ones side by side, edited and freed.
  output.DocumentElement().AppendChild(detached);
  output.DocumentElement().RemoveChild(output.DocumentElement().FirstChild());
  EXPECT_EQ(output.SelectNodes("//Part").Length(), 4u);
  EXPECT_EQ(doc.DocumentElement().ChildNodes().Length(), 4u);
}

TEST(NodePool, MovedShapesKeepTheirMemoryAfterTheSourceGoes) {
  static constexpr Node::AttributeCopy kCopies[] = {{"Key", "Key"}, {"Dsp", "Txt"}};
  static constexpr Node::ElementShape kShape = {"Itm", "Itm", kCopies, {}};
  for (const bool drop_output_first : {false, true}) {
    Document source = Built(50);
    Document output = Document::CreateSharingNames(source);
    Node out = output.AppendNewElement("Out");
    std::vector<Node> items;
    for (Node item = source.DocumentElement().FirstChild(); item; item = item.NextSibling()) {
      items.push_back(item);
    }
    for (Node& item : items) out.AppendShaped(std::move(item), kShape, true);
    EXPECT_EQ(source.DocumentElement().ChildNodes().Length(), 0u);  // moved, not copied
    Node last = out.LastChild();
    if (drop_output_first) {
      output = Document();
      out = Node();
      source.DocumentElement().AppendNewElement("After").SetText("still usable");
    } else {
      source = Document();
      out.AppendNewElement("After").SetAttribute("K", "new nodes come from the shared pool");
    }
    EXPECT_EQ(last.AttributeOr("Key", ""), "K49");
    EXPECT_EQ(last.AttributeOr("Dsp", "").substr(0, 7), "a value");
  }
}

TEST(NodePool, DocumentsOfMixedOriginFreeEverythingOnce) {
  // Run under the sanitizers: each case must free every string exactly once.
  for (int round = 0; round < 4; ++round) {
    Document built = Document::Create();  // names of its first node are its own
    Node root = built.AppendNewElement("Root");
    root.SetAttribute("Long", "a value long enough to need a buffer of its own");
    Node element = built.CreateElement("Made");
    root.AppendChild(element);
    element.SetText("a text long enough to need a buffer of its own too");
    Document parsed = Document::Parse("<P xmlns:n='urn:n'><?pi data?><n:Q n:A='1'>x</n:Q></P>");
    if (round == 1) {
      // A parsed subtree under a pooled element, then the whole moved to a
      // document with another dictionary (libxml2 moves what is not plain).
      element.AppendChild(parsed.DocumentElement().FirstChild());
      Document other = Document::Parse("<O/>");
      other.DocumentElement().AppendChild(element);
      EXPECT_EQ(other.DocumentElement().FirstChild().Xml(),
                "<Made>a text long enough to need a buffer of its own too<?pi data?></Made>");
    } else if (round == 2) {
      // A shallow copy and a pooled subtree moved into a parsed document.
      root.AppendChild(root.CloneNode(false));
      parsed.DocumentElement().AppendChild(root);
      EXPECT_EQ(parsed.SelectNodes("//Made").Length(), 1u);
    } else if (round == 3) {
      // Texts rewritten long and short, names given before and after the
      // document had a dictionary, then a subtree removed and dropped.
      for (int i = 0; i < 100; ++i) {
        root.SetAttribute("V" + std::to_string(i % 7), i % 2 ? "s" : std::string(40, 'x'));
        element.FirstChild().SetText(i % 3 ? "short" : std::string(30, 'y'));
      }
      root.RemoveChild(element);
    }
  }
}

TEST(NodeStamp, CopiesAreWhatCloningGaveWhenTheStampWasMade) {
  Document doc = Built(3);
  Node root = doc.DocumentElement();
  Node model = root.FirstChild();
  const std::string before = model.CloneNode(true).Xml();
  NodeStamp stamp(model);
  model.SetAttribute("Key", "changed after the stamp");
  model.RemoveChild(model.FirstChild());
  std::vector<Node> copies;
  for (int i = 0; i < 300; ++i) copies.push_back(root.AppendChild(stamp.Copy()));
  for (const Node& copy : copies) EXPECT_EQ(copy.Xml(), before);
  // Each copy is a tree of its own: edits of every kind, in any order.
  copies[0].SetAttribute("Key", "a value long enough to live outside its node, replaced");
  copies[1].SetAttribute("Txt", "short");
  copies[2].FirstChild().SetText("a part text long enough for a buffer of its own");
  copies[3].RemoveAttribute("Txt");
  copies[3].AppendNewElement("Added").SetAttribute("A", "1");
  root.RemoveChild(copies[4]);
  EXPECT_EQ(copies[0].AttributeOr("Key", ""),
            "a value long enough to live outside its node, replaced");
  EXPECT_EQ(copies[1].AttributeOr("Txt", ""), "short");
  EXPECT_EQ(copies[2].SelectSingleNode("Part").Text(),
            "a part text long enough for a buffer of its own");
  EXPECT_EQ(copies[5].Xml(), before);
  EXPECT_EQ(doc.SelectNodes("/Root/Itm[@Key='K0']/Part[.='part 0']").Length(), 297u);
  // Copies moved into another document (another dictionary) and dropped
  // with it while the source document lives on, and the reverse.
  Document other = Document::Parse("<O/>");
  for (int i = 5; i < 10; ++i) other.DocumentElement().AppendChild(copies[i]);
  EXPECT_EQ(other.SelectNodes("/O/Itm/Part").Length(), 5u);
  copies.clear();
  other = Document();
  Node survivor = stamp.Copy();
  doc = Document();
  root = Node();
  model = Node();
  EXPECT_EQ(survivor.Xml(), before);
}

TEST(NodeStamp, TreesThatAreNotPlainAreCopiedAsCloningDoes) {
  Document parsed = Document::Parse(
      "<P xmlns:n='urn:n'><!-- note --><n:Q n:A='1'>text<?pi x?></n:Q><R B='2'/></P>");
  for (const Node& source : {parsed.DocumentElement(), parsed.DocumentElement().LastChild(),
                             parsed.DocumentElement().FirstChild()}) {
    NodeStamp stamp(source);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(stamp.Copy().Xml(), source.CloneNode(true).Xml());
  }
}

TEST(NodeStamp, CopiesMadeAndDroppedInTurnReuseTheirNodes) {
  Document doc = Built(2);
  Node root = doc.DocumentElement();
  NodeStamp stamp(root);
  const auto step = [&] {
    root.AppendChild(stamp.Copy()).ParentNode().RemoveChild(root.LastChild());
  };
  for (int i = 0; i < 1000; ++i) step();
  const std::size_t bytes = NodePool::ChunkBytes();
  for (int i = 0; i < 100000; ++i) step();
  EXPECT_EQ(NodePool::ChunkBytes(), bytes);
}

// A large document's chunks are mapped; when it goes they are kept and the
// next large document, whatever its thread, fills them instead of mapping
// more. Its nodes are sound all the same.
TEST(NodePool, LargeDocumentsInTurnReuseTheChunksOfTheOneBefore) {
  const auto check = [](const Document& doc, int items) {
    const Node root = doc.DocumentElement();
    ASSERT_EQ(root.ChildNodes().Length(), static_cast<std::size_t>(items));
    const Node last = root.LastChild();
    EXPECT_EQ(last.AttributeOr("Key", ""), "K" + std::to_string(items - 1));
    EXPECT_EQ(last.FirstChild().Text(), "part " + std::to_string(items - 1));
  };
  constexpr int kItems = 30000;
  const std::size_t before = NodePool::MappedBytes();
  std::thread([&] { check(Built(kItems), kItems); }).join();
  const std::size_t mapped = NodePool::MappedBytes();
  EXPECT_GT(mapped, before);
  for (int round = 0; round < 3; ++round) {
    Document doc = Built(kItems);
    check(doc, kItems);
    EXPECT_EQ(NodePool::MappedBytes(), mapped);
  }
  // Two at once need more.
  Document first = Built(kItems);
  Document second = Built(kItems);
  EXPECT_GT(NodePool::MappedBytes(), mapped);
  check(first, kItems);
  check(second, kItems);
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer a freed slot is poisoned until it is handed out
// again, so a use after free of a pooled node is still caught.
TEST(NodePoolDeathTest, FreedSlotsArePoisoned) {
  EXPECT_DEATH(
      {
        NodePool pool;
        auto* slot = static_cast<char*>(pool.Take(NodePool::kAttribute));
        pool.Give(slot, NodePool::kAttribute);
        *static_cast<volatile char*>(slot + 40) = 1;
      },
      "use-after-poison");
}
#endif

}  // namespace
}  // namespace orvo::xml
