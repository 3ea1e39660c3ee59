#include "preview/preview_document.h"

#include <algorithm>
#include <cstddef>
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

// The next element after `node` and its subtree in document order within
// `top`'s subtree.
xml::Node NextElementAfter(const xml::Node& node, const xml::Node& top) {
  for (xml::Node at = node; at && !(at == top); at = at.ParentNode()) {
    if (xml::Node next = NextElement(at)) return next;
  }
  return {};
}

// The next node after `node` in document order within `top`'s subtree,
// elements only.
xml::Node NextElementInOrder(const xml::Node& node, const xml::Node& top) {
  if (xml::Node child = FirstElement(node)) return child;
  return NextElementAfter(node, top);
}

// Whether `node` is an element named `name` (no copy of the name).
bool IsElement(const xml::Node& node, std::string_view name) {
  return node && node.Type() == xml::NodeType::kElement && node.NameIs(name);
}

// A Row element whose parent is an Itms element: the rows the preview holds.
bool IsItemRow(const xml::Node& node) {
  return node.NameIs("Row") && IsElement(node.ParentNode(), "Itms");
}

// The preview's attributes of each element, in their order, with the
// source attribute each is read from.
using Copies = xml::Node::AttributeCopy;
constexpr Copies kItemAttributes[] = {
    {"Col", "Col"},         {"Row", "Row"}, {"Dsp", "PTxt"},   {"OrigKey", "OrigKey"},
    {"OrigFmt", "OrigFmt"}, {"ASz", "ASz"}, {"Fml", "OrigFml"}};
// The same for an item the builder left without OrigKey (one with OrigFmt):
// it stands for its Key (OriginalKeyOf), shown as OrigKey.
constexpr Copies kItemAttributesByKey[] = {
    {"Col", "Col"},         {"Row", "Row"}, {"Dsp", "PTxt"},   {"OrigKey", "Key"},
    {"OrigFmt", "OrigFmt"}, {"ASz", "ASz"}, {"Fml", "OrigFml"}};
constexpr Copies kStyleAttributes[] = {
    {"Hei", "Hei"}, {"Wdt", "Wdt"}, {"BCl", "BCl"}, {"Ptn", "Ptn"}, {"PtnCl", "PtnCl"}};
constexpr Copies kAlignmentAttributes[] = {{"Hrz", "Hrz"}, {"Vrt", "Vrt"},     {"Wrp", "Wrp"},
                                           {"Mg", "Mg"},   {"MgKey", "MgKey"}, {"Ind", "Ind"},
                                           {"Or", "Or"},   {"Shr", "Shr"},     {"VrtTx", "VrtTx"}};
constexpr Copies kBorderAttributes[] = {{"btC", "btC"},   {"btL", "btL"},   {"dtlC", "dtlC"},
                                        {"dtlL", "dtlL"}, {"dtrC", "dtrC"}, {"dtrL", "dtrL"},
                                        {"lfC", "lfC"},   {"lfL", "lfL"},   {"rgC", "rgC"},
                                        {"rgL", "rgL"},   {"tpC", "tpC"},   {"tpL", "tpL"}};
constexpr Copies kFontAttributes[] = {
    {"Bld", "Bld"}, {"Clr", "Clr"}, {"Itl", "Itl"}, {"Nm", "Nm"},   {"Sz", "Sz"},   {"Str", "Str"},
    {"Stl", "Stl"}, {"Sub", "Sub"}, {"Sup", "Sup"}, {"Udl", "Udl"}, {"stt", "stt"}, {"end", "end"}};
constexpr Copies kDrillAttributes[] = {{"On", "On"}, {"Key", "Key"}};
constexpr xml::Node::AttributeValue kNoDrill[] = {{"On", "0"}, {"Key", ""}};
constexpr Copies kRowAttributes[] = {{"PgBk", "PgBk"}};
constexpr Copies kFormatAttributes[] = {{"MRow", "MRow"}, {"MCol", "MCol"}};

// What the preview makes of an item: its attributes, then each Stl (its
// attributes, each Alg, each Brd, and one Fnts holding the Fnt runs of all
// its Fnts), then each Drill; an item without a Drill (the builder makes one
// only for a drill key) gets <Drill On="0" Key=""/> there.
using Shape = xml::Node::ElementShape;
constexpr Shape kFontShape[] = {{"Fnt", "Fnt", kFontAttributes, {}}};
constexpr Shape kStyleChildShapes[] = {{"Alg", "Alg", kAlignmentAttributes, {}},
                                       {"Brd", "Brd", kBorderAttributes, {}},
                                       {"Fnts", "Fnts", {}, kFontShape, true}};
constexpr Shape kItemChildShapes[] = {{"Stl", "Stl", kStyleAttributes, kStyleChildShapes},
                                      {"Drill", "Drill", kDrillAttributes, {}, false, kNoDrill}};
