// Estimated widths of text in the proportional sans-serif face the rendered
// pages ask for (a face with the classic Helvetica metrics), so the layout
// can size columns and wrap lines without a font engine.
#ifndef ORVO_RENDER_TEXT_WIDTH_H_
#define ORVO_RENDER_TEXT_WIDTH_H_

#include <string_view>

namespace orvo::render {

// The width in CSS pixels of `text` (UTF-8) set in a face of `size_px`
// pixels; bold text is a little wider. Characters outside ASCII count as an
// average letter.
double TextWidth(std::string_view text, double size_px, bool bold);

}  // namespace orvo::render

#endif  // ORVO_RENDER_TEXT_WIDTH_H_
