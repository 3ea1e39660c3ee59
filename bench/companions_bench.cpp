// Preview companions under the load of a large report.
//
// Cases (each at 10,000 and 100,000 entries, to show a flat cost per call):
//   DependencyCycle   N AddDependency over N/5 waited-on keys, then for every
//                     key DependentItemsForKey and RemoveDependentIndex of each
//                     entry found (how pending items are resolved), on a new
//                     table each time.
//   DependencyCycleReused  the same on one table that has held N entries before.
//   DrillDownAdd      N AddCMDrillDownItem over 1,000 distinct balance
//                     signatures, then DrillObject for every key issued.
//   BookmarkIndex     N bookmarks added while 100 row removals are logged,
//                     then CreateRefIndexFor and Item + RefRow for each (a
//                     RefRow replays the removals logged since the bookmark
//                     was added or last read, so the log size is held fixed).
//   KeyedTableFloor   the floor under BookmarkIndex, with nothing of the
//                     library in it: N objects made and filed under their
//                     keys ("BM0", ...) in a bare std::unordered_map, two
//                     look-ups per key in the order added, then all freed.
//   HashLookupFloor   look-ups alone: one per key in such a map, built once.
// The "ns_per_call" counter is the time per table call.
//
// Release build on a 2-core machine shared with other builds (2 MB L2 cache
// per core), CPU time, median of 5 runs, ns per call:
//
//                             10,000      100,000
//   DependencyCycle             2,930        4,270
//   DependencyCycleReused       3,940        4,050
//   DrillDownAdd                  841          970
//   BookmarkIndex                 222          638
//   KeyedTableFloor                76          301
//   HashLookupFloor                29          135
//
// Why the keyed cases are not flat: at 10,000 entries a table, its keys and
// its objects fit in the cache, at 100,000 they do not, so making, finding
// and freeing each entry costs cache misses that a small table never pays.
// No call walks more than a fixed number of entries. The floor cases show
// that step with the standard library alone: KeyedTableFloor grows more from
// 10,000 to 100,000 than BookmarkIndex does. DrillObject finds a drill key by
// its number in an array rather than by hashing the key, so DrillDownAdd is
// flat.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "orvo/bookmarks.h"
#include "orvo/dependency_table.h"
#include "orvo/drill_down.h"

