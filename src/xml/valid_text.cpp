#include "xml/valid_text.h"

#include <cstdint>
#include <cstring>

namespace orvo::xml::detail {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct Scan {
  std::size_t length;  // bytes the character (or the faulty sequence) takes
  bool valid;
};

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// Reads the character at `at`. A faulty sequence takes its maximal subpart
// (the longest start of a well-formed sequence, at least one byte), so that
// a cut-off character becomes one U+FFFD, as Unicode recommends.
Scan ScanAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    bool allowed = lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r';
    return {1, allowed};
  }
  std::size_t needed = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (InRange(lead, 0xC2, 0xDF)) {
    needed = 1;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    needed = 2;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (InRange(lead, 0xF0, 0xF4)) {
    needed = 3;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {1, false};
  }
  std::size_t length = 1;
  for (; length <= needed; ++length) {
    if (at + length >= text.size()) return {length, false};
    const auto byte = static_cast<unsigned char>(text[at + length]);
    if (!InRange(byte, length == 1 ? low : 0x80, length == 1 ? high : 0xBF)) {
      return {length, false};
    }
  }
  // U+FFFE and U+FFFF are well-formed UTF-8 but no XML characters.
  if (lead == 0xEF && static_cast<unsigned char>(text[at + 1]) == 0xBF &&
      static_cast<unsigned char>(text[at + 2]) >= 0xBE) {
    return {length, false};
  }
  return {length, true};
}

}  // namespace

std::size_t ValidPrefixLength(std::string_view text) noexcept {
  std::size_t at = 0;
  // Eight bytes at a time while all are printable ASCII: none with the high
  // bit set, none below 0x20 (subtracting 0x20 from each byte then borrows
  // into its high bit).
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
  while (text.size() - at >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    if (((word | (word - kSpaces)) & kHigh) != 0) break;
    at += 8;
  }
  while (at < text.size()) {
    // Printable ASCII, the bulk of every text, needs no decoding.
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x20 && byte < 0x80) {
      ++at;
      continue;
    }
    Scan scan = ScanAt(text, at);
    if (!scan.valid) return at;
    at += scan.length;
  }
  return text.size();
}

std::string RepairedText(std::string_view text, std::size_t valid_prefix) {
  std::string repaired(text.substr(0, valid_prefix));
  repaired.reserve(text.size() + kReplacement.size());
  std::size_t at = valid_prefix;
  while (at < text.size()) {
    Scan scan = ScanAt(text, at);
    if (scan.valid) {
      repaired.append(text.substr(at, scan.length));
    } else {
      repaired.append(kReplacement);
    }
    at += scan.length;
  }
  return repaired;
}

}  // namespace orvo::xml::detail
