// Cases:
//   BM_GetStorageProvider      the per-call price of the provider access (a
//                              fresh copy of the launch properties each time)
//   BM_GetFormatProvider       the registry round trip the builder makes for
//                              every new format or item element
//   BM_NewItem                 a new item element from the format provider
//   BM_ColumnNumber            column letters to a number
//   BM_GetFormat/N             a stored format of N rows x 8 items, copied
//   BM_FirstFormatLookup/N     opening a workspace and indexing N formats of
//                              5 rows x 8 items ("us_per_format": time per
//                              format read)
//   BM_ParseFormatsText/N      the floor under the case before: parsing the
//                              same formats.xml text into a document and
//                              freeing it, nothing else
//   BM_WalkFormatLibrary/N     one walk of a parsed library of N formats for
//                              its Fmt elements, the document built once
//
// The first format lookup reads the whole format library, so it costs time
// in proportion to the number of formats; per format it is nearly, but not
// quite, flat. Release build on a 2-core machine shared with other builds
// (2 MB L2 cache per core), CPU time, median of 5 runs, microseconds per format:
//
//                              100 formats   1,000 formats
//   BM_FirstFormatLookup            103            173
//   BM_ParseFormatsText              84            121
//   BM_WalkFormatLibrary             2.6           12.8
//
// What grows is the price of touching a node, not the number of nodes
// touched per format. The parsed library takes 6.7 MB with 100 formats and
// 67 MB with 1,000; parsing and freeing the larger one costs 1.45 times as
// much per format, with no code of ours involved, and a walk that does the
// same work per node costs 4.8 times as much per format once its tree no
// longer stays in the cache between runs. The workspace parses the library,
// walks it once (upper-casing the keys and building the key index in the
// same pass) and frees it; its own share is the difference of the first two
// rows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/provider_access.h"
#include "providers/format_provider.h"

namespace {

namespace fs = std::filesystem;

void SetPerFormatCounter(benchmark::State& state, double formats) {
  state.counters["us_per_format"] = benchmark::Counter(
      formats * 1e-6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A workspace with `formats` formats of `rows` rows each, written once per shape.
class BenchWorkspace {
 public:
  BenchWorkspace(int formats, int rows) {
    std::string pattern = (fs::temp_directory_path() / "orvo_bench_XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_folder = pattern;
    std::ofstream(m_folder / "workspace.xml") << "<Workspace CurrentPeriod='12'/>";
    std::ostringstream out;
    out << "<Formats>";
    for (int f = 0; f < formats; ++f) {
      out << "<Fmt Key='F" << f << "' Name='Format " << f << "' MRow='" << rows
          << "' MCol='8'><Itms>";
      for (int r = 1; r <= rows; ++r) {
        out << "<Row>";
        for (int c = 1; c <= 8; ++c) {
          out << "<Itm Key='" << orvo::providers::ColumnNameOf(c) << r << "' Row='" << r
              << "' Col='" << c << "' Value='=CM.SALES'><PEx/><Stl Name=''/></Itm>";
        }
        out << "</Row>";
      }
      out << "</Itms></Fmt>";
    }
    out << "</Formats>";
    m_formats_text = std::move(out).str();
    std::ofstream(m_folder / "formats.xml") << m_formats_text;
  }
  ~BenchWorkspace() {
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }
  orvo::xml::Node LaunchProperties() const {
    return orvo::xml::Document::Parse("<LaunchProperties Workspace='" + m_folder.string() + "'/>")
        .DocumentElement();
  }
  const std::string& FormatsText() const { return m_formats_text; }

 private:
  fs::path m_folder;
  std::string m_formats_text;
};

void BM_GetStorageProvider(benchmark::State& state) {
  BenchWorkspace workspace(1, 1);
  orvo::SetLaunchProperties(workspace.LaunchProperties());
  for (auto _ : state) benchmark::DoNotOptimize(orvo::GetStorageProvider());
}
BENCHMARK(BM_GetStorageProvider);

void BM_GetFormatProvider(benchmark::State& state) {
  BenchWorkspace workspace(1, 1);
  orvo::SetLaunchProperties(workspace.LaunchProperties());
  for (auto _ : state) benchmark::DoNotOptimize(orvo::GetFormatProvider());
}
BENCHMARK(BM_GetFormatProvider);

void BM_NewItem(benchmark::State& state) {
  orvo::providers::CFormatProvider provider;
  std::int32_t row = 0;
  for (auto _ : state) benchmark::DoNotOptimize(provider.NewItem(++row % 1000, 3));
}
BENCHMARK(BM_NewItem);

void BM_ColumnNumber(benchmark::State& state) {
  orvo::providers::CFormatProvider provider;
  const std::string names[] = {"A", "AB", "XFD", "PRINT", "C12"};
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(provider.ColumnNumber(names[++i % 5]));
}
BENCHMARK(BM_ColumnNumber);

void BM_GetFormat(benchmark::State& state) {
  BenchWorkspace workspace(20, static_cast<int>(state.range(0)));
  orvo::providers::CFormatProvider provider;
  provider.Init(workspace.LaunchProperties());
  int f = 0;
  for (auto _ : state) benchmark::DoNotOptimize(provider.GetFormat("f" + std::to_string(++f % 20)));
}
BENCHMARK(BM_GetFormat)->Arg(10)->Arg(100);

void BM_FirstFormatLookup(benchmark::State& state) {
  BenchWorkspace workspace(static_cast<int>(state.range(0)), 5);
  orvo::xml::Node launch = workspace.LaunchProperties();
  for (auto _ : state) {
    orvo::providers::CFormatProvider provider;
    provider.Init(launch);
    benchmark::DoNotOptimize(provider.GetFormat("F1"));
  }
  SetPerFormatCounter(state, static_cast<double>(state.range(0)));
}
BENCHMARK(BM_FirstFormatLookup)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ParseFormatsText(benchmark::State& state) {
  BenchWorkspace workspace(static_cast<int>(state.range(0)), 5);
  for (auto _ : state) {
    orvo::xml::Document document = orvo::xml::Document::Parse(workspace.FormatsText());
    benchmark::DoNotOptimize(document.DocumentElement());
  }
  SetPerFormatCounter(state, static_cast<double>(state.range(0)));
}
BENCHMARK(BM_ParseFormatsText)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_WalkFormatLibrary(benchmark::State& state) {
  BenchWorkspace workspace(static_cast<int>(state.range(0)), 5);
  orvo::xml::Node library = orvo::xml::Document::Parse(workspace.FormatsText()).DocumentElement();
  for (auto _ : state) benchmark::DoNotOptimize(library.SelectNodes("descendant::Fmt[@Key]"));
  SetPerFormatCounter(state, static_cast<double>(state.range(0)));
}
BENCHMARK(BM_WalkFormatLibrary)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
