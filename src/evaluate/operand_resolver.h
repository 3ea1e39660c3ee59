// The places where outside values enter an evaluation: one operand resolver
// per operand kind, one function resolver per function that reads outside
// data, and the repeat expander behind EvaluateRepeat.
//
// cEvaluate::Evaluate resolves every operand of an item through exactly one
// dispatch: the operand's type picks its kind (KindOf), the kind picks the
// resolver registered for it (cEvaluate::SetOperandResolver). The evaluator
// starts with the resolvers of this file: the ones whose data it holds
// itself (headings, bookmarks, Boolean literals, named ranges), the ledger's
// (chart-map folders, database-map fields, record fields, the ledger and
// repeat functions and the repeat expander, ledger_amounts.h), and
// stand-ins for cells and ranges that answer "#REF" until the builder plugs
// in the real ones.
//
// A resolver answers a Resolution: a value, the error value the whole item
// takes, or "not final yet at this level" (the item is deferred to a later
// pass). Resolvers may raise orvo::Error; Evaluate turns it into "#ERROR" on
// the item.
//
// Threading: resolvers run on the evaluator's thread, one call at a time.
#ifndef ORVO_EVALUATE_OPERAND_RESOLVER_H_
#define ORVO_EVALUATE_OPERAND_RESOLVER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formula/parsed_expression.h"
#include "orvo/xml.h"

namespace orvo {

class cEvaluate;

// Operand kinds in the order their types are tested: headings first, named
// ranges (and unresolved names, looked up as named ranges) last.
enum class OperandKind {
  kHeading,      // Hdg
  kBookmark,     // TBm, UnB: the bookmark functions use the name itself
  kBoolean,      // TBL
  kRange,        // TCRn
  kCell,         // TCR
  kChartMap,     // TCM, TCMLY
  kDatabaseMap,  // TDB, TDBLY
  kDriverField,  // TDR, TDRLY
  kNamedRange,   // TNr, UnN
};

inline constexpr std::size_t kOperandKindCount = 9;

OperandKind KindOf(OperandType type);

// Whether an operand of `type` stands for cells of the build (a cell or a range).
inline bool IsCellOperand(OperandType type) {
  return type == OperandType::kCell || type == OperandType::kRange;
}

// What a resolver answers.
struct Resolution {
  enum class Outcome {
    kValue,       // `text` stands for the operand (or the call)
    kErrorValue,  // the item's value and display text become `text` ("#REF", "#NAME")
    kDeferred,    // not final at the current level: the item waits for a later pass
  };

  static Resolution Value(std::string text) { return {Outcome::kValue, std::move(text), {}}; }
  static Resolution ErrorValue(std::string text) {
    return {Outcome::kErrorValue, std::move(text), {}};
  }
  static Resolution Deferred() { return {Outcome::kDeferred, {}, {}}; }
  // A range expanded to its cells' values (asked for inside Max and Min).
  static Resolution Cells(std::vector<std::string> values) {
    return {Outcome::kValue, {}, std::move(values)};
  }

  Outcome outcome = Outcome::kValue;
  std::string text;
  // Set instead of `text` for a range resolved cell by cell: the values are
  // written joined by ",", so that the enclosing call sees one argument per cell.
  std::vector<std::string> cells;
};

// The item being evaluated and its repeat context, as resolvers see it.
class EvaluationScope {
 public:
  EvaluationScope(cEvaluate& evaluator, const xml::Node& item, const xml::Node& repeat_list,
                  std::int32_t repeat_position, std::string_view repeat_key)
      : m_evaluator(evaluator),
        m_item(item),
        m_repeat_list(repeat_list),
        m_repeat_position(repeat_position),
        m_repeat_key(repeat_key),
        m_serial(NextSerial()) {}

  // Levels, current format and extent, stores and shared sources.
  cEvaluate& Evaluator() const { return m_evaluator; }
  const xml::Node& Item() const { return m_item; }
  // The repeat's record list; null outside a repeat.
  const xml::Node& RepeatList() const { return m_repeat_list; }
  // 1-based position of the item's record; 0 outside a repeat.
  std::int32_t RepeatPosition() const { return m_repeat_position; }
  std::string_view RepeatKey() const { return m_repeat_key; }
  bool InRepeat() const { return m_repeat_position > 0 && m_repeat_list; }
  // Differs from the serial of every other scope of the thread: a resolver
  // may keep an answer for the rest of one scope (an operand written twice
  // in one formula) under it.
  std::uint64_t Serial() const { return m_serial; }

 private:
  static std::uint64_t NextSerial() {
    thread_local std::uint64_t last = 0;
    return ++last;
  }

  cEvaluate& m_evaluator;
  const xml::Node& m_item;
  const xml::Node& m_repeat_list;
  std::int32_t m_repeat_position;
  std::string_view m_repeat_key;
  std::uint64_t m_serial;
};

// One operand to resolve.
struct OperandRequest {
  OperandType type;       // the EI's Typ (TCR or TCRn, TCM or TCMLY, ...)
  std::string_view text;  // the operand as written (EI Val), trimmed
  int number = 0;         // k of its placeholder I~_T~k
  // The innermost call whose arguments hold the operand; none at the top level.
  std::optional<Function> enclosing;
  // Inside Max and Min a range is wanted cell by cell (Resolution::Cells).
  bool wants_cells = false;
};

class IOperandResolver {
 public:
  virtual ~IOperandResolver() = default;

  virtual Resolution Resolve(const OperandRequest& request, EvaluationScope& scope) = 0;

  // The number of cells a cell or range operand stands for, as "Avg" divides
  // by and "Count" answers: cells in rows that print conditions removed are
  // not counted. Other kinds never get asked.
  virtual std::int32_t CellCount(const OperandRequest& request, EvaluationScope& scope);
};

// A function that reads outside data: AccountValue, Year, Period (ledger),
// RecordCount, RecordValue, PreviousRecord, NextRecord (repeats).
struct FunctionRequest {
  Function function;
  // The argument text between the brackets, operands already substituted;
  // empty for the bare-name functions.
  std::string_view arguments;
  // The operands inside the brackets as written, in order (RecordValue
  // takes its database-map reference from here).
  std::vector<std::string_view> operands;
};

class IFunctionResolver {
 public:
  virtual ~IFunctionResolver() = default;
  virtual Resolution Call(const FunctionRequest& request, EvaluationScope& scope) = 0;
};

// EvaluateRepeat: expands a repeat definition into its record list.
class IRepeatExpander {
 public:
  virtual ~IRepeatExpander() = default;
  // Fills `repeat_list` (an element with one child per record) and `count`;
  // returns the status.
  virtual std::int16_t Expand(cEvaluate& evaluator, const xml::Node& repeat_definition,
                              std::int32_t& count, const xml::Node& balance_keys,
                              xml::Node& repeat_list) = 0;
};

// The resolvers an evaluator starts with.
std::shared_ptr<IOperandResolver> DefaultOperandResolver(OperandKind kind);
std::shared_ptr<IFunctionResolver> DefaultFunctionResolver();
std::shared_ptr<IRepeatExpander> DefaultRepeatExpander();

}  // namespace orvo

#endif  // ORVO_EVALUATE_OPERAND_RESOLVER_H_
