#include <gtest/gtest.h>

#include "orvo/error.h"
#include "orvo/xml.h"
#include "xml/xpath_rewrite.h"

namespace orvo::xml {
namespace {

std::vector<std::string> Keys(const NodeList& nodes, const char* attribute = "K") {
  std::vector<std::string> keys;
  for (const Node& node : nodes) keys.push_back(node.AttributeOr(attribute, "?"));
  return keys;
}

TEST(XPathRewrite, OnlyPathsThatStartAtTheRootAreRewritten) {
  using detail::RewriteRootPaths;
  EXPECT_EQ(RewriteRootPaths("/"), "$orvo-root");
  EXPECT_EQ(RewriteRootPaths("/EPRC[@Fmt=\"F\"]"), "$orvo-root/EPRC[@Fmt=\"F\"]");
  EXPECT_EQ(RewriteRootPaths("//Cell"), "$orvo-root//Cell");
  EXPECT_EQ(RewriteRootPaths("a/b//c"), "a/b//c");
  EXPECT_EQ(RewriteRootPaths("x[@v='/a'] | /b"), "x[@v='/a'] | $orvo-root/b");
  EXPECT_EQ(RewriteRootPaths("count(//a) * 2"), "count($orvo-root//a) * 2");
  EXPECT_EQ(RewriteRootPaths("a[. = /r/@v and /*]"), "a[. = $orvo-root/r/@v and $orvo-root/*]");
  EXPECT_EQ(RewriteRootPaths("(/a)[1]/b"), "($orvo-root/a)[1]/b");
  EXPECT_EQ(RewriteRootPaths("x[@n = 2 div /a/@d]"), "x[@n = 2 div $orvo-root/a/@d]");
}

TEST(XPath, RootMeansTheTopOfADetachedFragment) {
  Document doc = Document::Parse(
      "<EPRCs><EPRC Fmt='F' K='1'/><EPRC Fmt='G' K='2'/><EPRC Fmt='F' K='3'/></EPRCs>");
  Node detached = doc.DocumentElement().CloneNode(true);
  EXPECT_EQ(Keys(detached.SelectNodes("/EPRC[@Fmt=\"F\"]")), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(Keys(detached.FirstChild().SelectNodes("//EPRC[@Fmt='G']")),
            (std::vector<std::string>{"2"}));
  // Attached, "/" is the document: the element is found by its own name.
  EXPECT_EQ(doc.DocumentElement().SelectNodes("/EPRC").Length(), 0u);
  EXPECT_EQ(doc.DocumentElement().FirstChild().SelectNodes("/EPRCs/EPRC").Length(), 3u);
  // "//" on a detached fragment does not reach into the owner document.
  Node lone = doc.CreateElement("Lone");
  EXPECT_TRUE(lone.SelectSingleNode("//EPRC").IsNull());
  EXPECT_EQ(lone.SelectSingleNode("/"), lone);
}

TEST(XPath, SelectionResultsAndErrors) {
  Document doc = Document::Parse("<R><I K='a'/><I K='b'/><J K='c'/></R>");
  Node root = doc.DocumentElement();
  EXPECT_EQ(root.SelectSingleNode("I[@K='b']").AttributeOr("K", ""), "b");
  EXPECT_TRUE(root.SelectSingleNode("I[@K='z']").IsNull());
  EXPECT_EQ(Keys(root.SelectNodes("*")), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(root.SelectSingleNode("I/@K").Text(), "a");
  EXPECT_THROW(root.SelectNodes("I[@K="), Error);
  EXPECT_THROW(root.SelectNodes("count(I)"), Error);
  EXPECT_THROW(root.SelectNodes("I").Item(5), Error);
  // Repeated queries (served from the compiled cache) give the same answers.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(root.SelectNodes("//I").Length(), 2u);
}

}  // namespace
}  // namespace orvo::xml
