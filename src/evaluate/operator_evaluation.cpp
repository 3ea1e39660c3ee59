#include "evaluate/operator_evaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "evaluate/currency.h"
#include "evaluate/decimal.h"
#include "evaluate/number_text.h"
#include "evaluate/operator_tokens.h"
#include "formula/token_lists.h"
#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {
namespace {

using Kind = OperatorKind;
using Token = OperatorToken;
constexpr auto& kKindText = kOperatorKindText;
constexpr int kOpen = kOpenCode;
constexpr int kClose = kCloseCode;

bool IsQuoted(std::string_view text) {
  return text.size() >= 2 && ((text.front() == '\'' && text.back() == '\'') ||
                              (text.front() == '"' && text.back() == '"'));
}

std::string_view Unquote(std::string_view text) {
  text = Trim(text);
  return IsQuoted(text) ? text.substr(1, text.size() - 2) : text;
}

// Marks the characters of `text` that lie in a literal range.
std::vector<bool> LiteralMask(std::size_t length, const Literals& literals) {
  std::vector<bool> mask;
  if (literals.ranges.empty()) return mask;
  mask.assign(length, false);
  for (const LiteralRange& range : literals.ranges) {
    // Text positions p with start <= p + offset <= end.
    const long first = std::max<long>(1, static_cast<long>(range.start) - literals.offset);
    const long last =
        std::min<long>(static_cast<long>(length), static_cast<long>(range.end) - literals.offset);
    for (long p = first; p <= last; ++p) mask[static_cast<std::size_t>(p - 1)] = true;
  }
  return mask;
}

bool IsLiteral(const std::vector<bool>& mask, std::size_t index) {
  return !mask.empty() && mask[index];
}

bool HasLiteral(const std::vector<bool>& mask, std::size_t from) {
  return !mask.empty() && std::find(mask.begin() + static_cast<std::ptrdiff_t>(from), mask.end(),
                                    true) != mask.end();
}

[[noreturn]] void RaiseUnbalanced() { RaiseError("EvaluateOperators", "Unbalanced parentheses"); }
[[noreturn]] void RaiseBadIf() { RaiseError("ParseIf", "If not structured correctly"); }

Token Operand(std::string text, bool computed) { return Token::Operand(std::move(text), computed); }

// `left` and `right` are operand values: trimmed and without their quotes.
std::string ApplyKind(Kind kind, std::string_view left, std::string_view right);

// What an operand token stands for. A computed result is a value as it is;
// an operand as written loses the spaces around it and its quotes, but not
// spaces that are literal text.
std::string_view OperandValue(Token& token) {
  if (token.computed) return token.Text();
  if (token.spaced_value) return *token.spaced_value;
  return Unquote(token.text);
}

bool IsSign(const Token& token) { return token.Is(Kind::kAdd) || token.Is(Kind::kSubtract); }

bool IsMantissaWithExponentLetter(std::string_view text) {
  if (text.size() < 2 || (text.back() != 'E' && text.back() != 'e')) return false;
  const std::string_view mantissa = text.substr(0, text.size() - 1);
  return mantissa.find_first_of("eE") == std::string_view::npos && IsNumber(mantissa) &&
         mantissa.front() != ' ';
}

bool IsDigits(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  return !text.empty() && text.front() != ' ' && !trimmed.empty() &&
         std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The tokenizer ends a token at the sign of an exponent ("1E-05" scans as
// "1E", "-", "05"); numbers written by function results carry such
// exponents, so the three pieces are put back together when they touch.
void JoinExponents(std::vector<Token>& tokens) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i + 2 < tokens.size() && !tokens[i].IsOperator() && IsSign(tokens[i + 1]) &&
        tokens[i + 1].text.size() == 1 && !tokens[i + 2].IsOperator() &&
        IsMantissaWithExponentLetter(TrimLeft(tokens[i].text)) && tokens[i].text.back() != ' ' &&
        IsDigits(tokens[i + 2].text)) {
      tokens[out++] = Operand(tokens[i].text + tokens[i + 1].text + tokens[i + 2].text, false);
      i += 2;
      continue;
    }
    if (out != i) tokens[out] = std::move(tokens[i]);
    ++out;
  }
  tokens.resize(out);
}

// A sign applied to the operand after it.
Token ApplySign(bool minus, Token& operand) {
  const std::string_view value = Trim(operand.Text());
  if (!minus) return Operand(std::string(value), true);
  if (std::optional<Decimal> number = Decimal::FromText(value))
    return Operand(number->Negated().ToText(), true);
  return Operand("-" + std::string(value), true);
}

// An operand's value as currency, nullopt when it is not numeric.
std::optional<Currency> AmountOf(Token& token) {
  if (token.amount) return token.amount;
  return Currency::FromText(OperandValue(token));
}

