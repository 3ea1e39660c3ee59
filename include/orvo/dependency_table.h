// CDependencyTable: the items of a preview build that wait for other cells.
//
// Each entry says that item Key of format Fmt waits for the cell Dep, and
// names the slot that holds the waiting item's node. The table is an XML
// entry list `Deps` (children `Itm` with the attributes Dep, Key, Fmt, Pos,
// Row, ARow in that order), an XML free list `FreeI` (children `Free Pos`),
// and an array of slots numbered from 1 to the capacity (250 at creation,
// grown by 250 when no slot is free).
//
// Invariants, kept by every member including one that fails:
//   * every `Itm` entry names a filled slot, and every filled slot is named
//     by exactly one entry;
//   * every slot from 1 to the capacity is either named by one entry or
//     listed once in `FreeI`;
//   * slots are taken from the front of `FreeI` and returned at its end.
//
// Keys, dependency keys and format names are stored and compared in upper
// case. Lookups by dependency key, item key, format and row use hash indexes
// kept in step with `Deps`, so each member costs the same with 100 entries as
// with 100,000. `DependentIndex` hands out the live `Deps` element for
// reading; entries changed by anyone but this table are not re-indexed.
//
// A dependent item's node must carry `Key` (a cell key: column letters then
// row digits) and `Row` (its current row, decimal).
//
// Threading: one thread (the preview builder's).
#ifndef ORVO_DEPENDENCY_TABLE_H_
#define ORVO_DEPENDENCY_TABLE_H_

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

class CDependencyTable {
 public:
  CDependencyTable();
  CDependencyTable(const CDependencyTable&) = delete;
  CDependencyTable& operator=(const CDependencyTable&) = delete;
  ~CDependencyTable();

  // The entries with that `Dep` and `Fmt`, in document order.
  xml::NodeList DependentItemsForKey(std::string_view DependentKey,
                                     std::string_view FormatName) const;
  // The node in the slot the entry names (null when that slot is empty).
  // An entry whose `Pos` is not a slot number raises the bounds failure.
  xml::Node DependentItem(const xml::Node& Index) const;
  // True when no entry has that `Key` and `Fmt`.
  bool IsDependencyCompletelyResolvable(std::string_view ItemKey,
                                        std::string_view FormatName) const;
  // Records that `Item` waits for `DependentKey`; an entry with the same
  // dependency, key, format and item row only has its slot re-pointed. The
  // entry's `Row` is the number from the key's first digit on (-1 for an
  // empty key); a key without digits raises "row not found"/"Tallix", a
  // missing or non-numeric `Row` the type mismatch, a null item the
  // object-required failure, all before anything changes.
  void AddDependency(const xml::Node& Item, std::string_view DependentKey,
                     std::string_view FormatName);
  // Moves every entry of the format, and its item, down by `NoOfRows` rows,
  // entry by entry in document order (an item named by two entries moves
  // twice). The entry whose key has no column part ("column not found"/
  // "Tallix") or whose row leaves 32 bits stops the walk unchanged; the
  // entries before it stay moved.
  void AdjustDependentRows(std::int32_t NoOfRows, std::string_view FormatName);
  // Drops the entry and frees its slot. Nothing happens when the entry is
  // no longer in the table (its slot is empty or was given to another entry).
  void RemoveDependentIndex(const xml::Node& Index);
  // Drops every entry of the format whose `ARow` is `Row`.
  void RemoveItemsForRow(std::int32_t Row, std::string_view FormatName);
  // Drops the first entry (document order) of the item's key in the format.
  // Fails, changing nothing, when there is none.
  void RemoveDependentItem(const xml::Node& Item, std::string_view FormatName);
  // The live `Deps` element.
  xml::Node DependentIndex() const { return m_deps; }
  // The number of entries (the children of `Deps`), without walking them.
  std::int32_t Count() const noexcept {
    return m_capacity - static_cast<std::int32_t>(m_free_slots.size());
  }
  // Every entry with that `Fmt`, in document order.
  xml::NodeList DependenciesForFormat(std::string_view FormatName) const;