constexpr Shape kItemShape = {"Itm", "Itm", kItemAttributes, kItemChildShapes};
constexpr Shape kItemShapeByKey = {"Itm", "Itm", kItemAttributesByKey, kItemChildShapes};

// Writes the preview document. Each element is appended in place with the
// attributes it copies in one call (no detached node for the arena to track,
// no value taken out as a string). A consumed source gives its items to the
// preview instead: each item element, with the attributes and children the
// preview keeps, moves into the preview document (which shares the source's
// names) unless someone else still holds a handle into it.
class PreviewWriter {
 public:
  // Whether every item's column is a plain number (the writer's sort then
  // equals the stylesheet's). A `stop` that answers true ends the walk
  // (Stopped()). When the items will move, each row's items are kept with
  // their columns for Write.
  bool Sortable(const xml::Node& source, const std::function<bool()>& stop) {
    xml::Node item_row;       // the last parent of an item found to be an item row
    bool known_item = false;  // `node` was read ahead as an item
    for (xml::Node node = FirstElement(source); node;) {
      const bool is_item = known_item || node.NameIs("Itm");
      known_item = false;
      if (!is_item && stop && node.NameIs("Row") && stop()) {
        m_stopped = true;
        return true;
      }
      if (is_item) {
        xml::Node row = node.ParentNode();
        if (row == item_row || (row.NameIs("Row") && IsElement(row.ParentNode(), "Itms"))) {
          const std::size_t ahead = Ahead(node, row);
          const std::optional<double> column = PlainNumber(m_ahead_columns[ahead]);
          if (!column) return false;
          // Below an item only rows matter (the stop is asked at each, and
          // items of rows there are written too).
          Keep(row, *column, node);
          item_row = std::move(row);
          if (!m_holds_row[ahead]) {
            // The next item read ahead, when it is the very next element.
            if (m_followed[ahead]) {
              node = m_ahead[ahead + 1];
              known_item = true;
            } else {
              node = NextElementAfter(node, source);
            }
            continue;
          }
        }
      } else if (m_move && IsItemRow(node) && WithinItem(node)) {
        // The walk writes rows found inside items: those items stay where
        // they are until it has passed them.
        m_move = false;
      }
      node = NextElementInOrder(node, source);
    }
    if (!m_move) Forget();
    return true;
  }

  // The index in the batch ahead of `item` of the item row `row`. The
  // items ahead of the walk, in this row and the rows after it, are read
  // together (their columns and whether each has a Row below it): their
  // memory is then read in step.
  std::size_t Ahead(const xml::Node& item, const xml::Node& row) {
    if (m_ahead_next < m_ahead.size() && m_ahead[m_ahead_next] == item) return m_ahead_next++;
    m_ahead.clear();
    m_followed.clear();
    m_ahead_next = 0;
    m_ahead.push_back(item);
    // Whether the element after the last item read is the next one read.
    bool adjacent = true;
    for (xml::Node at = NextElement(item), next_row = row; m_ahead.size() < kAhead;) {
      if (!at) {
        next_row = NextElement(next_row);
        if (!next_row || !next_row.NameIs("Row")) break;
        at = FirstElement(next_row);
        adjacent = false;
        continue;
      }
      if (at.NameIs("Itm")) {
        m_followed.push_back(adjacent);
        m_ahead.push_back(at);
        adjacent = true;
      } else {
        adjacent = false;
      }
      at = NextElement(at);
    }
    m_followed.push_back(false);
    xml::Node::ReadAttributes(m_ahead, "Col", m_ahead_columns);
    xml::Node::HasDescendants(m_ahead, "Row", m_holds_row);
    return m_ahead_next++;
  }

  // False when an item's column is no plain number (nothing is consumed
  // then): the stylesheet's sort then decides the order. A `stop` that
  // answers true ends the writing (Stopped()).
  bool Write(const xml::Node& source, bool consume, const std::function<bool()>& stop) {
    m_output = consume ? xml::Document::CreateSharingNames(source) : xml::Document::Create();
    m_move = consume;
    m_keeping = consume;
    const bool sortable = !consume || Sortable(source, stop);
    // The items' only handles go to AppendShaped.
    m_ahead.clear();
    if (!sortable) return false;
    if (m_stopped) return true;
    xml::Node format = m_output.AppendNewElement("Fmt", source, kFormatAttributes);
    xml::Node items = format.AppendNewElement("Itms");
    xml::Node written;  // a row written, removed once the walk has left it
    std::size_t next_kept = 0;
    for (xml::Node node = FirstElement(source); node;) {
      if (IsItemRow(node)) {
        if (stop && stop()) {
          m_stopped = true;
          return true;
        }
        xml::Node row = items.AppendNewElement("Row", node, kRowAttributes);
        if (next_kept < m_kept_rows.size() && m_kept_rows[next_kept].row == node) {
          WriteKept(next_kept++, row);
        } else if (!WriteItems(node, row)) {
          return false;
        }
        if (consume && !written) written = node;
      }
      // Found once the row's items have moved out: the walk goes on through
      // what the row still holds.
      xml::Node next = NextElementInOrder(node, source);
      if (written && !(next && Within(next, written))) {
        written.ParentNode().RemoveChild(written);
        written = xml::Node();
      }
      node = std::move(next);
    }
    m_sorted.clear();
    Forget();
    return true;
  }