// One operator applied to the operand tokens beside it (null when missing).
// Sums, differences and products of numbers stay currency values; the rest
// goes through the text rules of ApplyOperator.
Token ApplyTokens(Kind kind, Token* left, Token* right) {
  if (kind == Kind::kAdd || kind == Kind::kSubtract || kind == Kind::kMultiply) {
    const std::optional<Currency> a = left != nullptr ? AmountOf(*left) : std::nullopt;
    const std::optional<Currency> b = right != nullptr ? AmountOf(*right) : std::nullopt;
    if (a || b) {  // two texts may still be dates
      const Currency x = a.value_or(Currency());
      const Currency y = b.value_or(Currency());
      return Token::Amount(kind == Kind::kAdd ? x + y : kind == Kind::kSubtract ? x - y : x * y);
    }
  }
  return Operand(ApplyKind(kind, left != nullptr ? OperandValue(*left) : std::string_view(),
                           right != nullptr ? OperandValue(*right) : std::string_view()),
                 true);
}

bool TakesSign(const std::vector<Token>& list, std::size_t i) {
  return i == 0 || (list[i - 1].IsOperator() && !list[i - 1].Is(Kind::kPercent));
}

void ApplySigns(std::vector<Token>& list) {
  std::vector<Token> reversed;
  reversed.reserve(list.size());
  for (std::size_t i = list.size(); i-- > 0;) {
    if (IsSign(list[i]) && !reversed.empty() && !reversed.back().IsOperator() &&
        TakesSign(list, i)) {
      reversed.back() = ApplySign(list[i].Is(Kind::kSubtract), reversed.back());
      continue;
    }
    reversed.push_back(std::move(list[i]));
  }
  list.assign(std::make_move_iterator(reversed.rbegin()), std::make_move_iterator(reversed.rend()));
}

// Reduces a list without brackets to as few tokens as operators allow.
void ReduceFlat(std::vector<Token>& list) {
  // Signs first, from the right, so that "- +2" becomes "-2".
  bool any_sign = false;
  for (std::size_t i = 0; i < list.size() && !any_sign; ++i) {
    any_sign =
        IsSign(list[i]) && TakesSign(list, i) && i + 1 < list.size() && !list[i + 1].IsOperator();
  }
  if (any_sign) ApplySigns(list);

  std::array<bool, kKindText.size()> present{};
  bool any = false;
  for (const Token& token : list) {
    if (token.code >= 0 && token.code < kOpen) {
      present[static_cast<std::size_t>(token.code)] = true;
      any = true;
    }
  }
  if (!any) return;

  std::vector<Token> out;
  out.reserve(list.size());
  for (std::size_t kind = 0; kind < kKindText.size(); ++kind) {
    if (!present[kind]) continue;
    const Kind current = static_cast<Kind>(kind);
    const bool postfix = current == Kind::kPercent;
    out.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (!list[i].Is(current)) {
        out.push_back(std::move(list[i]));
        continue;
      }
      // "50%*2": the percentage's turn has not come, but a "%" cannot be a
      // left operand, so it is taken first.
      if (!postfix && out.size() >= 2 && out.back().Is(Kind::kPercent) &&
          !out[out.size() - 2].IsOperator()) {
        out.pop_back();
        out.back() = ApplyTokens(Kind::kPercent, &out.back(), nullptr);
      }
      Token* left = !out.empty() && !out.back().IsOperator() ? &out.back() : nullptr;
      Token* right =
          !postfix && i + 1 < list.size() && !list[i + 1].IsOperator() ? &list[++i] : nullptr;
      Token result = ApplyTokens(current, left, right);
      if (left != nullptr) {
        out.back() = std::move(result);
      } else {
        out.push_back(std::move(result));
      }
    }
    list.swap(out);
  }
}

std::string Boolean(bool value) { return value ? "True" : "False"; }

template <class T>
std::string Compare(Kind kind, const T& left, const T& right) {
  switch (kind) {
    case Kind::kGreaterEqual:
      return Boolean(left >= right);
    case Kind::kLessEqual:
      return Boolean(left <= right);
    case Kind::kNotEqualBang:
    case Kind::kNotEqual:
      return Boolean(left != right);
    case Kind::kEqual:
      return Boolean(left == right);
    case Kind::kGreater:
      return Boolean(left > right);
    default:
      return Boolean(left < right);
  }
}

// The reduction of a token list of plain numbers joined by "*", "+" and "-"
// (with signs), as ReduceFlat gives it, computed on currency amounts without
// a text for any step: the common shape of sums once their operands are
// values. nullopt for any other list, which ReduceFlat then reduces.
struct AmountEntry {
  int code;  // kOperandCode for an amount
  Currency amount;
  std::string_view text;  // an amount's number as written
  bool negated = false;   // by the signs before it
  int quotient = -1;      // a division's result: its text, by index (see ReduceAmountEntries)
};

std::optional<std::string> ReduceAmountEntries(std::vector<AmountEntry>& list);
std::string DivideValues(Currency dividend, Currency divisor);

