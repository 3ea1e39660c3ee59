#include "delegating/context_events.h"
#include "frame/driver_cache.h"
#include "frame/launch_properties.h"
#include "orvo/delegating_builders.h"
#include "orvo/error.h"

namespace orvo {
namespace {

// The evaluator, which is missing only after a Clean whose creation failed.
ExternalEvaluator3& Require(const std::shared_ptr<ExternalEvaluator3>& evaluator) {
  if (!evaluator) RaiseObjectRequired();
  return *evaluator;
}

}  // namespace

CPreviewBuilder3::CPreviewBuilder3()
    : m_evaluator(ComponentRegistry::CreateAs<ExternalEvaluator3>(kExternalEvaluator3Id)),
      m_oTallixData(ThreadEvalContext()) {
  m_context_events = std::make_unique<detail::ContextEvents>(m_oTallixData, FormatName,
                                                             FormatStatus, ReportStatus);
  if (const xml::Node stored = GetLaunchProperties()) m_oTallixData->InitContext(stored);
  m_evaluator->ContextData(m_oTallixData);
}

CPreviewBuilder3::~CPreviewBuilder3() = default;

void CPreviewBuilder3::Clean() {
  m_evaluator.reset();
  m_evaluator = ComponentRegistry::CreateAs<ExternalEvaluator3>(kExternalEvaluator3Id);
  m_evaluator->ContextData(m_oTallixData);
}

void CPreviewBuilder3::Init(const xml::Node& Value) {
  InitLaunchProperties(Value);
  m_oTallixData->InitContext(GetLaunchProperties());
}

void CPreviewBuilder3::AddReport(const xml::Node& Report, const xml::Node& DC_Override) {
  m_oTallixData->PerReportObject(nullptr);
  m_oTallixData->DataColumnOverride(DC_Override);
  Require(m_evaluator).LoadReport(Report);
}

void CPreviewBuilder3::CreatePreview() {
  ExternalEvaluator3& evaluator = Require(m_evaluator);
  Refresh();
  try {
    evaluator.Run();
  } catch (const Error&) {
    // The cancel file is written back even when the build failed; the
    // build's failure is the one reported.
    ResumeNext quietly;
    quietly.Step([&] { evaluator.CancelFile(""); });
    throw;
  }
  evaluator.CancelFile("");
}

void CPreviewBuilder3::CancelNotificationFile(const std::string& path) {
  Require(m_evaluator).CancelFile(path);
}

std::int32_t CPreviewBuilder3::ScalePercentage() const { return Require(m_evaluator).Scale(); }
void CPreviewBuilder3::ScalePercentage(std::int32_t percent) {
  Require(m_evaluator).Scale(percent);
}

std::shared_ptr<TextLayoutService> CPreviewBuilder3::TextLayoutHelper() const {
  return m_oTallixData->TextLayout();
}
void CPreviewBuilder3::TextLayoutHelper(std::shared_ptr<TextLayoutService> service) {
  m_oTallixData->TextLayout(std::move(service));
}

}  // namespace orvo
