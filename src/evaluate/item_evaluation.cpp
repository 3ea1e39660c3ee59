#include "evaluate/item_evaluation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ctime>
#include <unordered_set>

#include "companions/cell_key.h"
#include "evaluate/call_arguments.h"
#include "evaluate/evaluate.h"
#include "evaluate/function_order.h"
#include "evaluate/ledger_amounts.h"
#include "evaluate/number_format.h"
#include "evaluate/number_text.h"
#include "evaluate/operator_evaluation.h"
#include "formula/token_lists.h"
#include "frame/column_letters.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr const char* kSource = "Evaluate";
constexpr std::string_view kMarker = "\xC3\xBF";  // the character of code 255 (U+00FF)

bool IsBareFunction(Function function) {
  switch (function) {
    case Function::kNow:
    case Function::kYear:
    case Function::kPeriod:
    case Function::kPage:
    case Function::kPageCount:
    case Function::kRepeatPosition:
    case Function::kIsFirstRecord:
    case Function::kIsLastRecord:
      return true;
    default:
      return false;
  }
}

const char* BooleanText(bool value) { return value ? "True" : "False"; }

std::size_t SkipSpaces(std::string_view text, std::size_t position) {
  while (position < text.size() && text[position] == ' ') ++position;
  return position;
}

// The number of characters (not bytes) of UTF-8 text.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The byte offset after the first `count` characters of UTF-8 text.
std::size_t ByteOffsetOfCharacter(std::string_view text, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen == count) return i;
    ++seen;
  }
  return text.size();
}

// A text as an XPath string literal, whatever quotes it holds.
std::string XPathLiteral(std::string_view text) {
  std::string literal;
  const auto quoted = [&literal](char quote, std::string_view part) {
    literal.push_back(quote);
    literal.append(part);
    literal.push_back(quote);
  };
  if (text.find('"') == std::string_view::npos) {
    quoted('"', text);
    return literal;
  }
  if (text.find('\'') == std::string_view::npos) {
    quoted('\'', text);
    return literal;
  }
  literal = "concat(";
  std::size_t start = 0;
  while (true) {
    const std::size_t quote = text.find('"', start);
    quoted('"', text.substr(start, quote - start));
    if (quote == std::string_view::npos) break;
    literal.append(",'\"',");
    start = quote + 1;
  }
  literal.push_back(')');
  return literal;
}

std::string NowText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, length);
}

// Row and column number of a cell key such as "C12"; nothing for other text.
std::optional<std::pair<std::int32_t, std::int32_t>> CellPosition(std::string_view key) {
  const std::size_t digit = key.find_first_of("0123456789");
  if (digit == std::string_view::npos || digit == 0) return std::nullopt;
  std::int32_t row = 0;
  const std::string_view digits = key.substr(digit);
  const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
  if (failure != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  const std::int16_t column = LetterColumnNumber(UpperCase(key.substr(0, digit)));
  if (column < 0) return std::nullopt;
  return std::make_pair(row, static_cast<std::int32_t>(column));
}

// The item's record element: its first element child when that is a PEx.
xml::Node RecordElementOf(const xml::Node& item) {
  for (xml::Node child = item.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement) continue;
    if (child.NameIs("PEx")) return child;
    break;
  }
  return {};
}

}  // namespace

// The parts of a span of the working text.
class ItemEvaluation::TextArguments final : public CallArguments {
 public:
  TextArguments(ItemEvaluation& evaluation, TextSpan arguments)
      : m_evaluation(evaluation), m_parts(evaluation.SplitArguments(arguments, &m_balanced)) {}

  std::size_t Count() const override { return m_parts.size(); }
  bool Balanced() const override { return m_balanced; }
  std::string_view View(std::size_t part, std::string& buffer) override {
    return m_evaluation.ArgumentView(m_parts[part], buffer);
  }
  std::optional<std::int32_t> Cells(std::size_t part, EvaluationScope& scope) override {
    return m_evaluation.CellsIn(m_parts[part], scope);
  }

