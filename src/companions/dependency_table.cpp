#include "orvo/dependency_table.h"

#include <charconv>

#include "companions/cell_key.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr std::int32_t kSlotGrowth = 250;

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
  m_spare_free = m_document.CreateElement("Spare");
  Grow();
}

CDependencyTable::~CDependencyTable() = default;

void CDependencyTable::ListFree(std::int32_t pos) {
  // `Free` elements are never handed out, so one taken from the front can
  // list the next free slot instead of a new copy of the template.
  xml::Node free = m_spare_free.LastChild();
  if (!free) free = m_document.CreateElement("Free");
  free.SetAttribute("Pos", LongToText(pos));
  m_free.AppendChild(free);
  m_free_slots.push_back(pos);
}

void CDependencyTable::Grow() {
  const std::int32_t capacity = AddLong(m_capacity, kSlotGrowth);
  for (std::int32_t pos = m_capacity + 1; pos <= capacity; ++pos) ListFree(pos);
  m_slots.resize(static_cast<std::size_t>(capacity));
  m_capacity = capacity;
}

CDependencyTable::GroupKey CDependencyTable::Pair(std::int32_t a, std::int32_t b) {
  return {static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)};
}

CDependencyTable::GroupKey CDependencyTable::KeyOf(Lookup lookup, const Slot& slot) {
  switch (lookup) {
    case kByDep:
      return Pair(slot.dep, slot.fmt);
    case kByKey:
      return Pair(slot.key, slot.fmt);
    case kByFmt:
      return Pair(slot.fmt, 0);
    case kByRow:
      return Pair(slot.fmt, slot.arow);
    default: {
      const GroupKey high = Pair(slot.dep, slot.key);
      const GroupKey low = Pair(slot.fmt, slot.arow);
      return {high.high << 32 | high.low, low.high << 32 | low.low};
    }
  }
}

void CDependencyTable::Join(Lookup lookup, std::int32_t pos) {
  Join(lookup, pos, m_groups[lookup][KeyOf(lookup, SlotAt(pos))]);
}

void CDependencyTable::Join(Lookup lookup, std::int32_t pos, Group& group) {
  Slot& slot = SlotAt(pos);
  // Entries are made in document order, so a new one joins at the end; an
  // entry that changed group (AdjustDependentRows) may have to step back
  // past later entries that have not moved yet.
  std::int32_t before = group.last;
  while (before != 0 && SlotAt(before).order > slot.order)
    before = SlotAt(before).links[lookup].prev;
  const std::int32_t after = before == 0 ? group.first : SlotAt(before).links[lookup].next;
  slot.links[lookup] = {before, after, &group};
  (before == 0 ? group.first : SlotAt(before).links[lookup].next) = pos;
  (after == 0 ? group.last : SlotAt(after).links[lookup].prev) = pos;
}

void CDependencyTable::Leave(Lookup lookup, std::int32_t pos) {
  Slot& slot = SlotAt(pos);
  const Links links = slot.links[lookup];
  if (!links.group) return;
  // An emptied group stays: keys tend to come back (the same cells wait
  // again in the next pass), and its address stays valid in the links.
  (links.prev == 0 ? links.group->first : SlotAt(links.prev).links[lookup].next) = links.next;
  (links.next == 0 ? links.group->last : SlotAt(links.next).links[lookup].prev) = links.prev;
  slot.links[lookup] = {};
}

void CDependencyTable::LeaveAll(std::int32_t pos) {
  for (int lookup = 0; lookup < kLookupCount; ++lookup) Leave(static_cast<Lookup>(lookup), pos);
}

std::int32_t CDependencyTable::FirstOf(Lookup lookup, const GroupKey& key) const {
  auto found = m_groups[lookup].find(key);
  return found == m_groups[lookup].end() ? 0 : found->second.first;
}

xml::NodeList CDependencyTable::EntriesOf(Lookup lookup, const GroupKey& key) const {
  std::vector<xml::Node> entries;
  for (std::int32_t pos = FirstOf(lookup, key); pos != 0; pos = SlotAt(pos).links[lookup].next) {
    entries.push_back(SlotAt(pos).entry);
  }
  return xml::NodeList(std::move(entries));
}

std::int32_t CDependencyTable::FindId(const std::string& text) const {
  auto found = m_ids.find(text);
  return found == m_ids.end() ? -1 : found->second;
}

std::int32_t CDependencyTable::Intern(const std::string& text) {
  auto [found, added] = m_ids.emplace(text, static_cast<std::int32_t>(m_texts.size()));
  if (added) m_texts.push_back(text);
  return found->second;
}

std::int32_t CDependencyTable::LiveSlotOf(const xml::Node& entry) const {
  if (!entry) return 0;
  const std::int32_t pos = SlotNumberOr0(entry.AttributeOr("Pos", ""));
  if (pos < 1 || pos > m_capacity) return 0;
  const Slot& slot = SlotAt(pos);
  return slot.item && slot.entry == entry ? pos : 0;
}

xml::NodeList CDependencyTable::DependentItemsForKey(std::string_view DependentKey,
                                                     std::string_view FormatName) const {
  return EntriesOf(kByDep, Pair(FindId(UpperCase(DependentKey)), FindId(UpperCase(FormatName))));
}

