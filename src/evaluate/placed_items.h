// PlacedItems: the index of the report items a build has placed, which cell
// and range references read their values from.
//
// A reference "C12" in format F stands for the items whose OrigFmt is F and
// whose OrigKey is C12, wherever the build put them: the format being
// evaluated, the body result, a header or footer result. A range "C1:C40000"
// stands for every such item inside the column and row bounds. Looking those
// up with XPath over the growing preview costs a scan per reference, and
// summing a range costs a read per cell; reports reach tens of thousands of
// rows, and a running "SUM(C1:Cr)" down a column would be quadratic. This
// index answers both in time that does not grow with the preview or the
// range:
//   * Instances(format, key): the items of one cell, with their repeat
//     position (RptIndex), repeat key (RptKey), whether they are evaluated,
//     their value, and whether their row copy is ignored (RowIgn).
//   * Totals(format, columns, rows, include_ignored): over every item inside
//     the bounds, the sum of the numeric values, the number of items, the
//     number of numeric items and the number not yet evaluated. Per format
//     and definition column the items sit in a balanced search tree over
//     definition rows whose nodes carry the totals of their subtree, so a
//     query reads O(log rows) nodes per column present in the bounds.
//
// Prints. A report may print the same format more than once; a reference
// sees the cells of one print only. BeginPrint(format) starts a new print:
// the items of that format indexed from then on belong to it (an item that
// takes an indexed item's place takes its print too). A query names the
// referencing item (`from`): the cells of its print are meant when it is
// indexed under the format asked for, else the cells of the format's latest
// print. Ignored row copies (RowIgn) name no print and hold for every print
// of their format, as a row condition's result is reused by later prints.
// Formats for which BeginPrint was never called have one print.
//
// Exactness. A range sum equals adding the cells' numbers one by one, but
// without the drift of doubles: each numeric value is held as an exact
// integer count of 10^-9 (every value with at most nine decimals, which
// covers the four-decimal currency results and the 15-digit function
// results of ordinary magnitude). Integer parts add exactly in any order, so
// a change adjusts them by its difference along the path to its row; the
// double parts are always recomputed from a node's children. Values beyond 10^18
// in magnitude, or with more than 27 significant digits before rounding,
// are added as doubles beside the exact part. A numeric text beyond the
// range of a double makes the totals report `overflow`.
//
// Keeping it in step (the builder's side). One instance serves one report
// build; it is reached through PreviewSources::placed_items so that the
// builder and every resolver share it.
//   * Reset() at the start of every report build.
//   * Placed(item, replaced) whenever an item becomes visible to references
//     or takes another item's place: when a format's items are prepared for
//     evaluation (their bookkeeping attributes written, Evaluated "0"), so
//     that a reference to a later cell finds it pending and waits instead of
//     failing; and in PlaceItem, with the item it replaces (null when none).
//     Placing an indexed item again refreshes it wholly. An item without
//     OrigFmt is not indexed (it cannot be referred to).
//   * ValueChanged(item) after an item's Value, Evaluated or Drill changed
//     outside cEvaluate::Evaluate. (Evaluate refreshes the items it
//     evaluates itself when they are indexed.) Where an item stands is
//     written once, with its bookkeeping attributes, and ValueChanged reads
//     only its value, state and drill key: an item is moved to another key,
//     row or repeat by placing it again. (An item indexed before it had an
//     Evaluated attribute has its place read again too: its bookkeeping may
//     still be written.)
//   * Removed(item) / RowRemoved(row) when an item, or a whole row element
//     of a result, leaves the preview (row deletion).
//   * RowIgnored(format, orig_row, rpt_index) when a RowIgn record is added.
//     (The resolvers also catch up with PreviewSources::rows_to_ignore on
//     their own, so a record appended to that list is never missed.)
// Moving a placed item between result rows or formats (appending a
// format's rows to the body result) needs no call: the item stays the same
// node and references do not depend on where it stands.
//
// An item is read when it is placed or refreshed: OrigFmt and OrigKey
// (falling back to Key), OrigRow (falling back to the key's row), RptIndex
// (empty reads as 0), RptKey (of a row copy only: RptIndex not 0),
// Evaluated ("-1" is evaluated, anything else or none is pending), Value
// and the Drill child. Formats and keys are compared upper-cased.
//
// Memory. Formats, repeat keys and keys that name no cell are interned and
// entries refer to them by number; a cell's items are listed from the tree
// node of its row, so a cell key costs no map entry of its own; the totals
// of ignored row copies are kept only for the tree nodes above such a copy.
//
// The index holds a handle to every item it indexes, so an item stays valid
// while indexed.
//
// Threading: one build on one thread; nothing locks.
#ifndef ORVO_EVALUATE_PLACED_ITEMS_H_
#define ORVO_EVALUATE_PLACED_ITEMS_H_

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "evaluate/number_text.h"
#include "orvo/xml.h"

