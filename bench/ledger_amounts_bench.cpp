// The balance path of the evaluator over sample workspaces of 10,000 and
// 100,000 accounts (generated once into temporary folders), the real SQLite
// driver behind it. Each case runs on a thread of its own (launch properties
// are per thread), every iteration with a fresh evaluator and emptied shared
// caches, so the SQL is inside the figures.
//
// Cases (argument: accounts):
//   BM_TrialBalanceRepeat    EvaluateRepeat over every account (sub-codes
//                            shown, sorted by CODE), then per record the
//                            trial balance's four items (code, description,
//                            debit, credit). Counters: accounts, wall time
//                            per account, driver requests per iteration (one).
//   BM_FolderTotals          every chart-map folder in five columns of an
//                            income statement (movement, year to date, last
//                            year through LY, budget, last year's column):
//                            one RepeatingBalance per folder and key set.
//   BM_DistinctAccountValues 2,000 accounts in two contexts, each request
//                            evaluated three times: AccountValue requests
//                            per distinct request (one).
// Every case prints the process's peak resident memory (MiB).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "evaluate/evaluate.h"
#include "evaluate/item_bookkeeping.h"
#include "frame/provider_access.h"
#include "ledger/ledger_command_factory.h"
#include "orvo/parser.h"
#include "orvo/providers.h"
#include "orvo/sample_workspace.h"
#include "orvo/xml.h"

namespace {

using orvo::xml::Document;
using orvo::xml::Node;

// Driver requests by function name, counted across the case's thread.
std::map<std::string, std::atomic<long>> g_requests;

long Requests(const std::string& function) { return g_requests[function].load(); }

class CountingFactory : public orvo::IDriverCommandFactory {
 public:
  void Init(const Node& launch_properties) override { m_ledger.Init(launch_properties); }
  std::shared_ptr<orvo::ICommand> CreateCommand(std::int32_t kind,
                                                const std::string& name) override {
    ++g_requests[name];
    return m_ledger.CreateCommand(kind, name);
  }

 private:
  orvo::ledger::CLedgerCommandFactory m_ledger;
};

const bool kCounting = [] {
  for (const char* function : {"RepeatingBalance_DDKFunction", "AccountValue_DDKFunction"}) {
    g_requests[function] = 0;
  }
  orvo::ComponentRegistry::Register(orvo::kCommandFactoryId,
                                    [] { return std::make_shared<CountingFactory>(); });
  return true;
}();

// Resident memory now, from /proc/self/statm (pages).
double CurrentMiB() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Runs the case on a thread that has the workspace's launch properties.
template <class Body>
void OnWorkspaceThread(int accounts, Body body) {
  const std::string& folder = orvo::bench::SampleWorkspaceFolder(accounts);
  std::thread([&] {
    Document document = Document::Create();
    Node launch = document.CreateElement("LaunchProperties");
    launch.SetAttribute("Workspace", folder);
    document.SetDocumentElement(launch);
    orvo::cEvaluate init;
    init.Init(launch);
    body();
  }).join();
}

void EmptySharedCaches(orvo::cEvaluate& evaluator) {
  for (Node store : {evaluator.SharedRanges(), evaluator.SharedRepeatItems()}) {
    while (Node child = store.FirstChild()) store.RemoveChild(child);
  }
}

// A format with balance columns and one item per formula, parsed once.
struct Format {
  Document document = Document::Create();
  Node format;
  std::vector<Node> items;

