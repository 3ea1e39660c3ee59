#include "orvo/bookmarks.h"

#include <algorithm>

#include "companions/note_counter.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr std::int32_t kMaxRefIndexGap = 100000;

}  // namespace

void cEvaluatedBookmark::CreateAsRefKeyOnly(std::int32_t RefIndex, std::int32_t RefRow) {
  m_ref_index = RefIndex;
  m_ref_row = RefRow;
}

void cEvaluatedBookmark::EvaluateBookmark(const xml::Node& bookmark, std::int32_t RefRow,
                                          std::int32_t NoteNumber) {
  if (!bookmark) RaiseObjectRequired();
  m_bookmark = bookmark;
  const auto note = bookmark.GetAttribute("Note");
  if (note && TextToBoolean(*note)) {
    m_note_number = NoteNumber == -1 ? NextNoteNumber() : NoteNumber;
  } else {
    m_note_number = -1;
  }
  m_ref_row = RefRow;
  m_key = bookmark.AttributeOr("Key", "");
}

std::int32_t cEvaluatedBookmark::RefRow() {
  if (const ColEvaluatedBookmarks* parent = ParentCollection()) {
    m_ref_row = parent->ReplayRowChanges(m_sequence_number, m_ref_row);
    m_sequence_number = parent->NextSequenceNumber();
  }
  return m_ref_row;
}

ColEvaluatedBookmarks* cEvaluatedBookmark::ParentCollection() const {
  const auto parent = m_parent.lock();
  return parent ? *parent : nullptr;
}

void cEvaluatedBookmark::ParentCollection(ColEvaluatedBookmarks& parent) {
  m_parent = parent.m_self;
  parent.Add(shared_from_this());
}

void cEvaluatedBookmark::AdjustNoteNumber(std::int32_t Offset, std::int32_t CurrentRow) {
  if (m_note_number >= 1 && RefRow() > CurrentRow) {
    m_note_number = AddLong(m_note_number, Offset);
  }
}

ColEvaluatedBookmarks::ColEvaluatedBookmarks()
    : m_self(std::make_shared<ColEvaluatedBookmarks*>(this)) {
  m_row_changes.reserve(16);
}

ColEvaluatedBookmarks::~ColEvaluatedBookmarks() {
  // Bookmarks held elsewhere lose their parent here (m_self expires).
  m_by_key.Clear();
  m_ref_index.Clear();
}

std::int32_t ColEvaluatedBookmarks::CreateRefIndexFor(const std::string& Key) {
  const Bookmark* found = m_by_key.Find(Key);
  if (!found || !*found) return -1;
  cEvaluatedBookmark& bookmark = **found;
  if (bookmark.m_ref_index < 0) {
    m_ref_index.Add(*found);
    bookmark.m_ref_index = m_ref_index.Count();
  }
  return bookmark.m_ref_index;
}

ColEvaluatedBookmarks::Bookmark ColEvaluatedBookmarks::FindByRefIndex(std::int32_t Index) const {
  if (Index < 1 || Index > m_ref_index.Count()) return nullptr;
  return m_ref_index.Item(Index);
}

ColEvaluatedBookmarks::Bookmark ColEvaluatedBookmarks::ItemAt(std::int32_t position) const {
  if (position < 1 || position > m_by_key.Count()) return nullptr;
  return m_by_key.Item(position);
}

ColEvaluatedBookmarks::Bookmark ColEvaluatedBookmarks::Item(const std::string& Key) const {
  const Bookmark* found = m_by_key.Find(Key);
  return found ? *found : nullptr;
}

void ColEvaluatedBookmarks::AdjustNoteNumbers(std::int32_t Offset, std::int32_t CurrentRow) {
  for (const Bookmark& bookmark : m_ref_index) {
    if (bookmark) bookmark->AdjustNoteNumber(Offset, CurrentRow);
  }
}

void ColEvaluatedBookmarks::Add(const Bookmark& EvalBookmark, std::int32_t* SequenceNumber) {
  if (!EvalBookmark) RaiseObjectRequired();
  // Adopting the bookmark first mirrors setting its parent, which adds it.
  if (EvalBookmark->ParentCollection() != this) EvalBookmark->m_parent = m_self;
  m_by_key.Add(EvalBookmark, EvalBookmark->m_key);
  EvalBookmark->m_sequence_number = NextSequenceNumber();
  if (SequenceNumber) *SequenceNumber = EvalBookmark->m_sequence_number;
}

void ColEvaluatedBookmarks::UpdateMaxRow(std::int32_t Row) {
  m_row_changes.push_back({RowChange::kMaxRow, Row});
}

void ColEvaluatedBookmarks::UpdateRemoveRow(std::int32_t Row) {
  m_row_changes.push_back({RowChange::kRemovedRow, Row});
}

xml::Node ColEvaluatedBookmarks::GetAsXML(std::string_view tagName) const {
  const xml::Document document = xml::Document::Create();
  xml::Node index = document.CreateElement(tagName);
  std::int32_t position = 0;
  for (const Bookmark& bookmark : m_ref_index) {
    ++position;
    xml::Node ref = index.AppendChild(document.CreateElement("Ref"));
    if (!bookmark) {
      ref.SetAttribute("Key", LongToText(position));
      continue;
    }
    ref.SetAttribute("Key", LongToText(bookmark->RefIndex()));
    ref.SetAttribute("Name", bookmark->Key());
    ref.SetAttribute("Row", LongToText(bookmark->RefRow()));
  }
  return index;
}

void ColEvaluatedBookmarks::AddAsRefKeyOnly(const Bookmark& EvalBookmark) {
  if (!EvalBookmark) RaiseObjectRequired();
  const std::int32_t at = EvalBookmark->RefIndex();
  if (at <= m_ref_index.Count()) {
    m_ref_index.Replace(at, EvalBookmark);
    return;
  }
  // The index comes from outside (the delegating builder reads it from the
  // evaluator's answer): a wild one must not fill memory with empty entries.
  if (at - m_ref_index.Count() > kMaxRefIndexGap) RaiseOutOfBounds();
  while (m_ref_index.Count() < at - 1) m_ref_index.Add(nullptr);
  m_ref_index.Add(EvalBookmark);
}

std::int32_t ColEvaluatedBookmarks::NextSequenceNumber() const noexcept {
  return static_cast<std::int32_t>(m_row_changes.size()) + 1;
}

std::int32_t ColEvaluatedBookmarks::ReplayRowChanges(std::int32_t from_sequence,
                                                     std::int32_t row) const {
  const std::size_t first = static_cast<std::size_t>(std::max(from_sequence, 1) - 1);
  for (std::size_t i = first; i < m_row_changes.size(); ++i) {
    const RowChangeRecord& change = m_row_changes[i];
    if (row <= change.row) continue;
    row = change.kind == RowChange::kRemovedRow ? row - 1 : change.row;
  }
  return row;
}

}  // namespace orvo
