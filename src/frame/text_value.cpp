#include "frame/text_value.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {

std::int32_t TextToLong(std::string_view text) {
  std::string_view number = Trim(text);
  bool negative = false;
  if (!number.empty() && (number.front() == '-' || number.front() == '+')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t integral_end = 0;
  while (integral_end < number.size() && is_digit(number[integral_end])) ++integral_end;
  std::size_t end = integral_end;
  if (end < number.size() && number[end] == '.') {
    ++end;
    while (end < number.size() && is_digit(number[end])) ++end;
  }
  if (end != number.size() || number.empty() || number == ".") RaiseTypeMismatch();

  double value = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (parsed.ec != std::errc()) RaiseOverflow();
  value = std::nearbyint(negative ? -value : value);  // default rounding: half to even
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    RaiseOverflow();
  }
  return static_cast<std::int32_t>(value);
}

bool TextToBoolean(std::string_view text) {
  const std::string word = UpperCase(Trim(text));
  if (word == "TRUE") return true;
  if (word == "FALSE") return false;
  return TextToLong(text) != 0;
}

std::string LongToText(std::int64_t value) { return std::to_string(value); }

std::int32_t AddLong(std::int32_t a, std::int32_t b) {
  std::int32_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) RaiseOverflow();
  return sum;
}

}  // namespace orvo
