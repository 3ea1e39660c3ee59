// The work of one cEvaluate::Evaluate call on one item: the parsed record
// read typed, the working text with its tracked positions, operand
// resolution, the function calls, the final operator expression and the
// value and display text written back.
//
// One ItemEvaluation is kept by its evaluator and reused call after call, so
// its buffers are allocated once. Its state after a call describes that
// call's item (the evaluator's FindItems and OperandCache read it).
#ifndef ORVO_EVALUATE_ITEM_EVALUATION_H_
#define ORVO_EVALUATE_ITEM_EVALUATION_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "evaluate/operand_resolver.h"
#include "evaluate/operator_evaluation.h"
#include "evaluate/working_text.h"
#include "formula/parsed_expression.h"
#include "orvo/xml.h"

namespace orvo {

class cEvaluate;

class ItemEvaluation {
 public:
  // Brackets nested deeper than this make the item "#ERROR": evaluation
  // works without recursion, but no report formula comes near it and the
  // limit bounds the work a pathological text can cause.
  static constexpr int kMaxNesting = 1000;

  explicit ItemEvaluation(cEvaluate& evaluator) : m_evaluator(evaluator) {}

  // The attributes of the item the evaluation reads and writes, found once
  // per item (ItemAttributes().Find) and used through the whole call.
  enum ItemAttribute : std::size_t { kEvaluated, kValue, kDsp, kPTxt };
  xml::AttributeSet& ItemAttributes() { return m_attributes; }

  // Evaluates the prepared item; true when it got its value (or an error
  // value), false when it was deferred. Raises on failures; Evaluate turns
  // them into "#ERROR".
  // With `parsed`, the item's record is taken from it instead of its PEx
  // child, and written as that child when the item is deferred.
  // The item's attributes are those ItemAttributes() found last when they
  // are the item's (else they are looked up).
  bool Run(const xml::Node& item, const xml::Node& repeat_list, std::int32_t repeat_position,
           std::string_view repeat_key, const ParsedExpression* parsed = nullptr);

  // The last call's literal spans and operand placeholders.
  // The literal spans as scanned, before any substitution.
  const std::vector<TextSpan>& LiteralSpans() const { return m_scanned_literals; }
  struct Placeholder {
    TextSpan span;  // in the expression text before substitution
    int number;     // k
  };
  const std::vector<Placeholder>& Placeholders() const { return m_placeholders; }
  // The text of operand `number` (counting from 1) of the last call's record.
  std::string_view OperandText(int number) const;
  // After a Run that returned true: the Value it left on the item and
  // whether the item's Evaluated attribute reads "-1", when both are known
  // without reading the item (the value is stored as written). False when
  // not known.
  bool KnownResult(std::string_view& value, bool& evaluated);

 private:
  enum class Outcome { kDone, kDeferred };

  // The arguments of one call as the function bodies read them: the parts
  // between its commas, each read as a value. TextArguments reads them from
  // the working text, DirectArguments from a DirectPlan's values.
  class CallArguments;
  class TextArguments;
  class DirectArguments;

  // How a formula of the plain shapes is put together, worked out once per
  // expression: "=" followed by operands, numbers, operators (+ - * / < > =)
  // and calls of Sum, Avg, Max, Min, Mod, If, And and Or whose arguments are
  // made the same way, without spaces, quotes or other brackets. Its values
  // are put together from the operands' and calls' values as the working
  // text would hold them, part by part, without rewriting the whole text.
  struct DirectPlan {
    struct Segment {
      enum class Kind : std::uint8_t { kText, kOperand, kCall };
      Kind kind;
      // kText: where the text starts in the expression; kOperand: the
      // placeholder's index (m_placeholders); kCall: the call's index.
      std::size_t index;
      std::size_t length;  // kText only
    };
    // A call argument or the whole formula: segments [first, last).
    struct Part {
      std::size_t first;
      std::size_t last;
    };
    struct Call {
      Function function;
      std::size_t first_argument;  // in `arguments`
      std::size_t last_argument;
    };
    std::vector<Segment> segments;
    std::vector<Part> arguments;
    std::vector<Call> calls;         // same index as the record's calls
    std::vector<std::size_t> order;  // the calls in evaluation order
    Part formula{0, 0};              // the whole text, "=" included
    // Per placeholder: whether it is a whole call argument on its own (its
    // value may then be a range's cells joined by commas).
    std::vector<bool> lone;
  };

