// Result formats (placing items, appending and deleting rows) and the
// header and footer collection's ranges.
#include "preview/result_format.h"

#include <gtest/gtest.h>

#include "orvo/header_footer.h"

namespace orvo::testing {
namespace {

class CountingObserver : public PlacementObserver {
 public:
  void ItemPlaced(const xml::Node&, const xml::Node&, const xml::Node& replaced) override {
    ++placed;
    if (replaced) ++replacements;
  }
  void RowDeleted(const xml::Node&, std::int32_t number, const xml::Node&) override {
    deleted.push_back(number);
  }
  void RowIgnored(const xml::Node&) override {}

  int placed = 0;
  int replacements = 0;
  std::vector<std::int32_t> deleted;
};

xml::Node Item(const xml::Document& document, const std::string& attributes) {
  return document.ImportNode(xml::Document::Parse("<Itm " + attributes + "/>").DocumentElement(),
                             true);
}

TEST(ResultFormat, PlaceItemAddsRowsReplacesByColumnAndTracksTheExtent) {
  xml::Document document = xml::Document::Parse(
      "<Fmt MRow='2' MCol='1'><Itms><Row><Itm Key='A1' Row='1' Col='1' Value='a'/></Row>"
      "<Row/></Itms></Fmt>");
  CountingObserver observer;
  ResultFormat result(document.DocumentElement(), &observer);
  EXPECT_EQ(observer.placed, 1);  // what it holds is announced

  // Row 5 of a result of two rows: rows 3, 4 and 5 are made first.
  result.PlaceItem(Item(document, "Key='C5' Row='5' Col='3' Value='x'"));
  EXPECT_EQ(result.RowCount(), 5);
  EXPECT_EQ(result.MaxRow(), 5);
  EXPECT_EQ(result.MaxColumn(), 3);
  EXPECT_EQ(document.DocumentElement().AttributeOr("MRow", ""), "5");

  // An item of a column already there takes its place.
  const xml::Node replacement = Item(document, "Key='A1' Row='1' Col='1' Value='b'");
  result.PlaceItem(replacement);
  EXPECT_EQ(result.Row(1).ChildNodes().Length(), 1u);
  EXPECT_TRUE(result.Row(1).FirstChild() == replacement);
  EXPECT_EQ(observer.replacements, 1);

  // Without content it is placed but widens nothing.
  result.PlaceItem(Item(document, "Key='H9' Row='9' Col='8' Value=''"));
  EXPECT_EQ(result.RowCount(), 9);
  EXPECT_EQ(result.MaxRow(), 5);
  EXPECT_EQ(result.MaxColumn(), 3);

  // Keys holding "|" and rows 0 or no number are never placed.
  result.PlaceItem(Item(document, "Key='A|1' Row='10' Col='1' Value='x'"));
  result.PlaceItem(Item(document, "Key='A0' Row='0' Col='1' Value='x'"));
  result.PlaceItem(Item(document, "Key='A1' Row='one' Col='1' Value='x'"));
  EXPECT_EQ(result.RowCount(), 9);
}

TEST(ResultFormat, AppendRowsRenumbersAndDeletingFromTheBottomKeepsNumbers) {
  xml::Document document = xml::Document::Parse("<Fmt MRow='1' MCol='2'><Itms><Row/></Itms></Fmt>");
  CountingObserver observer;
  ResultFormat body(document.DocumentElement(), &observer);
  xml::Node source_element = document.ImportNode(
      xml::Document::Parse("<Fmt MRow='2' MCol='4'><Itms>"
                           "<Row PgBk='-1'><Itm Key='A1' Row='1' Col='1' Value='x'/>"
                           "<Itm Key='PRINT1' Row='1' Col='-2' Value='=1'/></Row>"
                           "<Row><Itm Key='A2' Row='7' Col='1' Value='y'/></Row></Itms></Fmt>")
          .DocumentElement(),
      true);
  ResultFormat source(source_element, nullptr, 1);
  body.AppendRows(source, 1);
  EXPECT_EQ(body.RowCount(), 3);
  EXPECT_EQ(body.MaxRow(), 3);
  EXPECT_EQ(body.MaxColumn(), 4);
  EXPECT_EQ(body.Row(2).AttributeOr("PgBk", ""), "-1");
  EXPECT_EQ(body.Row(2).ChildNodes().Length(), 1u);  // the print condition is no cell
  EXPECT_EQ(body.Row(3).FirstChild().AttributeOr("Row", ""), "3");
  EXPECT_EQ(source.RowCount(), 0);

  body.DeleteRow(3, true);
  body.DeleteRow(2, true);
  EXPECT_TRUE(body.Row(1));
  body.CompactRows();
  EXPECT_EQ(body.RowCount(), 1);
  EXPECT_EQ(observer.deleted, (std::vector<std::int32_t>{3, 2}));
  body.DeleteRow(5);  // nothing there
  EXPECT_EQ(body.RowCount(), 1);
}

TEST(HeaderFooter, RangesFollowTheRowsTheyWereClosedAt) {
  const xml::Document document = xml::Document::Parse("<x><A/><B/><X/><S1/><S2/></x>");
  const xml::Node a = document.DocumentElement().FirstChild();
  const xml::Node b = a.NextSibling();

  cHeaderFooter empty;
  EXPECT_EQ(empty.GetAsXML("Hdrs").Xml(), "<Hdrs/>");

  // A close at row 0 registers nothing and starts the next range at 1.
  cHeaderFooter headers;
  headers.AddHeaderFooter(0, b.NextSibling(), {});
  headers.AddHeaderFooter(10, a, {});
  headers.AddHeaderFooter(20, b, {});
  headers.AddHeaderFooter(25, {}, {});  // no block: only moves the start
  EXPECT_EQ(headers.GetAsXML("Hdrs").Xml(),
            "<Hdrs><A Start=\"1\" End=\"10\"/><B Start=\"11\" End=\"20\"/></Hdrs>");
  headers.DeleteRow(15);
  EXPECT_EQ(headers.GetAsXML("Hdrs").Xml(),
            "<Hdrs><A Start=\"1\" End=\"10\"/><B Start=\"11\" End=\"19\"/></Hdrs>");
  headers.DeleteRow(1);
  EXPECT_EQ(headers.GetAsXML("Hdrs").Xml(),
            "<Hdrs><A Start=\"1\" End=\"9\"/><B Start=\"10\" End=\"18\"/></Hdrs>");
}

}  // namespace
}  // namespace orvo::testing
