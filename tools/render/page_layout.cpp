#include "page_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string_view>

#include "text_width.h"

namespace orvo::render {
namespace {

constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr double kPixelsPerMillimetre = 96.0 / 25.4;
// Margins when a page setup gives none that can be used: 25 mm top and
// bottom, 19 mm left and right (in pixels, as the library writes them).
constexpr double kDefaultTopBottom = 94.48809;
constexpr double kDefaultLeftRight = 71.81095;
// A page keeps at least an inch of printable width and height.
constexpr double kMinimumPrintable = 96.0;
constexpr double kDefaultFontPoints = 10.0;
constexpr double kLineHeightFactor = 1.2;  // the CSS line-height of every cell
constexpr double kCellPaddingX = 4.0;      // left and right, each
constexpr double kCellPaddingY = 1.0;      // top and bottom, each
constexpr double kEmptyColumnWidth = 8.0;
constexpr double kNoteNumberWidth = 36.0;
// Natural column widths stop at this share of the printable width; longer
// texts wrap or spill over empty neighbours.
constexpr double kWidestColumnShare = 0.45;

std::optional<double> Number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> Whole(std::string_view text) {
  const auto value = Number(text);
  if (!value || std::floor(*value) != *value || std::fabs(*value) > 2e9) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

bool IsTrue(const std::string& text) { return text == "-1" || text == "1" || text == "True"; }

xml::Node Child(const xml::Node& parent, std::string_view name) {
  if (!parent) return {};
  for (xml::Node child = parent.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) return child;
  }
  return {};
}

// A colour number with red in the low byte (255 is pure red) as CSS.
std::string CssColour(std::int64_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", bits & 0xFFu, (bits >> 8) & 0xFFu,
                (bits >> 16) & 0xFFu);
  return text;
}

std::optional<std::string> ColourOf(const xml::Node& node, std::string_view name) {
  const auto value = Whole(node.AttributeOr(name, ""));
  if (!value || *value < 0) return std::nullopt;
  return CssColour(*value);
}

// Text that reads as a figure: digits with signs, brackets, separators, a
// currency or a percent sign, and no letters.
bool LooksNumeric(std::string_view text) {
  bool digit = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      return false;
    }
  }
  return digit;
}

bool HasMarker(std::string_view text) { return text.find("\xC3\xBF") != std::string_view::npos; }

// The text as wide as it will print: page numbers and references take at
// most three digits.
std::string MeasuredText(const GridCell& cell) {
  if (!cell.has_marker) return cell.text;
  std::string text;
  for (std::size_t i = 0; i < cell.text.size(); ++i) {
    if (cell.text.compare(i, 2, "\xC3\xBF") != 0) {
      text += cell.text[i];
      continue;
    }
    text += "999";
    const std::size_t close = cell.text.find("\xC3\xBF", i + 2);
    const bool reference = i + 2 < cell.text.size() && cell.text[i + 2] == 'R';
    i = reference && close != std::string::npos ? close + 1 : i + 2;
  }
  return text;
}

// CSS border of one edge from its line style number and colour.
void AppendBorder(std::string& css, double& width, const xml::Node& borders, std::string_view edge,
                  std::string_view css_edge) {
  const auto line = Whole(borders.AttributeOr(std::string(edge) + "L", "0"));
  if (!line || *line <= 0) return;
  const std::string colour =
      ColourOf(borders, std::string(edge) + "C").value_or(std::string("#000000"));
  std::string look;
  switch (*line) {
    case 2:
      look = "2px solid";
      width = 2;
      break;
    case 3:
      look = "1px dashed";
      width = 1;
      break;
    case 4:
      look = "1px dotted";
      width = 1;
      break;
    case 5:
      look = "3px solid";
      width = 3;
      break;
    case 6:
      look = "3px double";
      width = 3;
      break;
    case 8:
      look = "2px dashed";
      width = 2;
      break;
    default:
      look = "1px solid";
      width = 1;
      break;
  }
  css += "border-";
  css += css_edge;
  css += ":" + look + " " + colour + ";";
}

std::string FontFamily(std::string name) {
  std::string clean;
  for (const char c : name) {
    if (c != '"' && c != '\'' && c != '<' && c != '>' && c != ';' && c != '{' && c != '}' &&
        c != '\\') {
      clean += c;
    }
  }
  std::string family;
  if (!clean.empty()) family = "\"" + clean + "\",";
  return family + "Arial,\"Liberation Sans\",Helvetica,sans-serif";
}

// Turns items into cells, giving each distinct look one CSS class.
class GridReader {
 public:
  explicit GridReader(std::vector<std::string>& looks) : m_looks(looks) {}

