// The sample company's workspace, as `orvo sample` writes it: a complete,
// deterministic workspace for a trading company (docs/sample_workspace.md):
// workspace.xml, the SQLite ledger, chart map, formats and reports (income
// statement with last-year and budget columns, balance sheet, trial balance
// repeating over accounts), styles, bookmarks and notes, named ranges and
// data columns.
//
// Built as its own library, the CMake target `orvo_sample`; `orvoreportprv`
// does not contain it. For demonstrations, tests and benchmarks.
#ifndef ORVO_SAMPLE_WORKSPACE_H_
#define ORVO_SAMPLE_WORKSPACE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace orvo {

struct SampleOptions {
  int accounts = 300;                 // about this many accounts (40 to 1,000,000)
  std::uint64_t generator_start = 1;  // the same value gives the same workspace
};

// Writes the workspace into `folder` (created when missing). Existing sample
// files there are replaced. Failures (source "SampleWorkspace", or the
// ledger's) name the folder or file.
void WriteSampleWorkspace(const std::string& folder, const SampleOptions& options);

// The names of the files WriteSampleWorkspace writes that `folder` already
// holds (workspace.xml, ledger.sqlite, formats.xml, ...), in writing order;
// empty when it holds none or does not exist. What a caller asks before
// replacing someone's workspace.
std::vector<std::string> ExistingSampleFiles(const std::string& folder);

}  // namespace orvo

#endif  // ORVO_SAMPLE_WORKSPACE_H_