  // Reads positions, literal spans and placeholders out of the record.
  void Load();
  // Load's work for a record made as one Load saw before, restored: false
  // when none is kept for it.
  bool LoadKept();
  // Keeps what Load worked out for the record, for the next record of the
  // same expression, calls and embedded formulas.
  void KeepLoaded();
  struct Loaded;
  // The working text of a record LoadKept restored.
  void LoadText(const Loaded& loaded);
  // The innermost call whose brackets hold `position`, if any.
  std::optional<Function> EnclosingCall(std::size_t position) const;
  // Fills m_brackets: each call's argument span (after Load).
  void FindCallBrackets();
  // The plan of the loaded expression, when it has one of the plain shapes.
  std::optional<DirectPlan> PlanDirect() const;
  bool PlanSequence(DirectPlan& plan, std::size_t& position, bool in_call, int depth,
                    std::size_t& next_placeholder, std::vector<DirectPlan::Segment>& out) const;
  // Resolves the operands into m_edits (not yet put into the text).
  Outcome ResolveOperands(EvaluationScope& scope);
  // The value by m_direct, after ResolveOperands; false (nothing changed)
  // when a value the working text would hold as literal text came up, so
  // the text must be rewritten after all.
  bool RunDirect(EvaluationScope& scope, std::string& value);
  // The text of a plan part: the value itself for one segment, else the
  // segments' values joined in m_compose.
  std::string_view DirectText(const DirectPlan::Part& part);
  std::string_view DirectSegmentText(const DirectPlan::Segment& segment) const;
  Outcome EvaluateCalls(EvaluationScope& scope);
  Outcome EvaluateFunction(WorkingText::Call& call, EvaluationScope& scope);
  std::string FinalValue();

  // Function bodies. `arguments` is the span between the brackets.
  Resolution CallFunction(Function function, TextSpan arguments, EvaluationScope& scope);
  // The bodies the direct way shares.
  Resolution CallPlain(Function function, CallArguments& arguments, EvaluationScope& scope);
  Resolution SumOrAverage(CallArguments& arguments, bool average, EvaluationScope& scope);
  Resolution Count(TextSpan arguments, EvaluationScope& scope);
  Resolution CountRows(TextSpan arguments, EvaluationScope& scope);
  Resolution Extreme(CallArguments& arguments, bool largest);
  Resolution Logical(CallArguments& arguments, bool all);
  Resolution If(CallArguments& arguments);
  Resolution LeftOrRight(TextSpan arguments, bool left);
  Resolution Modulo(TextSpan arguments);
  Resolution ModuloOf(std::string_view dividend, std::string_view divisor);
  Resolution Note(TextSpan arguments, bool include, EvaluationScope& scope);
  Resolution Reference(TextSpan arguments, EvaluationScope& scope);
  Resolution RepeatedRows(EvaluationScope& scope);
  Resolution External(Function function, TextSpan arguments, EvaluationScope& scope);

  // The top-level comma-separated parts of a span (outside brackets and
  // literals). `balanced`, when given, is cleared when a ")" closes nothing
  // or a "(" stays open.
  // The parts are kept by the evaluation until the next call.
  const std::vector<TextSpan>& SplitArguments(TextSpan arguments, bool* balanced = nullptr);
  // The value of an argument's text: without the spaces around it (literal
  // spaces stay) and unquoted; a view of `text` for a lone value, else of
  // `buffer`, which then holds the value.
  static std::string_view ValueOfText(std::string_view text, const Literals& literals,
                                      std::string& buffer);
  // The last comma of a span outside literals, or npos.
  std::size_t LastComma(TextSpan arguments) const;
  // An argument's value: evaluated as an expression, without the spaces
  // around it (literal spaces stay) and unquoted.
  std::string ArgumentValue(TextSpan argument);
  // The same value as a view: of the working text when the argument is a
  // lone value (most are), else of `buffer`, which then holds the value.
  // Valid until the working text or the buffer changes.
  std::string_view ArgumentView(TextSpan argument, std::string& buffer);
  // The literal spans for the operator evaluator, with offsets for `part`.
  Literals LiteralsFor(TextSpan part);
  // The number of cells the operands substituted inside `argument` stand for;
  // nullopt when it holds no cell or range operand.
  std::optional<std::int32_t> CellsIn(TextSpan argument, EvaluationScope& scope);
  // A bookmark function's key: its argument as written, trimmed, unquoted, upper case.
  std::string BookmarkKey(TextSpan arguments) const;
  OperandRequest RequestFor(int number) const;
  // Whether a resolver marked the item as not evaluated (Evaluated "0"), as
  // a cell reference to an item of a later pass does. Read after operands
  // are resolved and after calls that asked a function resolver.
  bool ItemWasDeferred();
  void Defer();
  // Writes the value (unless `write_value` is false: the item holds it
  // already) and the display text.
  void Finish(std::string_view value, bool write_value = true);

