// The report build: one queued report definition turned into the body,
// header and footer results and the records the host paginates with.
//
// ReportBuild::Run follows the build's steps in order, one function each:
//
//   1 ResetPerReportState        12 PrepareEvaluationPasses
//   2 ResolveFavourite            13 EvaluatePrintConditions
//   3 TakeDataColumnOverride      14 EvaluateBookmarks
//   4 StartEvaluatorAndCount      15 EvaluateNamedRanges
//   5 StartHeaderFooterResults    16 EvaluateHeadersAndFooters
//   6 WriteReportPageSetup        17 CloseLastHeaderFooterRange
//   7 ApplyReportDataColumns      18 DeleteRows
//   8 BuildGroups                 19 TidyPageSetups
//   9 BuildHeaders                20 ClipKeptSections
//  10 BuildFooters                21 Finish
//  11 BuildBody
//
// with the group step, the header and footer steps, the body-list step (body
// entries and kept sections) and the evaluation pass below them. Groups and
// kept sections nested deeper than kMaxNesting fail the build (number 1,
// source "BuildReport"), so a definition of any depth costs bounded stack.
//
// Failures propagate to the caller (CPreviewBuilder reports them under
// "BuildReport" and goes on with the next report).
//
// Threading: one thread (the builder's).
#ifndef ORVO_PREVIEW_REPORT_BUILD_H_
#define ORVO_PREVIEW_REPORT_BUILD_H_

#include <cstdint>
#include <string>

#include "frame/int16.h"
#include "orvo/xml.h"

namespace orvo {

struct BuilderState;

class ReportBuild {
 public:
  static constexpr int kMaxNesting = 200;

  ReportBuild(BuilderState& builder, xml::Node report);
  void Run();

 private:
  enum class EntryKind { kHeader, kFooter };

  void ResetPerReportState();
  bool ResolveFavourite();
  void TakeDataColumnOverride();
  void StartEvaluatorAndCount();
  void StartHeaderFooterResults();
  void WriteReportPageSetup();
  void ApplyReportDataColumns();
  void BuildGroups();
  void BuildHeaders();
  void BuildFooters();
  void BuildBody();
  void PrepareEvaluationPasses();
  void EvaluatePrintConditions();
  void EvaluateBookmarks();
  void EvaluateNamedRanges();
  void EvaluateHeadersAndFooters();
  void CloseLastHeaderFooterRange();
  void DeleteRows();
  void TidyPageSetups();
  void ClipKeptSections();
  void Finish();

  void GroupStep(const xml::Node& group, Int16 enclosing_orientation, int depth);
  void HeaderFooterStep(const xml::Node& entry, EntryKind kind);
  void BodyListStep(const xml::Node& list, int depth);
  void KeptSectionStep(const xml::Node& section, int depth);
  void BodyEntryPageSetup(const xml::Node& entry);
  void BodyEntryStep(const xml::Node& entry);
  void CountSection();
  void EvaluationPass();

  BuilderState& m_builder;
  xml::Node m_report;
};

}  // namespace orvo

#endif  // ORVO_PREVIEW_REPORT_BUILD_H_