namespace orvo {

class PlacedItems {
 public:
  // A value as the totals add it.
  struct Amount {
    Int128 nanos = 0;            // the exact part, in units of 10^-9
    double wide = 0;             // values too large for the exact part
    std::int64_t overflows = 0;  // numeric texts beyond the range of a double

    // The amount as one double (exact part first).
    double ToDouble() const;
    // Its text: the exact decimal form when nothing was added as a double,
    // else the 15-digit form. Raises the overflow failure when `overflows`.
    std::string ToText() const;
    // The value of a text: nothing when it is not numeric.
    static std::optional<Amount> Of(std::string_view text);

    Amount& operator+=(const Amount& other);
    Amount& operator-=(const Amount& other);
  };

  // One placed item of a cell, as read when it was placed or refreshed.
  struct Instance {
    xml::Node item;
    std::int32_t rpt_index = 0;
    std::int32_t orig_row = 0;
    std::string_view rpt_key;  // of a row copy; empty when rpt_index is 0
    bool evaluated = false;
    bool ignored = false;  // its row copy is listed as ignored
    // The Value attribute; of a pending item only a numeric value is kept
    // (its Value may still be its formula text, which no reference reads).
    std::string value;
    std::optional<Amount> number;  // the value when numeric
    // The key of its Drill child when that is on ("-1"), else empty.
    std::string drill_key;
  };

  // What Totals answers over the items inside the bounds.
  struct RangeTotals {
    Amount sum;                  // of the numeric values
    std::int64_t cells = 0;      // items
    std::int64_t numbers = 0;    // items with a numeric value
    std::int64_t pending = 0;    // items not yet evaluated
    std::int64_t drillable = 0;  // items with a drill key

    RangeTotals& operator+=(const RangeTotals& other);
    RangeTotals& operator-=(const RangeTotals& other);
  };

  PlacedItems();
  ~PlacedItems();
  PlacedItems(const PlacedItems&) = delete;
  PlacedItems& operator=(const PlacedItems&) = delete;

  // Forgets everything (a new report build).
  void Reset();
  // Lets go of the items once the build is done, keeping what was read from
  // them: queries answer as before (from any item, the latest print), the
  // items may be freed, and an item placed again is indexed anew.
  void ReleaseItems();

  // A new print of `format` starts (see "Prints" above).
  void BeginPrint(std::string_view format);
  // Room for `per_column[c]` more items in definition column c of the
  // latest print of `format`: its column trees then grow once to the size
  // they need rather than doubling (which leaves up to half of them unused,
  // and holds old and new at once while they are copied). With `copies`,
  // those items stand in a repeating row that is copied that many times:
  // the lists of each copy get their room at once too.
  void Reserve(std::string_view format,
               const std::unordered_map<std::int32_t, std::size_t>& per_column,
               std::size_t copies = 0);

  // The attributes of an item the index reads, gathered in one walk over
  // its attribute list (an item carries a dozen or more, and a lookup by
  // name walks the list each time), or set by a caller that knows them.
  class ItemTexts {
   public:
    enum Slot {
      kOrigFmt,
      kOrigKey,
      kKey,
      kOrigRow,
      kRptIndex,
      kRptKey,
      kEvaluated,
      kValue,
      kRow,  // not read by the index: for a caller that prepares the item
      kSlots
    };
    void Read(const xml::Node& item);
    void Set(Slot slot, std::string_view text) {
      m_present[slot] = true;
      m_texts[slot].assign(text);
    }
    std::string_view Of(Slot slot) const { return m_texts[slot]; }  // empty when absent
    bool Has(Slot slot) const { return m_present[slot]; }

