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

// The rows a Fenwick entry spans: the lowest set bit of its index.
std::size_t LowBit(std::size_t at) { return at & (~at + 1); }

// Calls `visit` with each entry below `at` that covers part of the span of
// entry `at` (which holds its own row and those entries' rows).
template <typename Visit>
void ForEachEntryBelowInSpan(std::size_t at, const Visit& visit) {
  const std::size_t start = at - LowBit(at);
  for (std::size_t below = at - 1; below > start; below &= below - 1) visit(below);
}

std::optional<std::int32_t> WholeNumber(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t number = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// Column and row of a trimmed cell key; -1 for a part it lacks.
std::pair<std::int32_t, std::int32_t> ColumnAndRow(std::string_view key) {
  // (A loop: find_first_of would test the key against the set character by character.)
  std::size_t digit = 0;
  while (digit < key.size() && (key[digit] < '0' || key[digit] > '9')) ++digit;
  if (digit == key.size() || digit == 0) return {-1, -1};
  const std::int32_t column = LetterColumnNumber(key.substr(0, digit));
  // The usual row, a few digits and nothing after them, read in place.
  if (key.size() - digit <= 9) {
    std::int32_t row = 0;
    std::size_t at = digit;
    for (; at < key.size() && key[at] >= '0' && key[at] <= '9'; ++at) {
      row = row * 10 + (key[at] - '0');
    }
    if (at == key.size()) return {column, row > 0 ? row : -1};
  }
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

namespace {

// The exact part of a plain decimal without spaces, sign "+" or exponent, of
// at most 18 digits before the point and 9 after it ("-1234.56", the form
// results are written in), read directly; nothing for any other text.
std::optional<Int128> PlainNanos(std::string_view text) {
  std::size_t at = 0;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) at = 1;
  const std::size_t start = at;
  std::uint64_t units = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (at - start == 18) return std::nullopt;
    units = units * 10 + static_cast<unsigned>(text[at] - '0');
  }
  if (at == start) return std::nullopt;
  std::uint64_t fraction = 0;
  int decimals = 0;
  if (at < text.size() && text[at] == '.') {
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      if (decimals == kNanoScale) return std::nullopt;
      fraction = fraction * 10 + static_cast<unsigned>(text[at] - '0');
      ++decimals;
    }
    if (decimals == 0) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  for (; decimals < kNanoScale; ++decimals) fraction *= 10;
  const Int128 nanos = static_cast<Int128>(units) * kNanosPerUnit + static_cast<Int128>(fraction);
  return negative ? -nanos : nanos;
}

}  // namespace