std::optional<std::string> ReducePlainAmounts(const std::vector<Token>& tokens) {
  using Entry = AmountEntry;
  thread_local std::vector<Entry> list;
  list.clear();
  bool any_operator = false;
  for (const Token& token : tokens) {
    if (token.IsOperator()) {
      if (!token.Is(Kind::kAdd) && !token.Is(Kind::kSubtract) && !token.Is(Kind::kMultiply)) {
        return std::nullopt;
      }
      any_operator = true;
      list.push_back({token.code, Currency(), {}});
      continue;
    }
    if (token.computed) return std::nullopt;
    list.push_back({kOperandCode, Currency(), token.text});
  }
  if (!any_operator) return std::nullopt;
  return ReduceAmountEntries(list);
}

// "a OP b" for two plain numbers without signs and a comparison OP at
// `at`, where `list` holds the one number read before it: "True" or "False"
// compared as currency, as ApplyKind compares two numeric operands. nullopt
// for any other text.
std::optional<std::string> ComparePlainNumbers(std::string_view body, std::size_t at,
                                               const std::vector<AmountEntry>& list) {
  // Either number may carry one sign written right before it, which applies
  // first: far from the ends of the range, the amount of a negated text is
  // the negated amount.
  const bool left_signed = list.size() == 2 && list.front().code != kOperandCode;
  if (list.size() != 1 && !left_signed) return std::nullopt;
  const bool left_negated = left_signed && list.front().code == static_cast<int>(Kind::kSubtract);
  Kind kind = Kind::kEqual;
  std::size_t width = 1;
  const char next = at + 1 < body.size() ? body[at + 1] : '\0';
  if (body[at] == '<') {
    kind = next == '=' ? Kind::kLessEqual : next == '>' ? Kind::kNotEqual : Kind::kLess;
    width = next == '=' || next == '>' ? 2 : 1;
  } else if (body[at] == '>') {
    kind = next == '=' ? Kind::kGreaterEqual : Kind::kGreater;
    width = next == '=' ? 2 : 1;
  }
  std::size_t i = at + width;
  while (i < body.size() && body[i] == ' ') ++i;
  bool right_negated = false;
  if (i > at + width || i >= body.size()) {
    // A sign after spaces is left to the general reduction.
  } else if (body[i] == '-' || body[i] == '+') {
    right_negated = body[i] == '-';
    ++i;
  }
  const std::size_t start = i;
  while (i < body.size() && ((body[i] >= '0' && body[i] <= '9') || body[i] == '.')) ++i;
  const std::string_view right = body.substr(start, i - start);
  while (i < body.size() && body[i] == ' ') ++i;
  const std::string_view left = list.back().text;
  if (right.empty() || i != body.size() || left.size() > 18 || right.size() > 18 ||
      !IsNumber(left) || !IsNumber(right)) {
    return std::nullopt;
  }
  const std::optional<Currency> a = Currency::FromText(left);
  const std::optional<Currency> b = Currency::FromText(right);
  if (!a || !b) return std::nullopt;
  return Compare(kind, left_negated ? Currency() - *a : *a, right_negated ? Currency() - *b : *b);
}

// The same reduction read straight from the text, for the texts whose
// TokenizePlain tokens are all numbers, "+", "-" and "*": the same pieces
// are cut by the same rules, without a token for any of them. Every other
// text gives nullopt and takes the token path.
std::optional<std::string> ReducePlainText(std::string_view body) {
  using Entry = AmountEntry;
  if (body.size() > static_cast<std::size_t>(INT16_MAX)) return std::nullopt;
  thread_local std::vector<Entry> list;
  list.clear();
  std::size_t i = 0;
  const std::size_t size = body.size();
  const auto code_of = [](char c) {
    return static_cast<int>(c == '+'   ? Kind::kAdd
                            : c == '-' ? Kind::kSubtract
                            : c == '/' ? Kind::kDivide
                                       : Kind::kMultiply);
  };
  const auto is_sign = [&](std::size_t at) {
    return at < size && (body[at] == '+' || body[at] == '-');
  };
  const auto skip_spaces = [&] {
    while (i < size && body[i] == ' ') ++i;
  };
  const auto read_number = [&]() -> bool {
    skip_spaces();
    const std::size_t start = i;
    while (i < size && ((body[i] >= '0' && body[i] <= '9') || body[i] == '.')) ++i;
    if (i == start) return false;
    list.push_back({kOperandCode, Currency(), body.substr(start, i - start)});
    skip_spaces();
    return true;
  };
  const auto push_signs = [&](std::size_t end) {
    while (i < end) {
      const std::size_t token_end = i + 1 < end && body[i + 1] == '+' ? i + 1 : end;
      const std::string_view run = body.substr(i, token_end - i);
      const int code = run.size() == 1                                    ? code_of(run[0])
                       : std::count(run.begin(), run.end(), '-') % 2 == 1 ? code_of('-')
                                                                          : code_of('+');
      list.push_back({code, Currency(), {}});
      i = token_end;
    }
  };
  const auto run_end = [&](std::size_t from) {
    while (is_sign(from)) ++from;
    return from;
  };

  bool any_operator = false;
  if (i < size && body[i] == ' ') ++i;
  if (is_sign(i)) {
    list.push_back({code_of(body[i]), Currency(), {}});
    any_operator = true;
    ++i;
  } else {
    i = 0;
  }
  if (!read_number()) return std::nullopt;
  while (i < size) {
    const char c = body[i];
    any_operator = true;
    if (c == '+' || c == '-') {
      const std::size_t end = run_end(i);
      if (end - i > 1) {
        if (body[i - 1] == ' ' || end >= size || body[end] == ' ') return std::nullopt;
        push_signs(end);
      } else {
        list.push_back({code_of(c), Currency(), {}});
        ++i;
      }
      if (!read_number()) return std::nullopt;
      continue;
    }
    if (c == '<' || c == '>' || c == '=') return ComparePlainNumbers(body, i, list);
    if (c != '*' && c != '/') return std::nullopt;
    list.push_back({code_of(c), Currency(), {}});
    ++i;
    if (is_sign(i)) {
      const std::size_t end = run_end(i);
      if (end >= size || body[end] == ' ') return std::nullopt;
      push_signs(end);
    }
    if (!read_number()) return std::nullopt;
  }
  if (!any_operator) return std::nullopt;
  return ReduceAmountEntries(list);
}

