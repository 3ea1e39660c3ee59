// The two parts of a cell key: column letters followed by row digits (B12).
#ifndef ORVO_COMPANIONS_CELL_KEY_H_
#define ORVO_COMPANIONS_CELL_KEY_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orvo {

// The number formed by the digits from the key's first digit on (digits only:
// "B12" is 12); -1 for an empty key. A key with no digit raises
// "row not found"/"Tallix"; a row beyond 32 bits the overflow failure.
std::int32_t RowOfKey(std::string_view key);

// The upper-cased text before the key's first digit ("b12" gives "B"). A key
// with no digit raises "column not found"/"Tallix".
std::string ColumnOfKey(std::string_view key);

}  // namespace orvo

#endif  // ORVO_COMPANIONS_CELL_KEY_H_
