#include "evaluate/decimal.h"

#include <algorithm>

#include "orvo/error.h"

namespace orvo {
namespace {

constexpr UInt128 kCoefficientLimit = static_cast<UInt128>(1) << 96;
// 2^96 has 29 digits; a 29-digit coefficient may still be below it.
constexpr int kMaxDigits = 29;

}  // namespace

Decimal Decimal::FromDouble(double value) { return FromDigits(SplitNumber(value)); }

Decimal Decimal::FromCurrency(Currency value) {
  const Int128 scaled = value.Scaled();
  const bool negative = scaled < 0;
  Decimal result(negative, static_cast<UInt128>(negative ? -scaled : scaled), 4);
  while (result.m_scale > 0 && result.m_coefficient % 10 == 0) {
    result.m_coefficient /= 10;
    --result.m_scale;
  }
  if (result.m_coefficient == 0) result.m_scale = 0;
  return result;
}

std::optional<Decimal> Decimal::FromText(std::string_view text) {
  std::optional<DecimalDigits> digits = SplitNumber(text);
  if (!digits) return std::nullopt;
  return FromDigits(*digits);
}

Decimal Decimal::FromDigits(const DecimalDigits& digits) {
  if (digits.digits.empty()) return Decimal();
  // As many places as the digits have, up to 28; fewer when the coefficient
  // would not fit. Each try rounds from the exact digits, so nothing is
  // rounded twice.
  std::int64_t places = std::clamp<std::int64_t>(-digits.exponent, 0, kMaxScale);
  for (;; --places) {
    const std::optional<UInt128> coefficient =
        RoundScaled(digits, static_cast<int>(places), kMaxDigits);
    if (coefficient && *coefficient < kCoefficientLimit) {
      UInt128 value = *coefficient;
      int scale = static_cast<int>(places);
      while (scale > 0 && value % 10 == 0) {  // a carry can leave trailing zeros
        value /= 10;
        --scale;
      }
      return Decimal(digits.negative, value, value == 0 ? 0 : scale);
    }
    if (places == 0) RaiseOverflow();
  }
}

std::string Decimal::ToText() const { return ScaledToText(m_negative, m_coefficient, m_scale); }

double Decimal::ToDouble() const {
  // Through the exact text, so the double is the one nearest the value.
  return *ParseNumber(ToText());
}

Decimal Decimal::Negated() const { return Decimal(!m_negative, m_coefficient, m_scale); }

}  // namespace orvo
