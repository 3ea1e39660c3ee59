#include "text_layout.h"

#include <string>

namespace orvo::evaluators {
namespace {

enum class Family { kProportional, kSerif, kMonospaced };

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool Holds(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// Thousandths of the size, proportional table.
int ProportionalWidth(unsigned char c) {
  if (c == ' ') return 278;
  if (c == 'i' || c == 'l' || c == '\'' || c == '|' || c == '`') return 222;
  if (c == '.' || c == ',' || c == ':' || c == ';' || c == '!') return 278;
  if (c == 'f' || c == 'j' || c == 't' || c == 'r' || c == 'I' || c == '(' || c == ')' ||
      c == '[' || c == ']' || c == '-' || c == '/') {
    return 333;
  }
  if (c >= '0' && c <= '9') return 556;
  if (c == 'm') return 833;
  if (c == 'w') return 722;
  if (c >= 'a' && c <= 'z') return 556;
  if (c == 'M') return 833;
  if (c == 'W') return 944;
  if (c >= 'A' && c <= 'Z') return 667;
  if (c < 0x80) return 584;
  return 556;
}

}  // namespace

double ReferenceTextLayout::TextWidth(std::string_view text, std::string_view font, double size) {
  if (text.empty() || !(size > 0)) return 0;
  const std::string name = LowerCase(font);
  Family family = Family::kProportional;
  if (Holds(name, "courier") || Holds(name, "mono") || Holds(name, "consol")) {
    family = Family::kMonospaced;
  } else if (Holds(name, "times") || (Holds(name, "serif") && !Holds(name, "sans")) ||
             Holds(name, "georgia") || Holds(name, "garamond")) {
    family = Family::kSerif;
  }
  double thousandths = 0;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte of a UTF-8 sequence
    thousandths += family == Family::kMonospaced ? 600 : ProportionalWidth(c);
  }
  if (family == Family::kSerif) thousandths *= 0.93;
  if (Holds(name, "bold")) thousandths *= 1.06;
  return thousandths / 1000.0 * size;
}

}  // namespace orvo::evaluators
