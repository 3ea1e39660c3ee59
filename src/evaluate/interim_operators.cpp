// Interim operator evaluator (see interim_operators.h).
#include "evaluate/interim_operators.h"

#include <cmath>

#include "evaluate/number_text.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

struct Token {
  std::string text;
  bool is_operator;
};

bool IsOperatorChar(char c) {
  return std::string_view("+-*/&%^=<>!").find(c) != std::string_view::npos;
}

std::vector<Token> Tokens(std::string_view text, const std::vector<TextSpan>& literals) {
  std::vector<Token> tokens;
  std::string operand;
  SpanCursor cursor(literals);
  auto flush = [&] {
    if (!Trim(operand).empty()) tokens.push_back({operand, false});
    operand.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (const TextSpan* literal = cursor.At(i)) {
      operand.append(text.substr(literal->start, literal->Length()));
      i = literal->end - 1;
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

std::string EvaluateOperators(std::string_view expression, const std::vector<TextSpan>& literals) {
  std::vector<Token> tokens = Tokens(expression, literals);
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

std::string ParseIf(std::string_view arguments, int part, const std::vector<TextSpan>& literals) {
  int depth = 0;
  bool in_quotes = false;
  int current = 1;
  std::size_t start = 0;
  SpanCursor cursor(literals);
  for (std::size_t i = 0; i <= arguments.size(); ++i) {
    const bool end = i == arguments.size();
    const bool literal = !end && cursor.At(i) != nullptr;
    const char c = end ? ',' : arguments[i];
    if (!literal && c == '"') in_quotes = !in_quotes;
    if (!literal && c == '(') ++depth;
    if (!literal && c == ')') --depth;
    if (end || (!literal && !in_quotes && depth == 0 && c == ',')) {
      if (current == part) {
        if (part < 3 && end) break;
        return std::string(Trim(arguments.substr(start, i - start)));
      }
      ++current;
      start = i + 1;
    }
  }
  RaiseError("ParseIf", "If not structured correctly");
}

bool TruthOf(std::string_view value) {
  const std::string upper = UpperCase(Trim(value));
  if (upper == "TRUE") return true;
  if (upper == "FALSE") return false;
  if (std::optional<double> number = ParseNumber(value)) return *number != 0;
  return TextToBoolean(value);
}

}  // namespace orvo