  cEvaluate& m_evaluator;
  xml::Node m_item;
  static constexpr std::string_view kItemAttributeNames[] = {"Evaluated", "Value", "Dsp", "PTxt"};
  xml::AttributeSet m_attributes{kItemAttributeNames};
  xml::Node m_record_element;
  bool m_record_unwritten = false;  // m_record was handed in, not read from the item
  // The record evaluated: the caller's parse, or m_read_record.
  const ParsedExpression* m_record = nullptr;
  ParsedExpression m_read_record;  // read from the item's PEx child
  // The operand texts of a handed-in parse, which may be gone after the call.
  std::vector<std::string> m_kept_operands;
  bool m_is_formula = false;
  WorkingText m_text;
  std::vector<Placeholder> m_placeholders;
  std::vector<TextSpan> m_scanned_literals;
  // Per call (same index as m_text.Calls()): the argument span when the name
  // is followed by brackets, found before substitution (for m_enclosing, and
  // not kept with a Load).
  std::vector<std::optional<TextSpan>> m_brackets;
  // Per placeholder: the innermost call whose brackets hold it.
  std::vector<std::optional<Function>> m_enclosing;
  std::vector<std::pair<std::size_t, std::size_t>> m_pairs;  // matching brackets, by opening
  std::vector<std::size_t> m_open;
  std::vector<WorkingText::Edit> m_edits;
  std::size_t m_edit_count = 0;      // the edits of this call (m_edits keeps spare ones)
  std::vector<std::size_t> m_order;  // the calls in evaluation order
  std::vector<TextSpan> m_parts;     // SplitArguments' result
  std::string m_error_value;
  std::string m_argument;  // ArgumentView's buffers for the function bodies
  std::string m_second_argument;
  // Whether the current call asked a function resolver, which may have
  // deferred the item by marking it.
  bool m_consulted_resolver = false;
  std::string m_text_value;   // the Value of a text cell
  std::string m_final_value;  // the value a formula came to
  // The Value the last call left on the item (one of the strings above),
  // for KnownResult; null when the call deferred the item.
  const std::string* m_result_value = nullptr;
  std::vector<LiteralRange> m_ranges;  // set when an operand made the item an error value

  // What Load works out depends on the record's expression, calls, embedded
  // formulas and operand count only; the formulas of a grid column share all
  // of them, so it is kept by expression text and checked against the rest.
  struct LoadedCall {
    Function function;
    std::size_t name_size;
    std::int64_t position;
    friend bool operator==(const LoadedCall&, const LoadedCall&) = default;
  };
  struct Loaded {
    // What it was worked out from, besides the expression.
    std::vector<LoadedCall> calls;
    std::vector<std::pair<std::int64_t, std::int64_t>> embedded;
    std::size_t operand_count = 0;
    // What Load leaves.
    bool is_formula = false;
    std::vector<std::size_t> call_positions;
    std::vector<TextSpan> embedded_spans;
    std::vector<TextSpan> literals;
    std::vector<Placeholder> placeholders;
    std::vector<std::optional<Function>> enclosing;
    std::optional<DirectPlan> direct;
  };
  std::unordered_map<std::string, Loaded> m_loaded;
  const Loaded* m_kept = nullptr;  // LoadKept's entry of the current call
  bool m_text_loaded = false;      // m_text holds the current expression

  // The direct way (see DirectPlan): the loaded expression's plan, or null.
  const DirectPlan* m_direct = nullptr;
  std::vector<std::string> m_call_results;  // per call, once evaluated
  std::string m_compose;                    // DirectText's joined segments
  struct DirectPart {
    std::size_t argument;   // in the plan's arguments
    std::string_view text;  // a lone operand's piece between commas
    bool piece;             // `text` is such a piece
    bool whole;             // the piece is the operand's whole value
  };
  std::vector<DirectPart> m_direct_parts;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_ITEM_EVALUATION_H_