  Grid Read(const xml::Node& format, const xml::Node& fillers) {
    Grid grid;
    const xml::Node items = Child(format, "Itms");
    if (items) {
      for (xml::Node row = items.FirstChild(); row; row = row.NextSibling()) {
        if (row.Type() != xml::NodeType::kElement || row.Name() != "Row") continue;
        grid.rows.push_back(ReadRow(row, grid));
      }
    }
    ReadFillers(fillers, grid);
    return grid;
  }

 private:
  GridRow ReadRow(const xml::Node& row, Grid& grid) {
    GridRow out;
    out.page_break = row.AttributeOr("PgBk", "0") == "-1";
    std::string merge_key;
    for (xml::Node item = row.FirstChild(); item; item = item.NextSibling()) {
      if (item.Type() != xml::NodeType::kElement || item.Name() != "Itm") continue;
      const auto column = Whole(item.AttributeOr("Col", ""));
      if (!column || *column < 1 || *column > 16384) continue;
      GridCell cell;
      cell.column = cell.last_column = static_cast<int>(*column);
      cell.text = item.AttributeOr("Dsp", "");
      cell.has_marker = HasMarker(cell.text);
      cell.formula = item.AttributeOr("Fml", "");
      // One pass over the item's children: its style and its drill record.
      xml::Node style;
      for (xml::Node child = item.FirstChild(); child; child = child.NextSibling()) {
        if (child.Type() != xml::NodeType::kElement) continue;
        const std::string name = child.Name();
        if (name == "Stl") {
          style = child;
        } else if (name == "Drill" && IsTrue(child.AttributeOr("On", "0"))) {
          cell.drill = child.AttributeOr("Key", "");
        }
      }
      const std::string this_merge = ReadStyle(style, cell, out, grid);
      // Merged items of one row share a key: the first one's cell covers them.
      if (!this_merge.empty() && this_merge == merge_key && !out.cells.empty() &&
          out.cells.back().last_column < cell.column) {
        GridCell& merged = out.cells.back();
        merged.last_column = cell.column;
        if (merged.text.empty()) {
          merged.text = cell.text;
          merged.has_marker = cell.has_marker;
        }
        continue;
      }
      merge_key = this_merge;
      out.line_height = std::max(out.line_height, cell.font_px * kLineHeightFactor);
      out.cells.push_back(std::move(cell));
    }
    std::stable_sort(out.cells.begin(), out.cells.end(),
                     [](const GridCell& a, const GridCell& b) { return a.column < b.column; });
    if (out.line_height == 0)
      out.line_height = kDefaultFontPoints * kPixelsPerPoint * kLineHeightFactor;
    return out;
  }

