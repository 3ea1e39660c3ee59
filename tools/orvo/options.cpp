// The option loop the formula commands share.
#include "command.h"

namespace orvo::cli {

void ReadOptions(const Arguments& options, const OptionHandlers& handlers) {
  for (std::size_t i = 0; i < options.size(); ++i) {
    const std::string& arg = options[i];
    if (auto flag = handlers.flags.find(arg); flag != handlers.flags.end()) {
      flag->second();
    } else if (auto value = handlers.values.find(arg);
               value != handlers.values.end() && i + 1 < options.size()) {
      value->second(options[++i]);
    } else {
      throw UsageError("unexpected argument: " + arg);
    }
  }
}

}  // namespace orvo::cli
