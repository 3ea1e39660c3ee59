// cNamedRange: a name for a rectangle of cells of one format, as the host
// describes it. A property bag; the library neither creates nor reads it.
// Columns are given by name and rows by number, as in report definitions.
#ifndef ORVO_NAMED_RANGE_H_
#define ORVO_NAMED_RANGE_H_

#include <cstdint>
#include <string>
#include <utility>

namespace orvo {

class cNamedRange {
 public:
  const std::string& RangeName() const noexcept { return m_range_name; }
  void RangeName(std::string value) { m_range_name = std::move(value); }
  const std::string& FormatName() const noexcept { return m_format_name; }
  void FormatName(std::string value) { m_format_name = std::move(value); }
  const std::string& StartingColumn() const noexcept { return m_starting_column; }
  void StartingColumn(std::string value) { m_starting_column = std::move(value); }
  const std::string& EndingColumn() const noexcept { return m_ending_column; }
  void EndingColumn(std::string value) { m_ending_column = std::move(value); }
  std::int32_t StartingRow() const noexcept { return m_starting_row; }
  void StartingRow(std::int32_t value) noexcept { m_starting_row = value; }
  std::int32_t EndingRow() const noexcept { return m_ending_row; }
  void EndingRow(std::int32_t value) noexcept { m_ending_row = value; }

 private:
  std::string m_range_name;
  std::string m_format_name;
  std::string m_starting_column;
  std::string m_ending_column;
  std::int32_t m_starting_row = 0;
  std::int32_t m_ending_row = 0;
};

}  // namespace orvo

#endif  // ORVO_NAMED_RANGE_H_