// Signs, then products, sums and differences of an entry list of numbers
// and operators. The numbers are converted only once the list has proved to
// be of that shape, so that a number out of the currency range fails here
// only where the general reduction would take it as currency as well.
std::optional<std::string> ReduceAmountEntries(std::vector<AmountEntry>& list) {
  using Entry = AmountEntry;
  thread_local std::vector<Entry> out;

  // Signs, from the right, where ApplySigns takes them.
  const auto is_sign = [](const Entry& entry) {
    return entry.code == static_cast<int>(Kind::kAdd) ||
           entry.code == static_cast<int>(Kind::kSubtract);
  };
  // (Numbers and operators alternating from a number on have no signs.)
  bool alternating = list.size() % 2 == 1;
  for (std::size_t i = 0; i < list.size() && alternating; ++i) {
    alternating = (list[i].code == kOperandCode) == (i % 2 == 0);
  }
  if (!alternating) {
    out.clear();
    for (std::size_t i = list.size(); i-- > 0;) {
      if (is_sign(list[i]) && !out.empty() && out.back().code == kOperandCode &&
          (i == 0 || list[i - 1].code != kOperandCode)) {
        if (list[i].code == static_cast<int>(Kind::kSubtract)) out.back().negated ^= true;
        continue;
      }
      out.push_back(list[i]);
    }
    list.assign(out.rbegin(), out.rend());
  }
  // Amounts and operators must now alternate, with at least one operator (a
  // signed number on its own keeps the sign's exact text).
  if (list.size() % 2 == 0 || list.size() == 1) return std::nullopt;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if ((list[i].code == kOperandCode) != (i % 2 == 0)) return std::nullopt;
  }
  // A division next to a text that is no number joins the two as text and
  // reads neither as currency: such lists take the general reduction.
  const bool dividing = std::any_of(list.begin(), list.end(), [](const Entry& entry) {
    return entry.code == static_cast<int>(Kind::kDivide);
  });
  if (dividing) {
    for (std::size_t i = 0; i < list.size(); i += 2) {
      if (!IsNumber(list[i].text)) return std::nullopt;
    }
  }
  for (std::size_t i = 0; i < list.size(); i += 2) {
    // Far from the ends of the range, a negated amount is the amount of the
    // negated text.
    if (list[i].text.size() > 18) return std::nullopt;
    const std::optional<Currency> amount = Currency::FromText(list[i].text);
    if (!amount) return std::nullopt;
    list[i].amount = list[i].negated ? Currency() - *amount : *amount;
  }

  // Divisions first. A quotient is the text DivideValues writes; the next
  // operator reads that text as currency, and with none left it is the value.
  thread_local std::vector<std::string> quotients;
  quotients.clear();
  if (dividing) {
    out.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].code != static_cast<int>(Kind::kDivide)) {
        out.push_back(list[i]);
        continue;
      }
      Entry& left = out.back();
      const Currency x =
          left.quotient >= 0
              ? *Currency::FromText(quotients[static_cast<std::size_t>(left.quotient)])
              : left.amount;
      quotients.push_back(DivideValues(x, list[++i].amount));
      left.quotient = static_cast<int>(quotients.size() - 1);
    }
    list.swap(out);
    if (list.size() == 1) return std::move(quotients.back());
    for (Entry& entry : list) {
      if (entry.quotient >= 0) {
        entry.amount = *Currency::FromText(quotients[static_cast<std::size_t>(entry.quotient)]);
      }
    }
  }

  // Products, then sums, then differences, each left to right: in one walk,
  // a run of products joins the sum it belongs to when it ends, and a sum is
  // subtracted when the next "-" or the end closes it. Every operation gets
  // the operands it gets pass by pass, so results and overflows are the same.
  Currency product = list.front().amount;
  Currency sum;
  Currency result;
  bool summing = false;
  bool subtracting = false;
  const auto end_product = [&] {
    sum = summing ? sum + product : product;
    summing = true;
  };
  const auto end_sum = [&] {
    result = subtracting ? result - sum : sum;
    subtracting = true;
    summing = false;
  };
  for (std::size_t i = 1; i + 1 < list.size(); i += 2) {
    const Currency next = list[i + 1].amount;
    if (list[i].code == static_cast<int>(Kind::kMultiply)) {
      product = product * next;
      continue;
    }
    end_product();
    if (list[i].code == static_cast<int>(Kind::kSubtract)) end_sum();
    product = next;
  }
  end_product();
  end_sum();
  return result.ToText();
}