 private:
  ItemEvaluation& m_evaluation;
  bool m_balanced = true;
  const std::vector<TextSpan>& m_parts;
};
bool ItemEvaluation::Run(const xml::Node& item, const xml::Node& repeat_list,
                         std::int32_t repeat_position, std::string_view repeat_key,
                         const ParsedExpression* parsed) {
  m_item = item;
  m_result_value = nullptr;
  if (!(m_attributes.Element() == item)) m_attributes.Find(item);
  m_record_element = xml::Node();
  m_record_unwritten = parsed != nullptr;
  if (parsed) {
    // Evaluated from the caller's parse as it is; only the operands are
    // kept, for OperandCache once the call is over.
    m_record = parsed;
    m_kept_operands.resize(parsed->operands.size());
    for (std::size_t i = 0; i < parsed->operands.size(); ++i) {
      m_kept_operands[i].assign(parsed->operands[i].text);
    }
  } else {
    m_record_element = RecordElementOf(item);
    if (m_record_element) {
      ReadParsedExpression(m_record_element, m_read_record);
    } else {
      m_read_record = ParsedExpression();
    }
    m_record = &m_read_record;
  }
  m_text.Reset({});
  m_placeholders.clear();
  m_scanned_literals.clear();
  if (m_record->IsEmpty()) {
    // A text cell: its value is its text as written, which stays in place.
    const bool has_value = m_attributes.Has(kValue);
    m_text_value.assign(m_attributes.Value(kValue));
    Finish(m_text_value, !has_value);
    m_result_value = &m_text_value;
    return true;
  }

  EvaluationScope scope(m_evaluator, item, repeat_list, repeat_position, repeat_key);
  Load();
  m_error_value.clear();
  if (ResolveOperands(scope) == Outcome::kDeferred) {
    Defer();
    return false;
  }
  if (!m_error_value.empty()) {
    m_evaluator.WriteErrorValue(item, m_error_value);
    m_result_value = &m_error_value;
    return true;
  }
  if (!m_direct || !m_evaluator.DirectEvaluation() || !RunDirect(scope, m_final_value)) {
    if (!m_text_loaded) LoadText(*m_kept);
    m_text.SubstituteAll(std::span<const WorkingText::Edit>(m_edits.data(), m_edit_count));
    if (EvaluateCalls(scope) == Outcome::kDeferred) {
      Defer();
      return false;
    }
    m_final_value = FinalValue();
  }
  Finish(m_final_value);
  m_result_value = &m_final_value;
  return true;
}

bool ItemEvaluation::KnownResult(std::string_view& value, bool& evaluated) {
  if (!m_result_value) return false;
  // Text of printable ASCII is stored as it is written; other text may be
  // made valid on the way in, and is read back from the item instead.
  if (!std::all_of(m_result_value->begin(), m_result_value->end(),
                   [](char c) { return c >= ' ' && c <= '~'; })) {
    return false;
  }
  if (!m_attributes.Has(kEvaluated)) return false;
  value = *m_result_value;
  evaluated = Trim(m_attributes.Value(kEvaluated)) == "-1";
  return true;
}

std::string_view ItemEvaluation::OperandText(int number) const {
  const auto index = static_cast<std::size_t>(number - 1);
  if (m_record == &m_read_record) return m_read_record.operands[index].text;
  return m_kept_operands[index];
}

void ItemEvaluation::Load() {
  const std::string& expression = *m_record->expression;
  m_direct = nullptr;
  if (LoadKept()) return;
  m_text.Reset(expression);
  m_text_loaded = true;
  const std::string_view leading = TrimLeft(expression);
  m_is_formula = !leading.empty() && leading.front() == '=';

  for (const ParsedExpression::FunctionCall& call : m_record->calls) {
    const std::int64_t position = m_is_formula ? call.position : call.position - 1;
    const bool inside = position >= 0 && static_cast<std::size_t>(position) < expression.size();
    m_text.Calls().push_back({call.function, call.name,
                              inside ? static_cast<std::size_t>(position) : WorkingText::kGone});
  }
  for (const ParsedExpression::Embedded& embedded : m_record->embedded) {
    if (embedded.start < 1 || embedded.end < embedded.start - 1 ||
        static_cast<std::size_t>(embedded.end) > expression.size()) {
      RaiseError(kSource, "An embedded formula lies outside the expression text");
    }
    m_text.Embedded().push_back(
        {static_cast<std::size_t>(embedded.start - 1), static_cast<std::size_t>(embedded.end)});
  }

  // (Two single-character searches: find_first_of would test the set
  // character by character.)
  if (expression.find('"') != std::string::npos || expression.find('\'') != std::string::npos) {
    std::vector<TextSpan> literals;
    if (m_is_formula) {
      ScanLiterals(expression, 0, expression.size(), literals);
    } else {
      for (const TextSpan& embedded : m_text.Embedded()) {
        ScanLiterals(expression, embedded.start, embedded.end, literals);
      }
    }
    for (const TextSpan& literal : literals) m_text.AddLiteral(literal);
  }
  m_scanned_literals = m_text.Literals();

  // Placeholders, matched whole (I~_T~1 is not the start of I~_T~10), and
  // the bracket pairs, in one pass over the text outside literals.
  m_brackets.clear();
  m_pairs.clear();
  m_open.clear();
  SpanCursor cursor(m_text.Literals());
  const bool any_literal = !m_text.Literals().empty();
  const std::size_t operand_count = m_record->operands.size();
  for (std::size_t i = 0; i < expression.size(); ++i) {
    const char c = expression[i];
    if (c != '(' && c != ')' && c != 'I') continue;
    if (any_literal) {
      // (The cursor finds the literal holding any later position.)
      if (const TextSpan* literal = cursor.At(i)) {
        i = literal->end - 1;
        continue;
      }
    }
    if (c == '(') {
      if (static_cast<int>(m_open.size()) >= kMaxNesting) {
        RaiseError(kSource, "Brackets are nested too deeply");
      }
      m_open.push_back(i);
    } else if (c == ')') {
      if (!m_open.empty()) {
        m_pairs.push_back({m_open.back(), i});
        m_open.pop_back();
      }
    } else if (c == 'I' && std::string_view(expression).substr(i).starts_with(kPlaceholderPrefix)) {
      const std::size_t digits = i + kPlaceholderPrefix.size();
      std::size_t end = digits;
      while (end < expression.size() && expression[end] >= '0' && expression[end] <= '9') ++end;
      std::size_t number = 0;
      const auto parsed =
          std::from_chars(expression.data() + digits, expression.data() + end, number);
      if (parsed.ec == std::errc() && end > digits && number >= 1 && number <= operand_count) {
        m_placeholders.push_back({{i, end}, static_cast<int>(number)});
        i = end - 1;
      }
    }
  }
  std::sort(m_pairs.begin(), m_pairs.end());
  FindCallBrackets();
  m_enclosing.clear();
  for (const Placeholder& placeholder : m_placeholders) {
    m_enclosing.push_back(EnclosingCall(placeholder.span.start));
  }
  KeepLoaded();
}

