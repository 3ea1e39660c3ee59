#include "evaluate/number_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orvo {
namespace {

// Beyond these powers of ten a text is not a number anyone formats: larger
// ones cannot be doubles and would spell out hundreds of digits.
constexpr int kLargestPower = 400;
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

std::optional<DecimalDigits> ReadDisplayNumber(std::string_view text) {
  std::optional<DecimalDigits> number = SplitNumber(text);
  if (!number || number->digits.empty()) return number;
  const std::int64_t magnitude =
      static_cast<std::int64_t>(number->digits.size()) + number->exponent;
  if (magnitude > kLargestPower) return std::nullopt;
  if (magnitude < -kLargestPower) return DecimalDigits{};
  return number;
}

std::string FormatMagnitude(const DecimalDigits& number, NumberPattern pattern,
                            bool* rounds_to_zero) {
  const int decimals = std::max(pattern.decimals, 0);
  // The value times 10^decimals, rounded to a whole number of digits.
  std::string scaled;
  const std::int64_t shift = number.exponent + decimals;
  if (number.digits.empty()) {
    scaled = "0";
  } else if (shift >= 0) {
    scaled = number.digits;
    scaled.append(static_cast<std::size_t>(shift), '0');
  } else {
    const std::int64_t kept = static_cast<std::int64_t>(number.digits.size()) + shift;
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
