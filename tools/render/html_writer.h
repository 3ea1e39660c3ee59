// Writes a laid-out preview as one self-contained HTML file that prints as
// laid out: inline CSS, no scripts, no outside resources, CSS paged media
// with one <section> per page (a named @page per paper size and
// orientation), every row and cell at the size and place the layout gave
// it. Page placeholders and reference markers are resolved here, once the
// page of every row is known.
#ifndef ORVO_RENDER_HTML_WRITER_H_
#define ORVO_RENDER_HTML_WRITER_H_

#include <string>
#include <string_view>

#include "page_layout.h"

namespace orvo::render {

// The marker character (U+00FF) followed by "P" becomes the page number,
// followed by "C" the page count; U+00FF "R" index U+00FF becomes the page
// that bookmark's row lands on ("#REF" for an index the reference index does
// not hold). A marker cut short loses its marker character; U+00FF before
// any other character is ordinary text.
std::string ResolveMarkers(std::string_view text, int page, const Layout& layout);

// The document: `title` in its head, the page count in
// <meta name="orvo-pages">, each cell with drill-down key in data-drill (and
// its balance in data-balance) and its formula as a tooltip.
std::string WriteHtml(const Layout& layout, const RenderOptions& options, std::string_view title);

}  // namespace orvo::render

#endif  // ORVO_RENDER_HTML_WRITER_H_
