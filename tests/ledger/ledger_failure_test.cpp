#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>

#include "ledger/database_map_provider.h"
#include "ledger/ledger_schema.h"
#include "ledger/ledger_test_workspace.h"
#include "ledger/sqlite_handle.h"
#include "orvo/error.h"
#include "providers/workspace.h"

namespace orvo::ledger::testing {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A workspace folder whose workspace.xml names `ledger`.
fs::path WorkspaceWithLedger(const std::string& name, const std::string& ledger) {
  fs::path folder = FreshFolder(name);
  WriteText(folder / "workspace.xml",
            "<Workspace CurrentPeriod=\"12\" StorageMode=\"0\" Ledger=\"" + ledger + "\"/>");
  return folder;
}

Error FailureOf(const fs::path& workspace,
                const std::string& function = "LedgerYears_DDKFunction") {
  CLedgerCommandFactory factory;
  factory.OpenWorkspace(workspace.string());
  try {
    RunFunction(factory, function);
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "no failure for " << workspace;
  return Error(0, "", "");
}

bool Mentions(const Error& error, const std::string& text) {
  return error.Description().find(text) != std::string::npos;
}

TEST(LedgerFailures, MissingOrMalformedWorkspaceNamesTheFile) {
  fs::path missing = FreshFolder("gone") / "nowhere";
  EXPECT_TRUE(Mentions(FailureOf(missing), missing.string()));

  fs::path empty = FreshFolder("empty");
  Error no_file = FailureOf(empty);
  EXPECT_EQ(no_file.Number(), 1);
  EXPECT_TRUE(Mentions(no_file, "workspace.xml"));

  fs::path malformed = FreshFolder("malformed");
  WriteText(malformed / "workspace.xml", "<Workspace Ledger=\"ledger.sqlite\"");
  EXPECT_TRUE(Mentions(FailureOf(malformed), "workspace.xml"));

  // Without a Ledger attribute the ledger is ledger.sqlite.
  fs::path no_ledger = FreshFolder("no_ledger_attribute");
  WriteText(no_ledger / "workspace.xml", "<Workspace CurrentPeriod=\"3\"/>");
  EXPECT_TRUE(Mentions(FailureOf(no_ledger), "ledger.sqlite"));

  // Launch properties without a workspace.
  CLedgerCommandFactory factory;
  xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
  factory.Init(launch.DocumentElement());
  EXPECT_THROW(RunFunction(factory, "LedgerYears_DDKFunction"), Error);
}

TEST(LedgerFailures, BrokenWorkspaceFailsAsForEveryOtherComponent) {
  for (const char* settings :
       {"<Workspace Ledger=\"ledger.sqlite\"", "<Settings/>", "<Workspace CurrentPeriod=\"0\"/>",
        "<Workspace StorageMode=\"maybe\"/>", "<Workspace><Printer Top=\"-1\"/></Workspace>"}) {
    SCOPED_TRACE(settings);
    fs::path folder = FreshFolder("broken_settings");
    WriteText(folder / "workspace.xml", settings);
    Error driver = FailureOf(folder);
    try {
      providers::Workspace(folder).Settings();
      ADD_FAILURE() << "the store's workspace reader accepted it";
    } catch (const Error& store) {
      EXPECT_EQ(driver.Number(), store.Number());
      EXPECT_EQ(driver.Source(), store.Source());
      EXPECT_EQ(driver.Description(), store.Description());
    }
  }
}

TEST(LedgerFailures, MissingCorruptForeignOrLockedLedgerNamesTheFile) {
  fs::path missing = WorkspaceWithLedger("missing_ledger", "absent.sqlite");
  Error absent = FailureOf(missing);
  EXPECT_EQ(absent.Number(), 1);
  EXPECT_TRUE(Mentions(absent, "absent.sqlite"));

  fs::path corrupt = WorkspaceWithLedger("corrupt_ledger", "ledger.sqlite");
  WriteText(corrupt / "ledger.sqlite", std::string(4096, 'x'));
  Error not_a_database = FailureOf(corrupt);
  EXPECT_EQ(not_a_database.Source(), "SQLite");
  EXPECT_EQ(not_a_database.Number(), SQLITE_NOTADB);
  EXPECT_TRUE(Mentions(not_a_database, "ledger.sqlite"));

  fs::path foreign = WorkspaceWithLedger("foreign_ledger", "ledger.sqlite");
  SqliteConnection::Create((foreign / "ledger.sqlite").string()).Execute("CREATE TABLE t (x);");
  EXPECT_TRUE(Mentions(FailureOf(foreign), "is not a ledger"));

  fs::path locked = WorkspaceWithLedger("locked_ledger", "ledger.sqlite");
  SqliteConnection writer = SqliteConnection::Create((locked / "ledger.sqlite").string());
  writer.Execute("CREATE TABLE t (x); BEGIN EXCLUSIVE; INSERT INTO t VALUES (1);");
  Error busy = FailureOf(locked);
  EXPECT_EQ(busy.Source(), "SQLite");
  EXPECT_EQ(busy.Number() & 0xFF, SQLITE_BUSY);
  EXPECT_TRUE(Mentions(busy, "ledger.sqlite"));
  writer.Execute("ROLLBACK;");
}

TEST(LedgerFailures, LedgerWithoutPeriodsAnswersPeriodsError) {
  fs::path empty = WorkspaceWithLedger("empty_ledger", "ledger.sqlite");
  SqliteConnection::Create((empty / "ledger.sqlite").string()).Execute(kLedgerSchema);
  CLedgerCommandFactory factory;
  factory.OpenWorkspace(empty.string());
  EXPECT_FALSE(RunFunction(factory, "LedgerPeriod_DDKFunction"));
  EXPECT_EQ(RunFunction(factory, "RelativeCurrentYearIndex_DDKFunction").AttributeOr("Name", ""),
            "0");
  Error periods = FailureOf(empty);
  EXPECT_EQ(periods.Number(), 1);
  EXPECT_EQ(periods.Source(), "Periods");
  EXPECT_EQ(periods.Description(), "Error");
}

TEST(LedgerFailures, ReadingNeverWritesToTheWorkspace) {
  auto snapshot = [](const fs::path& folder) {
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
      files[entry.path().filename().string()] = {entry.file_size(), entry.last_write_time()};
    }
    return files;
  };
  fs::path folder(SmallWorkspace());
  auto before = snapshot(folder);
  {
    CLedgerCommandFactory factory;
    factory.OpenWorkspace(folder.string());
    RunFunction(factory, "RepeatingBalance_DDKFunction",
                {{"DDKFieldFromCode", {"1000"}}, {"DDKFieldToCode", {"8999"}}});
    RunFunction(factory, "Refresh_DDKFunction");
    RunFunction(factory, "LedgerYears_DDKFunction");
    CDatabaseMapProvider provider;
    provider.OpenWorkspace(folder.string());
    provider.Records("Customers; Sort=Name");
  }
  EXPECT_EQ(snapshot(folder), before);
}

}  // namespace
}  // namespace orvo::ledger::testing