std::optional<PlacedItems::Amount> PlacedItems::Amount::Of(std::string_view text) {
  if (const std::optional<Int128> nanos = PlainNanos(text)) {
    Amount amount;
    amount.nanos = *nanos;
    return amount;
  }
  // A text starting with anything a number cannot start with (a formula's
  // "=", a word) is not one: said without splitting it.
  const char first = text.empty() ? '\0' : text.front();
  if (first != ' ' && first != '+' && first != '-' && first != '.' &&
      (first < '0' || first > '9')) {
    return std::nullopt;
  }
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

PlacedItems::RangeTotals& PlacedItems::RangeTotals::operator-=(const RangeTotals& other) {
  sum -= other.sum;
  cells -= other.cells;
  numbers -= other.numbers;
  pending -= other.pending;
  drillable -= other.drillable;
  return *this;
}

// ------------------------------------------------------------------ Sums

Int128 PlacedItems::Sums::Nanos() const {
  return static_cast<Int128>((static_cast<UInt128>(static_cast<std::uint64_t>(nanos_high)) << 64) |
                             nanos_low);
}

void PlacedItems::Sums::Nanos(Int128 nanos) {
  nanos_low = static_cast<std::uint64_t>(static_cast<UInt128>(nanos));
  nanos_high = static_cast<std::int64_t>(nanos >> 64);
}

void PlacedItems::Sums::Add(const Sums& other) {
  AddExact(other);
  wide += other.wide;
}

void PlacedItems::Sums::Subtract(const Sums& other) {
  Nanos(Nanos() - other.Nanos());
  wide -= other.wide;
  overflows -= other.overflows;
  cells -= other.cells;
  numbers -= other.numbers;
  pending -= other.pending;
  drillable -= other.drillable;
}

void PlacedItems::Sums::AddExact(const Sums& difference) {
  Nanos(Nanos() + difference.Nanos());
  overflows += difference.overflows;
  cells += difference.cells;
  numbers += difference.numbers;
  pending += difference.pending;
  drillable += difference.drillable;
}

bool PlacedItems::Sums::SameAs(const Sums& other) const {
  // Doubles compared by their bits: a change from 0.0 to -0.0 is a change.
  return nanos_low == other.nanos_low && nanos_high == other.nanos_high &&
         std::bit_cast<std::uint64_t>(wide) == std::bit_cast<std::uint64_t>(other.wide) &&
         overflows == other.overflows && cells == other.cells && numbers == other.numbers &&
         pending == other.pending && drillable == other.drillable;
}

void PlacedItems::Sums::AddTo(RangeTotals& totals) const {
  totals.sum.nanos += Nanos();
  totals.sum.wide += wide;
  totals.sum.overflows += overflows;
  totals.cells += cells;
  totals.numbers += numbers;
  totals.pending += pending;
  totals.drillable += drillable;
}

// ------------------------------------------------------------ ColumnTree

std::int32_t PlacedItems::ColumnTree::NewNode(std::int32_t row) {
  m_last_row = std::max(m_last_row, row);
  m_links.push_back(Link{row, -1, -1});
  m_nodes.emplace_back();
  if (!m_flat) {
    m_own.emplace_back();
    m_subtree.emplace_back();
  }
  const auto node = static_cast<std::int32_t>(m_nodes.size() - 1);
  if (row >= 0 && static_cast<std::size_t>(row) < m_row_nodes.size()) {
    m_row_nodes[static_cast<std::size_t>(row)] = node;
  } else if (row >= 0 && static_cast<std::size_t>(row) <= 2 * m_links.size() + 64) {
    // Rows about as many as the nodes: the table grows (at least doubling)
    // and is filled again from every node. Rows far beyond are walked to.
    m_row_nodes.assign(std::max(static_cast<std::size_t>(row) + 1, 2 * m_row_nodes.size()), -1);
    for (std::size_t at = 0; at < m_links.size(); ++at) {
      const std::int32_t held = m_links[at].row;
      if (held >= 0 && static_cast<std::size_t>(held) < m_row_nodes.size()) {
        m_row_nodes[static_cast<std::size_t>(held)] = static_cast<std::int32_t>(at);
      }
    }
  }
  return node;
}

void PlacedItems::ColumnTree::CoverRow(int slot, std::int32_t row) {
  std::vector<Sums>& fenwick = m_fenwick[static_cast<std::size_t>(slot)];
  if (fenwick.empty()) fenwick.emplace_back();  // (entry 0 stands for no row)
  // Entry i holds rows i - lowbit(i) + 1 to i: its own row and the entries
  // below it that cover the rest of that span.
  for (std::size_t at = fenwick.size(); at <= static_cast<std::size_t>(row); ++at) {
    // (Slot 0 covers every row before it changes: its rows past the array
    // hold nothing yet.)
    Sums entry;
    if (slot == 1 && at < m_row_nodes.size() && m_row_nodes[at] >= 0) {
      if (const Sums* own = OwnOf(m_row_nodes[at], 1)) entry = *own;
    }
    ForEachEntryBelowInSpan(at, [&](std::size_t below) { entry.AddExact(fenwick[below]); });
    fenwick.push_back(entry);
  }
}

void PlacedItems::ColumnTree::FenwickAdd(int slot, std::int32_t row, const Sums& difference) {
  std::vector<Sums>& fenwick = m_fenwick[static_cast<std::size_t>(slot)];
  for (auto at = static_cast<std::size_t>(row); at < fenwick.size(); at += LowBit(at)) {
    fenwick[at].AddExact(difference);
  }
}

PlacedItems::Sums PlacedItems::ColumnTree::FenwickPrefix(int slot, std::int32_t row) const {
  const std::vector<Sums>& fenwick = m_fenwick[static_cast<std::size_t>(slot)];
  Sums totals;
  if (fenwick.empty() || row <= 0) return totals;
  for (auto at = std::min(static_cast<std::size_t>(row), fenwick.size() - 1); at > 0;
       at &= at - 1) {
    totals.AddExact(fenwick[at]);
  }
  return totals;
}

std::int32_t PlacedItems::ColumnTree::NextDrillable(std::int32_t row) const {
  std::int32_t next = INT32_MAX;
  for (int slot = 0; slot < 2; ++slot) {
    const std::vector<Sums>& fenwick = m_fenwick[static_cast<std::size_t>(slot)];
    if (fenwick.empty()) continue;
    // Down the implicit tree to the last row whose prefix holds no more
    // drillable items than rows 1 to `row` do.
    std::int64_t left = FenwickPrefix(slot, row).drillable;
    std::size_t at = 0;
    for (std::size_t step = std::bit_floor(fenwick.size() - 1); step > 0; step >>= 1) {
      if (at + step < fenwick.size() && fenwick[at + step].drillable <= left) {
        at += step;
        left -= fenwick[at].drillable;
      }
    }
    if (at + 1 < fenwick.size()) next = std::min(next, static_cast<std::int32_t>(at + 1));
  }
  return next;
}

bool PlacedItems::ColumnTree::ChangeFlat(std::int32_t row, int slot, const Sums& remove,
                                         const Sums& add, std::int32_t& node) {
  if (remove.wide != 0 || add.wide != 0 || row <= 0) return false;
  node = Find(row);
  if (node < 0) {
    if (!Tabled(row)) return false;
    node = NewNode(row);
  }
  if (m_fenwick[static_cast<std::size_t>(slot)].size() <= static_cast<std::size_t>(row)) {
    CoverRow(slot, row);
  }
  Sums difference = add;
  difference.Subtract(remove);
  if (slot == 1) Own(node, 1).AddExact(difference);
  FenwickAdd(slot, row, difference);
  return true;
}

PlacedItems::Sums PlacedItems::ColumnTree::FenwickRow(std::int32_t row) const {
  const std::vector<Sums>& fenwick = m_fenwick[0];
  Sums own;
  auto at = static_cast<std::size_t>(row);
  if (row <= 0 || at >= fenwick.size()) return own;
  // Entry `row` less the entries that make up the rest of its span.
  own = fenwick[at];
  ForEachEntryBelowInSpan(at, [&](std::size_t below) { own.Subtract(fenwick[below]); });
  return own;
}

void PlacedItems::ColumnTree::LeaveFlat() {
  m_own.resize(m_nodes.size());
  for (std::size_t node = 0; node < m_nodes.size(); ++node) {
    m_own[node] = FenwickRow(m_links[node].row);
  }
  m_flat = false;
  m_fenwick = {};
  // The treap of the rows and their priorities, built left to right along
  // its right spine: the shape placing them one by one gives.
  std::vector<std::int32_t> spine;
  m_root = -1;
  for (const std::int32_t node : m_row_nodes) {
    if (node < 0) continue;
    const std::uint64_t priority = RowPriority(L(node).row);
    std::int32_t below = -1;
    while (!spine.empty() && RowPriority(L(spine.back()).row) < priority) {
      below = spine.back();
      spine.pop_back();
    }
    L(node).left = below;
    L(node).right = -1;
    if (!spine.empty()) L(spine.back()).right = node;
    spine.push_back(node);
  }
  if (!spine.empty()) m_root = spine.front();
  // Subtree totals from the leaves up: children before their parent.
  m_subtree.assign(m_nodes.size(), Sums());
  std::vector<std::pair<std::int32_t, bool>> stack;
  if (m_root >= 0) stack.emplace_back(m_root, false);
  while (!stack.empty()) {
    auto [node, children_done] = stack.back();
    stack.pop_back();
    if (children_done) {
      Recompute(node);
      continue;
    }
    stack.emplace_back(node, true);
    if (L(node).left >= 0) stack.emplace_back(L(node).left, false);
    if (L(node).right >= 0) stack.emplace_back(L(node).right, false);
  }
}

PlacedItems::Sums& PlacedItems::ColumnTree::Own(std::int32_t node, int slot) {
  if (slot == 0) return m_own[static_cast<std::size_t>(node)];
  if (At(node).ignored == kNone) {
    At(node).ignored = static_cast<std::uint32_t>(m_ignored.size());
    m_ignored.emplace_back();
  }
  return m_ignored[At(node).ignored].own;
}

PlacedItems::Sums& PlacedItems::ColumnTree::Subtree(std::int32_t node, int slot) {
  if (slot == 0) return m_subtree[static_cast<std::size_t>(node)];
  Own(node, 1);
  return m_ignored[At(node).ignored].subtree;
}

const PlacedItems::Sums* PlacedItems::ColumnTree::OwnOf(std::int32_t node, int slot) const {
  const Node& n = At(node);
  if (slot == 0) return &m_own[static_cast<std::size_t>(node)];
  return n.ignored == kNone ? nullptr : &m_ignored[n.ignored].own;
}

const PlacedItems::Sums* PlacedItems::ColumnTree::SubtreeOf(std::int32_t node, int slot) const {
  const Node& n = At(node);
  if (slot == 0) return &m_subtree[static_cast<std::size_t>(node)];
  return n.ignored == kNone ? nullptr : &m_ignored[n.ignored].subtree;
}

bool PlacedItems::ColumnTree::Held(std::int32_t node, bool drillable_only, bool subtree) const {
  const Node& n = At(node);
  const auto at = static_cast<std::size_t>(node);
  const Sums counted = subtree ? m_subtree[at] : m_flat ? FenwickRow(m_links[at].row) : m_own[at];
  std::int64_t held = drillable_only ? counted.drillable : counted.cells;
  if (n.ignored != kNone) {
    const Sums& ignored = subtree ? m_ignored[n.ignored].subtree : m_ignored[n.ignored].own;
    held += drillable_only ? ignored.drillable : ignored.cells;
  }
  return held > 0;
}

std::int32_t PlacedItems::ColumnTree::Find(std::int32_t row) const {
  // (Rows mostly come in order: one past the last has no node yet.)
  if (row > m_last_row) return -1;
  if (row >= 0 && static_cast<std::size_t>(row) < m_row_nodes.size()) {
    return m_row_nodes[static_cast<std::size_t>(row)];
  }
  std::int32_t node = m_root;
  while (node >= 0 && L(node).row != row) {
    node = row < L(node).row ? L(node).left : L(node).right;
  }
  return node;
}

std::int32_t PlacedItems::ColumnTree::Change(std::int32_t row, int slot, const Sums& remove,
                                             const Sums& add) {
  if (m_flat) {
    std::int32_t node = -1;
    if (ChangeFlat(row, slot, remove, add, node)) return node;
    LeaveFlat();
  }
  // A row already in the tree whose change adds and removes no double part
  // (every value of ordinary magnitude): add the difference along the path
  // down to it. Integer parts add exactly in any order, and the double parts
  // on the path stay as the last recomputation left them, so the totals are
  // those a recomputation would give, without the rotations and
  // recomputations of an insertion.
  if (remove.wide == 0 && add.wide == 0) {
    const std::int32_t node = Find(row);
    if (node >= 0) {
      Sums difference = add;
      difference.Subtract(remove);
      for (std::int32_t at = m_root;;) {
        Subtree(at, slot).AddExact(difference);
        if (at == node) {
          Own(at, slot).AddExact(difference);
          return node;
        }
        at = row < L(at).row ? L(at).left : L(at).right;
      }
    }
    if (!m_has_wide) return Insert(row, slot, add, remove);
  }
  if (remove.wide != 0 || add.wide != 0) m_has_wide = true;
  std::int32_t changed = -1;
  m_root = Apply(m_root, row, slot, remove, add, changed);
  return changed;
}

std::int32_t PlacedItems::ColumnTree::ChangeHeld(std::int32_t row, int slot, const Sums& remove,
                                                 const Sums& add) {
  if (m_flat || remove.wide != 0 || add.wide != 0) return Change(row, slot, remove, add);
  // As Change does for a row in the tree, in one walk down rather than a
  // look-up and then the walk.
  Sums difference = add;
  difference.Subtract(remove);
  for (std::int32_t at = m_root; at >= 0; at = row < L(at).row ? L(at).left : L(at).right) {
    Subtree(at, slot).AddExact(difference);
    if (L(at).row == row) {
      Own(at, slot).AddExact(difference);
      return at;
    }
  }
  // Not there after all: the walk is taken back and the row made.
  Sums undo;
  undo.Subtract(difference);
  for (std::int32_t at = m_root; at >= 0; at = row < L(at).row ? L(at).left : L(at).right) {
    Subtree(at, slot).AddExact(undo);
  }
  return Change(row, slot, remove, add);
}

std::int32_t PlacedItems::ColumnTree::Insert(std::int32_t row, int slot, const Sums& add,
                                             const Sums& remove) {
  // Every double part in the tree is zero, so adding the difference on the
  // way down and recomputing only the nodes a rotation moves gives the
  // totals Apply would: integer parts add exactly in any order. The shape is
  // Apply's too (a treap's shape follows from its rows and priorities).
  Sums difference = add;
  difference.Subtract(remove);
  thread_local std::vector<std::int32_t> path;
  path.clear();
  for (std::int32_t at = m_root; at >= 0; at = row < L(at).row ? L(at).left : L(at).right) {
    path.push_back(at);
    Subtree(at, slot).AddExact(difference);
  }
  const std::int32_t node = NewNode(row);
  Own(node, slot).AddExact(difference);
  Subtree(node, slot).AddExact(difference);
  if (path.empty()) {
    m_root = node;
    return node;
  }
  if (row < L(path.back()).row) {
    L(path.back()).left = node;
  } else {
    L(path.back()).right = node;
  }
  // Up while its priority beats its parent's.
  const std::uint64_t priority = RowPriority(row);
  while (!path.empty() && priority > RowPriority(L(path.back()).row)) {
    const std::int32_t parent = path.back();
    path.pop_back();
    if (L(parent).left == node) {
      RotateRight(parent);
    } else {
      RotateLeft(parent);
    }
    if (path.empty()) {
      m_root = node;
    } else if (L(path.back()).left == parent) {
      L(path.back()).left = node;
    } else {
      L(path.back()).right = node;
    }
  }
  return node;
}

std::int32_t PlacedItems::ColumnTree::Apply(std::int32_t node, std::int32_t row, int slot,
                                            const Sums& remove, const Sums& add,
                                            std::int32_t& changed) {
  if (node < 0) {
    node = NewNode(row);
  }
  const std::int32_t node_row = L(node).row;
  if (row < node_row) {
    const std::int32_t child = Apply(L(node).left, row, slot, remove, add, changed);
    L(node).left = child;
    Recompute(node);
    if (RowPriority(L(child).row) > RowPriority(node_row)) node = RotateRight(node);
  } else if (row > node_row) {
    const std::int32_t child = Apply(L(node).right, row, slot, remove, add, changed);
    L(node).right = child;
    Recompute(node);
    if (RowPriority(L(child).row) > RowPriority(node_row)) node = RotateLeft(node);
  } else {
    Sums& own = Own(node, slot);
    own.Subtract(remove);
    own.Add(add);
    changed = node;
    Recompute(node);
  }
  return node;
}

void PlacedItems::ColumnTree::Recompute(std::int32_t node) {
  for (int slot = 0; slot < 2; ++slot) {
    const Link& n = L(node);
    const Sums* left = n.left >= 0 ? SubtreeOf(n.left, slot) : nullptr;
    const Sums* own = OwnOf(node, slot);
    const Sums* right = n.right >= 0 ? SubtreeOf(n.right, slot) : nullptr;
    // Slot 1 is made only where an ignored copy lies below.
    if (!left && !own && !right) continue;
    Sums totals;
    if (left) totals.Add(*left);
    if (own) totals.Add(*own);
    if (right) totals.Add(*right);
    Subtree(node, slot) = totals;
  }
}

std::int32_t PlacedItems::ColumnTree::RotateRight(std::int32_t node) {
  const std::int32_t top = L(node).left;
  L(node).left = L(top).right;
  L(top).right = node;
  Recompute(node);
  Recompute(top);
  return top;
}

std::int32_t PlacedItems::ColumnTree::RotateLeft(std::int32_t node) {
  const std::int32_t top = L(node).right;
  L(node).right = L(top).left;
  L(top).left = node;
  Recompute(node);
  Recompute(top);
  return top;
}

void PlacedItems::ColumnTree::AddTotals(std::int32_t first_row, std::int32_t last_row, int slot,
                                        RangeTotals& into) const {
  if (m_flat) {
    // Rows below 1 or past the table hold nothing.
    const std::vector<Sums>& fenwick = m_fenwick[static_cast<std::size_t>(slot)];
    if (last_row < 1 || first_row > m_last_row || fenwick.empty()) return;
    // Rows 1 to `high` less rows 1 to `low`: both walks end in the same
    // entries, which are left out, so a narrow window reads few entries.
    auto high = std::min(static_cast<std::size_t>(last_row), fenwick.size() - 1);
    auto low = first_row > 1 ? std::min(static_cast<std::size_t>(first_row - 1), high) : 0;
    Sums totals;
    while (high != low) {
      if (high > low) {
        totals.AddExact(fenwick[high]);
        high &= high - 1;
      } else {
        totals.Subtract(fenwick[low]);
        low &= low - 1;
      }
    }
    RangeTotals range;
    totals.AddTo(range);
    into += range;
    return;
  }
  RangeTotals totals;
  const auto add = [&totals](const Sums* sums) {
    if (sums) sums->AddTo(totals);
  };
  // Down to the first node inside the bounds; below it the left subtree
  // holds the rows from first_row up, the right one the rows to last_row.
  std::int32_t node = m_root;
  while (node >= 0) {
    const Link& n = L(node);
    if (n.row < first_row) {
      node = n.right;
    } else if (n.row > last_row) {
      node = n.left;
    } else {
      break;
    }
  }
  if (node < 0) {
    into += totals;
    return;
  }
  add(OwnOf(node, slot));
  for (std::int32_t at = L(node).left; at >= 0;) {
    const Link& n = L(at);
    if (n.row >= first_row) {
      add(OwnOf(at, slot));
      if (n.right >= 0) add(SubtreeOf(n.right, slot));
      at = n.left;
    } else {
      at = n.right;
    }
  }
  for (std::int32_t at = L(node).right; at >= 0;) {
    const Link& n = L(at);
    if (n.row <= last_row) {
      add(OwnOf(at, slot));
      if (n.left >= 0) add(SubtreeOf(n.left, slot));
      at = n.right;
    } else {
      at = n.left;
    }
  }
  into += totals;
}

template <typename Visit>
bool PlacedItems::ColumnTree::ForEachRow(std::int32_t first_row, std::int32_t last_row,
                                         bool drillable_only, const Visit& visit) const {
  if (m_flat) {
    // Rows dense in the table: read in order, drillable ones found through
    // the prefix counts without reading the rows between.
    const std::int32_t last = std::min(last_row, m_last_row);
    for (std::int32_t row = std::max(first_row, 1); row <= last; ++row) {
      if (drillable_only) {
        row = NextDrillable(row - 1);
        if (row > last) break;
      }
      const std::int32_t node = m_row_nodes[static_cast<std::size_t>(row)];
      if (node >= 0 && Held(node, drillable_only, false) && !visit(node)) return false;
    }
    return true;
  }
  // In order without recursion: the nodes whose left part is still to walk.
  thread_local std::vector<std::int32_t> stack;
  const std::size_t base = stack.size();
  struct Unwind {
    std::vector<std::int32_t>& stack;
    std::size_t base;
    ~Unwind() { stack.resize(base); }
  } unwind{stack, base};
  const auto descend = [&](std::int32_t node) {
    while (node >= 0 && Held(node, drillable_only, true)) {
      stack.push_back(node);
      node = L(node).row > first_row ? L(node).left : -1;
    }
  };
  descend(m_root);
  while (stack.size() > base) {
    const std::int32_t node = stack.back();
    stack.pop_back();
    const Link& n = L(node);
    if (n.row >= first_row && n.row <= last_row && Held(node, drillable_only, false) &&
        !visit(node)) {
      return false;
    }
    if (n.row < last_row) descend(n.right);
  }
  return true;
}

// ------------------------------------------------------------- NodeIds

std::size_t PlacedItems::NodeIds::Home(const void* node) const {
  auto x = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(node));
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDULL;
  x ^= x >> 33;
  return static_cast<std::size_t>(x) & (m_slots.size() - 1);
}

