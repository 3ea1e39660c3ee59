// The renderer's pages as a browser prints them: the sample company's income
// statement and trial balance (several pages) through `orvo preview --pdf`,
// and hand-made previews shaped like them through `orvo render --pdf`, all
// printed by headless Chromium and read back with pdfinfo and pdftotext. The page count must be the
// layout's, every page must carry its header and footer with the right "Page N of M", no kept
// section may be split, no marker character may survive, and the first
// page's figures must be the display texts.
//
// Without Chromium or the PDF tools the program says so and exits 77, which
// ctest shows as a skipped test.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "orvo/xml.h"
#include "render/html_writer.h"
#include "render/page_layout.h"
#include "render/pdf_printer.h"
#include "render/preview_input.h"
#include "render/report_fixtures.h"

namespace orvo::render {
namespace {

namespace fs = std::filesystem;

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  if (!pipe) return out;
  char buffer[4096];
  for (std::size_t read; (read = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
    out.append(buffer, read);
  }
  return out;
}

// Runs of blanks as one blank.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\f';
    if (blank && !out.empty() && out.back() == ' ') continue;
    out += blank ? ' ' : c;
  }
  return out;
}

fs::path Folder(const std::string& name) {
  const fs::path folder = fs::path(::testing::TempDir()) / ("orvo-browser-" + name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string Orvo() {
  const char* orvo = std::getenv("ORVO_BINARY");
  return orvo ? orvo : "orvo";
}

// A preview printed to PDF by orvo, read back page by page, beside the
// layout of the same preview.
class PrintedPreview {
 public:
  // Prints the preview `fixture` with `orvo render`.
  PrintedPreview(const std::string& name, const testing::PreviewFixture& fixture)
      : m_folder(Folder(name)), m_pdf(m_folder / (name + ".pdf")) {
    const fs::path source = m_folder / (name + ".xml");
    std::ofstream(source) << fixture.Xml();
    m_layout = LayOut(ReadPreviewXml(fixture.Root()), RenderOptions{});
    Print(Orvo() + " render " + source.string() + " --pdf " + m_pdf.string());
  }
  // Builds report `report` of the sample workspace `workspace` and prints it
  // with `orvo preview`, keeping the preview it printed in XML.
  PrintedPreview(const std::string& name, const fs::path& workspace, const std::string& report)
      : m_folder(Folder(name)), m_pdf(m_folder / (name + ".pdf")) {
    const fs::path saved = m_folder / (name + ".xml");
    Print(Orvo() + " preview " + workspace.string() + " --report " + report + " --out " +
          saved.string() + " --pdf " + m_pdf.string());
    std::ifstream in(saved);
    std::stringstream text;
    text << in.rdbuf();
    m_saved = xml::Document::Parse(text.str());
    m_layout = LayOut(ReadPreviewXml(m_saved.DocumentElement()), RenderOptions{});
  }

  // The kept sections the saved preview holds.
  testing::KeptRows KeptSections() const {
    testing::KeptRows kept;
    for (const xml::Node& section : m_saved.DocumentElement().SelectNodes("KpSections/Sect")) {
      kept.push_back({std::stoi(section.AttributeOr("Start", "0")),
                      std::stoi(section.AttributeOr("End", "0"))});
    }
    return kept;
  }

  void Print(const std::string& command) {
    m_output = Run(command + " 2>&1");
    const std::string info = Run("pdfinfo " + m_pdf.string() + " 2>&1");
    const std::size_t pages = info.find("Pages:");
    if (pages != std::string::npos) m_page_count = std::atoi(info.c_str() + pages + 6);
    for (int page = 1; page <= m_page_count; ++page) {
      m_pages.push_back(Squeezed(Run("pdftotext -layout -enc UTF-8 -f " + std::to_string(page) +
                                     " -l " + std::to_string(page) + " " + m_pdf.string() + " -")));
    }
    // A picture of the first page beside the PDF, for a person to look at.
    if (OnPath("pdftoppm")) {
      Run("pdftoppm -png -r 60 -f 1 -l 1 " + m_pdf.string() + " " + (m_folder / "page").string());
    }
  }

  const Layout& layout() const { return m_layout; }
  const std::string& output() const { return m_output; }
  int PageCount() const { return m_page_count; }
  const std::string& PageText(int page) const {
    return m_pages[static_cast<std::size_t>(page - 1)];
  }
  // The printed page holding `text`, or 0.
  int PageHolding(const std::string& text) const {
    for (int page = 1; page <= m_page_count; ++page) {
      if (PageText(page).find(Squeezed(text)) != std::string::npos) return page;
    }
    return 0;
  }

 private:
  fs::path m_folder;
  fs::path m_pdf;
  xml::Document m_saved;
  Layout m_layout;
  std::string m_output;
  int m_page_count = 0;
  std::vector<std::string> m_pages;
};

// Digits with signs, brackets, separators or a percent sign: a figure.
bool IsFigure(const std::string& text) {
  bool digit = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (std::string_view("-,.()% ").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return digit;
}

// The longest text of a body row that prints on one line (column headings
// may wrap), to find the row on a printed page; the longest of all when
// none is found.
std::string RowText(const PrintedPreview& printed, int row) {
  const Layout& layout = printed.layout();
  std::vector<std::string> texts;
  for (const GridCell& cell : layout.body.rows[static_cast<std::size_t>(row - 1)].cells) {
    texts.push_back(ResolveMarkers(cell.text, layout.PageOfRow(row), layout));
  }
  std::stable_sort(texts.begin(), texts.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& text : texts) {
    if (!text.empty() && printed.PageHolding(text) != 0) return text;
  }
  return texts.empty() ? std::string() : texts.front();
}

void CheckPrinted(const PrintedPreview& printed, const testing::KeptRows& kept,
                  std::size_t least_pages) {
  const Layout& layout = printed.layout();
  ASSERT_EQ(printed.PageCount(), static_cast<int>(layout.pages.size())) << printed.output();
  ASSERT_GE(layout.pages.size(), least_pages);
  const int pages = printed.PageCount();
  for (int page = 1; page <= pages; ++page) {
    const std::string& text = printed.PageText(page);
    EXPECT_NE(text.find("Orvo Trading Ltd"), std::string::npos) << "page " << page;
    EXPECT_NE(text.find("Page " + std::to_string(page) + " of " + std::to_string(pages)),
              std::string::npos)
        << "page " << page << ":\n"
        << text;
    EXPECT_NE(text.find("Unaudited management accounts"), std::string::npos) << "page " << page;
    EXPECT_EQ(text.find("\xC3\xBF"), std::string::npos) << "a marker survived on page " << page;
  }
  for (const auto& [first, last] : kept) {
    const int start_page = printed.PageHolding(RowText(printed, first));
    EXPECT_NE(start_page, 0) << "row " << first << " is not printed";
    EXPECT_EQ(start_page, layout.PageOfRow(first));
    EXPECT_EQ(printed.PageHolding(RowText(printed, last)), start_page)
        << "kept section " << first << "-" << last << " is split";
  }
  // The first page's figures are the display texts, where the layout put them.
  const Page& first_page = layout.pages.front();
  int figures = 0;
  for (int line = first_page.first_line; line < std::min(first_page.end_line, layout.BodyRows());
       ++line) {
    for (const GridCell& cell : layout.body.rows[static_cast<std::size_t>(line)].cells) {
      if (!IsFigure(cell.text)) continue;
      ++figures;
      EXPECT_EQ(printed.PageHolding(cell.text), 1)
          << "figure " << cell.text << " of row " << line + 1;
    }
  }
  EXPECT_GT(figures, 10);
}

TEST(Browser, IncomeStatementPrintsOnOnePageWithItsNote) {
  testing::PreviewFixture fixture;
  testing::KeptRows kept;
  testing::IncomeStatement(fixture, kept);
  const PrintedPreview printed("income_statement", fixture);
  CheckPrinted(printed, kept, 1);
  const std::string& text = printed.PageText(1);
  EXPECT_NE(text.find("carried to the balance sheet (see page 1)"), std::string::npos) << text;
  EXPECT_NE(text.find("Notes 1 Product sales include the sales of all product lines"),
            std::string::npos)
      << text;
}

TEST(Browser, TrialBalanceRunsOverSeveralPagesWithoutSplittingKeptRows) {
  testing::PreviewFixture fixture;
  testing::KeptRows kept;
  testing::TrialBalance(fixture, kept, 150);
  CheckPrinted(PrintedPreview("trial_balance", fixture), kept, 3);
}

// The sample company's reports as `orvo preview` prints them.
class SampleReports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_workspace = Folder("sample") / "workspace";
    render::Run(Orvo() + " sample " + s_workspace.string() + " 2>&1");
  }
  static fs::path s_workspace;
};
fs::path SampleReports::s_workspace;

TEST_F(SampleReports, IncomeStatementPrintsOnOnePage) {
  const PrintedPreview printed("sample_income_statement", s_workspace, "INCOME_STATEMENT");
  EXPECT_EQ(printed.output(), "1 page\n");
  CheckPrinted(printed, printed.KeptSections(), 1);
  EXPECT_NE(printed.PageText(1).find("Net profit for the period"), std::string::npos);
}

TEST_F(SampleReports, TrialBalanceRunsOverSeveralPages) {
  const PrintedPreview printed("sample_trial_balance", s_workspace, "TRIAL_BALANCE");
  EXPECT_EQ(printed.output(), std::to_string(printed.PageCount()) + " pages\n");
  CheckPrinted(printed, printed.KeptSections(), 3);
}

}  // namespace
}  // namespace orvo::render

int main(int argc, char** argv) {
  std::vector<std::string> missing;
  if (!orvo::render::FindChromium()) missing.push_back("chromium");
  for (const char* tool : {"pdfinfo", "pdftotext"}) {
    if (!orvo::render::OnPath(tool)) missing.push_back(tool);
  }
  if (!missing.empty()) {
    std::cout << "SKIPPED: the browser tests need";
    for (const std::string& tool : missing) std::cout << " " << tool;
    std::cout << " (Debian packages chromium and poppler-utils; scripts/build.sh installs them)\n";
    return 77;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
