// Interim copy of the typed vocabulary and record reader (see interim_contract.h).
#include "evaluate/interim_contract.h"

#include <algorithm>
#include <charconv>

#include "orvo/error.h"

#include "frame/text.h"

namespace orvo {
namespace {

struct FunctionEntry {
  Function function;
  std::string_view name;
  std::string_view key;
};

// The one table of function names; entries stand in enumeration order.
constexpr std::array<FunctionEntry, kFunctionCount> kFunctions = {{
    {Function::kINote, "iNote", "INOTE"},
    {Function::kNote, "Note", "NOTE"},
    {Function::kRef, "Ref", "REF"},
    {Function::kPage, "Page", "PAGE"},
    {Function::kSum, "Sum", "SUM"},
    {Function::kIf, "If", "IF"},
    {Function::kAvg, "Avg", "AVG"},
    {Function::kCount, "Count", "COUNT"},
    {Function::kCountRows, "CountRows", "COUNTROWS"},
    {Function::kMax, "Max", "MAX"},
    {Function::kMin, "Min", "MIN"},
    {Function::kPageCount, "PageCount", "PAGECOUNT"},
    {Function::kYear, "Year", "YEAR"},
    {Function::kPeriod, "Period", "PERIOD"},
    {Function::kLen, "Len", "LEN"},
    {Function::kLeft, "Left", "LEFT"},
    {Function::kRight, "Right", "RIGHT"},
    {Function::kMod, "Mod", "MOD"},
    {Function::kRecordCount, "RecordCount", "RECORDCOUNT"},
    {Function::kNow, "Now", "NOW"},
    {Function::kAnd, "And", "AND"},
    {Function::kOr, "Or", "OR"},
    {Function::kRecordValue, "RecordValue", "RECORDVALUE"},
    {Function::kLY, "LY", "LY"},
    {Function::kRepeatPosition, "RepeatPosition", "REPEATPOSITION"},
    {Function::kIsFirstRecord, "IsFirstRecord", "ISFIRSTRECORD"},
    {Function::kIsLastRecord, "IsLastRecord", "ISLASTRECORD"},
    {Function::kNextRecord, "NextRecord", "NEXTRECORD"},
    {Function::kPreviousRecord, "PreviousRecord", "PREVIOUSRECORD"},
    {Function::kAccountValue, "AccountValue", "ACCOUNTVALUE"},
    {Function::kIRepeat, "iRepeat", "IREPEAT"},
}};

struct OperandTypeEntry {
  OperandType type;
  std::string_view code;
};

// The one table of operand type codes; entries stand in enumeration order.
constexpr std::array<OperandTypeEntry, kOperandTypeCount> kOperandTypes = {{
    {OperandType::kCell, "TCR"},
    {OperandType::kRange, "TCRn"},
    {OperandType::kChartMap, "TCM"},
    {OperandType::kChartMapLastYear, "TCMLY"},
    {OperandType::kDatabaseMap, "TDB"},
    {OperandType::kDatabaseMapLastYear, "TDBLY"},
    {OperandType::kDriverField, "TDR"},
    {OperandType::kDriverFieldLastYear, "TDRLY"},
    {OperandType::kNamedRange, "TNr"},
    {OperandType::kBookmark, "TBm"},
    {OperandType::kBoolean, "TBL"},
    {OperandType::kHeading, "Hdg"},
    {OperandType::kUnresolvedName, "UnN"},
    {OperandType::kUnresolvedBookmark, "UnB"},
}};

constexpr bool TablesFollowTheEnumerations() {
  for (std::size_t i = 0; i < kFunctions.size(); ++i) {
    if (static_cast<std::size_t>(kFunctions[i].function) != i) return false;
  }
  for (std::size_t i = 0; i < kOperandTypes.size(); ++i) {
    if (static_cast<std::size_t>(kOperandTypes[i].type) != i) return false;
  }
  return static_cast<std::size_t>(Function::kIRepeat) + 1 == kFunctionCount &&
         static_cast<std::size_t>(OperandType::kUnresolvedBookmark) + 1 == kOperandTypeCount;
}
static_assert(TablesFollowTheEnumerations());

// The longest function name; longer text is no function.
constexpr std::size_t kLongestFunctionName = [] {
  std::size_t longest = 0;
  for (const FunctionEntry& entry : kFunctions) longest = std::max(longest, entry.key.size());
  return longest;
}();

constexpr const char* kReaderSource = "ReadParsedExpression";

Int16 ReadNumber(const xml::Node& element, std::string_view attribute) {
  const std::string text = element.AttributeOr(attribute, "");
  int value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size() ||
      value < INT16_MIN || value > INT16_MAX) {
    RaiseError(kReaderSource, "Parsed expression entry " + element.Name() + " has " +
                                  std::string(attribute) + " '" + text +
                                  "', which is not a position");
  }
  return static_cast<Int16>(value);
}

// The element children of `list` named `name`, in document order.
template <class Visit>
void ForEachEntry(const xml::Node& list, std::string_view name, Visit&& visit) {
  if (!list) return;
  for (const xml::Node& child : list.ChildNodes()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) visit(child);
  }
}