std::uint32_t PlacedItems::NodeIds::Find(const void* node) const {
  if (m_slots.empty() || !node) return kNone;
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t at = Home(node);; at = (at + 1) & mask) {
    const Slot& slot = m_slots[at];
    if (slot.node == node) return slot.id;
    if (!slot.node) return kNone;
  }
}

void PlacedItems::NodeIds::Reserve(std::size_t items) {
  // At most three quarters full.
  std::size_t size = std::max<std::size_t>(64, m_slots.size());
  while (items * 4 > size * 3) size *= 2;
  if (size == m_slots.size()) return;
  std::vector<Slot> old = std::move(m_slots);
  m_slots.assign(size, Slot());
  m_size = 0;
  for (const Slot& slot : old) {
    if (slot.node) Insert(slot.node, slot.id);
  }
}

void PlacedItems::NodeIds::Insert(const void* node, std::uint32_t id) {
  if ((m_size + 1) * 4 > m_slots.size() * 3) Reserve(m_size + 1);
  const std::size_t mask = m_slots.size() - 1;
  std::size_t at = Home(node);
  while (m_slots[at].node) at = (at + 1) & mask;
  m_slots[at] = Slot{node, id};
  ++m_size;
}

void PlacedItems::NodeIds::Erase(const void* node) {
  if (m_slots.empty() || !node) return;
  const std::size_t mask = m_slots.size() - 1;
  std::size_t hole = Home(node);
  while (m_slots[hole].node != node) {
    if (!m_slots[hole].node) return;
    hole = (hole + 1) & mask;
  }
  // Later slots of the run move up into the hole when their home allows.
  for (std::size_t at = (hole + 1) & mask; m_slots[at].node; at = (at + 1) & mask) {
    const std::size_t home = Home(m_slots[at].node);
    const bool stays = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
    if (stays) continue;
    m_slots[hole] = m_slots[at];
    hole = at;
  }
  m_slots[hole] = Slot();
  --m_size;
}

