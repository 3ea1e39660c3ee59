// The delegating preview builders: the calling sequence of CPreviewBuilder
// (Init, AddReport, CreatePreview, then the results), with the build handed
// to an outside evaluator and evaluation context (orvo/external_evaluator.h).
//
//   orvo::CPreviewBuilder2 builder;               // creates its evaluator
//   builder.Init(launch_properties);
//   builder.AddReport(report);                    // the last one is built
//   builder.CreatePreview();
//   orvo::xml::Node preview = builder.EvaluatedFormat();
//
// CPreviewBuilder2 unpacks the evaluator's answers into the thread's shared
// header and footer collections and reference index (the same ones
// CPreviewBuilder fills, so the last build on a thread wins) and answers
// drill keys through cDrillDown2. CPreviewBuilder3 leaves the results with
// its evaluator, which the host reads.
//
// Shared context: every builder on a thread starts with the same evaluation
// context, created from kEvalContextDataId on first use and kept for the
// thread's life; CPreviewBuilder2::Init may give one builder its own.
//
// Failures: whatever an outside component raises reaches the caller
// unchanged. A number the builder reads from an answer (EndRow, Key, Row, a
// drill key) that is not one raises the type mismatch; a missing answer
// element where one is required raises kErrObjectRequired.
//
// Events: FormatName, FormatStatus and ReportStatus are raised each time the
// builder's evaluation context raises the event of that name.
//
// Threading: an instance belongs to the thread that created it, and must be
// released on that thread before it ends.
#ifndef ORVO_DELEGATING_BUILDERS_H_
#define ORVO_DELEGATING_BUILDERS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/bookmarks.h"
#include "orvo/collection.h"
#include "orvo/event.h"
#include "orvo/external_evaluator.h"
#include "orvo/header_footer.h"
#include "orvo/xml.h"

namespace orvo {

namespace detail {
class ContextEvents;
}  // namespace detail

// The drill-down object of CPreviewBuilder2: drill keys are numbers its
// evaluator answers for.
class cDrillDown2 {
 public:
  // Keeps the evaluator.
  void Init(std::shared_ptr<ExternalEvaluator> evaluator);
  // The child elements of the evaluator's DrillItems(key), first to last.
  // A key that is not a number raises the type mismatch; before Init,
  // kErrObjectRequired.
  Collection<xml::Node> DrillObject(std::string_view DrillKey) const;

 private:
  std::shared_ptr<ExternalEvaluator> m_evaluator;
};

class CPreviewBuilder2 {
 public:
  // Creates the evaluator (kExternalEvaluatorId) and gives it the builder's
  // document; takes the thread's shared context, initialises it with the
  // stored launch properties (null when none) and gives it to the
  // evaluator; creates the drill-down object on the evaluator.
  CPreviewBuilder2();
  // Also empties the thread's shared header and footer collections and
  // reference index.
  ~CPreviewBuilder2();
  CPreviewBuilder2(const CPreviewBuilder2&) = delete;
  CPreviewBuilder2& operator=(const CPreviewBuilder2&) = delete;

