// Conversions between the text that values travel as in XML attributes and
// the 32-bit numbers and Booleans computed with, and the run-time failures
// of such conversions.
#ifndef ORVO_FRAME_TEXT_VALUE_H_
#define ORVO_FRAME_TEXT_VALUE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/error.h"

namespace orvo {

// A 32-bit integer from decimal text: surrounding spaces and a sign are
// allowed, a fraction is rounded half to even. Text that is not a number
// raises the type mismatch, a value outside 32 bits the overflow failure.
std::int32_t TextToLong(std::string_view text);
// Boolean text: "-1"/"0" (any number: true unless 0), or "True"/"False" in
// any case. Anything else raises the type mismatch.
bool TextToBoolean(std::string_view text);

std::string LongToText(std::int64_t value);

// 32-bit addition raising the overflow failure instead of wrapping.
std::int32_t AddLong(std::int32_t a, std::int32_t b);

}  // namespace orvo

#endif  // ORVO_FRAME_TEXT_VALUE_H_
