#include "evaluate/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "orvo/error.h"

namespace orvo {
namespace {

constexpr UInt128 kCoefficientLimit = static_cast<UInt128>(1) << 96;
// 2^96 has 29 digits; a 29-digit coefficient may still be below it.
constexpr int kMaxDigits = 29;

}  // namespace

Decimal Decimal::FromDouble(double value) {
  // Most quotients have their 15 significant digits within 28 decimal
  // places and below 10^15: the digits are then the coefficient as they
  // are, and nothing is rounded. Others (and NaN and infinities, which
  // raise) take the general conversion.
  constexpr int kDigitsAfterPoint = 14;
  if (std::isfinite(value) && value != 0) {
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                       std::chars_format::scientific, kDigitsAfterPoint);
    // "-d.dddddddddddddde+xx"
    const char* at = buffer;
    const bool negative = *at == '-';
    if (negative) ++at;
    std::uint64_t coefficient = static_cast<std::uint64_t>(*at++ - '0');
    ++at;  // the point
    for (int i = 0; i < kDigitsAfterPoint; ++i) {
      coefficient = coefficient * 10 + static_cast<std::uint64_t>(*at++ - '0');
    }
    ++at;  // the 'e'
    int exponent = 0;
    const bool negative_exponent = *at == '-';
    for (++at; at < written.ptr; ++at) exponent = exponent * 10 + (*at - '0');
    if (negative_exponent) exponent = -exponent;
    int scale = kDigitsAfterPoint - exponent;
    if (scale >= 0 && scale <= kMaxScale) {
      while (scale > 0 && coefficient % 10 == 0) {
        coefficient /= 10;
        --scale;
      }
      return Decimal(negative, coefficient, scale);
    }
  }
  return FromDigits(SplitNumber(value));
}

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
