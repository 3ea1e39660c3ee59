// Cell, range and named-range references resolved from placed items.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "evaluate/currency.h"
#include "evaluate/evaluate.h"
#include "evaluate/item_bookkeeping.h"
#include "evaluate/placed_items.h"
#include "evaluation_fixture.h"
#include "support/fake_components.h"
#include "support/on_new_thread.h"

namespace orvo::testing {
namespace {

class References : public EvaluatorTest {
 protected:
  References() {
    sources.placed_items = index;
    sources.rows_to_ignore = document.CreateElement("RowsToIgnore");
    sources.named_ranges = document.CreateElement("NRgs");
    evaluator.Sources(sources);
    evaluator.CurrentFormatName("IS");
  }

  // An item of format IS at `key`, prepared and placed (not evaluated yet).
  // A repeat copy gets its position and the repeat key "ACCOUNTS".
  xml::Node Place(const std::string& key, const std::string& text, int copy = 0) {
    xml::Node item = ItemFor(document, text, key);
    item.SetAttribute("Row", key.substr(key.find_first_of("0123456789")));
    if (copy > 0) {
      item.SetAttribute("RptKey", "ACCOUNTS");
      item.SetAttribute("RptIndex", std::to_string(copy));
    }
    PrepareForEvaluation(item, "IS");
    index->Placed(item);
    return item;
  }
  // The same, evaluated.
  xml::Node Settled(const std::string& key, const std::string& text, int copy = 0) {
    xml::Node item = Place(key, text, copy);
    Evaluate(item, copy);
    return item;
  }
  Int16 Evaluate(const xml::Node& item, int copy = 0) {
    xml::Node evaluated;
    return evaluator.Evaluate(item, copy ? records : xml::Node(), copy, copy ? "ACCOUNTS" : "",
                              evaluated);
  }
  // The value of a new item with `formula` at `key` (in repeat copy `copy`).
  std::string ValueAt(const std::string& key, const std::string& formula, int copy = 0) {
    xml::Node item = Place(key, formula, copy);
    Evaluate(item, copy);
    return item.AttributeOr("Value", "<none>");
  }
  void Ignore(const std::string& row, const std::string& copy) {
    xml::Node record =
        xml::Node(sources.rows_to_ignore).AppendChild(document.CreateElement("RowIgn"));
    record.SetAttribute("OrigFmt", "IS");
    record.SetAttribute("OrigRow", row);
    record.SetAttribute("RptIndex", copy);
  }

