#include "reference_evaluator.h"

#include <charconv>
#include <string_view>
#include <system_error>

#include "orvo/cancel_check.h"
#include "orvo/error.h"

namespace orvo::evaluators {
namespace {

xml::Node FirstElementChild(const xml::Node& parent) {
  for (xml::Node child = parent ? parent.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement) return child;
  }
  return {};
}

xml::Node NextElementSibling(const xml::Node& node) {
  for (xml::Node next = node.NextSibling(); next; next = next.NextSibling()) {
    if (next.Type() == xml::NodeType::kElement) return next;
  }
  return {};
}

std::int64_t NumberOr(const xml::Node& element, std::string_view name, std::int64_t fallback) {
  const std::string text = element.AttributeOr(name, "");
  std::int64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  return failure == std::errc() && end == text.data() + text.size() ? value : fallback;
}

// One collection's block of a range, without the Start and End its XML form
// adds, followed by the block's space fillers (an empty `fillers_name`
// element when the range holds no row to ask for them by).
void AppendBlock(const xml::Document& document, xml::Node& range, const xml::Node& block,
                 cHeaderFooter& collection, std::string_view fillers_name) {
  xml::Node copy = range.AppendChild(document.ImportNode(block, true));
  const std::int64_t start = NumberOr(block, "Start", 0);
  const std::int64_t end = NumberOr(block, "End", -1);
  copy.RemoveAttribute("Start");
  copy.RemoveAttribute("End");
  const std::int64_t asked = start < 1 ? 1 : start;
  xml::Node fillers;
  if (asked <= end) {
    collection.ItemForRow(static_cast<std::int32_t>(asked));
    fillers = collection.SpaceFillerForRow();
  }
  range.AppendChild(fillers ? document.ImportNode(fillers, true)
                            : document.CreateElement(fillers_name));
}

// The header and footer collections as ranges: the builder files a header
// and a footer block at the same row each time, so the two lists run in
// step.
xml::Node TranslateRanges(const xml::Document& document, cHeaderFooter& headers,
                          cHeaderFooter& footers) {
  xml::Node ranges = document.CreateElement("HeaderFooterRanges");
  const xml::Node header_list = headers.GetAsXML("Headers");
  const xml::Node footer_list = footers.GetAsXML("Footers");
  xml::Node header = FirstElementChild(header_list);
  xml::Node footer = FirstElementChild(footer_list);
  std::int64_t next_start = 0;  // where the collections' next range starts
  while (header && footer) {
    // Rows passed over without a block (the builder files none at row 0):
    // a range without blocks moves the next start as they did.
    const std::int64_t start = NumberOr(header, "Start", next_start);
    if (start != next_start) {
      ranges.AppendChild(document.CreateElement("HFRange"))
          .SetAttribute("EndRow", std::to_string(start - 1));
    }
    next_start = NumberOr(header, "End", start) + 1;
    xml::Node range = ranges.AppendChild(document.CreateElement("HFRange"));
    range.SetAttribute("EndRow", header.AttributeOr("End", ""));
    AppendBlock(document, range, header, headers, "SpFsH");
    AppendBlock(document, range, footer, footers, "SpFsF");
    header = NextElementSibling(header);
    footer = NextElementSibling(footer);
  }
  return ranges;
}

// The reference index as BookmarkRefs: its own XML form without the empty
// entries.
xml::Node TranslateReferences(const xml::Document& document, ColEvaluatedBookmarks& index) {
  xml::Node refs = document.ImportNode(index.GetAsXML("BookmarkRefs"), true);
  for (xml::Node ref = FirstElementChild(refs); ref;) {
    const xml::Node next = NextElementSibling(ref);
    if (!ref.GetAttribute("Row")) refs.RemoveChild(ref);
    ref = next;
  }
  return refs;
}

// One Ref per evaluated bookmark, in the order they were added.
xml::Node ListBookmarks(const xml::Document& document, ColEvaluatedBookmarks& index) {
  xml::Node list = document.CreateElement("RefIndex");
  for (std::int32_t position = 1; position <= index.Count(); ++position) {
    const ColEvaluatedBookmarks::Bookmark bookmark = index.ItemAt(position);
    if (!bookmark) continue;
    xml::Node entry = list.AppendChild(document.CreateElement("Ref"));
    entry.SetAttribute("Key", bookmark->Key());
    entry.SetAttribute("NoteNumber", std::to_string(bookmark->NoteNumber()));
    entry.SetAttribute("RefIndex", std::to_string(bookmark->RefIndex()));
    entry.SetAttribute("RefRow", std::to_string(bookmark->RefRow()));
  }
  return list;
}

}  // namespace

