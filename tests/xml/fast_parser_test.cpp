// The fast parser against libxml2: every text is parsed both ways and the
// trees (or the errors) must be the same, node by node.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"
#include "xml/fast_parser.h"

namespace orvo::xml {
namespace {

using detail::ParsePath;

// The tree, or the error, Document::Parse gives on this thread's path.
std::string Outcome(std::string_view text, bool preserve, ParsePath path) {
  const ParsePath before = detail::SetParsePath(path);
  std::string outcome;
  try {
    outcome = detail::DescribeTree(Document::Parse(text, preserve));
  } catch (const Error& error) {
    outcome = "error " + std::to_string(error.Number()) + ": " + error.Description();
  }
  detail::SetParsePath(before);
  return outcome;
}

bool FastParserTakes(std::string_view text, bool preserve) {
  return Outcome(text, preserve, ParsePath::kFastOnly).rfind("error ", 0) != 0;
}

// Both ways give the same; returns whether the fast parser took the text.
bool ExpectSameBothWays(std::string_view text, bool preserve) {
  const std::string expected = Outcome(text, preserve, ParsePath::kLibxmlOnly);
  const std::string actual = Outcome(text, preserve, ParsePath::kFastFirst);
  EXPECT_EQ(actual, expected) << "text: " << text << "\npreserve: " << preserve;
  return FastParserTakes(text, preserve);
}

void ExpectTakenAndSame(std::string_view text) {
  for (bool preserve : {false, true}) {
    EXPECT_TRUE(ExpectSameBothWays(text, preserve)) << "declined: " << text;
  }
}

void ExpectDeclinedAndSame(std::string_view text) {
  for (bool preserve : {false, true}) {
    EXPECT_FALSE(ExpectSameBothWays(text, preserve)) << "taken: " << text;
  }
}

TEST(FastParser, BuildsTheTreeLibxmlBuilds) {
  for (const char* text : {
           "<a/>",
           "<a></a>",
           "<a x=''/>",
           "<Fmt Key='GRID' Name=\"G\"><Itm Key='A1' Row='1'><PEx/></Itm></Fmt>",
           "\xEF\xBB\xBF<a/>",
           "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<a/>",
           "<?xml version=\"1.0\"?><a/>",
           "<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<a/>\n",
           "<?xml version=\"1.0\" encoding=\"UTF8\" standalone=\"no\"?><a/>",
           "<a v='1 &lt; 2 &amp;&amp; 3 &gt; 2' q=\"&quot;&apos;'\" r='\"&#38;&#x26;&#60;'/>",
           "<a v='tab\tline\nfeed\r\ncrlf\rcr' w='&#9;&#10;&#13;&#x20;' u='gr\xC3\xBC\xC3\x9F"
           " \xE2\x82\xAC \xF0\x9D\x84\x9E'/>",
           "<a v='fifteen bytes..' w='sixteen bytes...' x='a > b ]]> c'/>",
           "<a>text &amp; more &#x41;&#66; &lt;tag&gt; \xC3\xA9</a>",
           "<a>\r\n  <b>one\r\ntwo\rthree</b>\r\n  <c> x </c>\n</a>",
           "<a>\n  <b/>\n  <c>  </c><d>&#32;</d><e> &#10; </e>\n</a>",
           "<a>]x]]y] &#93;&#93;&gt;</a>",
           "<a\n  x='1'\n  y='2'\n>\n<b\n/></a >",
           "<root><item attr1='v' attr2='w'>x<sub/>y<sub>z</sub>tail</item></root>",
           "<a b.c-d_e='1' _x='2'><x.y/><_z/></a>",
           "<xmlnsx xmlnsy='1'/>",
           "<a>  \n\t </a>",
           "<!-- before -->\n<a><!----><!-- a - b ->\r\n\rc \xC3\xA9 --> x "
           "<!--\n-->y</a><!--after-->",
           "<a>\n  <!-- c -->\n  <b/>\n</a>",
       }) {
    ExpectTakenAndSame(text);
  }
  // Lines are counted up to the last one libxml2 records, 65535.
  std::string long_text = "<a>";
  for (int i = 0; i < 66000; ++i) long_text += "\n<b x='1'/>";
  long_text += "\n</a>";
  EXPECT_EQ(Outcome(long_text, false, ParsePath::kFastOnly),
            Outcome(long_text, false, ParsePath::kLibxmlOnly));
}

TEST(FastParser, LeavesEverythingElseToLibxml) {
  for (const char* text : {
           "",
           "   ",
           "<!DOCTYPE a><a/>",
           "<a xmlns='u'/>",
           "<p:a xmlns:p='u'/>",
           "<a p:x='1'/>",
           "<a xml:space='preserve'> </a>",
           "<a><!-- -- --></a>",
           "<a><!-- x---></a>",
           "<a><!-- \x01 --></a>",
           "<a><!- x --></a>",
           "<a><!-- x -->",
           "<a><![CDATA[x]]></a>",
           "<?pi x?><a/>",
           "<a><?pi?></a>",
           "<?xml version='1.1'?><a/>",
           "<?xml version='1.0' encoding='ISO-8859-1'?><a/>",
           "<?xml version='1.0' encoding='ASCII'?><a/>",
           "<?xml version='1.0' standalone='maybe'?><a/>",
           " <?xml version='1.0'?><a/>",
           "<a>&nbsp;</a>",
           "<a x='&e;'/>",
           "<a>&#0;</a>",
           "<a>&#xD800;</a>",
           "<a>&#x110000;</a>",
           "<a>&#X41;</a>",
           "<a>&#;</a>",
           "<a x='1' x='2'/>",
           "<a x='1'y='2'/>",
           "<a x=1/>",
           "<a x='<'/>",
           "<a>]]></a>",
           "<a>\x01</a>",
           "<a x='\x01'/>",
           "<a>\xFF</a>",
           "<a>\xC3</a>",
           "<a>\xEF\xBF\xBE</a>",
           "<a>\xED\xA0\x80</a>",
           "<\xC3\xA9/>",
           "<a\xC3\xA9/>",
           "<a></b>",
           "<a>",
           "<a/><b/>",
           "<a/>x",
           "x<a/>",
           "<a><b></a></b>",
           "<a x='1' / >",
           "<1a/>",
           "<a/",
           "<a x='1",
       }) {
    ExpectDeclinedAndSame(text);
  }
}

// Tags of one name mostly repeat the attribute names of the tag before:
// those are expected, and a tag that differs (other names, other order, more
// or fewer, a duplicate after the expected ones, blanks around '=') must be
// read as any other.
TEST(FastParser, AttributeNamesOfTheTagBefore) {
  const std::string row = "<Itm Key='A1' Row='1' Col='1' Value='=Sum(A1:B1)' Str='' ASz='0'/>";
  for (const std::string& tags : std::vector<std::string>{
           row + row,
           row + "<Itm Key='A2' Row='2' Col='2'/>" + row,
           row + "<Itm Row='2' Key='A2' Col='2' Value='x' Str='' ASz='0'/>" + row,
           row +
               "<Itm Key='A2' Row='2' Col='2' Value='x' Str='' ASz='0' Extra='1' "
               "Longer_name='2'/>" +
               "<Itm Key='A2' Row='2' Col='2' Value='x' Str='' ASz='0' Extra='1' Longer_name='2'/>",
           row + "<Itm Key = 'A2' Row\n='2' Col=\"3\"/>" + row,
           "<Itm LongName1='1' LongName2='2'/><Itm LongName1='1' LongName2='2'/>",
           "<Itm Key='1' Row7='2'/><Itm Key='1' Row7='2' Row='3'/><Itm Key='1' Row='3'/>",
           row + "<Row Key='A1' Row='1'/>" + row + "<Row Key='B1' Row='2'/>",
       }) {
    ExpectTakenAndSame("<Itms>" + tags + "</Itms>");
  }
  for (const std::string& tags : std::vector<std::string>{
           row + "<Itm Key='A2' Row='2' Key='A3'/>",
           row + "<Itm Key='A2' Row='2' Col='1' Value='' Str='' ASz='0' Row='3'/>",
           row + "<Itm Key='A2' Row='2' Col='1' Value='' Str='' ASz='0' Str=''/>",
           row + "<Itm Key='A2'Row='2'/>",
           row + "<Itm Key='A2' Row:x='2'/>",
       }) {
    ExpectDeclinedAndSame("<Itms>" + tags + "</Itms>");
  }
}

// Values are scanned 16 bytes at a time where the text goes on that far: a
// byte that ends the plain run anywhere in such a stretch is still seen.
TEST(FastParser, LongValuesAndEndTags) {
  const std::string filler = "0123456789abcdefghijklmnopqrstuv";
  for (const char* special : {"&amp;", "\"", "\t", "\n", "\xC3\xA9", ">", "\x7F"}) {
    for (std::size_t at : {0, 1, 15, 16, 17, 31}) {
      const std::string value = filler.substr(0, at) + special + filler.substr(at);
      ExpectTakenAndSame("<a v='" + value + "'><b w='" + value + "'/>" + filler + "</a>");
    }
  }
  for (std::size_t at : {0, 7, 16, 30}) {
    for (const char* special : {"<", "&x;", "\x01", "\xFF"}) {
      ExpectDeclinedAndSame("<a v='" + filler.substr(0, at) + special + filler.substr(at) + "'/>");
    }
  }
  for (const char* text :
       {"<ab></a>", "<a></ab>", "<a></a:b>", "<a></a\xC3\xA9>", "<a></ a>", "<a><b></b ></a b>"}) {
    ExpectDeclinedAndSame(text);
  }
}

// Asked to drop blank text itself, libxml2 also drops a blank start of a text
// that ends at a carriage return; those texts go to libxml2.
TEST(FastParser, BlankTextAndCarriageReturns) {
  for (const char* text :
       {"<a><c>  \r\nabc</c></a>", "<a><c>\r\n  \r\nabc</c></a>", "<a><c>\t\rx</c></a>"}) {
    EXPECT_EQ(Outcome(text, false, ParsePath::kFastFirst),
              Outcome(text, false, ParsePath::kLibxmlOnly));
    EXPECT_FALSE(FastParserTakes(text, false));
    // Without "xml:space" in it, libxml2 leaves the dropping to the facade.
    ExpectTakenAndSame("<r k='xml:space'>" + std::string(text) + "</r>");
  }
  ExpectTakenAndSame("<a><c>x  \r\n</c>  \r\n <d> &#13;\r\n</d></a>");
}

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<e>";
  for (int i = 0; i < depth; ++i) text += "</e>";
  return text;
}

// Deep documents go to libxml2, which refuses nesting beyond its limit; the
// fast parser never recurses.
TEST(FastParser, DeepNesting) {
  ExpectTakenAndSame(Nested(200));
  for (int depth : {201, 256, 257, 258, 100000}) {
    const std::string text = Nested(depth);
    EXPECT_EQ(Outcome(text, false, ParsePath::kFastFirst),
              Outcome(text, false, ParsePath::kLibxmlOnly));
  }
  EXPECT_THROW(Document::Parse(Nested(100000)), Error);
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The XML files of the tests and the inputs the XML fuzz targets start from.
TEST(FastParser, TheRepositorysXmlFiles) {
  const std::filesystem::path tests = ORVO_TESTS_DIR;
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tests)) {
    if (entry.path().extension() != ".xml") continue;
    for (bool preserve : {false, true}) ExpectSameBothWays(FileText(entry.path()), preserve);
    ++files;
  }
  EXPECT_GT(files, 5);
  for (const char* target : {"xml", "report_definition"}) {
    const std::filesystem::path corpus = tests.parent_path() / "fuzz" / "corpus" / target;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
      for (bool preserve : {false, true}) ExpectSameBothWays(FileText(entry.path()), preserve);
      ++files;
    }
  }
  EXPECT_GT(files, 10);
}

