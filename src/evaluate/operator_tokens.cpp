#include "evaluate/operator_tokens.h"

#include <algorithm>
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

std::optional<std::string> LiteralSpacedValue(std::string_view text, const std::vector<bool>& mask,
                                              std::size_t mask_start) {
  if (mask.empty()) return std::nullopt;
  const auto syntax_space = [&](std::size_t i) { return text[i] == ' ' && !mask[mask_start + i]; };
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && syntax_space(first)) ++first;
  while (last > first && syntax_space(last - 1)) --last;
  if (first == last || (text[first] != ' ' && text[last - 1] != ' ')) return std::nullopt;
  return std::string(text.substr(first, last - first));
}

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
    if (is_operator) {
      tokens.push_back(OperatorToken::Operator(std::move(text), CodeOf(trimmed)));
      continue;
    }
    OperatorToken operand = OperatorToken::Operand(std::move(text));
    if (!mask.empty()) {
      operand.spaced_value =
          LiteralSpacedValue(operand.text, mask, mask_start + static_cast<std::size_t>(start - 1));
    }
    tokens.push_back(std::move(operand));
  }
  // Messages about malformed operator runs belong to parsing, not here.
  if (state.errors.Count() != 0) state.errors.Clear();
  return tokens;
}

// Accepts  [" "] [sign] " "* number (" "* operator [signs] " "* number)* " "*
// where a number is digits and points, an operator one of + - * / & ^ = < >
// <= >= <>, and signs a run of "+" and "-" written right after the operator
// and right before the number: a negative value put in after an operator
// ("1+-2", "3*-4", "5>=-6"). A run is cut as the tokenizer's sign rule cuts
// it: signs that follow a "+" or "-" join it, except that a "+" right after
// a sign starts a token of its own; a token of several signs reads as "-"
// when it holds an odd number of "-", else as "+". Texts with a space next to
// or inside such a run, and the tokenizer's other special cases (a lone space
// before an operator, "%" names, map prefixes, quotes), are left to the
// tokenizer.
std::optional<std::vector<OperatorToken>> TokenizePlain(std::string_view body) {
  // Beyond 16-bit positions the tokenizer raises the overflow failure; so
  // must the reading of such a text.
  if (body.size() > static_cast<std::size_t>(INT16_MAX)) return std::nullopt;
  std::vector<OperatorToken> tokens;
  tokens.reserve(body.size() / 2 + 1);
  std::size_t i = 0;
  const std::size_t size = body.size();
  const auto is_sign = [&](std::size_t at) {
    return at < size && (body[at] == '+' || body[at] == '-');
  };
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
  // The tokens of the sign run [i, end): a sign followed by "+" stands
  // alone, otherwise it takes the rest of the run.
  const auto push_signs = [&](std::size_t end) {
    while (i < end) {
      const std::size_t token_end = i + 1 < end && body[i + 1] == '+' ? i + 1 : end;
      const std::string_view run = body.substr(i, token_end - i);
      int code = CodeOf(run.substr(0, 1));
      if (run.size() > 1)
        code = CodeOf(std::count(run.begin(), run.end(), '-') % 2 == 1 ? "-" : "+");
      tokens.push_back(OperatorToken::Operator(std::string(run), code));
      i = token_end;
    }
  };
  const auto run_end = [&](std::size_t from) {
    while (is_sign(from)) ++from;
    return from;
  };

  if (i < size && body[i] == ' ') ++i;
  if (is_sign(i)) {
    tokens.push_back(OperatorToken::Operator(std::string(1, body[i]), CodeOf(body.substr(i, 1))));
    ++i;
  } else {
    i = 0;
  }
  if (!read_number()) return std::nullopt;
  while (i < size) {
    const char c = body[i];
    if (c == '+' || c == '-') {
      const std::size_t end = run_end(i);
      if (end - i > 1) {
        // Signs after a "+" or "-": no spaces around them.
        if (body[i - 1] == ' ' || end >= size || body[end] == ' ') return std::nullopt;
        push_signs(end);
      } else {
        tokens.push_back(OperatorToken::Operator(std::string(1, c), CodeOf(body.substr(i, 1))));
        ++i;
      }
      if (!read_number()) return std::nullopt;
      continue;
    }
    std::size_t width = 1;
    switch (c) {
      case '<':
        if (i + 1 < size && (body[i + 1] == '=' || body[i + 1] == '>')) width = 2;
        break;
      case '>':
        if (i + 1 < size && body[i + 1] == '=') width = 2;
        break;
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
    if (is_sign(i)) {
      // Signs right after the operator and right before the number.
      const std::size_t end = run_end(i);
      if (end >= size || body[end] == ' ') return std::nullopt;
      push_signs(end);
    }
    if (!read_number()) return std::nullopt;
  }
  return tokens;
}

}  // namespace orvo