ReferenceEvaluator::ReferenceEvaluator() : m_document(xml::Document::Create()) {}

void ReferenceEvaluator::LoadReport(const xml::Node& report) {
  m_report = report;
  m_override = m_context ? m_context->DataColumnOverride() : xml::Node();
}

void ReferenceEvaluator::ContextData(std::shared_ptr<EvalContextData> context) {
  m_context = std::move(context);
}

void ReferenceEvaluator::CancelFile(const std::string& path) { m_cancel_file = path; }

void ReferenceEvaluator::Document(const xml::Document& document) {
  m_document = document ? document : xml::Document::Create();
}

void ReferenceEvaluator::ClearResults() {
  m_result_format = m_page_setups = m_header_footer_ranges = m_bookmark_refs = xml::Node();
  m_kept_sections = m_body_space_fillers = xml::Node();
  m_header_space_fillers = m_footer_space_fillers = m_evaluated_bookmarks = xml::Node();
  m_drill_down.reset();
}

void ReferenceEvaluator::Run() {
  ClearResults();
  if (!m_report) RaiseError("Run", "No report is loaded");
  CPreviewBuilder builder;
  if (m_context) {
    EvalContextData& context = *m_context;
    builder.FormatName.Connect(
        [&context](const std::string& name) { context.FormatName.Raise(name); });
    builder.FormatStatus.Connect(
        [&context](std::int16_t status) { context.FormatStatus.Raise(status); });
    builder.ReportStatus.Connect(
        [&context](std::int16_t status) { context.ReportStatus.Raise(status); });
  }
  // The build stops when the cancel file appears (one status call between
  // formats, passes and every thousand rows); an empty path, a directory or
  // a path that cannot be examined never stops it.
  builder.SetCancelCheck(CancelFileCheck(m_cancel_file));
  builder.Init(m_context ? m_context->LaunchProperties() : xml::Node());
  builder.ResetQueue();
  // A copy: the builder takes the report it is given into its queue, and the
  // host's definition stays where it is.
  builder.AddReport(m_report.CloneNode(true), m_override);
  builder.CreatePreview();
  if (!builder.BuildFailures().empty()) {
    const Error& failure = builder.BuildFailures().front();
    RaiseFailure(failure.Number(), failure.Source(), failure.Description());
  }
  KeepResults(builder);
}

void ReferenceEvaluator::KeepResults(CPreviewBuilder& builder) {
  m_page_setups = builder.PageThrows();
  m_kept_sections = builder.KeepSections();
  m_body_space_fillers = builder.SpaceFillersBody();
  m_header_space_fillers = builder.SpaceFillersHeaders();
  m_footer_space_fillers = builder.SpaceFillersFooters();
  m_header_footer_ranges =
      TranslateRanges(m_document, *builder.PreviewHeaders(), *builder.PreviewFooters());
  const std::shared_ptr<ColEvaluatedBookmarks> index = builder.RefIndex();
  m_bookmark_refs = TranslateReferences(m_document, *index);
  m_evaluated_bookmarks = ListBookmarks(m_document, *index);
  m_drill_down = builder.DrillDownObject();
  m_result_format = builder.EvaluatedFormat();
}

xml::Node ReferenceEvaluator::DrillItems(std::int32_t index) {
  xml::Node answer = m_document.CreateElement("DrillItem");
  if (!m_drill_down || index < 1) return answer;
  for (const xml::Node& object : m_drill_down->DrillObject("DrillItem" + std::to_string(index))) {
    answer.AppendChild(m_document.ImportNode(object, true));
  }
  return answer;
}

xml::Node ReferenceEvaluator::DrillKeys() {
  return m_drill_down ? m_drill_down->DrillKeys() : xml::Node();
}

}  // namespace orvo::evaluators
