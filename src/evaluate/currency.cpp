#include "evaluate/currency.h"

#include <limits>

#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr int kPlaces = 4;
constexpr std::size_t kPlainPlaces = 4;

Currency FromSigned(Int128 scaled) {
  if (scaled < std::numeric_limits<std::int64_t>::min() ||
      scaled > std::numeric_limits<std::int64_t>::max()) {
    RaiseOverflow();
  }
  return Currency::FromScaled(static_cast<std::int64_t>(scaled));
}

// The common case read directly: an optional sign, at most 14 integral
// digits, at most four decimals, no exponent. Anything else is left to the
// exact general reading.
std::optional<Currency> FromPlainText(std::string_view text) {
  text = Trim(text);
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  std::int64_t scaled = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (digits == 14) return std::nullopt;  // before the value could overflow
    scaled = scaled * 10 + (text[i] - '0');
  }
  std::size_t places = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && places < kPlainPlaces;
         ++i, ++places) {
      scaled = scaled * 10 + (text[i] - '0');
    }
  }
  if (i != text.size() || digits + places == 0) return std::nullopt;
  for (; places < kPlainPlaces; ++places) scaled *= 10;
  return Currency::FromScaled(negative ? -scaled : scaled);
}

}  // namespace

Currency Currency::FromDouble(double value) { return FromDigits(SplitNumber(value)); }

std::optional<Currency> Currency::FromText(std::string_view text) {
  if (std::optional<Currency> plain = FromPlainText(text)) return plain;
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
  // Written backwards into a buffer: four places, then the integral digits.
  const bool negative = m_scaled < 0;
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(m_scaled) : static_cast<std::uint64_t>(m_scaled);
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* first = end;
  std::uint64_t fraction = magnitude % kScale;
  magnitude /= kScale;
  if (fraction != 0) {
    int places = kPlaces;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --places;
    }
    for (; places > 0; --places, fraction /= 10) *--first = static_cast<char>('0' + fraction % 10);
    *--first = '.';
  }
  do {
    *--first = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--first = '-';
  return std::string(first, end);
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
