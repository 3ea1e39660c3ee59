// Numbers shown through the patterns of the number formats ("0", "#,##0.00",
// ...), worked on the decimal digits of the value's text so that what is
// shown is exactly the text rounded, never a binary approximation of it.
#ifndef ORVO_EVALUATE_NUMBER_PATTERN_H_
#define ORVO_EVALUATE_NUMBER_PATTERN_H_

#include <optional>
#include <string>
#include <string_view>

#include "evaluate/number_text.h"

namespace orvo {

// The digits of a numeric text (number_text.h) when it is a number a format
// can show: magnitudes from 10^400 up come back as nothing (they would
// spell out hundreds of digits and no double holds them), magnitudes below
// 10^-400 as zero.
std::optional<DecimalDigits> ReadDisplayNumber(std::string_view text);

// Shape of a number pattern: "0" or "#,##0" followed by "." and `decimals`
// zeros when `decimals` > 0.
struct NumberPattern {
  int decimals = 0;
  bool grouping = false;
};

// The magnitude of `number` rounded half away from zero to the pattern's
// decimals: at least one integer digit, "," between groups of three integer
// digits when grouping. `rounds_to_zero` (when given) tells whether every
// digit shown is 0. `number` must come from ReadDisplayNumber.
std::string FormatMagnitude(const DecimalDigits& number, NumberPattern pattern,
                            bool* rounds_to_zero = nullptr);

}  // namespace orvo

#endif  // ORVO_EVALUATE_NUMBER_PATTERN_H_
