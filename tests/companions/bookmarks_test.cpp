#include "orvo/bookmarks.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "companions/note_counter.h"
#include "orvo/error.h"

namespace orvo {
namespace {

class Definitions {
 public:
  Definitions() : m_document(xml::Document::Parse("<BMks/>")) {}

  xml::Node Make(const std::string& key, const std::string& note) {
    xml::Node node = m_document.CreateElement("BMk");
    node.SetAttribute("Key", key);
    if (!note.empty()) node.SetAttribute("Note", note);
    return m_document.DocumentElement().AppendChild(node);
  }

 private:
  xml::Document m_document;
};

using Bookmark = ColEvaluatedBookmarks::Bookmark;

Bookmark Evaluated(Definitions& definitions, const std::string& key, std::int32_t row,
                   const std::string& note = "0", std::int32_t note_number = -1) {
  auto bookmark = std::make_shared<cEvaluatedBookmark>();
  bookmark->EvaluateBookmark(definitions.Make(key, note), row, note_number);
  return bookmark;
}

TEST(BookMark, FreshObjectsHoldTheirStartingValues) {
  cBookMark description;
  EXPECT_EQ(description.BookMarkName() + description.BookMarkFormat(), "");
  EXPECT_FALSE(description.NoteReference());
  description.NoteReference(true);
  EXPECT_TRUE(description.NoteReference());

  cEvaluatedBookmark fresh;
  EXPECT_TRUE(fresh.bookmark().IsNull());
  EXPECT_EQ(fresh.NoteNumber(), 0);
  EXPECT_EQ(fresh.RefRow(), 0);
  EXPECT_EQ(fresh.RefIndex(), -1);
  EXPECT_EQ(fresh.ParentCollection(), nullptr);
}

TEST(EvaluatedBookmark, NotesAreNumberedFromTheThreadCounter) {
  Definitions definitions;
  ThreadNoteCounter() = 0;
  const Bookmark first = Evaluated(definitions, "N1", 3, "-1");
  const Bookmark second = Evaluated(definitions, "N2", 4, "True");
  const Bookmark fixed = Evaluated(definitions, "N3", 5, "-1", 7);
  const Bookmark plain = Evaluated(definitions, "B1", 6, "0");
  const Bookmark unmarked = Evaluated(definitions, "B2", 6, "");
  EXPECT_EQ(first->NoteNumber(), 1);
  EXPECT_EQ(second->NoteNumber(), 2);
  EXPECT_EQ(fixed->NoteNumber(), 7);
  EXPECT_EQ(ThreadNoteCounter(), 2);
  EXPECT_EQ(plain->NoteNumber(), -1);
  EXPECT_EQ(unmarked->NoteNumber(), -1);
  EXPECT_EQ(first->Key(), "N1");
  EXPECT_EQ(first->RefRow(), 3);

  // Only notes whose row lies beyond the current row move.
  first->AdjustNoteNumber(10, 3);
  second->AdjustNoteNumber(10, 3);
  plain->AdjustNoteNumber(10, 0);
  EXPECT_EQ(first->NoteNumber(), 1);
  EXPECT_EQ(second->NoteNumber(), 12);
  EXPECT_EQ(plain->NoteNumber(), -1);

  auto broken = std::make_shared<cEvaluatedBookmark>();
  EXPECT_THROW(broken->EvaluateBookmark(definitions.Make("X", "maybe"), 1), Error);
  EXPECT_EQ(ThreadNoteCounter(), 2);
}

TEST(EvaluatedBookmarks, RowsFollowOnlyTheChangesLoggedAfterAdding) {
  Definitions definitions;
  ColEvaluatedBookmarks set;
  const Bookmark early = Evaluated(definitions, "EARLY", 10);
  std::int32_t sequence = 0;
  set.Add(early, &sequence);
  EXPECT_EQ(sequence, 1);
  EXPECT_EQ(early->ParentCollection(), &set);

  set.UpdateRemoveRow(5);   // 10 -> 9
  set.UpdateRemoveRow(12);  // below the bookmark: no change
  set.UpdateMaxRow(8);      // 9 -> 8
  const Bookmark late = Evaluated(definitions, "LATE", 10);
  late->ParentCollection(set);
  EXPECT_EQ(set.Item("late"), late);

  EXPECT_EQ(early->RefRow(), 8);
  EXPECT_EQ(early->RefRow(), 8);  // records are applied once
  EXPECT_EQ(late->RefRow(), 10);
  set.UpdateRemoveRow(2);
  EXPECT_EQ(early->RefRow(), 7);
  EXPECT_EQ(late->RefRow(), 9);

  // Adding a key twice fails; the first bookmark stays.
  const Bookmark twin = Evaluated(definitions, "Early", 1);
  try {
    set.Add(twin);
    FAIL() << "duplicate key";
  } catch (const Error& failure) {
    EXPECT_EQ(failure.Number(), kErrDuplicateKey);
  }
  EXPECT_EQ(set.Item("EARLY"), early);
  EXPECT_EQ(set.Item("nothing"), nullptr);
}

TEST(EvaluatedBookmarks, ReferenceIndexNumbersBookmarksOnFirstUse) {
  Definitions definitions;
  ColEvaluatedBookmarks set;
  const Bookmark a = Evaluated(definitions, "A", 4);
  const Bookmark b = Evaluated(definitions, "B", 6);
  set.Add(a);
  set.Add(b);

  EXPECT_EQ(set.CreateRefIndexFor("B"), 1);
  EXPECT_EQ(set.CreateRefIndexFor("b"), 1);
  EXPECT_EQ(set.CreateRefIndexFor("A"), 2);
  EXPECT_EQ(set.CreateRefIndexFor("NONE"), -1);
  EXPECT_EQ(set.FindByRefIndex(1), b);
  EXPECT_EQ(set.FindByRefIndex(2), a);
  EXPECT_EQ(set.FindByRefIndex(3), nullptr);
  EXPECT_EQ(set.FindByRefIndex(0), nullptr);

  set.UpdateRemoveRow(1);
  EXPECT_EQ(set.GetAsXML("RefIndex").Xml(),
            "<RefIndex><Ref Key=\"1\" Name=\"B\" Row=\"5\"/><Ref Key=\"2\" Name=\"A\" Row=\"3\"/>"
            "</RefIndex>");
  EXPECT_EQ(ColEvaluatedBookmarks().GetAsXML("R").Xml(), "<R/>");
}

TEST(EvaluatedBookmarks, AdjustNoteNumbersWalksTheReferenceIndex) {
  Definitions definitions;
  ThreadNoteCounter() = 0;
  ColEvaluatedBookmarks set;
  const Bookmark indexed = Evaluated(definitions, "N1", 20, "-1");
  const Bookmark unindexed = Evaluated(definitions, "N2", 20, "-1");
  set.Add(indexed);
  set.Add(unindexed);
  set.CreateRefIndexFor("N1");
  set.UpdateRemoveRow(1);  // both now stand on row 19
  set.AdjustNoteNumbers(5, 19);
  EXPECT_EQ(indexed->NoteNumber(), 1);
  set.AdjustNoteNumbers(5, 18);
  EXPECT_EQ(indexed->NoteNumber(), 6);
  EXPECT_EQ(unindexed->NoteNumber(), 2);
}

TEST(EvaluatedBookmarks, RefKeyOnlyEntriesStandAtTheirOwnIndex) {
  ColEvaluatedBookmarks set;
  auto third = std::make_shared<cEvaluatedBookmark>();
  third->CreateAsRefKeyOnly(3, 40);
  set.AddAsRefKeyOnly(third);
  EXPECT_EQ(set.FindByRefIndex(1), nullptr);
  EXPECT_EQ(set.FindByRefIndex(2), nullptr);
  EXPECT_EQ(set.FindByRefIndex(3), third);
  EXPECT_EQ(third->ParentCollection(), nullptr);

  auto second = std::make_shared<cEvaluatedBookmark>();
  second->CreateAsRefKeyOnly(2, 30);
  set.AddAsRefKeyOnly(second);
  auto replacement = std::make_shared<cEvaluatedBookmark>();
  replacement->CreateAsRefKeyOnly(3, 50);
  set.AddAsRefKeyOnly(replacement);
  EXPECT_EQ(set.FindByRefIndex(2), second);
  EXPECT_EQ(set.FindByRefIndex(3), replacement);
  EXPECT_EQ(set.GetAsXML("RefIndex").Xml(),
            "<RefIndex><Ref Key=\"1\"/><Ref Key=\"2\" Name=\"\" Row=\"30\"/>"
            "<Ref Key=\"3\" Name=\"\" Row=\"50\"/></RefIndex>");
  set.AdjustNoteNumbers(1, 0);  // empty entries are skipped

  auto unindexed = std::make_shared<cEvaluatedBookmark>();
  EXPECT_THROW(set.AddAsRefKeyOnly(unindexed), Error);
  auto wild = std::make_shared<cEvaluatedBookmark>();
  wild->CreateAsRefKeyOnly(INT32_MAX, 1);
  EXPECT_THROW(set.AddAsRefKeyOnly(wild), Error);
  EXPECT_EQ(set.GetAsXML("R").ChildNodes().Length(), 3u);
}

TEST(EvaluatedBookmarks, BookmarksOutliveTheirSet) {
  Definitions definitions;
  const Bookmark kept = Evaluated(definitions, "K", 12);
  {
    ColEvaluatedBookmarks set;
    set.Add(kept);
    set.UpdateRemoveRow(1);
    EXPECT_EQ(kept->RefRow(), 11);
    set.UpdateRemoveRow(1);
  }
  EXPECT_EQ(kept->ParentCollection(), nullptr);
  EXPECT_EQ(kept->RefRow(), 11);  // the unread change went with the set

  // A bookmark moved to a second set follows that set's log from then on.
  ColEvaluatedBookmarks first;
  ColEvaluatedBookmarks second;
  first.Add(kept);
  first.UpdateRemoveRow(1);
  second.Add(kept);
  second.UpdateMaxRow(5);
  EXPECT_EQ(kept->ParentCollection(), &second);
  EXPECT_EQ(kept->RefRow(), 5);
}

}  // namespace
}  // namespace orvo
