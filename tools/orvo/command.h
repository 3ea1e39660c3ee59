// The orvo program's sub-commands. Each lives in its own <name>_command.cpp
// and is listed once in the table in main.cpp.
#ifndef ORVO_TOOLS_COMMAND_H_
#define ORVO_TOOLS_COMMAND_H_

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo::cli {

using Arguments = std::vector<std::string>;

// Thrown for a malformed command line; main prints the command's usage line
// on standard error and exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The longest text a formula may be: the parser's positions are 16-bit, so
// 32,767 bytes of UTF-8.
inline constexpr std::size_t kLongestFormula = 32767;
inline constexpr const char* kFormulaTooLong =
    "the text is longer than a formula may be (32,767 characters)";

// The formula text of the commands that take one (tokens, parse, eval) and
// their other options. The text is the one argument after "--", or the
// content of FILE for "--file FILE", or standard input for "-" or
// "--file -"; a line end closing a file's content is not part of the text.
// Throws UsageError when there is no text, more than one, or the file cannot
// be read. A text longer than a formula may be gets a note on standard
// error; it is still passed on, so the parser's own messages are kept.
struct OptionsAndText {
  Arguments options;
  std::string text;
};
OptionsAndText SplitAtText(const Arguments& args);

// What a command does with each of its options: "--name VALUE" options hand
// their value on, flags take none.
struct OptionHandlers {
  std::map<std::string, std::function<void(const std::string&)>> values;
  std::map<std::string, std::function<void()>> flags;
};

// Calls the handler of every option in turn. Anything that is not one of the
// handlers' options, and a value option with no value after it, throws
// UsageError("unexpected argument: ...").
void ReadOptions(const Arguments& options, const OptionHandlers& handlers);

// Parses a whole decimal number within [low, high], or throws UsageError.
long long ParseWholeNumber(const std::string& text, long long low, long long high,
                           const std::string& what);

// The launch-properties node naming a workspace folder.
xml::Node LaunchPropertiesFor(const xml::Document& document, const std::string& workspace);

// The workspace's store context from the registered storage provider, all of
// its files checked at once when it offers IStoreCheck: a missing folder or a
// broken file fails here, once and naming it, before any formula is parsed
// (the parser would turn it into a message per formula). Hold the result
// while parsing: the components of the thread share what it read.
std::shared_ptr<IStoreContext> OpenCheckedWorkspace(const xml::Node& launch_properties);

int RunTokensCommand(const Arguments& args);
int RunParseCommand(const Arguments& args);
int RunCheckCommand(const Arguments& args);
int RunSampleCommand(const Arguments& args);
int RunDriverCommand(const Arguments& args);
int RunEvalCommand(const Arguments& args);
int RunPreviewCommand(const Arguments& args);
int RunRenderCommand(const Arguments& args);

}  // namespace orvo::cli

#endif  // ORVO_TOOLS_COMMAND_H_
