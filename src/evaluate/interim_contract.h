// Interim: the typed vocabulary and parsed-expression record the formula
// layer is about to offer (formula/vocabulary.h, formula/parsed_expression.h),
// declared here with the same names until they land; then this file goes.
#ifndef ORVO_EVALUATE_INTERIM_CONTRACT_H_
#define ORVO_EVALUATE_INTERIM_CONTRACT_H_

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/int16.h"
#include "orvo/xml.h"

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

inline constexpr std::string_view kPlaceholderPrefix = "I~_T~";

struct ParsedExpression {
  // One recognised operand (an EI entry).
  struct Operand {
    OperandType type;   // Typ: what the operand is (see vocabulary.h)
    std::string text;   // Val: the operand as written, trimmed (B12, A1:C3, CM.Sales.DR)
    Int16 placeholder;  // k: the operand stands in `expression` as PlaceholderText(k);
                        // the k-th entry of `operands`, counting from 1
  };

  // One function call (an EF entry).
  struct FunctionCall {
    Function function;  // which function (Typ, whatever its letter case)
    std::string name;   // Typ: the name as written in the formula ("sum", "Sum")
    // Pos: where the name's first character stands in `expression`; for a
    // formula ("=...") a zero-based offset (=Sum(A1): 1), for a function in
    // an embedded formula of a mixed text one-based. Placeholders before the
    // name count at their own length.
    Int16 position;
    // The bracket depth at the name ("(" minus ")" before it; 0 at the top
    // level). Known to the parser only: it is not written to the XML, and a
    // record read from XML has 0 here.
    Int16 depth;
  };

  // One embedded formula of a mixed text that holds an operator, bracket or
  // comma (an EMB entry); a lone operand such as {A1} gets none.
  struct Embedded {
    Int16 start;  // Str: its first character in `expression`, where "{" stood
    Int16 end;    // End: its last character
  };

  // Whether this is the bare record: a text that is not a formula, or one
  // whose parse failed. A bare record has nothing else set.
  bool IsEmpty() const { return !expression.has_value(); }

  // Exp: the parsed text with every operand replaced by its placeholder; for
  // a mixed text, the braces removed and each embedded formula replaced by
  // its own text so treated. Unset for the bare record.
  std::optional<std::string> expression;
  // Max: the furthest cell the cell and range operands reference (highest
  // row, then greatest column on it) as letters and row ("C12"), or "".
  std::string furthest_cell;
  // EIs: the operands in the order met, left to right.
  std::vector<Operand> operands;
  // EFs: the calls in evaluation order: deepest bracket level first, calls of
  // equal depth left to right.
  std::vector<FunctionCall> calls;
  // EMBs: the embedded formulas, left to right.
  std::vector<Embedded> embedded;
  // EAtt on EMBs: the text is a formula ("=...") holding a double quote, so
  // it contains string literals.
  bool has_string_literals = false;
};

ParsedExpression ReadParsedExpression(const xml::Node& pex);

}  // namespace orvo

#endif  // ORVO_EVALUATE_INTERIM_CONTRACT_H_