std::uint32_t PlacedItems::IdOf(const void* node) const {
  // Items are evaluated in the order they were placed: the entry after the
  // last one found is tried before the table.
  if (node && m_next_guess < m_entry_count && EntryAt(m_next_guess).item.Raw() == node) {
    return m_next_guess++;
  }
  const std::uint32_t id = m_by_node.Find(node);
  if (id != kNone) m_next_guess = id + 1;
  return id;
}

void PlacedItems::NodeIds::Clear() {
  m_slots.clear();
  m_slots.shrink_to_fit();
  m_size = 0;
}

// ----------------------------------------------------------- PlacedItems

std::size_t PlacedItems::CopyIdHash::operator()(const CopyId& copy) const {
  std::uint64_t x =
      (static_cast<std::uint64_t>(copy.format) << 32) ^ static_cast<std::uint32_t>(copy.orig_row);
  x ^= static_cast<std::uint64_t>(static_cast<std::uint32_t>(copy.rpt_index)) *
       0x9E3779B97F4A7C15ULL;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 29;
  return static_cast<std::size_t>(x);
}

PlacedItems::PlacedItems() = default;
PlacedItems::~PlacedItems() = default;

void PlacedItems::Reset() {
  m_chunks.clear();
  m_entry_count = 0;
  m_free.clear();
  m_by_node.Clear();
  m_next_guess = 0;
  m_format_ids.clear();
  m_latest_print.clear();
  m_several_prints.clear();
  m_foreign_prints = false;
  m_prints.clear();
  m_trees.clear();
  m_key_ids.clear();
  m_repeat_key_ids.clear();
  m_last_repeat_key = {{}, kNone};
  m_cell_copies.clear();
  m_other_cells.clear();
  m_by_copy.clear();
  m_last_copy_chain = nullptr;
  m_ignored.clear();
  m_last_format_text.clear();
  m_last_format = kNone;
  m_last_query_text.clear();
  m_last_query = kNone;
  m_ignore_list = xml::Node();
  m_ignore_last = xml::Node();
}

