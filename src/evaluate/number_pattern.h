// Numbers shown through the patterns of the number formats ("0", "#,##0.00",
// ...), worked on the decimal digits of the value's text so that what is
// shown is exactly the text rounded, never a binary approximation of it.
#ifndef ORVO_EVALUATE_NUMBER_PATTERN_H_
#define ORVO_EVALUATE_NUMBER_PATTERN_H_

#include <optional>
#include <string>
#include <string_view>

namespace orvo {

// A number as sign, significant digits and a power of ten:
// value = (negative ? -1 : 1) * digits * 10^exponent.
struct DecimalDigits {
  bool negative = false;
  std::string digits;  // no leading or trailing zeros; empty for zero
  int exponent = 0;

  bool IsZero() const { return digits.empty(); }
};

// Reads decimal text: blanks around it, an optional sign, digits with an
// optional decimal point (at least one digit), an optional exponent ("E+05").
// Anything else, or a number beyond 10^400, gives nothing. Numbers below
// 10^-400 read as zero.
std::optional<DecimalDigits> ReadDecimalDigits(std::string_view text);

// Shape of a number pattern: "0" or "#,##0" followed by "." and `decimals`
// zeros when `decimals` > 0.
struct NumberPattern {
  int decimals = 0;
  bool grouping = false;
};

// The magnitude of `number` rounded half away from zero to the pattern's
// decimals: at least one integer digit, "," between groups of three integer
// digits when grouping. `rounds_to_zero` (when given) tells whether every
// digit shown is 0.
std::string FormatMagnitude(const DecimalDigits& number, NumberPattern pattern,
                            bool* rounds_to_zero = nullptr);

}  // namespace orvo

#endif  // ORVO_EVALUATE_NUMBER_PATTERN_H_
