#include "formula/formula_shapes.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "formula/formula_names.h"
#include "formula/token_lists.h"
#include "frame/column_letters.h"
#include "frame/text.h"

namespace orvo {
namespace {

// Shapes kept at most: a book whose formulas share no shape stops learning
// there and is parsed formula by formula.
constexpr std::size_t kMaxShapes = 4096;
// Formulas longer than this, or with more cut runs, are parsed: the positions
// of every formula of a shape then stay far inside 16 bits.
constexpr std::size_t kMaxFormula = 2048;
constexpr std::size_t kMaxRuns = 256;
// The longest row a cell reference may spell with its digits alone, and the
// last row it may name (the parser's cell test).
constexpr std::size_t kMaxRowDigits = 9;
constexpr std::int32_t kLastRow = 65536;

constexpr char kRunMark = '\x01';

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Whether a digit run after `previous` is cut from the shape. Only runs that
// open a token (after a space, an operator or a bracket) or follow a decimal
// point stay in it: a row number follows its column letters, and every other
// run inside a word is cut too, so that a word the shape keeps is the same
// text in every formula of the shape.
bool OpensRun(char previous, const OperatorTable& operators) {
  if (IsDigit(previous) || previous == '.' || previous == ' ') return false;
  return !operators.IsOperatorChar(previous) || previous == '%';
}

// The row a cut run names, or -1 beyond what a cell may have.
std::int32_t RowOf(std::string_view digits) {
  if (digits.empty() || digits.size() > kMaxRowDigits) return -1;
  std::int32_t row = 0;
  for (const char c : digits) row = row * 10 + (c - '0');
  return row <= kLastRow ? row : -1;
}

}  // namespace

FormulaShapes::Result FormulaShapes::Parse(cParser& parser, std::string_view formula) {
  if (parser.IgnoreSpaces() && !HasIgnoreSpans(parser) && Cut(formula)) {
    const auto found = m_shapes.find(m_key);
    if (found != m_shapes.end()) {
      if (found->second.usable && Rebase(found->second, formula)) {
        ++m_reused;
        return {&found->second.record, false};
      }
      parser.TokenFromString(formula);
      return {&ParsedExpressionOf(parser), true};
    }
    parser.TokenFromString(formula);
    if (m_shapes.size() < kMaxShapes) {
      Shape shape;
      // A shape that does not qualify is kept empty: its formulas are parsed.
      if (!Learn(parser, formula, shape)) shape = Shape();
      m_shapes.emplace(m_key, std::move(shape));
    }
    return {&ParsedExpressionOf(parser), true};
  }
  parser.TokenFromString(formula);
  return {&ParsedExpressionOf(parser), true};
}

bool FormulaShapes::Cut(std::string_view formula) {
  if (formula.size() > kMaxFormula) return false;
  const std::string_view trimmed = Trim(formula);
  if (trimmed.empty() || trimmed.front() != '=') return false;
  const OperatorTable& operators = SharedOperatorTable();
  m_key.resize(formula.size());  // the shape is never longer
  char* key = m_key.data();
  std::size_t length = 0;
  m_runs.clear();
  for (std::size_t i = 0; i < formula.size();) {
    const char c = formula[i];
    if (IsDigit(c)) {
      if (i > 0 && OpensRun(formula[i - 1], operators)) {
        std::size_t end = i + 1;
        while (end < formula.size() && IsDigit(formula[end])) ++end;
        if (m_runs.size() == kMaxRuns) return false;
        m_runs.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(end - i)});
        key[length++] = kRunMark;
        i = end;
        continue;
      }
    } else if (c == kRunMark) {
      return false;
    } else if (c == '.' && i > 0 && IsLetter(formula[i - 1])) {
      // A dotted word (CM.Sales, DB.Orders.Amount) is a map reference, which
      // the parser reports as found: such formulas are always parsed.
      return false;
    }
    key[length++] = c;
    ++i;
  }
  m_key.resize(length);
  return true;
}