  std::shared_ptr<PlacedItems> index = std::make_shared<PlacedItems>();
  PreviewSources sources;
  xml::Node records =
      xml::Document::Parse("<Rpt><R CODE='1'/><R CODE='2'/><R CODE='3'/></Rpt>").DocumentElement();
};

TEST_F(References, RepeatedRowsFromOutsideAndInside) {
  Settled("B5", "10", 1);
  Settled("B5", "20", 2);
  Settled("B5", "30.25", 3);
  Settled("B2", "100");
  // From outside the repeat a cell of a repeated row stands for all its copies.
  EXPECT_EQ(ValueAt("B9", "=B5"), "60.25");
  EXPECT_EQ(ValueAt("C9", "=SUM(B1:B8)"), "160.25");
  EXPECT_EQ(ValueAt("D9", "=Count(B5)"), "3");
  EXPECT_EQ(ValueAt("E9", "=Avg(B5)"), "20.0833333333333");
  // Inside the repeat: the copy of the same record; cells outside it as they are.
  EXPECT_EQ(ValueAt("C5", "=B5*2", 2), "40");
  EXPECT_EQ(ValueAt("D5", "=B5+B2", 3), "130.25");
  EXPECT_EQ(ValueAt("E5", "=SUM(B5:C5)", 2), "60");  // B5 and C5 of copy 2
  EXPECT_EQ(ValueAt("F5", "=Max(B1:B5)", 1), "100");
  // A copy the repeat does not have is no cell.
  EXPECT_EQ(ValueAt("G5", "=C5", 3), "#REF");
}

TEST_F(References, RowsRemovedByPrintConditionsContributeNothing) {
  Settled("A1", "5");
  Settled("A2", "7");
  Settled("A3", "11", 1);
  Settled("A3", "13", 2);
  Ignore("2", "");
  Ignore("3", "2");
  EXPECT_EQ(ValueAt("B1", "=A1+A2"), "5");
  EXPECT_EQ(ValueAt("B2", "=A2"), "0");
  EXPECT_EQ(ValueAt("B3", "=A3"), "11");
  EXPECT_EQ(ValueAt("B4", "=SUM(A1:A3)"), "16");
  EXPECT_EQ(ValueAt("B5", "=Count(A1:A3)"), "2");
  EXPECT_EQ(ValueAt("B6", "=Avg(A1:A3)"), "8");
  EXPECT_EQ(ValueAt("B7", "=Min(A1:A3)"), "5");
  EXPECT_EQ(ValueAt("B8", "=Avg(A1:A2,A1:A3)"), "7");  // 21 over 1 + 2 cells

  evaluator.IncludeIgnoredRows(true);
  EXPECT_EQ(ValueAt("C1", "=A1+A2"), "12");
  EXPECT_EQ(ValueAt("C2", "=SUM(A1:A3)"), "36");
  EXPECT_EQ(ValueAt("C3", "=Count(A1:A3)"), "4");
  EXPECT_EQ(ValueAt("C4", "=Avg(A1:A3)"), "9");  // counted anew for this item
}

TEST_F(References, ReferencesToPendingCellsWaitUntilTheLastPass) {
  xml::Node later = Place("A9", "=A8+1");  // a later row, not evaluated yet
  Place("A8", "4");
  xml::Node sum = Place("B1", "=SUM(A1:A9)");
  xml::Node cell = Place("B2", "=A9*2");
  EXPECT_EQ(Evaluate(sum), 0);
  EXPECT_EQ(sum.AttributeOr("Evaluated", ""), "0");
  EXPECT_EQ(Evaluate(cell), 0);
  EXPECT_EQ(cell.FirstChild().AttributeOr("Max", ""), "A9");  // the furthest cell it reads

  // The last pass evaluates with what is placed: the pending number 4 counts,
  // the pending formula does not.
  evaluator.EvaluateAllItems(true);
  EXPECT_EQ(Evaluate(sum), -1);
  EXPECT_EQ(sum.AttributeOr("Value", ""), "4");
  EXPECT_EQ(Evaluate(cell), -1);
  EXPECT_EQ(cell.AttributeOr("Value", ""), "0");

  // Once settled, the index has their values.
  evaluator.EvaluateAllItems(false);
  EXPECT_EQ(Evaluate(later), 0);  // waits for A8
  xml::Node a8 = index->Instances("IS", "A8").front()->item;
  EXPECT_EQ(Evaluate(a8), -1);
  EXPECT_EQ(Evaluate(later), -1);
  EXPECT_EQ(Evaluate(cell), -1);
  EXPECT_EQ(cell.AttributeOr("Value", ""), "10");
  EXPECT_EQ(Evaluate(sum), -1);
  EXPECT_EQ(sum.AttributeOr("Value", ""), "9");

  // A cell that refers to itself waits (the builder marks it "#CIRC").
  xml::Node self = Place("D1", "=D1+1");
  EXPECT_EQ(Evaluate(self), 0);
  EXPECT_EQ(self.FirstChild().AttributeOr("Max", ""), "D1");
}

TEST_F(References, MissingCellsNamesAndKeysWithoutRow) {
  Settled("A1", "Revenue");
  EXPECT_EQ(ValueAt("B1", "=Z99+1"), "#REF");
  EXPECT_EQ(ValueAt("B2", "=A1&\" total\""), "Revenue total");  // a text cell gives its text
  EXPECT_EQ(ValueAt("B3", "=SUM(X1:X9)"), "0");                 // a range with no items
  // Values as the items hold them, whether the evaluation or the item told
  // the index: plain text, text beyond ASCII, an error value.
  Settled("A2", "=\"caf\"&\"\xC3\xA9\"");
  Settled("A3", "=A1&\"!\"");
  Settled("A4", "=1/0+Z99");
  EXPECT_EQ(ValueAt("B4", "=A2&A3&A4"), "caf\xC3\xA9Revenue!#REF");

  const auto named = [&](const std::string& type) {
    return RecordValue("<PEx Exp='=I~_T~1*2' Max=''><EIs><EI Typ='" + type +
                       "' Val='Profit'/></EIs><EFs/><EMBs/></PEx>");
  };
  EXPECT_EQ(named("TNr"), "#REF");  // no such named range
  EXPECT_EQ(named("UnN"), "#REF");
  xml::Node record = xml::Node(sources.named_ranges).AppendChild(document.CreateElement("NR"));
  record.SetAttribute("Name", "PROFIT");
  record.SetAttribute("Value", "21");
  EXPECT_EQ(named("TNr"), "42");
  EXPECT_EQ(named("UnN"), "42");

  // A key without a row number fails, and the item shows the error value.
  EXPECT_EQ(RecordValue("<PEx Exp='=I~_T~1' Max=''><EIs><EI Typ='TCR' Val='AB'/></EIs>"
                        "<EFs/><EMBs/></PEx>"),
            "#ERROR");
  EXPECT_EQ(RecordValue("<PEx Exp='=I~_T~1' Max=''><EIs><EI Typ='TCRn' Val='A1:B'/></EIs>"
                        "<EFs/><EMBs/></PEx>"),
            "#ERROR");
}

TEST_F(References, DrillKeysOfContributingCellsReachTheReferencingItem) {
  // Items prepared for a build have no Drill until a key is written into one.
  const auto drillable = [&](const std::string& key, const std::string& value,
                             const std::string& drill_key) {
    xml::Node item = Settled(key, value);
    xml::Node drill = DrillFor(item);
    drill.SetAttribute("On", "-1");
    drill.SetAttribute("Key", drill_key);
    index->ValueChanged(item);
  };
  drillable("A1", "1", "DrillItem1");
  drillable("A2", "2", "DrillItem2");
  drillable("A3", "3", "DrillItem1");
  Settled("A4", "4");
  const auto built = [&](const std::string& key, const std::string& formula) {
    xml::Node item = ItemFor(document, formula, key);
    item.SetAttribute("Row", key.substr(1));
    PrepareForBuild(item, "IS");
    index->Placed(item);
    Evaluate(item);
    return item;
  };
  xml::Node total = built("B1", "=SUM(A1:A4)+A2");
  EXPECT_EQ(total.AttributeOr("Value", ""), "12");
  EXPECT_EQ(total.LastChild().Xml(), "<Drill On=\"-1\" Key=\"DrillItem1,DrillItem2\"/>");
  EXPECT_TRUE(DrillOf(built("B2", "=A4")).IsNull());
  // An item prepared on its own has its Drill from the start; it stays off.
  xml::Node plain = Place("B3", "=A4");
  Evaluate(plain);
  EXPECT_EQ(DrillOf(plain).Xml(), "<Drill On=\"0\" Key=\"\"/>");
}

// A prefix sum down a column, each cell evaluated through the evaluator,
// equals adding the cells one by one, also after rows are deleted and
// ignored at random.
TEST_F(References, RangeSumsEqualCellByCellSumsOnRandomPlacements) {
  std::mt19937 random(7);
  std::vector<xml::Node> cells;
  std::vector<Currency> values;
  for (int row = 1; row <= 400; ++row) {
    const Currency value =
        Currency::FromScaled(static_cast<std::int64_t>(random() % 200000000) - 100000000);
    values.push_back(value);
    cells.push_back(Settled("C" + std::to_string(row), value.ToText()));
  }
  std::vector<bool> counted(values.size(), true);
  for (int change = 0; change < 60; ++change) {
    const std::size_t at = random() % values.size();
    if (change % 2 == 0) {
      index->Removed(cells[at]);
    } else {
      Ignore(std::to_string(at + 1), "");
    }
    counted[at] = false;
  }
  for (int check = 0; check < 40; ++check) {
    const int last = 1 + static_cast<int>(random() % values.size());
    Currency expected;
    double naive = 0;
    for (int row = 1; row <= last; ++row) {
      if (!counted[static_cast<std::size_t>(row - 1)]) continue;
      expected = expected + values[static_cast<std::size_t>(row - 1)];
      naive += values[static_cast<std::size_t>(row - 1)].ToDouble();
    }
    const std::string value =
        ValueAt("D" + std::to_string(check + 1), "=SUM(C1:C" + std::to_string(last) + ")");
    EXPECT_EQ(value, expected.ToText()) << last;
    EXPECT_EQ(*Currency::FromText(value), Currency::FromDouble(naive));
  }
}

// A defined named range that is not valued yet waits for the named-range
// pass; after it, the reference is "#REF".
class NamedRangeContext : public FakeStoreContext {
 public:
  xml::Node NamedRangeDefinitions() override { return m_definitions; }

