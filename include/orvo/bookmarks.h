// Bookmarks, notes and the reference index of a preview build.
//
// cBookMark is a plain description for the host. cEvaluatedBookmark is one
// bookmark as placed in a preview: its note number, key, row and reference
// index. ColEvaluatedBookmarks is the set of evaluated bookmarks of one
// build: the bookmarks by key, the reference index (position k holds the
// bookmark with reference index k; gaps hold empty entries) and a log of row
// changes (rows removed, last row cut) that each bookmark's row is brought up
// to date with when it is read.
//
// Ownership: bookmarks are shared (std::shared_ptr, created with
// std::make_shared); a set holds the bookmarks added to it. A bookmark's
// reference to its set (its parent) does not keep the set alive: once the set
// is gone the bookmark has no parent and keeps the row it last resolved.
//
// Note numbers come from the thread's note counter (companions/note_counter.h),
// shared with the evaluator.
//
// Threading: one thread.
#ifndef ORVO_BOOKMARKS_H_
#define ORVO_BOOKMARKS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvo/collection.h"
#include "orvo/xml.h"

namespace orvo {

class ColEvaluatedBookmarks;

// A bookmark description; the library keeps it only for the host.
class cBookMark {
 public:
  const std::string& BookMarkName() const noexcept { return m_name; }
  void BookMarkName(std::string value) { m_name = std::move(value); }
  const std::string& BookMarkFormat() const noexcept { return m_format; }
  void BookMarkFormat(std::string value) { m_format = std::move(value); }
  bool NoteReference() const noexcept { return m_note_reference; }
  void NoteReference(bool value) noexcept { m_note_reference = value; }

 private:
  std::string m_name;
  std::string m_format;
  bool m_note_reference = false;
};

class cEvaluatedBookmark : public std::enable_shared_from_this<cEvaluatedBookmark> {
 public:
  // Sets the reference index and row of an entry that has no definition node.
  void CreateAsRefKeyOnly(std::int32_t RefIndex, std::int32_t RefRow);
  // Takes the definition node (a `BMk` element), its row and its note number:
  // when its `Note` attribute is true, `NoteNumber`, or the next number of the
  // thread's note counter when that is -1; -1 when it is not a note. The key
  // is the node's `Key`. A `Note` text that is not Boolean raises the type
  // mismatch; a missing one means not a note.
  void EvaluateBookmark(const xml::Node& bookmark, std::int32_t RefRow,
                        std::int32_t NoteNumber = -1);

  const xml::Node& bookmark() const noexcept { return m_bookmark; }
  std::int32_t NoteNumber() const noexcept { return m_note_number; }
  // The row, first brought up to date with the row changes its set logged
  // since it was last read.
  std::int32_t RefRow();
  const std::string& Key() const noexcept { return m_key; }
  std::int32_t RefIndex() const noexcept { return m_ref_index; }

  // For the library only.
  void SetRefIndex(std::int32_t ref_index) noexcept { m_ref_index = ref_index; }
  // The set the bookmark was added to, or null.
  ColEvaluatedBookmarks* ParentCollection() const;
  // Makes `parent` the bookmark's set and adds it there (ColEvaluatedBookmarks::Add).
  void ParentCollection(ColEvaluatedBookmarks& parent);
  // A note (number 1 or more) whose up-to-date row is below `CurrentRow`
  // has its number raised by `Offset`.
  void AdjustNoteNumber(std::int32_t Offset, std::int32_t CurrentRow);

 private:
  friend class ColEvaluatedBookmarks;

  xml::Node m_bookmark;
  std::int32_t m_note_number = 0;
  std::int32_t m_ref_row = 0;
  std::string m_key;
  std::int32_t m_ref_index = -1;
  // Expires with the set, so a bookmark never reaches a destroyed set.
  std::weak_ptr<ColEvaluatedBookmarks*> m_parent;
  // First row-change record of the set not yet applied to m_ref_row.
  std::int32_t m_sequence_number = 0;
};

class ColEvaluatedBookmarks {
 public:
  using Bookmark = std::shared_ptr<cEvaluatedBookmark>;

  ColEvaluatedBookmarks();
  ColEvaluatedBookmarks(const ColEvaluatedBookmarks&) = delete;
  ColEvaluatedBookmarks& operator=(const ColEvaluatedBookmarks&) = delete;
  ~ColEvaluatedBookmarks();

  // The reference index of the bookmark with that key, given the next free
  // one (and appended to the reference index) when it had none; -1 when no
  // bookmark has the key.
  std::int32_t CreateRefIndexFor(const std::string& Key);
  // The bookmark at that position of the reference index; null when the
  // position is outside it or holds an empty entry.
  Bookmark FindByRefIndex(std::int32_t Index) const;
  // The bookmark with that key (any letter case), or null.
  Bookmark Item(const std::string& Key) const;
  // The number of bookmarks added, and the one added in place `position`
  // (from 1; null outside 1..Count()).
  std::int32_t Count() const noexcept { return m_by_key.Count(); }
  Bookmark ItemAt(std::int32_t position) const;
  // AdjustNoteNumber on every bookmark of the reference index, in order.
  void AdjustNoteNumbers(std::int32_t Offset, std::int32_t CurrentRow);
  // Adds the bookmark under its key and makes this set its parent; only row
  // changes logged from now on apply to it. Its sequence number is stored in
  // `*SequenceNumber` when given. A key already in the set fails with
  // kErrDuplicateKey (the bookmark's parent is then already this set).
  void Add(const Bookmark& EvalBookmark, std::int32_t* SequenceNumber = nullptr);
  // Log a last-row cut at `Row` / a removal of row `Row`.
  void UpdateMaxRow(std::int32_t Row);
  void UpdateRemoveRow(std::int32_t Row);
  // A detached element named `tagName` with one `Ref Key Name Row` per entry
  // of the reference index; an empty entry gives a `Ref` with `Key` only.
  xml::Node GetAsXML(std::string_view tagName) const;
  // Puts the bookmark at its own reference index, replacing what stands
  // there or padding with empty entries. A reference index below 1, or more
  // than 100,000 past the end, raises the bounds failure.
  void AddAsRefKeyOnly(const Bookmark& EvalBookmark);

  // For the library: 1 + the number of logged row changes.
  std::int32_t NextSequenceNumber() const noexcept;
  // `row` after the row changes logged from record `from_sequence` on.
  std::int32_t ReplayRowChanges(std::int32_t from_sequence, std::int32_t row) const;

 private:
  friend class cEvaluatedBookmark;

  enum class RowChange : std::int32_t { kMaxRow = 0, kRemovedRow = 1 };
  struct RowChangeRecord {
    RowChange kind;
    std::int32_t row;
  };

  Collection<Bookmark> m_by_key;
  Collection<Bookmark> m_ref_index;  // null = empty entry
  std::vector<RowChangeRecord> m_row_changes;
  std::shared_ptr<ColEvaluatedBookmarks*> m_self;
};

}  // namespace orvo

#endif  // ORVO_BOOKMARKS_H_
