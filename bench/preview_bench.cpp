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
//   GridPreview/<rows>      a whole CreatePreview of a generated workspace
//                           (1,000, 10,000 and 40,000 rows) holding one format
//                           of <rows> rows x 8 columns, per row r
//                           (lo = max(1, r-9)):
//                             A = r, B = r mod 7 + 1, C = A*B, D = D(r-1)+C,
//                             E = Sum(A lo:B r), F = Sum(C1:C r),
//                             G = If(Mod(A,2)=0, F-D, Max(C lo:C r)),
//                             H = Avg(C lo:E r)
//                           (a running total chained <rows> deep, sliding
//                           windows and a growing prefix range). Each build
//                           runs on a fresh thread, the workspace read anew;
//                           the time is the thread's, teardown included.
//                           Counters: us_per_cell (wall time per cell of the
//                           8 x <rows>), cpu_ms (process CPU time per build,
//                           steadier than wall time on a busy machine),
//                           peak_MiB (ru_maxrss of the process, so sizes run
//                           smallest first; the allocator may keep pages of
//                           one build through the next, the node pools keep
//                           their chunks for the next build to fill),
//                           first_build_MiB (the same after the first build). Before the timed
//                           builds one preview is checked against the figures
//                           computed directly (display texts within 0.0001).
// "items_per_second" counts items (or rows, or look-ups) handled.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "evaluate/number_format.h"
#include "orvo/preview_builder.h"
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

// ------------------------------------------------------------ GridPreview

// The eight cells of grid row r, as written in the format.
std::vector<std::string> GridRow(int r) {
  const std::string n = std::to_string(r);
  const std::string lo = std::to_string(std::max(1, r - 9));
  return {n,
          std::to_string(r % 7 + 1),
          "=A" + n + "*B" + n,
          r == 1 ? "=C1" : "=D" + std::to_string(r - 1) + "+C" + n,
          "=Sum(A" + lo + ":B" + n + ")",
          "=Sum(C1:C" + n + ")",
          "=If(Mod(A" + n + ",2)=0,F" + n + "-D" + n + ",Max(C" + lo + ":C" + n + "))",
          "=Avg(C" + lo + ":E" + n + ")"};
}