  // Reads the cell's look; returns its merge key when the item is merged.
  std::string ReadStyle(const xml::Node& style, GridCell& cell, GridRow& row, Grid& grid) {
    std::string css;
    double font_points = kDefaultFontPoints;
    std::string horizontal;
    std::string vertical;
    std::string merge_key;
    double border_y = 0;
    xml::Node alignment;
    xml::Node borders;
    xml::Node font;
    for (xml::Node child = style ? style.FirstChild() : xml::Node(); child;
         child = child.NextSibling()) {
      if (child.Type() != xml::NodeType::kElement) continue;
      const std::string name = child.Name();
      if (name == "Alg") {
        alignment = child;
      } else if (name == "Brd") {
        borders = child;
      } else if (name == "Fnts") {
        font = Child(child, "Fnt");
      }
    }
    if (style) {
      if (const auto height = Number(style.AttributeOr("Hei", "")); height && *height > 0) {
        row.fixed_height = std::max(row.fixed_height, std::ceil(*height * kPixelsPerPoint));
      }
      if (const auto width = Number(style.AttributeOr("Wdt", "")); width && *width > 0) {
        const auto index = static_cast<std::size_t>(cell.column - 1);
        if (grid.fixed_widths.size() <= index) grid.fixed_widths.resize(index + 1, 0);
        grid.fixed_widths[index] = std::max(grid.fixed_widths[index], *width * kPixelsPerPoint);
      }
      if (auto fill = ColourOf(style, "BCl")) {
        css += "background:" + *fill + ";";
      } else if (const auto pattern = Whole(style.AttributeOr("Ptn", "0"));
                 pattern && *pattern > 0) {
        if (auto pattern_fill = ColourOf(style, "PtnCl"))
          css += "background:" + *pattern_fill + ";";
      }
      if (alignment) {
        horizontal = alignment.AttributeOr("Hrz", "");
        vertical = alignment.AttributeOr("Vrt", "");
        cell.wrap = IsTrue(alignment.AttributeOr("Wrp", "0"));
        if (const auto indent = Whole(alignment.AttributeOr("Ind", "0")); indent && *indent > 0) {
          cell.indent_px = static_cast<double>(std::min<std::int64_t>(*indent, 20)) * 9.0;
        }
        if (IsTrue(alignment.AttributeOr("Mg", "0")))
          merge_key = alignment.AttributeOr("MgKey", "");
      }
      if (borders) {
        double top = 0;
        double bottom = 0;
        double ignored = 0;
        AppendBorder(css, top, borders, "tp", "top");
        AppendBorder(css, ignored, borders, "rg", "right");
        AppendBorder(css, bottom, borders, "bt", "bottom");
        AppendBorder(css, ignored, borders, "lf", "left");
        border_y = top + bottom;
      }
      if (font) {
        if (const auto size = Number(font.AttributeOr("Sz", "")); size && *size > 0) {
          font_points = std::clamp(*size, 4.0, 72.0);
        }
        cell.bold = IsTrue(font.AttributeOr("Bld", "0"));
        css += "font-family:" + FontFamily(font.AttributeOr("Nm", "")) + ";";
        if (cell.bold) css += "font-weight:bold;";
        if (IsTrue(font.AttributeOr("Itl", "0"))) css += "font-style:italic;";
        if (auto colour = ColourOf(font, "Clr"); colour && *colour != "#000000") {
          css += "color:" + *colour + ";";
        }
        const std::string underline = font.AttributeOr("Udl", "");
        const bool strike = IsTrue(font.AttributeOr("Str", "0"));
        const bool underlined = !underline.empty() && underline != "None" && underline != "0";
        if (underlined || strike) {
          css += "text-decoration:";
          if (underlined) css += "underline ";
          if (strike) css += "line-through ";
          if (underline.find("ouble") != std::string::npos || underline == "2") css += "double";
          css += ";";
        }
      }
    }
    cell.font_px = font_points * kPixelsPerPoint;
    if (font_points != kDefaultFontPoints)
      css += "font-size:" + std::to_string(font_points) + "pt;";

    if (horizontal == "Right") {
      cell.align = Align::kRight;
    } else if (horizontal == "Center" || horizontal == "Centre" ||
               horizontal == "CenterAcrossSelection") {
      cell.align = Align::kCenter;
    } else if (horizontal == "Left" || horizontal == "Justify" || horizontal == "Fill") {
      cell.align = Align::kLeft;
    } else {
      cell.align = LooksNumeric(cell.text) ? Align::kRight : Align::kLeft;
    }
    css += cell.align == Align::kRight    ? "justify-content:flex-end;text-align:right;"
           : cell.align == Align::kCenter ? "justify-content:center;text-align:center;"
                                          : "";
    if (vertical == "Top") {
      css += "align-items:flex-start;";
    } else if (vertical == "Center" || vertical == "Middle") {
      css += "align-items:center;";
    }
    if (cell.indent_px > 0) {
      css += (cell.align == Align::kRight ? "padding-right:" : "padding-left:") +
             std::to_string(static_cast<int>(cell.indent_px + kCellPaddingX)) + "px;";
    }
    if (cell.wrap) css += "white-space:normal;overflow:hidden;";
    cell.border_y = border_y;
    cell.look = LookIndex(css);
    row.line_height = std::max(row.line_height, cell.font_px * kLineHeightFactor + border_y);
    return merge_key;
  }

  int LookIndex(const std::string& css) {
    const auto found = m_index.find(css);
    if (found != m_index.end()) return found->second;
    const int index = static_cast<int>(m_looks.size());
    m_looks.push_back(css);
    m_index.emplace(css, index);
    return index;
  }

  static void ReadFillers(const xml::Node& fillers, Grid& grid) {
    if (!fillers) return;
    for (xml::Node filler = fillers.FirstChild(); filler; filler = filler.NextSibling()) {
      if (filler.Type() != xml::NodeType::kElement || filler.Name() != "SF") continue;
      const auto start = Whole(filler.AttributeOr("Start", ""));
      const auto end = Whole(filler.AttributeOr("End", ""));
      const auto column = Whole(filler.AttributeOr("Col", ""));
      if (!start || !end || !column || *column < 1 || *column > 16384 || *end < *start) continue;
      SpaceFiller record;
      record.start = static_cast<int>(*start);
      record.end = static_cast<int>(*end);
      record.column = static_cast<int>(*column);
      record.width =
          std::max(0.0, Number(filler.AttributeOr("Width", "")).value_or(0)) * kPixelsPerPoint;
      record.portscape = filler.AttributeOr("Portscape", "0") == "-1";
      grid.fillers.push_back(record);
    }
  }

  std::vector<std::string>& m_looks;
  std::unordered_map<std::string, int> m_index;
};

}  // namespace

namespace {

// The width of the longest word of `text`.
double LongestWord(std::string_view text, double font_px, bool bold) {
  double longest = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    longest = std::max(longest, TextWidth(text.substr(at, end - at), font_px, bold));
    at = end + 1;
  }
  return longest;
}

