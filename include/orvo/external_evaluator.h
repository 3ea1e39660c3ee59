// The outside components the delegating preview builders (CPreviewBuilder2,
// CPreviewBuilder3, orvo/delegating_builders.h) hand a build to: an
// evaluator that loads a report definition, runs it and answers with the
// evaluated format and its companion elements, and an evaluation context
// that carries the launch properties, the data-column override and a text
// layout service, and reports the build's progress through its events.
//
// They are interfaces. The library ships reference implementations,
// registered under the identifiers below before main runs, which evaluate
// with the library's own CPreviewBuilder. A host substitutes its own by
// registering a factory under the same identifier (docs/delegating.md):
//
//   orvo::ComponentRegistry::Register(orvo::kExternalEvaluatorId,
//       [] { return std::make_shared<MyEvaluator>(); });
//
// Failures: whatever a component raises reaches the host's call to the
// builder unchanged (number, source, description); the builders neither
// catch nor re-source it.
//
// Threading: components are created and used on one thread, the builder's.
// The one thing the reference evaluator does with another thread's help is
// noticing that the cancel file (CancelFile) appeared: it looks at the file
// system only.
#ifndef ORVO_EXTERNAL_EVALUATOR_H_
#define ORVO_EXTERNAL_EVALUATOR_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/event.h"
#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo {

// The evaluator of CPreviewBuilder2 (and of cDrillDown2).
inline constexpr const char* kExternalEvaluatorId = "OrvoEvaluator.CEvaluator";
// The evaluator of CPreviewBuilder3.
inline constexpr const char* kExternalEvaluator3Id = "OrvoEvaluator.CEvaluator3";
// The evaluation context; the builders share one per thread.
inline constexpr const char* kEvalContextDataId = "OrvoEvaluator.CEvalContextData";
// The text layout service the reference evaluation context hands out.
inline constexpr const char* kTextLayoutServiceId = "OrvoEvaluator.CTextLayoutService";

// Measures text as a page layout sets it.
class TextLayoutService : public IComponent {
 public:
  // The width, in points, of `text` (UTF-8) set in `font` at `size` points.
  virtual double TextWidth(std::string_view text, std::string_view font, double size) = 0;
};

// The evaluation context. The builders write to it; an evaluator reads it
// and raises its events while it builds, which the builders pass on as their
// own events of the same names.
class EvalContextData : public IComponent {
 public:
  // Takes the thread's launch properties (a null node when none are stored
  // yet).
  virtual void InitContext(const xml::Node& launch_properties) = 0;
  // The node of the last InitContext.
  virtual xml::Node LaunchProperties() = 0;
  // The data-column override of the report loaded next; null for none.
  virtual void DataColumnOverride(const xml::Node& override_node) = 0;
  virtual xml::Node DataColumnOverride() = 0;
  // An object an evaluator keeps for one report; the builders only ever
  // write null to it, at every AddReport.
  virtual void PerReportObject(std::shared_ptr<IComponent> object) = 0;
  virtual std::shared_ptr<IComponent> PerReportObject() = 0;
  // The text layout service (by reference: reader and writer share it).
  virtual std::shared_ptr<TextLayoutService> TextLayout() = 0;
  virtual void TextLayout(std::shared_ptr<TextLayoutService> service) = 0;

  // Progress of the build: the format being evaluated, progress through it
  // and through the report, in percent.
  Event<const std::string&> FormatName;
  Event<std::int16_t> FormatStatus;
  Event<std::int16_t> ReportStatus;
};

// The evaluator of CPreviewBuilder2. Result elements are read after Run and
// stay the evaluator's; they describe the last Run.
class ExternalEvaluator : public IComponent {
 public:
  // The report definition to build next (a Rep element or a Fav reference).
  virtual void LoadReport(const xml::Node& report) = 0;
  // Builds the loaded report.
  virtual void Run() = 0;
  // The evaluated format (the preview document), or null when there is none.
  virtual xml::Node ResultFormat() = 0;
  // A document owned by the builder, for the elements the evaluator makes.
  virtual void Document(const xml::Document& document) = 0;
  virtual void ContextData(std::shared_ptr<EvalContextData> context) = 0;
  // The page setups (PgBks of PgB records).
  virtual xml::Node PageSetups() = 0;
  // One child per header/footer range, in order: attribute EndRow (the last
  // body row of the range) and four child elements: the header block, its
  // space fillers, the footer block, its space fillers.
  virtual xml::Node HeaderFooterRanges() = 0;
  // One child per reference-index entry: attributes Key (the reference
  // index) and Row (the body row).
  virtual xml::Node BookmarkRefs() = 0;
  // The kept sections (KpSections of Sect records).
  virtual xml::Node KeptSections() = 0;
  // The body space fillers (SpFs of SF records).
  virtual xml::Node BodySpaceFillers() = 0;
  // The path of the file whose appearance cancels the build; "" for none.
  virtual void CancelFile(const std::string& path) = 0;
  // The drill objects of drill key `index` as the children of one element.
  virtual xml::Node DrillItems(std::int32_t index) = 0;
  // The physical page whose number is 1.
  virtual std::int32_t FirstNumberedPage() = 0;
};

// The evaluator of CPreviewBuilder3; the host reads the results from it.
class ExternalEvaluator3 : public IComponent {
 public:
  virtual void LoadReport(const xml::Node& report) = 0;
  virtual void Run() = 0;
  virtual void ContextData(std::shared_ptr<EvalContextData> context) = 0;
  virtual void CancelFile(const std::string& path) = 0;
  // The scale of the layout, in percent.
  virtual std::int32_t Scale() = 0;
  virtual void Scale(std::int32_t percent) = 0;
};

// Offered, besides the evaluator interfaces, by an evaluator that hands out
// more of what its build made; the reference evaluators do. A host reaches
// it with a cast:
//
//   if (auto details = std::dynamic_pointer_cast<orvo::IEvaluatorDetails>(evaluator)) ...
class IEvaluatorDetails {
 public:
  virtual ~IEvaluatorDetails() = default;
  // The header and footer space fillers of the last range (SpFsH, SpFsF).
  virtual xml::Node HeaderSpaceFillers() = 0;
  virtual xml::Node FooterSpaceFillers() = 0;
  // The evaluated bookmarks as RefIndex, one Ref per bookmark with Key,
  // NoteNumber, RefIndex and RefRow.
  virtual xml::Node EvaluatedBookmarks() = 0;
  // The drill keys (DrillKeys of DrillKey with Key, DKey, Pos); drill key
  // DrillItem<n> is what DrillItems(n) answers.
  virtual xml::Node DrillKeys() = 0;
  // The path last written to CancelFile.
  virtual std::string CancelFile() = 0;
};

}  // namespace orvo

#endif  // ORVO_EXTERNAL_EVALUATOR_H_
