// What the renderer lays out: a preview document and the companion data a
// host paginates it with, as the library hands them over.
//
// The data comes either straight from a builder (the host fills the fields
// from CPreviewBuilder's members) or from a saved <Preview> element, the
// form `orvo preview` prints: children Fmt (EvaluatedFormat), PgBks,
// KpSections, SpFs, SpFsH, SpFsF, Headers, Footers, RefIndex and DrillKeys.
#ifndef ORVO_RENDER_PREVIEW_INPUT_H_
#define ORVO_RENDER_PREVIEW_INPUT_H_

#include <memory>
#include <string>
#include <unordered_map>

#include "orvo/header_footer.h"
#include "orvo/xml.h"

namespace orvo::render {

struct PreviewInput {
  xml::Node body;           // the preview document: Fmt/Itms/Row/Itm
  xml::Node page_setups;    // PgBks of PgB records
  xml::Node kept_sections;  // KpSections of Sect records
  xml::Node body_fillers;   // SpFs of SF records
  // Header and footer blocks per body-row range; null means none.
  std::shared_ptr<cHeaderFooter> headers;
  std::shared_ptr<cHeaderFooter> footers;
  // The reference index: one Ref per evaluated bookmark, either
  // (Key, NoteNumber, RefIndex, RefRow) or ColEvaluatedBookmarks' own form
  // (Key = reference index, Name, Row).
  xml::Node references;
  xml::Node drill_keys;  // DrillKeys of DrillKey (Key = balance, DKey = drill key)
  // Note texts by bookmark key (upper case), for the notes listed at the end.
  std::unordered_map<std::string, std::string> note_texts;
};

// Reads a saved <Preview> element. Headers and Footers are the collections'
// XML form (blocks with Start and End); they are filed again into
// cHeaderFooter collections, each block with the space fillers of its own
// child SpFs, if it has one. A missing child is taken as empty; a root that
// is not a Preview raises a failure (source "render").
PreviewInput ReadPreviewXml(const xml::Node& preview);

// A collection holding the blocks of a header or footer XML form.
std::shared_ptr<cHeaderFooter> HeaderFooterFromXml(const xml::Node& blocks);

}  // namespace orvo::render

#endif  // ORVO_RENDER_PREVIEW_INPUT_H_
