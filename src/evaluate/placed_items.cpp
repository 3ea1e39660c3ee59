#include "evaluate/placed_items.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <tuple>
#include <utility>

#include "frame/column_letters.h"
#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr int kNanoScale = 9;
constexpr std::int64_t kNanosPerUnit = 1'000'000'000;
// Exact parts stay below 10^27 units of 10^-9 (values below 10^18), so that
// the totals of 2^31 of them still fit 127 bits.
constexpr int kExactDigits = 27;

std::optional<std::int32_t> WholeNumber(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t number = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// Column and row of a cell key; -1 for a part it lacks.
std::pair<std::int32_t, std::int32_t> ColumnAndRow(std::string_view key) {
  const std::size_t digit = key.find_first_of("0123456789");
  if (digit == std::string_view::npos || digit == 0) return {-1, -1};
  const std::int32_t column = LetterColumnNumber(key.substr(0, digit));
  const std::optional<std::int32_t> row = WholeNumber(key.substr(digit));
  return {column, row && *row > 0 ? *row : -1};
}

std::uint64_t RowPriority(std::int32_t row) {
  std::uint64_t z =
      static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

// ---------------------------------------------------------------- Amount

std::optional<PlacedItems::Amount> PlacedItems::Amount::Of(std::string_view text) {
  const std::optional<DecimalDigits> digits = SplitNumber(text);
  if (!digits) return std::nullopt;
  Amount amount;
  if (const std::optional<UInt128> scaled = RoundScaled(*digits, kNanoScale, kExactDigits)) {
    amount.nanos = digits->negative ? -static_cast<Int128>(*scaled) : static_cast<Int128>(*scaled);
    return amount;
  }
  // Beyond the exact part: a double, or an overflow when not even that
  // (reported when the total is read, as adding it one by one would).
  std::optional<double> value;
  ResumeNext resume;
  if (!resume.Step([&] { value = ParseNumber(text); }) || !value || !std::isfinite(*value)) {
    amount.overflows = 1;
    return amount;
  }
  amount.wide = *value;
  return amount;
}

double PlacedItems::Amount::ToDouble() const {
  const Int128 units = nanos / kNanosPerUnit;
  const Int128 rest = nanos % kNanosPerUnit;
  return static_cast<double>(units) + static_cast<double>(rest) / kNanosPerUnit + wide;
}

std::string PlacedItems::Amount::ToText() const {
  if (overflows > 0) RaiseOverflow();
  if (wide == 0) {
    const bool negative = nanos < 0;
    const UInt128 magnitude = negative ? -static_cast<UInt128>(nanos) : static_cast<UInt128>(nanos);
    return ScaledToText(negative, magnitude, kNanoScale);
  }
  return NumberToText(ToDouble());
}

PlacedItems::Amount& PlacedItems::Amount::operator+=(const Amount& other) {
  nanos += other.nanos;
  wide += other.wide;
  overflows += other.overflows;
  return *this;
}

PlacedItems::Amount& PlacedItems::Amount::operator-=(const Amount& other) {
  nanos -= other.nanos;
  wide -= other.wide;
  overflows -= other.overflows;
  return *this;
}

PlacedItems::RangeTotals& PlacedItems::RangeTotals::operator+=(const RangeTotals& other) {
  sum += other.sum;
  cells += other.cells;
  numbers += other.numbers;
  pending += other.pending;
  drillable += other.drillable;
  return *this;
}

bool PlacedItems::SameTotals(const RangeTotals& a, const RangeTotals& b) {
  // Doubles compared by their bits: a change from 0.0 to -0.0 is a change.
  return a.sum.nanos == b.sum.nanos &&
         std::bit_cast<std::uint64_t>(a.sum.wide) == std::bit_cast<std::uint64_t>(b.sum.wide) &&
         a.sum.overflows == b.sum.overflows && a.cells == b.cells && a.numbers == b.numbers &&
         a.pending == b.pending && a.drillable == b.drillable;
}

PlacedItems::RangeTotals& PlacedItems::RangeTotals::operator-=(const RangeTotals& other) {
  sum -= other.sum;
  cells -= other.cells;
  numbers -= other.numbers;
  pending -= other.pending;
  drillable -= other.drillable;
  return *this;
}

// ------------------------------------------------------------ ColumnTree

void PlacedItems::ColumnTree::Change(std::int32_t row, int slot, const RangeTotals& remove,
                                     const RangeTotals& add) {
  // A row already in the tree whose change adds and removes no double part
  // (every value of ordinary magnitude): add the difference along the path
  // down to it. Integer parts add exactly in any order, and the double parts
  // on the path stay as the last recomputation left them, so the totals are
  // those a recomputation would give, without the rotations and
  // recomputations of an insertion.
  if (remove.sum.wide == 0 && add.sum.wide == 0) {
    std::int32_t node = m_root;
    while (node >= 0 && m_nodes[node].row != row) {
      node = row < m_nodes[node].row ? m_nodes[node].left : m_nodes[node].right;
    }
    if (node >= 0) {
      RangeTotals difference = add;
      difference -= remove;
      for (std::int32_t at = m_root;;) {
        Node& n = m_nodes[at];
        AddExact(n.subtree[slot], difference);
        if (at == node) {
          AddExact(n.own[slot], difference);
          return;
        }
        at = row < n.row ? n.left : n.right;
      }
    }
  }
  m_root = Apply(m_root, row, slot, remove, add);
}

void PlacedItems::ColumnTree::AddExact(RangeTotals& totals, const RangeTotals& difference) {
  totals.sum.nanos += difference.sum.nanos;
  totals.sum.overflows += difference.sum.overflows;
  totals.cells += difference.cells;
  totals.numbers += difference.numbers;
  totals.pending += difference.pending;
  totals.drillable += difference.drillable;
}

std::int32_t PlacedItems::ColumnTree::Apply(std::int32_t node, std::int32_t row, int slot,
                                            const RangeTotals& remove, const RangeTotals& add) {
  if (node < 0) {
    Node fresh;
    fresh.row = row;
    fresh.priority = RowPriority(row);
    m_nodes.push_back(fresh);
    node = static_cast<std::int32_t>(m_nodes.size() - 1);
  }
  const std::int32_t node_row = m_nodes[node].row;
  if (row < node_row) {
    const std::int32_t child = Apply(m_nodes[node].left, row, slot, remove, add);
    m_nodes[node].left = child;
    Recompute(node);
    if (m_nodes[child].priority > m_nodes[node].priority) node = RotateRight(node);
  } else if (row > node_row) {
    const std::int32_t child = Apply(m_nodes[node].right, row, slot, remove, add);
    m_nodes[node].right = child;
    Recompute(node);
    if (m_nodes[child].priority > m_nodes[node].priority) node = RotateLeft(node);
  } else {
    m_nodes[node].own[slot] -= remove;
    m_nodes[node].own[slot] += add;
    Recompute(node);
  }
  return node;
}

void PlacedItems::ColumnTree::Recompute(std::int32_t node) {
  Node& n = m_nodes[node];
  for (int slot = 0; slot < 2; ++slot) {
    RangeTotals totals;
    if (n.left >= 0) totals += m_nodes[n.left].subtree[slot];
    totals += n.own[slot];
    if (n.right >= 0) totals += m_nodes[n.right].subtree[slot];
    n.subtree[slot] = totals;
  }
}

std::int32_t PlacedItems::ColumnTree::RotateRight(std::int32_t node) {
  const std::int32_t top = m_nodes[node].left;
  m_nodes[node].left = m_nodes[top].right;
  m_nodes[top].right = node;
  Recompute(node);
  Recompute(top);
  return top;
}

std::int32_t PlacedItems::ColumnTree::RotateLeft(std::int32_t node) {
  const std::int32_t top = m_nodes[node].right;
  m_nodes[node].right = m_nodes[top].left;
  m_nodes[top].left = node;
  Recompute(node);
  Recompute(top);
  return top;
}

PlacedItems::RangeTotals PlacedItems::ColumnTree::Totals(std::int32_t first_row,
                                                         std::int32_t last_row,
                                                         bool ignored) const {
  const int slot = ignored ? 1 : 0;
  RangeTotals totals;
  // Down to the first node inside the bounds; below it the left subtree
  // holds the rows from first_row up, the right one the rows to last_row.
  std::int32_t node = m_root;
  while (node >= 0) {
    const Node& n = m_nodes[node];
    if (n.row < first_row) {
      node = n.right;
    } else if (n.row > last_row) {
      node = n.left;
    } else {
      break;
    }
  }
  if (node < 0) return totals;
  totals += m_nodes[node].own[slot];
  for (std::int32_t at = m_nodes[node].left; at >= 0;) {
    const Node& n = m_nodes[at];
    if (n.row >= first_row) {
      totals += n.own[slot];
      if (n.right >= 0) totals += m_nodes[n.right].subtree[slot];
      at = n.left;
    } else {
      at = n.right;
    }
  }
  for (std::int32_t at = m_nodes[node].right; at >= 0;) {
    const Node& n = m_nodes[at];
    if (n.row <= last_row) {
      totals += n.own[slot];
      if (n.left >= 0) totals += m_nodes[n.left].subtree[slot];
      at = n.right;
    } else {
      at = n.left;
    }
  }
  return totals;
}

bool PlacedItems::ColumnTree::ForEachRow(std::int32_t first_row, std::int32_t last_row,
                                         bool drillable_only,
                                         const std::function<bool(std::int32_t)>& visit) const {
  return Visit(m_root, first_row, last_row, drillable_only, visit);
}

bool PlacedItems::ColumnTree::Visit(std::int32_t node, std::int32_t first_row,
                                    std::int32_t last_row, bool drillable_only,
                                    const std::function<bool(std::int32_t)>& visit) const {
  if (node < 0) return true;
  const Node& n = m_nodes[node];
  const auto held = [drillable_only](const RangeTotals(&totals)[2]) {
    return drillable_only ? totals[0].drillable + totals[1].drillable > 0
                          : totals[0].cells + totals[1].cells > 0;
  };
  if (!held(n.subtree)) return true;
  if (n.row > first_row && !Visit(n.left, first_row, last_row, drillable_only, visit)) {
    return false;
  }
  if (n.row >= first_row && n.row <= last_row && held(n.own) && !visit(n.row)) return false;
  if (n.row < last_row) return Visit(n.right, first_row, last_row, drillable_only, visit);
  return true;
}

// ----------------------------------------------------------- PlacedItems

PlacedItems::PlacedItems() = default;
PlacedItems::~PlacedItems() = default;

void PlacedItems::Reset() {
  m_entries.clear();
  m_free.clear();
  m_by_node.clear();
  m_by_cell.clear();
  m_by_copy.clear();
  m_ignored.clear();
  m_columns.clear();
  m_latest_print.clear();
  m_prints = 0;
  m_ignore_list = xml::Node();
  m_ignore_last = xml::Node();
}

void PlacedItems::ReleaseItems() {
  m_by_node.clear();
  for (Entry& entry : m_entries) entry.item = xml::Node();
}

void PlacedItems::BeginPrint(std::string_view format) {
  m_latest_print[UpperCase(Trim(format))] = ++m_prints;
}

void PlacedItems::Reserve(std::string_view format,
                          const std::unordered_map<std::int32_t, std::size_t>& per_column) {
  // The print a format's new items join: its latest.
  std::map<std::int32_t, ColumnTree>& columns = m_columns[PrintSeen(format, xml::Node())];
  for (const auto& [column, count] : per_column) {
    if (column > 0) columns[column].Reserve(count);
  }
}

std::string PlacedItems::PrintKey(std::string_view format, std::uint32_t print) {
  std::string text(format);
  if (print != 0) {
    text += '\x1e';
    text += std::to_string(print);
  }
  return text;
}

std::string PlacedItems::PrintSeen(std::string_view format, const xml::Node& from) const {
  const std::string upper = UpperCase(Trim(format));
  if (from) {
    const auto found = m_by_node.find(from.Raw());
    if (found != m_by_node.end()) {
      const Entry& entry = m_entries[found->second];
      if (entry.format == upper) return PrintKey(upper, entry.print);
    }
  }
  const auto latest = m_latest_print.find(upper);
  return PrintKey(upper, latest == m_latest_print.end() ? 0 : latest->second);
}

std::string PlacedItems::CellKey(std::string_view print_key, std::string_view key) {
  std::string text(print_key);
  text += '\x1f';
  key = Trim(key);
  const auto [column, row] = ColumnAndRow(key);
  if (column > 0 && row > 0) {
    text += ColumnLetters(column);
    text += std::to_string(row);
  } else {
    text += UpperCase(key);
  }
  return text;
}

std::string PlacedItems::CopyKey(std::string_view format, std::int32_t orig_row,
                                 std::int32_t rpt_index) {
  std::string text = UpperCase(format);
  text += '\x1f';
  text += std::to_string(orig_row);
  text += '\x1f';
  text += std::to_string(rpt_index);
  return text;
}

namespace {

// Reads an attribute into `value` (emptied when there is none), reusing its
// storage: placing and refreshing read several attributes of every item.
std::string_view Read(const xml::Node& item, std::string_view name, std::string& value) {
  item.ReadAttribute(name, value);
  return value;
}

// `out` = UpperCase(Trim(text)), reusing the storage of `out`.
void AssignUpperTrimmed(std::string& out, std::string_view text) {
  text = Trim(text);
  bool plain = true;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80 || (c >= 'a' && c <= 'z')) {
      plain = false;
      break;
    }
  }
  if (plain) {
    out.assign(text);
  } else {
    out = UpperCase(text);
  }
}

}  // namespace