   private:
    // The slot of an attribute name; -1 for a name not read.
    static int SlotOf(std::string_view name);
    std::array<std::string, kSlots> m_texts;
    std::array<bool, kSlots> m_present{};
  };

  // Indexes `item` (or refreshes it when indexed) and forgets `replaced`
  // when that is another indexed item.
  void Placed(const xml::Node& item, const xml::Node& replaced = xml::Node());
  // Placed(item) for an item whose attributes the caller holds already:
  // `texts` must be what ItemTexts::Read would read of it.
  void Placed(const xml::Node& item, const ItemTexts& texts);
  // Re-reads the value, state and drill key of an indexed item (see
  // "Keeping it in step"); an item not indexed is left alone.
  void ValueChanged(const xml::Node& item);
  // ValueChanged(item) from a caller that has just written the item's Value
  // (`value`) and knows its Evaluated attribute (`evaluated`: it reads "-1").
  void ValueChanged(const xml::Node& item, std::string_view value, bool evaluated);
  // Forgets an item; nothing when it is not indexed.
  void Removed(const xml::Node& item);
  // Forgets every Itm child of a row element.
  void RowRemoved(const xml::Node& row);
  // Leaves the items of a row copy out of totals unless include_ignored is
  // asked for; items of that copy placed later are left out too.
  void RowIgnored(std::string_view format, std::int32_t orig_row, std::int32_t rpt_index);
  // Reads the RowIgn records (OrigFmt, OrigRow, RptIndex) appended to
  // `rows_to_ignore` since the last call; a different list starts over.
  void CatchUpIgnoredRows(const xml::Node& rows_to_ignore);
  bool IsIgnored(std::string_view format, std::int32_t orig_row, std::int32_t rpt_index) const;

  // The row copy a referencing item stands in (its repeat key and 1-based
  // position). A reference from a copy sees, of another copy of its own
  // repeat, nothing: given `copy`, a cell whose items are all copies of that
  // repeat answers only the items of that position, found without going
  // through the others (a repeat of N records referring within its row
  // would otherwise cost N^2). Items outside the repeat, or of cells that
  // mix them, are all answered, as without `copy`.
  struct Copy {
    std::string_view repeat_key;
    std::int32_t position = 0;
  };

  // The items of a cell of the print `from` sees (see "Prints" above), in
  // the order they were first placed. The pointers stay valid until the
  // next change to the index.
  std::vector<const Instance*> Instances(std::string_view format, std::string_view key,
                                         const xml::Node& from = xml::Node(),
                                         const Copy* copy = nullptr) const;

  // Totals over the items of `format` whose key's column lies between the
  // two columns and whose key's row lies between the two rows (bounds in
  // either order, inclusive). Ignored row copies count only when
  // `include_ignored`.
  RangeTotals Totals(std::string_view format, std::int32_t first_column, std::int32_t last_column,
                     std::int32_t first_row, std::int32_t last_row, bool include_ignored,
                     const xml::Node& from = xml::Node()) const;

  // Calls `visit` for the items inside the bounds (as Totals counts them,
  // ignored row copies included: check Instance::ignored), column by column
  // and row by row, until it returns false. With `drillable_only` only
  // items with a drill key are visited, and the walk skips the rest without
  // reading them. The work grows with the rows visited, not with the bounds.
  void ForEachInRange(std::string_view format, std::int32_t first_column, std::int32_t last_column,
                      std::int32_t first_row, std::int32_t last_row, bool drillable_only,
                      const std::function<bool(const Instance&)>& visit,
                      const xml::Node& from = xml::Node(), const Copy* copy = nullptr) const;

  // The number of items indexed.
  std::size_t Size() const { return m_by_node.Size(); }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;
  static constexpr std::uint32_t kMixed = 0xFFFFFFFE;
  // An entry's neighbours in one of the lists it is in (in placing order).
  struct Links {
    std::uint32_t previous = kNone;
    std::uint32_t next = kNone;
  };
  // The first and last entry of a list.
  struct Chain {
    std::uint32_t first = kNone;
    std::uint32_t last = kNone;
  };

