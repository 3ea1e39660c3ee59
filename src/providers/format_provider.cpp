#include "providers/format_provider.h"

#include <optional>
#include <string_view>

namespace orvo::providers {
namespace {

constexpr std::string_view kFormatTemplate =
    R"(<Fmt Key="" Name="" MRow="0" MCol="0"><Itms/></Fmt>)";

constexpr std::string_view kItemTemplate =
    R"(<Itm Key="" Row="0" Col="0" Value="" Str="" MgKey="" ASz="0"><PEx/>)"
    R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0">)"
    R"(<NFmt Typ="General"><Def/></NFmt>)"
    R"(<Alg Hrz="" Vrt="" Wrp="0" Mg="0" MgKey="" Ind="0" Or="0" Shr="0" VrtTx="0"/>)"
    R"(<Brd btC="0" btL="0" dtlC="0" dtlL="0" dtrC="0" dtrL="0" lfC="0" lfL="0" rgC="0" rgL="0")"
    R"( tpC="0" tpL="0"/>)"
    R"(<Fnts><Fnt Bld="0" Clr="0" Itl="0" Nm="Arial" Sz="10" Str="0" Stl="Regular" Sub="0")"
    R"( Sup="0" Udl="" stt="" end=""/></Fnts>)"
    R"(</Stl></Itm>)";

// The n of a name "C" + n (n decimal, no leading zeros, at most two digits).
std::optional<int> NumberedColumn(const std::string& upper) {
  if (upper.size() < 2 || upper.size() > 3 || upper[0] != 'C') return std::nullopt;
  if (upper.size() == 3 && upper[1] == '0') return std::nullopt;
  int n = 0;
  for (std::size_t i = 1; i < upper.size(); ++i) {
    if (upper[i] < '0' || upper[i] > '9') return std::nullopt;
    n = n * 10 + (upper[i] - '0');
  }
  return n;
}

xml::Node ParseTemplate(std::string_view text) {
  return xml::Document::Parse(text).DocumentElement();
}

}  // namespace

std::int16_t ColumnNumberOf(const std::string& name) {
  std::string upper = UpperCase(name);
  if (upper == "PRINT") return kPrintColumn;
  if (upper == "COLUMN_HEADER") return kColumnHeaderColumn;
  if (std::optional<int> n = NumberedColumn(upper)) {
    return *n < kNumberedColumnCount ? static_cast<std::int16_t>(kFirstNumberedColumn - *n) : -1;
  }
  return LetterColumnNumber(upper);
}

std::string ColumnNameOf(std::int32_t column) {
  if (column == kPrintColumn) return "PRINT";
  if (column == kColumnHeaderColumn) return "COLUMN_HEADER";
  if (column <= kFirstNumberedColumn && column > kFirstNumberedColumn - kNumberedColumnCount) {
    return "C" + std::to_string(kFirstNumberedColumn - column);
  }
  return ColumnLetters(column);
}

CFormatProvider::CFormatProvider()
    : m_format_template(ParseTemplate(kFormatTemplate)),
      m_item_template(ParseTemplate(kItemTemplate)) {}

void CFormatProvider::Init(const xml::Node& launch_properties) {
  m_launch_properties = launch_properties;
  m_workspace.reset();
}

xml::Node CFormatProvider::NewFormat() { return m_format_template.CloneNode(true); }

xml::Node CFormatProvider::NewItem(std::int32_t row, std::int32_t column) {
  xml::Node item = m_item_template.CloneNode(true);
  std::string name = ColumnNameOf(column);
  if (!name.empty() && row > 0) item.SetAttribute("Key", name + std::to_string(row));
  item.SetAttribute("Row", std::to_string(row));
  item.SetAttribute("Col", std::to_string(column));
  return item;
}

xml::Node CFormatProvider::GetFormat(const std::string& key) {
  if (!m_workspace) m_workspace = Workspace::Open(m_launch_properties);
  return m_workspace->FormatCopy(UpperCase(key));
}

std::int16_t CFormatProvider::ColumnNumber(const std::string& letters) {
  return ColumnNumberOf(letters);
}

}  // namespace orvo::providers
