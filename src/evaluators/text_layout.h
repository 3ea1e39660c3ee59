// The reference text layout service: text widths from a small metric table
// instead of font files, close enough for laying out report columns.
//
// Widths are in thousandths of the font size per character, by the family
// the font name names (compared without regard to case):
//   * a name holding "courier", "mono" or "consol": every character 600;
//   * a name holding "times", "serif" (but not "sans"), "georgia" or
//     "garamond": the proportional table below times 0.93;
//   * any other name (Arial, Helvetica, Liberation Sans, ...): the
//     proportional table.
// The proportional table: space 278; "il.,:;'|!`" 222-278 (narrow);
// "fjtrI()[]-/" 333; digits 556; other lower-case letters 556, "m" 833,
// "w" 722; upper-case letters 667, "M" 833, "W" 944; other ASCII 584; any
// other character (a UTF-8 sequence counts as one) 556. A name holding
// "bold" widens every character by 6 %.
//
// Width = sum of the character widths / 1000 * size. An empty text, or a
// size that is not positive, is 0 wide.
#ifndef ORVO_EVALUATORS_TEXT_LAYOUT_H_
#define ORVO_EVALUATORS_TEXT_LAYOUT_H_

#include <string_view>

#include "orvo/external_evaluator.h"

namespace orvo::evaluators {

class ReferenceTextLayout final : public TextLayoutService {
 public:
  double TextWidth(std::string_view text, std::string_view font, double size) override;
};

}  // namespace orvo::evaluators

#endif  // ORVO_EVALUATORS_TEXT_LAYOUT_H_
