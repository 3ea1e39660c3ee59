// CPreviewBuilder: queues report definitions, builds them and hands back the
// evaluated preview document with what a host paginates it with.
//
//   orvo::CPreviewBuilder builder;
//   builder.Init(launch_properties);            // <LaunchProperties Workspace="..."/>
//   builder.ResetQueue();
//   builder.AddReport(report);                  // a Rep element, or <Fav Rep="KEY"/>
//   builder.CreatePreview();
//   orvo::xml::Node preview = builder.EvaluatedFormat();
//
// Each report of the queue is built in turn, and every build starts the
// thread's shared preview state afresh, so after CreatePreview the results
// (EvaluatedFormat, PageThrows, KeepSections, the space fillers, the header
// and footer collections, RefIndex, DrillDownObject) describe the last
// report built. The shared preview state belongs to the thread: two
// builders on one thread share it, and the last build wins.
//
// Failures: a member that fails reports the failure as an orvo::Error with
// the member's name as its source ("CreatePreview", "AddReport", ...), the
// number and description unchanged, and ends. The build of one report that
// fails is reported under "BuildReport" in BuildFailures() instead, and
// CreatePreview goes on with the next report. Evaluation problems of single
// items are not failures: they show as error values in the item's text.
//
// Cancellation: SetCancelCheck hands the builder a check (orvo/cancel_check.h)
// that CreatePreview asks between formats, between evaluation passes and
// every thousand rows of a long step. When it answers true the build stops,
// the queue's remaining reports are not built, and the results are empty:
// EvaluatedFormat is null and the page setups, kept sections, space
// fillers, header and footer collections, RefIndex and drill-down object are
// new and empty. CreatePreview then fails with number kErrCancelled, source
// "CreatePreview" and the description kCancelledDescription. What the
// stopped build held is freed when the next CreatePreview starts or the
// builder is released, so that the answer does not wait for it.
//
// Events: FormatName (a step text or the name of the format being
// evaluated), FormatStatus (progress through it, in percent) and
// ReportStatus (progress through the report's sections, in percent; 100 at
// the end of each report build). The builder answers its evaluator's
// current-row question itself.
//
// Threading: an instance and everything it hands out belong to the thread
// that created it.
#ifndef ORVO_PREVIEW_BUILDER_H_
#define ORVO_PREVIEW_BUILDER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/bookmarks.h"
#include "orvo/drill_down.h"
#include "orvo/enums.h"
#include "orvo/error.h"
#include "orvo/event.h"
#include "orvo/header_footer.h"
#include "orvo/xml.h"

namespace orvo {

struct BuilderState;

class CPreviewBuilder {
 public:
  // Creates the record templates and the page-break attribute, and hands the
  // host's parser pool (when one is registered) three parsers.
  CPreviewBuilder();
  ~CPreviewBuilder();
  CPreviewBuilder(const CPreviewBuilder&) = delete;
  CPreviewBuilder& operator=(const CPreviewBuilder&) = delete;

  // 1. The attribute node PgBk with the text "-1" that marks page breaks.
  xml::Node m_objAttPageBreak() const;
  void m_objAttPageBreak(const xml::Node& attribute);
  // 2. The shared drill-down object (created on first read).
  std::shared_ptr<cDrillDown> DrillDownObject() const;
  // 3. The preview document's root (Fmt) after the last CreatePreview;
  // null before.
  xml::Node EvaluatedFormat() const;
  // 4.
  EProcessingMode ProcessingMode() const;
  void ProcessingMode(EProcessingMode mode);
  // 5. The shared header and footer collections (created on first read).
  std::shared_ptr<cHeaderFooter> PreviewHeaders() const;
  std::shared_ptr<cHeaderFooter> PreviewFooters() const;
  // 6. The page setups (PgBks of PgB records).
  xml::Node PageThrows() const;
  // 7. Starts a new empty queue (Reps).
  void ResetQueue();
  // 8. Appends `Report` itself to the queue; a given `DC_Override` is first
  // appended, as a deep copy, as the report's last child. Fails before the
  // first ResetQueue.
  void AddReport(const xml::Node& Report, const xml::Node& DC_Override = {});
  // 9. Builds the queued reports (unless the processing mode is
  // enmAsynchronous) and makes the preview document of the last one.
  void CreatePreview();
  // 10. A copy of the column list Cols (one Col ID per column from "A" to
  // MaxCol), built by the first call; later calls return the same list.
  xml::Node CreateCellsToDo(std::int32_t MaxCol);
  // 11. Replaces `Source` by the result of transforming a copy of it with the
  // stylesheet document `Template`.
  void SortXML(xml::Node& Source, const xml::Node& Template);
  // 12. Stores the launch properties (when none are stored on the thread)
  // and creates the evaluators, parser, stylesheet and output document.
  void Init(const xml::Node& Value);
  // 13. The evaluated bookmarks and the reference index.
  std::shared_ptr<ColEvaluatedBookmarks> RefIndex() const;
  // 14. The kept sections (KpSections of Sect records).
  xml::Node KeepSections() const;
  // 15. The space fillers (SpFs, SpFsH, SpFsF of SF records).
  xml::Node SpaceFillersBody() const;
  xml::Node SpaceFillersHeaders() const;
  xml::Node SpaceFillersFooters() const;
  // 16. A page-number condition's value: 1 when it is empty, does not parse
  // or is not numeric.
  std::int16_t EvaluatePageNumberCondition(std::string_view Condition);

  // Events, in this order.
  Event<const std::string&> FormatName;
  Event<std::int16_t> FormatStatus;
  Event<std::int16_t> ReportStatus;

  // The check CreatePreview asks whether to stop (see Cancellation above);
  // an empty one, the default, never stops a build. It stays until replaced.
  void SetCancelCheck(std::function<bool()> check);

  // The report builds of the last CreatePreview that failed, in queue order
  // (source "BuildReport").
  const std::vector<Error>& BuildFailures() const;

 private:
  std::unique_ptr<BuilderState> m_state;
  std::vector<Error> m_build_failures;
};

}  // namespace orvo

#endif  // ORVO_PREVIEW_BUILDER_H_