// The value the reduced tokens stand for.
std::string ValueOf(std::vector<Token>& list) {
  if (list.size() == 1 && !list.front().IsOperator())
    return std::string(OperandValue(list.front()));
  std::string joined;
  for (Token& token : list) joined += token.Text();
  return std::string(Trim(joined));
}

// A reduced group becomes one operand standing where its brackets stood.
Token GroupToken(std::vector<Token> group) {
  if (group.size() == 1 && !group.front().IsOperator()) return std::move(group.front());
  std::string joined;
  for (Token& token : group) joined += token.Text();
  return Operand(std::string(Trim(joined)), true);
}

bool IsOperatorCharAnywhere(std::string_view body, const std::vector<bool>& mask,
                            std::size_t mask_start) {
  const OperatorTable& table = SharedOperatorTable();
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (table.IsOperatorChar(body[i]) && !IsLiteral(mask, mask_start + i)) return true;
  }
  return false;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

bool ReadFixedDigits(std::string_view text, std::size_t at, std::size_t count, unsigned& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

int CompareTexts(std::string_view left, std::string_view right) {
  const std::string a = UpperCase(left);
  const std::string b = UpperCase(right);
  return a.compare(b);
}

// The day numbers of two operands when both are dates.
std::optional<std::pair<double, double>> DayValues(std::string_view left, std::string_view right) {
  const std::optional<double> a = DateValue(left);
  if (!a) return std::nullopt;
  const std::optional<double> b = DateValue(right);
  if (!b) return std::nullopt;
  return std::make_pair(*a, *b);
}

std::string DivideValues(Currency dividend, Currency divisor) {
  if (divisor.IsZero()) return "0";
  return NumberToDecimalText(dividend.ToDouble() / divisor.ToDouble());
}

// Whether an unsigned plain decimal (digits and at most one point) is
// already in the form Decimal writes it: not zero, no leading zero but the
// one before the point of a fraction, a point only with digits after it and
// no trailing zero after it, and few enough digits to be exact. Its negation
// is then written as "-" followed by the text itself.
bool IsWriteBackForm(std::string_view number) {
  constexpr std::size_t kExactDigits = 18;
  if (number.empty() || number.size() > kExactDigits || number.front() == '.' ||
      number.back() == '.') {
    return false;
  }
  if (number.front() == '0' && (number.size() == 1 || number[1] != '.')) return false;
  if (number.find('.') != std::string_view::npos && number.back() == '0') return false;
  return number.find_first_of("123456789") != std::string_view::npos;
}

// The value of an expression without literal ranges that is one operand,
// or one number with a single sign, and nothing else: the value the
// reduction below gives it, read straight from the text. Most arguments and
// final values are of this shape once their operands and calls have been
// replaced by values. nullopt for every other text.
std::optional<std::string> LoneValue(std::string_view expression) {
  std::size_t skip = 0;
  while (skip < expression.size() && expression[skip] == ' ') ++skip;
  if (skip < expression.size() && expression[skip] == '=') ++skip;
  const std::string_view rest = expression.substr(skip);
  const std::string_view body = Trim(rest);
  if (!body.empty() && (body.front() == '-' || body.front() == '+')) {
    // A signed number: the sign applied as ApplySign applies it. After two
    // or more spaces behind the "=", a sign is a subtraction from the empty
    // operand the spaces make, which the general reduction computes.
    if (rest.size() - TrimLeft(rest).size() > 1) return std::nullopt;
    const std::string_view number = body.substr(1);
    bool digit = false;
    bool point = false;
    for (const char c : number) {
      if (c >= '0' && c <= '9') {
        digit = true;
      } else if (c == '.' && !point) {
        point = true;
      } else {
        return std::nullopt;
      }
    }
    if (!digit) return std::nullopt;
    if (body.front() == '+') return std::string(number);
    if (IsWriteBackForm(number)) {
      std::string negated;
      negated.reserve(number.size() + 1);
      negated.push_back('-');
      negated.append(number);
      return negated;
    }
    if (std::optional<Decimal> value = Decimal::FromText(number)) return value->Negated().ToText();
    return "-" + std::string(number);
  }
  const OperatorTable& table = SharedOperatorTable();
  for (const char c : body) {
    if (table.IsOperatorChar(c) || c == '"' || c == '\'') return std::nullopt;
  }
  return std::string(body);
}

// A join of parts by "&" and nothing else, each part one quoted literal,
// a plain word or number (letters, digits, "." and "_"), or a number with a
// "-" sign: the parts' values joined, as the reduction below joins them, read
// straight from the text. `mask` and `mask_start` as for TokenizeWithParser.
// nullopt for every other text.
std::optional<std::string> ReduceJoin(std::string_view body, const std::vector<bool>& mask,
                                      std::size_t mask_start) {
  const auto literal = [&](std::size_t i) { return IsLiteral(mask, mask_start + i); };
  std::string joined;
  std::size_t start = 0;
  bool any_join = false;
  while (true) {
    std::size_t end = start;
    while (end < body.size() && (body[end] != '&' || literal(end))) ++end;
    // The part without the spaces around it, which are syntax.
    std::size_t first = start;
    std::size_t last = end;
    while (first < last && body[first] == ' ' && !literal(first)) ++first;
    while (last > first && body[last - 1] == ' ' && !literal(last - 1)) --last;
    if (first == last) return std::nullopt;
    const std::string_view part = body.substr(first, last - first);
    const char quote = part.front();
    if ((quote == '"' || quote == '\'') && part.size() >= 2 && part.back() == quote) {
      // One quoted literal: every character literal, no quote inside.
      for (std::size_t i = first; i < last; ++i) {
        if (!literal(i)) return std::nullopt;
      }
      const std::string_view inside = part.substr(1, part.size() - 2);
      if (inside.find(quote) != std::string_view::npos) return std::nullopt;
      joined.append(inside);
    } else if (quote == '-') {
      // A signed number, the sign right before its digits and nothing else.
      if (first != start || last != end) return std::nullopt;
      std::optional<std::string> value = LoneValue(part);
      if (!value) return std::nullopt;
      for (std::size_t i = first; i < last; ++i) {
        if (literal(i) || body[i] == ' ') return std::nullopt;
      }
      joined.append(*value);
    } else {
      for (std::size_t i = first; i < last; ++i) {
        const char c = body[i];
        const bool word = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                          (c >= 'A' && c <= 'Z') || c == '.' || c == '_';
        if (!word || literal(i)) return std::nullopt;
      }
      joined.append(part);
    }
    if (end == body.size()) break;
    any_join = true;
    start = end + 1;
  }
  if (!any_join) return std::nullopt;
  return joined;
}

// One operator between two unsigned plain decimals, without spaces, after
// an optional "=": "12.5*3", "=4-10", "7<=7.5". The operator is one of
// + - * = < > <= >= <>, and each number has digits with at most one point
// and at most 18 characters. Its value is the one ReducePlainText gives such
// a text (the currency sum, difference or product, or the comparison of the
// two amounts), read without the entry lists. nullopt for every other text.
std::optional<std::string> PlainPair(std::string_view expression) {
  std::size_t i = !expression.empty() && expression.front() == '=' ? 1 : 0;
  const auto read_number = [&](std::string_view& number) {
    const std::size_t start = i;
    bool digit = false;
    i = PlainDecimalEnd(expression, start, digit);
    number = expression.substr(start, i - start);
    return digit && number.size() <= 18;
  };
  std::string_view left;
  if (!read_number(left) || i == expression.size()) return std::nullopt;
  const char op = expression[i++];
  const char next = i < expression.size() ? expression[i] : '\0';
  Kind kind = Kind::kAdd;
  switch (op) {
    case '+':
      kind = Kind::kAdd;
      break;
    case '-':
      kind = Kind::kSubtract;
      break;
    case '*':
      kind = Kind::kMultiply;
      break;
    case '=':
      kind = Kind::kEqual;
      break;
    case '<':
      kind = next == '=' ? Kind::kLessEqual : next == '>' ? Kind::kNotEqual : Kind::kLess;
      break;
    case '>':
      kind = next == '=' ? Kind::kGreaterEqual : Kind::kGreater;
      break;
    default:
      return std::nullopt;
  }
  if (kind == Kind::kLessEqual || kind == Kind::kNotEqual || kind == Kind::kGreaterEqual) ++i;
  std::string_view right;
  if (!read_number(right) || i != expression.size()) return std::nullopt;
  const std::optional<Currency> a = Currency::FromText(left);
  const std::optional<Currency> b = Currency::FromText(right);
  if (!a || !b) return std::nullopt;
  switch (kind) {
    case Kind::kAdd:
      return (*a + *b).ToText();
    case Kind::kSubtract:
      return (*a - *b).ToText();
    case Kind::kMultiply:
      return (*a * *b).ToText();
    default:
      return Compare(kind, *a, *b);
  }
}

}  // namespace