  xml::Node Result() const { return m_output.DocumentElement(); }
  bool Stopped() const { return m_stopped; }

 private:
  struct SortedItem {
    double column;
    xml::Node item;
  };

  static bool Within(const xml::Node& node, const xml::Node& ancestor) {
    for (xml::Node at = node.ParentNode(); at; at = at.ParentNode()) {
      if (at == ancestor) return true;
    }
    return false;
  }

  static bool WithinItem(const xml::Node& node) {
    for (xml::Node at = node.ParentNode(); at; at = at.ParentNode()) {
      if (IsElement(at, "Itm")) return true;
    }
    return false;
  }

  // The item's column as a plain number, or nothing.
  std::optional<double> ReadColumn(const xml::Node& item) {
    item.ReadAttribute("Col", m_column);
    return PlainNumber(m_column);
  }

  // Keeps an item of an item row with its column. Rows are kept in
  // document order, each with its items in a run of their own; a row found
  // inside the last row kept (its items could then come in two runs) ends
  // the keeping, and Write reads every row itself.
  void Keep(const xml::Node& row, double column, const xml::Node& item) {
    if (!m_keeping) return;
    if (m_kept_rows.empty() || !(m_kept_rows.back().row == row)) {
      if (!m_kept_rows.empty() && Within(row, m_kept_rows.back().row)) {
        Forget();
        m_keeping = false;
        return;
      }
      m_kept_rows.push_back({row, m_kept.size()});
    }
    m_kept.push_back({column, item});
  }

  void Forget() {
    m_kept_rows.clear();
    m_kept.clear();
  }

  // Writes the items kept for the `index`th row kept, sorted by column.
  void WriteKept(std::size_t index, xml::Node& row) {
    const auto begin = m_kept.begin() + static_cast<std::ptrdiff_t>(m_kept_rows[index].first);
    const auto end =
        index + 1 < m_kept_rows.size()
            ? m_kept.begin() + static_cast<std::ptrdiff_t>(m_kept_rows[index + 1].first)
            : m_kept.end();
    if (!std::is_sorted(begin, end, ByColumn)) std::stable_sort(begin, end, ByColumn);
    // The kept item is the only handle the writer holds to it, handed over
    // so that the item can move.
    for (auto at = begin; at != end; ++at) WriteItem(row, std::move(at->item));
  }

  static bool ByColumn(const SortedItem& a, const SortedItem& b) { return a.column < b.column; }

  // Writes an item into `row`, by its Key when the builder left it without
  // OrigKey (a moved item's Key is renamed, nothing is added).
  void WriteItem(xml::Node& row, xml::Node item) {
    const bool by_key = !item.HasAttribute("OrigKey") && item.HasAttribute("OrigFmt");
    row.AppendShaped(std::move(item), by_key ? m_item_shape_by_key : m_item_shape, m_move);
  }

  bool WriteItems(const xml::Node& source_row, xml::Node& row) {
    m_sorted.clear();
    for (xml::Node item = FirstElement(source_row); item; item = NextElement(item)) {
      if (!item.NameIs("Itm")) continue;
      const std::optional<double> column = ReadColumn(item);
      if (!column) return false;
      m_sorted.push_back({*column, item});
    }
    if (!std::is_sorted(m_sorted.begin(), m_sorted.end(), ByColumn)) {
      std::stable_sort(m_sorted.begin(), m_sorted.end(), ByColumn);
    }
    // The sorted list holds the only handle the writer keeps to each item,
    // handed over so that the item can move.
    for (SortedItem& sorted : m_sorted) WriteItem(row, std::move(sorted.item));
    m_sorted.clear();
    return true;
  }

  xml::Document m_output;
  xml::Node::PreparedShape m_item_shape{kItemShape};
  xml::Node::PreparedShape m_item_shape_by_key{kItemShapeByKey};
  std::vector<SortedItem> m_sorted;
  // What Sortable keeps for Write: the item rows in document order, each
  // with the index of its first item in `m_kept`.
  struct KeptRow {
    xml::Node row;
    std::size_t first;
  };
  std::vector<KeptRow> m_kept_rows;
  // Items ahead of Sortable's walk (from the `m_ahead_next`th on), their
  // columns, whether each has a Row below it and whether the next one is
  // the element right after it.
  static constexpr std::size_t kAhead = 64;
  std::vector<xml::Node> m_ahead;
  std::vector<bool> m_followed;
  std::vector<std::string> m_ahead_columns;
  std::vector<bool> m_holds_row;
  std::size_t m_ahead_next = 0;
  std::vector<SortedItem> m_kept;

  bool m_keeping = false;
  std::string m_column;
  bool m_move = false;
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