  // Totals as the column trees hold them: the exact part as two 64-bit
  // halves (no 16-byte alignment) and counts of 32 bits (an index never
  // holds 2^31 items).
  struct Sums {
    std::uint64_t nanos_low = 0;
    std::int64_t nanos_high = 0;
    double wide = 0;
    std::int32_t overflows = 0;
    std::int32_t cells = 0;
    std::int32_t numbers = 0;
    std::int32_t pending = 0;
    std::int32_t drillable = 0;

    Int128 Nanos() const;
    void Nanos(Int128 nanos);
    // Adds the sums (the double part by the rules of doubles).
    void Add(const Sums& other);
    void Subtract(const Sums& other);
    // Adds the integer parts of `difference` (its double part is left out).
    void AddExact(const Sums& difference);
    bool Holds(bool drillable_only) const { return (drillable_only ? drillable : cells) > 0; }
    bool SameAs(const Sums& other) const;
    void AddTo(RangeTotals& totals) const;
  };

  // Per print and definition column: the rows' nodes. Every node holds the
  // cell's list of items and the totals of its own row, for the items that
  // count always (slot 0) and for those of ignored row copies (slot 1, made
  // for a node only when needed).
  //
  // Range totals come from one of two forms. While the rows are dense
  // (every row has its place in the row table) and no double part was ever
  // added, the column is flat: prefix totals by row in a Fenwick array per
  // slot, so a change or a query costs a few array reads and no walk down
  // linked nodes. Otherwise it is a treap over rows whose nodes also hold
  // the totals of their subtree. Priorities are a hash of the row, so the
  // shape does not depend on the order of placing: a column leaving the
  // flat form builds the very tree placing one by one would have built,
  // and its totals (integer parts only, while flat) are the same in any
  // order of adding.
  class ColumnTree {
   public:
    // Takes `remove` from the totals of `row` in `slot` and adds `add`;
    // returns the row's node (made when the row has none).
    std::int32_t Change(std::int32_t row, int slot, const Sums& remove, const Sums& add);
    // Change for the row of an indexed entry, which has its node.
    std::int32_t ChangeHeld(std::int32_t row, int slot, const Sums& remove, const Sums& add);
    // The node of a row, or -1.
    std::int32_t Find(std::int32_t row) const;
    Chain& CellOf(std::int32_t node) { return m_nodes[static_cast<std::size_t>(node)].cell; }
    std::uint32_t& CopiesOf(std::int32_t node) {
      return m_nodes[static_cast<std::size_t>(node)].copies;
    }
    std::uint32_t CopiesOf(std::int32_t node) const {
      return m_nodes[static_cast<std::size_t>(node)].copies;
    }
    std::int32_t RowOf(std::int32_t node) const {
      return m_links[static_cast<std::size_t>(node)].row;
    }
    const Chain& CellOf(std::int32_t node) const {
      return m_nodes[static_cast<std::size_t>(node)].cell;
    }
    void AddTotals(std::int32_t first_row, std::int32_t last_row, int slot,
                   RangeTotals& totals) const;
    // Calls `visit(node)` for the nodes of the rows from first_row to
    // last_row that hold items (drillable ones only, when asked), in order,
    // until it returns false.
    template <typename Visit>
    bool ForEachRow(std::int32_t first_row, std::int32_t last_row, bool drillable_only,
                    const Visit& visit) const;
    // Room for `rows` more rows.
    void Reserve(std::size_t rows) {
      m_links.reserve(m_links.size() + rows);
      m_nodes.reserve(m_nodes.size() + rows);
      if (m_flat) m_fenwick[0].reserve(m_fenwick[0].size() + rows + 1);
    }