bool ItemEvaluation::LoadKept() {
  const auto kept = m_loaded.find(*m_record->expression);
  if (kept == m_loaded.end()) return false;
  const Loaded& loaded = kept->second;
  if (loaded.operand_count != m_record->operands.size() ||
      loaded.calls.size() != m_record->calls.size() ||
      loaded.embedded.size() != m_record->embedded.size()) {
    return false;
  }
  for (std::size_t i = 0; i < loaded.calls.size(); ++i) {
    const ParsedExpression::FunctionCall& call = m_record->calls[i];
    if (!(loaded.calls[i] == LoadedCall{call.function, call.name.size(), call.position})) {
      return false;
    }
  }
  for (std::size_t i = 0; i < loaded.embedded.size(); ++i) {
    const ParsedExpression::Embedded& embedded = m_record->embedded[i];
    if (loaded.embedded[i] != std::pair<std::int64_t, std::int64_t>(embedded.start, embedded.end)) {
      return false;
    }
  }
  m_is_formula = loaded.is_formula;
  m_placeholders = loaded.placeholders;
  m_enclosing = loaded.enclosing;
  m_direct = loaded.direct ? &*loaded.direct : nullptr;
  m_kept = &loaded;
  if (m_direct) {
    // The working text is filled in only if the direct way gives up. (A
    // plan's expression holds no literal.)
    m_text_loaded = false;
    m_scanned_literals.clear();
    return true;
  }
  LoadText(loaded);
  return true;
}

void ItemEvaluation::LoadText(const Loaded& loaded) {
  m_text.Reset(*m_record->expression);
  for (std::size_t i = 0; i < loaded.call_positions.size(); ++i) {
    const ParsedExpression::FunctionCall& call = m_record->calls[i];
    m_text.Calls().push_back({call.function, call.name, loaded.call_positions[i]});
  }
  m_text.Embedded() = loaded.embedded_spans;
  m_text.SetLiterals(loaded.literals);
  m_scanned_literals = loaded.literals;
  m_text_loaded = true;
}

void ItemEvaluation::KeepLoaded() {
  // A book of many different expressions keeps the latest ones only.
  constexpr std::size_t kMaxKept = 1024;
  if (m_loaded.size() >= kMaxKept) m_loaded.clear();
  Loaded& loaded = m_loaded[*m_record->expression];
  loaded.calls.clear();
  loaded.call_positions.clear();
  for (const ParsedExpression::FunctionCall& call : m_record->calls) {
    loaded.calls.push_back({call.function, call.name.size(), call.position});
  }
  for (const WorkingText::Call& call : m_text.Calls())
    loaded.call_positions.push_back(call.position);
  loaded.embedded.clear();
  for (const ParsedExpression::Embedded& embedded : m_record->embedded) {
    loaded.embedded.emplace_back(embedded.start, embedded.end);
  }
  loaded.operand_count = m_record->operands.size();
  loaded.is_formula = m_is_formula;
  loaded.embedded_spans = m_text.Embedded();
  loaded.literals = m_text.Literals();
  loaded.placeholders = m_placeholders;
  loaded.enclosing = m_enclosing;
  loaded.direct = PlanDirect();
  m_direct = loaded.direct ? &*loaded.direct : nullptr;
}

void ItemEvaluation::FindCallBrackets() {
  const std::string& text = m_text.Text();
  for (const WorkingText::Call& call : m_text.Calls()) {
    std::optional<TextSpan> arguments;
    if (call.position != WorkingText::kGone) {
      const std::size_t open = SkipSpaces(text, call.position + call.name.size());
      auto pair =
          std::lower_bound(m_pairs.begin(), m_pairs.end(), std::make_pair(open, std::size_t{0}));
      if (open < text.size() && text[open] == '(' && pair != m_pairs.end() && pair->first == open) {
        arguments = TextSpan{open + 1, pair->second};
      }
    }
    m_brackets.push_back(arguments);
  }
}

std::optional<Function> ItemEvaluation::EnclosingCall(std::size_t position) const {
  std::optional<Function> enclosing;
  std::size_t innermost = 0;
  const std::vector<WorkingText::Call>& calls = m_text.Calls();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const std::optional<TextSpan>& arguments = m_brackets[i];
    if (!arguments || !arguments->Contains(position)) continue;
    if (!enclosing || arguments->start > innermost) {
      enclosing = calls[i].function;
      innermost = arguments->start;
    }
  }
  return enclosing;
}