void PlacedItems::ReadPlace(const xml::Node& item, Place& place) {
  thread_local std::string text;
  AssignUpperTrimmed(place.format, Read(item, "OrigFmt", text));
  if (!item.ReadAttribute("OrigKey", text) || Trim(text).empty()) item.ReadAttribute("Key", text);
  AssignUpperTrimmed(place.key, text);
  std::tie(place.column, place.row) = ColumnAndRow(place.key);
  place.orig_row = WholeNumber(Read(item, "OrigRow", text)).value_or(place.row);
  Read(item, "RptIndex", text);
  place.rpt_index = Trim(text).empty() ? 0 : WholeNumber(text).value_or(0);
  item.ReadAttribute("RptKey", place.rpt_key);
}

void PlacedItems::ReadPlace(Entry& entry) {
  Place place;
  place.format = std::move(entry.format);
  place.key = std::move(entry.key);
  place.rpt_key = std::move(entry.rpt_key);
  ReadPlace(entry.item, place);
  entry.format = std::move(place.format);
  entry.key = std::move(place.key);
  entry.rpt_key = std::move(place.rpt_key);
  entry.column = place.column;
  entry.row = place.row;
  entry.orig_row = place.orig_row;
  entry.rpt_index = place.rpt_index;
}

void PlacedItems::ReadValue(Entry& entry) {
  const xml::Node& item = entry.item;
  thread_local std::string text;
  entry.evaluated = Trim(Read(item, "Evaluated", text)) == "-1";
  item.ReadAttribute("Value", entry.value);
  entry.number = Amount::Of(entry.value);
  entry.drill_key.clear();
  for (xml::Node child = item.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement || !child.NameIs("Drill")) continue;
    if (Trim(Read(child, "On", text)) == "-1") child.ReadAttribute("Key", entry.drill_key);
    break;
  }
}

