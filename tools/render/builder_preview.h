// The preview a CPreviewBuilder made, with its companion data, as the
// renderer reads it: what a host hands its page layout after CreatePreview.
#ifndef ORVO_RENDER_BUILDER_PREVIEW_H_
#define ORVO_RENDER_BUILDER_PREVIEW_H_

#include "orvo/preview_builder.h"
#include "orvo/xml.h"
#include "preview_input.h"

namespace orvo::render {

// The builder's EvaluatedFormat, PageThrows, KeepSections, SpaceFillersBody,
// PreviewHeaders and PreviewFooters as they are, its evaluated bookmarks as a
// reference index (Key, NoteNumber, RefIndex, RefRow), its drill keys, and
// the note texts of `bookmark_definitions` (BMk elements with Key and Txt;
// may be null). The nodes stay the builder's until its next build.
PreviewInput PreviewOfBuilder(const CPreviewBuilder& builder,
                              const xml::Node& bookmark_definitions);

// The evaluated bookmarks as a RefIndex element of `document`: one Ref per
// bookmark with its key, note number, reference index and row.
xml::Node ReferenceIndex(const xml::Document& document, ColEvaluatedBookmarks& bookmarks);

// Adds the note texts of `bookmark_definitions` (BMk elements with Key and
// Txt; may be null) to `input`, keyed by the upper-cased bookmark key.
void AddNoteTexts(PreviewInput& input, const xml::Node& bookmark_definitions);

}  // namespace orvo::render

#endif  // ORVO_RENDER_BUILDER_PREVIEW_H_
