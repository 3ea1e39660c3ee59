#include "evaluate/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "evaluate/decimal.h"
#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr std::int64_t kExponentClamp = 1'000'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The numeric grammar, on text already trimmed. On success fills the parts
// it found: sign, the digits around the point and the exponent text.
struct NumberParts {
  bool negative = false;
  std::string_view integral;
  std::string_view fraction;
  std::string_view exponent;  // sign and digits, empty when absent
};

std::optional<NumberParts> ReadParts(std::string_view text) {
  NumberParts parts;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    parts.negative = text[i] == '-';
    ++i;
  }
  const std::size_t integral_start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  parts.integral = text.substr(integral_start, i - integral_start);
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction_start = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    parts.fraction = text.substr(fraction_start, i - fraction_start);
  }
  if (parts.integral.empty() && parts.fraction.empty()) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    const std::size_t exponent_start = ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digits_start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == digits_start) return std::nullopt;
    parts.exponent = text.substr(exponent_start, i - exponent_start);
  }
  if (i != text.size()) return std::nullopt;
  return parts;
}

// The exponent text as a number, clamped so that later sums cannot overflow.
std::int64_t ReadExponent(std::string_view text) {
  if (text.empty()) return 0;
  const bool negative = text.front() == '-';
  if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
  std::int64_t value = 0;
  for (char c : text) {
    value = value * 10 + (c - '0');
    if (value > kExponentClamp) {
      value = kExponentClamp;
      break;
    }
  }
  return negative ? -value : value;
}

DecimalDigits DigitsOf(const NumberParts& parts) {
  DecimalDigits result;
  result.digits.reserve(parts.integral.size() + parts.fraction.size());
  result.digits.append(parts.integral).append(parts.fraction);
  result.exponent = ReadExponent(parts.exponent) - static_cast<std::int64_t>(parts.fraction.size());
  const std::size_t first = result.digits.find_first_not_of('0');
  if (first == std::string::npos) {
    result.digits.clear();
    result.exponent = 0;
    return result;
  }
  result.digits.erase(0, first);
  const std::size_t last = result.digits.find_last_not_of('0');
  result.exponent += static_cast<std::int64_t>(result.digits.size() - 1 - last);
  result.digits.resize(last + 1);
  result.negative = parts.negative;
  return result;
}

void RequireFinite(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
}

}  // namespace

std::size_t PlainDecimalEnd(std::string_view text, std::size_t start, bool& digit) {
  digit = false;
  bool point = false;
  std::size_t i = start;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  return i;
}

bool IsNumber(std::string_view text) {
  // Plain decimals ("-1234.56"), most values, are told at a glance.
  const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  bool digit = false;
  if (PlainDecimalEnd(text, sign, digit) == text.size() && digit) return true;
  return ReadParts(Trim(text)).has_value();
}

namespace {

// A short plain decimal ("-1234.56", at most 15 digits, no exponent): the
// digits make an integer that a double holds exactly, and dividing it by an
// exact power of ten rounds once, to the double nearest the text, as
// from_chars reads it. nullopt for any other text.
std::optional<double> ShortDecimal(std::string_view text) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int decimals = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (++digits > 15) return std::nullopt;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      decimals += point ? 1 : 0;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  const double value = static_cast<double>(mantissa) / kPowers[decimals];
  return negative ? -value + 0.0 : value;  // negative zero reads as zero
}

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  if (const std::optional<double> value = ShortDecimal(trimmed)) return value;
  const std::optional<NumberParts> parts = ReadParts(trimmed);
  if (!parts) return std::nullopt;
  // from_chars takes no leading "+".
  std::string_view number = trimmed;
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: the position of the leading
    // digit tells which.
    const DecimalDigits digits = DigitsOf(*parts);
    const std::int64_t magnitude =
        digits.exponent + static_cast<std::int64_t>(digits.digits.size());
    if (digits.digits.empty() || magnitude < 0) return 0.0;
    RaiseOverflow();
  }
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value + 0.0;  // negative zero reads as zero
}

std::string NumberToText(double value) {
  RequireFinite(value);
  if (value == 0) return "0";
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

bool IsNumberTextForm(std::string_view text) {
  constexpr std::size_t kDigits = 15;
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view body = text.substr(negative ? 1 : 0);
  if (body == "0") return !negative;
  const std::size_t point = body.find('.');
  const std::string_view integral = body.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : body.substr(point + 1);
  if (integral.empty() || (point != std::string_view::npos && fraction.empty())) return false;
  const auto digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(integral) || !digits(fraction)) return false;
  if (!fraction.empty() && fraction.back() == '0') return false;
  if (integral != "0") {
    // No leading zero, and the leading digit below the exponent form.
    return integral.front() != '0' && integral.size() + fraction.size() <= kDigits;
  }
  // A fraction alone: from 0.0001 on, written without exponent.
  const std::size_t zeros = fraction.find_first_not_of('0');
  return zeros != std::string_view::npos && zeros <= 3 && fraction.size() - zeros <= kDigits;
}

