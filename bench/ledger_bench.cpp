// Ledger driver benchmarks on a 100,000-account sample workspace, generated
// once into a temporary folder.
//
// Cases:
//   BM_AccountValue            one AccountValue_DDKFunction request (year to
//                              date, one main account), filters refilled each time
//   BM_RepeatingBalance/1      RepeatingBalance_DDKFunction over every account,
//                              one balance key
//   BM_RepeatingBalance/3      the same with three keys (this year, last year,
//                              budget)
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ledger/ledger_command_factory.h"
#include "orvo/sample_workspace.h"
#include "orvo/xml.h"

namespace {

const std::string& Workspace() {
  static const std::string folder = [] {
    std::filesystem::path path = std::filesystem::temp_directory_path() / "orvo_ledger_bench_100k";
    if (!std::filesystem::exists(path / "workspace.xml")) {
      orvo::SampleOptions options;
      options.accounts = 100000;
      orvo::WriteSampleWorkspace(path.string(), options);
    }
    return path.string();
  }();
  return folder;
}

std::vector<std::string> MainCodes(orvo::ledger::CLedgerCommandFactory& factory) {
  auto command = factory.CreateCommand(0, "RepeatingBalance_DDKFunction");
  auto& filters = command->definition().Filters();
  filters.Add("DDKFieldFromCode", std::nullopt, "DDKFieldFromCode", "0");
  filters.Add("DDKFieldToCode", std::nullopt, "DDKFieldToCode", "99999999");
  filters.Add("ShowZeroBalances", std::nullopt, "ShowZeroBalances", "-1");
  std::vector<std::string> codes;
  orvo::xml::Node records = command->Execute().FirstChild();
  for (const orvo::xml::Node& record : records.ChildNodes()) {
    codes.push_back(record.AttributeOr("CODE", ""));
  }
  return codes;
}

void BM_AccountValue(benchmark::State& state) {
  orvo::ledger::CLedgerCommandFactory factory;
  factory.OpenWorkspace(Workspace());
  std::vector<std::string> codes = MainCodes(factory);
  auto command = factory.CreateCommand(0, "AccountValue_DDKFunction");
  auto& filters = command->definition().Filters();
  std::size_t next = 0;
  for (auto _ : state) {
    filters.Clear();
    filters.Add("#1", std::nullopt, "CODE", codes[next]);
    filters.Add("#2", std::nullopt, "FIELD", "AMOUNT");
    filters.Add("#3", std::nullopt, "DDKFieldYearName", "2026");
    filters.Add("#4", std::nullopt, "DDKFieldBalanceType", "Actuals");
    filters.Add("DDKFieldBalanceStartPeriod", 0, "DDKFieldBalanceStartPeriod", "1", 2);
    filters.Add("DDKFieldBalanceEndPeriod", 0, "DDKFieldBalanceEndPeriod", "Current Period", 2);
    filters.Add("DDKFieldBalancePeriodBalType", 0, "DDKFieldBalancePeriodBalType", "YTD", 2);
    orvo::xml::Node answer = command->Execute();
    benchmark::DoNotOptimize(answer.GetAttribute("AMOUNT"));
    next = (next + 7919) % codes.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AccountValue);

void BM_RepeatingBalance(benchmark::State& state) {
  orvo::ledger::CLedgerCommandFactory factory;
  factory.OpenWorkspace(Workspace());
  auto command = factory.CreateCommand(0, "RepeatingBalance_DDKFunction");
  auto& filters = command->definition().Filters();
  const std::vector<std::string> years = {"Y", "Y-1", "Y"};
  const std::vector<std::string> types = {"Actuals", "Actuals", "Budget"};
  std::size_t keys = static_cast<std::size_t>(state.range(0));
  std::size_t rows = 0;
  for (auto _ : state) {
    filters.Clear();
    filters.Add("DDKFieldFromCode", std::nullopt, "DDKFieldFromCode",
                std::vector<std::string>{"0"});
    filters.Add("DDKFieldToCode", std::nullopt, "DDKFieldToCode",
                std::vector<std::string>{"99999999"});
    filters.Add("DDKFieldBalanceType", std::nullopt, "DDKFieldBalanceType",
                std::vector<std::string>(types.begin(), types.begin() + keys));
    filters.Add("DDKFieldYearName", std::nullopt, "DDKFieldYearName",
                std::vector<std::string>(years.begin(), years.begin() + keys));
    filters.Add("ShowSubCodes", std::nullopt, "ShowSubCodes", "-1");
    filters.Add("ShowZeroBalances", std::nullopt, "ShowZeroBalances", "-1");
    orvo::xml::Node answer = command->Execute();
    rows = answer.FirstChild().ChildNodes().Length();
  }
  state.counters["accounts"] = static_cast<double>(rows);
}
BENCHMARK(BM_RepeatingBalance)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
