#include "preview_input.h"

#include <charconv>
#include <cstdint>

#include "orvo/error.h"

namespace orvo::render {
namespace {

constexpr const char* kSource = "render";

xml::Node Child(const xml::Node& parent, std::string_view name) {
  for (xml::Node child = parent.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) return child;
  }
  return {};
}

std::optional<std::int32_t> WholeNumber(const std::string& text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::shared_ptr<cHeaderFooter> HeaderFooterFromXml(const xml::Node& blocks) {
  auto collection = std::make_shared<cHeaderFooter>();
  if (!blocks) return collection;
  for (xml::Node block = blocks.FirstChild(); block; block = block.NextSibling()) {
    if (block.Type() != xml::NodeType::kElement) continue;
    const auto start = WholeNumber(block.AttributeOr("Start", ""));
    const auto end = WholeNumber(block.AttributeOr("End", ""));
    if (!start || !end) continue;
    // A range starts one row after the previous call's row: a call without
    // a block moves the start where the saved range has it.
    if (*start != 0 && *start != INT32_MIN) collection->AddHeaderFooter(*start - 1, {}, {});
    collection->AddHeaderFooter(*end, block, Child(block, "SpFs"));
  }
  return collection;
}

PreviewInput ReadPreviewXml(const xml::Node& preview) {
  if (!preview || preview.Name() != "Preview") {
    RaiseFailure(kErrRaised, kSource, "the file holds no <Preview> element");
  }
  PreviewInput input;
  input.body = Child(preview, "Fmt");
  input.page_setups = Child(preview, "PgBks");
  input.kept_sections = Child(preview, "KpSections");
  input.body_fillers = Child(preview, "SpFs");
  input.headers = HeaderFooterFromXml(Child(preview, "Headers"));
  input.footers = HeaderFooterFromXml(Child(preview, "Footers"));
  input.references = Child(preview, "RefIndex");
  input.drill_keys = Child(preview, "DrillKeys");
  if (const xml::Node notes = Child(preview, "NoteTexts")) {
    for (xml::Node note = notes.FirstChild(); note; note = note.NextSibling()) {
      if (note.Type() != xml::NodeType::kElement) continue;
      input.note_texts[note.AttributeOr("Key", "")] = note.AttributeOr("Txt", "");
    }
  }
  return input;
}

}  // namespace orvo::render