xml::Node CDependencyTable::DependentItem(const xml::Node& Index) const {
  if (!Index) RaiseObjectRequired();
  const std::int32_t pos = TextToLong(Index.AttributeOr("Pos", ""));
  if (pos < 1 || pos > m_capacity) RaiseOutOfBounds();
  return SlotAt(pos).item;
}

bool CDependencyTable::IsDependencyCompletelyResolvable(std::string_view ItemKey,
                                                        std::string_view FormatName) const {
  return FirstOf(kByKey, Pair(FindId(UpperCase(ItemKey)), FindId(UpperCase(FormatName)))) == 0;
}

void CDependencyTable::AddDependency(const xml::Node& Item, std::string_view DependentKey,
                                     std::string_view FormatName) {
  if (!Item) RaiseObjectRequired();
  // Everything that can fail is read before the table changes.
  const std::string key = UpperCase(Item.AttributeOr("Key", ""));
  const std::int32_t arow = RowAttribute(Item);
  const std::int32_t key_row = RowOfKey(key);
  const std::string dep = UpperCase(DependentKey);
  const std::string fmt = UpperCase(FormatName);

  Slot probe;
  probe.dep = Intern(dep);
  probe.key = Intern(key);
  probe.fmt = Intern(fmt);
  probe.arow = arow;
  Group& same = m_groups[kByDependency][KeyOf(kByDependency, probe)];
  if (same.first != 0) {
    SlotAt(same.first).item = Item;
    return;
  }

  if (m_free_slots.empty()) Grow();
  const std::int32_t pos = m_free_slots.front();
  // Attributes in the entry layout's order (Dep, Key, Fmt, Pos, Row, ARow):
  // operations address them by position. Setting them on a new element gives
  // the same entry as filling a copy of an empty one, with half the work.
  xml::Node entry = m_document.CreateElement("Itm");
  entry.SetAttribute("Dep", dep);
  entry.SetAttribute("Key", key);
  entry.SetAttribute("Fmt", fmt);
  entry.SetAttribute("Pos", LongToText(pos));
  entry.SetAttribute("Row", LongToText(key_row));
  entry.SetAttribute("ARow", LongToText(arow));

  m_deps.AppendChild(entry);
  m_spare_free.AppendChild(m_free.FirstChild());
  m_free_slots.pop_front();
  Slot& slot = SlotAt(pos);
  slot.item = Item;
  slot.entry = std::move(entry);
  slot.order = m_next_order++;
  slot.dep = probe.dep;
  slot.key = probe.key;
  slot.fmt = probe.fmt;
  slot.arow = arow;
  Join(kByDep, pos);
  Join(kByKey, pos);
  Join(kByFmt, pos);
  Join(kByRow, pos);
  Join(kByDependency, pos, same);
}

void CDependencyTable::AdjustDependentRows(std::int32_t NoOfRows, std::string_view FormatName) {
  const xml::NodeList entries = DependenciesForFormat(FormatName);
  for (xml::Node entry : entries) {
    const std::int32_t pos = LiveSlotOf(entry);
    if (pos == 0) continue;
    Slot& slot = SlotAt(pos);
    // An entry is changed only once its new row and key are known, so a
    // failure leaves it and its item as they were.
    const std::int32_t row = AddLong(RowAttribute(slot.item), NoOfRows);
    const std::string row_text = LongToText(row);
    const std::string key = ColumnOfKey(m_texts[static_cast<std::size_t>(slot.key)]) + row_text;
    const std::int32_t key_id = Intern(key);

    slot.item.SetAttribute("Row", row_text);
    entry.SetAttribute("Key", key);
    entry.SetAttribute("ARow", row_text);
    Leave(kByKey, pos);
    Leave(kByRow, pos);
    Leave(kByDependency, pos);
    slot.key = key_id;
    slot.arow = row;
    Join(kByKey, pos);
    Join(kByRow, pos);
    Join(kByDependency, pos);
  }
}

void CDependencyTable::RemoveDependentIndex(const xml::Node& Index) {
  const std::int32_t pos = LiveSlotOf(Index);
  if (pos == 0) return;
  m_deps.RemoveChild(Index);
  LeaveAll(pos);
  SlotAt(pos) = Slot{};
  ListFree(pos);
}

void CDependencyTable::RemoveItemsForRow(std::int32_t Row, std::string_view FormatName) {
  for (const xml::Node& entry : EntriesOf(kByRow, Pair(FindId(UpperCase(FormatName)), Row))) {
    RemoveDependentIndex(entry);
  }
}

void CDependencyTable::RemoveDependentItem(const xml::Node& Item, std::string_view FormatName) {
  if (!Item) RaiseObjectRequired();
  const std::int32_t pos = FirstOf(
      kByKey, Pair(FindId(UpperCase(Item.AttributeOr("Key", ""))), FindId(UpperCase(FormatName))));
  // No entry for the item: the removal has nothing to act on.
  if (pos == 0) RaiseObjectRequired();
  const xml::Node entry = SlotAt(pos).entry;
  RemoveDependentIndex(entry);
}

xml::NodeList CDependencyTable::DependenciesForFormat(std::string_view FormatName) const {
  return EntriesOf(kByFmt, Pair(FindId(UpperCase(FormatName)), 0));
}

}  // namespace orvo