std::string NumberToDecimalText(double value) { return Decimal::FromDouble(value).ToText(); }

std::optional<DecimalDigits> SplitNumber(std::string_view text) {
  const std::optional<NumberParts> parts = ReadParts(Trim(text));
  if (!parts) return std::nullopt;
  return DigitsOf(*parts);
}

DecimalDigits SplitNumber(double value) {
  RequireFinite(value);
  if (value == 0) return DecimalDigits{};
  // "d.dddddddddddddde+xx": exactly 15 significant digits, correctly rounded.
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  return *SplitNumber(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

std::optional<UInt128> RoundScaled(const DecimalDigits& value, int scale, int max_digits) {
  const std::string& digits = value.digits;
  const auto count = static_cast<std::int64_t>(digits.size());
  const std::int64_t shift = value.exponent + scale;
  const auto accumulate = [](std::string_view part) {
    UInt128 number = 0;
    for (char c : part) number = number * 10 + static_cast<unsigned>(c - '0');
    return number;
  };
  if (digits.empty()) return UInt128{0};
  if (shift >= 0) {
    if (count + shift > max_digits) return std::nullopt;
    UInt128 number = accumulate(digits);
    for (std::int64_t i = 0; i < shift; ++i) number *= 10;
    return number;
  }
  const std::int64_t kept = count + shift;  // digits left of the rounding point
  if (kept < 0) return UInt128{0};          // below half a unit: the rounding digit is a 0
  if (kept > max_digits) return std::nullopt;
  UInt128 number = accumulate(std::string_view(digits).substr(0, static_cast<std::size_t>(kept)));
  const char rounding_digit = digits[static_cast<std::size_t>(kept)];
  // Digits carry no trailing zeros, so any digit after the rounding one is
  // non-zero.
  const bool more = kept + 1 < count;
  if (rounding_digit > '5' || (rounding_digit == '5' && (more || number % 2 == 1))) ++number;
  // A carry can add a digit (9.99 -> 10.0).
  if (kept == max_digits) {
    UInt128 limit = 1;
    for (int i = 0; i < max_digits; ++i) limit *= 10;
    if (number >= limit) return std::nullopt;
  }
  return number;
}

std::string ScaledToText(bool negative, UInt128 magnitude, int scale) {
  if (magnitude == 0) return "0";
  // The digits least significant first, in a buffer of the stack: 39 for
  // any 128-bit magnitude, and zeros up to the point for small scales.
  constexpr int kMaxDigits = 39;
  if (scale < 0 || scale > kMaxDigits) {
    // (No caller writes such scales; kept exact all the same.)
    std::string digits;
    for (; magnitude != 0; magnitude /= 10) {
      digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    }
    std::size_t zeros = 0;
    while (static_cast<int>(zeros) < scale && digits[zeros] == '0') ++zeros;
    digits.erase(0, zeros);
    scale -= static_cast<int>(zeros);
    while (static_cast<int>(digits.size()) <= scale) digits.push_back('0');
    std::string text;
    if (negative) text.push_back('-');
    for (std::size_t i = digits.size(); i-- > 0;) {
      text.push_back(digits[i]);
      if (i == static_cast<std::size_t>(scale) && scale > 0) text.push_back('.');
    }
    return text;
  }
  char digits[kMaxDigits + 2];
  int count = 0;
  // 128-bit division is a library call; most values fit 64 bits.
  for (; magnitude > UINT64_MAX; magnitude /= 10) {
    digits[count++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
  }
  for (auto small = static_cast<std::uint64_t>(magnitude); small != 0; small /= 10) {
    digits[count++] = static_cast<char>('0' + static_cast<int>(small % 10));
  }
  // Drop zeros after the point; a fraction gets its "0" before the point.
  int first = 0;
  while (first < scale && digits[first] == '0') ++first;
  scale -= first;
  while (count - first <= scale) digits[count++] = '0';
  char text[kMaxDigits + 3];
  char* out = text;
  if (negative) *out++ = '-';
  for (int i = count; i-- > first;) {
    *out++ = digits[i];
    if (i - first == scale && scale > 0) *out++ = '.';
  }
  return std::string(text, out);
}

}  // namespace orvo
