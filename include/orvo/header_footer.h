// cHeaderFooter: the header (or footer) blocks of a preview and the body
// rows each applies to.
//
// The preview builder gathers header rows in a header result format and, at
// every page-setup change that closes a range, hands the transformed block
// and its space-filler list to the collection with the last body row it
// applies to (AddHeaderFooter). Blocks are filed under keys "HF_0", "HF_1",
// ... in the order they are added; a range runs from one row after the
// previous call's row up to the call's own row, so the first block covers
// the rows from 0. A host asks, for a body row, which block goes with it
// (ItemForRow) and then for that block's space fillers (SpaceFillerForRow).
// When the builder deletes a body row, every range shifts with the body
// (DeleteRow).
//
// Invariants: ranges keep the order in which they were added, and the first
// range holding a row answers for it. Looking up a row and deleting a row
// cost O(log² n) for n ranges as long as each block is added for a row at or
// after the previous one (as the builder does); ranges added out of order
// are still answered correctly, by a scan.
//
// Ownership: the collection holds the block and list nodes it is given and
// hands out the stored block itself from ItemForRow; GetAsXML and
// SpaceFillerForRow hand out deep copies. Rows are 32-bit; a range start that
// would leave the 32-bit range raises the overflow failure.
//
// Threading: one thread (the builder's, then the host's).
#ifndef ORVO_HEADER_FOOTER_H_
#define ORVO_HEADER_FOOTER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

namespace detail {
class HeaderFooterRanges;
}  // namespace detail

class cHeaderFooter {
 public:
  cHeaderFooter();
  cHeaderFooter(const cHeaderFooter&) = delete;
  cHeaderFooter& operator=(const cHeaderFooter&) = delete;
  cHeaderFooter(cHeaderFooter&&) noexcept;
  cHeaderFooter& operator=(cHeaderFooter&&) noexcept;
  ~cHeaderFooter();

  // The block that applies to body row `RowNumber` (row 0 is asked as row
  // 1): the stored element of the first range holding the row, or null when
  // none does or the block's first child has no rows. Caches the space
  // fillers of the range found (even when its block has no rows), or none.
  xml::Node ItemForRow(std::int32_t RowNumber);
  // A deep copy of the space fillers cached by the last ItemForRow, or null.
  xml::Node SpaceFillerForRow() const;
  // Files `HeaderFooter` with its space-filler list for the rows from the
  // next start row up to `RowNumber`, unless the block is null or
  // `RowNumber` is 0. In every case the next range starts at RowNumber + 1.
  void AddHeaderFooter(std::int32_t RowNumber, const xml::Node& HeaderFooter,
                       const xml::Node& SpaceFillers);
  // Body row `RowNumber` was deleted: a range start after it moves up one
  // row, and a range end at or after it moves up one row.
  void DeleteRow(std::int32_t RowNumber);
  // A detached element named `tagName` holding, per range in the order
  // added, a deep copy of its block with the attributes Start and End.
  xml::Node GetAsXML(const std::string& tagName) const;

  // Stored for the caller; the collection does not read it.
  bool IsFooter() const noexcept { return m_is_footer; }
  void IsFooter(bool value) noexcept { m_is_footer = value; }

 private:
  std::unique_ptr<detail::HeaderFooterRanges> m_ranges;
  std::unordered_map<std::string, std::size_t> m_slots;  // key -> 1-based slot
  std::vector<xml::Node> m_blocks;                       // slot n at [n - 1]
  std::vector<xml::Node> m_space_fillers;
  std::int64_t m_key_counter = 0;
  std::int64_t m_next_start = 0;
  xml::Node m_cached_space_fillers;
  bool m_is_footer = false;
};

}  // namespace orvo

#endif  // ORVO_HEADER_FOOTER_H_