  // Inspection: the live `FreeI` element and the current capacity. `Free`
  // elements are reused as slots come and go: read them, do not keep them.
  xml::Node FreeIndex() const { return m_free; }
  std::int32_t Capacity() const noexcept { return m_capacity; }

 private:
  // The lookups kept in step with `Deps`. Each is a set of groups; a group
  // lists its entries in document order as a doubly linked list through the
  // slots, so joining at the end and leaving cost the same at any size.
  enum Lookup { kByDep, kByKey, kByFmt, kByRow, kByDependency, kLookupCount };
  struct Group;
  struct Links {
    std::int32_t prev = 0;  // slot numbers; 0 ends the list
    std::int32_t next = 0;
    Group* group = nullptr;  // groups are never erased, so this stays valid
  };
  // One slot and the entry that names it while it is filled.
  struct Slot {
    xml::Node item;           // the waiting item; null while the slot is free
    xml::Node entry;          // its `Itm` element in `Deps`
    std::uint64_t order = 0;  // document order among all entries ever made
    std::int32_t dep = 0;     // interned texts of Dep, Key and Fmt
    std::int32_t key = 0;
    std::int32_t fmt = 0;
    std::int32_t arow = 0;
    Links links[kLookupCount];
  };
  struct GroupKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool operator==(const GroupKey&) const = default;
  };
  struct GroupKeyHash {
    std::size_t operator()(const GroupKey& key) const noexcept {
      return static_cast<std::size_t>((key.high * 0x9E3779B97F4A7C15ULL) ^ key.low);
    }
  };
  struct Group {
    std::int32_t first = 0;
    std::int32_t last = 0;
  };
  using Groups = std::unordered_map<GroupKey, Group, GroupKeyHash>;

  static GroupKey KeyOf(Lookup lookup, const Slot& slot);
  static GroupKey Pair(std::int32_t a, std::int32_t b);
  Slot& SlotAt(std::int32_t pos) { return m_slots[static_cast<std::size_t>(pos - 1)]; }
  const Slot& SlotAt(std::int32_t pos) const { return m_slots[static_cast<std::size_t>(pos - 1)]; }

  void Grow();
  // Appends a `Free` element for `pos` to FreeI.
  void ListFree(std::int32_t pos);
  void Join(Lookup lookup, std::int32_t pos);
  void Join(Lookup lookup, std::int32_t pos, Group& group);
  void Leave(Lookup lookup, std::int32_t pos);
  void LeaveAll(std::int32_t pos);
  // The first entry of a group, or 0.
  std::int32_t FirstOf(Lookup lookup, const GroupKey& key) const;
  xml::NodeList EntriesOf(Lookup lookup, const GroupKey& key) const;
  // The id of an upper-case text; -1 (matching nothing) for one never stored.
  std::int32_t FindId(const std::string& text) const;
  std::int32_t Intern(const std::string& text);
  // The slot an entry names when it is the live entry of that slot, else 0.
  std::int32_t LiveSlotOf(const xml::Node& entry) const;

  xml::Document m_document;  // owns Deps and FreeI
  xml::Node m_deps;
  xml::Node m_free;
  std::int32_t m_capacity = 0;
  std::vector<Slot> m_slots;              // slot n at [n - 1]
  std::deque<std::int32_t> m_free_slots;  // FreeI's slot numbers, in its order
  // `Free` elements taken out of FreeI, kept under one detached element so
  // that moving them costs no detached-node bookkeeping.
  xml::Node m_spare_free;
  std::uint64_t m_next_order = 1;
  Groups m_groups[kLookupCount];
  std::unordered_map<std::string, std::int32_t> m_ids;
  std::vector<std::string> m_texts;  // id -> text
};

}  // namespace orvo

#endif  // ORVO_DEPENDENCY_TABLE_H_