PlacedItems::RangeTotals PlacedItems::ContributionOf(const Entry& entry) {
  RangeTotals contribution;
  contribution.cells = 1;
  if (entry.number) {
    contribution.sum = *entry.number;
    contribution.numbers = 1;
  }
  contribution.pending = entry.evaluated ? 0 : 1;
  contribution.drillable = entry.drill_key.empty() ? 0 : 1;
  return contribution;
}

void PlacedItems::Add(std::uint32_t id) {
  Entry& entry = m_entries[id];
  entry.ignored = m_ignored.count(CopyKey(entry.format, entry.orig_row, entry.rpt_index)) > 0;
  const std::string print_key = PrintKey(entry.format, entry.print);
  Append(m_by_cell[CellKey(print_key, entry.key)], id, &Entry::in_cell);
  Append(m_by_copy[CopyKey(entry.format, entry.orig_row, entry.rpt_index)], id, &Entry::in_copy);
  entry.tree = nullptr;
  if (entry.column > 0 && entry.row > 0) {
    entry.tree = &m_columns[print_key][entry.column];
    entry.tree->Change(entry.row, entry.ignored ? 1 : 0, RangeTotals(), ContributionOf(entry));
  }
}

void PlacedItems::Forget(std::uint32_t id) {
  Entry& entry = m_entries[id];
  if (entry.tree) {
    entry.tree->Change(entry.row, entry.ignored ? 1 : 0, ContributionOf(entry), RangeTotals());
  }
  const auto drop = [this, id](std::unordered_map<std::string, Chain>& map, const std::string& key,
                               Links Entry::*links) {
    const auto found = map.find(key);
    if (found != map.end() && Unlink(found->second, id, links)) map.erase(found);
  };
  drop(m_by_cell, CellKey(PrintKey(entry.format, entry.print), entry.key), &Entry::in_cell);
  drop(m_by_copy, CopyKey(entry.format, entry.orig_row, entry.rpt_index), &Entry::in_copy);
}

