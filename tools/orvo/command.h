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

// The options before "--" and the one TEXT after it; throws UsageError when
// TEXT is missing or more than one argument follows "--".
struct OptionsAndText {
  Arguments options;
  std::string text;
};
OptionsAndText SplitAtText(const Arguments& args);

// Parses a whole decimal number within [low, high], or throws UsageError.
long long ParseWholeNumber(const std::string& text, long long low, long long high,
                           const std::string& what);

// The launch-properties node naming a workspace folder.
xml::Node LaunchPropertiesFor(const xml::Document& document, const std::string& workspace);

int RunTokensCommand(const Arguments& args);
int RunParseCommand(const Arguments& args);
int RunCheckCommand(const Arguments& args);
int RunSampleCommand(const Arguments& args);
int RunDriverCommand(const Arguments& args);
int RunEvalCommand(const Arguments& args);
int RunPreviewCommand(const Arguments& args);

}  // namespace orvo::cli

#endif  // ORVO_TOOLS_COMMAND_H_
