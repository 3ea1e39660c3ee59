// Checked arithmetic for the 16-bit integers of rows, columns, formula
// positions and status values: a result outside -32768..32767 raises the
// overflow failure instead of wrapping.
#ifndef ORVO_FRAME_INT16_H_
#define ORVO_FRAME_INT16_H_

#include <cstdint>

#include "orvo/error.h"

namespace orvo {

using Int16 = std::int16_t;

constexpr Int16 ToInt16(std::int64_t value) {
  if (value < INT16_MIN || value > INT16_MAX) RaiseOverflow();
  return static_cast<Int16>(value);
}

constexpr Int16 Add16(std::int64_t a, std::int64_t b) { return ToInt16(a + b); }
constexpr Int16 Sub16(std::int64_t a, std::int64_t b) { return ToInt16(a - b); }
constexpr Int16 Mul16(std::int64_t a, std::int64_t b) { return ToInt16(a * b); }

// Converts a length or index held in a size_t (for example a position in a text).
constexpr Int16 SizeToInt16(std::size_t value) {
  if (value > static_cast<std::size_t>(INT16_MAX)) RaiseOverflow();
  return static_cast<Int16>(value);
}

}  // namespace orvo

#endif  // ORVO_FRAME_INT16_H_