   private:
    // A node's row and children, apart from its totals: a walk down the
    // tree loads one of these per level, each load waiting for the one
    // before, and the links of a whole column fit a small array that
    // stays in cache, while the totals a change adds to on the way are
    // loaded beside the walk rather than in its chain.
    struct Link {
      std::int32_t row = 0;
      std::int32_t left = -1;
      std::int32_t right = -1;
    };
    struct Node {
      Sums own;
      std::uint32_t ignored = kNone;  // its slot 1 in m_ignored, when made
      Chain cell;
      // While the cell holds items: the repeat key number all of them are
      // copies of, kNone when none is a copy, kMixed for anything else.
      std::uint32_t copies = kNone;
    };
    struct IgnoredSums {
      Sums own;
      Sums subtree;
    };
    Node& At(std::int32_t node) { return m_nodes[static_cast<std::size_t>(node)]; }
    Link& L(std::int32_t node) { return m_links[static_cast<std::size_t>(node)]; }
    const Link& L(std::int32_t node) const { return m_links[static_cast<std::size_t>(node)]; }
    // A new node of `row` without children.
    std::int32_t NewNode(std::int32_t row);
    const Node& At(std::int32_t node) const { return m_nodes[static_cast<std::size_t>(node)]; }
    // The own and subtree totals of a node in a slot; slot 1 made when missing.
    Sums& Own(std::int32_t node, int slot);
    Sums& Subtree(std::int32_t node, int slot);
    // The same for reading: null when slot 1 was never made (all zero).
    const Sums* OwnOf(std::int32_t node, int slot) const;
    const Sums* SubtreeOf(std::int32_t node, int slot) const;
    bool Held(std::int32_t node, bool drillable_only, bool subtree) const;
    // Whether a new node of `row` gets its place in the row table.
    bool Tabled(std::int32_t row) const {
      return row >= 0 && (static_cast<std::size_t>(row) < m_row_nodes.size() ||
                          static_cast<std::size_t>(row) <= 2 * (m_links.size() + 1) + 64);
    }
    // The flat form (see above): a change of a row that has or gets its
    // node; false, changing nothing, when the column cannot stay flat.
    bool ChangeFlat(std::int32_t row, int slot, const Sums& remove, const Sums& add,
                    std::int32_t& node);
    // Builds the treap and its subtree totals from the nodes, and leaves the
    // flat form for good.
    void LeaveFlat();
    // Extends the Fenwick array of a slot to `row` from the rows' own totals.
    void CoverRow(int slot, std::int32_t row);
    void FenwickAdd(int slot, std::int32_t row, const Sums& difference);
    // The totals of rows 1 to `row` in a slot.
    Sums FenwickPrefix(int slot, std::int32_t row) const;
    // The first row after `row` whose items include a drillable one, or
    // INT32_MAX.
    std::int32_t NextDrillable(std::int32_t row) const;
    // A new row's node, when no double part was ever added (see Insert).
    std::int32_t Insert(std::int32_t row, int slot, const Sums& add, const Sums& remove);
    std::int32_t Apply(std::int32_t node, std::int32_t row, int slot, const Sums& remove,
                       const Sums& add, std::int32_t& changed);
    void Recompute(std::int32_t node);
    std::int32_t RotateRight(std::int32_t node);
    std::int32_t RotateLeft(std::int32_t node);

    std::vector<Link> m_links;  // by node, as m_nodes
    // The node of each row below its size (-1: none), so that a row is
    // found without a walk; rows far beyond the number of nodes are left out.
    std::vector<std::int32_t> m_row_nodes;
    std::vector<Node> m_nodes;
    std::vector<IgnoredSums> m_ignored;
    // Flat: prefix totals by row, per slot (slot 1 made when needed).
    std::array<std::vector<Sums>, 2> m_fenwick;
    bool m_flat = true;
    // Tree: the subtree totals of slot 0, by node.
    std::vector<Sums> m_subtree;
    std::int32_t m_root = -1;
    std::int32_t m_last_row = INT32_MIN;  // the greatest row with a node
    bool m_has_wide = false;              // a double part was added once
  };