// Natural column widths: a Wdt where the styles give one, else sized to the
// content. Each column needs at least its longest word (a figure is one
// word) and would like its widest text (up to `widest`); when the wishes do
// not fit `printable`, the columns get their needs and then what is left in
// column order, so labels on the left keep their lines and headings wrap.
void SizeColumns(Grid& grid, double printable, double widest) {
  int columns = 0;
  for (const GridRow& row : grid.rows) {
    for (const GridCell& cell : row.cells) columns = std::max(columns, cell.last_column);
  }
  for (const SpaceFiller& filler : grid.fillers) columns = std::max(columns, filler.column);
  const auto count = static_cast<std::size_t>(columns);
  std::vector<double> needs(count, 0.0);
  std::vector<double> wishes(count, 0.0);
  std::vector<bool> used(count, false);
  for (const GridRow& row : grid.rows) {
    for (const GridCell& cell : row.cells) {
      const auto index = static_cast<std::size_t>(cell.column - 1);
      used[index] = true;
      if (cell.last_column != cell.column || cell.text.empty()) continue;
      const std::string text = MeasuredText(cell);
      const double padding = 2 * kCellPaddingX + cell.indent_px + 2;
      const double full = std::min(TextWidth(text, cell.font_px, cell.bold) + padding, widest);
      const double word = std::min(LongestWord(text, cell.font_px, cell.bold) + padding, full);
      needs[index] = std::max(needs[index], word);
      wishes[index] = std::max(wishes[index], full);
    }
  }
  grid.widths.assign(count, 0.0);
  double needed = 0;
  for (std::size_t index = 0; index < count; ++index) {
    if (index < grid.fixed_widths.size() && grid.fixed_widths[index] > 0) {
      needs[index] = wishes[index] = grid.fixed_widths[index];
    } else if (wishes[index] == 0) {
      needs[index] = wishes[index] = used[index] ? 3 * kCellPaddingX : kEmptyColumnWidth;
    }
    needed += needs[index];
  }
  double left = printable - needed;
  for (std::size_t index = 0; index < count; ++index) {
    const double extra = std::clamp(wishes[index] - needs[index], 0.0, std::max(left, 0.0));
    grid.widths[index] = needs[index] + extra;
    left -= extra;
  }
}

// How many lines `text` takes when wrapped at word boundaries to `width`.
int WrappedLines(std::string_view text, double width, double font_px, bool bold) {
  if (width <= 0) return 1;
  const double space = TextWidth(" ", font_px, bold);
  int lines = 1;
  double line = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const double word = TextWidth(text.substr(at, end - at), font_px, bold);
    if (line > 0 && line + space + word > width) {
      ++lines;
      line = word;
    } else {
      line += (line > 0 ? space : 0) + word;
    }
    at = end + 1;
  }
  return lines;
}

}  // namespace

std::vector<CellBox> ArrangeRow(const Grid& grid, int row, double printable_width) {
  const GridRow& source = grid.rows[static_cast<std::size_t>(row - 1)];
  std::vector<double> widths = grid.widths;
  double total = 0;
  for (const double width : widths) total += width;
  if (total > printable_width && total > 0) {
    const double scale = printable_width / total;
    for (double& width : widths) width *= scale;
    total = printable_width;
  }
  for (const SpaceFiller& filler : grid.fillers) {
    if (row < filler.start || row > filler.end) continue;
    const auto index = static_cast<std::size_t>(filler.column - 1);
    if (index >= widths.size()) break;
    const double others = total - widths[index];
    widths[index] = std::max({widths[index], filler.width, printable_width - others});
    break;
  }
  std::vector<double> left(widths.size() + 1, 0.0);
  for (std::size_t index = 0; index < widths.size(); ++index) {
    left[index + 1] = left[index] + widths[index];
  }
  // Columns holding text: spilled text may cross only the others.
  std::vector<bool> taken(widths.size() + 1, false);
  for (const GridCell& cell : source.cells) {
    if (cell.text.empty()) continue;
    for (int column = cell.column; column <= cell.last_column; ++column) {
      taken[static_cast<std::size_t>(column - 1)] = true;
    }
  }

  std::vector<CellBox> boxes;
  boxes.reserve(source.cells.size());
  for (const GridCell& cell : source.cells) {
    CellBox box;
    box.cell = &cell;
    auto first = static_cast<std::size_t>(cell.column - 1);
    auto last = static_cast<std::size_t>(std::min<std::size_t>(cell.last_column, widths.size()));
    const double needed = cell.text.empty()
                              ? 0
                              : TextWidth(MeasuredText(cell), cell.font_px, cell.bold) +
                                    2 * kCellPaddingX + cell.indent_px + 1;
    if (!cell.wrap && needed > left[last] - left[first]) {
      if (cell.align == Align::kRight) {
        while (first > 0 && !taken[first - 1] && needed > left[last] - left[first]) --first;
      } else if (cell.align == Align::kLeft) {
        while (last < widths.size() && !taken[last] && needed > left[last] - left[first]) ++last;
      }
    }
    box.x = left[first];
    box.width = left[last] - left[first];
    const double inner = box.width - 2 * kCellPaddingX - cell.indent_px;
    if (cell.wrap || (needed > box.width && cell.text.find(' ') != std::string::npos)) {
      box.lines = WrappedLines(MeasuredText(cell), inner * 0.97, cell.font_px, cell.bold);
    }
    boxes.push_back(box);
  }
  return boxes;
}