bool FormulaShapes::Learn(const cParser& parser, std::string_view formula, Shape& shape) const {
  if (HasParseMessages(parser)) return false;
  const ParsedExpression& record = ParsedExpressionOf(parser);
  if (!record.expression || !record.embedded.empty()) return false;
  // Every reference is replaced by its placeholder in the working text.
  const std::string& expression = *record.expression;
  for (std::size_t i = 1; i < expression.size(); ++i) {
    if (IsDigit(expression[i]) && IsLetter(expression[i - 1])) return false;
  }
  FormulaNames& names = FormulaNames::ForThread();
  std::size_t next_run = 0;
  // One side of a reference: the next cut run must be its digits.
  auto side = [&](std::string_view text, Side& out) {
    std::string_view letters;
    std::string_view digits;
    if (!SplitPlainCellKey(text, letters, digits) || RowOf(digits) < 0) return false;
    if (next_run == m_runs.size()) return false;
    const Run run = m_runs[next_run++];
    if (formula.substr(run.start, run.length) != digits) return false;
    out.letters.assign(letters);
    out.column = UpperCase(letters);
    out.column_number = names.ColumnNumber(out.column);
    return true;
  };
  shape.references.reserve(record.operands.size());
  for (const ParsedExpression::Operand& operand : record.operands) {
    Reference reference;
    const std::string_view text = operand.text;
    if (operand.type == OperandType::kCell) {
      if (!side(text, reference.first)) return false;
    } else if (operand.type == OperandType::kRange) {
      const std::size_t colon = text.find(':');
      if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
        return false;
      }
      reference.range = true;
      if (!side(text.substr(0, colon), reference.first) ||
          !side(text.substr(colon + 1), reference.last)) {
        return false;
      }
    } else {
      return false;
    }
    const Run& first_run = m_runs[next_run - (reference.range ? 2 : 1)];
    const Run& last_run = m_runs[next_run - 1];
    const std::size_t start =
        first_run.start - std::min<std::size_t>(first_run.start, reference.first.letters.size());
    reference.one_stretch = formula.substr(start, last_run.start + last_run.length - start) == text;
    shape.references.push_back(std::move(reference));
  }
  if (next_run != m_runs.size()) return false;
  shape.record = record;
  shape.usable = true;
  return true;
}

bool FormulaShapes::Rebase(Shape& shape, std::string_view formula) {
  m_rows.clear();
  for (const Run& run : m_runs) {
    const std::int32_t row = RowOf(formula.substr(run.start, run.length));
    if (row < 0) return false;
    m_rows.push_back(row);
  }
  // Everything but the references is the shape's own.
  ParsedExpression& record = shape.record;
  // The furthest cell: the highest row, then the greatest column on it, as
  // the parser's cell test keeps it, side by side from the left.
  std::int32_t furthest_row = 0;
  const Side* furthest = nullptr;
  std::size_t run_index = 0;
  // The next run's row, for the furthest cell.
  auto furthest_of = [&](const Side& side) {
    const std::int32_t row = m_rows[run_index++];
    if (row > furthest_row ||
        (row == furthest_row && (!furthest || side.column_number > furthest->column_number))) {
      furthest_row = row;
      furthest = &side;
    }
  };
  auto add = [&](const Side& side, std::string& text) {
    const Run run = m_runs[run_index];
    text.append(side.letters).append(formula.substr(run.start, run.length));
    furthest_of(side);
  };
  for (std::size_t i = 0; i < record.operands.size(); ++i) {
    const Reference& reference = shape.references[i];
    std::string& text = record.operands[i].text;
    if (reference.one_stretch) {
      const std::size_t first = run_index;
      const std::size_t last = first + (reference.range ? 1 : 0);
      const std::size_t start = m_runs[first].start - reference.first.letters.size();
      text.assign(formula.substr(start, m_runs[last].start + m_runs[last].length - start));
      furthest_of(reference.first);
      if (reference.range) furthest_of(reference.last);
      continue;
    }
    text.clear();
    add(reference.first, text);
    if (reference.range) {
      text.push_back(':');
      add(reference.last, text);
    }
  }
  record.furthest_cell.clear();
  if (furthest && furthest_row != 0) {
    char digits[12];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), furthest_row);
    record.furthest_cell.append(furthest->column).append(digits, written.ptr);
  }
  return true;
}

}  // namespace orvo
