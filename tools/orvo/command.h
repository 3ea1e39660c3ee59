// The orvo program's sub-commands. Each lives in its own <name>_command.cpp
// and is listed once in the table in main.cpp.
#ifndef ORVO_TOOLS_COMMAND_H_
#define ORVO_TOOLS_COMMAND_H_

#include <stdexcept>
#include <string>
#include <vector>

#include "orvo/xml.h"

namespace orvo::cli {

using Arguments = std::vector<std::string>;

// Thrown for a malformed command line; main prints the command's usage line
// on standard error and exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses a whole decimal number within [low, high], or throws UsageError.
long long ParseWholeNumber(const std::string& text, long long low, long long high,
                           const std::string& what);

// The launch-properties node naming a workspace folder.
xml::Node LaunchPropertiesFor(const xml::Document& document, const std::string& workspace);

int RunTokensCommand(const Arguments& args);
int RunParseCommand(const Arguments& args);
int RunCheckCommand(const Arguments& args);

}  // namespace orvo::cli

#endif  // ORVO_TOOLS_COMMAND_H_