OperandRequest ItemEvaluation::RequestFor(int number) const {
  const ParsedExpression::Operand& operand =
      m_record->operands[static_cast<std::size_t>(number - 1)];
  OperandRequest request{operand.type, operand.text, number, std::nullopt, false};
  return request;
}

ItemEvaluation::Outcome ItemEvaluation::ResolveOperands(EvaluationScope& scope) {
  m_edit_count = 0;
  for (std::size_t index = 0; index < m_placeholders.size(); ++index) {
    const Placeholder& placeholder = m_placeholders[index];
    OperandRequest request = RequestFor(placeholder.number);
    request.enclosing = m_enclosing[index];
    const bool counting =
        request.enclosing == Function::kCount || request.enclosing == Function::kCountRows;
    request.wants_cells =
        request.type == OperandType::kRange &&
        (request.enclosing == Function::kMax || request.enclosing == Function::kMin);

    // Counting functions need the cells, not their values.
    Resolution resolution =
        counting && IsCellOperand(request.type)
            ? Resolution::Value(std::string(request.text))
            : m_evaluator.ResolverFor(KindOf(request.type)).Resolve(request, scope);
    if (resolution.outcome == Resolution::Outcome::kDeferred) return Outcome::kDeferred;
    if (resolution.outcome == Resolution::Outcome::kErrorValue) {
      m_error_value = resolution.text.empty() ? "#ERROR" : resolution.text;
      return Outcome::kDone;
    }

    // (The edits of earlier calls are reused, with their storage.)
    if (m_edit_count == m_edits.size()) m_edits.emplace_back();
    WorkingText::Edit& edit = m_edits[m_edit_count++];
    edit.span = placeholder.span;
    edit.value.swap(resolution.text);
    edit.literals.clear();
    edit.number = placeholder.number;
    if (!resolution.cells.empty()) {
      for (const std::string& cell : resolution.cells) {
        if (!edit.value.empty() || &cell != &resolution.cells.front()) edit.value.push_back(',');
        const std::size_t start = edit.value.size();
        edit.value.append(cell);
        if (!cell.empty() && !IsNumber(cell)) edit.literals.push_back({start, edit.value.size()});
      }
    } else if (!edit.value.empty() && !IsNumber(edit.value)) {
      edit.literals.push_back({0, edit.value.size()});
    }
  }
  return m_edit_count != 0 && ItemWasDeferred() ? Outcome::kDeferred : Outcome::kDone;
}

ItemEvaluation::Outcome ItemEvaluation::EvaluateCalls(EvaluationScope& scope) {
  FunctionOrder(m_record->calls, m_order);
  for (std::size_t index : m_order) {
    WorkingText::Call& call = m_text.Calls()[index];
    if (call.position == WorkingText::kGone) continue;
    m_consulted_resolver = false;
    if (EvaluateFunction(call, scope) == Outcome::kDeferred ||
        (m_consulted_resolver && ItemWasDeferred())) {
      return Outcome::kDeferred;
    }
  }
  return Outcome::kDone;
}

ItemEvaluation::Outcome ItemEvaluation::EvaluateFunction(WorkingText::Call& call,
                                                         EvaluationScope& scope) {
  const std::string& text = m_text.Text();
  const std::size_t start = call.position;
  if (start + call.name.size() > text.size() ||
      !EqualsIgnoreCase(std::string_view(text).substr(start, call.name.size()), call.name)) {
    RaiseError(kSource,
               "The call of " + std::string(call.name) + " is not where its record places it");
  }
  const std::size_t after_name = start + call.name.size();
  const std::size_t open = SkipSpaces(text, after_name);
  TextSpan arguments{after_name, after_name};
  std::size_t end = after_name;
  if (IsBareFunction(call.function)) {
    // A bare name; empty brackets after it belong to the call.
    if (open < text.size() && text[open] == '(') {
      const std::size_t close = SkipSpaces(text, open + 1);
      if (close < text.size() && text[close] == ')') end = close + 1;
    }
  } else {
    if (open >= text.size() || text[open] != '(') {
      RaiseError(kSource, std::string(call.name) + " has no argument list");
    }
    SpanCursor literals(m_text.Literals());
    int depth = 0;
    std::size_t close = open;
    for (; close < text.size(); ++close) {
      if (const TextSpan* literal = literals.At(close)) {
        close = literal->end - 1;
        continue;
      }
      if (text[close] == '(') ++depth;
      if (text[close] == ')' && --depth == 0) break;
    }
    if (close >= text.size())
      RaiseError(kSource, "The bracket after " + std::string(call.name) + " is not closed");
    arguments = {open + 1, close};
    end = close + 1;
  }

  Resolution result = CallFunction(call.function, arguments, scope);
  if (result.outcome == Resolution::Outcome::kDeferred) return Outcome::kDeferred;
  const bool text_value = !result.text.empty() && !IsNumber(result.text);
  m_text.Replace({start, end}, result.text, text_value);
  return Outcome::kDone;
}

