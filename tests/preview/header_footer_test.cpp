#include "orvo/header_footer.h"

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvo/error.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

// Blocks as the builder hands them over: a transformed format whose first
// child holds the rows, and a space-filler list.
class Blocks {
 public:
  Blocks() : m_document(xml::Document::Parse("<Blocks/>")) {}

  xml::Node Block(const std::string& name, int rows = 1) {
    xml::Node format = m_document.CreateElement("Fmt");
    format.SetAttribute("Name", name);
    xml::Node items = format.AppendChild(m_document.CreateElement("Itms"));
    for (int row = 0; row < rows; ++row) items.AppendChild(m_document.CreateElement("Row"));
    return m_document.DocumentElement().AppendChild(format);
  }

  xml::Node Fillers(const std::string& column) {
    xml::Node list = m_document.CreateElement("SpFsH");
    xml::Node filler = list.AppendChild(m_document.CreateElement("SF"));
    filler.SetAttribute("Col", column);
    return m_document.DocumentElement().AppendChild(list);
  }

 private:
  xml::Document m_document;
};

std::string NameFor(cHeaderFooter& collection, std::int32_t row) {
  const xml::Node block = collection.ItemForRow(row);
  return block ? block.AttributeOr("Name", "?") : "none";
}

// "Name:Start-End" per block of the XML form.
std::string Listing(const cHeaderFooter& collection) {
  std::string listing;
  for (const xml::Node& block : collection.GetAsXML("Hdrs").ChildNodes()) {
    listing += block.AttributeOr("Name", "?") + ":" + block.AttributeOr("Start", "") + "-" +
               block.AttributeOr("End", "") + " ";
  }
  return listing;
}

TEST(HeaderFooter, RangesRunFromOneRowAfterThePreviousCall) {
  Blocks blocks;
  cHeaderFooter headers;
  headers.AddHeaderFooter(10, blocks.Block("A"), blocks.Fillers("1"));
  headers.AddHeaderFooter(20, blocks.Block("B"), blocks.Fillers("2"));
  EXPECT_EQ(NameFor(headers, 0), "A");  // row 0 is asked as row 1
  EXPECT_EQ(NameFor(headers, 1), "A");
  EXPECT_EQ(NameFor(headers, 10), "A");
  EXPECT_EQ(NameFor(headers, 11), "B");
  EXPECT_EQ(NameFor(headers, 20), "B");
  EXPECT_EQ(NameFor(headers, 21), "none");
  EXPECT_EQ(NameFor(headers, -3), "none");
  EXPECT_EQ(Listing(headers), "A:0-10 B:11-20 ");

  headers.DeleteRow(15);
  EXPECT_EQ(Listing(headers), "A:0-10 B:11-19 ");
  EXPECT_EQ(NameFor(headers, 19), "B");
  EXPECT_EQ(NameFor(headers, 20), "none");

  // The first block covers rows from 0, so deleting row 0 shortens it.
  headers.DeleteRow(0);
  EXPECT_EQ(Listing(headers), "A:0-9 B:10-18 ");
}

TEST(HeaderFooter, RowZeroOrNoBlockOnlyMovesTheNextStart) {
  Blocks blocks;
  cHeaderFooter headers;
  headers.AddHeaderFooter(0, blocks.Block("X"), blocks.Fillers("1"));
  headers.AddHeaderFooter(10, blocks.Block("Y"), blocks.Fillers("2"));
  EXPECT_EQ(Listing(headers), "Y:1-10 ");
  EXPECT_EQ(NameFor(headers, 1), "Y");
  EXPECT_EQ(NameFor(headers, 0), "Y");

  headers.AddHeaderFooter(30, xml::Node(), blocks.Fillers("3"));
  headers.AddHeaderFooter(40, blocks.Block("Z"), blocks.Fillers("4"));
  EXPECT_EQ(Listing(headers), "Y:1-10 Z:31-40 ");
  EXPECT_EQ(NameFor(headers, 20), "none");
  EXPECT_EQ(NameFor(headers, 31), "Z");

  // Two closes at the same row give the second block an empty range.
  headers.AddHeaderFooter(40, blocks.Block("E"), blocks.Fillers("5"));
  headers.AddHeaderFooter(50, blocks.Block("F"), blocks.Fillers("6"));
  EXPECT_EQ(Listing(headers), "Y:1-10 Z:31-40 E:41-40 F:41-50 ");
  EXPECT_EQ(NameFor(headers, 41), "F");
}

TEST(HeaderFooter, SpaceFillersFollowTheLastLookUp) {
  Blocks blocks;
  cHeaderFooter footers;
  EXPECT_TRUE(footers.ItemForRow(1).IsNull());
  EXPECT_TRUE(footers.SpaceFillerForRow().IsNull());

  const xml::Node fillers = blocks.Fillers("7");
  const xml::Node block = blocks.Block("A");
  footers.AddHeaderFooter(5, block, fillers);
  footers.AddHeaderFooter(9, blocks.Block("Empty", 0), blocks.Fillers("8"));

  EXPECT_EQ(footers.ItemForRow(3), block);  // the stored element itself
  const xml::Node copy = footers.SpaceFillerForRow();
  ASSERT_FALSE(copy.IsNull());
  EXPECT_NE(copy, fillers);
  EXPECT_EQ(copy.Xml(), fillers.Xml());

  // A block without rows is answered as none, but its fillers are cached.
  EXPECT_TRUE(footers.ItemForRow(7).IsNull());
  EXPECT_EQ(footers.SpaceFillerForRow().SelectSingleNode("SF").AttributeOr("Col", ""), "8");

  EXPECT_TRUE(footers.ItemForRow(10).IsNull());
  EXPECT_TRUE(footers.SpaceFillerForRow().IsNull());

  EXPECT_FALSE(footers.IsFooter());
  footers.IsFooter(true);
  EXPECT_TRUE(footers.IsFooter());
}