void PlacedItems::Append(Chain& chain, std::uint32_t id, Links Entry::*links) {
  Links& own = m_entries[id].*links;
  own.previous = chain.last;
  own.next = kNoEntry;
  if (chain.last == kNoEntry) {
    chain.first = id;
  } else {
    (m_entries[chain.last].*links).next = id;
  }
  chain.last = id;
}

bool PlacedItems::Unlink(Chain& chain, std::uint32_t id, Links Entry::*links) {
  Links& own = m_entries[id].*links;
  // Only an entry of this chain is taken out of it.
  if (own.previous == kNoEntry ? chain.first != id : (m_entries[own.previous].*links).next != id) {
    return chain.first == kNoEntry;
  }
  if (own.previous == kNoEntry) {
    chain.first = own.next;
  } else {
    (m_entries[own.previous].*links).next = own.next;
  }
  if (own.next == kNoEntry) {
    chain.last = own.previous;
  } else {
    (m_entries[own.next].*links).previous = own.previous;
  }
  own = Links();
  return chain.first == kNoEntry;
}

void PlacedItems::Placed(const xml::Node& item, const xml::Node& replaced) {
  // An item taking an indexed item's place takes its print.
  std::optional<std::uint32_t> inherited;
  if (replaced && !(replaced == item)) {
    const auto found = m_by_node.find(replaced.Raw());
    if (found != m_by_node.end()) inherited = m_entries[found->second].print;
    Removed(replaced);
  }
  if (!item) return;
  const auto found = m_by_node.find(item.Raw());
  if (found != m_by_node.end()) {
    ValueChanged(item);
    return;
  }
  if (!item.GetAttribute("OrigFmt")) return;
  std::uint32_t id;
  if (!m_free.empty()) {
    id = m_free.back();
    m_free.pop_back();
  } else {
    id = static_cast<std::uint32_t>(m_entries.size());
    m_entries.emplace_back();
  }
  Entry& entry = m_entries[id];
  entry = Entry();
  entry.item = item;
  ReadPlace(entry);
  ReadValue(entry);
  if (inherited) {
    entry.print = *inherited;
  } else if (const auto latest = m_latest_print.find(entry.format);
             latest != m_latest_print.end()) {
    entry.print = latest->second;
  }
  m_by_node.emplace(item.Raw(), id);
  Add(id);
}

