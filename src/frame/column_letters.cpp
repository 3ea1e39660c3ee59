#include "frame/column_letters.h"

namespace orvo {

static_assert(26 * 26 * 26 + 26 * 26 + 26 == kLastLetterColumn);

std::int16_t LetterColumnNumber(std::string_view letters) {
  // Three letters reach at most kLastLetterColumn, well inside 16 bits.
  if (letters.empty() || letters.size() > 3) return -1;
  std::int16_t number = 0;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return -1;
    number = static_cast<std::int16_t>(number * 26 + (c - 'A' + 1));
  }
  return number;
}

std::string ColumnLetters(std::int32_t column) {
  if (column < 1 || column > kLastLetterColumn) return "";
  std::string letters;
  for (std::int32_t rest = column; rest > 0; rest = (rest - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (rest - 1) % 26));
  }
  return letters;
}

}  // namespace orvo
