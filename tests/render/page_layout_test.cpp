#include "render/page_layout.h"

#include <string>

#include <gtest/gtest.h>

#include "preview_fixture.h"
#include "render/preview_input.h"
#include "report_fixtures.h"

namespace orvo::render {
namespace {

using testing::CellSpec;
using testing::Look;
using testing::PreviewFixture;

Layout LayOutFixture(const PreviewFixture& fixture, Paper paper = Paper::kA4) {
  RenderOptions options;
  options.paper = paper;
  return LayOut(ReadPreviewXml(fixture.Root()), options);
}

void Rows(PreviewFixture& fixture, int count, const std::string& prefix = "Line") {
  for (int row = 0; row < count; ++row) {
    fixture.Row({{1, prefix + " " + std::to_string(row + 1)}, {2, "1,234", Look::kAmount}});
  }
}

// The body rows of each page, as "first-last" texts.
std::string PageRows(const Layout& layout) {
  std::string text;
  for (const Page& page : layout.pages) {
    text += std::to_string(page.first_line + 1) + "-" + std::to_string(page.end_line) + " ";
  }
  return text;
}

TEST(PageLayout, PageSetupsGiveSizeOrientationAndMargins) {
  PreviewFixture fixture;
  Rows(fixture, 3);
  fixture.PageSetup(0, "!", "37.79524", "-5", "abc");
  fixture.PageSetup(3, "20", "20", "20", "20", "2");
  const Layout a4 = LayOutFixture(fixture);
  ASSERT_EQ(a4.pages.size(), 2u);
  const PageFrame& first = a4.frames[static_cast<std::size_t>(a4.pages[0].frame)];
  EXPECT_FALSE(first.landscape);
  EXPECT_EQ(first.width, 792);  // A4 is 793.7 pixels wide
  EXPECT_DOUBLE_EQ(first.left, 37.79524);
  EXPECT_DOUBLE_EQ(first.top, 94.48809);     // "!": the default
  EXPECT_DOUBLE_EQ(first.bottom, 94.48809);  // negative: the default
  EXPECT_DOUBLE_EQ(first.right, 71.81095);   // not a number: the default
  EXPECT_EQ(a4.warnings.size(), 2u);
  const PageFrame& second = a4.frames[static_cast<std::size_t>(a4.pages[1].frame)];
  EXPECT_TRUE(second.landscape);
  EXPECT_GT(second.width, second.height);
  EXPECT_EQ(a4.pages[1].first_line, 2);  // the setup of row 3 starts a page

  const Layout letter = LayOutFixture(fixture, Paper::kLetter);
  EXPECT_EQ(letter.frames[static_cast<std::size_t>(letter.pages[0].frame)].width, 815);
}

TEST(PageLayout, BadOrientationsAndOversizedMarginsAreRepaired) {
  PreviewFixture fixture;
  Rows(fixture, 2);
  fixture.PageSetup(0, "600", "10", "600", "10", "7");
  const Layout layout = LayOutFixture(fixture);
  const PageFrame& frame = layout.frames[static_cast<std::size_t>(layout.pages[0].frame)];
  EXPECT_FALSE(frame.landscape);
  EXPECT_DOUBLE_EQ(frame.top, 94.48809);
  EXPECT_DOUBLE_EQ(frame.left, 71.81095);
  ASSERT_EQ(layout.warnings.size(), 2u);
  EXPECT_NE(layout.warnings[0].find("'7'"), std::string::npos);
  EXPECT_NE(layout.warnings[1].find("less than an inch"), std::string::npos);
}

TEST(PageLayout, PagesBreakWhereFullAtPageBreaksAndAtSetupChanges) {
  PreviewFixture fixture;
  Rows(fixture, 100);
  fixture.PageSetup(0, "!", "!", "!", "!");
  fixture.PageSetup(50, "!", "!", "!", "!");  // the same setup again: no break
  const Layout plain = LayOutFixture(fixture);
  // 19-pixel rows on 933 printable pixels: 49 rows a page.
  EXPECT_EQ(PageRows(plain), "1-49 50-98 99-100 ");
  EXPECT_EQ(plain.PageOfRow(50), 2);
  EXPECT_EQ(plain.PageOfRow(0), 1);
  EXPECT_EQ(plain.PageOfRow(500), 3);

  PreviewFixture breaks;
  Rows(breaks, 10);
  breaks.Row({{1, "Starts a page"}}, true);
  Rows(breaks, 5);
  breaks.PageSetup(14, "!", "!", "!", "!", "2");
  EXPECT_EQ(PageRows(LayOutFixture(breaks)), "1-10 11-13 14-16 ");
}

TEST(PageLayout, KeptSectionsMoveToTheNextPageUnlessLongerThanAPage) {
  PreviewFixture fixture;
  Rows(fixture, 40);
  Rows(fixture, 10, "Kept");
  fixture.Keep(41, 50);
  Rows(fixture, 60, "Long");
  fixture.Keep(51, 110);  // longer than a page: split where the page is full
  const Layout layout = LayOutFixture(fixture);
  EXPECT_EQ(PageRows(layout), "1-40 41-89 90-110 ");
}

TEST(PageLayout, HeadersAndFootersFollowTheFirstRowOfEachPage) {
  PreviewFixture fixture;
  Rows(fixture, 60);
  fixture.HeaderBlock(0, 30, {{{1, "First header", Look::kTitle}}});
  fixture.HeaderBlock(31, 60, {{{1, "Second header", Look::kTitle}}, {{1, "Subtitle"}}});
  fixture.FooterBlock(0, 60, {{{1, "Footer"}}});
  const Layout layout = LayOutFixture(fixture);
  ASSERT_EQ(layout.pages.size(), 2u);
  const auto header_text = [&](const Page& page) {
    return layout.blocks[static_cast<std::size_t>(page.header)].rows[0].cells[0].text;
  };
  EXPECT_EQ(header_text(layout.pages[0]), "First header");
  EXPECT_EQ(layout.pages[1].first_line + 1, 47);  // 46 rows fit between header and footer
  EXPECT_EQ(header_text(layout.pages[1]), "Second header");
  EXPECT_EQ(layout.pages[0].footer, layout.pages[1].footer);
  EXPECT_GT(layout.pages[0].header_height, 20);
}

TEST(PageLayout, AHeaderTallerThanThePageIsCutAndEveryPageHoldsARow) {
  PreviewFixture fixture;
  Rows(fixture, 3);
  std::vector<std::vector<CellSpec>> tall(80, std::vector<CellSpec>{{1, "Header line"}});
  fixture.HeaderBlock(0, 3, tall);
  const Layout layout = LayOutFixture(fixture);
  ASSERT_EQ(layout.pages.size(), 1u);  // cut to half the page, the rows fit below
  EXPECT_EQ(layout.pages[0].end_line, 3);
  EXPECT_LE(layout.pages[0].header_height, 933 / 2);
  EXPECT_NE(layout.warnings.back().find("taller than the page"), std::string::npos);
}

TEST(PageLayout, NoRowsGiveOnePageWithItsHeader) {
  PreviewFixture fixture;
  fixture.HeaderBlock(1, 1, {{{1, "Empty report"}}});
  const Layout layout = LayOutFixture(fixture);
  ASSERT_EQ(layout.pages.size(), 1u);
  EXPECT_EQ(layout.pages[0].first_line, layout.pages[0].end_line);
  EXPECT_GE(layout.pages[0].header, 0);
}

TEST(PageLayout, ColumnsFitThePageAndFillersWidenTheirColumn) {
  const auto right_edge = [](const Layout& layout, int row) {
    const std::vector<CellBox> boxes =
        ArrangeRow(layout.body, row, layout.frames[0].PrintableWidth());
    return boxes.back().x + boxes.back().width;
  };
  PreviewFixture fixture;
  fixture.Row({{1, "Short"}, {2, "Figure", Look::kAmount}});
  fixture.Row({{1, "Filled"}, {2, "Figure", Look::kAmount}});
  fixture.BodyFiller(2, 2, 1, 0);
  const Layout layout = LayOutFixture(fixture);
  const double printable = layout.frames[0].PrintableWidth();
  EXPECT_LT(right_edge(layout, 1), printable / 2);
  EXPECT_NEAR(right_edge(layout, 2), printable, 0.5);  // the filler takes up the rest

  PreviewFixture wide;
  std::vector<CellSpec> cells;
  for (int column = 1; column <= 30; ++column) cells.push_back({column, "Wide column text"});
  wide.Row(cells);
  EXPECT_NEAR(right_edge(LayOutFixture(wide), 1), printable, 0.5);  // scaled down to fit
}

TEST(PageLayout, NotesFollowTheBodyWithTheirNumbers) {
  PreviewFixture fixture;
  testing::KeptRows kept;
  testing::IncomeStatement(fixture, kept);
  const Layout layout = LayOutFixture(fixture);
  ASSERT_EQ(layout.notes.size(), 1u);
  EXPECT_EQ(layout.notes[0].number, 1);
  ASSERT_EQ(layout.notes_grid.rows.size(), 3u);  // a gap, the heading, the note
  EXPECT_EQ(layout.notes_grid.rows[2].cells[1].text.substr(0, 13), "Product sales");
  EXPECT_EQ(layout.pages.size(), 1u);
  EXPECT_EQ(layout.pages[0].end_line, layout.Lines());
  EXPECT_EQ(layout.row_of_reference.at(2), 12);
  EXPECT_EQ(layout.balance_of_drill.at("DrillItem1"), "CM.LINE1|Actuals|Y|1|6|YTD");
}

TEST(PageLayout, SavedHeaderRangesAreFiledAgainWithTheirGaps) {
  const xml::Document document = xml::Document::Parse(
      "<Headers><Fmt Start='0' End='4'><Itms><Row/></Itms></Fmt>"
      "<Fmt Start='9' End='12'><Itms><Row/></Itms></Fmt></Headers>");
  const auto headers = HeaderFooterFromXml(document.DocumentElement());
  EXPECT_FALSE(headers->ItemForRow(4).IsNull());
  EXPECT_TRUE(headers->ItemForRow(6).IsNull());
  EXPECT_FALSE(headers->ItemForRow(9).IsNull());
  EXPECT_EQ(headers->GetAsXML("Headers").Xml(), document.DocumentElement().Xml());
}

}  // namespace
}  // namespace orvo::render
