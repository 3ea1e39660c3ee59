// Text rules of the formula language and of looked-up keys.
//
// Texts are UTF-8. Positions in formula texts count bytes, which equal
// characters for the ASCII of formulas; upper-casing maps ASCII and the
// Latin-1 letters (two bytes either way), so it never moves a position.
#ifndef ORVO_FRAME_TEXT_H_
#define ORVO_FRAME_TEXT_H_

#include <string>
#include <string_view>

namespace orvo {

// Upper case of ASCII and Latin-1 letters; other text unchanged, same length.
std::string UpperCase(std::string_view text);
// UpperCase in place, for callers that build keys in a buffer.
void MakeUpperCase(std::string& text);

// Case-insensitive equality under UpperCase.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Removes leading and trailing spaces (only the space character).
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);

// Whether the text (spaces around it allowed) reads as a number: an optional
// sign, digits with an optional decimal point, an optional exponent.
bool IsNumeric(std::string_view text);

// One-based position of `what` in `text` at or after one-based `start`
// (case-sensitive), or 0 when absent.
std::size_t InStr(std::size_t start, std::string_view text, std::string_view what);

}  // namespace orvo

#endif  // ORVO_FRAME_TEXT_H_
