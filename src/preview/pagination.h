// What a report build records for the host to paginate with, as far as the
// build pipeline writes it: page setups (PgB in PgBks), the closing of
// header and footer ranges, space fillers (SF), the shifts when body rows
// are deleted, and the tidy at the end of a build.
//
// Page setup records hold margins in pixels (96 per inch): a margin written
// as "!" is the printer's (millimetres x 3.779524), or when there is no
// printer setting, or it is 0, the default (94.48809 for top and bottom,
// 71.81095 for left and right); any other text is copied as written.
//
// Threading: one thread (the builder's).
#ifndef ORVO_PREVIEW_PAGINATION_H_
#define ORVO_PREVIEW_PAGINATION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/int16.h"
#include "orvo/xml.h"

namespace orvo {

struct BuilderState;

// Writes a PgB for body row `row` from page setup element `setup` (one with
// Ovr 0, or a null one, stands for the setup of the nearest enclosing group
// that has its own, else the report's) with orientation `orientation`,
// replacing a PgB of the same row. With `close`, the current header and
// footer range is closed (CloseHeaderFooterRange).
void WritePageSetup(BuilderState& builder, const xml::Node& setup, std::int32_t row,
                    Int16 orientation, bool close);

// Hands the header and footer rows gathered since the last close, as preview
// documents, to the header and footer collections for the body rows up to
// the body's MRow, with the header and footer space fillers; then starts new
// empty header and footer results and filler lists.
void CloseHeaderFooterRange(BuilderState& builder);

// A format's space-filler definition: the column of its first item with a
// non-empty SpFl child, the text of that item's fifth child as the width,
// and whether that child carries PtLs.
struct SpaceFillerDefinition {
  std::string column;
  std::string width;
  bool portscape = false;
};
std::optional<SpaceFillerDefinition> FindSpaceFiller(const xml::Node& format);

// Appends an SF for rows `first` to `last` to `fillers` when there is a
// definition.
void RecordSpaceFiller(BuilderState& builder, const std::optional<SpaceFillerDefinition>& filler,
                       std::int32_t first, std::int32_t last, const xml::Node& fillers);

// Body row `row` is deleted: page setups and space fillers after it move up,
// and the header and footer ranges shift.
void ShiftForDeletedRow(BuilderState& builder, std::int32_t row);
// Body row `row` leaves its kept sections: sections after it move up, and
// sections that hold or end after it lose a row at their end.
void ShiftKeptSections(BuilderState& builder, std::int32_t row);

// The shifts of the row deletion at the end of a build, gathered while
// rows are deleted from the highest row to the lowest and applied at once:
// each record list is walked once and each number moves by the count of
// deleted rows below it (found by binary search), which is what deleting
// the rows one by one from the top gives. So deleting k rows costs
// O((n + k) log k) for n records, not k x n. Rows given in any other order
// are applied one by one, as the per-row shifts above would.
class RowDeletionShifts {
 public:
  // Body row `row` is deleted: the header and footer ranges shift now, page
  // setups and space fillers when the shifts are applied.
  void RowDeleted(std::int32_t row);
  // Body row `row` leaves its kept sections (its Keep flag).
  void RowLeftKeptSections(std::int32_t row);
  // Moves PgB Row, SF Start and End (in SpFs, SpFsH, SpFsF) and Sect Start
  // and End of the thread's preview state.
  void Apply() const;

 private:
  std::vector<std::int32_t> m_deleted;  // in the order deleted
  std::vector<std::int32_t> m_kept;
};

// The end of a build: a PgB of row 1 takes the place of the PgB of row 0;
// kept sections are cut at the body's last row (removed when they start
// after it).
void TidyPageSetups(BuilderState& builder);
void ClipKeptSections(BuilderState& builder);

}  // namespace orvo

#endif  // ORVO_PREVIEW_PAGINATION_H_
