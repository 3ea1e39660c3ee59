#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo::xml {
namespace {

class SecretFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = std::filesystem::temp_directory_path() /
             ("orvo_secret_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              ".xml");
    std::ofstream(m_path) << "<Secret>TOPSECRET</Secret>";
  }
  void TearDown() override { std::filesystem::remove(m_path); }
  std::string Url() const { return "file://" + m_path.string(); }

  std::filesystem::path m_path;
};

TEST_F(SecretFile, ExternalEntitiesAndDtdsAreNeverLoaded) {
  std::string xxe = "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + Url() + "\">]><r>&x;</r>";
  try {
    Document doc = Document::Parse(xxe);
    EXPECT_EQ(doc.Xml().find("TOPSECRET"), std::string::npos);
    EXPECT_EQ(doc.DocumentElement().Text().find("TOPSECRET"), std::string::npos);
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).find("TOPSECRET"), std::string::npos);
  }
  std::string dtd = "<!DOCTYPE r SYSTEM \"" + Url() + "\"><r/>";
  try {
    Document doc = Document::Parse(dtd);
    EXPECT_EQ(doc.Xml(), "<r/>");
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).find("TOPSECRET"), std::string::npos);
  }
}

TEST_F(SecretFile, StylesheetsCannotReadOrWriteFiles) {
  Document source = Document::Parse("<in/>");
  std::string reader =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><out><xsl:copy-of select=\"document('" +
      Url() + "')\"/></out></xsl:template></xsl:stylesheet>";
  try {
    std::string result = source.TransformNode(Stylesheet::Compile(reader));
    EXPECT_EQ(result.find("TOPSECRET"), std::string::npos);
  } catch (const Error& e) {
    EXPECT_EQ(e.Source(), "XML");
    EXPECT_EQ(std::string(e.what()).find("TOPSECRET"), std::string::npos);
  }

  std::filesystem::path written = m_path.string() + ".out";
  std::string writer =
      "<xsl:stylesheet version='1.1' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:document href='" +
      written.string() + "'><x/></xsl:document></xsl:template></xsl:stylesheet>";
  try {
    source.TransformNode(Stylesheet::Compile(writer));
  } catch (const Error&) {
  }
  EXPECT_FALSE(std::filesystem::exists(written));

  std::string includer =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:include href='" +
      Url() + "'/></xsl:stylesheet>";
  EXPECT_THROW(Stylesheet::Compile(includer), Error);
}

TEST(Transform, StableNumericSortIntoAnotherDocument) {
  Document source = Document::Parse(
      "<EFs><EF Typ='Sum' Grp='0'/><EF Typ='If' Grp='1'/><EF Typ='Avg' Grp='0'/>"
      "<EF Typ='Max' Grp='1'/></EFs>");
  Stylesheet sort = Stylesheet::Compile(
      "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
      "<xsl:template match='EFs'><EFs><xsl:for-each select='EF'>"
      "<xsl:sort select='@Grp' data-type='number' order='descending'/>"
      "<EF><xsl:attribute name='Typ'><xsl:value-of select='@Typ'/></xsl:attribute></EF>"
      "</xsl:for-each></EFs></xsl:template></xsl:stylesheet>");
  Document output = Document::Parse("<Old/>");
  source.DocumentElement().TransformNodeToObject(sort, output);
  EXPECT_EQ(output.Xml(),
            "<EFs><EF Typ=\"If\"/><EF Typ=\"Max\"/><EF Typ=\"Sum\"/><EF Typ=\"Avg\"/></EFs>");
  EXPECT_EQ(source.DocumentElement().ChildNodes().Length(), 4u);  // the source is untouched
  EXPECT_THROW(Stylesheet::Compile("<not-xslt/>"), Error);
}

}  // namespace
}  // namespace orvo::xml
