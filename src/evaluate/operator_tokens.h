// The token list an operator expression is reduced on, and the two ways of
// making it. Internal to the operator evaluation.
//
// TokenizeWithParser cuts any text with the formula tokenizer (cParser's
// GetToken machinery), one call per token. TokenizePlain reads the common
// shape of a text left once operands are values: plain numbers joined by
// single operators ("1523.75+200-45.5", "45000 >= 40000") in one pass, and
// gives up (nullopt) on anything else. For every text it accepts it yields
// the tokens the tokenizer yields; a test compares both on many generated
// texts.
#ifndef ORVO_EVALUATE_OPERATOR_TOKENS_H_
#define ORVO_EVALUATE_OPERATOR_TOKENS_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "evaluate/currency.h"

namespace orvo {

// Operator kinds in the order they are applied.
enum class OperatorKind {
  kDivide,
  kMultiply,
  kAdd,
  kSubtract,
  kJoin,
  kPercent,
  kPower,
  kGreaterEqual,
  kLessEqual,
  kNotEqualBang,
  kNotEqual,
  kEqual,
  kGreater,
  kLess
};
inline constexpr std::array<std::string_view, 14> kOperatorKindText = {
    "/", "*", "+", "-", "&", "%", "^", ">=", "<=", "!=", "<>", "=", ">", "<"};

std::optional<OperatorKind> OperatorKindOf(std::string_view op);

// What a token is: an operand, one of the operator kinds (by index), a
// bracket, or another operator that no kind applies ("," "!" "{").
inline constexpr int kOperandCode = -1;
inline constexpr int kOpenCode = static_cast<int>(kOperatorKindText.size());
inline constexpr int kCloseCode = kOpenCode + 1;
inline constexpr int kOtherOperatorCode = kOpenCode + 2;

// One token. `text` is as written, spaces included (the plain reading keeps
// only the operand's characters); an operator's code is the tokenizer's
// reading of it ("- -" is a "+"). A result of a sum, difference or product
// carries its `amount` and writes `text` only when it is needed.
struct OperatorToken {
  std::string text;
  int code = kOperandCode;
  bool computed = false;  // a result of an operator or of a sign
  std::optional<Currency> amount;
  // An operand whose first or last character (spaces aside that are not
  // literal) is a literal space: its value with exactly those spaces kept.
  // Unset for every other operand, whose value is its trimmed text.
  std::optional<std::string> spaced_value;

  static OperatorToken Operand(std::string text, bool computed = false) {
    OperatorToken token;
    token.text = std::move(text);
    token.computed = computed;
    return token;
  }
  static OperatorToken Operator(std::string text, int code) {
    OperatorToken token;
    token.text = std::move(text);
    token.code = code;
    return token;
  }
  static OperatorToken Amount(Currency value) {
    OperatorToken token;
    token.computed = true;
    token.amount = value;
    return token;
  }

  bool IsOperator() const { return code != kOperandCode; }
  bool Is(OperatorKind kind) const { return code == static_cast<int>(kind); }
  // The text, written from the amount first when it is a pending result.
  const std::string& Text() {
    if (amount && text.empty()) text = amount->ToText();
    return text;
  }
};

// `mask` (empty, or one flag per character of the whole expression, from
// `mask_start` on for `body`) marks literal characters, which the tokenizer
// must read as plain text.
// The value of an operand written as `text` when a space at its edge is
// literal text (a space in quotes, a substituted text value that begins or
// ends with one): the text without the spaces around it that are syntax.
// nullopt when the trimmed text is the value (no literal space at an edge).
// `mask` as for TokenizeWithParser, `mask_start` the mask index of text[0].
std::optional<std::string> LiteralSpacedValue(std::string_view text, const std::vector<bool>& mask,
                                              std::size_t mask_start);

std::vector<OperatorToken> TokenizeWithParser(std::string_view body, const std::vector<bool>& mask,
                                              std::size_t mask_start);

std::optional<std::vector<OperatorToken>> TokenizePlain(std::string_view body);

}  // namespace orvo

#endif  // ORVO_EVALUATE_OPERATOR_TOKENS_H_
