// What several benchmark programs share: the generated sample workspaces,
// the process's peak memory, and one preview built on a thread of its own
// (each build starts with a fresh per-thread context, as a host's would).
#ifndef ORVO_BENCH_BENCH_SUPPORT_H_
#define ORVO_BENCH_BENCH_SUPPORT_H_

#include <sys/resource.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "orvo/preview_builder.h"
#include "orvo/sample_workspace.h"
#include "orvo/xml.h"

namespace orvo::bench {

// The sample workspace with about `accounts` accounts, generated once into
// the temporary folder and reused by later runs and other programs.
inline const std::string& SampleWorkspaceFolder(int accounts) {
  static std::map<int, std::string> folders;
  auto found = folders.find(accounts);
  if (found != folders.end()) return found->second;
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("orvo_ledger_amounts_bench_" + std::to_string(accounts));
  if (!std::filesystem::exists(path / "workspace.xml")) {
    SampleOptions options;
    options.accounts = accounts;
    WriteSampleWorkspace(path.string(), options);
  }
  return folders.emplace(accounts, path.string()).first->second;
}

// The process's peak resident memory so far, in MiB.
inline double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Builds the stored report `report` of the workspace in `folder` with
// CPreviewBuilder on a new thread, then hands the builder to `inspect` on
// that thread (its results live only as long as the builder).
template <class Inspect>
void PreviewOnNewThread(const std::string& folder, const std::string& report, Inspect inspect) {
  std::thread([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", folder);
    CPreviewBuilder builder;
    builder.Init(launch.DocumentElement());
    builder.ResetQueue();
    xml::Document queue = xml::Document::Parse("<Fav Rep='" + report + "'/>");
    builder.AddReport(queue.DocumentElement());
    builder.CreatePreview();
    inspect(builder);
  }).join();
}

}  // namespace orvo::bench

#endif  // ORVO_BENCH_BENCH_SUPPORT_H_
