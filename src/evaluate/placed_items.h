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
// results of ordinary magnitude), and subtree totals are recomputed from
// their children rather than adjusted by differences. Values beyond 10^18
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
//     Placing an indexed item again refreshes it. An item without OrigFmt is
//     not indexed (it cannot be referred to).
//   * ValueChanged(item) after an item's Value or Evaluated changed outside
//     cEvaluate::Evaluate. (Evaluate refreshes the items it evaluates itself
//     when they are indexed.)
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
// (empty reads as 0), RptKey, Evaluated ("-1" is evaluated, anything else
// or none is pending) and Value. Formats and keys are compared upper-cased.
//
// The index holds a handle to every item it indexes, so an item stays valid
// while indexed.
//
// Threading: one build on one thread; nothing locks.
#ifndef ORVO_EVALUATE_PLACED_ITEMS_H_
#define ORVO_EVALUATE_PLACED_ITEMS_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
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
    std::string rpt_key;
    std::int32_t orig_row = 0;
    bool evaluated = false;
    bool ignored = false;          // its row copy is listed as ignored
    std::string value;             // the Value attribute
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
  // and holds old and new at once while they are copied).
  void Reserve(std::string_view format,
               const std::unordered_map<std::int32_t, std::size_t>& per_column);

  // Indexes `item` (or refreshes it when indexed) and forgets `replaced`
  // when that is another indexed item.
  void Placed(const xml::Node& item, const xml::Node& replaced = xml::Node());
  // Re-reads an indexed item; an item not indexed is left alone.
  void ValueChanged(const xml::Node& item);
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

  // The items of a cell of the print `from` sees (see "Prints" above), in
  // the order they were first placed. The pointers stay valid until the
  // next change to the index.
  std::vector<const Instance*> Instances(std::string_view format, std::string_view key,
                                         const xml::Node& from = xml::Node()) const;

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
                      const xml::Node& from = xml::Node()) const;

  // The number of items indexed.
  std::size_t Size() const { return m_by_node.size(); }

 private:
  class ColumnTree;
  static constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
  // An entry's neighbours in one of the lists a key holds (in placing order).
  struct Links {
    std::uint32_t previous = kNoEntry;
    std::uint32_t next = kNoEntry;
  };
  // The first and last entry of a key's list.
  struct Chain {
    std::uint32_t first = kNoEntry;
    std::uint32_t last = kNoEntry;
  };
  struct Entry : Instance {
    std::string format;          // upper case
    std::uint32_t print = 0;     // of the format (0: the only one)
    std::string key;             // upper case
    std::int32_t column = -1;    // of the key; -1 when it has none
    std::int32_t row = -1;       // of the key; -1 when it has none
    ColumnTree* tree = nullptr;  // where it counts; null without column or row
    Links in_cell;               // the list of its cell key
    Links in_copy;               // the list of its row copy key
  };

  // Per (format, column): a treap over definition rows. Every node holds
  // the totals of its own row and of its subtree, for the items that count
  // always ([0]) and for those of ignored row copies ([1]). Priorities are a
  // hash of the row, so the shape does not depend on the order of placing.
  class ColumnTree {
   public:
    // Takes `remove` from the totals of `row` in `slot` (0 counted, 1
    // ignored) and adds `add`.
    void Change(std::int32_t row, int slot, const RangeTotals& remove, const RangeTotals& add);
    RangeTotals Totals(std::int32_t first_row, std::int32_t last_row, bool ignored) const;
    // Calls `visit` with the rows from first_row to last_row that hold
    // items (drillable ones only, when asked), in order, until it returns false.
    bool ForEachRow(std::int32_t first_row, std::int32_t last_row, bool drillable_only,
                    const std::function<bool(std::int32_t)>& visit) const;
    // Room for `rows` more rows.
    void Reserve(std::size_t rows) { m_nodes.reserve(m_nodes.size() + rows); }

   private:
    struct Node {
      std::int32_t row = 0;
      std::uint64_t priority = 0;
      std::int32_t left = -1;
      std::int32_t right = -1;
      RangeTotals own[2];
      RangeTotals subtree[2];
    };
    std::int32_t Apply(std::int32_t node, std::int32_t row, int slot, const RangeTotals& remove,
                       const RangeTotals& add);
    // Adds the integer parts of `difference` (its double part is left out).
    static void AddExact(RangeTotals& totals, const RangeTotals& difference);
    void Recompute(std::int32_t node);
    bool Visit(std::int32_t node, std::int32_t first_row, std::int32_t last_row,
               bool drillable_only, const std::function<bool(std::int32_t)>& visit) const;
    std::int32_t RotateRight(std::int32_t node);
    std::int32_t RotateLeft(std::int32_t node);

    std::vector<Node> m_nodes;
    std::int32_t m_root = -1;
  };

  // The key of one print of a format (upper case) in the cell and column maps.
  static std::string PrintKey(std::string_view format, std::uint32_t print);
  // The print key `from` sees in `format` (see "Prints").
  std::string PrintSeen(std::string_view format, const xml::Node& from) const;
  // Print key and cell key, the key in its plain form ("c05" is "C5").
  static std::string CellKey(std::string_view print_key, std::string_view key);
  static std::string CopyKey(std::string_view format, std::int32_t orig_row,
                             std::int32_t rpt_index);
  // Where an item stands, as ReadPlace reads it.
  struct Place {
    std::string format;  // upper case
    std::string key;     // upper case
    std::int32_t column = -1;
    std::int32_t row = -1;
    std::int32_t orig_row = 0;
    std::int32_t rpt_index = 0;
    std::string rpt_key;
  };

  // Format, key, rows and repeat of an item; its value, state and drill key.
  static void ReadPlace(const xml::Node& item, Place& place);
  static void ReadPlace(Entry& entry);
  static void ReadValue(Entry& entry);
  static RangeTotals ContributionOf(const Entry& entry);
  static bool SameTotals(const RangeTotals& a, const RangeTotals& b);
  // Indexes an entry that was read, and takes it out again.
  void Add(std::uint32_t id);
  void Forget(std::uint32_t id);
  // Appends entry `id` to a chain / takes it out (true when the chain is
  // empty afterwards), through the links `links` of the entries.
  void Append(Chain& chain, std::uint32_t id, Links Entry::*links);
  bool Unlink(Chain& chain, std::uint32_t id, Links Entry::*links);

  std::deque<Entry> m_entries;  // grows without moving its entries
  std::vector<std::uint32_t> m_free;
  std::unordered_map<const void*, std::uint32_t> m_by_node;
  // The entries of each cell key and of each row copy key, linked through
  // the entries (no list of their own to allocate and free per key).
  std::unordered_map<std::string, Chain> m_by_cell;
  std::unordered_map<std::string, Chain> m_by_copy;
  std::unordered_set<std::string> m_ignored;
  // Per print key, per column number.
  std::unordered_map<std::string, std::map<std::int32_t, ColumnTree>> m_columns;
  // The latest print of each upper-case format that has had BeginPrint.
  std::unordered_map<std::string, std::uint32_t> m_latest_print;
  std::uint32_t m_prints = 0;
  xml::Node m_ignore_list;
  xml::Node m_ignore_last;
  Place m_place;  // reused by ValueChanged
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_PLACED_ITEMS_H_