double RowHeight(const GridRow& row, const std::vector<CellBox>& boxes) {
  if (row.fixed_height > 0) return row.fixed_height;
  double height = row.line_height;
  for (const CellBox& box : boxes) {
    height =
        std::max(height, box.lines * box.cell->font_px * kLineHeightFactor + box.cell->border_y);
  }
  return std::ceil(height + 2 * kCellPaddingY + 1);
}

const Grid& Layout::GridOfLine(int line, int& row) const {
  if (line < BodyRows()) {
    row = line + 1;
    return body;
  }
  row = line - BodyRows() + 1;
  return notes_grid;
}

int Layout::PageOfRow(std::int32_t row) const {
  if (page_of_row.size() <= 1) return 1;
  if (row < 1) return page_of_row[1];
  if (static_cast<std::size_t>(row) >= page_of_row.size()) return page_of_row.back();
  return page_of_row[static_cast<std::size_t>(row)];
}

namespace {

struct PaperSize {
  double width;
  double height;
};

PaperSize PaperOf(Paper paper) {
  // The page box a little inside the paper, so that rounding never pushes
  // a page's content onto a page of its own.
  return paper == Paper::kLetter ? PaperSize{815, 1055}
                                 : PaperSize{std::floor(210 * kPixelsPerMillimetre) - 1,
                                             std::floor(297 * kPixelsPerMillimetre) - 1};
}

class LayoutBuilder {
 public:
  LayoutBuilder(const PreviewInput& input, const RenderOptions& options, Layout& layout)
      : m_input(input), m_options(options), m_layout(layout), m_reader(layout.looks) {}

  void Run() {
    ReadFrames();
    m_layout.body = m_reader.Read(m_input.body, m_input.body_fillers);
    SizeColumns(m_layout.body, Narrowest(), Narrowest() * kWidestColumnShare);
    ReadReferences();
    ReadDrillKeys();
    MakeNotes();
    AssignFrames();
    MeasureLines();
    ReadKeptSections();
    Paginate();
  }

 private:
  PageFrame DefaultFrame(bool landscape) const {
    const PaperSize paper = PaperOf(m_options.paper);
    PageFrame frame;
    frame.landscape = landscape;
    frame.width = landscape ? paper.height : paper.width;
    frame.height = landscape ? paper.width : paper.height;
    frame.top = frame.bottom = kDefaultTopBottom;
    frame.left = frame.right = kDefaultLeftRight;
    return frame;
  }

  void Warn(std::string text) {
    if (std::find(m_layout.warnings.begin(), m_layout.warnings.end(), text) ==
        m_layout.warnings.end()) {
      m_layout.warnings.push_back(std::move(text));
    }
  }

  PageFrame FrameOf(const xml::Node& setup) {
    const std::string orientation = setup.AttributeOr("OR", "1");
    const auto number = Whole(orientation);
    if (!number || (*number != 1 && *number != 2)) {
      Warn("page setup at row " + setup.AttributeOr("Row", "") + ": orientation '" + orientation +
           "' is neither 1 (portrait) nor 2 (landscape); printed portrait");
    }
    PageFrame frame = DefaultFrame(number && *number == 2);
    double* margins[] = {&frame.top, &frame.right, &frame.bottom, &frame.left};
    const char* names[] = {"Top", "Right", "Bottom", "Left"};
    for (int side = 0; side < 4; ++side) {
      const std::string text = setup.AttributeOr(names[side], "");
      if (text == "!") continue;  // the printer's default: the default margin
      const auto value = Number(text);
      if (!value || *value < 0) {
        Warn("page setup at row " + setup.AttributeOr("Row", "") + ": margin " + names[side] +
             " '" + text + "' is not a number of pixels; the default margin is used");
        continue;
      }
      *margins[side] = *value;
    }
    if (frame.PrintableWidth() < kMinimumPrintable || frame.PrintableHeight() < kMinimumPrintable) {
      Warn("page setup at row " + setup.AttributeOr("Row", "") +
           ": the margins leave less than an inch of the page; the default margins are used");
      const PageFrame fallback = DefaultFrame(frame.landscape);
      frame.top = fallback.top;
      frame.right = fallback.right;
      frame.bottom = fallback.bottom;
      frame.left = fallback.left;
    }
    return frame;
  }

