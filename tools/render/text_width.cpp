#include "text_width.h"

#include <array>
#include <cstdint>

namespace orvo::render {
namespace {

// Advance widths in thousandths of an em for the printable ASCII characters
// 32..126 of the Helvetica-metric faces (Arial and Liberation Sans share them).
constexpr std::array<std::uint16_t, 95> kAdvance = {
    278, 278, 355, 556, 556, 889, 667,  191, 333, 333, 389, 584, 278, 333, 278, 278,  // space../
    556, 556, 556, 556, 556, 556, 556,  556, 556, 556,                                // 0..9
    278, 278, 584, 584, 584, 556, 1015,                                               // :..@
    667, 667, 722, 722, 667, 611, 778,  722, 278, 500, 667, 556, 833,                 // A..M
    722, 778, 667, 778, 722, 667, 611,  722, 667, 944, 667, 667, 611,                 // N..Z
    278, 278, 278, 469, 556, 333,                                                     // [..`
    556, 556, 500, 556, 556, 278, 556,  556, 222, 222, 500, 222, 833,                 // a..m
    556, 556, 556, 556, 333, 500, 278,  556, 500, 722, 500, 500, 500,                 // n..z
    334, 260, 334, 584};                                                              // {..~

constexpr double kOtherAdvance = 556;
constexpr double kBoldFactor = 1.08;

}  // namespace

double TextWidth(std::string_view text, double size_px, bool bold) {
  double thousandths = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 32 && byte <= 126) {
      thousandths += kAdvance[byte - 32];
    } else if ((byte & 0xC0) != 0x80 && byte >= 0x80) {
      thousandths += kOtherAdvance;  // the first byte of a multi-byte character
    }
  }
  return thousandths / 1000.0 * size_px * (bold ? kBoldFactor : 1.0);
}

}  // namespace orvo::render
