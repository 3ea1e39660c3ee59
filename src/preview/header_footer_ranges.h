// The range table of cHeaderFooter: ranges of body rows (Start, End, Index),
// in the order they were added, with the two operations the collection runs
// per row: find the first range holding a row, and shift every range for a
// deleted row.
//
// A deleted row moves every start after it and every end at or after it up
// one row. Both moves keep the order of the values they touch, so starts
// sorted by value stay sorted, and a deletion shifts a suffix of that order;
// the same holds for ends. Each order keeps its shifts in a Fenwick tree of
// suffix decrements, so a deletion costs O(log² n) and reading a value
// O(log n). Ranges added since the last lookup or deletion are sorted in on
// the next one.
//
// The ranges that held at least one row when they were added ("live"
// ranges) normally follow each other: each starts after the previous one
// ends. Deletions keep that (a range may become empty, never overlap its
// neighbour), so the first range holding a row is found by binary search
// over the live ranges' ends. A range added out of that order switches the
// table to scanning for good.
#ifndef ORVO_PREVIEW_HEADER_FOOTER_RANGES_H_
#define ORVO_PREVIEW_HEADER_FOOTER_RANGES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvo::detail {

class HeaderFooterRanges {
 public:
  // Appends a range; `start` and `end` must be 32-bit values.
  void Append(std::int64_t start, std::int64_t end, std::string index);

  std::size_t Size() const noexcept { return m_indexes.size(); }
  bool Empty() const noexcept { return m_indexes.empty(); }
  std::int64_t Start(std::size_t position) const;
  std::int64_t End(std::size_t position) const;
  const std::string& Index(std::size_t position) const { return m_indexes[position]; }

  // The position of the first range (in the order added) with
  // Start <= row <= End, or none.
  std::optional<std::size_t> FirstHolding(std::int64_t row);
  // Start - 1 for every Start > row, End - 1 for every End >= row. An end
  // that would leave the 32-bit range raises the overflow failure first.
  void DeleteRow(std::int64_t row);

 private:
  // The positions of the ranges sorted by one of their values, and the
  // shifts applied to that value since the order was built.
  class ShiftedOrder {
   public:
    // Sorts positions 0..values.size()-1 by value (stable) and clears the shifts.
    void Build(const std::vector<std::int64_t>& values);
    // The shift of the value at `position`.
    std::int64_t ShiftOf(std::size_t position) const;
    // The rank (index in the sorted order) of the first position whose
    // value satisfies `above` (a predicate true for a suffix of the order).
    template <class Above>
    std::size_t FirstRankWhere(const std::vector<std::int64_t>& base, Above above) const;
    // Subtracts 1 from the values of ranks `rank` and after.
    void DecrementFrom(std::size_t rank);
    std::size_t PositionAt(std::size_t rank) const { return m_sorted[rank]; }
    std::size_t Count() const noexcept { return m_sorted.size(); }
    bool Shifted() const noexcept { return m_shifted; }

   private:
    std::int64_t ShiftAtRank(std::size_t rank) const;

    std::vector<std::size_t> m_sorted;    // rank -> position
    std::vector<std::size_t> m_rank;      // position -> rank
    std::vector<std::int64_t> m_fenwick;  // difference array of the shifts, 1-based
    bool m_shifted = false;
  };

  // Sorts ranges added since the last build into both orders.
  void EnsureOrdered();
  // Writes the current values into the base values and drops both orders.
  void ApplyShifts();
  std::int64_t Current(const std::vector<std::int64_t>& base, const ShiftedOrder& order,
                       std::size_t position) const;

  std::vector<std::string> m_indexes;  // by position
  std::vector<std::int64_t> m_starts;  // base values, by position
  std::vector<std::int64_t> m_ends;
  ShiftedOrder m_start_order;
  ShiftedOrder m_end_order;
  // The orders cover the first m_ordered ranges; the rest have no shift.
  std::size_t m_ordered = 0;
  std::vector<std::size_t> m_live;  // positions of the live ranges, in order
  bool m_in_sequence = true;
};

}  // namespace orvo::detail

#endif  // ORVO_PREVIEW_HEADER_FOOTER_RANGES_H_
