// `orvo sample`: writes a complete, deterministic sample workspace for a
// trading company (see docs/sample_workspace.md): workspace.xml, the SQLite
// ledger, chart map, formats and reports (income statement with last-year and
// budget columns, balance sheet, trial balance repeating over accounts),
// styles, bookmarks and notes, named ranges and data columns.
#ifndef ORVO_LEDGER_SAMPLE_WORKSPACE_H_
#define ORVO_LEDGER_SAMPLE_WORKSPACE_H_

#include <cstdint>
#include <string>

namespace orvo::ledger {

struct SampleOptions {
  int accounts = 300;                 // about this many accounts (at least 40)
  std::uint64_t generator_start = 1;  // the same value gives the same workspace
};

// Writes the workspace into `folder` (created when missing). Existing sample
// files there are replaced; failures name the file.
void WriteSampleWorkspace(const std::string& folder, const SampleOptions& options);

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_SAMPLE_WORKSPACE_H_
