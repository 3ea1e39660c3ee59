// The trial balance of the sample workspace previewed end to end through
// CPreviewBuilder, over 10,000 to 100,000 accounts (workspaces generated
// once into temporary folders): the repeat over every account with its
// debit and credit columns, totals and the difference row, including the
// SQL. Every build runs on a fresh thread, so nothing fetched by an earlier
// build is reused.
//
// Cases (argument: accounts):
//   BM_TrialBalancePreview   one CreatePreview of TRIAL_BALANCE. Counters:
//                            rows of the preview, wall time per account, peak
//                            resident memory of the process (MiB).
// A build holds every copy of the repeated row as XML (about 75 KiB per
// account today); a size whose build would not fit in half the memory
// available now is skipped with a message rather than run out of memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "bench_support.h"
#include "orvo/preview_builder.h"
#include "orvo/sample_workspace.h"
#include "orvo/xml.h"

namespace {

// One preview of a stored report on a thread of its own; the number of rows.
std::size_t PreviewRows(const std::string& folder, const std::string& report) {
  std::size_t rows = 0;
  orvo::bench::PreviewOnNewThread(folder, report, [&rows](const orvo::CPreviewBuilder& builder) {
    const orvo::xml::Node preview = builder.EvaluatedFormat();
    if (preview) rows = preview.SelectNodes("Itms/Row").Length();
  });
  return rows;
}

// Memory the kernel could hand out now: MemAvailable counts the page cache it
// can drop, which free pages alone (sysconf) do not.
double AvailableMiB() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  double kib = 0;
  while (meminfo >> key >> kib) {
    if (key == "MemAvailable:") return kib / 1024.0;
    meminfo.ignore(64, '\n');
  }
  return static_cast<double>(sysconf(_SC_AVPHYS_PAGES)) *
         static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

void BM_TrialBalancePreview(benchmark::State& state) {
  const int accounts = static_cast<int>(state.range(0));
  const double needed = accounts * 75.0 / 1024.0;
  if (needed > AvailableMiB() / 2) {
    state.SkipWithError(("needs about " + std::to_string(static_cast<int>(needed)) + " MiB, " +
                         std::to_string(static_cast<int>(AvailableMiB())) + " MiB free")
                            .c_str());
    for (auto _ : state) {
    }
    return;
  }
  const std::string& folder = orvo::bench::SampleWorkspaceFolder(accounts);
  std::size_t rows = 0;
  for (auto _ : state) rows = PreviewRows(folder, "TRIAL_BALANCE");
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["us_per_account"] =
      benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()) / 1e6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak_MiB"] = orvo::bench::PeakMiB();
}
BENCHMARK(BM_TrialBalancePreview)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