  // 1. Stores the launch properties (when none are stored on the thread).
  // Without `Data` the builder's context is initialised with them; with it,
  // `Data` becomes the builder's context, is initialised and is given to
  // the evaluator.
  void Init(const xml::Node& Value, std::shared_ptr<EvalContextData> Data = nullptr);
  // 2. Empties the shared collections and the body space fillers, writes
  // null to the context's PerReportObject and `DC_Override` to its
  // DataColumnOverride, and loads `Report` into the evaluator.
  void AddReport(const xml::Node& Report, const xml::Node& DC_Override = {});
  // 3. Runs the evaluator, keeps its result format, writes "" to its
  // CancelFile (also when Run fails), and, when there is a result, keeps
  // its body space fillers and files its header/footer ranges and bookmark
  // references in the shared collections.
  void CreatePreview();
  // 4. The result format kept by the last CreatePreview; null before, and
  // after a CreatePreview that failed.
  xml::Node EvaluatedFormat() const;
  // 5. The thread's shared header and footer collections (created on first
  // read).
  std::shared_ptr<cHeaderFooter> PreviewHeaders() const;
  std::shared_ptr<cHeaderFooter> PreviewFooters() const;
  // 6.
  std::shared_ptr<cDrillDown2> DrillDownObject() const;
  // 7. The evaluator's KeptSections and PageSetups, read at call time.
  xml::Node KeepSections() const;
  xml::Node PageThrows() const;
  // 8. The thread's shared reference index.
  std::shared_ptr<ColEvaluatedBookmarks> RefIndex() const;
  // 9. The evaluator's FirstNumberedPage, read at call time.
  std::int32_t PhysicalPageToStartNumbering() const;
  // 10. The body space fillers kept by the last CreatePreview.
  xml::Node SpaceFillersBody() const;
  // 11. Writes the path to the evaluator's CancelFile.
  void CancelNotificationFile(const std::string& path);

  // The builder's evaluator (the host may read more of its answers).
  std::shared_ptr<ExternalEvaluator> evaluator() const { return m_evaluator; }

  Event<const std::string&> FormatName;
  Event<std::int16_t> FormatStatus;
  Event<std::int16_t> ReportStatus;

 private:
  // Makes `context` the builder's context, forwarding its events.
  void Attach(std::shared_ptr<EvalContextData> context);

  std::shared_ptr<ExternalEvaluator> m_evaluator;
  xml::Document m_document;
  std::shared_ptr<EvalContextData> m_oTallixData;
  std::unique_ptr<detail::ContextEvents> m_context_events;
  xml::Node m_evaluated_format;
  xml::Node m_body_space_fillers;
  std::shared_ptr<cDrillDown2> m_drill_down;
};

class CPreviewBuilder3 {
 public:
  // Creates the evaluator (kExternalEvaluator3Id); takes the thread's shared
  // context, initialises it when launch properties are stored, and gives it
  // to the evaluator.
  CPreviewBuilder3();
  ~CPreviewBuilder3();
  CPreviewBuilder3(const CPreviewBuilder3&) = delete;
  CPreviewBuilder3& operator=(const CPreviewBuilder3&) = delete;

  // 1. Replaces the evaluator by a new one with the same context.
  void Clean();
  // 2. Stores the launch properties (when none are stored on the thread)
  // and initialises the context with them.
  void Init(const xml::Node& Value);
  // 3. Writes null to the context's PerReportObject and `DC_Override` to
  // its DataColumnOverride, and loads `Report` into the evaluator.
  void AddReport(const xml::Node& Report, const xml::Node& DC_Override = {});
  // 4. Runs the data driver's Refresh_DDKFunction, then the evaluator, then
  // writes "" to its CancelFile (also when Run fails).
  void CreatePreview();
  // 5. The current evaluator; the host reads the results from it.
  std::shared_ptr<ExternalEvaluator3> evaluator() const { return m_evaluator; }
  // 6.
  void CancelNotificationFile(const std::string& path);
  // 7. The evaluator's Scale.
  std::int32_t ScalePercentage() const;
  void ScalePercentage(std::int32_t percent);
  // 8. The context's TextLayout.
  std::shared_ptr<TextLayoutService> TextLayoutHelper() const;
  void TextLayoutHelper(std::shared_ptr<TextLayoutService> service);

  Event<const std::string&> FormatName;
  Event<std::int16_t> FormatStatus;
  Event<std::int16_t> ReportStatus;

 private:
  std::shared_ptr<ExternalEvaluator3> m_evaluator;
  std::shared_ptr<EvalContextData> m_oTallixData;
  std::unique_ptr<detail::ContextEvents> m_context_events;
};

}  // namespace orvo

#endif  // ORVO_DELEGATING_BUILDERS_H_
