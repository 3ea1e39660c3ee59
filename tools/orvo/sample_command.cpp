// orvo sample DIR [--accounts N] [--start S]: writes the sample workspace;
// S is the generator's start value (the same value, the same workspace).
#include <iostream>

#include "command.h"
#include "orvo/sample_workspace.h"

namespace orvo::cli {

int RunSampleCommand(const Arguments& args) {
  std::string folder;
  SampleOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool has_value = i + 1 < args.size();
    if (arg == "--accounts" && has_value) {
      options.accounts = static_cast<int>(ParseWholeNumber(args[++i], 40, 1000000, arg));
    } else if ((arg == "--start" || arg == "--seed") && has_value) {
      options.generator_start =
          static_cast<std::uint64_t>(ParseWholeNumber(args[++i], 0, 1LL << 62, arg));
    } else if (folder.empty() && !arg.empty() && arg[0] != '-') {
      folder = arg;
    } else {
      throw UsageError("unexpected argument '" + arg + "'");
    }
  }
  if (folder.empty()) throw UsageError("the workspace folder is missing");
  WriteSampleWorkspace(folder, options);
  std::cout << "Sample workspace written to " << folder << " (" << options.accounts
            << " accounts)\n";
  return 0;
}

}  // namespace orvo::cli
