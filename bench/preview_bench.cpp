// Styles, number formats and the preview's record handling under report load.
//
// Cases:
//   DisplayText/<category>  FormatDisplayText on one item per call, cycling
//                           through 64 values (sums, negatives, zeros, text);
//                           the evaluator calls it once per item.
//   PreviewStylesheet/<rows>  the preview stylesheet over a body result of
//                           <rows> rows of 6 styled items (1,000 and 10,000).
//   PreviewDocument/<rows>  the same result written by PreviewDocument.
//   RowListStylesheet/<rows>  the row-list stylesheet over <rows> Row
//                           records in random order (1,000 and 10,000).
//   RowListSort/<rows>      the same list sorted by SortRowList.
//   FormatLookUp            FormatLibraryIndex::Find over a library of 500
//                           formats of 20 rows each, cycling through the keys.
// "items_per_second" counts items (or rows, or look-ups) handled.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "evaluate/number_format.h"
#include "orvo/xml.h"
#include "preview/format_library.h"
#include "preview/preview_document.h"
#include "preview/preview_stylesheets.h"

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

constexpr const char* kStyledItemBody =
    "<PEx/><Stl Name='AMOUNT' Hei='0' Wdt='0' BCl='-1' Ptn='0' PtnCl='0'>"
    "<NFmt Typ='Numeric'><Def Dec='0'/></NFmt>"
    "<Alg Hrz='Right' Vrt='Bottom' Wrp='0' Mg='0' MgKey='' Ind='0' Or='0' Shr='0' VrtTx='0'/>"
    "<Brd btC='0' btL='0' dtlC='0' dtlL='0' dtrC='0' dtrL='0' lfC='0' lfL='0' rgC='0' rgL='0' "
    "tpC='0' tpL='0'/><Fnts><Fnt Bld='0' Clr='0' Itl='0' Nm='Arial' Sz='10' Str='0' "
    "Stl='Regular' Sub='0' Sup='0' Udl='' stt='' end=''/></Fnts></Stl><Drill On='0' Key=''/>";

std::string ResultFormat(int rows) {
  std::string text = "<Fmt Key='IS' MRow='" + std::to_string(rows) + "' MCol='6'><Itms>";
  for (int row = 1; row <= rows; ++row) {
    text += "<Row PgBk='0'>";
    for (int column = 6; column >= 1; --column) {
      const std::string r = std::to_string(row), c = std::to_string(column);
      text += "<Itm Key='K' Row='" + r + "' Col='" + c + "' Value='" + r +
              "' Evaluated='-1' OrigKey='B" + r + "' OrigRow='" + r +
              "' OrigFmt='IS' OrigFml='=1' RptKey='' RptIndex='' PTxt='" + r + "' ASz='0'>" +
              kStyledItemBody + "</Itm>";
    }
    text += "</Row>";
  }
  return text + "</Itms></Fmt>";
}

void PreviewStylesheet(benchmark::State& state) {
  Document result = Document::Parse(ResultFormat(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::SortXML(result.DocumentElement(), orvo::PreviewStylesheet()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 6);
}
BENCHMARK(PreviewStylesheet)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void PreviewDocument(benchmark::State& state) {
  Document result = Document::Parse(ResultFormat(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::PreviewDocument(result.DocumentElement()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 6);
}
BENCHMARK(PreviewDocument)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

Document RowList(int count) {
  std::vector<int> numbers(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int>(i) + 1;
  std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
  std::string text = "<Rows>";
  for (int number : numbers) {
    text += "<Row Del='" + std::string(number % 3 ? "0" : "-1") + "' Keep='0'>" +
            std::to_string(number) + "</Row>";
  }
  return Document::Parse(text + "</Rows>");
}

void RowListStylesheet(benchmark::State& state) {
  Document rows = RowList(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::SortXML(rows.DocumentElement(), orvo::RowListStylesheet()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RowListStylesheet)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void RowListSort(benchmark::State& state) {
  Document rows = RowList(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvo::SortRowList(rows.DocumentElement()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RowListSort)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void FormatLookUp(benchmark::State& state) {
  std::string text = "<Fmts>";
  std::vector<std::string> keys;
  for (int i = 0; i < 500; ++i) {
    keys.push_back("FMT" + std::to_string(i));
    text += "<Fmt Key='" + keys.back() + "'><Itms>";
    for (int row = 0; row < 20; ++row) text += "<Row><Itm/><Itm/><Itm/></Row>";
    text += "</Itms></Fmt>";
  }
  Document library = Document::Parse(text + "</Fmts>");
  orvo::FormatLibraryIndex index;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.Find(library.DocumentElement(), keys[i++ % keys.size()]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FormatLookUp);

}  // namespace

BENCHMARK_MAIN();
