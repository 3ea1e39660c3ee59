#include "preview/header_footer_ranges.h"

#include <algorithm>
#include <numeric>

#include "orvo/error.h"

namespace orvo::detail {

void HeaderFooterRanges::ShiftedOrder::Build(const std::vector<std::int64_t>& values) {
  m_sorted.resize(values.size());
  std::iota(m_sorted.begin(), m_sorted.end(), std::size_t{0});
  std::stable_sort(m_sorted.begin(), m_sorted.end(),
                   [&values](std::size_t a, std::size_t b) { return values[a] < values[b]; });
  m_rank.resize(values.size());
  for (std::size_t rank = 0; rank < m_sorted.size(); ++rank) m_rank[m_sorted[rank]] = rank;
  m_fenwick.assign(values.size() + 1, 0);
  m_shifted = false;
}

std::int64_t HeaderFooterRanges::ShiftedOrder::ShiftAtRank(std::size_t rank) const {
  std::int64_t shift = 0;
  for (std::size_t i = rank + 1; i > 0; i -= i & (~i + 1)) shift += m_fenwick[i];
  return shift;
}

std::int64_t HeaderFooterRanges::ShiftedOrder::ShiftOf(std::size_t position) const {
  return m_shifted ? ShiftAtRank(m_rank[position]) : 0;
}

template <class Above>
std::size_t HeaderFooterRanges::ShiftedOrder::FirstRankWhere(const std::vector<std::int64_t>& base,
                                                             Above above) const {
  std::size_t low = 0;
  std::size_t high = m_sorted.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    const std::int64_t value = base[m_sorted[middle]] + (m_shifted ? ShiftAtRank(middle) : 0);
    if (above(value)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

void HeaderFooterRanges::ShiftedOrder::DecrementFrom(std::size_t rank) {
  const std::size_t size = m_sorted.size();
  if (rank >= size) return;
  for (std::size_t i = rank + 1; i <= size; i += i & (~i + 1)) m_fenwick[i] -= 1;
  m_shifted = true;
}

std::int64_t HeaderFooterRanges::Current(const std::vector<std::int64_t>& base,
                                         const ShiftedOrder& order, std::size_t position) const {
  return base[position] + (position < m_ordered ? order.ShiftOf(position) : 0);
}

std::int64_t HeaderFooterRanges::Start(std::size_t position) const {
  return Current(m_starts, m_start_order, position);
}

std::int64_t HeaderFooterRanges::End(std::size_t position) const {
  return Current(m_ends, m_end_order, position);
}

void HeaderFooterRanges::ApplyShifts() {
  if (!m_start_order.Shifted() && !m_end_order.Shifted()) return;
  for (std::size_t position = 0; position < m_ordered; ++position) {
    m_starts[position] += m_start_order.ShiftOf(position);
    m_ends[position] += m_end_order.ShiftOf(position);
  }
  m_start_order.Build({});
  m_end_order.Build({});
  m_ordered = 0;
}

void HeaderFooterRanges::Append(std::int64_t start, std::int64_t end, std::string index) {
  // The values already in the table become plain numbers again, so the new
  // range needs no shift of its own.
  ApplyShifts();
  if (start <= end) {
    if (!m_live.empty() && start <= End(m_live.back())) m_in_sequence = false;
    m_live.push_back(m_indexes.size());
  }
  m_indexes.push_back(std::move(index));
  m_starts.push_back(start);
  m_ends.push_back(end);
}

void HeaderFooterRanges::EnsureOrdered() {
  if (m_ordered == m_indexes.size()) return;
  ApplyShifts();
  m_start_order.Build(m_starts);
  m_end_order.Build(m_ends);
  m_ordered = m_indexes.size();
}

std::optional<std::size_t> HeaderFooterRanges::FirstHolding(std::int64_t row) {
  if (m_in_sequence) {
    // Live ranges follow each other, so only the first one ending at or
    // after the row can hold it; empty ranges hold nothing.
    EnsureOrdered();
    const auto candidate = std::partition_point(
        m_live.begin(), m_live.end(), [&](std::size_t position) { return End(position) < row; });
    if (candidate != m_live.end() && Start(*candidate) <= row) return *candidate;
    return std::nullopt;
  }
  for (std::size_t position = 0; position < m_indexes.size(); ++position) {
    if (Start(position) <= row && End(position) >= row) return position;
  }
  return std::nullopt;
}

void HeaderFooterRanges::DeleteRow(std::int64_t row) {
  if (m_indexes.empty()) return;
  EnsureOrdered();
  // The smallest end moves when it is at or after the row.
  if (row <= INT32_MIN && End(m_end_order.PositionAt(0)) <= INT32_MIN) RaiseOverflow();
  m_start_order.DecrementFrom(
      m_start_order.FirstRankWhere(m_starts, [row](std::int64_t start) { return start > row; }));
  m_end_order.DecrementFrom(
      m_end_order.FirstRankWhere(m_ends, [row](std::int64_t end) { return end >= row; }));
}

}  // namespace orvo::detail
