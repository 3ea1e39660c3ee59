#include "formula/vocabulary.h"

#include <algorithm>
#include <vector>

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
  // The parser asks for every token: the names are looked up among those of
  // the same length only.
  static const auto kByLength = [] {
    std::array<std::vector<const FunctionEntry*>, kLongestFunctionName + 1> by_length;
    for (const FunctionEntry& entry : kFunctions) by_length[entry.key.size()].push_back(&entry);
    return by_length;
  }();
  for (const FunctionEntry* entry : kByLength[name.size()]) {
    if (EqualsIgnoreCase(entry->key, name)) return entry->function;
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

}  // namespace orvo
