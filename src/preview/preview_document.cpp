#include "preview/preview_document.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "evaluate/style_record.h"
#include "preview/preview_stylesheets.h"

namespace orvo {
namespace {

// A sort key as XPath's number() reads it, for the plain whole numbers that
// row and column numbers are; anything else gives nothing.
std::optional<double> PlainNumber(std::string_view text) {
  const auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  std::size_t at = 0;
  while (at < text.size() && is_blank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && text[at] == '-') negative = (++at, true);
  const std::size_t first_digit = at;
  std::int64_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - first_digit < 15) {
    value = value * 10 + (text[at++] - '0');
  }
  if (at == first_digit) return std::nullopt;
  while (at < text.size() && is_blank(text[at])) ++at;
  if (at != text.size()) return std::nullopt;
  return negative ? -static_cast<double>(value) : static_cast<double>(value);
}

// The next node after `node` in document order within `top`'s subtree,
// elements only.
xml::Node NextElementInOrder(const xml::Node& node, const xml::Node& top) {
  if (xml::Node child = FirstElement(node)) return child;
  for (xml::Node at = node; at && !(at == top); at = at.ParentNode()) {
    if (xml::Node next = NextElement(at)) return next;
  }
  return {};
}

class PreviewWriter {
 public:
  PreviewWriter() : m_output(xml::Document::Create()) {}

  // Whether every item's column is a plain number (the writer's sort then
  // equals the stylesheet's).
  static bool Sortable(const xml::Node& source) {
    for (xml::Node node = FirstElement(source); node; node = NextElementInOrder(node, source)) {
      if (node.Name() == "Itm" && node.ParentNode().Name() == "Row" &&
          node.ParentNode().ParentNode().Name() == "Itms" &&
          !PlainNumber(node.AttributeOr("Col", ""))) {
        return false;
      }
    }
    return true;
  }

  // False when an item's column is no plain number (nothing is consumed
  // then): the stylesheet's sort then decides the order. A `stop` that
  // answers true ends the writing (Stopped()).
  bool Write(const xml::Node& source, bool consume, const std::function<bool()>& stop) {
    if (consume && !Sortable(source)) return false;
    xml::Node format = Element("Fmt");
    m_output.SetDocumentElement(format);
    Copy(source, format, {"MRow", "MCol"});
    xml::Node items = format.AppendChild(Element("Itms"));
    xml::Node written;  // a row written, removed once the walk has left it
    std::size_t rows = 0;
    for (xml::Node node = FirstElement(source); node;) {
      const xml::Node next = NextElementInOrder(node, source);
      if (node.Name() == "Row" && node.ParentNode().Name() == "Itms") {
        if (stop && ++rows % kPreviewStopRows == 0 && stop()) {
          m_stopped = true;
          return true;
        }
        xml::Node row = items.AppendChild(Element("Row"));
        Copy(node, row, {"PgBk"});
        if (!WriteItems(node, row)) return false;
        if (consume && !written) written = node;
      }
      if (written && !(next && Within(next, written))) {
        written.ParentNode().RemoveChild(written);
        written = xml::Node();
      }
      node = next;
    }
    m_sorted.clear();
    return true;
  }

  xml::Node Result() const { return m_output.DocumentElement(); }
  bool Stopped() const { return m_stopped; }

 private:
  struct SortedItem {
    double column;
    xml::Node item;
  };

  xml::Node Element(std::string_view name) const { return m_output.CreateElement(name); }

  static bool Within(const xml::Node& node, const xml::Node& ancestor) {
    for (xml::Node at = node.ParentNode(); at; at = at.ParentNode()) {
      if (at == ancestor) return true;
    }
    return false;
  }

  static void CopyAttribute(const xml::Node& from, xml::Node& to, std::string_view name,
                            std::string_view source) {
    std::optional<std::string> value = from.GetAttribute(source);
    to.SetAttribute(name, value ? *value : std::string());
  }

  static void Copy(const xml::Node& from, xml::Node& to,
                   std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) CopyAttribute(from, to, name, name);
  }

