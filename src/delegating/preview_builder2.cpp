#include "delegating/context_events.h"
#include "frame/launch_properties.h"
#include "frame/text_value.h"
#include "frame/thread_context.h"
#include "orvo/delegating_builders.h"
#include "orvo/error.h"
#include "preview/preview_state.h"

namespace orvo {
namespace {

xml::Node FirstElementChild(const xml::Node& parent) {
  for (xml::Node child = parent ? parent.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement) return child;
  }
  return {};
}

xml::Node NextElementSibling(const xml::Node& node) {
  for (xml::Node next = node ? node.NextSibling() : xml::Node(); next; next = next.NextSibling()) {
    if (next.Type() == xml::NodeType::kElement) return next;
  }
  return {};
}

// A 32-bit number read from an attribute of an answer; a missing attribute
// reads as "", which is not one.
std::int32_t NumberAttribute(const xml::Node& element, const char* name) {
  return TextToLong(element.AttributeOr(name, ""));
}

}  // namespace

CPreviewBuilder2::CPreviewBuilder2()
    : m_evaluator(ComponentRegistry::CreateAs<ExternalEvaluator>(kExternalEvaluatorId)),
      m_document(xml::Document::Create()) {
  m_evaluator->Document(m_document);
  Attach(ThreadEvalContext());
  m_oTallixData->InitContext(GetLaunchProperties());
  m_evaluator->ContextData(m_oTallixData);
  m_drill_down = std::make_shared<cDrillDown2>();
  m_drill_down->Init(m_evaluator);
}

CPreviewBuilder2::~CPreviewBuilder2() {
  m_context_events.reset();
  // The shared collections go with the builder that filled them last.
  if (ThreadContext::Current().PreviewState().Exists()) {
    ThreadPreviewState().ReleaseSharedCollections();
  }
}

void CPreviewBuilder2::Attach(std::shared_ptr<EvalContextData> context) {
  m_context_events.reset();
  m_oTallixData = std::move(context);
  m_context_events = std::make_unique<detail::ContextEvents>(m_oTallixData, FormatName,
                                                             FormatStatus, ReportStatus);
}

void CPreviewBuilder2::Init(const xml::Node& Value, std::shared_ptr<EvalContextData> Data) {
  InitLaunchProperties(Value);
  if (!Data) {
    m_oTallixData->InitContext(GetLaunchProperties());
    return;
  }
  Attach(std::move(Data));
  m_oTallixData->InitContext(GetLaunchProperties());
  m_evaluator->ContextData(m_oTallixData);
}

void CPreviewBuilder2::AddReport(const xml::Node& Report, const xml::Node& DC_Override) {
  ThreadPreviewState().ReleaseSharedCollections();
  m_body_space_fillers = m_document.CreateElement("SpFs");
  m_oTallixData->PerReportObject(nullptr);
  m_oTallixData->DataColumnOverride(DC_Override);
  m_evaluator->LoadReport(Report);
}

void CPreviewBuilder2::CreatePreview() {
  // The evaluated format is this call's: a build that fails keeps none.
  m_evaluated_format = xml::Node();
  try {
    m_evaluator->Run();
  } catch (const Error&) {
    // The cancel file is written back even when the build failed; the
    // build's failure is the one reported.
    ResumeNext quietly;
    quietly.Step([&] { m_evaluator->CancelFile(""); });
    throw;
  }
  m_evaluated_format = m_evaluator->ResultFormat();
  m_evaluator->CancelFile("");
  // An evaluator that builds with this library on this thread (the
  // reference one does) has started the thread's shared preview state
  // afresh and filled it; the shared collections are emptied again so that
  // they hold the evaluator's answers only, as the reset of AddReport left
  // them.
  SharedPreviewState& shared = ThreadPreviewState();
  shared.ReleaseSharedCollections();
  if (!m_evaluated_format) return;
  m_body_space_fillers = m_evaluator->BodySpaceFillers();

  const std::shared_ptr<cHeaderFooter> headers = shared.Headers();
  const std::shared_ptr<cHeaderFooter> footers = shared.Footers();
  const xml::Node ranges = m_evaluator->HeaderFooterRanges();
  for (xml::Node range = FirstElementChild(ranges); range; range = NextElementSibling(range)) {
    const std::int32_t end_row = NumberAttribute(range, "EndRow");
    const xml::Node header = FirstElementChild(range);
    const xml::Node header_fillers = NextElementSibling(header);
    const xml::Node footer = NextElementSibling(header_fillers);
    const xml::Node footer_fillers = NextElementSibling(footer);
    headers->AddHeaderFooter(end_row, header, header_fillers);
    footers->AddHeaderFooter(end_row, footer, footer_fillers);
  }

  const std::shared_ptr<ColEvaluatedBookmarks> index = shared.bookmarks;
  const xml::Node references = m_evaluator->BookmarkRefs();
  for (xml::Node reference = FirstElementChild(references); reference;
       reference = NextElementSibling(reference)) {
    std::int32_t key = NumberAttribute(reference, "Key");
    std::int32_t row = NumberAttribute(reference, "Row");
    auto bookmark = std::make_shared<cEvaluatedBookmark>();
    bookmark->CreateAsRefKeyOnly(key, row);
    index->AddAsRefKeyOnly(bookmark);
  }
}

xml::Node CPreviewBuilder2::EvaluatedFormat() const { return m_evaluated_format; }

std::shared_ptr<cHeaderFooter> CPreviewBuilder2::PreviewHeaders() const {
  return ThreadPreviewState().Headers();
}
std::shared_ptr<cHeaderFooter> CPreviewBuilder2::PreviewFooters() const {
  return ThreadPreviewState().Footers();
}

std::shared_ptr<cDrillDown2> CPreviewBuilder2::DrillDownObject() const { return m_drill_down; }

xml::Node CPreviewBuilder2::KeepSections() const { return m_evaluator->KeptSections(); }
xml::Node CPreviewBuilder2::PageThrows() const { return m_evaluator->PageSetups(); }

std::shared_ptr<ColEvaluatedBookmarks> CPreviewBuilder2::RefIndex() const {
  return ThreadPreviewState().bookmarks;
}

std::int32_t CPreviewBuilder2::PhysicalPageToStartNumbering() const {
  return m_evaluator->FirstNumberedPage();
}

xml::Node CPreviewBuilder2::SpaceFillersBody() const { return m_body_space_fillers; }

void CPreviewBuilder2::CancelNotificationFile(const std::string& path) {
  m_evaluator->CancelFile(path);
}

}  // namespace orvo