void PlacedItems::ReleaseItems() {
  m_by_node.Clear();
  for (std::uint32_t id = 0; id < m_entry_count; ++id) EntryAt(id).item = xml::Node();
}

std::uint32_t PlacedItems::NewEntry() {
  std::uint32_t id;
  if (!m_free.empty()) {
    id = m_free.back();
    m_free.pop_back();
    EntryAt(id) = Entry();
    return id;
  }
  id = m_entry_count++;
  if ((id >> kChunkBits) >= m_chunks.size()) {
    m_chunks.push_back(std::make_unique<Entry[]>(std::size_t{1} << kChunkBits));
  }
  return id;
}

namespace {

// Whether text holds nothing UpperCase would change.
bool IsUpperCase(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80 || (c >= 'a' && c <= 'z')) return false;
  }
  return true;
}

}  // namespace

std::uint32_t PlacedItems::FindFormat(std::string_view format) const {
  if (m_last_query != kNone && format == m_last_query_text) return m_last_query;
  const std::string_view trimmed = Trim(format);
  auto found = m_format_ids.end();
  if (IsUpperCase(trimmed)) {
    found = m_format_ids.find(trimmed);
  } else {
    found = m_format_ids.find(UpperCase(trimmed));
  }
  if (found == m_format_ids.end()) return kNone;
  m_last_query_text.assign(format);
  m_last_query = found->second;
  return found->second;
}

std::uint32_t PlacedItems::FormatId(std::string_view format, bool make) {
  if (!make) return FindFormat(format);
  const std::string_view trimmed = Trim(format);
  const std::string upper = IsUpperCase(trimmed) ? std::string(trimmed) : UpperCase(trimmed);
  const auto [at, added] =
      m_format_ids.try_emplace(upper, static_cast<std::uint32_t>(m_format_ids.size()));
  if (added) {
    m_latest_print.push_back(kNone);
    m_several_prints.push_back(false);
  }
  return at->second;
}

std::uint32_t PlacedItems::LatestPrint(std::uint32_t format) {
  std::uint32_t& latest = m_latest_print[format];
  if (latest == kNone) {
    latest = static_cast<std::uint32_t>(m_prints.size());
    m_prints.push_back(Print{format, {}});
  }
  return latest;
}

void PlacedItems::BeginPrint(std::string_view format) {
  const std::uint32_t id = FormatId(format, true);
  if (m_latest_print[id] != kNone) m_several_prints[id] = true;
  m_latest_print[id] = static_cast<std::uint32_t>(m_prints.size());
  m_prints.push_back(Print{id, {}});
}

std::uint32_t PlacedItems::PrintSeen(std::string_view format, const xml::Node& from) const {
  const std::uint32_t id = FindFormat(format);
  if (id == kNone) return kNone;
  // A format printed once whose items all hold that print: every item sees
  // it, and `from` need not be looked up.
  if (from && (m_several_prints[id] || m_foreign_prints)) {
    const std::uint32_t entry = IdOf(from.Raw());
    if (entry != kNone && EntryAt(entry).format == id) return EntryAt(entry).print;
  }
  return m_latest_print[id];
}

namespace {

template <typename Columns>
auto ColumnAt(Columns& columns, std::int32_t column) {
  return std::lower_bound(
      columns.begin(), columns.end(), column,
      [](const auto& held, std::int32_t wanted) { return held.first < wanted; });
}

}  // namespace

std::uint32_t PlacedItems::FindTree(std::uint32_t print, std::int32_t column) const {
  const auto& columns = m_prints[print].columns;
  const auto at = ColumnAt(columns, column);
  return at != columns.end() && at->first == column ? at->second : kNone;
}

std::uint32_t PlacedItems::TreeOf(std::uint32_t print, std::int32_t column) {
  auto& columns = m_prints[print].columns;
  const auto at = ColumnAt(columns, column);
  if (at != columns.end() && at->first == column) return at->second;
  const auto tree = static_cast<std::uint32_t>(m_trees.size());
  m_trees.emplace_back();
  columns.insert(at, {column, tree});
  return tree;
}

void PlacedItems::Reserve(std::string_view format,
                          const std::unordered_map<std::int32_t, std::size_t>& per_column,
                          std::size_t copies) {
  // The print a format's new items join: its latest.
  const std::uint32_t print = LatestPrint(FormatId(format, true));
  std::size_t cells = 0;
  for (const auto& [column, count] : per_column) {
    if (column <= 0) continue;
    m_trees[TreeOf(print, column)].Reserve(count);
    cells += count;
  }
  m_by_node.Reserve(m_by_node.Size() + cells * std::max<std::size_t>(copies, 1));
  if (copies == 0) return;
  m_by_copy.reserve(m_by_copy.size() + copies);
  m_cell_copies.reserve(m_cell_copies.size() + copies * cells);
}

