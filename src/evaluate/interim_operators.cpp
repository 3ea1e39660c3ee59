// Interim operator evaluator (see interim_operators.h).
#include "evaluate/interim_operators.h"

#include <cmath>
#include <optional>
#include <vector>

#include "evaluate/number_text.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo::interim {
namespace {

struct Token {
  std::string text;
  bool is_operator;
};

bool IsOperatorChar(char c) {
  return std::string_view("+-*/&%^=<>!").find(c) != std::string_view::npos;
}

std::vector<Token> Tokens(std::string_view text, const std::vector<bool>& literal) {
  std::vector<Token> tokens;
  std::string operand;
  auto flush = [&] {
    if (!Trim(operand).empty()) tokens.push_back({operand, false});
    operand.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (literal[i]) {
      operand.push_back(text[i]);
      continue;
    }
    const char c = text[i];
    if (c == '"' || c == '\'') {
      std::size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos) close = text.size() - 1;
      operand.append(text.substr(i, close - i + 1));
      i = close;
      continue;
    }
    if (!IsOperatorChar(c)) {
      operand.push_back(c);
      continue;
    }
    const bool unary = (c == '+' || c == '-') && Trim(operand).empty() &&
                       (tokens.empty() || tokens.back().is_operator) &&
                       !(tokens.size() && tokens.back().text == "%");
    if (unary) {
      operand.push_back(c);
      continue;
    }
    flush();
    std::string op(1, c);
    if (i + 1 < text.size()) {
      const char next = text[i + 1];
      if ((c == '>' && next == '=') || (c == '<' && (next == '=' || next == '>')) ||
          (c == '!' && next == '=')) {
        op.push_back(next);
        ++i;
      }
    }
    tokens.push_back({op, true});
  }
  flush();
  return tokens;
}

std::string Clean(std::string_view operand) {
  std::string_view trimmed = Trim(operand);
  if (trimmed.size() >= 2 && (trimmed.front() == '"' || trimmed.front() == '\'') &&
      trimmed.back() == trimmed.front()) {
    trimmed = trimmed.substr(1, trimmed.size() - 2);
  }
  return std::string(trimmed);
}

double Currency(double value) {
  const double scaled = std::nearbyint(value * 10000.0);
  if (!std::isfinite(scaled) || std::abs(scaled) > 9.2e18) RaiseOverflow();
  return scaled / 10000.0;
}

std::string WriteBack(double value) {
  if (value == 0 || value == -1) return value == 0 ? "0" : "-1";
  return NumberToText(value);
}

std::string Apply(std::string_view left_text, const std::string& op, std::string_view right_text) {
  const std::string left = Clean(left_text);
  const std::string right = Clean(right_text);
  std::optional<double> l = ParseNumber(left);
  std::optional<double> r = ParseNumber(right);
  if (left.empty() && r) l = 0;
  if (right.empty() && l) r = 0;
  if (op == "+") return WriteBack(Currency(Currency(l.value_or(0)) + Currency(r.value_or(0))));
  if (op == "-") return WriteBack(Currency(Currency(l.value_or(0)) - Currency(r.value_or(0))));
  if (op == "*") return WriteBack(Currency(Currency(l.value_or(0)) * Currency(r.value_or(0))));
  if (op == "/") {
    if (!l || !r) return left + "/" + right;
    if (*r == 0) return "0";
    return WriteBack(Currency(*l) / Currency(*r));
  }
  if (op == "%") return l ? WriteBack(Currency(*l / 100)) : left + "%";
  if (op == "&") return left + right;
  int compare = 0;
  if (l && r) {
    compare = Currency(*l) < Currency(*r) ? -1 : (Currency(*l) > Currency(*r) ? 1 : 0);
  } else {
    const std::string a = UpperCase(left);
    const std::string b = UpperCase(right);
    compare = a < b ? -1 : (a > b ? 1 : 0);
  }
  bool result = false;
  if (op == ">=")
    result = compare >= 0;
  else if (op == "<=")
    result = compare <= 0;
  else if (op == "!=" || op == "<>")
    result = compare != 0;
  else if (op == "=")
    result = compare == 0;
  else if (op == ">")
    result = compare > 0;
  else if (op == "<")
    result = compare < 0;
  else
    return left + op + right;
  return result ? "True" : "False";
}

}  // namespace

