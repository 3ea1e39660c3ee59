// How fast a preview build answers its cancel file: the sample trial
// balance over 40,000 accounts (about 40,000 rows; the workspace generated
// once into a temporary folder), cancelled by a second thread that creates
// the file at a chosen point of the build. The time measured runs from the
// file's creation to CreatePreview returning with the cancellation failure;
// the target is half a second at every point.
//
// Cases (arguments: accounts, point):
//   BM_CancelTrialBalance  point 0: one second after the trial balance format
//                          starts (its 40,000 row copies are being made);
//                          1: halfway through its rows; 2: half a second
//                          after its last row (its rows being appended to the
//                          body); 3: half a second after the last build step
//                          (the preview document being written). Counters:
//                          cancel_ms, the time from the file to the return,
//                          and cancelled (1 when the build was stopped, 0
//                          when it ended first, which makes cancel_ms
//                          meaningless).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "bench_support.h"
#include "orvo/cancel_check.h"
#include "orvo/error.h"
#include "orvo/preview_builder.h"
#include "orvo/sample_workspace.h"
#include "orvo/xml.h"

namespace {

using Clock = std::chrono::steady_clock;

// The second thread: waits for the build to reach its point, waits `delay`,
// creates the file and notes when.
class Canceller {
 public:
  Canceller(std::filesystem::path file, std::chrono::milliseconds delay)
      : m_file(std::move(file)), m_delay(delay), m_thread([this] { Run(); }) {}
  ~Canceller() {
    if (m_thread.joinable()) Finish(false);
  }
  Canceller(const Canceller&) = delete;
  Canceller& operator=(const Canceller&) = delete;

  // Called on the builder's thread when the point is reached.
  void Reached() { Release(true); }

  // Ends the thread (`reached`: after it made the file) and returns when the
  // file appeared, or nothing.
  std::optional<Clock::time_point> Finish(bool reached) {
    Release(reached);
    m_thread.join();
    return m_created;
  }

 private:
  void Release(bool reached) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_released) return;
      m_released = true;
      m_create = reached;
    }
    m_signal.notify_one();
  }

  void Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_signal.wait(lock, [this] { return m_released; });
    if (!m_create) return;
    lock.unlock();
    std::this_thread::sleep_for(m_delay);
    std::ofstream(m_file) << "stop";
    m_created = Clock::now();
  }

  std::filesystem::path m_file;
  std::chrono::milliseconds m_delay;
  std::mutex m_mutex;
  std::condition_variable m_signal;
  bool m_released = false;
  bool m_create = false;
  std::optional<Clock::time_point> m_created;
  std::thread m_thread;
};

struct CancelResult {
  bool cancelled = false;
  double milliseconds = 0;
};

CancelResult CancelOnce(const std::string& folder, int point) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("orvo_cancel_bench_" + std::to_string(getpid()));
  std::filesystem::remove(file);
  const std::chrono::milliseconds delay(point == 0 ? 1000 : point == 1 ? 0 : 500);
  CancelResult result;
  std::thread([&] {
    Canceller canceller(file, delay);
    orvo::xml::Document launch = orvo::xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", folder);
    orvo::CPreviewBuilder builder;
    std::string format;
    bool reached = false;
    const auto reach = [&] {
      if (!reached) canceller.Reached();
      reached = true;
    };
    builder.FormatName.Connect([&](const std::string& name) {
      format = name;
      if (point == 0 && name == "TRIAL_BALANCE") reach();
      if (point == 3 && name == "Generating preview...") reach();
    });
    builder.FormatStatus.Connect([&](std::int16_t status) {
      if (format != "TRIAL_BALANCE") return;
      if ((point == 1 && status >= 50) || (point == 2 && status >= 100)) reach();
    });
    builder.Init(launch.DocumentElement());
    builder.SetCancelCheck(orvo::CancelFileCheck(file.string()));
    builder.ResetQueue();
    orvo::xml::Document queue = orvo::xml::Document::Parse("<Fav Rep='TRIAL_BALANCE'/>");
    builder.AddReport(queue.DocumentElement());
    try {
      builder.CreatePreview();
    } catch (const orvo::Error& failure) {
      result.cancelled = failure.Number() == orvo::kErrCancelled;
    }
    const Clock::time_point returned = Clock::now();
    const std::optional<Clock::time_point> created = canceller.Finish(reached);
    if (result.cancelled && created) {
      result.milliseconds = std::chrono::duration<double, std::milli>(returned - *created).count();
    }
  }).join();
  std::filesystem::remove(file);
  return result;
}

void BM_CancelTrialBalance(benchmark::State& state) {
  const int accounts = static_cast<int>(state.range(0));
  const int point = static_cast<int>(state.range(1));
  const std::string& folder = orvo::bench::SampleWorkspaceFolder(accounts);
  double slowest = 0;
  bool every_cancelled = true;
  for (auto _ : state) {
    const CancelResult result = CancelOnce(folder, point);
    every_cancelled = every_cancelled && result.cancelled;
    slowest = std::max(slowest, result.milliseconds);
  }
  state.counters["cancel_ms"] = slowest;
  state.counters["cancelled"] = every_cancelled ? 1 : 0;
}
BENCHMARK(BM_CancelTrialBalance)
    ->Args({40000, 0})
    ->Args({40000, 1})
    ->Args({40000, 2})
    ->Args({40000, 3})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