std::uint32_t PlacedItems::KeyId(std::string_view key) {
  return m_key_ids.try_emplace(UpperCase(key), static_cast<std::uint32_t>(m_key_ids.size()))
      .first->second;
}

std::pair<std::string_view, std::uint32_t> PlacedItems::RepeatKey(std::string_view key) {
  if (key.empty()) return {{}, kNone};
  // The copies of a repeat come one after another.
  if (m_last_repeat_key.second != kNone && key == m_last_repeat_key.first) {
    return m_last_repeat_key;
  }
  const auto at =
      m_repeat_key_ids
          .try_emplace(std::string(key), static_cast<std::uint32_t>(m_repeat_key_ids.size()))
          .first;
  m_last_repeat_key = {at->first, at->second};
  return m_last_repeat_key;
}

std::uint32_t PlacedItems::RepeatKeyOf(const Copy* copy) const {
  if (!copy || copy->position <= 0 || copy->repeat_key.empty()) return kNone;
  const auto found = m_repeat_key_ids.find(copy->repeat_key);
  return found == m_repeat_key_ids.end() ? kNone : found->second;
}

PlacedItems::Chain& PlacedItems::CopyChain(const CopyId& copy) {
  // The items of a row are placed one after another.
  if (m_last_copy_chain && m_last_copy == copy) return *m_last_copy_chain;
  Chain& chain = m_by_copy[copy];
  m_last_copy = copy;
  m_last_copy_chain = &chain;
  return chain;
}

namespace {

// Reads an attribute into `value` (emptied when there is none), reusing its
// storage.
std::string_view Read(const xml::Node& item, std::string_view name, std::string& value) {
  item.ReadAttribute(name, value);
  return value;
}

}  // namespace

int PlacedItems::ItemTexts::SlotOf(std::string_view name) {
  // By length first: most of an item's attributes are of no interest here.
  switch (name.size()) {
    case 3:
      if (name == "Key") return kKey;
      return name == "Row" ? kRow : -1;
    case 5:
      return name == "Value" ? kValue : -1;
    case 6:
      return name == "RptKey" ? kRptKey : -1;
    case 7:
      if (name == "OrigFmt") return kOrigFmt;
      if (name == "OrigKey") return kOrigKey;
      if (name == "OrigRow") return kOrigRow;
      return -1;
    case 8:
      return name == "RptIndex" ? kRptIndex : -1;
    case 9:
      return name == "Evaluated" ? kEvaluated : -1;
    default:
      return -1;
  }
}

void PlacedItems::ItemTexts::Read(const xml::Node& item) {
  m_present.fill(false);
  for (std::string& text : m_texts) text.clear();
  item.VisitAttributes([this](std::string_view name, std::string_view value) {
    const int slot = SlotOf(name);
    // The first attribute of a name counts, as a lookup by name finds it.
    if (slot < 0 || m_present[static_cast<std::size_t>(slot)]) return;
    m_present[static_cast<std::size_t>(slot)] = true;
    m_texts[static_cast<std::size_t>(slot)].assign(value);
  });
}

bool PlacedItems::ReadPlace(const ItemTexts& item, Place& place) {
  if (!item.Has(ItemTexts::kOrigFmt)) return false;
  const std::string_view format = item.Of(ItemTexts::kOrigFmt);
  if (m_last_format == kNone || format != m_last_format_text) {
    m_last_format = FormatId(format, true);
    m_last_format_text = format;
  }
  place.format = m_last_format;
  std::string_view key = item.Of(ItemTexts::kOrigKey);
  if (!item.Has(ItemTexts::kOrigKey) || Trim(key).empty()) key = item.Of(ItemTexts::kKey);
  key = Trim(key);
  std::tie(place.column, place.row) = ColumnAndRow(key);
  place.key = place.column > 0 && place.row > 0 ? kNone : KeyId(key);
  place.orig_row = WholeNumber(item.Of(ItemTexts::kOrigRow)).value_or(place.row);
  const std::string_view index = item.Of(ItemTexts::kRptIndex);
  place.rpt_index = Trim(index).empty() ? 0 : WholeNumber(index).value_or(0);
  place.rpt_key = {};
  place.rpt_key_id = kNone;
  if (place.rpt_index != 0) {
    std::tie(place.rpt_key, place.rpt_key_id) = RepeatKey(item.Of(ItemTexts::kRptKey));
  }
  return true;
}

void PlacedItems::NoteForeignPrint(const Entry& entry) {
  if (m_prints[entry.print].format != entry.format) m_foreign_prints = true;
}

void PlacedItems::TakePlace(Entry& entry, const Place& place) {
  entry.format = place.format;
  entry.key = place.key;
  entry.column = place.column;
  entry.row = place.row;
  entry.orig_row = place.orig_row;
  entry.rpt_index = place.rpt_index;
  entry.rpt_key = place.rpt_key;
  entry.rpt_key_id = place.rpt_key_id;
}

void PlacedItems::TakeValue(Entry& entry, bool evaluated, std::string_view value) {
  entry.evaluated = evaluated;
  entry.number = Amount::Of(value);
  if (entry.evaluated || entry.number) {
    entry.value.assign(value);  // a short value keeps to the string's own room
  } else {
    entry.value.clear();
  }
  thread_local std::string text;
  entry.drill_key.clear();
  for (xml::Node child = entry.item.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement || !child.NameIs("Drill")) continue;
    if (Trim(Read(child, "On", text)) == "-1") child.ReadAttribute("Key", entry.drill_key);
    break;
  }
}

bool PlacedItems::ReadValue(Entry& entry, const ItemTexts& texts) {
  TakeValue(entry, Trim(texts.Of(ItemTexts::kEvaluated)) == "-1", texts.Of(ItemTexts::kValue));
  return texts.Has(ItemTexts::kEvaluated);
}

PlacedItems::Sums PlacedItems::ContributionOf(const Entry& entry) {
  Sums contribution;
  contribution.cells = 1;
  if (entry.number) {
    contribution.Nanos(entry.number->nanos);
    contribution.wide = entry.number->wide;
    contribution.overflows = static_cast<std::int32_t>(entry.number->overflows);
    contribution.numbers = 1;
  }
  contribution.pending = entry.evaluated ? 0 : 1;
  contribution.drillable = entry.drill_key.empty() ? 0 : 1;
  return contribution;
}

