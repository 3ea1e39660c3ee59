// orvo driver WORKSPACE FUNCTION [--filter KEY:FIELD=VALUE]...: runs one
// data-driver function on the workspace's ledger and prints the element its
// Execute returns. Giving the same KEY:FIELD more than once passes an array of
// the values; an empty KEY means "keyed by its field", as the repeating
// filters are.
#include <algorithm>
#include <iostream>

#include "command.h"
#include "orvo/providers.h"

namespace orvo::cli {
namespace {

struct FilterArgument {
  std::string key;
  std::string field;
  std::vector<std::string> values;
};

FilterArgument ParseFilter(const std::string& text) {
  std::size_t colon = text.find(':');
  std::size_t equals = colon == std::string::npos ? colon : text.find('=', colon);
  if (equals == std::string::npos || equals == colon + 1) {
    throw UsageError("a filter is KEY:FIELD=VALUE, not '" + text + "'");
  }
  FilterArgument filter;
  filter.key = text.substr(0, colon);
  filter.field = text.substr(colon + 1, equals - colon - 1);
  filter.values.push_back(text.substr(equals + 1));
  if (filter.key.empty()) filter.key = filter.field;
  return filter;
}

}  // namespace

int RunDriverCommand(const Arguments& args) {
  std::vector<std::string> positional;
  std::vector<FilterArgument> filters;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--filter" && i + 1 < args.size()) {
      FilterArgument filter = ParseFilter(args[++i]);
      auto same = std::find_if(filters.begin(), filters.end(), [&](const FilterArgument& f) {
        return f.key == filter.key && f.field == filter.field;
      });
      if (same == filters.end()) {
        filters.push_back(std::move(filter));
      } else {
        same->values.push_back(filter.values.front());
      }
    } else if (!args[i].empty() && args[i][0] != '-') {
      positional.push_back(args[i]);
    } else {
      throw UsageError("unexpected argument '" + args[i] + "'");
    }
  }
  if (positional.size() != 2) throw UsageError("give the workspace folder and the function");

  // The factory registered for the data driver, as the XML-node storage
  // provider creates it.
  xml::Document document = xml::Document::Create();
  auto factory = ComponentRegistry::CreateAs<IDriverCommandFactory>(kCommandFactoryId);
  factory->Init(LaunchPropertiesFor(document, positional[0]));
  std::shared_ptr<ICommand> command = factory->CreateCommand(0, positional[1]);
  ICommandFilters& command_filters = command->definition().Filters();
  command_filters.Clear();
  for (const FilterArgument& filter : filters) {
    if (filter.values.size() == 1) {
      command_filters.Add(filter.key, std::nullopt, filter.field, filter.values.front());
    } else {
      command_filters.Add(filter.key, std::nullopt, filter.field, filter.values);
    }
  }
  xml::Node answer = command->Execute();
  // A null answer ("Nothing") prints nothing.
  if (answer) std::cout << answer.Xml() << "\n";
  return 0;
}

}  // namespace orvo::cli