// The grid's values computed directly: [column 0..7][row 1..rows].
std::vector<std::vector<double>> GridValues(int rows) {
  std::vector<std::vector<double>> v(8, std::vector<double>(static_cast<std::size_t>(rows) + 1));
  auto at = [&](int column, int r) -> double& {
    return v[static_cast<std::size_t>(column)][static_cast<std::size_t>(r)];
  };
  for (int r = 1; r <= rows; ++r) {
    at(0, r) = r;
    at(1, r) = r % 7 + 1;
    at(2, r) = at(0, r) * at(1, r);
    at(3, r) = (r == 1 ? 0 : at(3, r - 1)) + at(2, r);
    at(5, r) = at(3, r);
  }
  for (int r = 1; r <= rows; ++r) {
    double window = 0, largest = -1e300;
    for (int k = std::max(1, r - 9); k <= r; ++k) {
      window += at(0, k) + at(1, k);
      largest = std::max(largest, at(2, k));
    }
    at(4, r) = window;
    at(6, r) = r % 2 == 0 ? at(5, r) - at(3, r) : largest;
  }
  for (int r = 1; r <= rows; ++r) {
    const int lo = std::max(1, r - 9);
    double total = 0;
    for (int k = lo; k <= r; ++k) total += at(2, k) + at(3, k) + at(4, k);
    at(7, r) = total / (3.0 * (r - lo + 1));
  }
  return v;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A workspace holding the grid format and one report printing it, written
// once per size into a temporary folder.
const std::string& GridWorkspace(int rows) {
  static std::map<int, std::string> folders;
  auto found = folders.find(rows);
  if (found != folders.end()) return found->second;
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("orvo_grid_preview_bench_" + std::to_string(rows));
  std::filesystem::create_directories(path);
  WriteFile(path / "workspace.xml", "<Workspace CurrentPeriod='12' StorageMode='0'/>");
  WriteFile(path / "reports.xml",
            "<Reports><Rep Key='GRID' OR='1'><Grps/><Hdrs/><Bdys><Bdy Name='GRID'><PCnd/></Bdy>"
            "</Bdys><Ftrs/><PgSetup Ovr='-1' Bottom='!' Left='!' Right='!' Top='!'/><Desc/>"
            "<Opts/></Rep></Reports>");
  // Written row by row: the text of a 40,000-row format would otherwise
  // count in the peak memory the builds report.
  std::ofstream formats(path / "formats.xml", std::ios::binary);
  formats << "<Formats><Fmt Key='GRID' Name='GRID' MRow='" << rows << "' MCol='8'><Itms>";
  for (int r = 1; r <= rows; ++r) {
    formats << "<Row PgBk='0'>";
    const std::vector<std::string> cells = GridRow(r);
    for (int column = 1; column <= 8; ++column) {
      formats << "<Itm Key='" << static_cast<char>('A' + column - 1) << r << "' Row='" << r
              << "' Col='" << column << "' Value='" << cells[column - 1]
              << "' Str='' MgKey='' ASz='0'><PEx/></Itm>";
    }
    formats << "</Row>";
  }
  formats << "</Itms></Fmt></Formats>";
  return folders.emplace(rows, path.string()).first->second;
}

// Compares every display text of the preview with the computed values; the
// first difference, or empty when all agree.
std::string CheckGrid(const orvo::xml::Node& preview, int rows) {
  if (!preview) return "no preview";
  const std::vector<std::vector<double>> expected = GridValues(rows);
  std::int64_t seen = 0;
  for (const orvo::xml::Node& item : preview.SelectNodes("Itms/Row/Itm")) {
    const int r = std::stoi(item.AttributeOr("Row", "0"));
    const int column = std::stoi(item.AttributeOr("Col", "0"));
    if (r < 1 || r > rows || column < 1 || column > 8) return "stray item " + item.Xml();
    const std::string shown = item.AttributeOr("Dsp", "");
    const double want = expected[static_cast<std::size_t>(column - 1)][static_cast<std::size_t>(r)];
    char* end = nullptr;
    const double got = std::strtod(shown.c_str(), &end);
    if (shown.empty() || *end != '\0' || std::fabs(got - want) > 1e-4) {
      return std::string(1, static_cast<char>('A' + column - 1)) + std::to_string(r) + " shows '" +
             shown + "', expected " + std::to_string(want);
    }
    ++seen;
  }
  if (seen != static_cast<std::int64_t>(rows) * 8) return std::to_string(seen) + " cells shown";
  return {};
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct BuildTimes {
  double wall = 0;  // from starting the thread to joining it, teardown included
  double cpu = 0;   // of the process meanwhile (the waiting thread takes none)
};

// One CreatePreview of the grid on a thread of its own, checked when `check`.
BuildTimes GridPreviewOnNewThread(const std::string& folder, int rows, bool check,
                                  std::string& problem) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = ProcessCpuSeconds();
  orvo::bench::PreviewOnNewThread(folder, "GRID", [&](const orvo::CPreviewBuilder& builder) {
    if (!builder.BuildFailures().empty()) {
      problem = builder.BuildFailures().front().Description();
    } else if (check) {
      problem = CheckGrid(builder.EvaluatedFormat(), rows);
    }
  });
  BuildTimes times;
  times.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  times.cpu = ProcessCpuSeconds() - cpu_start;
  return times;
}

void GridPreview(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string& folder = GridWorkspace(rows);
  std::string problem;
  GridPreviewOnNewThread(folder, rows, true, problem);
  // The peak of the first build alone: the later ones may add pages the
  // allocator keeps from the builds before them.
  const double first_build_peak = orvo::bench::PeakMiB();
  if (!problem.empty()) {
    state.SkipWithError(("wrong preview: " + problem).c_str());
    for (auto _ : state) {
    }
    return;
  }
  BuildTimes total;
  for (auto _ : state) {
    const BuildTimes times = GridPreviewOnNewThread(folder, rows, false, problem);
    state.SetIterationTime(times.wall);
    total.wall += times.wall;
    total.cpu += times.cpu;
  }
  const double builds = static_cast<double>(state.iterations());
  const double cells = 8.0 * rows;
  state.counters["us_per_cell"] = total.wall * 1e6 / (cells * builds);
  state.counters["cpu_ms"] = total.cpu * 1e3 / builds;
  state.counters["peak_MiB"] = orvo::bench::PeakMiB();
  state.counters["first_build_MiB"] = first_build_peak;
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells));
}
BENCHMARK(GridPreview)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
