#include "preview/result_format.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "evaluate/style_record.h"
#include "frame/text.h"
#include "preview/format_helper.h"

namespace orvo {
namespace {

std::optional<std::int32_t> Narrow(std::optional<std::int64_t> value) {
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(*value);
}

std::int32_t NumberAttribute(const xml::Node& element, std::string_view name) {
  const std::optional<std::string> text = element.GetAttribute(name);
  return text ? Narrow(ParseWholeNumber(*text)).value_or(0) : 0;
}

}  // namespace

std::optional<std::int64_t> ParseWholeNumber(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int32_t> ItemColumn(const xml::Node& item) {
  thread_local std::string column;  // keeps its storage from item to item
  if (!item.ReadAttributeAt(2, column)) return std::nullopt;
  return Narrow(ParseWholeNumber(column));
}

std::optional<std::int32_t> ItemRow(const xml::Node& item) {
  const std::optional<std::string> row = item.GetAttribute("Row");
  if (!row) return std::nullopt;
  return Narrow(ParseWholeNumber(*row));
}

ResultFormat::ResultFormat(xml::Node format, PlacementObserver* observer, std::int32_t row_base,
                           const std::function<void()>& between, bool announce_items)
    : m_format(std::move(format)), m_observer(observer), m_row_base(row_base) {
  for (xml::Node child = FirstElement(m_format); child; child = NextElement(child)) {
    if (child.Name() == "Itms") {
      m_items = child;
      break;
    }
  }
  if (!m_items) m_items = m_format.AppendChild(m_format.OwnerDocument().CreateElement("Itms"));
  m_max_row = NumberAttribute(m_format, "MRow");
  m_max_column = NumberAttribute(m_format, "MCol");
  for (xml::Node row = FirstElement(m_items); row; row = NextElement(row)) {
    if (between && !m_rows.empty()) between();
    m_rows.push_back(row);
    if (!m_observer || !announce_items) continue;
    for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
      m_observer->ItemPlaced(m_format, item, {});
    }
  }
}

void ResultFormat::MaxRow(std::int32_t row) {
  m_max_row = row;
  m_format.SetAttribute("MRow", std::to_string(row));
}

void ResultFormat::MaxColumn(std::int32_t column) {
  m_max_column = column;
  m_format.SetAttribute("MCol", std::to_string(column));
}

xml::Node ResultFormat::Row(std::int32_t row) const {
  const std::int64_t index = static_cast<std::int64_t>(row) - m_row_base - 1;
  if (index < 0 || index >= RowCount()) return {};
  return m_rows[static_cast<std::size_t>(index)];
}

xml::Node ResultFormat::AppendEmptyRow() {
  xml::Node row = m_items.AppendChild(m_format.OwnerDocument().CreateElement("Row"));
  m_rows.push_back(row);
  return row;
}

void ResultFormat::PlaceItem(const xml::Node& item) {
  // Read into a buffer that keeps its storage: every item of a build passes here.
  thread_local std::string text;
  if (!item.ReadAttribute("Row", text)) return;
  const std::optional<std::int32_t> row_number = Narrow(ParseWholeNumber(text));
  if (!row_number || *row_number <= 0) return;
  item.ReadAttribute("Key", text);
  if (text.find('|') != std::string::npos) return;
  std::string column_text;  // (the third attribute; "" when none)
  item.ReadAttributeAt(2, column_text);

  if (*row_number <= m_row_base) return;
  while (static_cast<std::int64_t>(RowCount()) + m_row_base < *row_number) AppendEmptyRow();
  xml::Node row = Row(*row_number);
  xml::Node replaced;
  if (!(item.ParentNode() == row)) {
    for (xml::Node present = FirstElement(row); present; present = NextElement(present)) {
      if (present.Name() != "Itm") continue;
      const xml::Node present_column = present.Attributes().GetNamedItem("Col");
      if (present_column && present_column.Text() == column_text) {
        replaced = present;
        break;
      }
    }
    if (replaced) {
      row.ReplaceChild(item, replaced);
    } else {
      row.AppendChild(item);
    }
    if (m_observer) m_observer->ItemPlaced(m_format, item, replaced);
  }

  // Whether the item has content matters only when it would raise MCol or MRow.
  const std::optional<std::int32_t> column_number = Narrow(ParseWholeNumber(column_text));
  const bool wider = column_number && *column_number > m_max_column;
  if (!wider && *row_number <= m_max_row) return;
  if (!ItemHasContent(item)) return;
  if (wider) MaxColumn(*column_number);
  if (*row_number > m_max_row) MaxRow(*row_number);
}

void ResultFormat::AppendRows(ResultFormat& source, std::int32_t offset,
                              const std::function<void()>& between) {
  std::int32_t moved = 0;
  // Items mostly carry the number of the row they go to already (a format
  // numbers its rows as the result's while it is evaluated): those are not
  // written again.
  static constexpr std::string_view kRow[] = {"Row"};
  xml::AttributeSet row_attribute(kRow);
  for (xml::Node& row : source.m_rows) {
    if (between && moved > 0) between();
    ++moved;
    const std::string row_text = std::to_string(static_cast<std::int64_t>(offset) + moved);
    for (xml::Node item = FirstElement(row); item;) {
      xml::Node next = NextElement(item);
      row_attribute.Find(item);
      if (!row_attribute.Has(0) || row_attribute.Value(0) != row_text) {
        row_attribute.Write(0, row_text);
      }
      const std::optional<std::int32_t> column = ItemColumn(item);
      if (column && *column < 1) row.RemoveChild(item);
      item = next;
    }
    m_items.AppendChild(row);
    m_rows.push_back(row);
  }
  source.m_rows.clear();
  MaxRow(offset + moved);
  if (source.m_max_column > m_max_column) MaxColumn(source.m_max_column);
}

void ResultFormat::DeleteRow(std::int32_t row, bool keep_index) {
  xml::Node element = Row(row);
  if (!element) return;
  const std::size_t index =
      static_cast<std::size_t>(static_cast<std::int64_t>(row) - m_row_base - 1);
  m_items.RemoveChild(element);
  if (keep_index) {
    m_rows[index] = xml::Node();
  } else {
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
  }
  if (m_observer) m_observer->RowDeleted(m_format, row, element);
}

void ResultFormat::CompactRows() {
  m_rows.erase(std::remove_if(m_rows.begin(), m_rows.end(),
                              [](const xml::Node& row) { return row.IsNull(); }),
               m_rows.end());
}

}  // namespace orvo