  struct Entry : Instance {
    std::uint32_t format = 0;          // its number in m_format_ids
    std::uint32_t print = 0;           // its number in m_prints
    std::uint32_t tree = kNone;        // of its column in m_trees; kNone without column or row
    std::uint32_t key = kNone;         // a key naming no cell: its number in m_key_ids
    std::uint32_t rpt_key_id = kNone;  // of rpt_key in m_repeat_key_ids
    std::int32_t column = -1;          // of the key; -1 when it has none
    std::int32_t row = -1;             // of the key; -1 when it has none
    bool complete = false;             // it had Evaluated when its place was read
    Links in_cell;                     // the list of its cell
    Links in_copy;                     // the list of its row copy
    Links in_cell_copy;                // the list of its cell's items of its position
  };

  // Where an item stands, as ReadPlace reads it.
  struct Place {
    std::uint32_t format = 0;
    std::uint32_t key = kNone;
    std::int32_t column = -1;
    std::int32_t row = -1;
    std::int32_t orig_row = 0;
    std::int32_t rpt_index = 0;
    std::string_view rpt_key;
    std::uint32_t rpt_key_id = kNone;
  };

  // A row copy: format, OrigRow, RptIndex.
  struct CopyId {
    std::uint32_t format = 0;
    std::int32_t orig_row = 0;
    std::int32_t rpt_index = 0;
    bool operator==(const CopyId&) const = default;
  };
  struct CopyIdHash {
    std::size_t operator()(const CopyId& copy) const;
  };
  // The items of one position of a repeat in a cell: column tree, row, RptIndex.
  struct CellCopy {
    std::uint32_t tree = 0;
    std::int32_t row = 0;
    std::int32_t rpt_index = 0;
    bool operator==(const CellCopy&) const = default;
  };
  struct CellCopyHash {
    std::size_t operator()(const CellCopy& copy) const {
      return CopyIdHash()(CopyId{copy.tree, copy.row, copy.rpt_index});
    }
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  using TextIds = std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>>;

  // Item node to entry number, by open addressing: one flat table rather
  // than a heap node per item.
  class NodeIds {
   public:
    std::uint32_t Find(const void* node) const;  // kNone when absent
    void Insert(const void* node, std::uint32_t id);
    void Erase(const void* node);
    void Clear();
    std::size_t Size() const { return m_size; }

   private:
    struct Slot {
      const void* node = nullptr;
      std::uint32_t id = 0;
    };
    std::size_t Home(const void* node) const;
    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
  };

  // A print of a format and its column trees (column, tree), by column.
  struct Print {
    std::uint32_t format = 0;
    std::vector<std::pair<std::int32_t, std::uint32_t>> columns;
  };

  Entry& EntryAt(std::uint32_t id) { return m_chunks[id >> kChunkBits][id & kChunkMask]; }
  const Entry& EntryAt(std::uint32_t id) const {
    return m_chunks[id >> kChunkBits][id & kChunkMask];
  }
  std::uint32_t NewEntry();
  // The entry of an indexed item node, kNone when it is not indexed.
  std::uint32_t IdOf(const void* node) const;

  // The number of an upper-cased trimmed format (made when `make`), kNone
  // when unknown.
  std::uint32_t FormatId(std::string_view format, bool make);
  std::uint32_t FindFormat(std::string_view format) const;
  // The latest print of a format, made (print "0") when it has none.
  std::uint32_t LatestPrint(std::uint32_t format);
  // The print `from` sees in `format` (see "Prints"); kNone when none.
  std::uint32_t PrintSeen(std::string_view format, const xml::Node& from) const;
  // The tree of a column of a print: kNone when none / made when none.
  std::uint32_t FindTree(std::uint32_t print, std::int32_t column) const;
  std::uint32_t TreeOf(std::uint32_t print, std::int32_t column);
  // The number of a key that names no cell (upper-cased).
  std::uint32_t KeyId(std::string_view key);
  // The interned repeat key and its number.
  std::pair<std::string_view, std::uint32_t> RepeatKey(std::string_view key);
  // The items of a tree cell a reference from `copy` needs to see (see Copy).
  template <typename Visit>
  bool ForEachInContext(const ColumnTree& tree, std::uint32_t tree_id, std::int32_t node,
                        std::uint32_t copy_key, const Copy* copy, const Visit& visit) const;
  // The number of the repeat key of `copy`: kNone when none or unknown.
  std::uint32_t RepeatKeyOf(const Copy* copy) const;
  static std::uint64_t OtherCellId(std::uint32_t print, std::uint32_t key) {
    return (static_cast<std::uint64_t>(print) << 32) | key;
  }
  Chain& CopyChain(const CopyId& copy);