void PlacedItems::Add(std::uint32_t id) {
  Entry& entry = EntryAt(id);
  const CopyId copy{entry.format, entry.orig_row, entry.rpt_index};
  entry.ignored = !m_ignored.empty() && m_ignored.count(copy) > 0;
  Append(CopyChain(copy), id, &Entry::in_copy);
  entry.tree = kNone;
  if (entry.column > 0 && entry.row > 0) {
    entry.tree = TreeOf(entry.print, entry.column);
    ColumnTree& tree = m_trees[entry.tree];
    const std::int32_t node =
        tree.Change(entry.row, entry.ignored ? 1 : 0, Sums(), ContributionOf(entry));
    Chain& cell = tree.CellOf(node);
    std::uint32_t& copies = tree.CopiesOf(node);
    const std::uint32_t mine = entry.rpt_index != 0 ? entry.rpt_key_id : kNone;
    if (cell.first == kNone) {
      copies = mine;
    } else if (copies != mine) {
      copies = kMixed;
    }
    Append(cell, id, &Entry::in_cell);
    if (entry.rpt_index != 0) {
      Append(m_cell_copies[CellCopy{entry.tree, entry.row, entry.rpt_index}], id,
             &Entry::in_cell_copy);
    }
  } else {
    Append(m_other_cells[OtherCellId(entry.print, entry.key)], id, &Entry::in_cell);
  }
}

void PlacedItems::Forget(std::uint32_t id) {
  Entry& entry = EntryAt(id);
  if (entry.tree != kNone) {
    ColumnTree& tree = m_trees[entry.tree];
    const std::int32_t node =
        tree.Change(entry.row, entry.ignored ? 1 : 0, ContributionOf(entry), Sums());
    Unlink(tree.CellOf(node), id, &Entry::in_cell);
    if (entry.rpt_index != 0) {
      const auto copies = m_cell_copies.find(CellCopy{entry.tree, entry.row, entry.rpt_index});
      if (copies != m_cell_copies.end() && Unlink(copies->second, id, &Entry::in_cell_copy)) {
        m_cell_copies.erase(copies);
      }
    }
  } else {
    const auto found = m_other_cells.find(OtherCellId(entry.print, entry.key));
    if (found != m_other_cells.end() && Unlink(found->second, id, &Entry::in_cell)) {
      m_other_cells.erase(found);
    }
  }
  const auto found = m_by_copy.find(CopyId{entry.format, entry.orig_row, entry.rpt_index});
  if (found != m_by_copy.end() && Unlink(found->second, id, &Entry::in_copy)) {
    m_by_copy.erase(found);
    m_last_copy_chain = nullptr;
  }
}

void PlacedItems::Append(Chain& chain, std::uint32_t id, Links Entry::*links) {
  Links& own = EntryAt(id).*links;
  own.previous = chain.last;
  own.next = kNone;
  if (chain.last == kNone) {
    chain.first = id;
  } else {
    (EntryAt(chain.last).*links).next = id;
  }
  chain.last = id;
}

bool PlacedItems::Unlink(Chain& chain, std::uint32_t id, Links Entry::*links) {
  Links& own = EntryAt(id).*links;
  // Only an entry of this chain is taken out of it.
  if (own.previous == kNone ? chain.first != id : (EntryAt(own.previous).*links).next != id) {
    return chain.first == kNone;
  }
  if (own.previous == kNone) {
    chain.first = own.next;
  } else {
    (EntryAt(own.previous).*links).next = own.next;
  }
  if (own.next == kNone) {
    chain.last = own.previous;
  } else {
    (EntryAt(own.next).*links).previous = own.previous;
  }
  own = Links();
  return chain.first == kNone;
}

template <typename Visit>
bool PlacedItems::ForEachInCell(const Chain& chain, const Visit& visit, Links Entry::*links) const {
  for (std::uint32_t id = chain.first; id != kNone;) {
    const Entry& entry = EntryAt(id);
    id = (entry.*links).next;
    if (!visit(entry)) return false;
  }
  return true;
}

template <typename Visit>
bool PlacedItems::ForEachInContext(const ColumnTree& tree, std::uint32_t tree_id, std::int32_t node,
                                   std::uint32_t copy_key, const Copy* copy,
                                   const Visit& visit) const {
  if (copy_key != kNone && tree.CopiesOf(node) == copy_key) {
    // Every item of the cell is a copy of the repeat asked from: its
    // position's items are the ones the reference sees.
    const auto found = m_cell_copies.find(CellCopy{tree_id, tree.RowOf(node), copy->position});
    return found == m_cell_copies.end() ||
           ForEachInCell(found->second, visit, &Entry::in_cell_copy);
  }
  return ForEachInCell(tree.CellOf(node), visit);
}

void PlacedItems::Placed(const xml::Node& item, const xml::Node& replaced) {
  // An item taking an indexed item's place takes its print.
  std::uint32_t inherited = kNone;
  if (replaced && !(replaced == item)) {
    const std::uint32_t found = m_by_node.Find(replaced.Raw());
    if (found != kNone) inherited = EntryAt(found).print;
    Removed(replaced);
  }
  if (!item) return;
  if (const std::uint32_t id = m_by_node.Find(item.Raw()); id != kNone) {
    Refresh(id);
    return;
  }
  m_texts.Read(item);
  PlaceNew(item, m_texts, inherited);
}

void PlacedItems::Placed(const xml::Node& item, const ItemTexts& texts) {
  if (!item) return;
  if (const std::uint32_t id = m_by_node.Find(item.Raw()); id != kNone) {
    Refresh(id);
    return;
  }
  PlaceNew(item, texts, kNone);
}

void PlacedItems::PlaceNew(const xml::Node& item, const ItemTexts& texts, std::uint32_t print) {
  Place place;
  if (!ReadPlace(texts, place)) return;
  const std::uint32_t id = NewEntry();
  Entry& entry = EntryAt(id);
  entry.item = item;
  TakePlace(entry, place);
  entry.complete = ReadValue(entry, texts);
  entry.print = print != kNone ? print : LatestPrint(entry.format);
  NoteForeignPrint(entry);
  m_by_node.Insert(item.Raw(), id);
  Add(id);
}

std::uint32_t PlacedItems::CompleteEntryOf(const xml::Node& item) {
  if (!item) return kNone;
  const std::uint32_t id = IdOf(item.Raw());
  if (id == kNone) return kNone;
  if (!EntryAt(id).complete) {
    // Its bookkeeping may have been written since.
    Refresh(id);
    return kNone;
  }
  return id;
}

void PlacedItems::ValueChanged(const xml::Node& item) {
  const std::uint32_t id = CompleteEntryOf(item);
  if (id == kNone) return;
  // Two lookups by name: both attributes stand early in an item's list.
  thread_local std::string state;
  thread_local std::string value;
  item.ReadAttribute("Evaluated", state);
  item.ReadAttribute("Value", value);
  NewValue(id, Trim(state) == "-1", value);
}

