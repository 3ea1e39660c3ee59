// orvo driver WORKSPACE FUNCTION [--filter KEY:FIELD=VALUE]...: runs one
// data-driver function on the workspace's ledger and prints its answer.
// Giving the same KEY:FIELD more than once passes an array of the values.
#include <iostream>
#include <optional>

#include "ledger/ledger_command_factory.h"
#include "ledger_commands.h"
#include "orvo/error.h"

namespace {

constexpr const char* kUsage =
    "usage: orvo driver WORKSPACE FUNCTION [--filter KEY:FIELD=VALUE]...\n";

struct FilterArgument {
  std::string key;
  std::string field;
  std::vector<std::string> values;
};

std::optional<FilterArgument> ParseFilter(const std::string& text) {
  std::size_t colon = text.find(':');
  std::size_t equals = text.find('=', colon == std::string::npos ? 0 : colon);
  if (colon == std::string::npos || equals == std::string::npos || equals == colon + 1) {
    return std::nullopt;
  }
  FilterArgument filter;
  filter.key = text.substr(0, colon);
  filter.field = text.substr(colon + 1, equals - colon - 1);
  filter.values.push_back(text.substr(equals + 1));
  // An empty key means "keyed by its field", as the repeating filters are.
  if (filter.key.empty()) filter.key = filter.field;
  return filter;
}

}  // namespace

int RunDriverCommand(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::vector<FilterArgument> filters;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--filter" && i + 1 < args.size()) {
      std::optional<FilterArgument> filter = ParseFilter(args[++i]);
      if (!filter) {
        std::cerr << "orvo driver: a filter is KEY:FIELD=VALUE, not '" << args[i] << "'\n";
        return 2;
      }
      auto same = std::find_if(filters.begin(), filters.end(), [&](const FilterArgument& f) {
        return f.key == filter->key && f.field == filter->field;
      });
      if (same == filters.end()) {
        filters.push_back(std::move(*filter));
      } else {
        same->values.push_back(filter->values.front());
      }
    } else if (!args[i].empty() && args[i][0] != '-') {
      positional.push_back(args[i]);
    } else {
      std::cerr << "orvo driver: unexpected argument '" << args[i] << "'\n" << kUsage;
      return 2;
    }
  }
  if (positional.size() != 2) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    orvo::ledger::CLedgerCommandFactory factory;
    factory.OpenWorkspace(positional[0]);
    std::shared_ptr<orvo::ICommand> command = factory.CreateCommand(0, positional[1]);
    orvo::ICommandFilters& command_filters = command->definition().Filters();
    command_filters.Clear();
    for (const FilterArgument& filter : filters) {
      if (filter.values.size() == 1) {
        command_filters.Add(filter.key, std::nullopt, filter.field, filter.values.front());
      } else {
        command_filters.Add(filter.key, std::nullopt, filter.field, filter.values);
      }
    }
    orvo::xml::Node answer = command->Execute();
    if (answer) std::cout << answer.Xml() << "\n";
  } catch (const orvo::Error& failure) {
    std::cerr << "orvo driver: " << failure.Source() << ": " << failure.Description() << "\n";
    return 1;
  }
  return 0;
}