std::string ItemEvaluation::FinalValue() {
  if (m_is_formula) return ArgumentValue({0, m_text.Text().size()});
  std::vector<TextSpan> embedded = m_text.Embedded();
  for (auto span = embedded.rbegin(); span != embedded.rend(); ++span) {
    m_text.Replace(*span, ArgumentValue(*span), false);
  }
  return m_text.Text();
}

bool ItemEvaluation::ItemWasDeferred() { return m_attributes.Value(kEvaluated) == "0"; }

void ItemEvaluation::Defer() {
  // The furthest cell the expression's cell and range operands reach.
  std::optional<std::pair<std::int32_t, std::int32_t>> furthest;
  std::string furthest_key;
  const auto consider = [&](std::string_view key) {
    const auto position = CellPosition(key);
    if (!position) return;
    if (!furthest || position->first > furthest->first ||
        (position->first == furthest->first && position->second > furthest->second)) {
      furthest = position;
      furthest_key = UpperCase(key);
    }
  };
  for (const ParsedExpression::Operand& operand : m_record->operands) {
    if (!IsCellOperand(operand.type)) continue;
    const std::string_view text = operand.text;
    const std::size_t colon = text.find(':');
    consider(Trim(text.substr(0, colon)));
    if (colon != std::string_view::npos) consider(Trim(text.substr(text.rfind(':') + 1)));
  }
  if (m_record_unwritten) {
    // A later pass reads the record from the item.
    m_record_element = RecordElementOf(m_item);
    const xml::Node written = WriteParsedExpression(*m_record, m_item.OwnerDocument());
    if (m_record_element) {
      m_item.ReplaceChild(written, m_record_element);
    } else {
      m_item.InsertBefore(written, m_item.FirstChild());
    }
    m_record_element = written;
    m_record_unwritten = false;
  }
  if (m_record_element && furthest) m_record_element.SetAttribute("Max", furthest_key);
  m_attributes.Write(kEvaluated, "0");
}

void ItemEvaluation::Finish(std::string_view value, bool write_value) {
  if (write_value) m_attributes.Write(kValue, value);
  std::string display = FormatDisplayText(m_item, value);
  if (m_attributes.Has(kDsp)) {
    const std::string_view shown = m_attributes.Value(kDsp);
    const std::size_t leading = shown.find_first_not_of(' ');
    if (leading == std::string::npos) {
      display.insert(0, shown.size(), ' ');
    } else {
      const std::size_t trailing = shown.size() - 1 - shown.find_last_not_of(' ');
      display.insert(0, leading, ' ');
      display.append(trailing, ' ');
    }
  }
  m_attributes.Write(kPTxt, display);
}

// ---------------------------------------------------------------------------
// Functions

const std::vector<TextSpan>& ItemEvaluation::SplitArguments(TextSpan arguments, bool* balanced) {
  std::vector<TextSpan>& parts = m_parts;
  parts.clear();
  const std::string& text = m_text.Text();
  SpanCursor literals(m_text.Literals());
  const bool any_literal = !m_text.Literals().empty();
  int depth = 0;
  std::size_t start = arguments.start;
  for (std::size_t i = arguments.start; i < arguments.end; ++i) {
    if (any_literal) {
      if (const TextSpan* literal = literals.At(i)) {
        i = std::min(literal->end, arguments.end) - 1;
        continue;
      }
    }
    const char c = text[i];
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0 && balanced != nullptr) *balanced = false;
    if (c == ',' && depth == 0) {
      parts.push_back({start, i});
      start = i + 1;
    }
  }
  parts.push_back({start, arguments.end});
  if (depth != 0 && balanced != nullptr) *balanced = false;
  return parts;
}

std::size_t ItemEvaluation::LastComma(TextSpan arguments) const {
  const std::string& text = m_text.Text();
  for (std::size_t i = arguments.end; i > arguments.start; --i) {
    if (text[i - 1] == ',' && !m_text.InLiteral(i - 1)) return i - 1;
  }
  return std::string::npos;
}

Literals ItemEvaluation::LiteralsFor(TextSpan part) {
  m_ranges.clear();
  for (const TextSpan& literal : m_text.Literals()) {
    if (literal.end <= part.start) continue;
    if (literal.start >= part.end) break;
    m_ranges.push_back({static_cast<int>(literal.start) + 1, static_cast<int>(literal.end)});
  }
  return Literals{m_ranges, static_cast<int>(part.start)};
}

std::string ItemEvaluation::ArgumentValue(TextSpan argument) {
  std::string value;
  const std::string_view view = ArgumentView(argument, value);
  if (view.data() != value.data()) value.assign(view);
  return value;
}

std::string_view ItemEvaluation::ArgumentView(TextSpan argument, std::string& buffer) {
  return ValueOfText(std::string_view(m_text.Text()).substr(argument.start, argument.Length()),
                     LiteralsFor(argument), buffer);
}