  int FrameIndex(const PageFrame& frame) {
    for (std::size_t index = 0; index < m_layout.frames.size(); ++index) {
      if (m_layout.frames[index] == frame) return static_cast<int>(index);
    }
    m_layout.frames.push_back(frame);
    return static_cast<int>(m_layout.frames.size() - 1);
  }

  // Page setups by the body row they apply from (0 and 1 both: the start).
  void ReadFrames() {
    if (m_input.page_setups) {
      for (xml::Node setup = m_input.page_setups.FirstChild(); setup; setup = setup.NextSibling()) {
        if (setup.Type() != xml::NodeType::kElement || setup.Name() != "PgB") continue;
        const auto row = Whole(setup.AttributeOr("Row", ""));
        if (!row) continue;
        m_setup_from[std::max<std::int64_t>(*row, 1)] = FrameIndex(FrameOf(setup));
      }
    }
    if (m_setup_from.empty() || m_setup_from.begin()->first > 1) {
      m_setup_from[1] = FrameIndex(DefaultFrame(false));
    }
  }

  double Narrowest() const {
    double narrowest = m_layout.frames.front().PrintableWidth();
    for (const PageFrame& frame : m_layout.frames) {
      narrowest = std::min(narrowest, frame.PrintableWidth());
    }
    return narrowest;
  }

  void ReadReferences() {
    if (!m_input.references) return;
    for (xml::Node ref = m_input.references.FirstChild(); ref; ref = ref.NextSibling()) {
      if (ref.Type() != xml::NodeType::kElement) continue;
      const bool builder_form = ref.GetAttribute("RefIndex").has_value();
      const auto index = Whole(ref.AttributeOr(builder_form ? "RefIndex" : "Key", ""));
      const auto row = Whole(ref.AttributeOr(builder_form ? "RefRow" : "Row", ""));
      if (!index || !row) continue;
      m_layout.row_of_reference[static_cast<std::int32_t>(*index)] =
          static_cast<std::int32_t>(*row);
      if (!builder_form) continue;
      const auto note = Whole(ref.AttributeOr("NoteNumber", ""));
      if (!note || *note < 1) continue;
      Note entry;
      entry.number = static_cast<std::int32_t>(*note);
      entry.key = ref.AttributeOr("Key", "");
      entry.row = static_cast<std::int32_t>(*row);
      std::string upper = entry.key;
      for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      const auto text = m_input.note_texts.find(upper);
      if (text != m_input.note_texts.end()) entry.text = text->second;
      m_layout.notes.push_back(std::move(entry));
    }
    std::stable_sort(m_layout.notes.begin(), m_layout.notes.end(),
                     [](const Note& a, const Note& b) { return a.number < b.number; });
    m_layout.notes.erase(
        std::unique(m_layout.notes.begin(), m_layout.notes.end(),
                    [](const Note& a, const Note& b) { return a.number == b.number; }),
        m_layout.notes.end());
  }

  void ReadDrillKeys() {
    if (!m_input.drill_keys) return;
    for (xml::Node key = m_input.drill_keys.FirstChild(); key; key = key.NextSibling()) {
      if (key.Type() != xml::NodeType::kElement) continue;
      m_layout.balance_of_drill[key.AttributeOr("DKey", "")] = key.AttributeOr("Key", "");
    }
  }

