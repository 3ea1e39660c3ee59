// Reading a ledger that a host writes while reports run: never stale, and in
// WAL mode one snapshot per build (from the first read after a Refresh to the
// next Refresh).
#include <gtest/gtest.h>

#include <string>

#include "ledger/database_map_provider.h"
#include "ledger/ledger_test_workspace.h"

namespace orvo::ledger::testing {
namespace {

namespace fs = std::filesystem;

// Changes the actual balances of main account 4000 in every year.
constexpr const char* kPostToSales =
    "UPDATE balances SET credit = credit + 12345 WHERE balance_type_id = 1 AND account_id IN "
    "(SELECT account_id FROM accounts WHERE main_code = '4000');";

double Sales(CLedgerCommandFactory& factory) { return Amount(factory, "4000", "Y", "Actuals"); }

// What a reader opening the ledger now sees.
double FreshSales(const fs::path& folder) {
  CLedgerCommandFactory factory;
  factory.OpenWorkspace(folder.string());
  return Sales(factory);
}

double RepeatedSales(CLedgerCommandFactory& factory) {
  std::vector<xml::Node> records =
      Records(RunFunction(factory, "RepeatingBalance_DDKFunction",
                          {{"DDKFieldFromCode", {"4000"}}, {"DDKFieldToCode", {"4000"}}}));
  return records.size() == 1 ? Number(records[0], "AMOUNT") : -1;
}

TEST(LedgerSnapshot, WalLedgerWithAWriterAttachedIsReadOneSnapshotPerBuild) {
  fs::path folder = NewSampleWorkspace("wal_writer");
  LedgerWriter writer(folder / "ledger.sqlite");
  writer.Execute("PRAGMA journal_mode = WAL;");
  // Committed into the WAL the writer holds open, not into the ledger file.
  writer.Execute(kPostToSales);
  double committed = FreshSales(folder);

  CLedgerCommandFactory driver;
  driver.OpenWorkspace(folder.string());
  EXPECT_EQ(Sales(driver), committed);

  // A commit during the build neither waits for the reader nor shows in it.
  writer.Execute(kPostToSales);
  double later = FreshSales(folder);
  EXPECT_NE(later, committed);
  EXPECT_EQ(Sales(driver), committed);
  EXPECT_NEAR(RepeatedSales(driver), committed, 0.005);

  // The next build reads what was committed, and nothing uncommitted.
  writer.Execute(std::string("BEGIN IMMEDIATE; ") + kPostToSales);
  RunFunction(driver, "Refresh_DDKFunction");
  EXPECT_EQ(Sales(driver), later);
  writer.Execute("COMMIT;");
  EXPECT_EQ(Sales(driver), later);
  RunFunction(driver, "Refresh_DDKFunction");
  EXPECT_NE(Sales(driver), later);
}

TEST(LedgerSnapshot, RollbackJournalLedgerIsReadCurrentPerCommand) {
  fs::path folder = NewSampleWorkspace("rollback_writer");
  LedgerWriter writer(folder / "ledger.sqlite");
  CLedgerCommandFactory driver;
  driver.OpenWorkspace(folder.string());
  double before = Sales(driver);
  EXPECT_EQ(RunFunction(driver, "RepeatDefaultPrimarySort_DDKFunction").AttributeOr("Name", ""),
            "CODE");

  // No lock is held between commands, so the writer commits at once, and the
  // next command reads the change, small tables included.
  writer.Execute(kPostToSales);
  writer.Execute("UPDATE ledger_settings SET value = 'DESCRIPTION' WHERE name = 'default_sort';");
  EXPECT_NE(Sales(driver), before);
  EXPECT_EQ(Sales(driver), FreshSales(folder));
  EXPECT_EQ(RunFunction(driver, "RepeatDefaultPrimarySort_DDKFunction").AttributeOr("Name", ""),
            "DESCRIPTION");
}

TEST(LedgerSnapshot, DatabaseMapReadsWhatWasCommittedWhenEachCallBegan) {
  fs::path folder = NewSampleWorkspace("dbmap_writer");
  LedgerWriter writer(folder / "ledger.sqlite");
  writer.Execute("PRAGMA journal_mode = WAL;");
  CDatabaseMapProvider provider;
  provider.OpenWorkspace(folder.string());
  std::int32_t customers = provider.RecordCount("Customers", "2026");
  ASSERT_GT(customers, 0);
  EXPECT_FALSE(provider.Table("Customers")->Field("Notes"));

  writer.Execute(
      "INSERT INTO customers (year_name, code, name, region, industry, revenue, outstanding, "
      "credit_limit) VALUES ('2026', 'C9999', 'Late Arrival Ltd', 'East', 'Retail', 0, 0, 0);"
      "INSERT INTO dbmap_fields VALUES ('Customers', 'Notes', 'name', 99, 'Notes');");
  EXPECT_EQ(provider.RecordCount("Customers", "2026"), customers + 1);
  EXPECT_TRUE(provider.Table("Customers")->Field("Notes"));
}

}  // namespace
}  // namespace orvo::ledger::testing