std::string_view ItemEvaluation::ValueOfText(std::string_view text, const Literals& literals,
                                             std::string& buffer) {
  // Digits and points alone (most values) are their own value.
  if (literals.ranges.empty() && !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.';
      })) {
    return text;
  }
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() && literals.ranges.empty()) return std::string_view();
  // A lone value (most arguments once their operands are substituted) is
  // its own value: no operator, bracket, quote or literal text to work on.
  const OperatorTable& operators = SharedOperatorTable();
  const bool plain =
      literals.ranges.empty() && std::none_of(trimmed.begin(), trimmed.end(), [&](char c) {
        return operators.IsOperatorChar(c) || c == '"' || c == '\'' || c == '=';
      });
  if (plain) return trimmed;
  // The value keeps spaces that are literal text (" " stays one space).
  buffer = EvaluateOperators(text, literals);
  return buffer;
}

std::optional<std::int32_t> ItemEvaluation::CellsIn(TextSpan argument, EvaluationScope& scope) {
  std::optional<std::int32_t> cells;
  for (const WorkingText::Substitution& substitution : m_text.Substitutions()) {
    if (substitution.span.start < argument.start || substitution.span.end > argument.end) continue;
    const OperandRequest request = RequestFor(substitution.number);
    if (!IsCellOperand(request.type)) continue;
    const std::int32_t counted =
        m_evaluator.ResolverFor(KindOf(request.type)).CellCount(request, scope);
    cells = AddLong(cells.value_or(0), counted);
  }
  return cells;
}

std::string ItemEvaluation::BookmarkKey(TextSpan arguments) const {
  std::string_view written =
      Trim(std::string_view(m_text.Text()).substr(arguments.start, arguments.Length()));
  if (written.size() >= 2 && (written.front() == '"' || written.front() == '\'') &&
      written.back() == written.front()) {
    written = written.substr(1, written.size() - 2);
  }
  return UpperCase(written);
}

Resolution ItemEvaluation::CallFunction(Function function, TextSpan arguments,
                                        EvaluationScope& scope) {
  switch (function) {
    case Function::kSum:
    case Function::kAvg:
    case Function::kMax:
    case Function::kMin:
    case Function::kAnd:
    case Function::kOr:
    case Function::kIf: {
      TextArguments parts(*this, arguments);
      return CallPlain(function, parts, scope);
    }
    case Function::kCount:
      return Count(arguments, scope);
    case Function::kCountRows:
      return CountRows(arguments, scope);
    case Function::kLeft:
      return LeftOrRight(arguments, true);
    case Function::kRight:
      return LeftOrRight(arguments, false);
    case Function::kMod:
      return Modulo(arguments);
    case Function::kLen:
      return Resolution::Value(std::to_string(CharacterCount(Trim(ArgumentValue(arguments)))));
    case Function::kNow:
      return Resolution::Value(NowText());
    case Function::kLY:
      return Resolution::Value(ArgumentValue(arguments));
    case Function::kNote:
      return Note(arguments, false, scope);
    case Function::kINote:
      return Note(arguments, true, scope);
    case Function::kRef:
      return Reference(arguments, scope);
    case Function::kPage:
      return Resolution::Value(std::string(kMarker) + "P");
    case Function::kPageCount:
      return Resolution::Value(std::string(kMarker) + "C");
    case Function::kRepeatPosition:
      return Resolution::Value(scope.InRepeat() ? std::to_string(scope.RepeatPosition()) : "");
    case Function::kIsFirstRecord:
      return Resolution::Value(BooleanText(scope.InRepeat() && scope.RepeatPosition() == 1));
    case Function::kIsLastRecord: {
      if (!scope.InRepeat()) return Resolution::Value(BooleanText(false));
      const std::int32_t records = m_evaluator.Ledger().RecordCountOf(scope.RepeatList());
      return Resolution::Value(BooleanText(scope.RepeatPosition() == records));
    }
    case Function::kIRepeat:
      return RepeatedRows(scope);
    case Function::kYear:
    case Function::kPeriod:
    case Function::kAccountValue:
    case Function::kRecordCount:
    case Function::kRecordValue:
    case Function::kPreviousRecord:
    case Function::kNextRecord:
      return External(function, arguments, scope);
  }
  RaiseError(kSource, "Unknown function");
}

Resolution ItemEvaluation::CallPlain(Function function, CallArguments& arguments,
                                     EvaluationScope& scope) {
  switch (function) {
    case Function::kSum:
      return SumOrAverage(arguments, false, scope);
    case Function::kAvg:
      return SumOrAverage(arguments, true, scope);
    case Function::kMax:
      return Extreme(arguments, true);
    case Function::kMin:
      return Extreme(arguments, false);
    case Function::kAnd:
      return Logical(arguments, true);
    case Function::kOr:
      return Logical(arguments, false);
    case Function::kIf:
      return If(arguments);
    default:
      RaiseError(kSource, "Unknown function");
  }
}

Resolution ItemEvaluation::SumOrAverage(CallArguments& arguments, bool average,
                                        EvaluationScope& scope) {
  double sum = 0;
  std::int32_t divisor = 0;
  const std::size_t count = arguments.Count();
  if (!average && count == 1) {
    // The sum of one value (a range's sum, most often) is that value.
    const std::string_view value = arguments.View(0, m_argument);
    if (IsNumberTextForm(value)) return Resolution::Value(std::string(value));
    return Resolution::Value(NumberToText(ParseNumber(value).value_or(0)));
  }
  for (std::size_t part = 0; part < count; ++part) {
    const std::optional<double> number = ParseNumber(arguments.View(part, m_argument));
    if (number) sum += *number;
    if (!average) continue;
    const std::optional<std::int32_t> cells = arguments.Cells(part, scope);
    divisor = AddLong(divisor, cells ? *cells : (number ? 1 : 0));
  }
  if (average && divisor != 0) sum /= divisor;
  return Resolution::Value(NumberToText(sum));
}

