#include "orvo/dependency_table.h"

#include <charconv>
#include <initializer_list>

#include "companions/cell_key.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr std::int32_t kSlotGrowth = 250;

// Joins the parts of an index key; the separator cannot occur in cell keys
// or format names.
std::string GroupKey(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (std::string_view part : parts) {
    joined.append(part);
    joined.push_back('\x1f');
  }
  return joined;
}

xml::Node ParseInto(const xml::Document& document, std::string_view text) {
  return document.ImportNode(xml::Document::Parse(text).DocumentElement(), true);
}

// A slot number from an entry's `Pos`, or 0 when the text is not one.
std::int32_t SlotNumberOr0(const std::string& text) {
  std::int32_t pos = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), pos);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return 0;
  return pos;
}

std::int32_t RowAttribute(const xml::Node& item) {
  const auto row = item.GetAttribute("Row");
  if (!row) RaiseTypeMismatch();
  return TextToLong(*row);
}

}  // namespace

CDependencyTable::CDependencyTable() {
  m_document = xml::Document::Parse("<Deps>\r\n</Deps>");
  m_deps = m_document.DocumentElement();
  m_free = ParseInto(m_document, "<FreeI>\r\n</FreeI>");
  m_entry_template = ParseInto(m_document, "<Itm Dep='' Key='' Fmt='' Pos='' Row='' ARow=''/>");
  m_free_template = ParseInto(m_document, "<Free Pos=''/>");
  Grow();
}

CDependencyTable::~CDependencyTable() = default;

void CDependencyTable::Grow() {
  const std::int32_t capacity = AddLong(m_capacity, kSlotGrowth);
  for (std::int32_t pos = m_capacity + 1; pos <= capacity; ++pos) {
    xml::Node free = m_free_template.CloneNode(true);
    free.SetAttribute("Pos", LongToText(pos));
    m_free.AppendChild(free);
    m_free_slots.push_back(pos);
  }
  m_slots.resize(static_cast<std::size_t>(capacity));
  m_capacity = capacity;
}

void CDependencyTable::Enter(KeyIndex& index, const std::string& group_key, const Slot& slot,
                             std::int32_t pos) {
  index[group_key].emplace(slot.order, pos);
}

void CDependencyTable::Leave(KeyIndex& index, const std::string& group_key, const Slot& slot) {
  auto group = index.find(group_key);
  if (group == index.end()) return;
  group->second.erase(slot.order);
  if (group->second.empty()) index.erase(group);
}

void CDependencyTable::Link(std::int32_t pos) {
  const Slot& slot = m_slots[static_cast<std::size_t>(pos - 1)];
  const std::string arow = LongToText(slot.arow);
  Enter(m_by_dep, GroupKey({slot.dep, slot.fmt}), slot, pos);
  Enter(m_by_key, GroupKey({slot.key, slot.fmt}), slot, pos);
  Enter(m_by_fmt, GroupKey({slot.fmt}), slot, pos);
  Enter(m_by_row, GroupKey({slot.fmt, arow}), slot, pos);
  Enter(m_by_dependency, GroupKey({slot.dep, slot.key, slot.fmt, arow}), slot, pos);
}

void CDependencyTable::Unlink(std::int32_t pos) {
  const Slot& slot = m_slots[static_cast<std::size_t>(pos - 1)];
  const std::string arow = LongToText(slot.arow);
  Leave(m_by_dep, GroupKey({slot.dep, slot.fmt}), slot);
  Leave(m_by_key, GroupKey({slot.key, slot.fmt}), slot);
  Leave(m_by_fmt, GroupKey({slot.fmt}), slot);
  Leave(m_by_row, GroupKey({slot.fmt, arow}), slot);
  Leave(m_by_dependency, GroupKey({slot.dep, slot.key, slot.fmt, arow}), slot);
}

xml::NodeList CDependencyTable::EntriesOf(const KeyIndex& index, const std::string& group_key,
                                          const std::vector<Slot>& slots) {
  std::vector<xml::Node> entries;
  auto group = index.find(group_key);
  if (group != index.end()) {
    entries.reserve(group->second.size());
    for (const auto& [order, pos] : group->second) {
      entries.push_back(slots[static_cast<std::size_t>(pos - 1)].entry);
    }
  }
  return xml::NodeList(std::move(entries));
}

std::int32_t CDependencyTable::LiveSlotOf(const xml::Node& entry) const {
  if (!entry) return 0;
  const std::int32_t pos = SlotNumberOr0(entry.AttributeOr("Pos", ""));
  if (pos < 1 || pos > m_capacity) return 0;
  const Slot& slot = m_slots[static_cast<std::size_t>(pos - 1)];
  return slot.item && slot.entry == entry ? pos : 0;
}

xml::NodeList CDependencyTable::DependentItemsForKey(std::string_view DependentKey,
                                                     std::string_view FormatName) const {
  return EntriesOf(m_by_dep, GroupKey({UpperCase(DependentKey), UpperCase(FormatName)}), m_slots);
}

