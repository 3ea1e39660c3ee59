// orvo sample DIR [--accounts N] [--start S] [--force]: writes the sample
// workspace; S is the generator's start value (the same value, the same
// workspace). A folder already holding workspace files is left alone unless
// --force is given.
#include <iostream>

#include "command.h"
#include "orvo/sample_workspace.h"

namespace orvo::cli {

int RunSampleCommand(const Arguments& args) {
  std::string folder;
  SampleOptions options;
  bool force = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool has_value = i + 1 < args.size();
    if (arg == "--accounts" && has_value) {
      options.accounts = static_cast<int>(ParseWholeNumber(args[++i], 40, 1000000, arg));
    } else if (arg == "--start" && has_value) {
      options.generator_start =
          static_cast<std::uint64_t>(ParseWholeNumber(args[++i], 0, 1LL << 62, arg));
    } else if (arg == "--force") {
      force = true;
    } else if (folder.empty() && !arg.empty() && arg[0] != '-') {
      folder = arg;
    } else {
      throw UsageError("unexpected argument '" + arg + "'");
    }
  }
  if (folder.empty()) throw UsageError("the workspace folder is missing");
  const std::vector<std::string> existing = ExistingSampleFiles(folder);
  if (!existing.empty() && !force) {
    std::cerr << "orvo sample: " << folder << " already holds workspace files (";
    for (std::size_t i = 0; i < existing.size(); ++i) std::cerr << (i ? ", " : "") << existing[i];
    std::cerr << "); nothing was written. Give --force to replace them.\n";
    return 1;
  }
  WriteSampleWorkspace(folder, options);
  std::cout << "Sample workspace written to " << folder << " (" << options.accounts
            << " accounts)\n";
  return 0;
}

}  // namespace orvo::cli