TEST(HeaderFooter, XmlFormHoldsCopiesInTheOrderAdded) {
  Blocks blocks;
  cHeaderFooter headers;
  const xml::Node empty = headers.GetAsXML("Hdrs");
  EXPECT_EQ(empty.Xml(), "<Hdrs/>");

  const xml::Node block = blocks.Block("A", 2);
  headers.AddHeaderFooter(4, block, blocks.Fillers("1"));
  const xml::Node list = headers.GetAsXML("Ftrs");
  EXPECT_EQ(list.Name(), "Ftrs");
  ASSERT_EQ(list.ChildNodes().Length(), 1u);
  const xml::Node copy = list.FirstChild();
  EXPECT_NE(copy, block);
  EXPECT_EQ(copy.SelectNodes("Itms/Row").Length(), 2u);
  EXPECT_FALSE(block.GetAttribute("Start").has_value());  // the stored block is untouched
  EXPECT_EQ(Listing(headers), "A:0-4 ");
}

TEST(HeaderFooter, RangesAddedOutOfOrderAnswerWithTheFirstHoldingRange) {
  Blocks blocks;
  cHeaderFooter headers;
  headers.AddHeaderFooter(20, blocks.Block("A"), blocks.Fillers("1"));
  headers.AddHeaderFooter(10, xml::Node(), xml::Node());
  headers.AddHeaderFooter(25, blocks.Block("B"), blocks.Fillers("2"));
  EXPECT_EQ(Listing(headers), "A:0-20 B:11-25 ");
  EXPECT_EQ(NameFor(headers, 15), "A");
  EXPECT_EQ(NameFor(headers, 21), "B");
  headers.DeleteRow(20);
  EXPECT_EQ(Listing(headers), "A:0-19 B:11-24 ");
  EXPECT_EQ(NameFor(headers, 20), "B");
}

TEST(HeaderFooter, RowsOutsideTheThirtyTwoBitRangeOverflow) {
  Blocks blocks;
  cHeaderFooter headers;
  headers.AddHeaderFooter(INT32_MAX, blocks.Block("A"), blocks.Fillers("1"));
  EXPECT_EQ(NameFor(headers, INT32_MAX), "A");
  EXPECT_EQ(testing::FailureOf([&] {
              headers.AddHeaderFooter(5, blocks.Block("B"), blocks.Fillers("2"));
            }).Number(),
            kErrOverflow);
  EXPECT_EQ(Listing(headers), "A:0-2147483647 ");

  cHeaderFooter lowest;
  lowest.AddHeaderFooter(INT32_MIN, blocks.Block("L"), blocks.Fillers("1"));
  EXPECT_EQ(testing::FailureOf([&] { lowest.DeleteRow(INT32_MIN); }).Number(), kErrOverflow);
  EXPECT_EQ(Listing(lowest), "L:0--2147483648 ");
  lowest.DeleteRow(INT32_MIN + 1);  // the end is below the row: nothing moves
  EXPECT_EQ(Listing(lowest), "L:-1--2147483648 ");
}

// The collection against the plain reading of its rules: a table scanned for
// every look-up and every deletion, over random adds, deletions and look-ups
// (mostly in row order, as the builder adds them, sometimes out of order).
TEST(HeaderFooter, IndexedTableAnswersAsAScanDoes) {
  struct Plain {
    std::int64_t start;
    std::int64_t end;
    std::string name;
  };
  std::mt19937 random(20261206);
  for (int round = 0; round < 40; ++round) {
    Blocks blocks;
    cHeaderFooter headers;
    std::vector<Plain> plain;
    std::int64_t next_start = 0;
    std::int32_t row = 0;
    const bool in_order = round % 4 != 3;
    for (int step = 0; step < 300; ++step) {
      const int action = static_cast<int>(random() % 10);
      if (action < 3) {
        row = in_order ? row + static_cast<std::int32_t>(random() % 6)
                       : static_cast<std::int32_t>(random() % 200);
        const bool given = random() % 8 != 0;
        const std::string name = "B" + std::to_string(step);
        headers.AddHeaderFooter(row, given ? blocks.Block(name) : xml::Node(), blocks.Fillers("1"));
        if (given && row != 0) plain.push_back({next_start, row, name});
        next_start = row + 1;
      } else if (action < 5) {
        const auto deleted = static_cast<std::int32_t>(random() % (row + 3));
        headers.DeleteRow(deleted);
        for (Plain& range : plain) {
          if (range.start > deleted) --range.start;
          if (range.end >= deleted) --range.end;
        }
      } else {
        const auto asked = static_cast<std::int32_t>(random() % (row + 3)) - 1;
        const std::int64_t r = asked == 0 ? 1 : asked;
        std::string expected = "none";
        for (const Plain& range : plain) {
          if (range.start <= r && range.end >= r) {
            expected = range.name;
            break;
          }
        }
        ASSERT_EQ(NameFor(headers, asked), expected) << "round " << round << " step " << step;
      }
    }
    std::string expected;
    for (const Plain& range : plain) {
      expected +=
          range.name + ":" + std::to_string(range.start) + "-" + std::to_string(range.end) + " ";
    }
    ASSERT_EQ(Listing(headers), expected) << "round " << round;
  }
}

}  // namespace
}  // namespace orvo