void PlacedItems::ValueChanged(const xml::Node& item) {
  if (!item) return;
  const auto found = m_by_node.find(item.Raw());
  if (found == m_by_node.end()) return;
  const std::uint32_t id = found->second;
  Entry& entry = m_entries[id];
  Place& place = m_place;
  ReadPlace(item, place);
  if (place.format != entry.format || place.key != entry.key || place.orig_row != entry.orig_row ||
      place.rpt_index != entry.rpt_index) {
    Forget(id);
    ReadPlace(entry);
    ReadValue(entry);
    Add(id);
    return;
  }
  // The usual case, an item evaluated again where it stands: only its
  // contribution to its row changes.
  entry.rpt_key.swap(place.rpt_key);
  const RangeTotals before = ContributionOf(entry);
  ReadValue(entry);
  if (!entry.tree) return;
  const RangeTotals after = ContributionOf(entry);
  if (SameTotals(before, after)) return;  // placed again with the same value
  entry.tree->Change(entry.row, entry.ignored ? 1 : 0, before, after);
}

void PlacedItems::Removed(const xml::Node& item) {
  if (!item) return;
  const auto found = m_by_node.find(item.Raw());
  if (found == m_by_node.end()) return;
  const std::uint32_t id = found->second;
  Forget(id);
  m_by_node.erase(found);
  m_entries[id] = Entry();
  m_free.push_back(id);
}

void PlacedItems::RowRemoved(const xml::Node& row) {
  if (!row) return;
  for (xml::Node child = row.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == "Itm") Removed(child);
  }
}

