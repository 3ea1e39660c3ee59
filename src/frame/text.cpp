#include "frame/text.h"

#include <cctype>

namespace orvo {
namespace {

constexpr unsigned char kLatin1Lead = 0xC3;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The second byte of a two-byte sequence led by kLatin1Lead: U+00E0..U+00FE
// (but U+00F7, the division sign) map 0x20 lower.
unsigned char UpperLatin1Tail(unsigned char c) {
  return c >= 0xA0 && c <= 0xBE && c != 0xB7 ? static_cast<unsigned char>(c - 0x20) : c;
}

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out(text);
  MakeUpperCase(out);
  return out;
}

void MakeUpperCase(std::string& out) {
  // Keys are mostly ASCII: without a byte beyond it, one branch-free pass
  // (which the compiler vectorises) maps the letters.
  unsigned char beyond_ascii = 0;
  for (const char c : out) beyond_ascii |= static_cast<unsigned char>(c);
  if (beyond_ascii < 0x80) {
    for (char& c : out) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
    return;
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c == kLatin1Lead && i + 1 < out.size()) {
      ++i;
      out[i] = static_cast<char>(UpperLatin1Tail(static_cast<unsigned char>(out[i])));
    } else {
      out[i] = static_cast<char>(UpperAscii(c));
    }
  }
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  // UpperCase applied to both, byte by byte, without building either copy.
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x == kLatin1Lead || y == kLatin1Lead) {
      // A lead byte stays as it is, so both must have one here; the bytes
      // after it are compared under the Latin-1 rule.
      if (x != y) return false;
      if (++i == a.size()) return true;
      if (UpperLatin1Tail(static_cast<unsigned char>(a[i])) !=
          UpperLatin1Tail(static_cast<unsigned char>(b[i]))) {
        return false;
      }
      continue;
    }
    if (UpperAscii(x) != UpperAscii(y)) return false;
  }
  return true;
}

std::string_view TrimLeft(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  std::size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

bool IsNumeric(std::string_view text) {
  text = Trim(text);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == text.size();
}

std::size_t InStr(std::size_t start, std::string_view text, std::string_view what) {
  if (start == 0) start = 1;
  if (start > text.size() + 1) return 0;
  std::size_t found = text.find(what, start - 1);
  return found == std::string_view::npos ? 0 : found + 1;
}

}  // namespace orvo
