// The two stylesheets of a report build and the transforms that use them.
//
// The preview stylesheet turns a result format (body, header or footer) into
// the preview document the host reads:
//   Fmt (MRow, MCol)
//     Itms
//       Row (PgBk)                  one per Row below any Itms, in document order
//         Itm (Col, Row, Dsp, OrigKey, OrigFmt, ASz, Fml)   sorted by Col as a number
//           Stl (Hei, Wdt, BCl, Ptn, PtnCl) with Alg, Brd and Fnts/Fnt
//           Drill (On, Key)          an item without one gets On "0", Key ""
// Dsp is the item's PTxt, Fml its OrigFml and OrigKey its OrigKey or, for
// an item with OrigFmt and no OrigKey, its Key (see OriginalKeyOf); an
// attribute the source lacks
// is written empty, and everything else of the source (Value, Key, PEx,
// DepData, the number format) is dropped.
//
// The row-list stylesheet orders a Rows list from the highest row number to
// the lowest, keeping each Row's Del and Keep, so that rows can be deleted
// from the bottom up.
//
// Both are compiled once per thread. Transforms run over a copy of the
// source: the source is never changed.
#ifndef ORVO_PREVIEW_PREVIEW_STYLESHEETS_H_
#define ORVO_PREVIEW_PREVIEW_STYLESHEETS_H_

#include <string>

#include "orvo/xml.h"

namespace orvo {

// The stylesheet texts.
const std::string& PreviewStylesheetText();
const std::string& RowListStylesheetText();

// The compiled stylesheets, one per thread.
const xml::Stylesheet& PreviewStylesheet();
const xml::Stylesheet& RowListStylesheet();

// The document element of a new document holding the transform of `node`
// by `stylesheet` (the form every transform of the build takes): the preview
// document of a result format, or the sorted copy of a row list.
xml::Node SortXML(const xml::Node& node, const xml::Stylesheet& stylesheet);

}  // namespace orvo

#endif  // ORVO_PREVIEW_PREVIEW_STYLESHEETS_H_
