#include <gtest/gtest.h>

#include <limits>

#include "frame/launch_properties.h"
#include "frame/thread_context.h"
#include "ledger/database_map_provider.h"
#include "ledger/ledger_database.h"
#include "ledger/ledger_test_workspace.h"
#include "orvo/error.h"
#include "orvo/sample_workspace.h"

namespace orvo::ledger::testing {
namespace {

TEST(LedgerText, CentsAndBooleans) {
  EXPECT_EQ(FormatCents(0), "0");
  EXPECT_EQ(FormatCents(100), "1");
  EXPECT_EQ(FormatCents(120), "1.2");
  EXPECT_EQ(FormatCents(12345), "123.45");
  EXPECT_EQ(FormatCents(-5), "-0.05");
  EXPECT_EQ(FormatCents(-100000), "-1000");
  EXPECT_EQ(FormatCents(std::numeric_limits<std::int64_t>::min()), "-92233720368547758.08");
  for (const char* text : {"-1", "1", "true", "TRUE", " Yes "}) EXPECT_TRUE(IsTrueText(text));
  for (const char* text : {"0", "", "false", "no", "2"}) EXPECT_FALSE(IsTrueText(text));
}

class LedgerDetails : public ::testing::Test {
 protected:
  void SetUp() override { m_factory.OpenWorkspace(SmallWorkspace()); }
  CLedgerCommandFactory m_factory;
};

TEST_F(LedgerDetails, ColumnConfigurationsAndEmptyYears) {
  xml::Node monthly = RunFunction(m_factory, "DriverDynamicColumnConfiguration_DDKFunction",
                                  {{"Name", {"monthly"}}});
  EXPECT_EQ(monthly.AttributeOr("Key", ""), "MONTHLY");
  EXPECT_EQ(monthly.ChildNodes().Length(), 12u);
  xml::Node none = RunFunction(m_factory, "DriverDynamicColumnConfiguration_DDKFunction",
                               {{"Name", {"weekly"}}});
  EXPECT_EQ(none.AttributeOr("Key", ""), "WEEKLY");
  EXPECT_FALSE(none.HasChildNodes());

  xml::Node period = RunFunction(m_factory, "TallixPeriod_DDKFunction",
                                 {{"DDKFieldYearName", {"Y-9"}}, {"DDKFieldPeriodID", {"1"}}});
  EXPECT_EQ(period.AttributeOr("DDKFieldPeriodEnd", "?"), "");

  // Budget revenue is a credit: CREDIT positive, DEBIT zero.
  xml::Node budget = RunFunction(m_factory, "AccountValue_DDKFunction",
                                 {{"CODE", {"4000"}},
                                  {"FIELD", {"CREDIT"}},
                                  {"DDKFieldYearName", {"Y"}},
                                  {"DDKFieldBalanceType", {"budget"}}});
  EXPECT_GT(Number(budget, "CREDIT"), 0);
  EXPECT_EQ(budget.AttributeOr("DEBIT", ""), "0");
}

TEST_F(LedgerDetails, FullCodeRangesAndPeriodsPerKey) {
  std::vector<xml::Node> salaries = Records(RunFunction(m_factory, "RepeatingBalance_DDKFunction",
                                                        {{"DDKFieldFromCode", {"6000-10"}},
                                                         {"DDKFieldToCode", {"6000-20"}},
                                                         {"ShowSubCodes", {"-1"}}}));
  ASSERT_EQ(salaries.size(), 2u);
  EXPECT_EQ(salaries[0].AttributeOr("CODE", ""), "6000-10");
  EXPECT_EQ(salaries[1].AttributeOr("CODE", ""), "6000-20");

  // Period entries for every key line up with the keys; an empty entry means
  // the key's whole year.
  std::vector<xml::Node> sales =
      Records(RunFunction(m_factory, "RepeatingBalance_DDKFunction",
                          {{"DDKFieldFromCode", {"4000"}},
                           {"DDKFieldToCode", {"4000"}},
                           {"DDKFieldYearName", {"Y", "Y"}},
                           {"DDKFieldBalanceStartPeriod", {"", "2"}},
                           {"DDKFieldBalanceEndPeriod", {"", "2"}},
                           {"DDKFieldBalancePeriodBalType", {"", "Movement"}}}));
  ASSERT_EQ(sales.size(), 1u);
  EXPECT_NEAR(Number(sales[0], "AMOUNT"), Amount(m_factory, "4000", "Y", "Actuals"), 0.005);
  EXPECT_NEAR(Number(sales[0], "AMOUNT2"),
              Amount(m_factory, "4000", "Y", "Actuals", "2", "2", "Movement"), 0.005);
}

TEST(LedgerRefresh, RefreshSeesAReplacedLedger) {
  std::filesystem::path folder = FreshFolder("refresh");
  SampleOptions options;
  options.accounts = 40;
  WriteSampleWorkspace(folder.string(), options);
  CLedgerCommandFactory factory;
  factory.OpenWorkspace(folder.string());
  double before = Amount(factory, "4000", "Y", "Actuals");

  options.generator_start = 99;
  WriteSampleWorkspace(folder.string(), options);
  // The open ledger keeps answering from the file it opened...
  EXPECT_EQ(Amount(factory, "4000", "Y", "Actuals"), before);
  RunFunction(factory, "Refresh_DDKFunction");
  // ...until Refresh, after which the new file is read.
  EXPECT_NE(Amount(factory, "4000", "Y", "Actuals"), before);
}

TEST(LedgerRefresh, FactoryWithoutInitUsesTheThreadsLaunchProperties) {
  std::string year;
  InFreshContext([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
    SetLaunchProperties(launch.DocumentElement());
    CLedgerCommandFactory factory;
    year = RunFunction(factory, "TallixYear_DDKFunction", {{"DDKFieldYearName", {"Y-1"}}})
               .AttributeOr("DDKFieldYearName", "");
  });
  EXPECT_EQ(year, "2025");
}

TEST(DatabaseMapYears, OffListYearsHaveNoRecords) {
  CDatabaseMapProvider provider;
  provider.OpenWorkspace(SmallWorkspace());
  EXPECT_EQ(provider.FieldValue("Customers", "Name", 1, "Y+1"), "");
  EXPECT_EQ(provider.Records("Customers; Year=Y-4").AttributeOr("Count", ""), "0");
  EXPECT_THROW(provider.RecordCount("Customers", "1999"), Error);
}

}  // namespace
}  // namespace orvo::ledger::testing
