// Evaluating one formula outside a report: what a cell holding it would show.
//
//   orvo::FormulaEvaluator evaluator;
//   orvo::FormulaEvaluation result = evaluator.Evaluate("=Sum(1,2)*3");
//   // result.value == "9", result.display_text == "9"
//
// The formula is evaluated as the single item of a one-row scratch format,
// not in a repeat, at the final evaluation level (nothing is deferred), with
// the style given as the text of an Stl element (number format, fonts; the
// General category when none is given). Page numbers and references come
// back as the markers a host resolves when it paginates: the character
// U+00FF followed by "P" (page), "C" (page count), or "R", the reference
// index and U+00FF again. Cells and ranges of the scratch format hold
// nothing, so a reference to one gives "#REF".
//
// Ledger amounts (chart-map folders, AccountValue, Year, Period, ...) are
// taken in the balance context given with BalanceContext, the context a
// report column carries; without one, in the current year's whole-year
// actuals (Year "Current", Bal "Actuals"):
//
//   evaluator.BalanceContext({"Y", "1", "12", "YTD", "Actuals"});
//   evaluator.Evaluate("=CM.REVENUE").value;  // e.g. "-1234567.89"
//
// Threading: an evaluator belongs to the thread that created it.
#ifndef ORVO_FORMULA_EVALUATOR_H_
#define ORVO_FORMULA_EVALUATOR_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

struct FormulaEvaluation {
  // False when the formula does not parse: `messages` holds the parser's
  // messages and nothing was evaluated (unless EvaluateUnparsed is set).
  bool parsed = false;
  std::vector<std::string> messages;
  std::string value;         // the value stored on the item
  std::string display_text;  // the item's display text
  // The colour (Clr) of the item's first font run after formatting (a
  // number format may turn it red, "255"); empty when the style has no run.
  std::string colour;
};

// A balance context as a report column carries it (docs/ledger.md):
//   year            "Y", "Y-1", "Y+1", "Current" or a year name
//   period          the first period ("" for none: the whole year) or
//                   "Current Period"
//   end_period      the last period or "Current Period"
//   period_balance  "Movement", "YTD", "Opening", "Closing", ...
//   balance         "Actuals", "Budget", ...
struct BalanceContext {
  std::string year = "Current";
  std::string period;
  std::string end_period;
  std::string period_balance;
  std::string balance = "Actuals";
};

class FormulaEvaluator {
 public:
  FormulaEvaluator();
  ~FormulaEvaluator();
  FormulaEvaluator(const FormulaEvaluator&) = delete;
  FormulaEvaluator& operator=(const FormulaEvaluator&) = delete;

  // Stores a deep copy of the launch-properties node as the thread's when
  // none is stored yet; a workspace named there makes its names (bookmarks,
  // named ranges, chart map, ...) known to the parser and the evaluator.
  void Init(const xml::Node& launch_properties);

  // When set, a formula whose parse reports messages is evaluated all the
  // same, from the record the parser made of it, as a report evaluates
  // whatever record a stored item holds; `parsed` stays false and the
  // messages are returned with the value. Off initially.
  void EvaluateUnparsed(bool evaluate) { m_evaluate_unparsed = evaluate; }

  // Parses and evaluates `formula`. `style` is the text of an Stl element;
  // empty means the General category. A style that is not well-formed XML or
  // not an Stl element raises orvo::Error; failures of the evaluation itself
  // end as the error value "#ERROR".
  FormulaEvaluation Evaluate(std::string_view formula, std::string_view style = {});

  // The balance context of the scratch item's column for the evaluations
  // that follow; nothing restores the default context.
  void BalanceContext(std::optional<orvo::BalanceContext> context);

 private:
  struct State;
  std::unique_ptr<State> m_state;
  bool m_evaluate_unparsed = false;
};

}  // namespace orvo

#endif  // ORVO_FORMULA_EVALUATOR_H_