  bool WriteItems(const xml::Node& source_row, xml::Node& row) {
    m_sorted.clear();
    for (xml::Node item = FirstElement(source_row); item; item = NextElement(item)) {
      if (item.Name() != "Itm") continue;
      std::optional<double> column = PlainNumber(item.AttributeOr("Col", ""));
      if (!column) return false;
      m_sorted.push_back({*column, item});
    }
    std::stable_sort(m_sorted.begin(), m_sorted.end(),
                     [](const SortedItem& a, const SortedItem& b) { return a.column < b.column; });
    for (const SortedItem& sorted : m_sorted) {
      const xml::Node& source = sorted.item;
      xml::Node item = row.AppendChild(Element("Itm"));
      Copy(source, item, {"Col", "Row"});
      CopyAttribute(source, item, "Dsp", "PTxt");
      Copy(source, item, {"OrigKey", "OrigFmt", "ASz"});
      CopyAttribute(source, item, "Fml", "OrigFml");
      ForEachChild(source, "Stl", [&](const xml::Node& style) { WriteStyle(style, item); });
      ForEachChild(source, "Drill", [&](const xml::Node& drill) {
        xml::Node copy = item.AppendChild(Element("Drill"));
        Copy(drill, copy, {"On", "Key"});
      });
    }
    return true;
  }

  template <class Visit>
  static void ForEachChild(const xml::Node& parent, std::string_view name, Visit&& visit) {
    for (xml::Node child = FirstElement(parent); child; child = NextElement(child)) {
      if (child.Name() == name) visit(child);
    }
  }

  void WriteStyle(const xml::Node& source, xml::Node& item) {
    xml::Node style = item.AppendChild(Element("Stl"));
    Copy(source, style, {"Hei", "Wdt", "BCl", "Ptn", "PtnCl"});
    ForEachChild(source, "Alg", [&](const xml::Node& alignment) {
      xml::Node copy = style.AppendChild(Element("Alg"));
      Copy(alignment, copy, {"Hrz", "Vrt", "Wrp", "Mg", "MgKey", "Ind", "Or", "Shr", "VrtTx"});
    });
    ForEachChild(source, "Brd", [&](const xml::Node& borders) {
      xml::Node copy = style.AppendChild(Element("Brd"));
      Copy(
          borders, copy,
          {"btC", "btL", "dtlC", "dtlL", "dtrC", "dtrL", "lfC", "lfL", "rgC", "rgL", "tpC", "tpL"});
    });
    xml::Node fonts = style.AppendChild(Element("Fnts"));
    ForEachChild(source, "Fnts", [&](const xml::Node& runs) {
      ForEachChild(runs, "Fnt", [&](const xml::Node& run) {
        xml::Node copy = fonts.AppendChild(Element("Fnt"));
        Copy(run, copy,
             {"Bld", "Clr", "Itl", "Nm", "Sz", "Str", "Stl", "Sub", "Sup", "Udl", "stt", "end"});
      });
    });
  }

  xml::Document m_output;
  std::vector<SortedItem> m_sorted;
  bool m_stopped = false;
};

}  // namespace

xml::Node PreviewDocument(const xml::Node& result_format, bool consume) {
  bool stopped = false;
  return PreviewDocument(result_format, consume, {}, stopped);
}

xml::Node PreviewDocument(const xml::Node& result_format, bool consume,
                          const std::function<bool()>& stop, bool& stopped) {
  stopped = false;
  if (stop && stop()) {
    stopped = true;
    return {};
  }
  if (result_format && result_format.Type() == xml::NodeType::kElement &&
      result_format.Name() == "Fmt") {
    PreviewWriter writer;
    const bool written = writer.Write(result_format, consume, stop);
    stopped = writer.Stopped();
    if (written) return writer.Result();
  }
  return SortXML(result_format, PreviewStylesheet());
}

xml::Node SortRowList(const xml::Node& rows) {
  if (!rows || rows.Type() != xml::NodeType::kElement || rows.Name() != "Rows") {
    return SortXML(rows, RowListStylesheet());
  }
  struct SortedRow {
    double number;
    xml::Node row;
  };
  std::vector<SortedRow> sorted;
  for (xml::Node row = FirstElement(rows); row; row = NextElement(row)) {
    if (row.Name() != "Row") continue;
    std::optional<double> number = PlainNumber(row.Text());
    if (!number) return SortXML(rows, RowListStylesheet());
    sorted.push_back({*number, row});
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const SortedRow& a, const SortedRow& b) { return a.number > b.number; });
  xml::Document output = xml::Document::Create();
  xml::Node list = output.CreateElement("Rows");
  output.SetDocumentElement(list);
  for (const SortedRow& entry : sorted) {
    xml::Node row = list.AppendChild(output.CreateElement("Row"));
    row.SetAttribute("Del", entry.row.AttributeOr("Del", ""));
    row.SetAttribute("Keep", entry.row.AttributeOr("Keep", ""));
    const std::string text = entry.row.Text();
    if (!text.empty()) row.AppendChild(output.CreateTextNode(text));
  }
  return list;
}

}  // namespace orvo
