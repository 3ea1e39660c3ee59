#include "evaluate/placed_items.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "evaluate/currency.h"
#include "evaluate/number_text.h"
#include "frame/column_letters.h"
#include "frame/text.h"
#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo {
namespace {

xml::Node NewItem(xml::Document& document, const std::string& format, const std::string& key,
                  const std::string& value, bool evaluated, int rpt_index = 0) {
  xml::Node item = document.CreateElement("Itm");
  item.SetAttribute("Key", key);
  item.SetAttribute("Value", value);
  item.SetAttribute("Evaluated", evaluated ? "-1" : "0");
  item.SetAttribute("OrigKey", key);
  item.SetAttribute("OrigRow", key.substr(key.find_first_of("0123456789")));
  item.SetAttribute("OrigFmt", format);
  item.SetAttribute("RptKey", rpt_index > 0 ? "R" : "");
  item.SetAttribute("RptIndex", rpt_index > 0 ? std::to_string(rpt_index) : "");
  return item;
}

TEST(PlacedItems, InstancesFollowPlacingReplacingAndRemoving) {
  xml::Document document = xml::Document::Create();
  PlacedItems index;
  xml::Node a = NewItem(document, "Fmt", "c5", "1.5", true);
  xml::Node copy1 = NewItem(document, "FMT", "C5", "2", false, 1);
  index.Placed(a);
  index.Placed(copy1);
  index.Placed(document.CreateElement("Itm"));  // no OrigFmt: not indexed
  ASSERT_EQ(index.Instances("fmt", "C5").size(), 2u);
  EXPECT_EQ(index.Instances("FMT", "c5")[1]->rpt_index, 1);
  EXPECT_FALSE(index.Instances("FMT", "C5")[1]->evaluated);

  copy1.SetAttribute("Value", "3");
  copy1.SetAttribute("Evaluated", "-1");
  index.ValueChanged(copy1);
  PlacedItems::RangeTotals totals = index.Totals("FMT", 3, 3, 1, 10, false);
  EXPECT_EQ(totals.sum.ToText(), "4.5");
  EXPECT_EQ(totals.cells, 2);
  EXPECT_EQ(totals.pending, 0);

  xml::Node circ = copy1.CloneNode(true);  // a copy takes the place of the item
  circ.SetAttribute("Value", "#CIRC");
  index.Placed(circ, copy1);
  totals = index.Totals("FMT", 1, 5, 5, 5, false);
  EXPECT_EQ(totals.sum.ToText(), "1.5");
  EXPECT_EQ(totals.cells, 2);
  EXPECT_EQ(totals.numbers, 1);

  xml::Node row = document.CreateElement("Row");
  row.AppendChild(a);
  index.RowRemoved(row);
  index.Removed(circ);
  EXPECT_TRUE(index.Instances("FMT", "C5").empty());
  EXPECT_EQ(index.Totals("FMT", 1, 100, 1, 100, true).cells, 0);
  EXPECT_EQ(index.Size(), 0u);
}

TEST(PlacedItems, EachPrintOfAFormatSeesItsOwnCells) {
  xml::Document document = xml::Document::Create();
  PlacedItems index;
  index.BeginPrint("fmt");
  xml::Node first = NewItem(document, "FMT", "A1", "2", true);
  index.Placed(first);
  index.BeginPrint("FMT");
  // Room made for columns that stay empty changes no answer.
  index.Reserve("fmt", {{1, 1}, {2, 2}, {-2, 1}});
  xml::Node second = NewItem(document, "FMT", "A1", "5", true);
  index.Placed(second);
  xml::Node other = NewItem(document, "OTHER", "A1", "7", true);
  index.Placed(other);
  // From an item of a print, its print; from anywhere else, the latest.
  EXPECT_EQ(index.Totals("FMT", 1, 1, 1, 1, false, first).sum.ToText(), "2");
  EXPECT_EQ(index.Totals("FMT", 1, 1, 1, 1, false, second).sum.ToText(), "5");
  EXPECT_EQ(index.Totals("FMT", 1, 1, 1, 1, false, other).sum.ToText(), "5");
  EXPECT_EQ(index.Totals("FMT", 1, 1, 1, 1, false).sum.ToText(), "5");
  EXPECT_EQ(index.Totals("FMT", 1, 2, 1, 9, true).cells, 1);
  ASSERT_EQ(index.Instances("FMT", "A1", first).size(), 1u);
  EXPECT_EQ(index.Instances("FMT", "A1", first)[0]->value, "2");
  // A copy taking the first print's item's place stays in that print.
  xml::Node circ = first.CloneNode(true);
  circ.SetAttribute("Value", "#CIRC");
  index.Placed(circ, first);
  EXPECT_EQ(index.Instances("FMT", "A1", circ)[0]->value, "#CIRC");
  EXPECT_EQ(index.Instances("FMT", "A1", second)[0]->value, "5");
  int visited = 0;
  index.ForEachInRange(
      "FMT", 1, 1, 1, 1, false, [&](const PlacedItems::Instance&) { return ++visited > 0; }, circ);
  EXPECT_EQ(visited, 1);
  // Released, the items may go; the values read from them stay.
  index.ReleaseItems();
  circ = first = second = xml::Node();
  EXPECT_EQ(index.Totals("FMT", 1, 1, 1, 1, false).sum.ToText(), "5");
  EXPECT_EQ(index.Instances("OTHER", "A1")[0]->value, "7");
}

TEST(PlacedItems, AnItemHoldingAnotherFormatsPrintSeesThatPrint) {
  xml::Document document = xml::Document::Create();
  PlacedItems index;
  index.BeginPrint("A");
  xml::Node a = NewItem(document, "A", "A1", "1", true);
  index.Placed(a);
  index.BeginPrint("B");
  xml::Node b = NewItem(document, "B", "A1", "10", true);
  index.Placed(b);
  // An item of B taking the place of A's item takes A's print.
  xml::Node taker = NewItem(document, "B", "B1", "100", true);
  index.Placed(taker, a);
  EXPECT_EQ(index.Totals("B", 1, 2, 1, 1, false, taker).sum.ToText(), "100");
  EXPECT_EQ(index.Totals("B", 1, 2, 1, 1, false, b).sum.ToText(), "10");
  EXPECT_EQ(index.Totals("B", 1, 2, 1, 1, false).sum.ToText(), "10");

  // The same for an item placed again under another format.
  PlacedItems moved;
  moved.BeginPrint("A");
  moved.BeginPrint("C");
  xml::Node c = NewItem(document, "C", "A1", "3", true);
  moved.Placed(c);
  xml::Node x = NewItem(document, "A", "A1", "7", true);
  moved.BeginPrint("A");
  moved.Placed(x);
  x.SetAttribute("OrigFmt", "C");
  moved.Placed(x);
  EXPECT_EQ(moved.Instances("C", "A1", x).at(0)->value, "7");
  EXPECT_EQ(moved.Instances("C", "A1", c).at(0)->value, "3");
  EXPECT_EQ(moved.Instances("C", "A1").at(0)->value, "3");
}

TEST(PlacedItems, IgnoredRowCopiesCountOnlyWhenAskedFor) {
  xml::Document document = xml::Document::Create();
  PlacedItems index;
  index.Placed(NewItem(document, "F", "A1", "10", true, 1));
  index.Placed(NewItem(document, "F", "A1", "20", true, 2));
  index.RowIgnored("f", 1, 2);
  index.Placed(NewItem(document, "F", "B1", "5", false, 2));  // placed after the record
  EXPECT_EQ(index.Totals("F", 1, 2, 1, 1, false).sum.ToText(), "10");
  EXPECT_EQ(index.Totals("F", 1, 2, 1, 1, false).pending, 0);
  EXPECT_EQ(index.Totals("F", 1, 2, 1, 1, true).sum.ToText(), "35");
  EXPECT_EQ(index.Totals("F", 1, 2, 1, 1, true).pending, 1);
  EXPECT_TRUE(index.Instances("F", "A1")[1]->ignored);

  // Records appended to the builder's list are read once, in order.
  xml::Node list = document.CreateElement("RowsToIgnore");
  xml::Node record = list.AppendChild(document.CreateElement("RowIgn"));
  record.SetAttribute("OrigFmt", "F");
  record.SetAttribute("OrigRow", "1");
  record.SetAttribute("RptIndex", "1");
  index.CatchUpIgnoredRows(list);
  index.CatchUpIgnoredRows(list);
  EXPECT_EQ(index.Totals("F", 1, 1, 1, 1, false).cells, 0);
  EXPECT_TRUE(index.IsIgnored("F", 1, 1));

  index.Reset();
  EXPECT_FALSE(index.IsIgnored("F", 1, 1));
  EXPECT_EQ(index.Size(), 0u);
}

TEST(PlacedItems, AmountsAreExactAndTellOverflow) {
  PlacedItems::Amount sum;
  for (int i = 0; i < 10; ++i) sum += *PlacedItems::Amount::Of("0.1");
  EXPECT_EQ(sum.ToText(), "1");
  EXPECT_FALSE(PlacedItems::Amount::Of("abc"));
  EXPECT_EQ(PlacedItems::Amount::Of("-0.333333333333333")->ToText(), "-0.333333333");
  PlacedItems::Amount wide = *PlacedItems::Amount::Of("1E+25");
  EXPECT_EQ(wide.ToText(), "1E+25");
  EXPECT_DOUBLE_EQ(wide.ToDouble(), 1e25);
  PlacedItems::Amount beyond = *PlacedItems::Amount::Of("1E+400");
  EXPECT_THROW(beyond.ToText(), Error);
}

// Plain decimals are read on a shorter way: it must give what the general
// reading gives, at and beyond its limits.
TEST(PlacedItems, PlainDecimalsReadAsTheGeneralWayReadsThem) {
  std::vector<std::string> texts = {
      "0",    "-0",          "007",           "1.",           ".5",     " 1", "+1", "1e3", "-", "",
      "1.5.", "0.000000001", "-0.0000000005", "1.0000000001", "-12.50", "1 "};
  std::mt19937 random(77);
  for (int i = 0; i < 400; ++i) {
    std::string text = random() % 3 == 0 ? "-" : "";
    const int integral = 1 + static_cast<int>(random() % 20);
    for (int d = 0; d < integral; ++d) text += static_cast<char>('0' + random() % 10);
    if (random() % 2) {
      text += '.';
      const int decimals = 1 + static_cast<int>(random() % 11);
      for (int d = 0; d < decimals; ++d) text += static_cast<char>('0' + random() % 10);
    }
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::optional<PlacedItems::Amount> amount = PlacedItems::Amount::Of(text);
    const std::optional<DecimalDigits> digits = SplitNumber(text);
    ASSERT_EQ(amount.has_value(), digits.has_value()) << text;
    if (!digits) continue;
    const std::optional<UInt128> scaled = RoundScaled(*digits, 9, 27);
    if (!scaled) {
      EXPECT_NE(amount->wide, 0) << text;
      continue;
    }
    const Int128 nanos = digits->negative ? -static_cast<Int128>(*scaled) : *scaled;
    EXPECT_TRUE(amount->nanos == nanos && amount->wide == 0) << text;
  }
}

// Random placements, re-evaluations, removals and ignored rows, without and
// with values too large for the exact part, and without and with rows far
// beyond the others (columns of dense rows keep prefix totals by row until
// a double part or a far row comes): every range query, range walk and cell
// look-up agrees with going through the items one by one.
class RandomChanges : public testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(RandomChanges, RangeTotalsEqualNaiveSums) {
  const bool with_wide = std::get<0>(GetParam());
  const bool with_far_rows = std::get<1>(GetParam());
  xml::Document document = xml::Document::Create();
  PlacedItems index;
  std::mt19937 random(20240611);
  std::vector<xml::Node> live;
  std::vector<std::pair<int, int>> ignored;  // orig row, rpt index
  const auto random_value = [&random, with_wide]() -> std::string {
    switch (random() % 40) {
      case 39:  // beyond the exact part: added as a double
        if (with_wide) return std::to_string(1 + random() % 9) + "345678901234567890123";
    }
    switch (random() % 6) {
      case 0:
        return "text";
      case 1:
        return "";
      case 2:
        return std::to_string(static_cast<int>(random() % 2000000) - 1000000) + "." +
               std::to_string(random() % 10000);
      default: {
        const double value = (static_cast<double>(random()) / 4294967296.0 - 0.5) * 2e6;
        return Currency::FromDouble(value).ToText();
      }
    }
  };
  for (int step = 0; step < 6000; ++step) {
    const unsigned action = random() % 10;
    if (action < 6 || live.empty()) {
      // (Now and then a row far beyond the others.)
      const bool far = random() % 40 == 0;
      const int key_row = far && with_far_rows ? 100000 + static_cast<int>(random() % 3)
                                               : 1 + static_cast<int>(random() % 300);
      const std::string key =
          std::string(1, static_cast<char>('A' + random() % 4)) + std::to_string(key_row);
      xml::Node item = NewItem(document, "F", key, random_value(), random() % 3 != 0,
                               static_cast<int>(random() % 3));
      if (random() % 25 == 0 && item.AttributeOr("RptKey", "") == "R")
        item.SetAttribute("RptKey", "S");
      if (random() % 5 == 0) {
        xml::Node drill = item.AppendChild(document.CreateElement("Drill"));
        drill.SetAttribute("On", "-1");
        drill.SetAttribute("Key", "K" + std::to_string(step));
      }
      index.Placed(item);
      live.push_back(item);
    } else if (action < 8) {
      xml::Node& item = live[random() % live.size()];
      item.SetAttribute("Value", random_value());
      item.SetAttribute("Evaluated", random() % 2 ? "-1" : "0");
      index.ValueChanged(item);
    } else if (action < 9) {
      const std::size_t at = random() % live.size();
      index.Removed(live[at]);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      const int row = 1 + static_cast<int>(random() % 300);
      const int copy = static_cast<int>(random() % 3);
      index.RowIgnored("F", row, copy);
      ignored.emplace_back(row, copy);
    }
    if (step % 100 != 0) continue;
    for (int query = 0; query < 20; ++query) {
      const int c1 = 1 + static_cast<int>(random() % 4);
      const int c2 = 1 + static_cast<int>(random() % 4);
      const int r1 = 1 + static_cast<int>(random() % 300);
      const int r2 = random() % 8 == 0 ? 100001 : 1 + static_cast<int>(random() % 300);
      const bool include_ignored = random() % 4 == 0;
      double naive = 0;
      bool wide = false;
      Currency exact;
      std::int64_t cells = 0;
      std::int64_t pending = 0;
      std::int64_t inside = 0;     // ignored or not
      std::int64_t drillable = 0;  // ignored or not
      for (const xml::Node& item : live) {
        const std::string key = item.AttributeOr("OrigKey", "");
        const int column = LetterColumnNumber(key.substr(0, 1));
        const int row = std::stoi(key.substr(1));
        const std::string index_text = item.AttributeOr("RptIndex", "");
        const int copy = index_text.empty() ? 0 : std::stoi(index_text);
        if (column < std::min(c1, c2) || column > std::max(c1, c2)) continue;
        if (row < std::min(r1, r2) || row > std::max(r1, r2)) continue;
        ++inside;
        if (item.LastChild() && item.LastChild().NameIs("Drill")) ++drillable;
        if (!include_ignored &&
            std::find(ignored.begin(), ignored.end(), std::make_pair(row, copy)) != ignored.end()) {
          continue;
        }
        ++cells;
        if (item.AttributeOr("Evaluated", "") != "-1") ++pending;
        if (const auto value = ParseNumber(item.AttributeOr("Value", ""))) {
          naive += *value;
          if (std::abs(*value) >= 1e18) {
            wide = true;
          } else {
            exact = exact + *Currency::FromText(item.AttributeOr("Value", ""));
          }
        }
      }
      const std::string cell = std::string(1, static_cast<char>('A' + c1 - 1)) +
                               std::to_string(r2 == 100001 ? 100000 + query % 3 : r1);
      ASSERT_EQ(index.Instances("F", cell).size(),
                static_cast<std::size_t>(
                    std::count_if(live.begin(), live.end(), [&cell](const xml::Node& item) {
                      return item.AttributeOr("OrigKey", "") == cell;
                    })));
      const PlacedItems::RangeTotals totals = index.Totals("F", c1, c2, r1, r2, include_ignored);
      ASSERT_EQ(totals.cells, cells);
      ASSERT_EQ(totals.pending, pending);
      // (The walks for a quarter of the queries: the sanitizer builds run this too.)
      for (const bool drillable_only : {false, true}) {
        if (query % 4 != 0) break;
        std::int64_t visited = 0;
        std::pair<int, int> last(0, 0);  // column, row: the walk goes in order
        index.ForEachInRange("F", c2, c1, r2, r1, drillable_only,
                             [&](const PlacedItems::Instance& instance) {
                               const std::string key = instance.item.AttributeOr("OrigKey", "");
                               const std::pair<int, int> at(LetterColumnNumber(key.substr(0, 1)),
                                                            std::stoi(key.substr(1)));
                               EXPECT_LE(last, at);
                               last = at;
                               ++visited;
                               return true;
                             });
        ASSERT_EQ(visited, drillable_only ? drillable : inside);
      }
      // Four-decimal values: the index is exact, and the one-by-one double
      // sum agrees within the currency rounding.
      if (wide) {
        // Huge values are added as doubles: equal up to their rounding.
        ASSERT_NEAR(totals.sum.ToDouble(), naive, std::abs(naive) * 1e-12);
        continue;
      }
      ASSERT_EQ(totals.sum.ToText(), exact.ToText());
      ASSERT_EQ(Currency::FromDouble(totals.sum.ToDouble()), Currency::FromDouble(naive));
    }
    const std::string key =
        std::string(1, static_cast<char>('a' + random() % 4)) + std::to_string(1 + random() % 300);
    const auto same_key = [&key](const xml::Node& item) {
      return EqualsIgnoreCase(item.AttributeOr("OrigKey", ""), key);
    };
    ASSERT_EQ(index.Instances("f", key).size(),
              static_cast<std::size_t>(std::count_if(live.begin(), live.end(), same_key)));
    // From a row copy: what it sees of the cell, and of a range, is what it
    // sees going through all the items.
    const PlacedItems::Copy copy{random() % 4 == 0 ? "S" : "R", 1 + static_cast<int>(random() % 2)};
    const auto seen = [&copy](const std::vector<const PlacedItems::Instance*>& instances) {
      std::vector<const PlacedItems::Instance*> kept;
      for (const PlacedItems::Instance* instance : instances) {
        if (instance->rpt_index == 0 || instance->rpt_key != copy.repeat_key ||
            instance->rpt_index == copy.position) {
          kept.push_back(instance);
        }
      }
      return kept;
    };
    ASSERT_EQ(seen(index.Instances("F", key, {}, &copy)), seen(index.Instances("F", key)));
    std::vector<const PlacedItems::Instance*> walked[2];
    for (const int with_copy : {0, 1}) {
      index.ForEachInRange(
          "F", 1, 4, 1, 300, false,
          [&](const PlacedItems::Instance& instance) {
            walked[with_copy].push_back(&instance);
            return true;
          },
          {}, with_copy ? &copy : nullptr);
    }
    ASSERT_EQ(seen(walked[1]), seen(walked[0]));
  }
}

INSTANTIATE_TEST_SUITE_P(PlacedItems, RandomChanges,
                         testing::Combine(testing::Bool(), testing::Bool()));

// A cell's items keep their placing order through removals from the front,
// middle and back, moves to another key and placing again.
TEST(PlacedItems, CellItemsKeepPlacingOrder) {
  xml::Document document = xml::Document::Create();
  PlacedItems index;
  std::vector<xml::Node> items;
  for (int i = 1; i <= 5; ++i) {
    items.push_back(NewItem(document, "F", "B2", std::to_string(i), true, i));
    index.Placed(items.back());
  }
  const auto indexes = [&] {
    std::string seen;
    for (const PlacedItems::Instance* instance : index.Instances("F", "B2")) {
      seen += std::to_string(instance->rpt_index);
    }
    return seen;
  };
  EXPECT_EQ(indexes(), "12345");
  index.Removed(items[2]);
  index.Removed(items[0]);
  index.Removed(items[4]);
  EXPECT_EQ(indexes(), "24");
  items[3].SetAttribute("OrigKey", "B3");  // placed again under another key: moves
  index.ValueChanged(items[3]);            // (a new value only: stays)
  EXPECT_EQ(indexes(), "24");
  index.Placed(items[3]);
  EXPECT_EQ(indexes(), "2");
  index.Placed(items[0]);
  index.Placed(items[4]);
  EXPECT_EQ(indexes(), "215");
  index.RowIgnored("F", 2, 5);
  EXPECT_EQ(index.Totals("F", 2, 2, 2, 2, false).sum.ToText(), "3");
  EXPECT_EQ(index.Totals("F", 2, 2, 2, 2, true).sum.ToText(), "8");
  EXPECT_EQ(index.Instances("F", "B3").size(), 1u);
}

// An item's texts read once, or handed in by a caller that knows them, index
// it as reading the item does; a value handed over after an evaluation
// counts as the one read back.
TEST(PlacedItems, TextsHandedInIndexAsTheItemReads) {
  xml::Document document = xml::Document::Create();
  xml::Node item = NewItem(document, "F", "C4", "7", false, 3);
  item.SetAttribute("Key", "X9");  // OrigKey wins over Key
  PlacedItems::ItemTexts texts;
  texts.Read(item);
  EXPECT_EQ(texts.Of(PlacedItems::ItemTexts::kOrigKey), "C4");
  EXPECT_EQ(texts.Of(PlacedItems::ItemTexts::kRptIndex), "3");
  EXPECT_TRUE(texts.Has(PlacedItems::ItemTexts::kEvaluated));
  xml::Node bare = document.CreateElement("Itm");
  bare.SetAttribute("Key", "C4");
  PlacedItems::ItemTexts bare_texts;
  bare_texts.Read(bare);
  EXPECT_FALSE(bare_texts.Has(PlacedItems::ItemTexts::kOrigFmt));
  EXPECT_EQ(bare_texts.Of(PlacedItems::ItemTexts::kValue), "");

  // A repeat's copy: the row's texts with the copy's own position.
  PlacedItems read;
  PlacedItems handed;
  xml::Node copy = item.CloneNode(true);
  copy.SetAttribute("RptIndex", "4");
  read.Placed(item);
  read.Placed(copy);
  handed.Placed(item, texts);
  texts.Set(PlacedItems::ItemTexts::kRptIndex, "4");
  handed.Placed(copy, texts);
  handed.Placed(bare, bare_texts);  // no OrigFmt: not indexed
  EXPECT_EQ(handed.Size(), 2u);
  for (PlacedItems* index : {&read, &handed}) {
    const auto instances = index->Instances("F", "C4");
    ASSERT_EQ(instances.size(), 2u);
    EXPECT_EQ(instances[1]->rpt_index, 4);
    EXPECT_EQ(instances[1]->rpt_key, "R");
    EXPECT_EQ(index->Totals("F", 3, 3, 4, 4, false).sum.ToText(), "14");
  }

  copy.SetAttribute("Value", "2.5");
  copy.SetAttribute("Evaluated", "-1");
  read.ValueChanged(copy);
  handed.ValueChanged(copy, "2.5", true);
  for (PlacedItems* index : {&read, &handed}) {
    const PlacedItems::RangeTotals totals = index->Totals("F", 3, 3, 4, 4, false);
    EXPECT_EQ(totals.sum.ToText(), "9.5");
    EXPECT_EQ(totals.pending, 1);
    EXPECT_TRUE(index->Instances("F", "C4")[1]->evaluated);
  }
}

}  // namespace
}  // namespace orvo
