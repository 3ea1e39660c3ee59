#include "evaluate/expression_evaluator.h"

#include "evaluate/number_text.h"
#include "evaluate/interim_operators.h"
#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr const char* kSource = "EvaluateExpression";

// The text of one bracket level while it is being read.
struct Level {
  std::string text;
  std::vector<TextSpan> literals;
};

std::string Reduce(const Level& level) {
  if (Trim(level.text).empty()) return std::string();
  return EvaluateOperators(level.text, level.literals);
}

// Appends a value to the enclosing level; text that is not a number is
// recorded as a literal, so its characters stay text.
void Append(Level& level, std::string_view value) {
  const std::size_t start = level.text.size();
  level.text.append(value);
  if (!value.empty() && !IsNumber(value)) level.literals.push_back({start, level.text.size()});
}

}  // namespace

std::string EvaluateExpression(std::string_view text, const std::vector<TextSpan>& literals,
                               int max_nesting) {
  if (text.find_first_of("()") == std::string_view::npos) {
    Level whole{std::string(text), literals};
    return Reduce(whole);
  }
  std::vector<Level> levels(1);
  SpanCursor cursor(literals);
  for (std::size_t i = 0; i < text.size(); ++i) {
    Level& level = levels.back();
    if (const TextSpan* literal = cursor.At(i)) {
      const std::size_t start = level.text.size();
      level.text.append(text.substr(literal->start, literal->end - literal->start));
      level.literals.push_back({start, level.text.size()});
      i = literal->end - 1;
      continue;
    }
    const char c = text[i];
    if (c == '(') {
      if (static_cast<int>(levels.size()) > max_nesting) {
        RaiseError(kSource, "Brackets are nested too deeply");
      }
      levels.emplace_back();
    } else if (c == ')') {
      if (levels.size() == 1) RaiseError(kSource, "A closing bracket has no opening bracket");
      const std::string value = Reduce(levels.back());
      levels.pop_back();
      Append(levels.back(), value);
    } else {
      level.text.push_back(c);
    }
  }
  if (levels.size() != 1) RaiseError(kSource, "An opening bracket is not closed");
  return Reduce(levels.front());
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front() &&
      value.substr(1, value.size() - 2).find(value.front()) == std::string_view::npos) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace orvo