// Random documents from pieces in and out of the subset, some then cut or
// damaged.
class DocumentMaker {
 public:
  // `clean`: only pieces of the subset, never damaged, so most documents
  // are taken and compared tree against tree.
  DocumentMaker(unsigned start, bool clean) : m_random(start), m_clean(clean) {}

  std::string Make() {
    std::string text = Pick({"", "", "", "\xEF\xBB\xBF", "<?xml version='1.0'?>",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
                             "<?xml  version = '1.0'  encoding='utf-8'  standalone='yes'?>\r\n",
                             "<?xml version='1.0' standalone='no'?>", "<!DOCTYPE r>", "\n ",
                             "<!--c-->", "<?xml version='1.0' encoding='latin1'?>"});
    if (m_clean) text = Pick({"", "\xEF\xBB\xBF", "<?xml version='1.0'?>\n", "<!-- c -->\n"});
    Element(text, 0);
    if (m_clean) return text + Pick({"", "\n", " \r\n", "<!---->\r\n"});
    text += Pick({"", "", "\n", " \r\n", "<!--c-->", "x", "<b/>"});
    switch (Below(12)) {
      case 0:
        text.resize(Below(static_cast<unsigned>(text.size()) + 1));
        break;
      case 1:
        if (!text.empty()) text.erase(Below(static_cast<unsigned>(text.size())), 1);
        break;
      case 2:
        text.insert(Below(static_cast<unsigned>(text.size()) + 1), Pick(kBits));
        break;
      default:
        break;
    }
    return text;
  }