std::string Reduce(std::string_view expression, const std::vector<bool>& literal) {
  std::vector<Token> tokens = Tokens(expression, literal);
  static const char* const kOrder[] = {"/",  "*",  "+",  "-",  "&", "%", "^",
                                       ">=", "<=", "!=", "<>", "=", ">", "<"};
  for (const char* op : kOrder) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (!tokens[i].is_operator || tokens[i].text != op) continue;
      if (tokens[i].text == "%") {
        const std::string left = i > 0 && !tokens[i - 1].is_operator ? tokens[i - 1].text : "";
        const std::string value = Apply(left, "%", "");
        const std::size_t from = i > 0 && !tokens[i - 1].is_operator ? i - 1 : i;
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(from),
                     tokens.begin() + static_cast<std::ptrdiff_t>(i + 1));
        tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(from), {value, false});
        i = from;
        continue;
      }
      const std::string left = i > 0 && !tokens[i - 1].is_operator ? tokens[i - 1].text : "";
      const std::string right =
          i + 1 < tokens.size() && !tokens[i + 1].is_operator ? tokens[i + 1].text : "";
      const std::string value = Apply(left, op, right);
      const std::size_t from = i > 0 && !tokens[i - 1].is_operator ? i - 1 : i;
      const std::size_t to = i + 1 < tokens.size() && !tokens[i + 1].is_operator ? i + 2 : i + 1;
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(from),
                   tokens.begin() + static_cast<std::ptrdiff_t>(to));
      tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(from), {value, false});
      i = from;
    }
  }
  std::string result;
  for (const Token& token : tokens) result += token.text;
  return std::string(Trim(result));
}

std::string EvaluateOperators(std::string_view expression, Literals literals) {
  if (expression.size() > 32767) RaiseOverflow();
  std::vector<bool> literal(expression.size(), false);
  for (const LiteralRange& range : literals.ranges) {
    for (int p = range.start; p <= range.end; ++p) {
      const int i = p - literals.offset - 1;
      if (i >= 0 && i < static_cast<int>(expression.size()))
        literal[static_cast<std::size_t>(i)] = true;
    }
  }
  std::string_view text = TrimLeft(expression);
  std::size_t skip = expression.size() - text.size();
  if (!text.empty() && text.front() == '=') ++skip;
  struct Level {
    std::string text;
    std::vector<bool> literal;
  };
  std::vector<Level> levels(1);
  for (std::size_t i = skip; i < expression.size(); ++i) {
    const char c = expression[i];
    if (!literal[i] && c == '(') {
      levels.emplace_back();
    } else if (!literal[i] && c == ')') {
      if (levels.size() == 1) RaiseError("EvaluateOperators", "Unbalanced parentheses");
      const std::string value = Reduce(levels.back().text, levels.back().literal);
      levels.pop_back();
      levels.back().text += value;
      levels.back().literal.insert(levels.back().literal.end(), value.size(), !IsNumber(value));
    } else {
      levels.back().text.push_back(c);
      levels.back().literal.push_back(literal[i]);
    }
  }
  if (levels.size() != 1) RaiseError("EvaluateOperators", "Unbalanced parentheses");
  std::string value = Reduce(levels.front().text, levels.front().literal);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::array<std::string, 3> SplitIf(std::string_view arguments, Literals literals) {
  std::vector<bool> literal(arguments.size(), false);
  for (const LiteralRange& range : literals.ranges) {
    for (int p = range.start; p <= range.end; ++p) {
      const int i = p - literals.offset - 1;
      if (i >= 0 && i < static_cast<int>(arguments.size()))
        literal[static_cast<std::size_t>(i)] = true;
    }
  }
  std::vector<std::string> parts;
  int depth = 0;
  bool in_quotes = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (literal[i]) continue;
    const char c = arguments[i];
    if (c == '"') in_quotes = !in_quotes;
    if (in_quotes) continue;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      parts.emplace_back(Trim(arguments.substr(start, i - start)));
      start = i + 1;
    }
  }
  parts.emplace_back(Trim(arguments.substr(start)));
  if (parts.size() != 3 || depth != 0 || in_quotes) {
    RaiseError("ParseIf", "If not structured correctly");
  }
  return {parts[0], parts[1], parts[2]};
}

bool TruthOf(std::string_view value) {
  const std::string upper = UpperCase(Trim(value));
  if (upper == "TRUE") return true;
  if (upper == "FALSE") return false;
  if (std::optional<double> number = ParseNumber(value)) return *number != 0;
  return TextToBoolean(value);
}

}  // namespace orvo::interim
