// cHeaderFooter: the header (or footer) blocks of a preview and the body
// rows each applies to.
//
// The preview builder gathers header rows in a header result format and, at
// every page-setup change that closes a range, hands the transformed block
// to the collection with the last body row it applies to. Blocks are filed
// under keys "HF_0", "HF_1", ... in the order they are added; a range runs
// from one row after the previous call's row up to the call's own row.
//
// Ranges shift with the body when the builder deletes rows (DeleteRow).
//
// Threading: one thread (the builder's).
#ifndef ORVO_HEADER_FOOTER_H_
#define ORVO_HEADER_FOOTER_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

class cHeaderFooter {
 public:
  // Files `HeaderFooter` with its space-filler list for the rows from the
  // next start row up to `RowNumber`, unless the block is null or
  // `RowNumber` is 0. In every case the next range starts at RowNumber + 1.
  void AddHeaderFooter(std::int32_t RowNumber, const xml::Node& HeaderFooter,
                       const xml::Node& SpaceFillers);
  // Body row `RowNumber` was deleted: ranges after it move up one row, and a
  // range that holds or ends after it loses one row at its end.
  void DeleteRow(std::int32_t RowNumber);
  // A detached element named `tagName` holding, per range in the order
  // added, a deep copy of its block with the attributes Start and End.
  xml::Node GetAsXML(const std::string& tagName) const;

  // Stored for the caller; the collection does not read it.
  bool IsFooter() const noexcept { return m_is_footer; }
  void IsFooter(bool value) noexcept { m_is_footer = value; }

 private:
  struct Range {
    std::int32_t start;
    std::int32_t end;
    std::string index;  // the block's key
  };

  std::vector<Range> m_ranges;
  std::unordered_map<std::string, std::size_t> m_slots;  // key -> 1-based slot
  std::vector<xml::Node> m_blocks;                        // slot n at [n - 1]
  std::vector<xml::Node> m_space_fillers;
  std::int64_t m_key_counter = 0;
  std::int32_t m_next_start = 0;
  bool m_is_footer = false;
};

}  // namespace orvo

#endif  // ORVO_HEADER_FOOTER_H_
