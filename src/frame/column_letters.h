// The letter names of report columns: A = 1 ... Z = 26, AA = 27 ... ZZZ =
// 18278. Shared by the parser's cell-reference test and the format provider,
// so a cell reference and a format item name a column the same way.
#ifndef ORVO_FRAME_COLUMN_LETTERS_H_
#define ORVO_FRAME_COLUMN_LETTERS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orvo {

inline constexpr std::int16_t kLastLetterColumn = 18278;  // "ZZZ"

// The column number of one to three letters A-Z in either case; -1 for any
// other text.
std::int16_t LetterColumnNumber(std::string_view letters);

// The upper-case letters of a column from 1 to kLastLetterColumn; "" for any
// other number.
std::string ColumnLetters(std::int32_t column);

}  // namespace orvo

#endif  // ORVO_FRAME_COLUMN_LETTERS_H_
