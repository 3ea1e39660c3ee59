// Where the formula commands take their text from: the command line, a file
// or standard input (for formulas too long or too awkward to quote).
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "command.h"

namespace orvo::cli {
namespace {

std::string ReadFormulaFile(const std::string& path) {
  std::ostringstream content;
  if (path == "-") {
    content << std::cin.rdbuf();
    if (std::cin.bad()) throw UsageError("cannot read the formula from standard input");
  } else {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw UsageError("cannot read the formula file '" + path + "'");
    content << stream.rdbuf();
  }
  std::string text = content.str();
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

}  // namespace

OptionsAndText SplitAtText(const Arguments& args) {
  OptionsAndText result;
  std::optional<std::string> file;
  std::optional<std::string> text;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      if (i + 2 != args.size()) throw UsageError("exactly one TEXT must follow --");
      text = args[i + 1];
      break;
    }
    if ((arg == "--file" && i + 1 < args.size()) || arg == "-") {
      if (file) throw UsageError("give the text once");
      file = arg == "-" ? arg : args[++i];
    } else {
      result.options.push_back(arg);
    }
  }
  if (file && text) throw UsageError("give the text once: after --, or from a file");
  if (!file && !text) {
    throw UsageError("TEXT is missing (give it after --, or --file FILE, or - for standard input)");
  }
  result.text = text ? *std::move(text) : ReadFormulaFile(*file);
  if (result.text.size() > kLongestFormula) std::cerr << "orvo: " << kFormulaTooLong << "\n";
  return result;
}

}  // namespace orvo::cli