namespace {

// `shortcuts`: texts of the common plain shapes are read straight from the
// text instead of reduced token by token (the same value).
std::string Reduce(std::string_view expression, Literals literals, bool shortcuts) {
  if (shortcuts && literals.ranges.empty()) {
    if (std::optional<std::string> value = PlainPair(expression)) return std::move(*value);
    if (std::optional<std::string> value = LoneValue(expression)) return std::move(*value);
  }
  const std::vector<bool> mask = LiteralMask(expression.size(), literals);
  std::size_t skip = 0;
  while (skip < expression.size() && expression[skip] == ' ' && !IsLiteral(mask, skip)) ++skip;
  if (skip == expression.size()) return std::string();
  if (expression[skip] == '=' && !IsLiteral(mask, skip)) ++skip;
  const std::string_view body = expression.substr(skip);

  if (!IsOperatorCharAnywhere(body, mask, skip)) {
    std::vector<Token> single = {Operand(std::string(body), false)};
    single.front().spaced_value = LiteralSpacedValue(body, mask, skip);
    return ValueOf(single);
  }
  const bool has_literal = HasLiteral(mask, skip);
  if (shortcuts) {
    if (body.find('&') != std::string_view::npos) {
      if (std::optional<std::string> value = ReduceJoin(body, mask, skip)) return std::move(*value);
    }
    if (!has_literal) {
      if (std::optional<std::string> value = ReducePlainText(body)) return std::move(*value);
    }
  }
  std::vector<Token> tokens;
  if (std::optional<std::vector<Token>> plain = has_literal ? std::nullopt : TokenizePlain(body)) {
    if (shortcuts) {
      if (std::optional<std::string> value = ReducePlainAmounts(*plain)) return std::move(*value);
    }
    tokens = std::move(*plain);
  } else {
    tokens = TokenizeWithParser(body, mask, skip);
    JoinExponents(tokens);
  }

  // Brackets: each ")" reduces the tokens since its "(" to one operand.
  std::vector<Token> out;
  std::vector<std::size_t> opened;
  out.reserve(tokens.size());
  for (Token& token : tokens) {
    if (token.code == kOpen) {
      opened.push_back(out.size());
      out.push_back(std::move(token));
    } else if (token.code == kClose) {
      if (opened.empty()) RaiseUnbalanced();
      const std::size_t start = opened.back();
      opened.pop_back();
      std::vector<Token> group(
          std::make_move_iterator(out.begin() + static_cast<std::ptrdiff_t>(start + 1)),
          std::make_move_iterator(out.end()));
      out.resize(start);
      ReduceFlat(group);
      out.push_back(GroupToken(std::move(group)));
    } else {
      out.push_back(std::move(token));
    }
  }
  if (!opened.empty()) RaiseUnbalanced();
  ReduceFlat(out);
  return ValueOf(out);
}

}  // namespace