  // The notes list: a gap, a heading, then one row per note (number,
  // text), the text column filling the printable width.
  void MakeNotes() {
    if (m_layout.notes.empty()) return;
    Grid& grid = m_layout.notes_grid;
    auto look = [this](const std::string& css) {
      for (std::size_t index = 0; index < m_layout.looks.size(); ++index) {
        if (m_layout.looks[index] == css) return static_cast<int>(index);
      }
      m_layout.looks.push_back(css);
      return static_cast<int>(m_layout.looks.size() - 1);
    };
    const int heading_look = look("font-weight:bold;border-bottom:1px solid #000000;");
    const int number_look =
        look("justify-content:flex-end;text-align:right;align-items:flex-start;");
    const int text_look = look("white-space:normal;overflow:hidden;align-items:flex-start;");
    const double font_px = kDefaultFontPoints * kPixelsPerPoint;
    GridRow gap;  // a little space between the body and the notes
    gap.line_height = font_px * kLineHeightFactor / 2;
    grid.rows.push_back(gap);
    GridRow heading;
    heading.line_height = font_px * kLineHeightFactor + 1;
    GridCell title;
    title.text = "Notes";
    title.column = 1;
    title.last_column = 2;
    title.bold = true;
    title.look = heading_look;
    title.border_y = 1;
    heading.cells.push_back(title);
    grid.rows.push_back(heading);
    for (const Note& note : m_layout.notes) {
      GridRow row;
      row.line_height = font_px * kLineHeightFactor;
      GridCell number;
      number.text = std::to_string(note.number);
      number.column = number.last_column = 1;
      number.align = Align::kRight;
      number.look = number_look;
      GridCell text;
      text.text = note.text.empty() ? note.key : note.text;
      text.has_marker = HasMarker(text.text);
      text.column = text.last_column = 2;
      text.wrap = true;
      text.look = text_look;
      row.cells.push_back(number);
      row.cells.push_back(text);
      grid.rows.push_back(row);
    }
    grid.widths = {kNoteNumberWidth, 0};
    grid.fillers.push_back({1, static_cast<int>(grid.rows.size()), 2, 0, false});
  }

  int Lines() const { return m_layout.Lines(); }

  void AssignFrames() {
    const int lines = Lines();
    m_layout.line_frames.assign(static_cast<std::size_t>(lines), 0);
    auto next = m_setup_from.begin();
    int frame = next->second;
    for (int line = 0; line < lines; ++line) {
      const int row = std::min(line + 1, std::max(m_layout.BodyRows(), 1));
      while (next != m_setup_from.end() && next->first <= row) {
        frame = next->second;
        ++next;
      }
      m_layout.line_frames[static_cast<std::size_t>(line)] = frame;
    }
    m_start_frame = m_setup_from.begin()->second;
  }

  const Grid& GridOfLine(int line, int& row) const { return m_layout.GridOfLine(line, row); }

  void MeasureLines() {
    const int lines = Lines();
    m_layout.line_heights.resize(static_cast<std::size_t>(lines));
    m_prefix.assign(static_cast<std::size_t>(lines) + 1, 0.0);
    for (int line = 0; line < lines; ++line) {
      int row = 0;
      const Grid& grid = GridOfLine(line, row);
      const double width = m_layout
                               .frames[static_cast<std::size_t>(
                                   m_layout.line_frames[static_cast<std::size_t>(line)])]
                               .PrintableWidth();
      const double height =
          RowHeight(grid.rows[static_cast<std::size_t>(row - 1)], ArrangeRow(grid, row, width));
      m_layout.line_heights[static_cast<std::size_t>(line)] = height;
      m_prefix[static_cast<std::size_t>(line) + 1] =
          m_prefix[static_cast<std::size_t>(line)] + height;
    }
  }

  // Kept runs of lines by their first line, longest first: the body's kept
  // sections, and the notes heading with the first note.
  void ReadKeptSections() {
    const int rows = m_layout.BodyRows();
    if (m_input.kept_sections) {
      for (xml::Node section = m_input.kept_sections.FirstChild(); section;
           section = section.NextSibling()) {
        if (section.Type() != xml::NodeType::kElement) continue;
        const auto start = Whole(section.AttributeOr("Start", ""));
        const auto end = Whole(section.AttributeOr("End", ""));
        if (!start || !end || *start < 1 || *end <= *start || *start > rows) continue;
        const int last = static_cast<int>(std::min<std::int64_t>(*end, rows));
        m_kept[static_cast<int>(*start) - 1].push_back(last);  // lines start-1 .. last-1
      }
    }
    // The gap, the heading and the first note stay together.
    if (m_layout.notes_grid.rows.size() > 2) m_kept[rows].push_back(rows + 3);
    for (auto& [first, ends] : m_kept) std::sort(ends.rbegin(), ends.rend());
  }

  int BlockIndex(const xml::Node& block, cHeaderFooter& collection) {
    const auto found = m_block_index.find(block.Raw());
    if (found != m_block_index.end()) return found->second;
    const int index = static_cast<int>(m_layout.blocks.size());
    m_layout.blocks.push_back(m_reader.Read(block, collection.SpaceFillerForRow()));
    SizeColumns(m_layout.blocks.back(), Narrowest(), Narrowest());
    m_block_index.emplace(block.Raw(), index);
    return index;
  }

  double BlockHeight(int block, int frame) {
    if (block < 0) return 0;
    const auto key = std::make_pair(block, frame);
    const auto found = m_block_heights.find(key);
    if (found != m_block_heights.end()) return found->second;
    const Grid& grid = m_layout.blocks[static_cast<std::size_t>(block)];
    const double width = m_layout.frames[static_cast<std::size_t>(frame)].PrintableWidth();
    double height = 0;
    for (int row = 1; row <= static_cast<int>(grid.rows.size()); ++row) {
      height +=
          RowHeight(grid.rows[static_cast<std::size_t>(row - 1)], ArrangeRow(grid, row, width));
    }
    m_block_heights.emplace(key, height);
    return height;
  }

