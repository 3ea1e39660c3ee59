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

// Splits a plain cell key, one or more letters A-Z in either case followed
// by one or more digits ("B12", "aa7"), into its letters and its digits;
// false for any other text. (Inline: cell references are read in hot loops.)
inline bool SplitPlainCellKey(std::string_view key, std::string_view& letters,
                              std::string_view& digits) {
  std::size_t i = 0;
  while (i < key.size() && ((key[i] >= 'A' && key[i] <= 'Z') || (key[i] >= 'a' && key[i] <= 'z'))) {
    ++i;
  }
  if (i == 0 || i == key.size()) return false;
  for (std::size_t d = i; d < key.size(); ++d) {
    if (key[d] < '0' || key[d] > '9') return false;
  }
  letters = key.substr(0, i);
  digits = key.substr(i);
  return true;
}

}  // namespace orvo

#endif  // ORVO_FRAME_COLUMN_LETTERS_H_
