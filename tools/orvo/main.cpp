// orvo: the library's command-line program.
#include <charconv>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "command.h"
#include "orvo/error.h"

namespace orvo::cli {
namespace {

struct CommandEntry {
  std::string_view name;
  int (*run)(const Arguments& args);
  std::string_view usage;
};

constexpr CommandEntry kCommands[] = {
    {"tokens", RunTokensCommand,
     "orvo tokens [--keep-spaces] [--offset N] [--ignore START:END]... "
     "(-- TEXT | --file FILE | -)"},
    {"parse", RunParseCommand,
     "orvo parse [--workspace DIR] [--converting] [--keep-spaces] (-- TEXT | --file FILE | -)"},
    {"eval", RunEvalCommand,
     "orvo eval [--workspace DIR] [--style STL_XML] [--year Y] [--prd P] [--pdend P] "
     "[--pdbal T] [--bal T] (-- FORMULA | --file FILE | -)"},
    {"check", RunCheckCommand, "orvo check WORKSPACE"},
    {"preview", RunPreviewCommand,
     "orvo preview WORKSPACE [--report KEY]... [--fav KEY]... [--builder 1|2|3] [--out FILE] "
     "[--progress] "
     "[--html FILE] [--pdf FILE] [--letter] [--title TEXT]"},
    {"sample", RunSampleCommand, "orvo sample DIR [--accounts N] [--start S] [--force]"},
    {"driver", RunDriverCommand, "orvo driver WORKSPACE FUNCTION [--filter KEY:FIELD=VALUE]..."},
    {"render", RunRenderCommand,
     "orvo render PREVIEW_FILE [--html FILE] [--pdf FILE] [--letter] [--title TEXT]"},
};

void PrintUsage(std::ostream& out) {
  out << "usage:\n";
  for (const CommandEntry& command : kCommands) out << "  " << command.usage << "\n";
}

}  // namespace

long long ParseWholeNumber(const std::string& text, long long low, long long high,
                           const std::string& what) {
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ": " + text);
  }
  return value;
}

xml::Node LaunchPropertiesFor(const xml::Document& document, const std::string& workspace) {
  xml::Node properties = document.CreateElement("LaunchProperties");
  properties.SetAttribute("Workspace", workspace);
  return properties;
}

std::shared_ptr<IStoreContext> OpenCheckedWorkspace(const xml::Node& launch_properties) {
  auto storage = ComponentRegistry::CreateAs<IStorageProvider>(kStorageProviderId);
  storage->LaunchProperties(launch_properties);
  std::shared_ptr<IStoreContext> store = storage->StoreContext();
  if (!store) RaiseError("StoreContext", "The storage provider has no store context");
  if (auto check = std::dynamic_pointer_cast<IStoreCheck>(store)) check->CheckStore();
  return store;
}

}  // namespace orvo::cli

int main(int argc, char** argv) {
  using namespace orvo::cli;
  if (argc < 2) {
    PrintUsage(std::cerr);
    return 2;
  }
  const std::string_view name = argv[1];
  for (const CommandEntry& command : kCommands) {
    if (command.name != name) continue;
    try {
      return command.run(Arguments(argv + 2, argv + argc));
    } catch (const UsageError& error) {
      std::cerr << "orvo " << name << ": " << error.what() << "\n"
                << "usage: " << command.usage << "\n";
      return 2;
    } catch (const orvo::Error& error) {
      std::cerr << "orvo " << name << ": error " << error.Number() << " (" << error.Source()
                << "): " << error.Description() << "\n";
      return 1;
    }
  }
  std::cerr << "orvo: unknown command '" << name << "'\n";
  PrintUsage(std::cerr);
  return 2;
}