 private:
  unsigned Below(unsigned n) { return n ? m_random() % n : 0; }

  std::string Pick(const std::vector<std::string>& choices) {
    return choices[Below(static_cast<unsigned>(choices.size()))];
  }

  std::string Chars(unsigned most) {
    std::string text;
    for (unsigned i = Below(most + 1); i > 0; --i) text += Pick(m_clean ? kCleanBits : kBits);
    return text;
  }

  void Element(std::string& text, int depth) {
    const std::string name = Below(20) || m_clean ? Pick({"a", "Itm", "B_1", "x.y", "c-d", "Row"})
                                                  : Pick({"p:e", "\xC3\xA9", "1"});
    text += "<" + name;
    for (unsigned i = Below(5); i > 0; --i) {
      text += Pick({" ", " ", "\n  ", "\t", "\r\n "});
      text += Below(25) || m_clean ? Pick({"Key", "Value", "x", "Row", "Col"})
                                   : Pick({"xmlns", "xmlns:p", "xml:space", "p:q"});
      text += Pick({"=", "=", " = "});
      const std::string quote = Pick({"'", "\""});
      std::string value = Chars(6);
      if (Below(4) && value.find(quote) != std::string::npos) value.clear();
      text += quote + value + quote;
    }
    text += Pick({"", "", " ", "\n"});
    if (depth > (m_clean ? 8 : 4) || Below(4) == 0) {
      text += "/>";
      return;
    }
    text += ">";
    for (unsigned i = Below(5); i > 0; --i) {
      switch (Below(8)) {
        case 0:
        case 1:
          Element(text, depth + 1);
          break;
        case 2:
          text += Pick({" ", "\n  ", "\r\n\t", "\n", "  \r\n  "});
          break;
        case 3:
          if (m_clean) {
            text += Below(3) ? Chars(8) : Pick(kComments);
          } else {
            text += Below(10) ? Chars(8) : Pick({"<!--x-->", "<![CDATA[y]]>", "<?p q?>"});
          }
          break;
        default:
          text += Chars(5);
          break;
      }
    }
    text += "</" + (Below(40) || m_clean ? name : std::string("zz")) + Pick({">", ">", " >"});
  }

