// Interim number texts (see interim_numbers.h).
#include "evaluate/interim_numbers.h"

#include <charconv>
#include <cmath>

#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {

bool IsNumber(std::string_view text) { return IsNumeric(text); }

std::optional<double> ParseNumber(std::string_view text) {
  if (!IsNumeric(text)) return std::nullopt;
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (std::abs(value) > 1) RaiseOverflow();
    value = 0;
  }
  return value == 0 ? 0.0 : value;
}

std::string NumberToText(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  if (value == 0) return "0";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

}  // namespace orvo
