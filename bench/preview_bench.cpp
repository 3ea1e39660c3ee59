// Styles, number formats and the preview's record handling under report load.
//
// Cases:
//   DisplayText/<category>  FormatDisplayText on one item per call, cycling
//                           through 64 values (sums, negatives, zeros, text);
//                           the evaluator calls it once per item.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "evaluate/number_format.h"
#include "orvo/xml.h"

namespace {

using orvo::xml::Document;

const char* const kNumberFormats[] = {
    "<NFmt Typ='General'><Def/></NFmt>",
    "<NFmt Typ='Numeric'><Def Dec='2' Cur='None' Zer='-' Sep='-1' DisN='(1,234)' DisP='1,234' "
    "RedN='-1' RedP='0'/></NFmt>",
    "<NFmt Typ='Percentage'><Def Dec='1'/></NFmt>",
    "<NFmt Typ='Text'><Def Txt='4'/></NFmt>",
};

std::vector<std::string> Values() {
  std::vector<std::string> values;
  for (int i = 0; i < 64; ++i) {
    switch (i % 4) {
      case 0:
        values.push_back(std::to_string(i * 12345.678));
        break;
      case 1:
        values.push_back("-" + std::to_string(i * 987.5));
        break;
      case 2:
        values.push_back("0");
        break;
      default:
        values.push_back("net sales " + std::to_string(i));
        break;
    }
  }
  return values;
}

void DisplayText(benchmark::State& state) {
  Document document =
      Document::Parse("<Itm Key='B2' Row='2' Col='2' Value=''><PEx/><Stl Name='AMOUNT'>" +
                      std::string(kNumberFormats[state.range(0)]) +
                      "<Alg/><Brd/><Fnts><Fnt Clr='0'/></Fnts></Stl></Itm>");
  const orvo::xml::Node item = document.DocumentElement();
  const std::vector<std::string> values = Values();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::FormatDisplayText(item, values[i++ & 63]));
  }
  state.SetLabel(kNumberFormats[state.range(0)] + 11);
}
BENCHMARK(DisplayText)->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
