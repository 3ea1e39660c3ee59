// A format that receives evaluated items: the body, header and footer
// results of a build, and each format while it is being evaluated.
//
// The element is the XML the host sees (Fmt with MRow and MCol, its Itms
// holding Row elements of Itm elements). ResultFormat keeps the rows in a
// vector (row r at [r - 1]) and MRow and MCol as numbers, in step with the
// XML, so placing an item, appending rows and finding the r-th row cost the
// same at row 10 as at row 40,000. Every change goes through this class.
//
// Whoever indexes placed items (for cell references) is told, through the
// PlacementObserver given at construction, of the items a result holds when
// it is taken, of every item PlaceItem puts in or takes out, and of every
// row that leaves it. Rows moved from one result to another are not
// announced: their items stay the same nodes.
//
// Threading: one thread.
#ifndef ORVO_PREVIEW_RESULT_FORMAT_H_
#define ORVO_PREVIEW_RESULT_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

class PlacementObserver {
 public:
  virtual ~PlacementObserver() = default;
  // `item` now stands in `format` (in place of `replaced`, null when it was
  // added).
  virtual void ItemPlaced(const xml::Node& format, const xml::Node& item,
                          const xml::Node& replaced) = 0;
  // Row element `row` (the row-th) of `format` was removed.
  virtual void RowDeleted(const xml::Node& format, std::int32_t number, const xml::Node& row) = 0;
  // A RowIgn record was added to the rows to ignore.
  virtual void RowIgnored(const xml::Node& record) = 0;
};

class ResultFormat {
 public:
  // Takes `format` (a Fmt element) as it is: its Itms child (created when
  // missing), its rows and its MRow and MCol (text that is no whole number
  // reads as 0). Every item it already holds is announced as placed, unless
  // `announce_items` is false because whoever made the rows announced each
  // item already (while it was still in the cache). Its rows are numbered
  // from `row_base` + 1: a format being evaluated numbers its rows as the
  // rows they will be in the result that receives them.
  ResultFormat(xml::Node format, PlacementObserver* observer, std::int32_t row_base = 0,
               const std::function<void()>& between = {}, bool announce_items = true);

  ResultFormat(const ResultFormat&) = delete;
  ResultFormat& operator=(const ResultFormat&) = delete;

  const xml::Node& Element() const { return m_format; }
  const xml::Node& Items() const { return m_items; }

  std::int32_t MaxRow() const { return m_max_row; }
  std::int32_t MaxColumn() const { return m_max_column; }
  void MaxRow(std::int32_t row);
  void MaxColumn(std::int32_t column);

  // The number of rows and the row numbered `row` (from row base + 1); null
  // outside them.
  std::int32_t RowCount() const { return static_cast<std::int32_t>(m_rows.size()); }
  xml::Node Row(std::int32_t row) const;

  // Puts an evaluated item into row `Row` of its own (column: its third
  // attribute): the item of that column there is replaced, or the item is
  // added; missing rows up to it are appended first. An item whose key holds
  // "|" or whose row is 0 (or no whole number) is not placed. An item with
  // content raises MCol and MRow to its column and row.
  void PlaceItem(const xml::Node& item);

  // Moves every row of `source` to the end of this result, keeping each
  // row's attributes (PgBk). Items of source row k get Row = offset + k.
  // Items of columns before the first (the reserved columns of print
  // conditions and column headers, numbered below 1) are taken out of the
  // rows: they never show. MRow becomes offset + the rows moved and MCol
  // grows to source's MCol. `source` is left without rows.
  //
  // `between`, when given, is called after every row moved; what it throws
  // ends the move part way, and neither result is then fit for further use
  // (a cancelled build's results are dropped).
  void AppendRows(ResultFormat& source, std::int32_t offset,
                  const std::function<void()>& between = {});

  // Removes body row `row` (nothing when there is none). While `keep_index`
  // is set the row's place in the row vector stays empty, so that deleting
  // rows from the highest to the lowest keeps the lower rows' numbers; call
  // CompactRows afterwards.
  void DeleteRow(std::int32_t row, bool keep_index = false);
  void CompactRows();

  // Forgets its rows without touching the XML (before the rows are taken
  // away for good); Row() finds none afterwards.
  void ReleaseRows() { m_rows.clear(); }

 private:
  xml::Node AppendEmptyRow();

  xml::Node m_format;
  xml::Node m_items;
  PlacementObserver* m_observer;
  std::int32_t m_row_base;
  std::vector<xml::Node> m_rows;
  std::int32_t m_max_row = 0;
  std::int32_t m_max_column = 0;
};

// A whole number written in decimal (spaces around it and a sign allowed),
// or nothing for any other text.
std::optional<std::int64_t> ParseWholeNumber(std::string_view text);

// The column of an item (its third attribute) as a number, or nothing when
// it is no whole number.
std::optional<std::int32_t> ItemColumn(const xml::Node& item);
// The row of an item (its Row attribute) as a number, or nothing.
std::optional<std::int32_t> ItemRow(const xml::Node& item);

}  // namespace orvo

#endif  // ORVO_PREVIEW_RESULT_FORMAT_H_
