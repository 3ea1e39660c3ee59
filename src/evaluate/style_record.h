// The parts of an item's style record, reached by position.
//
// An item (Itm) carries its style record Stl as its second child, after the
// parsed expression PEx. Inside Stl the children stand in a fixed order:
// the number-format element (whose first child is the definition Def), Alg,
// Brd and Fnts. The number-format element's name is not fixed, so every
// reader here goes by position among the element children; text and comment
// nodes are skipped.
//
// These helpers only navigate: they never create or change nodes, and a part
// that is missing comes back as a null node.
#ifndef ORVO_EVALUATE_STYLE_RECORD_H_
#define ORVO_EVALUATE_STYLE_RECORD_H_

#include "orvo/xml.h"

namespace orvo {

// The first element child of `parent`, or null.
xml::Node FirstElement(const xml::Node& parent);
// The next element sibling of `node`, or null.
xml::Node NextElement(const xml::Node& node);
// The element child at 1-based `position`, or null.
xml::Node ChildElement(const xml::Node& parent, int position);
// The number of element children.
int ElementCount(const xml::Node& parent);

// The item's style record: its second element child when that is an Stl,
// else its first Stl child (an item written without PEx), else null.
xml::Node StyleOf(const xml::Node& item);

// Parts of a style record (null style gives null parts).
inline xml::Node NumberFormatOf(const xml::Node& style) { return ChildElement(style, 1); }
inline xml::Node AlignmentOf(const xml::Node& style) { return ChildElement(style, 2); }
inline xml::Node BordersOf(const xml::Node& style) { return ChildElement(style, 3); }
inline xml::Node FontsOf(const xml::Node& style) { return ChildElement(style, 4); }

// The definition element Def of a number-format element.
inline xml::Node DefinitionOf(const xml::Node& number_format) {
  return FirstElement(number_format);
}

// The first font run Fnt of the item's style, or null.
xml::Node FirstFontRun(const xml::Node& item);

}  // namespace orvo

#endif  // ORVO_EVALUATE_STYLE_RECORD_H_
