// Currency: the four-decimal fixed-point type that sums, differences and
// products of formula values are computed in.
//
// A value is a 64-bit integer counting ten-thousandths, so its range is
// -922,337,203,685,477.5808 to 922,337,203,685,477.5807. Every conversion
// into it rounds half to even at the fourth decimal place (0.00005 -> 0,
// 0.00015 -> 0.0002, -2.50005 -> -2.5); sums and differences are exact;
// products are exact before their own rounding to four places, also half
// to even. A result outside the range raises the overflow failure
// (orvo::Error number 6); nothing wraps.
#ifndef ORVO_EVALUATE_CURRENCY_H_
#define ORVO_EVALUATE_CURRENCY_H_

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "evaluate/number_text.h"

namespace orvo {

class Currency {
 public:
  static constexpr std::int64_t kScale = 10'000;

  // Zero.
  constexpr Currency() = default;

  // The value `scaled` ten-thousandths.
  static constexpr Currency FromScaled(std::int64_t scaled) { return Currency(scaled); }

  // A double at its 15 significant digits (the digits NumberToText writes),
  // rounded half to even to four places, so a double and the text written
  // for it convert alike. NaN and infinities raise the overflow failure.
  static Currency FromDouble(double value);

  // A numeric text (IsNumber), exactly, rounded half to even to four places;
  // nullopt when the text is not numeric.
  static std::optional<Currency> FromText(std::string_view text);

  // Exact digits, rounded as FromText.
  static Currency FromDigits(const DecimalDigits& digits);

  std::int64_t Scaled() const { return m_scaled; }
  // The value divided by 10,000 in double precision.
  double ToDouble() const;
  // The exact decimal text, in the write-back form of NumberToDecimalText
  // ("1.5", "-0.0001", "0"; no exponent, never "-0").
  std::string ToText() const;
  bool IsZero() const { return m_scaled == 0; }

  friend Currency operator+(Currency a, Currency b);
  friend Currency operator-(Currency a, Currency b);
  friend Currency operator*(Currency a, Currency b);
  friend constexpr auto operator<=>(Currency, Currency) = default;

 private:
  constexpr explicit Currency(std::int64_t scaled) : m_scaled(scaled) {}

  std::int64_t m_scaled = 0;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_CURRENCY_H_
