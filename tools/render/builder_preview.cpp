#include "builder_preview.h"

#include <string>

namespace orvo::render {

xml::Node ReferenceIndex(const xml::Document& document, ColEvaluatedBookmarks& bookmarks) {
  xml::Node list = document.CreateElement("RefIndex");
  for (std::int32_t position = 1; position <= bookmarks.Count(); ++position) {
    const ColEvaluatedBookmarks::Bookmark bookmark = bookmarks.ItemAt(position);
    if (!bookmark) continue;
    xml::Node entry = list.AppendChild(document.CreateElement("Ref"));
    entry.SetAttribute("Key", bookmark->Key());
    entry.SetAttribute("NoteNumber", std::to_string(bookmark->NoteNumber()));
    entry.SetAttribute("RefIndex", std::to_string(bookmark->RefIndex()));
    entry.SetAttribute("RefRow", std::to_string(bookmark->RefRow()));
  }
  return list;
}

PreviewInput PreviewOfBuilder(const CPreviewBuilder& builder,
                              const xml::Node& bookmark_definitions) {
  PreviewInput input;
  input.body = builder.EvaluatedFormat();
  input.page_setups = builder.PageThrows();
  input.kept_sections = builder.KeepSections();
  input.body_fillers = builder.SpaceFillersBody();
  input.headers = builder.PreviewHeaders();
  input.footers = builder.PreviewFooters();
  const xml::Document document = xml::Document::Create();
  if (const auto bookmarks = builder.RefIndex()) {
    input.references = ReferenceIndex(document, *bookmarks);
  }
  if (const auto drill = builder.DrillDownObject()) input.drill_keys = drill->DrillKeys();
  AddNoteTexts(input, bookmark_definitions);
  return input;
}

void AddNoteTexts(PreviewInput& input, const xml::Node& bookmark_definitions) {
  if (!bookmark_definitions) return;
  for (xml::Node mark = bookmark_definitions.FirstChild(); mark; mark = mark.NextSibling()) {
    if (mark.Type() != xml::NodeType::kElement || mark.Name() != "BMk") continue;
    std::string key = mark.AttributeOr("Key", "");
    for (char& c : key) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (const auto text = mark.GetAttribute("Txt")) input.note_texts[key] = *text;
  }
}

}  // namespace orvo::render
