// The shared preview state: the result records and companion objects one
// report build fills and the host reads afterwards.
//
// There is one per thread, shared by every preview builder on it (the last
// build wins): the thread context's build part (frame/thread_context.h),
// reached through ThreadPreviewState(). StartReportBuild() starts a report
// build: the thread context's build part is cleared (a new state, the note
// counter 0), and the new state takes new empty containers; its bookmarks
// and dependency table are new, the drill-down object and the header and
// footer collections are made again on first read, the page counter is 1.
// Nodes and objects handed out before stay valid for whoever holds them but
// no longer change.
//
// Containers are created by the caller (in its own document) and handed to
// Reset, so the records the builder appends never cross documents.
//
// Lookups the build makes per item are indexed here, in step with the XML:
// print-condition records by format and item key, row records by row
// number. Everything else is appended and read in document order.
//
// Threading: one thread; nothing locks.
#ifndef ORVO_PREVIEW_PREVIEW_STATE_H_
#define ORVO_PREVIEW_PREVIEW_STATE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvo/bookmarks.h"
#include "orvo/dependency_table.h"
#include "orvo/drill_down.h"
#include "orvo/header_footer.h"
#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo {

// The print-condition records (EPRC: Fmt, Key, Value, RptKey, RptIndex) of a
// build, found again by format and item key.
class PrintConditionRecords {
 public:
  void Reset(xml::Node list);
  const xml::Node& List() const { return m_list; }
  // The record of a format's item key, or null.
  xml::Node Find(std::string_view format, std::string_view key) const;
  // Appends `record`, replacing the earlier record of its format and key.
  void Put(const xml::Node& record);
  // Removes the record of a format's item key, when there is one.
  void Remove(std::string_view format, std::string_view key);

 private:
  static std::string IndexKey(std::string_view format, std::string_view key);
  xml::Node m_list;
  std::unordered_map<std::string, xml::Node> m_index;
};

// The row list (Rows): one Row record (Del, Keep; text = body row number)
// per body row whose fate format evaluation settled.
class RowRecords {
 public:
  void Reset(xml::Node list);
  const xml::Node& List() const { return m_list; }
  // The record of a body row, or null.
  xml::Node Find(std::int64_t row) const;
  // Appends a copy of `record` for its row (its text).
  void Add(const xml::Node& record);

 private:
  xml::Node m_list;
  std::unordered_map<std::int64_t, xml::Node> m_index;
};

class SharedPreviewState {
 public:
  // The containers, in the order StartReportBuild takes them.
  struct Containers {
    xml::Node page_setups;         // PgBks
    xml::Node body_fillers;        // SpFs
    xml::Node header_fillers;      // SpFsH
    xml::Node footer_fillers;      // SpFsF
    xml::Node print_conditions;    // EPRCs
    xml::Node print_conditions_2;  // the second EPRCs
    xml::Node named_ranges;        // NRgs
    xml::Node included_notes;      // IncNotes
    xml::Node rows_to_ignore;      // RowsToIgnore
    xml::Node kept_sections;       // KpSections
  };

  // Starts a report build with these new empty containers: the thread's
  // state is made anew. Returns the new state.
  static SharedPreviewState& StartReportBuild(const Containers& containers);

  // Replaces what a host reads with new empty results: the page setups,
  // space fillers and kept sections by the elements of `containers` (the
  // others are not used), and new header and footer collections, bookmarks
  // and drill-down object on first read. What they held is appended to
  // `released`, for the caller to free when it chooses.
  void EmptyResults(const Containers& containers, std::vector<std::shared_ptr<void>>& released);

  // Created on first read, dropped by Reset.
  std::shared_ptr<cDrillDown> DrillDown();
  void DropDrillDown();
  std::shared_ptr<cHeaderFooter> Headers();
  std::shared_ptr<cHeaderFooter> Footers();
  // Drops the header and footer collections (the next read makes empty
  // ones) and replaces the bookmarks by a new empty set: what the
  // delegating builders fill from their evaluator's answers.
  void ReleaseSharedCollections();
  // Calls the host's status object (kPreviewStatusId, created on first use
  // and kept for the thread) with `value` and two omitted arguments; nothing
  // when no status object can be created.
  static void NotifyStatus(std::optional<std::int32_t> value);

  xml::Node page_setups;
  xml::Node body_fillers;
  xml::Node header_fillers;
  xml::Node footer_fillers;
  PrintConditionRecords print_conditions;
  xml::Node print_conditions_2;
  xml::Node named_ranges;
  xml::Node included_notes;
  xml::Node rows_to_ignore;
  xml::Node kept_sections;
  std::shared_ptr<ColEvaluatedBookmarks> bookmarks = std::make_shared<ColEvaluatedBookmarks>();
  // The keys of the bookmarks evaluated in this build, in the order met.
  std::vector<std::string> bookmark_keys;
  std::int32_t page_counter = 1;
  std::shared_ptr<CDependencyTable> dependencies = std::make_shared<CDependencyTable>();

 private:
  std::shared_ptr<cDrillDown> m_drill_down;
  std::shared_ptr<cHeaderFooter> m_headers;
  std::shared_ptr<cHeaderFooter> m_footers;
};

// The calling thread's shared preview state (made empty on first use).
SharedPreviewState& ThreadPreviewState();

}  // namespace orvo

#endif  // ORVO_PREVIEW_PREVIEW_STATE_H_
