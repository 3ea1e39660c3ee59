// Decimal: the 28-digit decimal type that operator results are written back
// through.
//
// A value is a sign, a coefficient below 2^96 (79,228,162,514,264,337,593,
// 543,950,336: 28 significant digits always, 29 for most) and a scale of 0
// to 28 decimal places. Conversions into it round half to even at the 28th
// decimal place; a value whose integral part does not fit raises the
// overflow failure. The value type is small and immutable; it is only ever
// made from a number and turned into text, so it has no arithmetic of its
// own beyond negation.
#ifndef ORVO_EVALUATE_DECIMAL_H_
#define ORVO_EVALUATE_DECIMAL_H_

#include <optional>
#include <string>
#include <string_view>

#include "evaluate/currency.h"
#include "evaluate/number_text.h"

namespace orvo {

class Decimal {
 public:
  static constexpr int kMaxScale = 28;

  // Zero.
  constexpr Decimal() = default;

  // A double at its 15 significant digits (the digits NumberToText writes:
  // 2/3 becomes 0.666666666666667, not the 17 digits of the binary value).
  // NaN, infinities and magnitudes from 2^96 on raise the overflow failure.
  static Decimal FromDouble(double value);

  // A currency value, exactly.
  static Decimal FromCurrency(Currency value);

  // A numeric text (IsNumber), exactly as far as 28 decimal places and the
  // coefficient allow, rounded half to even beyond; nullopt when the text is
  // not numeric. An integral part from 2^96 on raises the overflow failure.
  static std::optional<Decimal> FromText(std::string_view text);

  // Exact digits, rounded as FromText.
  static Decimal FromDigits(const DecimalDigits& digits);

  // The write-back text: no exponent, no trailing zeros after the point, no
  // point for a whole number, "0" for zero (never "-0").
  std::string ToText() const;

  // The nearest double.
  double ToDouble() const;

  Decimal Negated() const;
  bool IsZero() const { return m_coefficient == 0; }
  bool IsNegative() const { return m_negative; }
  int Scale() const { return m_scale; }
  // Values are kept without trailing zeros, so equal values compare equal.
  friend bool operator==(const Decimal&, const Decimal&) = default;

 private:
  constexpr Decimal(bool negative, UInt128 coefficient, int scale)
      : m_negative(negative && coefficient != 0), m_coefficient(coefficient), m_scale(scale) {}

  bool m_negative = false;
  UInt128 m_coefficient = 0;
  int m_scale = 0;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_DECIMAL_H_
