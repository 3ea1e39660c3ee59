// Number and operator benchmarks.
//
// Cases:
//   BM_OperatorMix: EvaluateOperators over a mix of the operator expressions
//     left once functions and operands have been replaced by values (sums of
//     2 to 20 operands, differences, products with a division, percentages,
//     comparisons, text joins, literals); reports expressions per second.
//   BM_SumOfTwenty: one sum of twenty operands, the longest common case.
//   BM_NumberTexts: ParseNumber, NumberToText and NumberToDecimalText of
//     typical amounts; reports conversions per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "evaluate/number_text.h"
#include "evaluate/operator_evaluation.h"

namespace {

std::string SumOf(int operands) {
  std::string text = "=";
  for (int i = 0; i < operands; ++i) {
    if (i != 0) text += i % 3 == 0 ? "-" : "+";
    text += std::to_string(1000 + i * 37) + "." + std::to_string(i % 100);
  }
  return text;
}

std::vector<std::string> OperatorMix() {
  std::vector<std::string> mix;
  for (int operands = 2; operands <= 20; operands += 3) mix.push_back(SumOf(operands));
  mix.push_back("=12500.5*0.075");
  mix.push_back("=(1500.25-1200.75)/1200.75*100");
  mix.push_back("=45000>=40000");
  mix.push_back("=12.5%");
  mix.push_back("=\"Net \" & 15230.5 & \" k\"");
  mix.push_back("=-1523.75+200");
  mix.push_back("=1523.75<>1523.75");
  mix.push_back("=Revenue=REVENUE");
  mix.push_back("=98765.4321");
  return mix;
}

void BM_OperatorMix(benchmark::State& state) {
  const std::vector<std::string> mix = OperatorMix();
  std::size_t count = 0;
  for (auto _ : state) {
    for (const std::string& expression : mix)
      benchmark::DoNotOptimize(orvo::EvaluateOperators(expression));
    count += mix.size();
  }
  state.counters["expressions/s"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OperatorMix);

void BM_SumOfTwenty(benchmark::State& state) {
  const std::string expression = SumOf(20);
  for (auto _ : state) benchmark::DoNotOptimize(orvo::EvaluateOperators(expression));
  state.counters["expressions/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SumOfTwenty);

void BM_NumberTexts(benchmark::State& state) {
  const std::vector<std::string> amounts = {"0",       "1523.75", "-98765.4321",
                                            "0.00001", "1E+21",   "123456789.125"};
  std::size_t count = 0;
  for (auto _ : state) {
    for (const std::string& amount : amounts) {
      const double value = *orvo::ParseNumber(amount);
      benchmark::DoNotOptimize(orvo::NumberToText(value));
      benchmark::DoNotOptimize(orvo::NumberToDecimalText(value));
    }
    count += amounts.size();
  }
  state.counters["conversions/s"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NumberTexts);

}  // namespace

BENCHMARK_MAIN();