  // Reads where an item stands; false when it has no OrigFmt.
  bool ReadPlace(const ItemTexts& texts, Place& place);
  void TakePlace(Entry& entry, const Place& place);
  // Notes an entry whose print is one of another format (it took the place
  // of an item of that format, or moved to another format).
  void NoteForeignPrint(const Entry& entry);
  // Reads value, state and drill key; returns whether Evaluated is there.
  static bool ReadValue(Entry& entry, const ItemTexts& texts);
  // Takes a value and state, and reads the drill key of the item's Drill child.
  static void TakeValue(Entry& entry, bool evaluated, std::string_view value);
  static Sums ContributionOf(const Entry& entry);
  // Reads an indexed entry's value again / the whole entry (moved when it
  // stands elsewhere now, forgotten when it has lost its OrigFmt).
  void NewValue(std::uint32_t id, bool evaluated, std::string_view value);
  // Indexes an item not indexed yet from its texts.
  void PlaceNew(const xml::Node& item, const ItemTexts& texts, std::uint32_t print);
  void Refresh(std::uint32_t id);
  // The id of an indexed item whose entry is complete, else kNone (an
  // incomplete entry is refreshed from the item on the way).
  std::uint32_t CompleteEntryOf(const xml::Node& item);
  // Indexes an entry that was read, and takes it out again.
  void Add(std::uint32_t id);
  void Forget(std::uint32_t id);
  // Appends entry `id` to a chain / takes it out (true when the chain is
  // empty afterwards), through the links `links` of the entries.
  void Append(Chain& chain, std::uint32_t id, Links Entry::*links);
  bool Unlink(Chain& chain, std::uint32_t id, Links Entry::*links);
  // Calls visit(entry) for the entries of a chain, in order, until false.
  template <typename Visit>
  bool ForEachInCell(const Chain& chain, const Visit& visit,
                     Links Entry::*links = &Entry::in_cell) const;

  // Entries in chunks of 2^kChunkBits: they never move, and the store
  // grows a chunk at a time rather than by doubling.
  static constexpr std::uint32_t kChunkBits = 12;
  static constexpr std::uint32_t kChunkMask = (1u << kChunkBits) - 1;
  std::vector<std::unique_ptr<Entry[]>> m_chunks;
  std::uint32_t m_entry_count = 0;
  std::vector<std::uint32_t> m_free;
  NodeIds m_by_node;
  mutable std::uint32_t m_next_guess = 0;  // the entry IdOf tries first

  TextIds m_format_ids;
  std::vector<std::uint32_t> m_latest_print;  // per format; kNone before the first
  std::vector<bool> m_several_prints;         // per format: printed more than once
  bool m_foreign_prints = false;              // an entry holds another format's print
  std::vector<Print> m_prints;
  std::vector<ColumnTree> m_trees;
  TextIds m_key_ids;
  TextIds m_repeat_key_ids;
  std::pair<std::string_view, std::uint32_t> m_last_repeat_key{{}, kNone};  // RepeatKey's last
  std::unordered_map<CellCopy, Chain, CellCopyHash> m_cell_copies;
  // The items of keys naming no cell, by print and key.
  std::unordered_map<std::uint64_t, Chain> m_other_cells;
  std::unordered_map<CopyId, Chain, CopyIdHash> m_by_copy;
  CopyId m_last_copy;                  // the copy CopyChain gave last
  Chain* m_last_copy_chain = nullptr;  // and its chain (null: none)
  std::unordered_set<CopyId, CopyIdHash> m_ignored;
  // The last format read and the last looked up (most items and queries
  // name the same format as the one before).
  std::string m_last_format_text;
  std::uint32_t m_last_format = kNone;
  mutable std::string m_last_query_text;
  mutable std::uint32_t m_last_query = kNone;
  xml::Node m_ignore_list;
  xml::Node m_ignore_last;
  ItemTexts m_texts;  // the item being placed, as read
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_PLACED_ITEMS_H_