std::string EvaluateOperators(std::string_view expression, Literals literals) {
  return Reduce(expression, literals, true);
}

std::string EvaluateOperatorsByTokens(std::string_view expression, Literals literals) {
  return Reduce(expression, literals, false);
}

std::string ApplyOperator(std::string_view left, std::string_view op, std::string_view right) {
  const std::optional<Kind> kind = OperatorKindOf(op);
  if (!kind) return std::string(Unquote(left)) + std::string(op) + std::string(Unquote(right));
  return ApplyKind(*kind, Unquote(left), Unquote(right));
}

namespace {

std::string ApplyKind(Kind kind, std::string_view left, std::string_view right) {
  if (kind == Kind::kJoin) return std::string(left) + std::string(right);

  if (kind == Kind::kAdd || kind == Kind::kSubtract || kind == Kind::kMultiply) {
    // Non-numeric and empty operands alike count as 0.
    std::optional<Currency> a = Currency::FromText(left);
    std::optional<Currency> b = Currency::FromText(right);
    if (!a && !b) {
      if (const std::optional<std::pair<double, double>> days = DayValues(left, right)) {
        a = Currency::FromDouble(days->first);
        b = Currency::FromDouble(days->second);
      }
    }
    const Currency x = a.value_or(Currency());
    const Currency y = b.value_or(Currency());
    return (kind == Kind::kAdd ? x + y : kind == Kind::kSubtract ? x - y : x * y).ToText();
  }

  bool left_numeric = IsNumber(left);
  bool right_numeric = IsNumber(right);
  if (left.empty() && right_numeric) {
    left = "0";
    left_numeric = true;
  }
  if (right.empty() && left_numeric && kind != Kind::kPercent) {
    right = "0";
    right_numeric = true;
  }
  std::optional<std::pair<double, double>> days;
  if (!left_numeric && !right_numeric) days = DayValues(left, right);

  switch (kind) {
    case Kind::kDivide: {
      if (days)
        return DivideValues(Currency::FromDouble(days->first), Currency::FromDouble(days->second));
      if (!left_numeric || !right_numeric) return std::string(left) + "/" + std::string(right);
      return DivideValues(*Currency::FromText(left), *Currency::FromText(right));
    }
    case Kind::kPercent:
      if (!left_numeric) return std::string(left) + "%";
      return Currency::FromDouble(*ParseNumber(left) / 100).ToText();
    case Kind::kPower:
      if (days) return NumberToDecimalText(std::pow(days->first, days->second));
      if (!left_numeric || !right_numeric) return std::string(left) + "^" + std::string(right);
      return NumberToDecimalText(std::pow(*ParseNumber(left), *ParseNumber(right)));
    default:
      if (days) return Compare(kind, days->first, days->second);
      if (left_numeric && right_numeric) {
        return Compare(kind, *Currency::FromText(left), *Currency::FromText(right));
      }
      return Compare(kind, CompareTexts(left, right), 0);
  }
}

}  // namespace

