// The page layout of a preview: the renderer's host-side pagination.
//
// LayOut reads the preview document and its companion data (PreviewInput)
// and decides everything a printed page needs, in CSS pixels (96 per inch):
//
//   * Page setups: each PgB record applies from its body row (row 0: from the
//     first row); paper A4 or Letter, portrait (OR 1) or landscape (OR 2),
//     margins in pixels. Margins that are no numbers, negative, or leave less
//     than an inch of the page take the default margins (25 mm top and
//     bottom, 19 mm left and right); an orientation other than 1 or 2 is
//     portrait. Each such repair is reported in `warnings`.
//   * Grids: the body and every header or footer block are grids of rows and
//     columns. A style's Hei (row height) and Wdt (column width) are points;
//     0 means sized to the content. Columns wider together than the page's
//     printable width are scaled down to it; a space filler (SF) widens its
//     column over its rows so that the row fills the printable width.
//   * Pages: a page starts at a row marked PgBk, at a row where the page
//     setup changes, and where the next row no longer fits. A kept section
//     (Sect Start..End) that fits on one page is never split: when it does not
//     fit on the rest of a page it starts the next one. One that is longer
//     than a page is split where the rows fill the page. Each page repeats the
//     header and footer blocks the collections give for its first body row. A
//     header and footer that leave no room for a row are cut to half the page.
//   * Notes: the bookmarks that are notes are listed, with their numbers and
//     texts, after the last body row.
//
// Every page holds at least one row or note, so the layout always ends; a
// preview without rows gives one page with its header and footer.
#ifndef ORVO_RENDER_PAGE_LAYOUT_H_
#define ORVO_RENDER_PAGE_LAYOUT_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "preview_input.h"

namespace orvo::render {

enum class Paper { kA4, kLetter };

struct RenderOptions {
  Paper paper = Paper::kA4;
};

// One page setup as laid out.
struct PageFrame {
  double width = 0;  // of the page, as printed
  double height = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  double left = 0;
  bool landscape = false;

  double PrintableWidth() const { return width - left - right; }
  double PrintableHeight() const { return height - top - bottom; }
  bool operator==(const PageFrame&) const = default;
};

enum class Align { kLeft, kCenter, kRight };

// One cell of a grid row: an item, or several merged items.
struct GridCell {
  std::string text;  // the display text, markers still in it
  int column = 1;    // first and last column it covers
  int last_column = 1;
  int look = 0;  // index of its look (a CSS class) in Layout::looks
  double font_px = 13.333;
  double indent_px = 0;
  double border_y = 0;  // top and bottom border widths together
  bool bold = false;
  bool wrap = false;  // the style asks for wrapping
  bool has_marker = false;
  Align align = Align::kLeft;
  std::string drill;    // drill-down key, when the cell has one
  std::string formula;  // the formula behind the figure
};

struct GridRow {
  std::vector<GridCell> cells;  // by column
  double fixed_height = 0;      // from Hei; 0: sized to the content
  double line_height = 0;       // of its largest font
  bool page_break = false;      // PgBk: the row starts a page
};

struct SpaceFiller {
  int start = 0;  // rows of the grid, 1-based, inclusive
  int end = 0;
  int column = 0;
  double width = 0;
  bool portscape = false;
};

struct Grid {
  std::vector<GridRow> rows;
  std::vector<double> widths;        // natural width of column c at [c - 1]
  std::vector<double> fixed_widths;  // from Wdt; 0: sized to the content
  std::vector<SpaceFiller> fillers;
};

// Where a cell goes in a row laid out at one printable width.
struct CellBox {
  const GridCell* cell = nullptr;
  double x = 0;
  double width = 0;
  int lines = 1;
};

struct Note {
  std::int32_t number = 0;
  std::string key;
  std::string text;
  std::int32_t row = 0;  // the body row that refers to it
};

struct Page {
  int frame = 0;    // index in Layout::frames
  int header = -1;  // index in Layout::blocks, or -1
  int footer = -1;
  double header_height = 0;  // as printed (cut when taller than the page)
  double footer_height = 0;
  int first_line = 0;  // lines [first_line, end_line): body rows, then notes
  int end_line = 0;
};

struct Layout {
  std::vector<PageFrame> frames;
  Grid body;
  std::vector<Grid> blocks;        // header and footer blocks
  Grid notes_grid;                 // the notes list: a heading, then number and text
  std::vector<std::string> looks;  // CSS declarations of each look
  std::vector<Note> notes;
  // Lines: body row r (1-based) is line r - 1; then a notes heading and one
  // line per note when there are notes.
  std::vector<double> line_heights;
  std::vector<int> line_frames;  // the page setup of each line
  std::vector<Page> pages;
  std::vector<int> page_of_row;  // page number (1-based) of body row r at [r]
  std::unordered_map<std::int32_t, std::int32_t> row_of_reference;  // reference index -> row
  std::unordered_map<std::string, std::string> balance_of_drill;    // drill key -> balance
  std::vector<std::string> warnings;

  int BodyRows() const { return static_cast<int>(body.rows.size()); }
  int Lines() const { return BodyRows() + static_cast<int>(notes_grid.rows.size()); }
  // The grid and its row (1-based) that line `line` shows.
  const Grid& GridOfLine(int line, int& row) const;
  // The page (1-based) that body row `row` lands on; rows before the first
  // give page 1, rows after the last the last page.
  int PageOfRow(std::int32_t row) const;
};

Layout LayOut(const PreviewInput& input, const RenderOptions& options);

// The cells of `row` of `grid` (1-based) placed across `printable_width`:
// columns scaled to fit, the row's space filler applied, text that does not
// fit its cell spilling into empty cells to its right, else wrapped.
std::vector<CellBox> ArrangeRow(const Grid& grid, int row, double printable_width);

// The height of a row arranged in `boxes`.
double RowHeight(const GridRow& row, const std::vector<CellBox>& boxes);

}  // namespace orvo::render

#endif  // ORVO_RENDER_PAGE_LAYOUT_H_
