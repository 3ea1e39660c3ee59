// The instance state of one preview builder (CPreviewBuilder's
// implementation), shared by the pieces of the build pipeline.
//
// The builder owns its evaluators, parser, record templates, scratch
// document and result formats; the shared preview state (preview_state.h)
// belongs to the thread. Every record and result element of a build is made
// in the scratch document, so nothing crosses documents while items move
// between results.
//
// Threading: one thread (the builder's).
#ifndef ORVO_PREVIEW_BUILDER_STATE_H_
#define ORVO_PREVIEW_BUILDER_STATE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "evaluate/evaluate.h"
#include "evaluate/placed_items.h"
#include "frame/int16.h"
#include "orvo/enums.h"
#include "orvo/parser.h"
#include "orvo/xml.h"
#include "preview/data_columns.h"
#include "preview/format_library.h"
#include "preview/preview_state.h"
#include "preview/record_templates.h"
#include "preview/result_format.h"

namespace orvo {

// The progress events, raised through the builder's public events.
struct ProgressEvents {
  std::function<void(const std::string&)> format_name;
  std::function<void(Int16)> format_status;
  std::function<void(Int16)> report_status;
};

// Thrown on the builder's thread when its cancel check answers true, and
// caught only by CreatePreview, which empties the results and reports the
// cancellation failure. It is no orvo::Error, so neither the per-report
// failure handling nor a ResumeNext around a step takes it for a failure of
// that step: the whole queue stops.
struct BuildCancelled {};

// The cancel check is asked between formats and between evaluation passes,
// and inside a step whose length grows with the report (row copies, rows,
// pending items, rows appended or deleted) once kCancelPollTime has passed
// or kCancelCheckInterval rows have been handled since it was last asked.
// A repeat expanded over 40,000 accounts takes seconds to copy, evaluate,
// append and write, and a thousand rows of it may take half a second on a
// busy machine: the clock (a few nanoseconds a row) keeps the answer to a
// cancellation near the poll time, and the count bounds the rows handled
// after the check would have answered true whatever the clock says.
inline constexpr std::size_t kCancelCheckInterval = 1000;
inline constexpr std::chrono::milliseconds kCancelPollTime{50};

// A percentage as the events carry it: nearest whole number, ties to even.
Int16 Percent(double part, double whole);

// Keeps the index of placed items, which cell and range references read,
// in step with the results of a build.
class PlacedItemsHooks : public PlacementObserver {
 public:
  PlacedItemsHooks() : m_items(std::make_shared<PlacedItems>()) {}
  const std::shared_ptr<PlacedItems>& Items() const { return m_items; }

  void ItemPlaced(const xml::Node& format, const xml::Node& item,
                  const xml::Node& replaced) override;
  void RowDeleted(const xml::Node& format, std::int32_t number, const xml::Node& row) override;
  void RowIgnored(const xml::Node& record) override;

 private:
  std::shared_ptr<PlacedItems> m_items;
};

// The repeat context of a row copy: its record list, 1-based position and
// repeat key.
struct RepeatContext {
  xml::Node list;
  std::int32_t position = 0;
  std::string key;
};

struct BuilderState {
  BuilderState();
  ~BuilderState();

  // Construction (before Init).
  xml::Document scratch;  // the builder's scratch document
  RecordTemplates templates;
  xml::Node page_break;  // m_objAttPageBreak: the attribute PgBk = "-1"
  EProcessingMode processing_mode = enmSychronous;
  ProgressEvents events;
  std::function<bool()> cancel_check;  // SetCancelCheck's; empty: never cancelled

  // Init.
  std::unique_ptr<cEvaluate> evaluator;
  std::unique_ptr<cEvaluate> second_evaluator;
  std::unique_ptr<cParser> parser;
  Int16 print_column = 0;
  Int16 column_header_column = 0;
  Int16 zero_column = 0;
  Int16 first_column = 1;  // the column number of "A"
  xml::Node page_number_item;
  xml::Node output;   // EvaluatedFormat: the output document's element
  xml::Node columns;  // Cols, built by the first CreateCellsToDo

  // The queue (Reps) after the first ResetQueue.
  xml::Node queue;

  // The current build.
  PlacedItemsHooks placed_items;
  std::unique_ptr<ResultFormat> body;
  std::unique_ptr<ResultFormat> header;
  std::unique_ptr<ResultFormat> footer;
  RowRecords rows;
  xml::Node row_items;  // the build's Itms element
  FormatLibraryIndex format_library;
  DataColumnScope data_columns;
  xml::Node data_column_override;
  bool uses_data_columns = false;
  Int16 orientation = 1;
  std::int32_t sections_done = 0;
  std::int32_t section_total = 0;
  std::int32_t current_row = 0;  // answered to the evaluator's GetCurrentRow
  bool row_list = true;          // Row records are made (body rows only)
  std::string last_page_setup;   // the XML text of the last page setup written
  std::unordered_map<std::int32_t, xml::Node> page_setups;  // PgB by row
  // Repeat lists by repeat key, for items evaluated again outside their row.
  std::unordered_map<std::string, xml::Node> repeat_lists;
  // Deferred row print conditions of header and footer formats (they make
  // no Row records), held so their addresses stay theirs.
  std::unordered_map<const void*, xml::Node> header_footer_conditions;

