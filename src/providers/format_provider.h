// The reference format provider ("OrvoBusMng.CFormatProvider").
//
//   NewFormat()        <Fmt Key="" Name="" MRow="0" MCol="0"><Itms/></Fmt>
//   NewItem(row, col)  <Itm Key Row Col Value Str MgKey ASz> with the children
//                      PEx (empty) and Stl (a "General" style: number format,
//                      Alg, Brd, Fnts with one Fnt); Key is the column name
//                      followed by the row when both are known, else "".
//   GetFormat(key)     a copy of the workspace's Fmt with that Key (formats.xml),
//                      a full one (with children) in preference to a stub.
//   ColumnNumber(name) the letter rule of frame/column_letters.h (A = 1 ...
//                      ZZZ = 18278); the reserved names below; -1 for
//                      anything else.
//
// Reserved column names have negative numbers, so they never fall inside the
// range of letter columns that the builder walks (from "A" up to MCol) and
// never raise MCol: "PRINT" -2, "COLUMN_HEADER" -3, "C0" to "C16" -10 to -26
// ("Cn" is -(10 + n)). -1 stays "not a column" and 0 is no column.
//
// NewFormat, NewItem and ColumnNumber need no workspace; GetFormat opens the
// workspace named by the launch properties given to Init on first use.
#ifndef ORVO_PROVIDERS_FORMAT_PROVIDER_H_
#define ORVO_PROVIDERS_FORMAT_PROVIDER_H_

#include <memory>
#include <string>

#include "frame/column_letters.h"
#include "orvo/providers.h"
#include "providers/workspace.h"

namespace orvo::providers {

inline constexpr std::int16_t kPrintColumn = -2;
inline constexpr std::int16_t kColumnHeaderColumn = -3;
inline constexpr std::int16_t kFirstNumberedColumn = -10;  // "C0"; "Cn" is -10 - n
inline constexpr int kNumberedColumnCount = 17;            // "C0" to "C16"

// The number of column letters or a reserved name (see above), -1 otherwise.
std::int16_t ColumnNumberOf(const std::string& name);
// The letters or reserved name of a column number, "" when it has none.
std::string ColumnNameOf(std::int32_t column);

class CFormatProvider : public IFormatProvider {
 public:
  CFormatProvider();

  void Init(const xml::Node& launch_properties) override;
  xml::Node NewFormat() override;
  xml::Node NewItem(std::int32_t row, std::int32_t column) override;
  xml::Node GetFormat(const std::string& key) override;
  std::int16_t ColumnNumber(const std::string& letters) override;

 private:
  xml::Node m_launch_properties;
  std::shared_ptr<Workspace> m_workspace;
  // Parsed once; every new format or item is a deep clone.
  xml::Node m_format_template;
  xml::Node m_item_template;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_FORMAT_PROVIDER_H_