  const std::vector<std::string> kBits = {"a",
                                          "b",
                                          "Z",
                                          "1",
                                          " ",
                                          " ",
                                          "\t",
                                          "\n",
                                          "\r",
                                          "\r\n",
                                          "&amp;",
                                          "&lt;",
                                          "&gt;",
                                          "&quot;",
                                          "&apos;",
                                          "&#38;",
                                          "&#x41;",
                                          "&#10;",
                                          "&#13;",
                                          "&#9;",
                                          "&#32;",
                                          "&#0;",
                                          "&#xD800;",
                                          "&bogus;",
                                          "&",
                                          "<",
                                          ">",
                                          "'",
                                          "\"",
                                          "]",
                                          "]]>",
                                          "\xC3\xA9",
                                          "\xE2\x82\xAC",
                                          "\xF0\x9D\x84\x9E",
                                          "\xFF",
                                          "\xC3",
                                          "\x01",
                                          "\x7F",
                                          "&#x10FFFF;",
                                          "&#1114112;",
                                          "=",
                                          "/",
                                          "sixteen bytes..."};
  const std::vector<std::string> kCleanBits = {"a",      "Z",          "1",
                                               " ",      " ",          "\t",
                                               "\n",     "\r\n",       "&amp;",
                                               "&lt;",   "&gt;",       "&quot;",
                                               "&apos;", "&#38;",      "&#x41;",
                                               "&#10;",  "&#13;",      "&#9;",
                                               "&#32;",  "'",          "\"",
                                               "]",      "\xC3\xA9",   "\xF0\x9D\x84\x9E",
                                               "\x7F",   "&#x10FFFF;", "sixteen bytes..."};
  const std::vector<std::string> kComments = {"<!-- c -->", "<!---->",
                                              "<!-- a\r\nb\r-\xC3\xA9 -->"};
  std::mt19937 m_random;
  const bool m_clean;
};