  // Set by a CheckCancel that stopped the build, cleared when CreatePreview
  // starts. While it is set, the steps that unwind hand their half-built
  // trees to `parked` instead of freeing them: freeing tens of thousands of
  // rows takes longer than the answer to a cancellation may, so they are
  // freed when the next CreatePreview starts or the builder is released.
  // (Declared after everything they may refer to, so released first.)
  bool cancelled = false;
  std::vector<std::shared_ptr<void>> parked;

  // Starts a report build: the per-report state above, the shared preview
  // state and new body, header and footer results.
  void ResetForReport();
  // New empty header and footer results (a closed range starts them again).
  void NewHeaderFooterResults();

  // Registers / forgets a result format items may stand in.
  void Register(ResultFormat& result);
  void Forget(ResultFormat& result);
  // The registered result format whose row holds `item`, or null.
  ResultFormat* OwnerOf(const xml::Node& item) const;

  // A new empty format element (the format provider's) in the scratch document.
  xml::Node NewFormatElement() const;
  // The builder's copy of the format an entry names (data columns inserted),
  // or null when the library has none.
  xml::Node LookUpFormat(const std::string& name);

  // The bookmark and named-range definitions of a format (its key upper case).
  const std::vector<xml::Node>& BookmarksOf(const std::string& format);
  // Whether `key` (upper case) names a defined bookmark.
  bool IsBookmarkKey(const std::string& key);
  const std::vector<xml::Node>& NamedRangesOf(const std::string& format);
  // Values a named range of `format` with `formula` into an NR record; one
  // that must wait is valued again by RevalueNamedRanges.
  void ValueNamedRange(const std::string& name, const std::string& format,
                       const std::string& formula);
  void RevalueNamedRanges();
  // Body row `row`, whose print condition holds, stays: a Row record with Del
  // and Keep "0" unless it has one.
  void KeepRow(std::int32_t row, bool body_row);

  // Asks the cancel check; true (and `cancelled` set) when it answers true.
  bool CancelRequested();
  // Throws BuildCancelled when CancelRequested.
  void CheckCancel();
  // CheckCancel once kCancelPollTime has passed or this is the
  // kCancelCheckInterval-th call since the check was last asked; called
  // once per row (or row copy, or pending item) of a long step.
  void PollCancel() {
    if (PollCancelRequested()) throw BuildCancelled{};
  }
  // The same without throwing: true when the check was due and answered true.
  bool PollCancelRequested() {
    if (++m_polls >= kCancelCheckInterval ||
        std::chrono::steady_clock::now() - m_last_check >= kCancelPollTime) {
      return CancelRequested();
    }
    return false;
  }
  // Keeps what a cancelled step leaves behind (see `parked`).
  void Park(const xml::Node& tree);
  void Park(std::shared_ptr<void> object) { parked.push_back(std::move(object)); }
  // After a cancelled build: no preview document, and new empty results in
  // the thread's shared preview state (no page setups, space fillers, kept
  // sections, header and footer rows, bookmarks or drill-down keys); what
  // they held is parked.
  void DropResults();

  // Raise the events (when a handler is connected).
  void FormatName(const std::string& name) const;
  void FormatStatus(Int16 status) const;
  void ReportStatus(Int16 status) const;

 private:
  std::size_t m_polls = 0;  // PollCancel calls since the check was last asked
  std::chrono::steady_clock::time_point m_last_check = std::chrono::steady_clock::now();

  // The thread's shared preview state made anew, with empty containers.
  SharedPreviewState& StartSharedState();
  SharedPreviewState::Containers NewResultContainers();
  void IndexDefinitions();

  std::unordered_map<const void*, ResultFormat*> m_results;
  bool m_definitions_indexed = false;
  std::unordered_map<std::string, std::vector<xml::Node>> m_bookmarks;
  std::unordered_set<std::string> m_bookmark_keys;
  std::unordered_map<std::string, std::vector<xml::Node>> m_named_ranges;
  struct PendingNamedRange {
    xml::Node record;  // its NR
    xml::Node item;    // the item it is valued with
  };
  std::vector<PendingNamedRange> m_pending_named_ranges;
};

}  // namespace orvo

#endif  // ORVO_PREVIEW_BUILDER_STATE_H_
