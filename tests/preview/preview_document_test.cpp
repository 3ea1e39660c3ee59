#include "preview/preview_document.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "canonical_xml.h"
#include "orvo/xml.h"
#include "preview/preview_stylesheets.h"

namespace orvo {
namespace {

// Random result formats and row lists covering what the stylesheets react
// to: nested Itms, rows without items, items with missing, extra and
// awkward attributes, equal columns, several Stl, Alg, Brd, Fnts and Drill
// children, text and comments between elements.
class RandomSource {
 public:
  explicit RandomSource(unsigned start, bool disordered = false)
      : m_random(start), m_disordered(disordered) {}

  std::string Format() {
    std::string text = "<Fmt" + Attributes({"MRow", "MCol", "Key", "Name"}) + ">";
    const int containers = Pick(0, 3);
    for (int i = 0; i < containers; ++i) {
      const bool wrapped = Chance(3);
      if (wrapped) text += "<Appended>";
      text += Items(0);
      if (wrapped) text += "</Appended>";
    }
    if (Chance(4)) text += "<ColBals><Row PgBk='9'/></ColBals>";  // not below an Itms
    return text + "</Fmt>";
  }

  std::string Rows() {
    std::string text = "<Rows>";
    const int rows = Pick(0, 30);
    const bool with_blank_rows = Chance(10);  // no number: the stylesheet sorts those
    for (int i = 0; i < rows; ++i) {
      text += "<Row" + Attributes({"Del", "Keep"}) + ">";
      if (!with_blank_rows || !Chance(5)) {
        text += (Chance(5) ? " " : "") + std::to_string(Pick(-2, 40));
      }
      text += "</Row>";
      if (Chance(8)) text += "<!-- note -->";
    }
    return text + "</Rows>";
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
  bool Chance(int one_in) { return Pick(1, one_in) == 1; }

  std::string Value() {
    static const char* const kValues[] = {
        "",  "0",  "-1",  "12.5",       "a &amp; b", "&lt;x&gt;", "&quot;q&quot;",
        "'", "ÿP", " x ", "Bold Italic"};
    return kValues[Pick(0, std::size(kValues) - 1)];
  }

  // A disordered source also lists attributes out of order and puts
  // comments between the children of items and styles.
  std::string Attributes(std::initializer_list<const char*> names) {
    std::vector<std::string> written;
    for (const char* name : names) {
      if (!Chance(4)) written.push_back(std::string(" ") + name + "=\"" + Value() + "\"");
    }
    if (m_disordered && Chance(2)) std::shuffle(written.begin(), written.end(), m_random);
    std::string text;
    for (const std::string& attribute : written) text += attribute;
    return text;
  }

  std::string Aside() { return m_disordered && Chance(3) ? "<!-- aside -->" : ""; }

  std::string Items(int depth) {
    std::string text = "<Itms>";
    const int rows = Pick(0, 5);
    for (int r = 0; r < rows; ++r) {
      text += "<Row" + Attributes({"PgBk", "Del"}) + ">";
      const int items = Pick(0, 7);
      for (int i = 0; i < items; ++i) text += Item(depth);
      if (Chance(5)) text += "stray text";
      text += "</Row>";
    }
    return text + "</Itms>";
  }

  std::string Item(int depth) {
    std::string text = "<Itm Col=\"" + std::to_string(Pick(1, 12)) + "\"" +
                       Attributes({"Key", "Row", "Value", "Evaluated", "OrigKey", "OrigRow",
                                   "OrigFmt", "OrigFml", "RptKey", "PTxt", "ASz", "Str"}) +
                       ">";
    if (!Chance(5)) text += "<PEx Exp=\"I~_T~1\"/>";
    text += Aside();
    const int styles = Chance(6) ? 2 : Pick(0, 1);
    for (int s = 0; s < styles; ++s) text += Style();
    const int drills = Chance(6) ? 2 : Pick(0, 1);
    for (int d = 0; d < drills; ++d) text += "<Drill" + Attributes({"On", "Key"}) + "/>";
    if (Chance(3)) text += "<DepData DSI='' DRpt=''/>";
    if (depth == 0 && Chance(20)) text += Items(depth + 1);
    return text + "</Itm>";
  }

  std::string Style() {
    std::string text =
        "<Stl" + Attributes({"Name", "Hei", "Wdt", "BCl", "Ptn", "PtnCl", "Hier"}) + ">";
    text += "<NFmt Typ=\"Numeric\"><Def Dec=\"2\"/></NFmt>" + Aside();
    for (int i = Pick(0, 2); i > 0; --i) {
      text += "<Alg" +
              Attributes({"Hrz", "Vrt", "Wrp", "Mg", "MgKey", "Ind", "Or", "Shr", "VrtTx", "ASz"}) +
              "/>";
    }
    for (int i = Pick(0, 2); i > 0; --i) {
      text += "<Brd" +
              Attributes({"btC", "btL", "dtlC", "dtlL", "dtrC", "dtrL", "lfC", "lfL", "rgC", "rgL",
                          "tpC", "tpL"}) +
              "/>";
    }
    for (int i = Pick(0, 2); i > 0; --i) {
      text += "<Fnts>";
      for (int f = Pick(0, 3); f > 0; --f) {
        text += "<Fnt" +
                Attributes({"Bld", "Clr", "Itl", "Nm", "Sz", "Str", "Stl", "Sub", "Sup", "Udl",
                            "stt", "end"}) +
                "/>";
      }
      text += "</Fnts>";
    }
    return text + "</Stl>";
  }

  std::mt19937 m_random;
  bool m_disordered;
};

TEST(PreviewDocument, WritesWhatThePreviewStylesheetMakesOfManyRandomFormats) {
  RandomSource source(20240307);
  for (int i = 0; i < 250; ++i) {
    const std::string text = source.Format();
    xml::Document format = xml::Document::Parse(text, i % 2 == 0);
    EXPECT_EQ(PreviewDocument(format.DocumentElement()).Xml(),
              SortXML(format.DocumentElement(), PreviewStylesheet()).Xml())
        << text;
    // Consuming the rows while writing gives the same preview; the source
    // is left without the rows written.
    const std::string expected = PreviewDocument(format.DocumentElement()).Xml();
    EXPECT_EQ(PreviewDocument(format.DocumentElement(), true).Xml(), expected) << text;
    if (format.DocumentElement().SelectSingleNode(
            "//Itm[@Col and not(number(@Col) = number(@Col))]")) {
      continue;
    }
    EXPECT_TRUE(format.DocumentElement().SelectNodes("//Itms/Row").Empty()) << text;
  }
}

TEST(PreviewDocument, ConsumingGivesTheSamePreviewWhateverTheSourceLooksLike) {
  // Sources with attributes out of order, comments between children, trees
  // made through the object model (names and short values in the document's
  // dictionary) and items someone else still holds: a consumed result moves
  // its items into the preview where it can and copies the others, and the
  // preview is the one the copying writer gives.
  RandomSource source(99, true);
  for (int i = 0; i < 200; ++i) {
    const std::string text = source.Format();
    const xml::Document parsed = xml::Document::Parse(text, i % 2 == 0);
    const std::string expected = PreviewDocument(parsed.DocumentElement()).Xml();
    xml::Document built = xml::Document::Create();
    built.AppendChild(built.ImportNode(parsed.DocumentElement(), true));
    for (const xml::Document& format : {parsed, built}) {
      xml::Document consumed = i % 3 == 0 ? format : xml::Document::Parse(text, i % 2 == 0);
      std::vector<xml::Node> held;
      std::vector<std::string> held_text;
      if (i % 4 == 1) {
        int n = 0;
        for (const xml::Node& item : consumed.SelectNodes("//Itms/Row/Itm")) {
          if (n++ % 3 != 0) continue;
          held.push_back(item.FirstChild() && n % 2 == 0 ? item.FirstChild() : item);
          held_text.push_back(held.back().Xml());
        }
      }
      EXPECT_EQ(PreviewDocument(consumed.DocumentElement(), true).Xml(), expected) << text;
      for (std::size_t h = 0; h < held.size(); ++h) EXPECT_EQ(held[h].Xml(), held_text[h]);
      consumed = xml::Document();  // the source goes before the preview
    }
  }
}

TEST(PreviewDocument, ShowsAnItemOfAFormatWithoutOrigKeyByItsKey) {
  // The builder writes no OrigKey where it would repeat the Key: an item
  // with OrigFmt stands for its Key then; one without OrigFmt shows none.
  const std::string text =
      "<Fmt><Itms><Row><Itm Col='1' Key='A1' OrigFmt='F'/><Itm Col='2' Key='B1'/>"
      "<Itm Col='3' Key='C1' OrigKey='' OrigFmt='F'/><Itm Col='4' Key='D1' OrigKey='X9' "
      "OrigFmt='F'/></Row></Itms></Fmt>";
  const xml::Document format = xml::Document::Parse(text);
  const std::string source = format.DocumentElement().Xml();
  const xml::Node preview = PreviewDocument(format.DocumentElement());
  std::vector<std::string> keys;
  for (const xml::Node& item : preview.SelectNodes("Itms/Row/Itm")) {
    keys.push_back(item.AttributeOr("OrigKey", "?"));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"A1", "", "", "X9"}));
  EXPECT_EQ(SortXML(format.DocumentElement(), PreviewStylesheet()).Xml(), preview.Xml());
  EXPECT_EQ(format.DocumentElement().Xml(), source);  // read only
  // Consumed, with the first item held by someone else (copied, and left
  // as it was) or not.
  for (const bool hold : {false, true}) {
    const xml::Document consumed = xml::Document::Parse(text);
    const xml::Node held =
        hold ? consumed.DocumentElement().SelectSingleNode("//Itm") : xml::Node();
    const std::string held_text = hold ? held.Xml() : "";
    EXPECT_EQ(PreviewDocument(consumed.DocumentElement(), true).Xml(), preview.Xml());
    if (hold) {
      EXPECT_EQ(held.Xml(), held_text);
    }
  }
}

TEST(PreviewDocument, LeavesUnusualInputToTheStylesheet) {
  // Column texts that are not plain numbers sort as the stylesheet sorts them.
  xml::Document odd = xml::Document::Parse(
      "<Fmt><Itms><Row><Itm Col='2'/><Itm Col='x'/><Itm Col='1e0'/><Itm/></Row></Itms></Fmt>");
  EXPECT_EQ(PreviewDocument(odd.DocumentElement()).Xml(),
            SortXML(odd.DocumentElement(), PreviewStylesheet()).Xml());
  // Nothing is consumed then.
  EXPECT_EQ(PreviewDocument(odd.DocumentElement(), true).Xml(),
            SortXML(odd.DocumentElement(), PreviewStylesheet()).Xml());
  EXPECT_EQ(odd.DocumentElement().SelectNodes("Itms/Row/Itm").Length(), 4u);
  // A root of another name matches no template: the result holds no element.
  xml::Document other = xml::Document::Parse("<Format><Itms><Row/></Itms></Format>");
  EXPECT_TRUE(PreviewDocument(other.DocumentElement()).IsNull());
}

TEST(PreviewDocument, FindsRowsNestedDeepInsideItems) {
  // Rows below an item's style, further down than the random formats nest
  // them: they are written, so the item holding them is copied rather than
  // moved (a moved item would drop them with the children the preview
  // leaves out), and their items' columns count before anything is consumed.
  const std::string deep =
      "<Fmt><Itms><Row><Itm Col='2'><Stl><Alg/><Box><Itms><Row PgBk='1'>"
      "<Itm Col='COLUMN' PTxt='deep'/><Itm Col='3'/></Row></Itms></Box></Stl></Itm>"
      "<Itm Col='1'/></Row></Itms></Fmt>";
  for (const char* column : {"5", "x"}) {
    std::string text = deep;
    text.replace(text.find("COLUMN"), 6, column);
    xml::Document format = xml::Document::Parse(text);
    const std::string expected = SortXML(format.DocumentElement(), PreviewStylesheet()).Xml();
    ASSERT_NE(expected.find("deep"), std::string::npos);
    EXPECT_EQ(PreviewDocument(format.DocumentElement()).Xml(), expected);
    EXPECT_EQ(PreviewDocument(format.DocumentElement(), true).Xml(), expected) << column;
    // A column that is no plain number leaves the source as it was.
    if (std::string(column) == "x") {
      EXPECT_EQ(format.DocumentElement().Xml(), xml::Document::Parse(text).DocumentElement().Xml());
    }
  }
}

TEST(PreviewDocument, FindsRowsInsideItemsFarDownALongResult) {
  // The items ahead of the walk are asked together whether they hold rows:
  // rows nested in items past the first of those batches, and in the very
  // last item, are found as well.
  for (const char* column : {"5", "x"}) {
    std::string text = "<Fmt><Itms>";
    for (int row = 1; row <= 150; ++row) {
      text += "<Row PgBk='" + std::to_string(row) + "'>";
      for (int col = 3; col >= 1; --col) {
        text += "<Itm Col='" + std::to_string(col) + "' PTxt='r" + std::to_string(row) + "'>";
        if ((row == 100 && col == 2) || (row == 150 && col == 1)) {
          text += "<Stl><Itms><Row PgBk='n'><Itm Col='" + std::string(column) +
                  "' PTxt='nested'/><Itm Col='2'/></Row></Itms></Stl>";
        }
        text += "</Itm>";
      }
      text += "</Row>";
    }
    text += "</Itms></Fmt>";
    xml::Document format = xml::Document::Parse(text);
    const std::string expected = SortXML(format.DocumentElement(), PreviewStylesheet()).Xml();
    ASSERT_NE(expected.find("nested"), std::string::npos);
    EXPECT_EQ(PreviewDocument(format.DocumentElement(), true).Xml(), expected) << column;
    if (std::string(column) == "x") {
      EXPECT_EQ(format.DocumentElement().Xml(), xml::Document::Parse(text).DocumentElement().Xml());
    }
  }
}

TEST(PreviewDocument, WritesRowsNestedInRowsBesideTheirItems) {
  // A row inside another row (not inside an item) is written after the
  // outer row's items, wherever it stands among them; every item moves.
  const std::string text =
      "<Fmt><Itms><Row PgBk='1'><Itm Col='3' PTxt='c'/><Box><Itms><Row PgBk='2'>"
      "<Itm Col='2' PTxt='inner b'/><Itm Col='1' PTxt='inner a'/></Row></Itms></Box>"
      "<Itm Col='1' PTxt='a'/></Row><Row PgBk='3'><Itm Col='1' PTxt='last'/></Row></Itms></Fmt>";
  xml::Document format = xml::Document::Parse(text);
  const std::string expected = SortXML(format.DocumentElement(), PreviewStylesheet()).Xml();
  ASSERT_LT(expected.find("Dsp=\"c\""), expected.find("inner a"));
  EXPECT_EQ(PreviewDocument(format.DocumentElement(), true).Xml(), expected);
  EXPECT_TRUE(format.DocumentElement().SelectNodes("//Itm").Empty());
}

TEST(SortRowList, OrdersAsTheRowListStylesheetForManyRandomLists) {
  RandomSource source(7);
  for (int i = 0; i < 400; ++i) {
    const std::string text = source.Rows();
    xml::Document rows = xml::Document::Parse(text, i % 2 == 0);
    EXPECT_EQ(SortRowList(rows.DocumentElement()).Xml(),
              SortXML(rows.DocumentElement(), RowListStylesheet()).Xml())
        << text;
  }
  xml::Document rows = xml::Document::Parse(
      "<Rows><Row Del='-1' Keep='-1'>3</Row><Row Del='0' Keep='0'>12</Row>"
      "<Row Del='-1' Keep='0'>7</Row></Rows>");
  EXPECT_EQ(testing::Canonical(SortRowList(rows.DocumentElement())),
            testing::Canonical("<Rows><Row Del='0' Keep='0'>12</Row><Row Del='-1' Keep='0'>7</Row>"
                               "<Row Del='-1' Keep='-1'>3</Row></Rows>"));
}

}  // namespace
}  // namespace orvo