Resolution ItemEvaluation::Count(TextSpan arguments, EvaluationScope& scope) {
  std::int32_t count = 0;
  for (const TextSpan& argument : SplitArguments(arguments)) {
    const std::optional<std::int32_t> cells = CellsIn(argument, scope);
    count = AddLong(count, cells ? *cells : (IsNumber(ArgumentView(argument, m_argument)) ? 1 : 0));
  }
  return Resolution::Value(std::to_string(count));
}

Resolution ItemEvaluation::Extreme(CallArguments& arguments, bool largest) {
  std::optional<double> best;
  std::string best_text;
  const std::size_t count = arguments.Count();
  for (std::size_t part = 0; part < count; ++part) {
    const std::string_view value = arguments.View(part, m_argument);
    const std::optional<double> number = ParseNumber(value);
    if (!number) continue;
    if (!best || (largest ? *number > *best : *number < *best)) {
      best = number;
      best_text.assign(value);
    }
  }
  // The value found is written as it came when that is already its form.
  if (best && IsNumberTextForm(best_text)) return Resolution::Value(std::move(best_text));
  return Resolution::Value(NumberToText(best.value_or(0)));
}

Resolution ItemEvaluation::Logical(CallArguments& arguments, bool all) {
  std::optional<bool> result;
  const std::size_t count = arguments.Count();
  for (std::size_t part = 0; part < count; ++part) {
    const bool truth = TruthOf(arguments.View(part, m_argument));
    result = !result ? truth : (all ? *result && truth : *result || truth);
  }
  return Resolution::Value(BooleanText(result.value_or(false)));
}

Resolution ItemEvaluation::If(CallArguments& arguments) {
  if (!arguments.Balanced() || arguments.Count() != 3) {
    RaiseError("ParseIf", "If not structured correctly");
  }
  const bool condition = TruthOf(arguments.View(0, m_argument));
  return Resolution::Value(std::string(arguments.View(condition ? 1 : 2, m_argument)));
}

Resolution ItemEvaluation::LeftOrRight(TextSpan arguments, bool left) {
  const std::size_t comma = LastComma(arguments);
  if (comma == std::string::npos) return Resolution::Value(std::string());
  const std::string text = ArgumentValue({arguments.start, comma});
  std::int32_t count = 0;
  ResumeNext resume;
  resume.Step([&] { count = TextToLong(ArgumentValue({comma + 1, arguments.end})); });
  if (resume.IsErrorPending() || count < 0) return Resolution::Value("#ERROR");
  const std::size_t characters = CharacterCount(text);
  const std::size_t taken = std::min(characters, static_cast<std::size_t>(count));
  if (left) return Resolution::Value(text.substr(0, ByteOffsetOfCharacter(text, taken)));
  return Resolution::Value(text.substr(ByteOffsetOfCharacter(text, characters - taken)));
}

Resolution ItemEvaluation::Modulo(TextSpan arguments) {
  const std::size_t comma = LastComma(arguments);
  if (comma == std::string::npos) return Resolution::Value("#ERROR");
  return ModuloOf(ArgumentView({arguments.start, comma}, m_argument),
                  ArgumentView({comma + 1, arguments.end}, m_second_argument));
}

Resolution ItemEvaluation::ModuloOf(std::string_view dividend, std::string_view divisor) {
  if (!IsNumber(dividend) || !IsNumber(divisor)) return Resolution::Value("#ERROR");
  std::int32_t a = 0;
  std::int32_t b = 0;
  ResumeNext resume;
  resume.Step([&] {
    a = TextToLong(dividend);
    b = TextToLong(divisor);
  });
  if (resume.IsErrorPending() || b == 0) return Resolution::Value("#ERROR");
  // The remainder takes the dividend's sign; -2^31 mod -1 is 0.
  return Resolution::Value(std::to_string(b == -1 ? 0 : a % b));
}