xml::Node CDependencyTable::DependentItem(const xml::Node& Index) const {
  if (!Index) RaiseObjectRequired();
  const std::int32_t pos = TextToLong(Index.AttributeOr("Pos", ""));
  if (pos < 1 || pos > m_capacity) RaiseOutOfBounds();
  return m_slots[static_cast<std::size_t>(pos - 1)].item;
}

bool CDependencyTable::IsDependencyCompletelyResolvable(std::string_view ItemKey,
                                                        std::string_view FormatName) const {
  return m_by_key.find(GroupKey({UpperCase(ItemKey), UpperCase(FormatName)})) == m_by_key.end();
}

void CDependencyTable::AddDependency(const xml::Node& Item, std::string_view DependentKey,
                                     std::string_view FormatName) {
  if (!Item) RaiseObjectRequired();
  // Everything that can fail is read before the table changes.
  std::string key = UpperCase(Item.AttributeOr("Key", ""));
  const std::int32_t arow = RowAttribute(Item);
  const std::int32_t key_row = RowOfKey(key);
  std::string dep = UpperCase(DependentKey);
  std::string fmt = UpperCase(FormatName);
  const std::string arow_text = LongToText(arow);

  auto same = m_by_dependency.find(GroupKey({dep, key, fmt, arow_text}));
  if (same != m_by_dependency.end()) {
    m_slots[static_cast<std::size_t>(same->second.begin()->second - 1)].item = Item;
    return;
  }

  if (m_free_slots.empty()) Grow();
  const std::int32_t pos = m_free_slots.front();
  xml::Node entry = m_entry_template.CloneNode(true);
  entry.SetAttribute("Dep", dep);
  entry.SetAttribute("Key", key);
  entry.SetAttribute("Fmt", fmt);
  entry.SetAttribute("Pos", LongToText(pos));
  entry.SetAttribute("Row", LongToText(key_row));
  entry.SetAttribute("ARow", arow_text);

  m_deps.AppendChild(entry);
  m_free.RemoveChild(m_free.FirstChild());
  m_free_slots.pop_front();
  Slot& slot = m_slots[static_cast<std::size_t>(pos - 1)];
  slot.item = Item;
  slot.entry = std::move(entry);
  slot.order = m_next_order++;
  slot.dep = std::move(dep);
  slot.key = std::move(key);
  slot.fmt = std::move(fmt);
  slot.arow = arow;
  Link(pos);
}

void CDependencyTable::AdjustDependentRows(std::int32_t NoOfRows, std::string_view FormatName) {
  const xml::NodeList entries = DependenciesForFormat(FormatName);
  for (xml::Node entry : entries) {
    const std::int32_t pos = LiveSlotOf(entry);
    Slot& slot = m_slots[static_cast<std::size_t>(pos - 1)];
    // An entry is changed only once its new row and key are known, so a
    // failure leaves it and its item as they were.
    const std::int32_t row = AddLong(RowAttribute(slot.item), NoOfRows);
    const std::string row_text = LongToText(row);
    std::string key = ColumnOfKey(slot.key) + row_text;

    slot.item.SetAttribute("Row", row_text);
    Unlink(pos);
    entry.SetAttribute("Key", key);
    entry.SetAttribute("ARow", row_text);
    slot.key = std::move(key);
    slot.arow = row;
    Link(pos);
  }
}

void CDependencyTable::RemoveDependentIndex(const xml::Node& Index) {
  const std::int32_t pos = LiveSlotOf(Index);
  if (pos == 0) return;
  m_deps.RemoveChild(Index);
  Unlink(pos);
  Slot& slot = m_slots[static_cast<std::size_t>(pos - 1)];
  slot = Slot{};
  xml::Node free = m_free_template.CloneNode(true);
  free.SetAttribute("Pos", LongToText(pos));
  m_free.AppendChild(free);
  m_free_slots.push_back(pos);
}

void CDependencyTable::RemoveItemsForRow(std::int32_t Row, std::string_view FormatName) {
  const xml::NodeList entries =
      EntriesOf(m_by_row, GroupKey({UpperCase(FormatName), LongToText(Row)}), m_slots);
  for (const xml::Node& entry : entries) RemoveDependentIndex(entry);
}

void CDependencyTable::RemoveDependentItem(const xml::Node& Item, std::string_view FormatName) {
  if (!Item) RaiseObjectRequired();
  auto group =
      m_by_key.find(GroupKey({UpperCase(Item.AttributeOr("Key", "")), UpperCase(FormatName)}));
  // No entry for the item: the removal has nothing to act on.
  if (group == m_by_key.end()) RaiseObjectRequired();
  const xml::Node entry =
      m_slots[static_cast<std::size_t>(group->second.begin()->second - 1)].entry;
  RemoveDependentIndex(entry);
}

xml::NodeList CDependencyTable::DependenciesForFormat(std::string_view FormatName) const {
  return EntriesOf(m_by_fmt, GroupKey({UpperCase(FormatName)}), m_slots);
}

}  // namespace orvo