 private:
  xml::Node m_definitions =
      xml::Document::Parse("<Nrgs><Nrg Key='PROFIT' Fmt='IS'/></Nrgs>").DocumentElement();
};

class NamedRangeStorage : public FakeStorageProvider {
 public:
  NamedRangeStorage() { context = std::make_shared<NamedRangeContext>(); }
};

TEST(NamedRangeReferences, DefinedRangesNotValuedYetWaitForTheirPass) {
  ComponentRegistry::Register(kStorageProviderId,
                              [] { return std::make_shared<NamedRangeStorage>(); });
  OnNewThread([] {
    xml::Document document = xml::Document::Create();
    cEvaluate evaluator;
    evaluator.Init(xml::Document::Parse("<LaunchProperties/>").DocumentElement());
    const auto evaluate = [&](const std::string& name) {
      xml::Node item =
          ItemWithRecord(document, "<PEx Exp='=I~_T~1' Max=''><EIs><EI Typ='TNr' Val='" + name +
                                       "'/></EIs><EFs/><EMBs/></PEx>");
      xml::Node evaluated;
      const Int16 status = evaluator.Evaluate(item, {}, 0, "", evaluated);
      return std::to_string(status) + " " + item.AttributeOr("Value", "");
    };
    EXPECT_EQ(evaluate("profit").substr(0, 2), "0 ");
    EXPECT_EQ(evaluate("Loss"), "-1 #REF");
    evaluator.ForceLevel2Eval(true);
    EXPECT_EQ(evaluate("profit"), "-1 #REF");
  });
  ComponentRegistry::Register(kStorageProviderId, nullptr);
}

}  // namespace
}  // namespace orvo::testing
