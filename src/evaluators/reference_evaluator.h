// The reference evaluator of the delegating builders: one component offering
// ExternalEvaluator (CPreviewBuilder2), ExternalEvaluator3 (CPreviewBuilder3)
// and IEvaluatorDetails. Run builds the loaded report with the library's own
// CPreviewBuilder and keeps what it made, translated into the answers the
// delegating builders read:
//
//   ResultFormat       the preview document (Fmt)
//   PageSetups         PgBks; KeptSections KpSections; BodySpaceFillers SpFs
//   HeaderFooterRanges one HFRange per range of the builder's header and
//                      footer collections (they are filed in step, at the
//                      same rows): EndRow and the children header block,
//                      SpFsH, footer block, SpFsF
//   BookmarkRefs       one Ref (Key = reference index, Row, Name) per entry
//                      of the reference index; empty entries are left out
//   DrillItems(n)      a DrillItem element holding copies of the drill
//                      objects of drill key DrillItem<n>; empty when there
//                      is none
//   FirstNumberedPage  1: pages are numbered from the first
//
// A report build that fails makes Run raise that failure (source
// "BuildReport", number and description unchanged); the results are then
// empty (null). The path written to CancelFile is the build's cancel file:
// when a file appears there while Run builds, the build stops and Run raises
// the cancellation failure (kErrCancelled, source "CreatePreview",
// kCancelledDescription), results empty. An empty path, a directory or a
// path that cannot be examined never stops a build. Run without a loaded report raises "Run"/"No
// report is loaded". The build's progress events are raised as the context's FormatName,
// FormatStatus and ReportStatus.
//
// Everything the results hold stays valid after later builds; the elements
// the evaluator writes itself go into the builder's Document when one was
// given, else into a document of the evaluator's own.
#ifndef ORVO_EVALUATORS_REFERENCE_EVALUATOR_H_
#define ORVO_EVALUATORS_REFERENCE_EVALUATOR_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvo/drill_down.h"
#include "orvo/external_evaluator.h"
#include "orvo/preview_builder.h"
#include "orvo/xml.h"

namespace orvo::evaluators {

class ReferenceEvaluator final : public ExternalEvaluator,
                                 public ExternalEvaluator3,
                                 public IEvaluatorDetails {
 public:
  ReferenceEvaluator();

  // ExternalEvaluator and ExternalEvaluator3.
  void LoadReport(const xml::Node& report) override;
  void Run() override;
  void ContextData(std::shared_ptr<EvalContextData> context) override;
  void CancelFile(const std::string& path) override;

  // ExternalEvaluator.
  xml::Node ResultFormat() override { return m_result_format; }
  void Document(const xml::Document& document) override;
  xml::Node PageSetups() override { return m_page_setups; }
  xml::Node HeaderFooterRanges() override { return m_header_footer_ranges; }
  xml::Node BookmarkRefs() override { return m_bookmark_refs; }
  xml::Node KeptSections() override { return m_kept_sections; }
  xml::Node BodySpaceFillers() override { return m_body_space_fillers; }
  xml::Node DrillItems(std::int32_t index) override;
  std::int32_t FirstNumberedPage() override { return 1; }

  // ExternalEvaluator3.
  std::int32_t Scale() override { return m_scale; }
  void Scale(std::int32_t percent) override { m_scale = percent; }

  // IEvaluatorDetails.
  xml::Node HeaderSpaceFillers() override { return m_header_space_fillers; }
  xml::Node FooterSpaceFillers() override { return m_footer_space_fillers; }
  xml::Node EvaluatedBookmarks() override { return m_evaluated_bookmarks; }
  xml::Node DrillKeys() override;
  std::string CancelFile() override { return m_cancel_file; }

 private:
  void ClearResults();
  void KeepResults(CPreviewBuilder& builder);

  xml::Document m_document;
  std::shared_ptr<EvalContextData> m_context;
  xml::Node m_report;
  xml::Node m_override;
  std::string m_cancel_file;
  std::int32_t m_scale = 100;

  xml::Node m_result_format;
  xml::Node m_page_setups;
  xml::Node m_header_footer_ranges;
  xml::Node m_bookmark_refs;
  xml::Node m_kept_sections;
  xml::Node m_body_space_fillers;
  xml::Node m_header_space_fillers;
  xml::Node m_footer_space_fillers;
  xml::Node m_evaluated_bookmarks;
  std::shared_ptr<cDrillDown> m_drill_down;
};

}  // namespace orvo::evaluators

#endif  // ORVO_EVALUATORS_REFERENCE_EVALUATOR_H_
