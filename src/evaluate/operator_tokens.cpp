#include "evaluate/operator_tokens.h"

#include <cstdint>

#include "formula/parser_state.h"
#include "frame/per_thread.h"
#include "frame/text.h"

namespace orvo {
namespace {

// Stands in for literal characters while the tokenizer scans: not an
// operator, quote, space or "." (which the map-prefix rule looks at).
constexpr char kLiteralFiller = '_';

int CodeOf(std::string_view op) {
  if (std::optional<OperatorKind> kind = OperatorKindOf(op)) return static_cast<int>(*kind);
  if (op == "(") return kOpenCode;
  if (op == ")") return kCloseCode;
  return kOtherOperatorCode;
}

// The tokenizer state the scans use, one per thread.
struct ScanState {
  cParser::State state;
};

bool IsPlainNumberChar(char c) { return (c >= '0' && c <= '9') || c == '.'; }

}  // namespace

std::optional<OperatorKind> OperatorKindOf(std::string_view op) {
  if (op.size() == 1) {
    switch (op[0]) {
      case '/':
        return OperatorKind::kDivide;
      case '*':
        return OperatorKind::kMultiply;
      case '+':
        return OperatorKind::kAdd;
      case '-':
        return OperatorKind::kSubtract;
      case '&':
        return OperatorKind::kJoin;
      case '%':
        return OperatorKind::kPercent;
      case '^':
        return OperatorKind::kPower;
      case '=':
        return OperatorKind::kEqual;
      case '>':
        return OperatorKind::kGreater;
      case '<':
        return OperatorKind::kLess;
      default:
        return std::nullopt;
    }
  }
  if (op == ">=") return OperatorKind::kGreaterEqual;
  if (op == "<=") return OperatorKind::kLessEqual;
  if (op == "!=") return OperatorKind::kNotEqualBang;
  if (op == "<>") return OperatorKind::kNotEqual;
  return std::nullopt;
}

std::vector<OperatorToken> TokenizeWithParser(std::string_view body, const std::vector<bool>& mask,
                                              std::size_t mask_start) {
  std::string scanned(body);
  if (!mask.empty()) {
    for (std::size_t i = 0; i < scanned.size(); ++i) {
      if (mask[mask_start + i]) scanned[i] = kLiteralFiller;
    }
  }
  cParser::State& state = PerThread<ScanState>().state;
  state.ignore_spaces = true;
  state.offset = 0;
  state.current_position = 1;
  std::vector<OperatorToken> tokens;
  tokens.reserve(body.size() / 2 + 1);
  const int length = static_cast<int>(scanned.size());
  while (state.current_position != -1) {
    const int from = state.current_position;
    std::string token = NextToken(state, scanned);
    const int start = state.start_position;
    if (state.current_position != -1 && state.current_position <= from) {
      // Not expected of the tokenizer; the rest is kept as one operand
      // rather than scanned again.
      tokens.push_back(
          OperatorToken::Operand(std::string(body.substr(static_cast<std::size_t>(from - 1)))));
      break;
    }
    const int end = state.current_position == -1 ? length : state.current_position - 1;
    if (start > end) continue;
    const std::string_view trimmed = Trim(token);
    // The tokenizer returns an operator token as its one or two characters.
    const bool is_operator = (trimmed.size() == 1 && state.operators.IsOperatorChar(trimmed[0])) ||
                             (trimmed.size() == 2 && (trimmed == "<>" || trimmed == "!=" ||
                                                      trimmed == "<=" || trimmed == ">="));
    std::string text(body.substr(static_cast<std::size_t>(start - 1),
                                 static_cast<std::size_t>(end - start + 1)));
    tokens.push_back(is_operator ? OperatorToken::Operator(std::move(text), CodeOf(trimmed))
                                 : OperatorToken::Operand(std::move(text)));
  }
  // Messages about malformed operator runs belong to parsing, not here.
  if (state.errors.Count() != 0) state.errors.Clear();
  return tokens;
}

// Accepts  [" "] [sign] " "* number (" "* operator " "* number)* " "*
// where a number is digits and points and an operator one of + - * / & ^ =
// < > <= >= <>. On these texts the tokenizer's special cases (sign runs of
// several signs, a lone space before an operator, "%" names, map prefixes,
// quotes) cannot arise.
std::optional<std::vector<OperatorToken>> TokenizePlain(std::string_view body) {
  // Beyond 16-bit positions the tokenizer raises the overflow failure; so
  // must the reading of such a text.
  if (body.size() > static_cast<std::size_t>(INT16_MAX)) return std::nullopt;
  std::vector<OperatorToken> tokens;
  tokens.reserve(body.size() / 2 + 1);
  std::size_t i = 0;
  const std::size_t size = body.size();
  const auto skip_spaces = [&] {
    while (i < size && body[i] == ' ') ++i;
  };
  const auto read_number = [&]() -> bool {
    skip_spaces();
    const std::size_t start = i;
    while (i < size && IsPlainNumberChar(body[i])) ++i;
    if (i == start) return false;
    tokens.push_back(OperatorToken::Operand(std::string(body.substr(start, i - start))));
    skip_spaces();
    return true;
  };

  if (i < size && body[i] == ' ') ++i;
  if (i < size && (body[i] == '+' || body[i] == '-')) {
    tokens.push_back(OperatorToken::Operator(std::string(1, body[i]), CodeOf(body.substr(i, 1))));
    ++i;
  } else {
    i = 0;
  }
  if (!read_number()) return std::nullopt;
  while (i < size) {
    const char c = body[i];
    std::size_t width = 1;
    switch (c) {
      case '<':
        if (i + 1 < size && (body[i + 1] == '=' || body[i + 1] == '>')) width = 2;
        break;
      case '>':
        if (i + 1 < size && body[i + 1] == '=') width = 2;
        break;
      case '+':
      case '-':
      case '*':
      case '/':
      case '&':
      case '^':
      case '=':
        break;
      default:
        return std::nullopt;
    }
    const std::string_view op = body.substr(i, width);
    tokens.push_back(OperatorToken::Operator(std::string(op), CodeOf(op)));
    i += width;
    if (!read_number()) return std::nullopt;
  }
  return tokens;
}

}  // namespace orvo
