// Numbers as formula values: what text counts as a number, and the two forms
// a number is written in.
//
// Formula values travel as text, and almost every text a formula reads was
// written by this library, so reading and writing are exact inverses: any
// text written here reads back as the same value, and writing that value
// again gives the same text.
//
// What counts as numeric. After removing the spaces around it, the text is
//   an optional "+" or "-",
//   digits with at most one "." among or after them (at least one digit:
//     "5", "5.", ".5", "-0.25"),
//   an optional exponent: "E" or "e", an optional sign, at least one digit.
// Nothing else is a number: no thousands separators ("1,234"), currency
// signs ("$5"), brackets for negatives ("(5)"), percent signs, hexadecimal,
// "Infinity" or "NaN". A report designer who wants such a text read as a
// number writes the number plainly; a text that merely looks like a number
// to a person (a formatted display text) stays text. Reading is locale-free:
// the decimal point is always ".".
//
// The two written forms:
//   NumberToText        15 significant digits, exponent when the value is
//                       below 1E-05 or needs more than 15 integer digits
//                       ("0.3", "0.666666666666667", "1E+21", "1E-05").
//                       Used for results computed in double precision by
//                       functions (Sum, Avg, Max, ...).
//   NumberToDecimalText the 28-digit decimal form that operator results are
//                       written back in: never an exponent ("0.00001",
//                       "1000000000000000000000"), no trailing zeros after
//                       the point, no point for whole numbers.
// Neither ever writes "-0", "NaN" or "Infinity": negative zero is written
// "0", and NaN or an infinity raises the overflow failure (number 6), which
// the evaluator turns into the error value of the item.
#ifndef ORVO_EVALUATE_NUMBER_TEXT_H_
#define ORVO_EVALUATE_NUMBER_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvo {

// 128-bit integers for exact scaled arithmetic (a compiler extension of GCC
// and Clang; __extension__ keeps -Wpedantic quiet).
__extension__ typedef unsigned __int128 UInt128;
__extension__ typedef __int128 Int128;

// Whether the text is numeric by the rule above. Never fails.
bool IsNumber(std::string_view text);

// Where the run of digits with at most one point that starts at `start`
// ends (`start` itself when none does); `digit` tells whether it held a
// digit. The quick test for plain decimals ("1234.56").
std::size_t PlainDecimalEnd(std::string_view text, std::size_t start, bool& digit);

// The value of a numeric text, or nullopt when the text is not numeric.
// A numeric text beyond the range of a double (above about 1.8E+308) raises
// the overflow failure; one too small for a double reads as 0. Never
// returns negative zero.
std::optional<double> ParseNumber(std::string_view text);

// The standard 15-significant-digit text of a double (upper-case "E", at
// least two exponent digits). NaN and infinities raise the overflow failure.
std::string NumberToText(double value);
// Whether `text` is already what NumberToText writes for the value it
// reads as (NumberToText(*ParseNumber(text)) == text): a plain decimal of at
// most 15 significant digits without exponent, leading "+", spaces, "-0",
// superfluous zeros, or a value below 0.0001 in magnitude. Functions that
// hand on one of their argument values use it to skip the conversion.
bool IsNumberTextForm(std::string_view text);

// The write-back form of a double result: its 15 significant digits, as a
// 28-digit decimal (at most 28 decimal places, rounded half to even),
// without exponent. Magnitudes of 2^96 (about 7.9E+28) and more, NaN and
// infinities raise the overflow failure.
std::string NumberToDecimalText(double value);

// A numeric text taken apart exactly:
//   value = (negative ? -1 : 1) x digits x 10^exponent,
// with `digits` free of leading and trailing zeros (empty for zero, which is
// never negative). An exponent beyond about a billion is clamped; such a
// value is out of every range used here anyway.
struct DecimalDigits {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;
};

// The exact digits of a numeric text, or nullopt when it is not numeric.
std::optional<DecimalDigits> SplitNumber(std::string_view text);

// The digits of a double at its 15 significant digits (the same digits
// NumberToText writes). NaN and infinities raise the overflow failure.
DecimalDigits SplitNumber(double value);

// round(|value| x 10^scale), half to even, as an unsigned integer, or nullopt
// when the result would have more than `max_digits` digits (at most 38).
std::optional<UInt128> RoundScaled(const DecimalDigits& value, int scale, int max_digits);

// The decimal text of `magnitude` x 10^-scale with the sign: no exponent, no
// trailing zeros after the point, "0" for zero (never "-0").
std::string ScaledToText(bool negative, UInt128 magnitude, int scale);

}  // namespace orvo

#endif  // ORVO_EVALUATE_NUMBER_TEXT_H_
