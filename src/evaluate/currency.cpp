#include "evaluate/currency.h"

#include <limits>

#include "orvo/error.h"

namespace orvo {
namespace {

constexpr int kPlaces = 4;

Currency FromSigned(Int128 scaled) {
  if (scaled < std::numeric_limits<std::int64_t>::min() ||
      scaled > std::numeric_limits<std::int64_t>::max()) {
    RaiseOverflow();
  }
  return Currency::FromScaled(static_cast<std::int64_t>(scaled));
}

}  // namespace

Currency Currency::FromDouble(double value) { return FromDigits(SplitNumber(value)); }

std::optional<Currency> Currency::FromText(std::string_view text) {
  std::optional<DecimalDigits> digits = SplitNumber(text);
  if (!digits) return std::nullopt;
  return FromDigits(*digits);
}

Currency Currency::FromDigits(const DecimalDigits& digits) {
  // 20 digits hold every 64-bit magnitude; the range check is exact below.
  const std::optional<UInt128> magnitude = RoundScaled(digits, kPlaces, 20);
  if (!magnitude) RaiseOverflow();
  const Int128 signed_magnitude = static_cast<Int128>(*magnitude);
  return FromSigned(digits.negative ? -signed_magnitude : signed_magnitude);
}

double Currency::ToDouble() const {
  return static_cast<double>(m_scaled) / static_cast<double>(kScale);
}

std::string Currency::ToText() const {
  const bool negative = m_scaled < 0;
  // Through 128 bits so that the most negative value has a magnitude.
  const Int128 value = m_scaled;
  return ScaledToText(negative, static_cast<UInt128>(negative ? -value : value), kPlaces);
}

Currency operator+(Currency a, Currency b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a.m_scaled, b.m_scaled, &sum)) RaiseOverflow();
  return Currency(sum);
}

Currency operator-(Currency a, Currency b) {
  std::int64_t difference = 0;
  if (__builtin_sub_overflow(a.m_scaled, b.m_scaled, &difference)) RaiseOverflow();
  return Currency(difference);
}

Currency operator*(Currency a, Currency b) {
  // Both factors carry four places, the exact product eight: drop four,
  // rounding half to even. |product| < 2^126, so 128 bits hold it.
  const Int128 product = static_cast<Int128>(a.m_scaled) * b.m_scaled;
  Int128 quotient = product / Currency::kScale;
  const Int128 remainder = product % Currency::kScale;  // same sign as product
  const Int128 twice = remainder < 0 ? -2 * remainder : 2 * remainder;
  if (twice > Currency::kScale || (twice == Currency::kScale && quotient % 2 != 0)) {
    quotient += product < 0 ? -1 : 1;
  }
  return FromSigned(quotient);
}

}  // namespace orvo
