#include "html_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "orvo/xml.h"

namespace orvo::render {
namespace {

constexpr std::string_view kMarker = "\xC3\xBF";

// HTML text and attribute values follow the XML escaping rule, which also
// replaces bytes that are not valid UTF-8.
void AppendEscaped(std::string& out, std::string_view text) { out += xml::Escape(text); }

void AppendNumber(std::string& out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Pixels with one decimal at most.
void AppendPixels(std::string& out, double value) {
  const long long tenths = std::llround(value * 10);
  AppendNumber(out, tenths / 10);
  if (tenths % 10 != 0) {
    out += '.';
    AppendNumber(out, std::llabs(tenths % 10));
  }
  out += "px";
}

std::string PageName(const PageFrame& frame, Paper paper) {
  return std::string(paper == Paper::kLetter ? "letter" : "a4") +
         (frame.landscape ? "-landscape" : "-portrait");
}

std::string PageSize(const PageFrame& frame, Paper paper) {
  if (paper == Paper::kLetter) return frame.landscape ? "11in 8.5in" : "8.5in 11in";
  return frame.landscape ? "297mm 210mm" : "210mm 297mm";
}

class Writer {
 public:
  Writer(const Layout& layout, const RenderOptions& options, std::string& out)
      : m_layout(layout), m_options(options), m_out(out) {}

  void Document(std::string_view title) {
    m_out.reserve(256 + static_cast<std::size_t>(m_layout.Lines()) * 512);
    m_out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    m_out += "<meta name=\"orvo-pages\" content=\"";
    AppendNumber(m_out, static_cast<long long>(m_layout.pages.size()));
    m_out += "\">\n<title>";
    AppendEscaped(m_out, title);
    m_out += "</title>\n<style>\n";
    Styles();
    m_out += "</style>\n</head>\n<body>\n";
    for (std::size_t index = 0; index < m_layout.pages.size(); ++index) {
      Page(m_layout.pages[index], static_cast<int>(index) + 1);
    }
    m_out += "</body>\n</html>\n";
  }

 private:
  void Styles() {
    const PageFrame& first = m_layout.frames[static_cast<std::size_t>(
        m_layout.pages.empty() ? 0 : m_layout.pages.front().frame)];
    m_out += "@page{size:" + PageSize(first, m_options.paper) + ";margin:0}\n";
    std::vector<std::string> named;
    for (const PageFrame& frame : m_layout.frames) {
      const std::string name = PageName(frame, m_options.paper);
      if (std::find(named.begin(), named.end(), name) != named.end()) continue;
      named.push_back(name);
      m_out += "@page " + name + "{size:" + PageSize(frame, m_options.paper) + ";margin:0}\n";
      m_out += "section." + name + "{page:" + name + "}\n";
    }
    m_out +=
        "html,body{margin:0;padding:0}\n"
        "body{font-family:Arial,\"Liberation Sans\",Helvetica,sans-serif;font-size:10pt;"
        "color:#000;-webkit-print-color-adjust:exact;print-color-adjust:exact}\n"
        "section{position:relative;overflow:hidden;background:#fff;break-after:page;"
        "page-break-after:always}\n"
        "section:last-of-type{break-after:auto;page-break-after:auto}\n"
        ".g{position:absolute;overflow:hidden}\n"
        ".r{position:relative}\n"
        ".c{position:absolute;top:0;bottom:0;box-sizing:border-box;display:flex;"
        "align-items:flex-end;padding:1px 4px;line-height:1.2;white-space:nowrap;"
        "font-variant-numeric:tabular-nums}\n"
        "@media screen{body{background:#d9d9d9}section{margin:16px auto;"
        "box-shadow:0 1px 4px rgba(0,0,0,.35)}}\n";
    for (std::size_t index = 0; index < m_layout.looks.size(); ++index) {
      if (m_layout.looks[index].empty()) continue;
      m_out += ".k";
      AppendNumber(m_out, static_cast<long long>(index));
      m_out += "{" + m_layout.looks[index] + "}\n";
    }
  }

  void Page(const render::Page& page, int number) {
    const PageFrame& frame = m_layout.frames[static_cast<std::size_t>(page.frame)];
    m_out += "<section class=\"" + PageName(frame, m_options.paper) + "\" data-page=\"";
    AppendNumber(m_out, number);
    m_out += "\" style=\"width:";
    AppendPixels(m_out, frame.width);
    m_out += ";height:";
    AppendPixels(m_out, frame.height);
    m_out += "\">\n";
    const double left = std::round(frame.left);
    const double top = std::round(frame.top);
    const double width = std::floor(frame.PrintableWidth());
    if (page.header >= 0) {
      Block(m_layout.blocks[static_cast<std::size_t>(page.header)], "header", left, top, width,
            page.header_height, frame, number);
    }
    OpenGrid("body", left, top + page.header_height, width,
             std::floor(frame.PrintableHeight()) - page.header_height - page.footer_height);
    for (int line = page.first_line; line < page.end_line; ++line) {
      int row = 0;
      const Grid& grid = m_layout.GridOfLine(line, row);
      Row(grid, row, m_layout.line_heights[static_cast<std::size_t>(line)], frame, number);
    }
    m_out += "</div>\n";
    if (page.footer >= 0) {
      const double footer_top = top + std::floor(frame.PrintableHeight()) - page.footer_height;
      Block(m_layout.blocks[static_cast<std::size_t>(page.footer)], "footer", left, footer_top,
            width, page.footer_height, frame, number);
    }
    m_out += "</section>\n";
  }

  void OpenGrid(const char* role, double left, double top, double width, double height) {
    m_out += "<div class=\"g\" data-role=\"";
    m_out += role;
    m_out += "\" style=\"left:";
    AppendPixels(m_out, left);
    m_out += ";top:";
    AppendPixels(m_out, top);
    m_out += ";width:";
    AppendPixels(m_out, width);
    m_out += ";height:";
    AppendPixels(m_out, std::max(0.0, height));
    m_out += "\">\n";
  }

  void Block(const Grid& grid, const char* role, double left, double top, double width,
             double height, const PageFrame& frame, int page) {
    OpenGrid(role, left, top, width, height);
    for (int row = 1; row <= static_cast<int>(grid.rows.size()); ++row) {
      const std::vector<CellBox> boxes = ArrangeRow(grid, row, frame.PrintableWidth());
      RowWith(grid.rows[static_cast<std::size_t>(row - 1)], boxes,
              RowHeight(grid.rows[static_cast<std::size_t>(row - 1)], boxes), page);
    }
    m_out += "</div>\n";
  }

  void Row(const Grid& grid, int row, double height, const PageFrame& frame, int page) {
    RowWith(grid.rows[static_cast<std::size_t>(row - 1)],
            ArrangeRow(grid, row, frame.PrintableWidth()), height, page);
  }

  void RowWith(const GridRow& row, const std::vector<CellBox>& boxes, double height, int page) {
    m_out += "<div class=\"r\" style=\"height:";
    AppendPixels(m_out, height);
    m_out += "\">";
    for (const CellBox& box : boxes) {
      const GridCell& cell = *box.cell;
      m_out += "<div class=\"c";
      if (!m_layout.looks[static_cast<std::size_t>(cell.look)].empty()) {
        m_out += " k";
        AppendNumber(m_out, cell.look);
      }
      if (box.lines > 1 && !cell.wrap) m_out += "\" data-wrap=\"1";
      m_out += "\" style=\"left:";
      AppendPixels(m_out, box.x);
      m_out += ";width:";
      AppendPixels(m_out, box.width);
      if (box.lines > 1) m_out += ";white-space:normal";
      m_out += "\"";
      if (!cell.drill.empty()) {
        m_out += " data-drill=\"";
        AppendEscaped(m_out, cell.drill);
        m_out += "\"";
        const auto balance = m_layout.balance_of_drill.find(cell.drill);
        if (balance != m_layout.balance_of_drill.end()) {
          m_out += " data-balance=\"";
          AppendEscaped(m_out, balance->second);
          m_out += "\"";
        }
      }
      if (!cell.formula.empty() && cell.formula.front() == '=') {
        m_out += " title=\"";
        AppendEscaped(m_out, cell.formula);
        m_out += "\"";
      }
      m_out += ">";
      if (cell.has_marker) {
        AppendEscaped(m_out, ResolveMarkers(cell.text, page, m_layout));
      } else {
        AppendEscaped(m_out, cell.text);
      }
      m_out += "</div>";
    }
    (void)row;
    m_out += "</div>\n";
  }

  const Layout& m_layout;
  const RenderOptions& m_options;
  std::string& m_out;
};

}  // namespace

std::string ResolveMarkers(std::string_view text, int page, const Layout& layout) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t marker = text.find(kMarker, at);
    if (marker == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, marker - at));
    const std::size_t code = marker + kMarker.size();
    const char kind = code < text.size() ? text[code] : '\0';
    if (kind == 'P') {
      out += std::to_string(page);
      at = code + 1;
    } else if (kind == 'C') {
      out += std::to_string(layout.pages.size());
      at = code + 1;
    } else if (kind == 'R') {
      const std::size_t close = text.find(kMarker, code + 1);
      if (close == std::string_view::npos) {
        at = code;  // cut short: the marker character goes, the rest stays
        continue;
      }
      const std::string_view digits = text.substr(code + 1, close - code - 1);
      std::int32_t index = 0;
      const auto [stop, error] =
          std::from_chars(digits.data(), digits.data() + digits.size(), index);
      const auto row = layout.row_of_reference.find(index);
      if (error != std::errc() || stop != digits.data() + digits.size() || digits.empty() ||
          row == layout.row_of_reference.end()) {
        out += "#REF";
      } else {
        out += std::to_string(layout.PageOfRow(row->second));
      }
      at = close + kMarker.size();
    } else if (kind == '\0') {
      at = code;  // a marker character at the very end: cut short
    } else {
      out.append(kMarker);
      at = code;
    }
  }
  return out;
}

std::string WriteHtml(const Layout& layout, const RenderOptions& options, std::string_view title) {
  std::string out;
  Writer(layout, options, out).Document(title);
  return out;
}

}  // namespace orvo::render