  // A page beginning at `line`: its setup, header and footer, and the
  // height left for rows.
  Page StartPage(int line, double& capacity) {
    Page page;
    const int lines = Lines();
    page.frame =
        line < lines ? m_layout.line_frames[static_cast<std::size_t>(line)] : m_start_frame;
    const int rows = m_layout.BodyRows();
    const std::int32_t anchor = rows == 0 ? 0 : std::min(line + 1, rows);
    if (m_input.headers) {
      if (const xml::Node block = m_input.headers->ItemForRow(anchor)) {
        page.header = BlockIndex(block, *m_input.headers);
      }
    }
    if (m_input.footers) {
      if (const xml::Node block = m_input.footers->ItemForRow(anchor)) {
        page.footer = BlockIndex(block, *m_input.footers);
      }
    }
    const PageFrame& frame = m_layout.frames[static_cast<std::size_t>(page.frame)];
    const double content = std::floor(frame.PrintableHeight());
    page.header_height = BlockHeight(page.header, page.frame);
    page.footer_height = BlockHeight(page.footer, page.frame);
    // Header and footer may take half the page when together they leave no
    // room for the next row.
    const double first = line < lines ? m_layout.line_heights[static_cast<std::size_t>(line)] : 0;
    const double blocks = page.header_height + page.footer_height;
    const double room = std::floor(content / 2);
    if (blocks > content - std::min(first, room)) {
      Warn("a header and footer taller than the page are cut to leave room for the rows");
      const double scale = std::max(0.0, room) / blocks;
      page.header_height = std::floor(page.header_height * scale);
      page.footer_height = std::floor(page.footer_height * scale);
    }
    capacity = content - page.header_height - page.footer_height;
    return page;
  }

  bool StartsNewSetup(int line) const {
    return line < m_layout.BodyRows() &&
           m_layout.line_frames[static_cast<std::size_t>(line)] !=
               m_layout.line_frames[static_cast<std::size_t>(line - 1)];
  }

  double Height(int first, int end) const {
    return m_prefix[static_cast<std::size_t>(end)] - m_prefix[static_cast<std::size_t>(first)];
  }

  void Paginate() {
    const int lines = Lines();
    int line = 0;
    do {
      double capacity = 0;
      Page page = StartPage(line, capacity);
      page.first_line = line;
      double used = 0;
      while (line < lines) {
        const double height = m_layout.line_heights[static_cast<std::size_t>(line)];
        if (line > page.first_line) {
          if (line < m_layout.BodyRows() &&
              (m_layout.body.rows[static_cast<std::size_t>(line)].page_break ||
               StartsNewSetup(line))) {
            break;
          }
          if (KeptRunMovesOn(line, used, capacity)) break;
          if (used + height > capacity) break;
        }
        used += height;
        ++line;
      }
      page.end_line = line;
      m_layout.pages.push_back(page);
    } while (line < lines);

    m_layout.page_of_row.assign(static_cast<std::size_t>(m_layout.BodyRows()) + 1, 1);
    for (std::size_t index = 0; index < m_layout.pages.size(); ++index) {
      const Page& page = m_layout.pages[index];
      for (int at = page.first_line; at < std::min(page.end_line, m_layout.BodyRows()); ++at) {
        m_layout.page_of_row[static_cast<std::size_t>(at) + 1] = static_cast<int>(index) + 1;
      }
    }
  }

  // True when a kept run starting at `line` fits on an empty page but not
  // on the rest of this one.
  bool KeptRunMovesOn(int line, double used, double capacity) {
    const auto found = m_kept.find(line);
    if (found == m_kept.end()) return false;
    for (const int end : found->second) {
      const double height = Height(line, end);
      double empty = 0;
      StartPage(line, empty);
      if (height <= empty) return used + height > capacity;
    }
    return false;
  }

  const PreviewInput& m_input;
  const RenderOptions& m_options;
  Layout& m_layout;
  GridReader m_reader;
  std::map<std::int64_t, int> m_setup_from;  // first body row -> frame
  int m_start_frame = 0;
  std::vector<double> m_prefix;
  std::map<int, std::vector<int>> m_kept;  // first line -> end lines (exclusive)
  std::unordered_map<const void*, int> m_block_index;
  std::map<std::pair<int, int>, double> m_block_heights;
};

}  // namespace

Layout LayOut(const PreviewInput& input, const RenderOptions& options) {
  Layout layout;
  LayoutBuilder(input, options, layout).Run();
  return layout;
}

}  // namespace orvo::render