TEST(FastParser, RandomDocuments) {
  for (bool clean : {false, true}) {
    DocumentMaker maker(20261207, clean);
    int taken = 0;
    int well_formed = 0;
    constexpr int kDocuments = 3000;
    for (int i = 0; i < kDocuments; ++i) {
      const std::string text = maker.Make();
      for (bool preserve : {false, true}) {
        const std::string expected = Outcome(text, preserve, ParsePath::kLibxmlOnly);
        ASSERT_EQ(Outcome(text, preserve, ParsePath::kFastFirst), expected)
            << "document " << i << ": " << text;
        if (FastParserTakes(text, preserve)) ++taken;
        if (expected.rfind("error ", 0) != 0) ++well_formed;
      }
    }
    // The faulty mix exercises both parsers, many documents taken and many
    // left; the clean one is mostly taken.
    if (clean) {
      EXPECT_GT(taken, kDocuments);
    } else {
      EXPECT_GT(taken, kDocuments / 10);
      EXPECT_GT(well_formed - taken, kDocuments / 20);
    }
    std::printf("%s: %d of %d parses well formed, %d taken\n", clean ? "clean" : "faulty",
                well_formed, 2 * kDocuments, taken);
  }
}

// LoadXml goes the same way as Parse.
TEST(FastParser, LoadXmlReplacesContent) {
  Document document = Document::Parse("<old/>");
  Node held = document.DocumentElement();
  document.LoadXml("<new a='1'>\n <b>t</b>\n</new>");
  EXPECT_EQ(document.DocumentElement().Xml(), "<new a=\"1\"><b>t</b></new>");
  EXPECT_EQ(held.Name(), "old");
}

}  // namespace
}  // namespace orvo::xml
