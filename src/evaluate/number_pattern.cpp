#include "evaluate/number_pattern.h"

#include <algorithm>
#include <cstddef>

#include "frame/text.h"

namespace orvo {
namespace {

// Beyond these powers of ten a text is not a number anyone formats: larger
// ones cannot be doubles and would spell out hundreds of digits.
constexpr int kLargestPower = 400;
constexpr long kExponentCap = 100000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Adds one to a string of decimal digits; "999" becomes "1000".
void Increment(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::optional<DecimalDigits> ReadDecimalDigits(std::string_view text) {
  text = Trim(text);
  DecimalDigits number;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
  std::size_t digit_count = 0;
  long exponent = 0;
  bool after_point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      ++digit_count;
      if (after_point) --exponent;
      if (!number.digits.empty() || c != '0') number.digits.push_back(c);
    } else if (c == '.' && !after_point) {
      after_point = true;
    } else {
      break;
    }
  }
  if (digit_count == 0) return std::nullopt;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    ++i;
    bool negative_power = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative_power = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long power = 0;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
      power = std::min(power * 10 + (text[i] - '0'), kExponentCap);
    }
    exponent += negative_power ? -power : power;
  }
  // Trailing zeros move into the exponent.
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++exponent;
  }
  if (number.digits.empty()) {
    number.negative = false;
    return number;
  }
  const long magnitude = static_cast<long>(number.digits.size()) + exponent;
  if (magnitude > kLargestPower) return std::nullopt;
  if (magnitude < -kLargestPower) return DecimalDigits{};
  number.exponent = static_cast<int>(exponent);
  return number;
}

std::string FormatMagnitude(const DecimalDigits& number, NumberPattern pattern,
                            bool* rounds_to_zero) {
  const int decimals = std::max(pattern.decimals, 0);
  // The value times 10^decimals, rounded to a whole number of digits.
  std::string scaled;
  const long shift = static_cast<long>(number.exponent) + decimals;
  if (number.IsZero()) {
    scaled = "0";
  } else if (shift >= 0) {
    scaled = number.digits;
    scaled.append(static_cast<std::size_t>(shift), '0');
  } else {
    const long kept = static_cast<long>(number.digits.size()) + shift;
    if (kept >= 0) {
      scaled = number.digits.substr(0, static_cast<std::size_t>(kept));
      if (number.digits[static_cast<std::size_t>(kept)] >= '5') Increment(scaled);
    }
    if (scaled.empty()) scaled = "0";
  }
  if (rounds_to_zero) *rounds_to_zero = scaled.find_first_not_of('0') == std::string::npos;

  const std::size_t fraction_size = static_cast<std::size_t>(decimals);
  if (scaled.size() <= fraction_size) scaled.insert(0, fraction_size + 1 - scaled.size(), '0');
  std::string_view integral(scaled.data(), scaled.size() - fraction_size);
  integral.remove_prefix(std::min(integral.find_first_not_of('0'), integral.size() - 1));

  std::string out;
  out.reserve(integral.size() + integral.size() / 3 + fraction_size + 1);
  for (std::size_t i = 0; i < integral.size(); ++i) {
    if (pattern.grouping && i > 0 && (integral.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(integral[i]);
  }
  if (fraction_size > 0) {
    out.push_back('.');
    out.append(scaled, scaled.size() - fraction_size, fraction_size);
  }
  return out;
}

}  // namespace orvo
