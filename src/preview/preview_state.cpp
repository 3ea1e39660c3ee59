#include "preview/preview_state.h"

#include <charconv>
#include <utility>

#include "companions/note_counter.h"
#include "frame/text.h"
#include "frame/thread_context.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr char kSeparator = '\x1f';

std::optional<std::int64_t> RowNumberOf(std::string_view text) {
  text = Trim(text);
  std::int64_t row = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), row);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return row;
}

}  // namespace

std::string PrintConditionRecords::IndexKey(std::string_view format, std::string_view key) {
  std::string joined(format);
  joined.push_back(kSeparator);
  joined.append(key);
  return joined;
}

void PrintConditionRecords::Reset(xml::Node list) {
  m_list = std::move(list);
  m_index.clear();
}

xml::Node PrintConditionRecords::Find(std::string_view format, std::string_view key) const {
  auto found = m_index.find(IndexKey(format, key));
  return found == m_index.end() ? xml::Node() : found->second;
}

void PrintConditionRecords::Put(const xml::Node& record) {
  xml::Node& indexed =
      m_index[IndexKey(record.AttributeOr("Fmt", ""), record.AttributeOr("Key", ""))];
  if (indexed && indexed.ParentNode() == m_list) {
    m_list.ReplaceChild(record, indexed);
  } else {
    m_list.AppendChild(record);
  }
  indexed = record;
}

void PrintConditionRecords::Remove(std::string_view format, std::string_view key) {
  auto found = m_index.find(IndexKey(format, key));
  if (found == m_index.end()) return;
  if (found->second.ParentNode() == m_list) m_list.RemoveChild(found->second);
  m_index.erase(found);
}

void RowRecords::Reset(xml::Node list) {
  m_list = std::move(list);
  m_index.clear();
}

xml::Node RowRecords::Find(std::int64_t row) const {
  auto found = m_index.find(row);
  return found == m_index.end() ? xml::Node() : found->second;
}

void RowRecords::Add(const xml::Node& record) {
  xml::Node copy = m_list.AppendChild(record.CloneNode(true));
  if (const std::optional<std::int64_t> row = RowNumberOf(copy.Text())) {
    m_index.emplace(*row, copy);
  }
}

SharedPreviewState& SharedPreviewState::StartReportBuild(const Containers& containers) {
  ThreadContext::Current().ResetForBuild();
  SharedPreviewState& state = ThreadPreviewState();
  state.page_setups = containers.page_setups;
  state.body_fillers = containers.body_fillers;
  state.header_fillers = containers.header_fillers;
  state.footer_fillers = containers.footer_fillers;
  state.print_conditions.Reset(containers.print_conditions);
  state.print_conditions_2 = containers.print_conditions_2;
  state.named_ranges = containers.named_ranges;
  state.included_notes = containers.included_notes;
  state.rows_to_ignore = containers.rows_to_ignore;
  state.kept_sections = containers.kept_sections;
  ThreadNoteCounter() = 0;
  state.page_counter = 1;
  return state;
}

void SharedPreviewState::EmptyResults(const Containers& containers,
                                      std::vector<std::shared_ptr<void>>& released) {
  for (xml::Node* result :
       {&page_setups, &body_fillers, &header_fillers, &footer_fillers, &kept_sections}) {
    released.push_back(std::make_shared<xml::Node>(std::move(*result)));
  }
  page_setups = containers.page_setups;
  body_fillers = containers.body_fillers;
  header_fillers = containers.header_fillers;
  footer_fillers = containers.footer_fillers;
  kept_sections = containers.kept_sections;
  released.push_back(std::exchange(bookmarks, std::make_shared<ColEvaluatedBookmarks>()));
  bookmark_keys.clear();
  released.push_back(std::move(m_drill_down));
  released.push_back(std::move(m_headers));
  released.push_back(std::move(m_footers));
}

void SharedPreviewState::DropDrillDown() { m_drill_down.reset(); }

std::shared_ptr<cDrillDown> SharedPreviewState::DrillDown() {
  if (!m_drill_down) m_drill_down = std::make_shared<cDrillDown>();
  return m_drill_down;
}

std::shared_ptr<cHeaderFooter> SharedPreviewState::Headers() {
  if (!m_headers) m_headers = std::make_shared<cHeaderFooter>();
  return m_headers;
}

std::shared_ptr<cHeaderFooter> SharedPreviewState::Footers() {
  if (!m_footers) {
    m_footers = std::make_shared<cHeaderFooter>();
    m_footers->IsFooter(true);
  }
  return m_footers;
}

void SharedPreviewState::ReleaseSharedCollections() {
  m_headers.reset();
  m_footers.reset();
  bookmarks = std::make_shared<ColEvaluatedBookmarks>();
}

namespace {

// The host's status object, kept for the thread's life.
struct PreviewStatusSlot {
  std::shared_ptr<IPreviewStatus> status;
};

}  // namespace

void SharedPreviewState::NotifyStatus(std::optional<std::int32_t> value) {
  std::shared_ptr<IPreviewStatus>& status = PerThread<PreviewStatusSlot>().status;
  if (!status) {
    // A host may do without a status object.
    ResumeNext optional_status;
    optional_status.Step(
        [&] { status = ComponentRegistry::CreateAs<IPreviewStatus>(kPreviewStatusId); });
    if (!status) return;
  }
  status->UpdateStatus(value);
}

SharedPreviewState& ThreadPreviewState() { return ThreadContext::Current().PreviewState().Get(); }

}  // namespace orvo