namespace {

using orvo::xml::Document;
using orvo::xml::Node;

void SetCallCounter(benchmark::State& state, double calls) {
  state.counters["ns_per_call"] = benchmark::Counter(
      calls * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Items of a preview document: B1..Bn on rows 1..n, waiting on A1..A(n/5).
struct PendingItems {
  explicit PendingItems(int count) : document(Document::Parse("<Itms/>")) {
    for (int i = 0; i < count; ++i) {
      Node item = document.CreateElement("Itm");
      item.SetAttribute("Key", "B" + std::to_string(i + 1));
      item.SetAttribute("Row", std::to_string(i + 1));
      items.push_back(document.DocumentElement().AppendChild(item));
    }
    for (int k = 0; k < count / 5; ++k) dependency_keys.push_back("A" + std::to_string(k + 1));
  }

  // Adds every item, then resolves key by key as the builder does.
  bool Cycle(orvo::CDependencyTable& table) const {
    for (std::size_t i = 0; i < items.size(); ++i) {
      table.AddDependency(items[i], dependency_keys[i % dependency_keys.size()], "Sales");
    }
    std::size_t removed = 0;
    for (const std::string& key : dependency_keys) {
      for (const Node& entry : table.DependentItemsForKey(key, "SALES")) {
        benchmark::DoNotOptimize(table.DependentItem(entry));
        table.RemoveDependentIndex(entry);
        ++removed;
      }
    }
    return removed == items.size();
  }

  Document document;
  std::vector<Node> items;
  std::vector<std::string> dependency_keys;
};

// A new table per iteration: includes growing the slots and the first
// touch of the memory the XML entries take.
void DependencyCycle(benchmark::State& state) {
  const PendingItems pending(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    orvo::CDependencyTable table;
    if (!pending.Cycle(table)) state.SkipWithError("entries left over");
  }
  SetCallCounter(state, 2.0 * static_cast<double>(pending.items.size()) +
                            static_cast<double>(pending.dependency_keys.size()));
}
BENCHMARK(DependencyCycle)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One table through many builds: the steady state of a long-lived table.
void DependencyCycleReused(benchmark::State& state) {
  const PendingItems pending(static_cast<int>(state.range(0)));
  orvo::CDependencyTable table;
  pending.Cycle(table);
  for (auto _ : state) {
    if (!pending.Cycle(table)) state.SkipWithError("entries left over");
  }
  SetCallCounter(state, 2.0 * static_cast<double>(pending.items.size()) +
                            static_cast<double>(pending.dependency_keys.size()));
}
BENCHMARK(DependencyCycleReused)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void DrillDownAdd(benchmark::State& state) {
  const int calls = static_cast<int>(state.range(0));
  constexpr int kSignatures = 1000;
  const Document document = Document::Parse("<Scratch/>");
  std::vector<Node> definitions;
  for (int s = 0; s < kSignatures; ++s) {
    Node definition = document.CreateElement("BalDef");
    Node key = definition.AppendChild(document.CreateElement("Key"));
    key.SetAttribute("Bal", "ACT");
    key.SetAttribute("Year", std::to_string(2000 + s % 20));
    key.SetAttribute("Prd", std::to_string(1 + s / 20));
    key.SetAttribute("PrdEnd", "12");
    key.SetAttribute("PBal", "N");
    definitions.push_back(definition);
  }
  Node object = document.CreateElement("DrillObject");
  object.SetAttribute("Acc", "4000");

  for (auto _ : state) {
    orvo::cDrillDown drill;
    std::string last;
    for (int i = 0; i < calls; ++i) {
      last = drill.AddCMDrillDownItem("CM.Sales", object,
                                      definitions[static_cast<std::size_t>(i % kSignatures)]);
    }
    for (int i = 1; i <= calls; ++i) {
      benchmark::DoNotOptimize(drill.DrillObject("DrillItem" + std::to_string(i)));
    }
    benchmark::DoNotOptimize(last);
  }
  SetCallCounter(state, 2.0 * calls);
}
BENCHMARK(DrillDownAdd)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BookmarkIndex(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const Document document = Document::Parse("<BMks/>");
  std::vector<Node> definitions;
  std::vector<std::string> keys;
  for (int i = 0; i < count; ++i) {
    keys.push_back("BM" + std::to_string(i));
    Node definition = document.CreateElement("BMk");
    definition.SetAttribute("Key", keys.back());
    definition.SetAttribute("Note", i % 2 ? "-1" : "0");
    definitions.push_back(document.DocumentElement().AppendChild(definition));
  }

  for (auto _ : state) {
    orvo::ColEvaluatedBookmarks set;
    for (int i = 0; i < count; ++i) {
      auto bookmark = std::make_shared<orvo::cEvaluatedBookmark>();
      bookmark->EvaluateBookmark(definitions[static_cast<std::size_t>(i)], i + 1);
      set.Add(bookmark);
      if (i % (count / 100) == 0) set.UpdateRemoveRow(i / 2);
    }
    for (const std::string& key : keys) benchmark::DoNotOptimize(set.CreateRefIndexFor(key));
    for (const std::string& key : keys) benchmark::DoNotOptimize(set.Item(key)->RefRow());
  }
  SetCallCounter(state, 3.0 * count);
}
BENCHMARK(BookmarkIndex)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Standard-library floors: the same shapes of work with no library code.
std::vector<std::string> FloorKeys(int count) {
  std::vector<std::string> keys;
  for (int i = 0; i < count; ++i) keys.push_back("BM" + std::to_string(i));
  return keys;
}

void KeyedTableFloor(benchmark::State& state) {
  struct Entry {
    std::string key;
    std::int32_t row = 0;
  };
  const std::vector<std::string> keys = FloorKeys(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::unordered_map<std::string, std::shared_ptr<Entry>> table;
    for (const std::string& key : keys) table.emplace(key, std::make_shared<Entry>(Entry{key}));
    for (const std::string& key : keys) benchmark::DoNotOptimize(++table.find(key)->second->row);
    for (const std::string& key : keys) benchmark::DoNotOptimize(table.find(key)->second->row);
  }
  SetCallCounter(state, 3.0 * static_cast<double>(keys.size()));
}
BENCHMARK(KeyedTableFloor)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void HashLookupFloor(benchmark::State& state) {
  const std::vector<std::string> keys = FloorKeys(static_cast<int>(state.range(0)));
  std::unordered_map<std::string, std::shared_ptr<int>> table;
  for (const std::string& key : keys) table.emplace(key, std::make_shared<int>(0));
  for (auto _ : state) {
    for (const std::string& key : keys) benchmark::DoNotOptimize(*table.find(key)->second);
  }
  SetCallCounter(state, static_cast<double>(keys.size()));
}
BENCHMARK(HashLookupFloor)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
