// The direct way of ItemEvaluation: formulas of the plain shapes evaluated
// from their operands' and calls' values, part by part, without rewriting
// the whole formula text (see ItemEvaluation::DirectPlan).
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "evaluate/call_arguments.h"
#include "evaluate/evaluate.h"
#include "evaluate/function_order.h"
#include "evaluate/item_evaluation.h"
#include "evaluate/number_text.h"
#include "evaluate/operator_evaluation.h"
#include "formula/token_lists.h"
#include "frame/text.h"
#include "frame/text_value.h"

namespace orvo {
namespace {

bool IsPlainFunction(Function function) {
  switch (function) {
    case Function::kSum:
    case Function::kAvg:
    case Function::kMax:
    case Function::kMin:
    case Function::kMod:
    case Function::kIf:
    case Function::kAnd:
    case Function::kOr:
      return true;
    default:
      return false;
  }
}

// Calls nested deeper than this take the text way (plans are worked out
// recursively).
constexpr int kMaxDirectDepth = 16;

}  // namespace

// The parts of a call of a direct plan (m_direct_parts): each is one of the
// call's arguments, or one comma-separated piece of a lone operand's value.
// The text of a part is the text the working text would hold there, so its
// value is the same.
class ItemEvaluation::DirectArguments final : public CallArguments {
 public:
  explicit DirectArguments(ItemEvaluation& evaluation) : m_evaluation(evaluation) {}

  std::size_t Count() const override { return m_evaluation.m_direct_parts.size(); }
  bool Balanced() const override { return true; }
  std::string_view View(std::size_t part, std::string& buffer) override {
    const DirectPart& direct = m_evaluation.m_direct_parts[part];
    if (direct.piece) return ValueOfText(direct.text, Literals{}, buffer);
    const DirectPlan::Part& argument = m_evaluation.m_direct->arguments[direct.argument];
    const std::string_view text = m_evaluation.DirectText(argument);
    const std::string_view value = ValueOfText(text, Literals{}, buffer);
    // (A view of the joined text would not outlast the next part's.)
    if (argument.last - argument.first > 1 && value.data() != buffer.data()) {
      buffer.assign(value);
      return buffer;
    }
    return value;
  }
  std::optional<std::int32_t> Cells(std::size_t part, EvaluationScope& scope) override {
    const DirectPart& direct = m_evaluation.m_direct_parts[part];
    // Pieces of a range's cells hold no whole operand.
    if (direct.piece && !direct.whole) return std::nullopt;
    const DirectPlan& plan = *m_evaluation.m_direct;
    const DirectPlan::Part& argument = plan.arguments[direct.argument];
    std::optional<std::int32_t> cells;
    for (std::size_t i = argument.first; i < argument.last; ++i) {
      const DirectPlan::Segment& segment = plan.segments[i];
      if (segment.kind != DirectPlan::Segment::Kind::kOperand) continue;
      const OperandRequest request =
          m_evaluation.RequestFor(m_evaluation.m_placeholders[segment.index].number);
      if (!IsCellOperand(request.type)) continue;
      const std::int32_t counted =
          m_evaluation.m_evaluator.ResolverFor(KindOf(request.type)).CellCount(request, scope);
      cells = AddLong(cells.value_or(0), counted);
    }
    return cells;
  }

 private:
  ItemEvaluation& m_evaluation;
};

std::optional<ItemEvaluation::DirectPlan> ItemEvaluation::PlanDirect() const {
  const std::string& text = *m_record->expression;
  if (!m_is_formula || text.empty() || text.front() != '=' || !m_text.Embedded().empty() ||
      !m_text.Literals().empty()) {
    return std::nullopt;
  }
  const std::vector<WorkingText::Call>& calls = m_text.Calls();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].position == WorkingText::kGone || !m_brackets[i] ||
        !IsPlainFunction(calls[i].function)) {
      return std::nullopt;
    }
  }
  DirectPlan plan;
  constexpr std::size_t kUnset = static_cast<std::size_t>(-1);
  plan.calls.assign(calls.size(), {Function::kSum, kUnset, kUnset});
  plan.lone.assign(m_placeholders.size(), false);
  std::size_t position = 0;
  std::size_t next_placeholder = 0;
  std::vector<DirectPlan::Segment> formula;
  if (!PlanSequence(plan, position, false, 0, next_placeholder, formula) ||
      next_placeholder != m_placeholders.size()) {
    return std::nullopt;
  }
  for (const DirectPlan::Call& call : plan.calls) {
    if (call.first_argument == kUnset) return std::nullopt;
  }
  plan.formula = {plan.segments.size(), plan.segments.size() + formula.size()};
  plan.segments.insert(plan.segments.end(), formula.begin(), formula.end());
  FunctionOrder(m_record->calls, plan.order);
  return plan;
}

