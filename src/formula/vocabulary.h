// The closed vocabulary shared by the tokenizer, the parser and the
// evaluator: the functions of the formula language and the operand types of
// the parsed-expression record.
//
// Each enumeration has one table giving the text the XML carries (the
// function list's Display and Key, the Typ of an EI entry); every conversion
// between the enumeration and its text goes through the functions below, so
// no other file compares these names as literals.
//
// The tables are constant; every function here is thread-safe.
#ifndef ORVO_FORMULA_VOCABULARY_H_
#define ORVO_FORMULA_VOCABULARY_H_

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace orvo {

// The functions, in the order of the function list.
enum class Function {
  kINote,
  kNote,
  kRef,
  kPage,
  kSum,
  kIf,
  kAvg,
  kCount,
  kCountRows,
  kMax,
  kMin,
  kPageCount,
  kYear,
  kPeriod,
  kLen,
  kLeft,
  kRight,
  kMod,
  kRecordCount,
  kNow,
  kAnd,
  kOr,
  kRecordValue,
  kLY,  // last year: its operands take the last-year operand types
  kRepeatPosition,
  kIsFirstRecord,
  kIsLastRecord,
  kNextRecord,
  kPreviousRecord,
  kAccountValue,
  kIRepeat,
};

inline constexpr std::size_t kFunctionCount = 31;

// Every function, in list order.
const std::array<Function, kFunctionCount>& AllFunctions();

// The canonical name ("Sum", "iNote"): the function list's Display.
std::string_view FunctionName(Function function);

// The upper-case name ("SUM", "INOTE"): the function list's Key.
std::string_view FunctionKey(Function function);

// The function a name denotes, in any letter case, surrounding spaces
// ignored; nothing for any other text.
std::optional<Function> FunctionFromName(std::string_view name);

// The operand types of EI entries (their Typ), in the order the parser tries
// them.
enum class OperandType {
  kCell,                 // "TCR": a single cell, B12
  kRange,                // "TCRn": two cells joined by ":", A1:C3
  kChartMap,             // "TCM": a chart-map reference, CM.Sales.DR
  kChartMapLastYear,     // "TCMLY": the same, inside LY
  kDatabaseMap,          // "TDB": a database-map reference, DB.Orders.Amount
  kDatabaseMapLastYear,  // "TDBLY": the same, inside LY
  kDriverField,          // "TDR": a field of the data driver, AMOUNT
  kDriverFieldLastYear,  // "TDRLY": AMOUNT inside LY
  kNamedRange,           // "TNr"
  kBookmark,             // "TBm": a bookmark inside Note
  kBoolean,              // "TBL": TRUE or FALSE
  kHeading,              // "Hdg": %Heading%
  kUnresolvedName,       // "UnN": a lone name nothing else recognised
  kUnresolvedBookmark,   // "UnB": such a name inside Note
};

inline constexpr std::size_t kOperandTypeCount = 14;

// The code an EI entry carries in Typ ("TCR", "TCRn", ...).
std::string_view OperandTypeCode(OperandType type);

// The operand type of a Typ code, compared exactly (codes are
// case-sensitive); nothing for any other text.
std::optional<OperandType> OperandTypeFromCode(std::string_view code);

// Whether the type is one of the last-year types (TCMLY, TDBLY, TDRLY).
bool IsLastYear(OperandType type);

}  // namespace orvo

#endif  // ORVO_FORMULA_VOCABULARY_H_
