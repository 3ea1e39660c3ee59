#include "ledger/ledger_test_workspace.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orvo::ledger::testing {

std::filesystem::path NewSampleWorkspace(const std::string& name, int accounts) {
  std::filesystem::path path = FreshFolder(name);
  SampleOptions options;
  options.accounts = accounts;
  WriteSampleWorkspace(path.string(), options);
  return path;
}

LedgerWriter::LedgerWriter(const std::filesystem::path& ledger) {
  sqlite3* raw = nullptr;
  int code = sqlite3_open_v2(ledger.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  m_connection.reset(raw);
  EXPECT_EQ(code, SQLITE_OK) << ledger;
  sqlite3_busy_timeout(raw, 5000);
}

void LedgerWriter::Execute(const std::string& sql) {
  char* message = nullptr;
  int code = sqlite3_exec(m_connection.get(), sql.c_str(), nullptr, nullptr, &message);
  EXPECT_EQ(code, SQLITE_OK) << sql << ": " << (message ? message : "");
  sqlite3_free(message);
}

xml::Node RunFunction(CLedgerCommandFactory& factory, const std::string& function,
                      const Filters& filters) {
  auto command = factory.CreateCommand(0, function);
  ICommandFilters& command_filters = command->definition().Filters();
  command_filters.Clear();
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const auto& [field, values] = filters[i];
    std::string key = "#" + std::to_string(i + 1);
    if (values.size() == 1) {
      command_filters.Add(key, std::nullopt, field, values.front());
    } else {
      command_filters.Add(key, std::nullopt, field, values);
    }
  }
  return command->Execute();
}

double Amount(CLedgerCommandFactory& factory, const std::string& code, const std::string& year,
              const std::string& balance_type, const std::string& first, const std::string& last,
              const std::string& period_balance) {
  Filters filters = {{"CODE", {code}},
                     {"FIELD", {"AMOUNT"}},
                     {"DDKFieldYearName", {year}},
                     {"DDKFieldBalanceType", {balance_type}}};
  if (!first.empty() || !last.empty()) {
    filters.push_back({"DDKFieldBalanceStartPeriod", {first}});
    filters.push_back({"DDKFieldBalanceEndPeriod", {last}});
    filters.push_back({"DDKFieldBalancePeriodBalType", {period_balance}});
  }
  return Number(RunFunction(factory, "AccountValue_DDKFunction", filters), "AMOUNT");
}

std::vector<xml::Node> Records(const xml::Node& answer) {
  std::vector<xml::Node> records;
  for (const xml::Node& record : answer.FirstChild().ChildNodes()) records.push_back(record);
  return records;
}

double Number(const xml::Node& node, const char* attribute) {
  return std::strtod(node.AttributeOr(attribute, "nan").c_str(), nullptr);
}

}  // namespace orvo::ledger::testing