void PlacedItems::ValueChanged(const xml::Node& item, std::string_view value, bool evaluated) {
  const std::uint32_t id = CompleteEntryOf(item);
  if (id == kNone) return;
  NewValue(id, evaluated, value);
}

void PlacedItems::NewValue(std::uint32_t id, bool evaluated, std::string_view value) {
  // The usual case, an item evaluated where it stands: only its
  // contribution to its row changes.
  Entry& entry = EntryAt(id);
  const Sums before = ContributionOf(entry);
  TakeValue(entry, evaluated, value);
  if (entry.tree == kNone) return;
  const Sums after = ContributionOf(entry);
  if (before.SameAs(after)) return;  // evaluated again to the same value
  m_trees[entry.tree].ChangeHeld(entry.row, entry.ignored ? 1 : 0, before, after);
}

void PlacedItems::Refresh(std::uint32_t id) {
  Entry& entry = EntryAt(id);
  m_texts.Read(entry.item);
  Place place;
  if (!ReadPlace(m_texts, place)) {
    // No longer referable.
    Removed(xml::Node(entry.item));
    return;
  }
  if (place.format == entry.format && place.key == entry.key && place.column == entry.column &&
      place.row == entry.row && place.orig_row == entry.orig_row &&
      place.rpt_index == entry.rpt_index && place.rpt_key_id == entry.rpt_key_id) {
    entry.complete = m_texts.Has(ItemTexts::kEvaluated);
    NewValue(id, Trim(m_texts.Of(ItemTexts::kEvaluated)) == "-1", m_texts.Of(ItemTexts::kValue));
    return;
  }
  Forget(id);
  TakePlace(entry, place);
  NoteForeignPrint(entry);
  entry.complete = ReadValue(entry, m_texts);
  Add(id);
}

void PlacedItems::Removed(const xml::Node& item) {
  if (!item) return;
  const std::uint32_t id = IdOf(item.Raw());
  if (id == kNone) return;
  Forget(id);
  m_by_node.Erase(item.Raw());
  EntryAt(id) = Entry();
  m_free.push_back(id);
}

void PlacedItems::RowRemoved(const xml::Node& row) {
  if (!row) return;
  for (xml::Node child = row.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.NameIs("Itm")) Removed(child);
  }
}

void PlacedItems::RowIgnored(std::string_view format, std::int32_t orig_row,
                             std::int32_t rpt_index) {
  const CopyId copy{FormatId(format, true), orig_row, rpt_index};
  if (!m_ignored.insert(copy).second) return;
  const auto found = m_by_copy.find(copy);
  if (found == m_by_copy.end()) return;
  for (std::uint32_t id = found->second.first; id != kNone; id = EntryAt(id).in_copy.next) {
    Entry& entry = EntryAt(id);
    if (entry.ignored) continue;
    entry.ignored = true;
    if (entry.tree == kNone) continue;
    const Sums contribution = ContributionOf(entry);
    m_trees[entry.tree].Change(entry.row, 0, contribution, Sums());
    m_trees[entry.tree].Change(entry.row, 1, Sums(), contribution);
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
  const std::uint32_t id = FindFormat(format);
  return id != kNone && m_ignored.count(CopyId{id, orig_row, rpt_index}) > 0;
}

std::vector<const PlacedItems::Instance*> PlacedItems::Instances(std::string_view format,
                                                                 std::string_view key,
                                                                 const xml::Node& from,
                                                                 const Copy* copy) const {
  std::vector<const Instance*> instances;
  const std::uint32_t print = PrintSeen(format, from);
  if (print == kNone) return instances;
  const auto collect = [&instances](const Entry& entry) {
    instances.push_back(&entry);
    return true;
  };
  key = Trim(key);
  const auto [column, row] = ColumnAndRow(key);
  if (column > 0 && row > 0) {
    // Not made: a print's trees are only read here.
    const std::uint32_t tree = FindTree(print, column);
    if (tree == kNone) return instances;
    const std::int32_t node = m_trees[tree].Find(row);
    if (node >= 0) ForEachInContext(m_trees[tree], tree, node, RepeatKeyOf(copy), copy, collect);
    return instances;
  }
  const auto found = m_key_ids.find(UpperCase(key));
  if (found == m_key_ids.end()) return instances;
  const auto cell = m_other_cells.find(OtherCellId(print, found->second));
  if (cell != m_other_cells.end()) ForEachInCell(cell->second, collect);
  return instances;
}

PlacedItems::RangeTotals PlacedItems::Totals(std::string_view format, std::int32_t first_column,
                                             std::int32_t last_column, std::int32_t first_row,
                                             std::int32_t last_row, bool include_ignored,
                                             const xml::Node& from) const {
  RangeTotals totals;
  const std::uint32_t print = PrintSeen(format, from);
  if (print == kNone) return totals;
  if (first_column > last_column) std::swap(first_column, last_column);
  if (first_row > last_row) std::swap(first_row, last_row);
  const auto& columns = m_prints[print].columns;
  for (auto at = std::lower_bound(columns.begin(), columns.end(),
                                  std::make_pair(first_column, std::uint32_t{0}));
       at != columns.end() && at->first <= last_column; ++at) {
    m_trees[at->second].AddTotals(first_row, last_row, 0, totals);
    if (include_ignored) m_trees[at->second].AddTotals(first_row, last_row, 1, totals);
  }
  return totals;
}

void PlacedItems::ForEachInRange(std::string_view format, std::int32_t first_column,
                                 std::int32_t last_column, std::int32_t first_row,
                                 std::int32_t last_row, bool drillable_only,
                                 const std::function<bool(const Instance&)>& visit,
                                 const xml::Node& from, const Copy* copy) const {
  const std::uint32_t print = PrintSeen(format, from);
  const std::uint32_t copy_key = RepeatKeyOf(copy);
  if (print == kNone) return;
  if (first_column > last_column) std::swap(first_column, last_column);
  if (first_row > last_row) std::swap(first_row, last_row);
  const auto& columns = m_prints[print].columns;
  for (auto at = std::lower_bound(columns.begin(), columns.end(),
                                  std::make_pair(first_column, std::uint32_t{0}));
       at != columns.end() && at->first <= last_column; ++at) {
    const ColumnTree& tree = m_trees[at->second];
    const bool go_on = tree.ForEachRow(first_row, last_row, drillable_only, [&](std::int32_t node) {
      return ForEachInContext(tree, at->second, node, copy_key, copy, [&](const Entry& entry) {
        if (drillable_only && entry.drill_key.empty()) return true;
        return visit(entry);
      });
    });
    if (!go_on) return;
  }
}

}  // namespace orvo
