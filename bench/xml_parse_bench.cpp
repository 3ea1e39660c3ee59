// Parsing XML text into a document: the fast parser against libxml2.
//
// Cases (Path is Fast, the fast parser with libxml2 behind it, or Libxml,
// libxml2 alone):
//   GridFormats/<Path>/<rows>  a formats list as the grid benchmark of
//                           preview_bench writes it: one format of <rows>
//                           rows x 8 items of 7 attributes and a child each,
//                           on one line (1,000 and 10,000 rows; 8 MB at
//                           10,000).
//   IndentedFormats/<Path>/<rows>  the same list indented, one element per
//                           line, with the blank text between elements that
//                           Parse drops.
// The time is the parse alone (freeing the document is not timed); counter
// MB_per_second.
#include <benchmark/benchmark.h>

#include <string>

#include "orvo/xml.h"
#include "xml/fast_parser.h"

namespace {

using orvo::xml::detail::ParsePath;

std::string GridFormats(int rows, bool indented) {
  const std::string line = indented ? "\n" : "";
  std::string text = "<Formats>" + line + "<Fmt Key='GRID' Name='GRID' MRow='" +
                     std::to_string(rows) + "' MCol='8'>" + line + "<Itms>" + line;
  for (int r = 1; r <= rows; ++r) {
    const std::string row = std::to_string(r);
    const std::string before = std::to_string(r > 1 ? r - 1 : 1);
    const std::string low = std::to_string(r > 9 ? r - 9 : 1);
    const std::string values[8] = {
        row,
        std::to_string(r % 7 + 1),
        "=A" + row + "*B" + row,
        "=D" + before + "+C" + row,
        "=Sum(A" + low + ":B" + row + ")",
        "=Sum(C1:C" + row + ")",
        "=If(Mod(A" + row + ",2)=0,F" + row + "-D" + row + ",Max(C" + low + ":C" + row + "))",
        "=Avg(C" + low + ":E" + row + ")"};
    text += (indented ? "  " : "") + std::string("<Row PgBk='0'>") + line;
    for (int column = 0; column < 8; ++column) {
      text += (indented ? "    " : "") + std::string("<Itm Key='") +
              static_cast<char>('A' + column) + row + "' Row='" + row + "' Col='" +
              std::to_string(column + 1) + "' Value='" + values[column] +
              "' Str='' MgKey='' ASz='0'>" + (indented ? "\n      <PEx/>\n    " : "<PEx/>") +
              "</Itm>" + line;
    }
    text += (indented ? "  " : "") + std::string("</Row>") + line;
  }
  return text + "</Itms>" + line + "</Fmt>" + line + "</Formats>" + line;
}

void Parse(benchmark::State& state, ParsePath path, bool indented) {
  const std::string text = GridFormats(static_cast<int>(state.range(0)), indented);
  const ParsePath before = orvo::xml::detail::SetParsePath(path);
  for (auto _ : state) {
    orvo::xml::Document document = orvo::xml::Document::Parse(text);
    benchmark::DoNotOptimize(document);
    state.PauseTiming();
    document = orvo::xml::Document();
    state.ResumeTiming();
  }
  orvo::xml::detail::SetParsePath(before);
  state.counters["MB_per_second"] = benchmark::Counter(
      static_cast<double>(text.size()) * static_cast<double>(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
}

void GridFormatsFast(benchmark::State& state) { Parse(state, ParsePath::kFastOnly, false); }
void GridFormatsLibxml(benchmark::State& state) { Parse(state, ParsePath::kLibxmlOnly, false); }
void IndentedFormatsFast(benchmark::State& state) { Parse(state, ParsePath::kFastOnly, true); }
void IndentedFormatsLibxml(benchmark::State& state) { Parse(state, ParsePath::kLibxmlOnly, true); }

BENCHMARK(GridFormatsFast)
    ->Name("GridFormats/Fast")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(GridFormatsLibxml)
    ->Name("GridFormats/Libxml")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndentedFormatsFast)
    ->Name("IndentedFormats/Fast")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndentedFormatsLibxml)
    ->Name("IndentedFormats/Libxml")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
