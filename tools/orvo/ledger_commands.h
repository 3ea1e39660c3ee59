// The ledger's sub-commands of the orvo program. Each takes the arguments
// after the sub-command's name and returns the process exit code.
//
//   orvo sample DIR [--accounts N] [--seed S]
//   orvo driver WORKSPACE FUNCTION [--filter KEY:FIELD=VALUE]...
#ifndef ORVO_TOOLS_LEDGER_COMMANDS_H_
#define ORVO_TOOLS_LEDGER_COMMANDS_H_

#include <string>
#include <vector>

int RunSampleCommand(const std::vector<std::string>& args);
int RunDriverCommand(const std::vector<std::string>& args);

#endif  // ORVO_TOOLS_LEDGER_COMMANDS_H_
