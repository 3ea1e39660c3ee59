// The parser of cParser: reads a formula (or a text with embedded formulas)
// token by token, classifies each token, replaces operands by numbered
// placeholders and records function calls and embedded formulas.
//
// Positions are one-based byte positions in 16-bit integers; arithmetic that
// leaves that range fails the parse like any other internal failure.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "formula/formula_checks.h"
#include "formula/formula_names.h"
#include "formula/parser_state.h"
#include "formula/parser_working_text.h"
#include "frame/text.h"

namespace orvo {
namespace {

// Ends an embedded formula's parse after its own summary message was added.
struct FormulaAbandoned {};

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

// The position of the first digit of `text`, or npos.
std::size_t FirstDigit(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') return i;
  }
  return std::string_view::npos;
}

// The number a text of one to nine digits (and nothing else) spells; nothing
// for any other text.
std::optional<std::int32_t> ShortDigitRun(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::int32_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string FurthestCellText(const cParser::State& state) {
  if (state.furthest_column.empty() || state.furthest_row == 0) return std::string();
  return state.furthest_column + std::to_string(state.furthest_row);
}

class FormulaParser {
 public:
  FormulaParser(cParser& parser, cParser::State& state)
      : m_parser(parser), m_state(state), m_names(FormulaNames::ForThread()) {}

  void ParseWhole(std::string_view expression);
  void ParseMixed(std::string_view text);

 private:
  // The embedded formulas of a mixed text, in turn.
  void ParseEmbedded(std::string_view text);
  // Parses one formula; returns its working text. `offset` is added to the
  // positions of its function calls.
  std::string ParseFormula(std::string_view text, int offset, bool whole);
  void Classify(std::string_view text, const std::string& token, int offset);
  void ClassifyFunction(std::string_view text, const std::string& token, const std::string& name,
                        Function function, int offset);
  std::string FurthestCell() const { return FurthestCellText(m_state); }
  void ClassifyMapReference(std::string token, const std::string& trimmed);
  bool ClassifyDataField(const std::string& token, const std::string& upper);
  void ClassifyUnknownName(const std::string& token, const std::string& upper);
  void AddOperand(OperandType type, const std::string& token);
  void RaiseFound(const char* type, std::string item) { m_parser.CellItemFound.Raise(type, item); }

  bool Enclosing(Function function) const { return m_state.enclosing_function == function; }

  cParser& m_parser;
  cParser::State& m_state;
  FormulaNames& m_names;
  ParserWorkingText m_working;   // the working text of the current formula
  std::string m_previous_token;  // trimmed
};

void FormulaParser::ParseWhole(std::string_view expression) {
  if (expression.find('(') != std::string_view::npos) CheckBrackets(m_state, expression);
  try {
    ParseFormula(expression, -1, true);
  } catch (const FormulaAbandoned&) {
  }
}

void FormulaParser::ParseMixed(std::string_view text) {
  // A failure outside the embedded formulas' own parses (positions beyond 16
  // bits) ends the parse with one message.
  ResumeNext resume;
  try {
    resume.Step([&] {
      CheckBraces(m_state, text);
      ParseEmbedded(text);
    });
  } catch (const FormulaAbandoned&) {
  }
  if (resume.IsErrorPending()) m_state.errors.Add("Error parsing expression");
}

void FormulaParser::ParseEmbedded(std::string_view text) {
  std::string mixed(text);
  std::size_t open = InStr(1, mixed, "{");
  std::size_t close = open != 0 ? InStr(open + 1, mixed, "}") : 0;
  while (open != 0 && close != 0) {
    const std::string inner = mixed.substr(open, close - open - 1);
    m_state.operator_seen = false;
    m_state.length_adjustment = 0;
    const std::string working = ParseFormula(inner, static_cast<int>(open) - 1, false);
    if (m_state.operator_seen) {
      m_state.record.embedded.push_back(
          {SizeToInt16(open), SizeToInt16(open + working.size() - 1)});
    }
    mixed = mixed.substr(0, open - 1) + working + mixed.substr(close);
    open = InStr(open + 1, mixed, "{");
    close = open != 0 ? InStr(open + 1, mixed, "}") : 0;
  }
  m_state.record.expression = mixed;
  m_state.record.furthest_cell = FurthestCell();
}

std::string FormulaParser::ParseFormula(std::string_view text, int offset, bool whole) {
  m_working.Reset(text);
  m_state.furthest_row = 0;
  m_state.furthest_column.clear();
  m_state.furthest_column_number = 0;
  m_state.enclosing_function.reset();
  m_state.bracket_depth = 0;
  m_previous_token.clear();

  const std::string_view trimmed = Trim(text);
  const bool is_formula = !trimmed.empty() && trimmed.front() == '=';
  if (is_formula && text.find('"') != std::string_view::npos) {
    m_state.record.has_string_literals = true;
  }

  // Any failure while the tokens are handled, a provider's included (an
  // unreadable workspace file, a failing data driver), ends this formula's
  // parse as one summary message: the parser raises nothing to its caller.
  std::string token;
  ResumeNext resume;
  resume.Step([&] {
    m_state.current_position = is_formula ? SizeToInt16(InStr(1, text, "=") + 1) : Int16{1};
    while (m_state.current_position != -1) {
      token = NextToken(m_state, text);
      Classify(text, token, offset);
      m_previous_token.assign(Trim(token));
    }
  });
  if (resume.IsErrorPending()) {
    if (!token.empty()) {
      m_state.errors.Add("Error evaluating : " + token);
    } else if (!text.empty()) {
      m_state.errors.Add("Error parsing expression: " + std::string(text));
    } else {
      m_state.errors.Add("Error parsing expression");
    }
    throw FormulaAbandoned{};
  }
  if (whole) {
    m_state.record.expression = m_working.Text();
    m_state.record.furthest_cell = FurthestCell();
  }
  return m_working.Text();
}

void FormulaParser::Classify(std::string_view text, const std::string& token, int offset) {
  const std::string trimmed(Trim(token));
  if (trimmed.empty()) return;
  const std::string upper = UpperCase(trimmed);

  if (std::optional<Function> function = FunctionFromName(trimmed)) {
    ClassifyFunction(text, token, trimmed, *function, offset);
    return;
  }
  if (upper.rfind("CM.", 0) == 0 || upper.rfind("DB.", 0) == 0) {
    ClassifyMapReference(token, trimmed);
    return;
  }
  if (trimmed.size() >= 2 && trimmed.front() == '%' && trimmed.back() == '%') {
    AddOperand(OperandType::kHeading, token);
    return;
  }
  bool is_range = false;
  if (!Enclosing(Function::kRef) && !Enclosing(Function::kNote) &&
      TestCellReference(m_state, token, is_range)) {
    AddOperand(is_range ? OperandType::kRange : OperandType::kCell, token);
    m_state.note_flag = false;
    return;
  }
  if (!m_state.note_flag && m_names.IsNamedRange(upper)) {
    AddOperand(OperandType::kNamedRange, token);
    return;
  }
  if ((Enclosing(Function::kINote) || m_state.note_flag) && m_names.IsBookmark(upper)) {
    if (!Enclosing(Function::kINote)) AddOperand(OperandType::kBookmark, token);
    m_state.note_flag = false;
    return;
  }
  if (upper == "TRUE" || upper == "FALSE") {
    AddOperand(OperandType::kBoolean, token);
    m_state.note_flag = false;
    return;
  }
  if (IsNumeric(trimmed)) return;
  if (ClassifyDataField(token, upper)) return;
  if (!m_state.operators.IsOperatorChar(trimmed.front())) {
    ClassifyUnknownName(token, upper);
    return;
  }
  // An operator, bracket or comma.
  m_state.operator_seen = true;
  if (trimmed == "(") m_state.bracket_depth = Add16(m_state.bracket_depth, 1);
  if (trimmed == ")") {
    m_state.bracket_depth = Sub16(m_state.bracket_depth, 1);
    if (m_state.bracket_depth == m_state.enclosing_depth) {
      m_state.enclosing_function.reset();
      m_state.enclosing_depth = -1;
    }
  }
}

void FormulaParser::ClassifyFunction(std::string_view text, const std::string& token,
                                     const std::string& name, Function function, int offset) {
  const int after_name = m_state.current_position;  // just after the name
  switch (function) {
    case Function::kNote:
    case Function::kRef:
      if (std::optional<std::string> argument = CheckFunctionBrackets(m_state, text, after_name)) {
        if (!m_names.IsBookmark(UpperCase(*argument))) {
          m_state.errors.Add("Bookmark does not exists");
        }
      }
      break;
    case Function::kPage:
    case Function::kPageCount:
      CheckStandsAlone(m_state, text, FunctionName(function));
      break;
    case Function::kIf:
      CheckCallCommas(m_state, text, after_name, 2, FunctionName(function));
      break;
    case Function::kRecordValue:
      CheckCallCommas(m_state, text, after_name, 1, FunctionName(function));
      break;
    case Function::kSum:
    case Function::kAvg:
    case Function::kMax:
    case Function::kMin:
    case Function::kLen:
    case Function::kAnd:
    case Function::kOr:
      CheckFunctionBrackets(m_state, text, after_name);
      break;
    default:
      break;
  }
  m_state.enclosing_function = function;
  m_state.enclosing_depth = m_state.bracket_depth;
  // Position in the working text: what follows the name's start is unchanged
  // by replacements, so measure from the end.
  const std::int64_t name_start =
      m_state.start_position + static_cast<std::int64_t>(token.size() - TrimLeft(token).size());
  const std::int64_t after_start = static_cast<std::int64_t>(text.size()) - name_start;
  const Int16 position =
      ToInt16(static_cast<std::int64_t>(m_working.Size()) - after_start + offset);
  m_state.record.calls.push_back({function, name, position, m_state.bracket_depth});
  if (function == Function::kNote) m_state.note_flag = true;
  if (function == Function::kRef) m_state.note_flag = false;
}

void FormulaParser::ClassifyMapReference(std::string token, const std::string& trimmed) {
  const bool chart_map = StartsWithIgnoreCase(trimmed, "CM.");
  std::string reference = trimmed.substr(3);
  if (!reference.empty() && (reference.back() == '\'' || reference.back() == '"')) {
    reference.pop_back();
    token.erase(token.find_last_of("'\""), 1);
  }
  const bool last_year = Enclosing(Function::kLY);

  if (chart_map) {
    if (!m_state.converting) {
      const std::string key = UpperCase(reference);
      bool found = m_names.IsChartMapFolder(key);
      if (!found && (EndsWithIgnoreCase(key, ".DR") || EndsWithIgnoreCase(key, ".CR"))) {
        found = m_names.IsChartMapFolder(key.substr(0, key.size() - 3));
      } else if (!found && (EndsWithIgnoreCase(key, ".TDR") || EndsWithIgnoreCase(key, ".TCR"))) {
        found = m_names.IsChartMapFolder(key.substr(0, key.size() - 4));
      }
      if (!found) m_state.errors.Add("Chart map folder does not exist");
      if (!Enclosing(Function::kCount) && !Enclosing(Function::kCountRows)) {
        AddOperand(last_year ? OperandType::kChartMapLastYear : OperandType::kChartMap, token);
      }
    } else {
      AddOperand(OperandType::kChartMap, token);
    }
    RaiseFound("CM", reference);
    return;
  }

  const OperandType database_map =
      last_year ? OperandType::kDatabaseMapLastYear : OperandType::kDatabaseMap;
  if (m_state.converting) {
    AddOperand(database_map, token);
    RaiseFound("DB", reference);
    return;
  }
  if (Enclosing(Function::kRecordCount)) {
    if (m_names.DatabaseMapTable(reference)) {
      RaiseFound("DB", reference);
    } else {
      m_state.errors.Add("Table '" + reference + "' doesn't exist");
    }
    return;
  }
  const std::size_t dot = reference.rfind('.');
  if (dot == std::string::npos) {
    m_state.errors.Add("Database map reference is incomplete");
    return;
  }
  const std::string table = reference.substr(0, dot);
  const std::string field = reference.substr(dot + 1);
  if (table.empty() || field.empty()) {
    RaiseError("ParseExpression", "Database map field does not exist");
  }
  if (std::shared_ptr<IDatabaseMapTable> found = m_names.DatabaseMapTable(table)) {
    if (!found->Field(field)) m_state.errors.Add("Database map field does not exist");
  } else {
    m_state.errors.Add("Database map table does not exist");
  }
  AddOperand(database_map, token);
  RaiseFound("DB", reference);
}

bool FormulaParser::ClassifyDataField(const std::string& token, const std::string& upper) {
  if (!m_names.IsDriverField(upper)) return false;
  m_state.note_flag = false;
  const bool names_record_function =
      Enclosing(Function::kPreviousRecord) || Enclosing(Function::kNextRecord);
  const bool account_value_field = m_previous_token == "," && Enclosing(Function::kAccountValue);
  if (!names_record_function && !account_value_field) {
    AddOperand(upper == "AMOUNT" && Enclosing(Function::kLY) ? OperandType::kDriverFieldLastYear
                                                             : OperandType::kDriverField,
               token);
  } else {
    // The field name stands in for the enclosing function: only a field that
    // is also a function name keeps a function enclosing.
    m_state.enclosing_function = FunctionFromName(token);
  }
  return true;
}

void FormulaParser::ClassifyUnknownName(const std::string& token, const std::string& upper) {
  const std::string_view trimmed = Trim(token);
  const bool quoted = (trimmed.size() >= 2 && trimmed.front() == '\'' && trimmed.back() == '\'') ||
                      (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"') ||
                      (trimmed.front() == '"' && trimmed.back() == '{');
  if (quoted || upper == "YES" || upper == "NO" || Enclosing(Function::kCountRows)) return;

  const std::string message = "Expression cannot be evaluated: " + std::string(trimmed);
  if (!m_state.note_flag) {
    if (IsPlainName(m_working.Finished()) && IsPlainName(m_working.Rest())) {
      AddOperand(OperandType::kUnresolvedName, token);
    } else {
      m_state.errors.Add(message);
    }
  } else if (m_names.IsNamedRange(m_working.UpperText())) {
    AddOperand(OperandType::kUnresolvedBookmark, token);
  } else {
    m_state.errors.Add(message);
  }
  if (!m_state.converting && !m_names.IsBookmark(upper)) m_state.errors.Add(message);
  m_state.note_flag = false;
}

void FormulaParser::AddOperand(OperandType type, const std::string& token) {
  const std::string trimmed(Trim(token));
  const std::int64_t from = std::max<std::int64_t>(
      1, static_cast<std::int64_t>(m_state.start_position) + m_state.length_adjustment);
  auto find = [&](const std::string& what) -> std::size_t {
    if (what.empty()) return 0;
    return m_working.Find(UpperCase(what), static_cast<std::size_t>(from));
  };
  const std::size_t whole_at = find(token);
  // A token without surrounding spaces is its own trimmed text.
  const std::size_t trimmed_at = trimmed.size() == token.size() ? whole_at : find(trimmed);

  m_state.placeholder_count = Add16(m_state.placeholder_count, 1);
  const std::string placeholder = PlaceholderText(m_state.placeholder_count);
  if (whole_at != 0 &&
      (trimmed_at == whole_at || trimmed_at < whole_at || trimmed_at >= whole_at + token.size())) {
    m_working.Replace(whole_at, token.size(), placeholder);
  } else if (whole_at != 0) {
    // Spaces before the operand stay; the rest of the token is replaced.
    m_working.Replace(trimmed_at, whole_at + token.size() - trimmed_at, placeholder);
  } else if (trimmed_at != 0) {
    m_working.Replace(trimmed_at, trimmed.size(), placeholder);
  } else {
    RaiseError("AddToken", "Token not found");
  }
  m_state.length_adjustment = ToInt16(static_cast<std::int64_t>(m_state.length_adjustment) +
                                      static_cast<std::int64_t>(placeholder.size()) -
                                      static_cast<std::int64_t>(token.size()));
  m_state.record.operands.push_back({type, trimmed, m_state.placeholder_count});
}

}  // namespace

void ParseExpression(cParser& parser, cParser::State& state, std::string_view expression) {
  state.errors.Clear();
  state.placeholder_count = 0;
  state.length_adjustment = 0;
  state.enclosing_depth = -1;
  // Cleared in place: the lists keep their storage from parse to parse.
  state.record.expression.reset();
  state.record.furthest_cell.clear();
  state.record.operands.clear();
  state.record.calls.clear();
  state.record.embedded.clear();
  state.record.has_string_literals = false;

  const std::string_view trimmed = Trim(expression);
  if (!trimmed.empty()) {
    FormulaNames::ForThread().StartParse();
    FormulaParser formula_parser(parser, state);
    if (trimmed.front() == '=') {
      formula_parser.ParseWhole(expression);
    } else if (trimmed.find('{') != std::string_view::npos) {
      formula_parser.ParseMixed(expression);
    }
  }
  // Calls in evaluation order: deepest first, equal depths left to right.
  if (state.record.calls.size() > 1) {
    std::stable_sort(state.record.calls.begin(), state.record.calls.end(),
                     [](const ParsedExpression::FunctionCall& a,
                        const ParsedExpression::FunctionCall& b) { return a.depth > b.depth; });
  }
}

bool TestCellReference(cParser::State& state, std::string_view expression, bool& is_range) {
  const std::string_view text = Trim(expression);
  is_range = false;
  // One pass finds what tells most tokens apart before any name is looked
  // up: a space or a dot (never in a cell), the colons, the first digit.
  bool has_colon = false;
  std::size_t first_digit = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '.') return false;
    if (c == ':') {
      has_colon = true;
    } else if (first_digit == std::string_view::npos && c >= '0' && c <= '9') {
      first_digit = i;
    }
  }
  // Without a colon: no cell unless a digit follows its first character.
  if (!has_colon && (first_digit == std::string_view::npos || first_digit == 0)) return false;
  if (text.empty() || IsNumeric(text)) return false;
  FormulaNames& names = FormulaNames::ForThread();
  auto single_cell = [&](std::string_view cell) {
    const std::size_t digit = FirstDigit(cell);
    if (digit == std::string_view::npos || digit == 0) return false;
    const std::string_view row_text = cell.substr(digit);
    double row = 0;
    if (const std::optional<std::int32_t> digits = ShortDigitRun(row_text)) {
      row = *digits;
    } else {
      if (!IsNumeric(row_text)) return false;
      std::from_chars(row_text.data(), row_text.data() + row_text.size(), row);
    }
    if (row < 0 || row > 65536 || row != static_cast<std::int32_t>(row)) return false;
    const std::string letters = UpperCase(cell.substr(0, digit));
    const Int16 column = names.ColumnNumber(letters);
    if (column == -1 || column > 257) return false;
    const auto row_number = static_cast<std::int32_t>(row);
    if (row_number > state.furthest_row ||
        (row_number == state.furthest_row &&
         (state.furthest_column.empty() || column > state.furthest_column_number))) {
      state.furthest_row = row_number;
      state.furthest_column = letters;
      state.furthest_column_number = column;
    }
    return true;
  };
  if (!has_colon) return single_cell(text);
  is_range = true;
  const std::size_t first_colon = text.find(':');
  const std::size_t last_colon = text.rfind(':');
  if (first_colon != last_colon) state.errors.Add("Invalid range definition");
  const bool first_ok = single_cell(text.substr(0, first_colon));
  const bool last_ok = single_cell(text.substr(last_colon + 1));
  return first_ok && last_ok;
}

}  // namespace orvo
