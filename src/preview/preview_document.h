// The preview document and the sorted row list, written directly.
//
// The preview stylesheet and the row-list stylesheet (preview_stylesheets.h)
// define these results; running XSLT over a body result of tens of
// thousands of items costs about twenty microseconds an item, so the build
// writes the same trees itself. Both writers produce exactly what the
// stylesheet produces (element and attribute names, order and values), and
// hand the input to the stylesheet itself where the two could differ: a
// root of another name, or a sort key that is not a plain whole number.
//
// Both read the source only (unless asked to consume it); the result is the
// document element of a new document.
#ifndef ORVO_PREVIEW_PREVIEW_DOCUMENT_H_
#define ORVO_PREVIEW_PREVIEW_DOCUMENT_H_

#include <cstddef>
#include <functional>

#include "orvo/xml.h"

namespace orvo {

// The preview document of a result format (Fmt): what the preview
// stylesheet makes of it. With `consume` each row of the result is removed
// once it is written, so that a result nobody else holds is freed while the
// preview grows (the result is left without rows, or as it was when the
// stylesheet writes the preview).
xml::Node PreviewDocument(const xml::Node& result_format, bool consume = false);

// The same, asking `stop` before the first row and after every
// kPreviewStopRows rows written. When it answers true the writing ends,
// `stopped` is set and the document's root as written so far is returned
// (the caller decides when it is freed; a consumed result has lost the
// rows written).
inline constexpr std::size_t kPreviewStopRows = 1000;
xml::Node PreviewDocument(const xml::Node& result_format, bool consume,
                          const std::function<bool()>& stop, bool& stopped);

// The Rows list ordered from the highest row number to the lowest, equal
// numbers in their order: what the row-list stylesheet makes of it.
xml::Node SortRowList(const xml::Node& rows);

}  // namespace orvo

#endif  // ORVO_PREVIEW_PREVIEW_DOCUMENT_H_