  Format(const std::string& key, const std::string& columns) {
    format = document.ImportNode(Document::Parse("<Fmt Key='" + key + "' Name='" + key +
                                                 "'><ColBals>" + columns + "</ColBals></Fmt>")
                                     .DocumentElement(),
                                 true);
  }
  Node Add(int column, const std::string& formula) {
    orvo::cParser parser;
    parser.TokenFromString(formula);
    Node item = document.CreateElement("Itm");
    item.SetAttribute("Key", "A1");
    item.SetAttribute("Row", "1");
    item.SetAttribute("Col", std::to_string(column));
    item.SetAttribute("Value", formula);
    item.AppendChild(document.ImportNode(parser.ParsedValue(), true));
    // Prepared once, as the builder prepares a definition row before it
    // copies it for every record.
    orvo::PrepareForEvaluation(item, format.AttributeOr("Key", ""));
    items.push_back(item);
    return item;
  }
};

// Evaluates the definition item itself, again for every record: copying
// rows is the builder's part (bench/ledger_preview_bench.cpp measures it).
std::string Evaluate(orvo::cEvaluate& evaluator, const Node& item, const Node& list = {},
                     std::int32_t position = 0) {
  Node evaluated;
  evaluator.Evaluate(item, list, position, list ? "TB" : "", evaluated);
  return item.AttributeOr("Value", "");
}

void BM_TrialBalanceRepeat(benchmark::State& state) {
  const int accounts = static_cast<int>(state.range(0));
  OnWorkspaceThread(accounts, [&] {
    const std::string closing =
        "Year='Y' Prd='Current Period' PdEnd='Current Period' PdBal='Closing' Bal='Actuals'";
    Format format("TRIAL_BALANCE",
                  "<ColBal Col='3' " + closing + "/><ColBal Col='4' " + closing + "/>");
    format.Add(1, "=CODE");
    format.Add(2, "=DESCRIPTION");
    format.Add(3, "=If(AMOUNT>0,AMOUNT,0)");
    format.Add(4, "=If(AMOUNT<0,-AMOUNT,0)");
    const Node repeat =
        Document::Parse(
            "<Rpt Row='2' Typ='1' Sub='-1' Zer='0' Use='0'>CM.TRIALBALANCE<SItm Ind='1' "
            "Fld='CODE'/></Rpt>")
            .DocumentElement();
    std::int32_t records = 0;
    long requests = 0;
    for (auto _ : state) {
      state.PauseTiming();
      auto evaluator = std::make_unique<orvo::cEvaluate>();
      EmptySharedCaches(*evaluator);
      const long before = Requests("RepeatingBalance_DDKFunction");
      state.ResumeTiming();

      evaluator->FormatReference(format.format);
      evaluator->CurrentFormatName("TRIAL_BALANCE");
      Node keys = Document::Parse("<Keys><Key " + std::string("Year='Y' Prd='Current Period' ") +
                                  "PrdEnd='Current Period' PBal='Closing' Bal='Actuals'/></Keys>")
                      .DocumentElement();
      Node list;
      evaluator->EvaluateRepeat(repeat, records, keys, list);
      for (std::int32_t position = 1; position <= records; ++position) {
        for (const Node& item : format.items) {
          benchmark::DoNotOptimize(Evaluate(*evaluator, item, list, position));
        }
      }
      requests = Requests("RepeatingBalance_DDKFunction") - before;
    }
    state.counters["accounts"] = records;
    state.counters["per_account"] =
        benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["peak_MiB"] = orvo::bench::PeakMiB();
    state.counters["now_MiB"] = CurrentMiB();
  });
}
BENCHMARK(BM_TrialBalanceRepeat)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(3);

void BM_FolderTotals(benchmark::State& state) {
  const int accounts = static_cast<int>(state.range(0));
  OnWorkspaceThread(accounts, [&] {
    Format format("INCOME_STATEMENT",
                  "<ColBal Col='2' Year='Y' Prd='Current Period' PdEnd='Current Period' "
                  "PdBal='Movement' Bal='Actuals'/>"
                  "<ColBal Col='3' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' "
                  "Bal='Actuals'/>"
                  "<ColBal Col='4' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' "
                  "Bal='Actuals'/>"
                  "<ColBal Col='5' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' "
                  "Bal='Budget'/>"
                  "<ColBal Col='6' Year='Y-1' Prd='1' PdEnd='12' PdBal='Closing' "
                  "Bal='Actuals'/>");
    std::vector<std::string> folders;
    for (const Node& key :
         orvo::GetStoreContext()->ChartMapDefinitions().SelectNodes(".//ItemKey")) {
      folders.push_back(key.Text());
    }
    for (const std::string& folder : folders) {
      for (int column = 2; column <= 6; ++column) {
        format.Add(column, column == 4 ? "=LY(CM." + folder + ")" : "=CM." + folder);
      }
    }
    long requests = 0;
    for (auto _ : state) {
      state.PauseTiming();
      auto evaluator = std::make_unique<orvo::cEvaluate>();
      EmptySharedCaches(*evaluator);
      const long before = Requests("RepeatingBalance_DDKFunction");
      state.ResumeTiming();
      evaluator->FormatReference(format.format);
      evaluator->CurrentFormatName("INCOME_STATEMENT");
      for (const Node& item : format.items) benchmark::DoNotOptimize(Evaluate(*evaluator, item));
      requests = Requests("RepeatingBalance_DDKFunction") - before;
    }
    state.counters["folders"] = static_cast<double>(folders.size());
    state.counters["items"] = static_cast<double>(format.items.size());
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["peak_MiB"] = orvo::bench::PeakMiB();
  });
}
BENCHMARK(BM_FolderTotals)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(3);

void BM_DistinctAccountValues(benchmark::State& state) {
  const int accounts = static_cast<int>(state.range(0));
  OnWorkspaceThread(accounts, [&] {
    Format format("ACCOUNTS",
                  "<ColBal Col='2' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' "
                  "Bal='Actuals'/>"
                  "<ColBal Col='3' Year='Y-1' Prd='1' PdEnd='12' PdBal='YTD' Bal='Budget'/>");
    std::vector<std::string> codes;
    {
      auto evaluator = std::make_unique<orvo::cEvaluate>();
      std::int32_t count = 0;
      Node list;
      evaluator->EvaluateRepeat(
          Document::Parse("<Rpt Typ='1' Sub='0' Zer='-1'>CM.TRIALBALANCE</Rpt>").DocumentElement(),
          count, {}, list);
      const orvo::xml::NodeList records = list.ChildNodes();
      const std::int32_t step = std::max<std::int32_t>(1, count / 2000);
      for (std::int32_t i = 0; i < count && codes.size() < 2000; i += step) {
        codes.push_back(records.Item(static_cast<std::size_t>(i)).AttributeOr("CODE", ""));
      }
    }
    for (const std::string& code : codes) {
      for (int column = 2; column <= 3; ++column) {
        format.Add(column, "=AccountValue(\"" + code + "\",\"AMOUNT\")");
      }
    }
    long requests = 0;
    for (auto _ : state) {
      state.PauseTiming();
      auto evaluator = std::make_unique<orvo::cEvaluate>();
      const long before = Requests("AccountValue_DDKFunction");
      state.ResumeTiming();
      evaluator->FormatReference(format.format);
      evaluator->CurrentFormatName("ACCOUNTS");
      for (int round = 0; round < 3; ++round) {
        for (const Node& item : format.items) benchmark::DoNotOptimize(Evaluate(*evaluator, item));
      }
      requests = Requests("AccountValue_DDKFunction") - before;
    }
    state.counters["distinct"] = static_cast<double>(format.items.size());
    state.counters["evaluated"] = static_cast<double>(format.items.size() * 3);
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["peak_MiB"] = orvo::bench::PeakMiB();
  });
}
BENCHMARK(BM_DistinctAccountValues)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
