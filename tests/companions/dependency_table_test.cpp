#include "orvo/dependency_table.h"

#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"

#include "orvo/error.h"

namespace orvo {
namespace {

using testing::FailureOf;

// Items of a preview document the table points into.
class Items {
 public:
  Items() : m_document(xml::Document::Parse("<Itms/>")) {}

  xml::Node Make(const std::string& key, const std::string& row) {
    xml::Node item = m_document.CreateElement("Itm");
    item.SetAttribute("Key", key);
    item.SetAttribute("Row", row);
    return m_document.DocumentElement().AppendChild(item);
  }
  xml::Node Make(const std::string& key, int row) { return Make(key, std::to_string(row)); }

 private:
  xml::Document m_document;
};

std::vector<std::string> Positions(const xml::NodeList& entries) {
  std::vector<std::string> positions;
  for (const xml::Node& entry : entries) positions.push_back(entry.AttributeOr("Pos", "?"));
  return positions;
}

std::string FirstFree(const CDependencyTable& table) {
  return table.FreeIndex().FirstChild().AttributeOr("Pos", "none");
}

// Every entry names a filled slot, every slot from 1 to the capacity is named
// once or free once, and the indexed lookups agree with queries on Deps.
void ExpectInvariant(const CDependencyTable& table) {
  std::set<int> seen;
  for (const xml::Node& entry : table.DependentIndex().ChildNodes()) {
    const int pos = std::stoi(entry.AttributeOr("Pos", "0"));
    EXPECT_TRUE(seen.insert(pos).second) << "slot named twice: " << pos;
    EXPECT_FALSE(table.DependentItem(entry).IsNull()) << "entry names an empty slot: " << pos;
    const std::string dep = entry.AttributeOr("Dep", "");
    const std::string fmt = entry.AttributeOr("Fmt", "");
    const auto by_query =
        table.DependentIndex().SelectNodes("Itm[@Dep='" + dep + "' and @Fmt='" + fmt + "']");
    EXPECT_EQ(Positions(table.DependentItemsForKey(dep, fmt)), Positions(by_query));
    EXPECT_FALSE(table.IsDependencyCompletelyResolvable(entry.AttributeOr("Key", ""), fmt));
  }
  for (const xml::Node& free : table.FreeIndex().ChildNodes()) {
    const int pos = std::stoi(free.AttributeOr("Pos", "0"));
    EXPECT_TRUE(seen.insert(pos).second) << "slot listed twice: " << pos;
  }
  EXPECT_EQ(static_cast<int>(seen.size()), table.Capacity());
  if (!seen.empty()) {
    EXPECT_EQ(*seen.begin(), 1);
    EXPECT_EQ(*seen.rbegin(), table.Capacity());
  }
}

TEST(DependencyTable, EntryRecordsTheWaitInUpperCase) {
  CDependencyTable table;
  Items items;
  EXPECT_EQ(table.DependentIndex().Xml(), "<Deps/>");
  EXPECT_EQ(table.Capacity(), 250);

  const xml::Node item = items.Make("b12", 15);
  table.AddDependency(item, "a1", "Sales");
  const xml::NodeList entries = table.DependentItemsForKey("A1", "SALES");
  ASSERT_EQ(entries.Length(), 1u);
  EXPECT_EQ(entries.Item(0).Xml(),
            "<Itm Dep=\"A1\" Key=\"B12\" Fmt=\"SALES\" Pos=\"1\" Row=\"12\" ARow=\"15\"/>");
  EXPECT_EQ(table.DependentItem(entries.Item(0)), item);
  EXPECT_EQ(FirstFree(table), "2");
  ExpectInvariant(table);
}

TEST(DependencyTable, SlotsGrowBy250AndFreedSlotsComeBackLast) {
  CDependencyTable table;
  Items items;
  std::vector<xml::Node> entries;
  for (int i = 1; i <= 9; ++i) {
    table.AddDependency(items.Make("A" + std::to_string(i), i), "Z1", "F");
  }
  table.RemoveDependentIndex(table.DependentItemsForKey("Z1", "F").Item(2));  // slot 3
  table.AddDependency(items.Make("B1", 1), "Z1", "F");
  EXPECT_EQ(table.DependentIndex().LastChild().AttributeOr("Pos", ""), "10");

  for (int i = 11; i <= 250; ++i)
    table.AddDependency(items.Make("C" + std::to_string(i), i), "Z2", "F");
  EXPECT_EQ(FirstFree(table), "3");
  table.AddDependency(items.Make("D1", 1), "Z3", "F");
  EXPECT_EQ(table.DependentIndex().LastChild().AttributeOr("Pos", ""), "3");
  EXPECT_EQ(table.Capacity(), 250);
  EXPECT_FALSE(table.FreeIndex().HasChildNodes());

  table.AddDependency(items.Make("D2", 2), "Z3", "F");
  EXPECT_EQ(table.Capacity(), 500);
  EXPECT_EQ(table.DependentIndex().LastChild().AttributeOr("Pos", ""), "251");
  EXPECT_EQ(FirstFree(table), "252");
  EXPECT_EQ(table.FreeIndex().ChildNodes().Length(), 249u);
  ExpectInvariant(table);
}

TEST(DependencyTable, SameDependencyForTheSameRowOnlyRepointsTheSlot) {
  CDependencyTable table;
  Items items;
  const xml::Node first = items.Make("B2", 2);
  const xml::Node second = items.Make("b2", 2);
  table.AddDependency(first, "A1", "F");
  table.AddDependency(second, "a1", "f");
  ASSERT_EQ(table.DependentIndex().ChildNodes().Length(), 1u);
  EXPECT_EQ(table.DependentItem(table.DependentIndex().FirstChild()), second);

  // Another dependency, another format or another item row is a new entry.
  table.AddDependency(second, "A2", "F");
  table.AddDependency(second, "A1", "G");
  table.AddDependency(items.Make("B2", 3), "A1", "F");
  EXPECT_EQ(table.DependentIndex().ChildNodes().Length(), 4u);
  EXPECT_EQ(Positions(table.DependentItemsForKey("a1", "f")), (std::vector<std::string>{"1", "4"}));
  EXPECT_EQ(Positions(table.DependenciesForFormat("f")), (std::vector<std::string>{"1", "2", "4"}));
  ExpectInvariant(table);
}

TEST(DependencyTable, ResolvableOnceEveryEntryOfTheKeyIsGone) {
  CDependencyTable table;
  Items items;
  EXPECT_TRUE(table.IsDependencyCompletelyResolvable("C3", "F"));
  const xml::Node item = items.Make("C3", 3);
  table.AddDependency(item, "A1", "F");
  table.AddDependency(item, "A2", "F");
  EXPECT_FALSE(table.IsDependencyCompletelyResolvable("c3", "f"));
  EXPECT_TRUE(table.IsDependencyCompletelyResolvable("C3", "G"));

  // RemoveDependentItem takes only the first entry of the item.
  table.RemoveDependentItem(item, "F");
  EXPECT_EQ(Positions(table.DependenciesForFormat("F")), std::vector<std::string>{"2"});
  EXPECT_FALSE(table.IsDependencyCompletelyResolvable("C3", "F"));
  table.RemoveDependentItem(item, "f");
  EXPECT_TRUE(table.IsDependencyCompletelyResolvable("C3", "F"));

  // With no entry left it fails and changes nothing.
  const Error failure = FailureOf([&] { table.RemoveDependentItem(item, "F"); });
  EXPECT_NE(failure.Number(), 0);
  EXPECT_EQ(table.FreeIndex().LastChild().AttributeOr("Pos", ""), "2");
  ExpectInvariant(table);
}

TEST(DependencyTable, AdjustDependentRowsMovesEntriesAndKeepsLookupsInStep) {
  CDependencyTable table;
  Items items;
  xml::Node b5 = items.Make("B5", 5);
  const xml::Node c7 = items.Make("C7", 7);
  const xml::Node other = items.Make("B5", 5);
  table.AddDependency(b5, "A1", "F");
  table.AddDependency(c7, "A1", "F");
  table.AddDependency(other, "A1", "G");

  table.AdjustDependentRows(0, "F");
  EXPECT_EQ(table.DependentIndex().FirstChild().Xml(),
            "<Itm Dep=\"A1\" Key=\"B5\" Fmt=\"F\" Pos=\"1\" Row=\"5\" ARow=\"5\"/>");

  table.AdjustDependentRows(3, "f");
  EXPECT_EQ(b5.AttributeOr("Row", ""), "8");
  EXPECT_EQ(c7.AttributeOr("Row", ""), "10");
  EXPECT_EQ(other.AttributeOr("Row", ""), "5");
  EXPECT_EQ(table.DependentIndex().FirstChild().Xml(),
            "<Itm Dep=\"A1\" Key=\"B8\" Fmt=\"F\" Pos=\"1\" Row=\"5\" ARow=\"8\"/>");

  // The moved entries are found under their new keys and rows only.
  EXPECT_TRUE(table.IsDependencyCompletelyResolvable("B5", "F"));
  EXPECT_FALSE(table.IsDependencyCompletelyResolvable("B8", "F"));
  b5.SetAttribute("Key", "B8");        // the item as the builder renumbers it
  table.AddDependency(b5, "A1", "F");  // same dependency at the new row: no new entry
  EXPECT_EQ(table.DependentIndex().ChildNodes().Length(), 3u);
  table.RemoveItemsForRow(5, "F");  // the old row has nothing left in F
  EXPECT_EQ(table.DependentIndex().ChildNodes().Length(), 3u);
  table.RemoveItemsForRow(10, "F");
  EXPECT_EQ(Positions(table.DependentItemsForKey("A1", "F")), std::vector<std::string>{"1"});
  ExpectInvariant(table);
}

TEST(DependencyTable, AdjustAdvancesANodeOnceForEachOfItsEntries) {
  CDependencyTable table;
  Items items;
  const xml::Node item = items.Make("D4", 4);
  table.AddDependency(item, "A1", "F");
  table.AddDependency(item, "A2", "F");
  table.AdjustDependentRows(1, "F");
  EXPECT_EQ(item.AttributeOr("Row", ""), "6");
  const xml::NodeList entries = table.DependenciesForFormat("F");
  EXPECT_EQ(entries.Item(0).AttributeOr("ARow", ""), "5");
  EXPECT_EQ(entries.Item(1).AttributeOr("ARow", ""), "6");
  EXPECT_EQ(entries.Item(1).AttributeOr("Key", ""), "D6");
  ExpectInvariant(table);
}

TEST(DependencyTable, FailingCallsLeaveTheInvariant) {
  CDependencyTable table;
  Items items;
  table.AddDependency(items.Make("A1", 1), "B1", "F");

  Error failure = FailureOf([&] { table.AddDependency(items.Make("TOTAL", 3), "B1", "F"); });
  EXPECT_EQ(failure.Number(), 1);
  EXPECT_EQ(failure.Source(), "row not found");
  EXPECT_EQ(failure.Description(), "Tallix");
  failure = FailureOf([&] { table.AddDependency(items.Make("A2", "two"), "B1", "F"); });
  EXPECT_NE(failure.Number(), 0);
  failure = FailureOf([&] { table.AddDependency(xml::Node(), "B1", "F"); });
  EXPECT_NE(failure.Number(), 0);
  EXPECT_EQ(table.DependentIndex().ChildNodes().Length(), 1u);
  EXPECT_EQ(FirstFree(table), "2");
  ExpectInvariant(table);

  // An empty key has row -1 but no column: adjusting its format fails there,
  // after the entries before it were moved.
  const xml::Node moved = items.Make("C2", 2);
  const xml::Node keyless = items.Make("", 9);
  table.AddDependency(moved, "B1", "G");
  table.AddDependency(keyless, "B1", "G");
  EXPECT_EQ(table.DependentIndex().LastChild().AttributeOr("Row", ""), "-1");
  failure = FailureOf([&] { table.AdjustDependentRows(1, "G"); });
  EXPECT_EQ(failure.Source(), "column not found");
  EXPECT_EQ(failure.Description(), "Tallix");
  EXPECT_EQ(moved.AttributeOr("Row", ""), "3");
  EXPECT_EQ(keyless.AttributeOr("Row", ""), "9");
  ExpectInvariant(table);

  // A row pushed past 32 bits overflows without touching the entry.
  const xml::Node high = items.Make("E2147483647", "2147483647");
  table.AddDependency(high, "B1", "H");
  failure = FailureOf([&] { table.AdjustDependentRows(1, "H"); });
  EXPECT_EQ(failure.Number(), kErrOverflow);
  EXPECT_EQ(high.AttributeOr("Row", ""), "2147483647");
  ExpectInvariant(table);

  // An entry naming no slot of the table.
  xml::Node stray = table.FreeIndex().FirstChild().CloneNode(true);
  EXPECT_TRUE(table.DependentItem(stray).IsNull());  // a free slot holds nothing
  stray.SetAttribute("Pos", "501");
  EXPECT_EQ(FailureOf([&] { table.DependentItem(stray); }).Number(), kErrOutOfBounds);
  stray.SetAttribute("Pos", "x");
  EXPECT_NE(FailureOf([&] { table.DependentItem(stray); }).Number(), 0);
  table.RemoveDependentIndex(stray);
  ExpectInvariant(table);
}

TEST(DependencyTable, RemovingAnEntryTwiceOrAfterItsSlotWasReusedDoesNothing) {
  CDependencyTable table;
  Items items;
  table.AddDependency(items.Make("A1", 1), "Z1", "F");
  const xml::Node entry = table.DependentIndex().FirstChild();
  table.RemoveDependentIndex(entry);
  table.RemoveDependentIndex(entry);
  EXPECT_EQ(table.FreeIndex().ChildNodes().Length(), 250u);
  EXPECT_TRUE(table.DependentItem(entry).IsNull());

  // Use every slot so that slot 1 goes to a new entry.
  for (int i = 0; i < 250; ++i) table.AddDependency(items.Make("B1", i), "Z2", "F");
  table.RemoveDependentIndex(entry);
  EXPECT_EQ(table.DependentIndex().ChildNodes().Length(), 250u);
  table.RemoveDependentIndex(xml::Node());
  ExpectInvariant(table);
}

TEST(DependencyTable, RandomOperationsKeepIndexesInStepWithTheXml) {
  CDependencyTable table;
  Items items;
  std::mt19937 generator(20240607);
  const auto pick = [&](int n) { return static_cast<int>(generator() % static_cast<unsigned>(n)); };
  std::vector<xml::Node> nodes;
  for (int i = 0; i < 40; ++i)
    nodes.push_back(items.Make("C" + std::to_string(1 + pick(6)), 1 + pick(6)));
  const std::vector<std::string> formats = {"F", "G"};

  for (int step = 0; step < 1500; ++step) {
    const std::string fmt = formats[static_cast<std::size_t>(pick(2))];
    switch (pick(7)) {
      case 0:
      case 1:
      case 2:
        table.AddDependency(nodes[static_cast<std::size_t>(pick(40))],
                            "D" + std::to_string(pick(5)), fmt);
        break;
      case 3: {
        const xml::NodeList all = table.DependentIndex().ChildNodes();
        if (!all.Empty())
          table.RemoveDependentIndex(
              all.Item(static_cast<std::size_t>(pick(static_cast<int>(all.Length())))));
        break;
      }
      case 4:
        table.RemoveItemsForRow(1 + pick(8), fmt);
        break;
      case 5: {
        // RemoveDependentItem takes the item's first entry in document order.
        const xml::Node item = nodes[static_cast<std::size_t>(pick(40))];
        const xml::Node first = table.DependentIndex().SelectSingleNode(
            "Itm[@Key='" + item.AttributeOr("Key", "") + "' and @Fmt='" + fmt + "']");
        if (first.IsNull()) break;
        table.RemoveDependentItem(item, fmt);
        EXPECT_TRUE(first.ParentNode().IsNull());
        break;
      }
      default:
        table.AdjustDependentRows(pick(3) - 1, fmt);
        break;
    }
    if (step % 100 == 0) ExpectInvariant(table);
  }
  ExpectInvariant(table);
  for (const std::string& fmt : formats) {
    for (int row = -3; row < 12; ++row) {
      const auto by_query = table.DependentIndex().SelectNodes(
          "Itm[@Fmt='" + fmt + "' and @ARow='" + std::to_string(row) + "']");
      const std::size_t before = table.DependentIndex().ChildNodes().Length();
      table.RemoveItemsForRow(row, fmt);
      EXPECT_EQ(table.DependentIndex().ChildNodes().Length(), before - by_query.Length());
    }
  }
  ExpectInvariant(table);
}

}  // namespace
}  // namespace orvo