Resolution ItemEvaluation::CountRows(TextSpan arguments, EvaluationScope& scope) {
  cEvaluate& evaluator = m_evaluator;
  const xml::Node& preview = evaluator.Sources().preview;
  std::string range(
      Trim(std::string_view(m_text.Text()).substr(arguments.start, arguments.Length())));
  for (const WorkingText::Substitution& substitution : m_text.Substitutions()) {
    if (substitution.span.start >= arguments.start && substitution.span.end <= arguments.end) {
      range = std::string(RequestFor(substitution.number).text);
      break;
    }
  }
  const std::size_t colon = range.find(':');
  const std::int32_t first = RowOfKey(Trim(std::string_view(range).substr(0, colon)));
  const std::int32_t last = colon == std::string::npos
                                ? first
                                : RowOfKey(Trim(std::string_view(range).substr(colon + 1)));
  if (!preview) return Resolution::Value("0");

  std::int32_t current_row = 0;
  evaluator.GetCurrentRow.Raise(current_row);
  evaluator.m_found_rows.Clear();
  const std::string format = XPathLiteral(evaluator.CurrentFormatName());
  std::int32_t count = 0;
  for (std::int32_t row = std::min(first, last); row <= std::max(first, last); ++row) {
    const std::string selection =
        ".//Itm[@OrigRow=\"" + std::to_string(row) + "\" and @OrigFmt=" + format;
    bool waiting = false;
    for (const xml::Node& item : preview.SelectNodes(selection + "]")) {
      if (item.AttributeOr("Evaluated", "") == "0") {
        waiting = true;
        continue;
      }
      if (!evaluator.IncludeIgnoredRows() &&
          evaluator.IsIgnoredRow(evaluator.CurrentFormatName(), std::to_string(row),
                                 item.AttributeOr("RptIndex", ""))) {
        continue;
      }
      const std::string output_row = item.AttributeOr("Row", "");
      if (current_row > 0) {
        const std::optional<double> placed = ParseNumber(output_row);
        if (placed && *placed >= current_row) continue;
      }
      if (evaluator.m_found_rows.Find(output_row)) continue;
      evaluator.m_found_rows.Add(output_row, {{"Row", output_row}});
      ++count;
    }
    if (waiting && !evaluator.EvaluateAllItems()) return Resolution::Deferred();
  }
  (void)scope;
  return Resolution::Value(std::to_string(count));
}

Resolution ItemEvaluation::Note(TextSpan arguments, bool include, EvaluationScope&) {
  cEvaluate& evaluator = m_evaluator;
  const std::string key = BookmarkKey(arguments);
  const xml::Node definition = evaluator.BookmarkDefinition(key);
  if (!definition) return Resolution::Value("#REF");
  if (include) {
    bool is_note = false;
    ResumeNext resume;
    resume.Step([&] { is_note = TextToBoolean(definition.AttributeOr("Note", "0")); });
    if (!is_note) return Resolution::Value("#REF");
    evaluator.IncludeNote(key);
  }
  const ColEvaluatedBookmarks::Bookmark bookmark = evaluator.Bookmarks().Item(key);
  if (!bookmark || bookmark->NoteNumber() == -1) {
    if (evaluator.EvaluateAllItems() || evaluator.ForceLevel1Eval()) {
      return Resolution::Value("#REF");
    }
    evaluator.m_deferred_values.FindOrAdd(key, {{"Key", key}, {"Val", ""}});
    return Resolution::Deferred();
  }
  const std::string number = std::to_string(bookmark->NoteNumber());
  if (xml::Node deferred = evaluator.m_deferred_values.Find(key))
    deferred.SetAttribute("Val", number);
  return Resolution::Value(number);
}

Resolution ItemEvaluation::Reference(TextSpan arguments, EvaluationScope&) {
  cEvaluate& evaluator = m_evaluator;
  const std::string key = BookmarkKey(arguments);
  if (!evaluator.BookmarkDefinition(key)) return Resolution::Value("#REF");
  const std::int32_t index = evaluator.Bookmarks().CreateRefIndexFor(key);
  if (index == -1) {
    if (evaluator.EvaluateAllItems()) return Resolution::Value("#REF");
    evaluator.m_deferred_values.FindOrAdd(key, {{"Key", key}, {"Val", ""}});
    return Resolution::Deferred();
  }
  const std::string marker =
      std::string(kMarker) + "R" + std::to_string(index) + std::string(kMarker);
  if (xml::Node deferred = evaluator.m_deferred_values.Find(key))
    deferred.SetAttribute("Val", marker);
  return Resolution::Value(marker);
}

Resolution ItemEvaluation::RepeatedRows(EvaluationScope& scope) {
  const xml::Node& preview = m_evaluator.Sources().preview;
  if (!scope.InRepeat() || !preview) return Resolution::Value(std::string());
  const std::string selection = ".//Itm[@OrigFmt=" + XPathLiteral(m_evaluator.CurrentFormatName()) +
                                " and @OrigRow=" + XPathLiteral(m_item.AttributeOr("OrigRow", "")) +
                                " and @RptIndex<" + std::to_string(scope.RepeatPosition()) +
                                " and @RptKey=" + XPathLiteral(scope.RepeatKey()) + "]";
  std::unordered_set<std::string> indexes;
  for (const xml::Node& item : preview.SelectNodes(selection)) {
    indexes.insert("R" + item.AttributeOr("RptIndex", ""));
  }
  return Resolution::Value(std::to_string(indexes.size()));
}

Resolution ItemEvaluation::External(Function function, TextSpan arguments, EvaluationScope& scope) {
  FunctionRequest request{
      function, std::string_view(m_text.Text()).substr(arguments.start, arguments.Length()), {}};
  for (const WorkingText::Substitution& substitution : m_text.Substitutions()) {
    if (substitution.span.start >= arguments.start && substitution.span.end <= arguments.end) {
      request.operands.push_back(RequestFor(substitution.number).text);
    }
  }
  m_consulted_resolver = true;
  return m_evaluator.FunctionResolverFor(function).Call(request, scope);
}

}  // namespace orvo
