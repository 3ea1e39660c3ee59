// Cell and range references over a growing column, at 1,000, 10,000 and
// 40,000 rows, to show a flat cost per reference.
//
// Cases:
//   GrowingPrefixSum   column C holds N evaluated values; column D row r is
//                      "=SUM(C1:Cr)" for r = 1..N, each evaluated through
//                      cEvaluate (range resolver, index totals, operators,
//                      display text). A naive range sum reads r cells at row r.
//   RunningTotal       column D row r is "=D(r-1)+Cr": one single-cell
//                      reference and one addition per row, each row settled
//                      before the next is evaluated.
//   PrefixTotalsOnly   the index alone: Totals over C1:Cr for r = 1..N.
// The "ns_per_reference" counter is the time per evaluated item (per query
// for PrefixTotalsOnly); the items' formulas are parsed before timing.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "evaluate/currency.h"
#include "evaluate/evaluate.h"
#include "evaluate/item_bookkeeping.h"
#include "evaluate/placed_items.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace {

using orvo::xml::Document;
using orvo::xml::Node;

void SetReferenceCounter(benchmark::State& state, double references) {
  state.counters["ns_per_reference"] =
      benchmark::Counter(references * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
}

// A column of N values and the parsed records of the formulas that refer to it.
struct Column {
  explicit Column(int rows) : document(Document::Create()) {
    index = std::make_shared<orvo::PlacedItems>();
    orvo::PreviewSources sources;
    sources.placed_items = index;
    evaluator.Sources(sources);
    evaluator.CurrentFormatName("BENCH");
    for (int row = 1; row <= rows; ++row) {
      const std::string value =
          orvo::Currency::FromScaled(static_cast<std::int64_t>(row) * 12345 % 9999991).ToText();
      Node item = Item("C" + std::to_string(row), row, value, {});
      Node evaluated;
      evaluator.Evaluate(item, {}, 0, "", evaluated);
    }
  }

  // A placed item at `key` whose parsed record is `record` (none for a value).
  Node Item(const std::string& key, int row, const std::string& text, const Node& record) {
    Node item = document.CreateElement("Itm");
    item.SetAttribute("Key", key);
    item.SetAttribute("Row", std::to_string(row));
    item.SetAttribute("Col", "3");
    item.SetAttribute("Value", text);
    item.AppendChild(record ? document.ImportNode(record, true) : document.CreateElement("PEx"));
    Node style = item.AppendChild(document.CreateElement("Stl"));
    style.AppendChild(document.CreateElement("NFmt")).SetAttribute("Typ", "General");
    orvo::PrepareForEvaluation(item, "BENCH");
    index->Placed(item);
    return item;
  }

  Node Formula(const std::string& key, int row, const std::string& text) {
    orvo::cParser parser;
    parser.TokenFromString(text);
    return Item(key, row, text, parser.ParsedValue());
  }

  Document document;
  std::shared_ptr<orvo::PlacedItems> index;
  orvo::cEvaluate evaluator;
};

void GrowingPrefixSum(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Column column(rows);
  std::vector<Node> sums;
  for (int row = 1; row <= rows; ++row) {
    sums.push_back(
        column.Formula("D" + std::to_string(row), row, "=SUM(C1:C" + std::to_string(row) + ")"));
  }
  for (auto _ : state) {
    for (const Node& item : sums) {
      Node evaluated;
      column.evaluator.Evaluate(item, {}, 0, "", evaluated);
    }
  }
  if (sums.back().AttributeOr("Evaluated", "") != "-1") state.SkipWithError("not evaluated");
  SetReferenceCounter(state, rows);
}

void RunningTotal(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Column column(rows);
  std::vector<Node> totals;
  for (int row = 1; row <= rows; ++row) {
    const std::string previous = row == 1 ? "0" : "D" + std::to_string(row - 1);
    totals.push_back(column.Formula("D" + std::to_string(row), row,
                                    "=" + previous + "+C" + std::to_string(row)));
  }
  for (auto _ : state) {
    for (const Node& item : totals) {
      Node evaluated;
      column.evaluator.Evaluate(item, {}, 0, "", evaluated);
    }
  }
  if (totals.back().AttributeOr("Evaluated", "") != "-1") state.SkipWithError("not evaluated");
  SetReferenceCounter(state, rows);
}

void PrefixTotalsOnly(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Column column(rows);
  for (auto _ : state) {
    for (int row = 1; row <= rows; ++row) {
      benchmark::DoNotOptimize(column.index->Totals("BENCH", 3, 3, 1, row, false));
    }
  }
  SetReferenceCounter(state, rows);
}

BENCHMARK(GrowingPrefixSum)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(RunningTotal)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(PrefixTotalsOnly)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
