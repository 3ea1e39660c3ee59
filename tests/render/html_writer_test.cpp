#include "render/html_writer.h"

#include <string>

#include <gtest/gtest.h>

#include "preview_fixture.h"
#include "render/preview_input.h"
#include "report_fixtures.h"

namespace orvo::render {
namespace {

using testing::Look;
using testing::PreviewFixture;

const std::string kMarker = "\xC3\xBF";

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

TEST(HtmlWriter, MarkersBecomePagesOnceTheLayoutIsKnown) {
  Layout layout;
  layout.pages.resize(7);
  layout.page_of_row = {1, 1, 1, 4, 4};
  layout.row_of_reference = {{3, 4}, {5, 1}};
  EXPECT_EQ(ResolveMarkers("Page " + kMarker + "P of " + kMarker + "C", 2, layout), "Page 2 of 7");
  EXPECT_EQ(ResolveMarkers("see page " + kMarker + "R3" + kMarker + ".", 1, layout), "see page 4.");
  EXPECT_EQ(ResolveMarkers(kMarker + "R9" + kMarker, 1, layout), "#REF");  // not in the index
  EXPECT_EQ(ResolveMarkers(kMarker + "Rx" + kMarker, 1, layout), "#REF");
  EXPECT_EQ(ResolveMarkers("cut " + kMarker + "R3", 1, layout), "cut R3");
  EXPECT_EQ(ResolveMarkers("end " + kMarker, 1, layout), "end ");
  EXPECT_EQ(ResolveMarkers("na" + kMarker + "ve", 1, layout), "na" + kMarker + "ve");
}

TEST(HtmlWriter, OneSelfContainedSectionPerPage) {
  PreviewFixture fixture;
  testing::KeptRows kept;
  testing::TrialBalance(fixture, kept, 120);
  const Layout layout = LayOut(ReadPreviewXml(fixture.Root()), RenderOptions{});
  ASSERT_GE(layout.pages.size(), 3u);
  const std::string html = WriteHtml(layout, RenderOptions{}, "Trial <balance>");
  EXPECT_EQ(Count(html, "<section "), layout.pages.size());
  EXPECT_NE(html.find("<meta name=\"orvo-pages\" content=\"" + std::to_string(layout.pages.size()) +
                      "\">"),
            std::string::npos);
  EXPECT_NE(html.find("<title>Trial &lt;balance&gt;</title>"), std::string::npos);
  EXPECT_NE(html.find("@page a4-portrait{size:210mm 297mm;margin:0}"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("http"), std::string::npos);
  EXPECT_EQ(html.find(kMarker), std::string::npos);
  const std::string last = std::to_string(layout.pages.size());
  EXPECT_NE(html.find("Page " + last + " of " + last), std::string::npos);
  EXPECT_EQ(Count(html, "Orvo Trading Ltd"), layout.pages.size());
}

TEST(HtmlWriter, CellsCarryLooksDrillKeysAndFormulas) {
  PreviewFixture fixture;
  fixture.Row({{1, "Sales & services"},
               {2, "(1,200)", Look::kAmount, "DrillItem4", "=CM.SALES"},
               {3, "2,400", Look::kTotal}});
  fixture.DrillKey("DrillItem4", "CM.SALES|Actuals");
  const Layout layout = LayOut(ReadPreviewXml(fixture.Root()), RenderOptions{});
  const std::string html = WriteHtml(layout, RenderOptions{}, "t");
  EXPECT_NE(html.find(">Sales &amp; services<"), std::string::npos);
  EXPECT_NE(html.find("data-drill=\"DrillItem4\" data-balance=\"CM.SALES|Actuals\" "
                      "title=\"=CM.SALES\">(1,200)<"),
            std::string::npos);
  EXPECT_NE(html.find("color:#ff0000"), std::string::npos);  // red negatives
  EXPECT_NE(html.find("border-bottom:3px double #000000"), std::string::npos);
  EXPECT_NE(html.find("border-top:1px solid #000000"), std::string::npos);
  EXPECT_NE(html.find("justify-content:flex-end;text-align:right"), std::string::npos);
}

}  // namespace
}  // namespace orvo::render
