// Helpers to run driver functions against the small sample workspace
// (support/sample_folders.h).
#ifndef ORVO_TESTS_LEDGER_LEDGER_TEST_WORKSPACE_H_
#define ORVO_TESTS_LEDGER_LEDGER_TEST_WORKSPACE_H_

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ledger/ledger_command_factory.h"
#include "ledger/sqlite_handle.h"
#include "orvo/xml.h"
#include "support/sample_folders.h"

namespace orvo::ledger::testing {

using orvo::testing::FreshFolder;
using orvo::testing::kSmallAccounts;
using orvo::testing::SmallWorkspace;

// A fresh sample workspace of about `accounts` accounts in its own folder.
std::filesystem::path NewSampleWorkspace(const std::string& name, int accounts = 40);

// A writing connection to an existing ledger file, as a host holds one while
// reports run: for tests that change a ledger underneath the driver.
class LedgerWriter {
 public:
  explicit LedgerWriter(const std::filesystem::path& ledger);
  // Runs statements; a failure fails the test.
  void Execute(const std::string& sql);

 private:
  std::unique_ptr<sqlite3, ConnectionCloser> m_connection;
};

// Filters by field, each with one or more values (several make an array).
using Filters = std::vector<std::pair<std::string, std::vector<std::string>>>;

// Runs one function with filters added as "#1", "#2", ... keyed by position.
xml::Node RunFunction(CLedgerCommandFactory& factory, const std::string& function,
                      const Filters& filters = {});

// AccountValue_DDKFunction's AMOUNT (as a number) for a code and context.
double Amount(CLedgerCommandFactory& factory, const std::string& code, const std::string& year,
              const std::string& balance_type, const std::string& first = "",
              const std::string& last = "", const std::string& period_balance = "");

// Records of a RepeatingBalance_DDKFunction answer.
std::vector<xml::Node> Records(const xml::Node& answer);
double Number(const xml::Node& node, const char* attribute);

}  // namespace orvo::ledger::testing

#endif  // ORVO_TESTS_LEDGER_LEDGER_TEST_WORKSPACE_H_