xml::Node ChildList(const xml::Node& pex, std::string_view name) {
  for (const xml::Node& child : pex.ChildNodes()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) return child;
  }
  return xml::Node();
}

}  // namespace

const std::array<Function, kFunctionCount>& AllFunctions() {
  static const std::array<Function, kFunctionCount> functions = [] {
    std::array<Function, kFunctionCount> all{};
    for (std::size_t i = 0; i < kFunctionCount; ++i) all[i] = kFunctions[i].function;
    return all;
  }();
  return functions;
}

std::string_view FunctionName(Function function) {
  return kFunctions[static_cast<std::size_t>(function)].name;
}

std::string_view FunctionKey(Function function) {
  return kFunctions[static_cast<std::size_t>(function)].key;
}

std::optional<Function> FunctionFromName(std::string_view name) {
  name = Trim(name);
  if (name.empty() || name.size() > kLongestFunctionName) return std::nullopt;
  for (const FunctionEntry& entry : kFunctions) {
    if (entry.key.size() == name.size() && EqualsIgnoreCase(entry.key, name)) {
      return entry.function;
    }
  }
  return std::nullopt;
}

std::string_view OperandTypeCode(OperandType type) {
  return kOperandTypes[static_cast<std::size_t>(type)].code;
}

std::optional<OperandType> OperandTypeFromCode(std::string_view code) {
  for (const OperandTypeEntry& entry : kOperandTypes) {
    if (entry.code == code) return entry.type;
  }
  return std::nullopt;
}

bool IsLastYear(OperandType type) {
  return type == OperandType::kChartMapLastYear || type == OperandType::kDatabaseMapLastYear ||
         type == OperandType::kDriverFieldLastYear;
}

ParsedExpression ReadParsedExpression(const xml::Node& pex) {
  if (!pex) RaiseObjectRequired();
  if (pex.Type() != xml::NodeType::kElement || pex.Name() != "PEx") {
    RaiseError(kReaderSource, "Expected a parsed expression (PEx), found " + pex.Name());
  }
  ParsedExpression record;
  record.expression = pex.GetAttribute("Exp");
  if (record.IsEmpty()) return record;
  record.furthest_cell = pex.AttributeOr("Max", "");

  ForEachEntry(ChildList(pex, "EIs"), "EI", [&](const xml::Node& entry) {
    const std::string code = entry.AttributeOr("Typ", "");
    const std::optional<OperandType> type = OperandTypeFromCode(code);
    if (!type) RaiseError(kReaderSource, "Unknown operand type '" + code + "' in EI");
    const Int16 number = SizeToInt16(record.operands.size() + 1);
    record.operands.push_back({*type, entry.AttributeOr("Val", ""), number});
  });

  ForEachEntry(ChildList(pex, "EFs"), "EF", [&](const xml::Node& entry) {
    std::string name = entry.AttributeOr("Typ", "");
    const std::optional<Function> function = FunctionFromName(name);
    if (!function) RaiseError(kReaderSource, "Unknown function '" + name + "' in EF");
    record.calls.push_back({*function, std::move(name), ReadNumber(entry, "Pos"), 0});
  });

  const xml::Node embedded_list = ChildList(pex, "EMBs");
  record.has_string_literals = embedded_list && embedded_list.GetAttribute("EAtt").has_value();
  ForEachEntry(embedded_list, "EMB", [&](const xml::Node& entry) {
    record.embedded.push_back({ReadNumber(entry, "Str"), ReadNumber(entry, "End")});
  });
  return record;
}

}  // namespace orvo