void PlacedItems::RowIgnored(std::string_view format, std::int32_t orig_row,
                             std::int32_t rpt_index) {
  const std::string copy = CopyKey(Trim(format), orig_row, rpt_index);
  if (!m_ignored.insert(copy).second) return;
  const auto found = m_by_copy.find(copy);
  if (found == m_by_copy.end()) return;
  for (std::uint32_t id = found->second.first; id != kNoEntry; id = m_entries[id].in_copy.next) {
    Entry& entry = m_entries[id];
    if (entry.ignored) continue;
    entry.ignored = true;
    if (!entry.tree) continue;
    const RangeTotals contribution = ContributionOf(entry);
    entry.tree->Change(entry.row, 0, contribution, RangeTotals());
    entry.tree->Change(entry.row, 1, RangeTotals(), contribution);
  }
}

void PlacedItems::CatchUpIgnoredRows(const xml::Node& rows_to_ignore) {
  if (!rows_to_ignore) return;
  xml::Node next;
  if (!(rows_to_ignore == m_ignore_list)) {
    m_ignore_list = rows_to_ignore;
    next = rows_to_ignore.FirstChild();
  } else if (m_ignore_last && m_ignore_last.ParentNode() == rows_to_ignore) {
    next = m_ignore_last.NextSibling();
  } else {
    next = rows_to_ignore.FirstChild();
  }
  for (; next; next = next.NextSibling()) {
    m_ignore_last = next;
    if (next.Type() != xml::NodeType::kElement) continue;
    const std::optional<std::int32_t> row = WholeNumber(next.AttributeOr("OrigRow", ""));
    if (!row) continue;
    const std::string index = next.AttributeOr("RptIndex", "");
    RowIgnored(next.AttributeOr("OrigFmt", ""), *row,
               Trim(index).empty() ? 0 : WholeNumber(index).value_or(0));
  }
}

bool PlacedItems::IsIgnored(std::string_view format, std::int32_t orig_row,
                            std::int32_t rpt_index) const {
  return m_ignored.count(CopyKey(Trim(format), orig_row, rpt_index)) > 0;
}

std::vector<const PlacedItems::Instance*> PlacedItems::Instances(std::string_view format,
                                                                 std::string_view key,
                                                                 const xml::Node& from) const {
  std::vector<const Instance*> instances;
  const auto found = m_by_cell.find(CellKey(PrintSeen(format, from), key));
  if (found == m_by_cell.end()) return instances;
  for (std::uint32_t id = found->second.first; id != kNoEntry; id = m_entries[id].in_cell.next) {
    instances.push_back(&m_entries[id]);
  }
  return instances;
}

PlacedItems::RangeTotals PlacedItems::Totals(std::string_view format, std::int32_t first_column,
                                             std::int32_t last_column, std::int32_t first_row,
                                             std::int32_t last_row, bool include_ignored,
                                             const xml::Node& from) const {
  RangeTotals totals;
  const auto columns = m_columns.find(PrintSeen(format, from));
  if (columns == m_columns.end()) return totals;
  if (first_column > last_column) std::swap(first_column, last_column);
  if (first_row > last_row) std::swap(first_row, last_row);
  for (auto at = columns->second.lower_bound(first_column);
       at != columns->second.end() && at->first <= last_column; ++at) {
    totals += at->second.Totals(first_row, last_row, false);
    if (include_ignored) totals += at->second.Totals(first_row, last_row, true);
  }
  return totals;
}

void PlacedItems::ForEachInRange(std::string_view format, std::int32_t first_column,
                                 std::int32_t last_column, std::int32_t first_row,
                                 std::int32_t last_row, bool drillable_only,
                                 const std::function<bool(const Instance&)>& visit,
                                 const xml::Node& from) const {
  const std::string format_key = PrintSeen(format, from);
  const auto columns = m_columns.find(format_key);
  if (columns == m_columns.end()) return;
  if (first_column > last_column) std::swap(first_column, last_column);
  if (first_row > last_row) std::swap(first_row, last_row);
  for (auto at = columns->second.lower_bound(first_column);
       at != columns->second.end() && at->first <= last_column; ++at) {
    const std::string letters = ColumnLetters(at->first);
    const bool go_on =
        at->second.ForEachRow(first_row, last_row, drillable_only, [&](std::int32_t row) {
          const auto found = m_by_cell.find(CellKey(format_key, letters + std::to_string(row)));
          if (found == m_by_cell.end()) return true;
          for (std::uint32_t id = found->second.first; id != kNoEntry;) {
            const Entry& entry = m_entries[id];
            id = entry.in_cell.next;
            if (drillable_only && entry.drill_key.empty()) continue;
            if (!visit(entry)) return false;
          }
          return true;
        });
    if (!go_on) return;
  }
}

}  // namespace orvo
