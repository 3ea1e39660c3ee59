// Formula benchmarks.
//
// Cases:
//   BM_TokenizeMix: GetToken over a mix of typical report formulas (cell
//     arithmetic, Sum over ranges, If, chart-map and database-map references,
//     mixed texts with embedded formulas); reports tokens per second.
//   BM_ParseMix: TokenFromString and ParsedValue over the same mix; reports
//     formulas per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "orvo/parser.h"

namespace {

const std::vector<std::string>& FormulaMix() {
  static const std::vector<std::string> mix = {
      "=B12+C12-D12",
      "=Sum(B5:B11)",
      "=If(C20<>0,(B20-C20)/C20*100,0)",
      "=CM.Revenue.CR-CM.CostOfSales.DR",
      "=LY(CM.Revenue.CR)",
      "=Sum(B5:B11)-Sum(C5:C11)",
      "=If(And(B3>0,C3>0),B3/C3,\"n/a\")",
      "Total for {Year} period {Period}: {Sum(D4:D9)}",
      "=DB.Projects.Budget*1.05",
      "=Avg(B2:M2)",
      "=Note(REVENUE)",
      "=AccountValue(\"4000\",AMOUNT)",
  };
  return mix;
}

void BM_TokenizeMix(benchmark::State& state) {
  orvo::cParser parser;
  const auto& mix = FormulaMix();
  std::size_t tokens = 0;
  for (auto _ : state) {
    for (const std::string& formula : mix) {
      parser.CurrentPosition(1);
      while (parser.CurrentPosition() != -1) {
        benchmark::DoNotOptimize(parser.GetToken(formula));
        ++tokens;
      }
    }
  }
  state.counters["tokens_per_second"] =
      benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TokenizeMix);

void BM_ParseMix(benchmark::State& state) {
  orvo::cParser parser;
  const auto& mix = FormulaMix();
  std::size_t formulas = 0;
  for (auto _ : state) {
    for (const std::string& formula : mix) {
      parser.TokenFromString(formula);
      benchmark::DoNotOptimize(parser.ParsedValue());
      ++formulas;
    }
  }
  state.counters["formulas_per_second"] =
      benchmark::Counter(static_cast<double>(formulas), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseMix);

}  // namespace

BENCHMARK_MAIN();
