// orvo sample DIR [--accounts N] [--seed S]: writes the sample workspace.
#include <charconv>
#include <cstdint>
#include <iostream>

#include "ledger/sample_workspace.h"
#include "ledger_commands.h"
#include "orvo/error.h"

namespace {

constexpr const char* kUsage = "usage: orvo sample DIR [--accounts N] [--seed S]\n";

template <class Number>
bool ParseNumber(const std::string& text, Number& value) {
  auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && status == std::errc() && end == text.data() + text.size();
}

}  // namespace

int RunSampleCommand(const std::vector<std::string>& args) {
  std::string folder;
  orvo::ledger::SampleOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool has_value = i + 1 < args.size();
    if (arg == "--accounts" && has_value) {
      if (!ParseNumber(args[++i], options.accounts)) {
        std::cerr << "orvo sample: --accounts needs a whole number, not '" << args[i] << "'\n";
        return 2;
      }
    } else if (arg == "--seed" && has_value) {  // the generator's start value
      if (!ParseNumber(args[++i], options.generator_start)) {
        std::cerr << "orvo sample: " << arg << " needs a whole number, not '" << args[i] << "'\n";
        return 2;
      }
    } else if (folder.empty() && !arg.empty() && arg[0] != '-') {
      folder = arg;
    } else {
      std::cerr << "orvo sample: unexpected argument '" << arg << "'\n" << kUsage;
      return 2;
    }
  }
  if (folder.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    orvo::ledger::WriteSampleWorkspace(folder, options);
  } catch (const orvo::Error& failure) {
    std::cerr << "orvo sample: " << failure.Source() << ": " << failure.Description() << "\n";
    return 1;
  }
  std::cout << "Sample workspace written to " << folder << " (" << options.accounts
            << " accounts)\n";
  return 0;
}