bool ItemEvaluation::PlanSequence(DirectPlan& plan, std::size_t& position, bool in_call, int depth,
                                  std::size_t& next_placeholder,
                                  std::vector<DirectPlan::Segment>& out) const {
  using Kind = DirectPlan::Segment::Kind;
  const std::string& text = *m_record->expression;
  const std::vector<WorkingText::Call>& calls = m_text.Calls();
  while (position < text.size()) {
    const char c = text[position];
    if (c == ',' || c == ')') return in_call;
    std::size_t call = 0;
    while (call < calls.size() && calls[call].position != position) ++call;
    if (call < calls.size()) {
      const std::string_view name = calls[call].name;
      const std::size_t open = position + name.size();
      if (depth >= kMaxDirectDepth || open >= text.size() || text[open] != '(' ||
          m_brackets[call]->start != open + 1 ||
          !EqualsIgnoreCase(std::string_view(text).substr(position, name.size()), name)) {
        return false;
      }
      position = open + 1;
      std::vector<std::vector<DirectPlan::Segment>> arguments;
      while (true) {
        arguments.emplace_back();
        if (!PlanSequence(plan, position, true, depth + 1, next_placeholder, arguments.back()) ||
            position >= text.size()) {
          return false;
        }
        if (text[position++] == ')') break;
      }
      const Function function = calls[call].function;
      if (position != m_brackets[call]->end + 1 ||
          (function == Function::kMod && arguments.size() != 2) ||
          (function == Function::kIf && arguments.size() != 3)) {
        return false;
      }
      plan.calls[call] = {function, plan.arguments.size(),
                          plan.arguments.size() + arguments.size()};
      for (const std::vector<DirectPlan::Segment>& argument : arguments) {
        if (argument.size() == 1 && argument.front().kind == Kind::kOperand) {
          plan.lone[argument.front().index] = true;
        }
        plan.arguments.push_back({plan.segments.size(), plan.segments.size() + argument.size()});
        plan.segments.insert(plan.segments.end(), argument.begin(), argument.end());
      }
      out.push_back({Kind::kCall, call, 0});
      continue;
    }
    if (next_placeholder < m_placeholders.size() &&
        m_placeholders[next_placeholder].span.start == position) {
      out.push_back({Kind::kOperand, next_placeholder, 0});
      position = m_placeholders[next_placeholder].span.end;
      ++next_placeholder;
      continue;
    }
    const bool plain = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == '*' ||
                       c == '/' || c == '<' || c == '>' || c == '=';
    if (!plain) return false;
    if (!out.empty() && out.back().kind == Kind::kText &&
        out.back().index + out.back().length == position) {
      ++out.back().length;
    } else {
      out.push_back({Kind::kText, position, 1});
    }
    ++position;
  }
  return !in_call;
}

std::string_view ItemEvaluation::DirectSegmentText(const DirectPlan::Segment& segment) const {
  switch (segment.kind) {
    case DirectPlan::Segment::Kind::kText:
      return std::string_view(*m_record->expression).substr(segment.index, segment.length);
    case DirectPlan::Segment::Kind::kOperand:
      return m_edits[segment.index].value;
    case DirectPlan::Segment::Kind::kCall:
      return m_call_results[segment.index];
  }
  return std::string_view();
}

std::string_view ItemEvaluation::DirectText(const DirectPlan::Part& part) {
  if (part.last == part.first) return std::string_view();
  if (part.last - part.first == 1) return DirectSegmentText(m_direct->segments[part.first]);
  m_compose.clear();
  for (std::size_t i = part.first; i < part.last; ++i) {
    m_compose.append(DirectSegmentText(m_direct->segments[i]));
  }
  return m_compose;
}

bool ItemEvaluation::RunDirect(EvaluationScope& scope, std::string& value) {
  const DirectPlan& plan = *m_direct;
  // A value the working text would mark as literal text, or one whose commas
  // would part an argument it is only a piece of, takes the text way.
  for (std::size_t i = 0; i < m_edit_count; ++i) {
    const WorkingText::Edit& edit = m_edits[i];
    if (!edit.literals.empty()) return false;
    if (!plan.lone[i] && edit.value.find(',') != std::string::npos) return false;
  }
  m_call_results.resize(plan.calls.size());
  DirectArguments arguments(*this);
  for (const std::size_t index : plan.order) {
    const DirectPlan::Call& call = plan.calls[index];
    m_direct_parts.clear();
    for (std::size_t a = call.first_argument; a < call.last_argument; ++a) {
      const DirectPlan::Part& argument = plan.arguments[a];
      const DirectPlan::Segment& first = plan.segments[argument.first];
      if (argument.last - argument.first != 1 ||
          first.kind != DirectPlan::Segment::Kind::kOperand) {
        m_direct_parts.push_back({a, {}, false, false});
        continue;
      }
      // A lone operand: a range taken cell by cell holds its cells joined
      // by commas, each a part of its own.
      const std::string_view operand = m_edits[first.index].value;
      const bool whole = operand.find(',') == std::string_view::npos;
      std::size_t start = 0;
      while (true) {
        const std::size_t comma = operand.find(',', start);
        m_direct_parts.push_back({a, operand.substr(start, comma - start), true, whole});
        if (comma == std::string_view::npos) break;
        start = comma + 1;
      }
    }
    Resolution result;
    if (call.function == Function::kMod) {
      // (Mod parts its arguments at the last comma.)
      if (m_direct_parts.size() != 2) return false;
      const std::string_view dividend = arguments.View(0, m_argument);
      result = ModuloOf(dividend, arguments.View(1, m_second_argument));
    } else {
      result = CallPlain(call.function, arguments, scope);
    }
    if (result.outcome != Resolution::Outcome::kValue) return false;
    // A text result would stand as literal text.
    if (!result.text.empty() && !IsNumber(result.text)) return false;
    m_call_results[index].swap(result.text);
  }
  // "=" and one value without sign, spaces, quotes or operators (most
  // formulas, once their call is made) is that value.
  const DirectPlan::Part& formula = plan.formula;
  if (formula.last - formula.first == 2 && plan.segments[formula.first].length == 1) {
    const std::string_view lone = DirectSegmentText(plan.segments[formula.first + 1]);
    const OperatorTable& operators = SharedOperatorTable();
    if (!lone.empty() && lone.front() != '+' && lone.front() != '-' &&
        std::none_of(lone.begin(), lone.end(), [&](char c) {
          return operators.IsOperatorChar(c) || c == '"' || c == '\'' || c == '=' || c == ' ';
        })) {
      value.assign(lone);
      return true;
    }
  }
  value.assign(ValueOfText(DirectText(formula), Literals{}, m_argument));
  return true;
}

}  // namespace orvo
