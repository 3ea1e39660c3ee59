#include "companions/cell_key.h"

#include <limits>

#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr const char* kDigits = "0123456789";

}  // namespace

std::int32_t RowOfKey(std::string_view key) {
  if (key.empty()) return -1;
  std::size_t at = key.find_first_of(kDigits);
  if (at == std::string_view::npos) RaiseError("row not found", "Tallix");
  std::int64_t row = 0;
  for (; at < key.size() && key[at] >= '0' && key[at] <= '9'; ++at) {
    row = row * 10 + (key[at] - '0');
    if (row > std::numeric_limits<std::int32_t>::max()) RaiseOverflow();
  }
  return static_cast<std::int32_t>(row);
}

std::string ColumnOfKey(std::string_view key) {
  const std::size_t at = key.find_first_of(kDigits);
  if (at == std::string_view::npos) RaiseError("column not found", "Tallix");
  return UpperCase(key.substr(0, at));
}

}  // namespace orvo
