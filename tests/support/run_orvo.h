// Runs the orvo program (path in ORVO_BINARY, set by ctest) for CLI tests.
#ifndef ORVO_TESTS_SUPPORT_RUN_ORVO_H_
#define ORVO_TESTS_SUPPORT_RUN_ORVO_H_

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace orvo::testing {

struct ProgramResult {
  int exit_code = -1;
  std::string out;  // standard output
};

inline std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Standard error is discarded unless `with_stderr`, then it is appended.
// Standard input is empty unless `input_file` names a file to read it from.
inline ProgramResult RunOrvo(const std::vector<std::string>& args, bool with_stderr = false,
                             const std::string& input_file = "") {
  const char* binary = std::getenv("ORVO_BINARY");
  std::string command = ShellQuote(binary ? binary : "orvo");
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  command += " <" + ShellQuote(input_file.empty() ? "/dev/null" : input_file);
  command += with_stderr ? " 2>&1" : " 2>/dev/null";
  ProgramResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer{};
  std::size_t read = 0;
  while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.out.append(buffer.data(), read);
  int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_RUN_ORVO_H_