bool ContainsOperator(std::string_view expression, std::string_view op, Literals literals) {
  if (op.empty() || op == ":") return false;
  for (std::size_t at = expression.find(op); at != std::string_view::npos;
       at = expression.find(op, at + 1)) {
    const auto first = static_cast<long>(at + 1) + literals.offset;
    const auto last = first + static_cast<long>(op.size()) - 1;
    const bool literal =
        std::any_of(literals.ranges.begin(), literals.ranges.end(),
                    [&](const LiteralRange& r) { return first <= r.end && r.start <= last; });
    if (!literal) return true;
  }
  return false;
}

std::optional<std::vector<std::string>> SplitArguments(std::string_view arguments,
                                                       Literals literals) {
  const std::vector<bool> mask = LiteralMask(arguments.size(), literals);
  std::vector<std::string> parts;
  std::size_t part_start = 0;
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (IsLiteral(mask, i)) continue;
    const char c = arguments[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth < 0) return std::nullopt;
    } else if (c == ',' && depth == 0) {
      parts.emplace_back(Trim(arguments.substr(part_start, i - part_start)));
      part_start = i + 1;
    }
  }
  if (quoted || depth != 0) return std::nullopt;
  parts.emplace_back(Trim(arguments.substr(part_start)));
  return parts;
}

std::array<std::string, 3> SplitIf(std::string_view arguments, Literals literals) {
  std::optional<std::vector<std::string>> parts = SplitArguments(arguments, literals);
  if (!parts || parts->size() != 3) RaiseBadIf();
  return {std::move((*parts)[0]), std::move((*parts)[1]), std::move((*parts)[2])};
}

std::string ParseIf(std::string_view arguments, int part, Literals literals) {
  if (part < 1 || part > 3) RaiseBadIf();
  return std::move(SplitIf(arguments, literals)[static_cast<std::size_t>(part - 1)]);
}

bool TruthOf(std::string_view value) {
  const std::string_view trimmed = Trim(value);
  if (EqualsIgnoreCase(trimmed, "TRUE")) return true;
  if (EqualsIgnoreCase(trimmed, "FALSE")) return false;
  if (std::optional<double> number = ParseNumber(trimmed)) return *number != 0;
  RaiseTypeMismatch();
}

std::optional<double> DateValue(std::string_view text) {
  text = Trim(text);
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  if ((text.size() != 10 && text.size() != 16 && text.size() != 19) ||
      !ReadFixedDigits(text, 0, 4, year) || text[4] != '-' || !ReadFixedDigits(text, 5, 2, month) ||
      text[7] != '-' || !ReadFixedDigits(text, 8, 2, day)) {
    return std::nullopt;
  }
  static constexpr std::array<unsigned, 12> kMonthDays = {31, 29, 31, 30, 31, 30,
                                                          31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] ||
      (month == 2 && day == 29 && !leap)) {
    return std::nullopt;
  }
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  if (text.size() > 10) {
    if (text[10] != ' ' || !ReadFixedDigits(text, 11, 2, hour) || text[13] != ':' ||
        !ReadFixedDigits(text, 14, 2, minute) ||
        (text.size() == 19 && (text[16] != ':' || !ReadFixedDigits(text, 17, 2, second))) ||
        hour > 23 || minute > 59 || second > 59) {
      return std::nullopt;
    }
  }
  // Day 0 is 1899-12-30, 25,569 days before 1970-01-01.
  const double days = static_cast<double>(DaysFromCivil(year, month, day) + 25569);
  return days + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

}  // namespace orvo
