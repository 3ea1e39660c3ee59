#include <gtest/gtest.h>

#include <cmath>

#include "ledger/ledger_test_workspace.h"
#include "orvo/error.h"

namespace orvo::ledger::testing {
namespace {

class LedgerDriver : public ::testing::Test {
 protected:
  void SetUp() override { m_factory.OpenWorkspace(SmallWorkspace()); }
  CLedgerCommandFactory m_factory;
};

std::vector<std::string> Attributes(const xml::Node& answer, const char* name) {
  std::vector<std::string> values;
  for (const xml::Node& child : answer.ChildNodes()) values.push_back(child.AttributeOr(name, "?"));
  return values;
}

TEST_F(LedgerDriver, ParameterlessFunctionsDescribeTheLedger) {
  EXPECT_EQ(Attributes(RunFunction(m_factory, "LedgerYears_DDKFunction"), "DDKFieldYearName"),
            (std::vector<std::string>{"2026", "2025", "2024"}));
  EXPECT_EQ(Attributes(RunFunction(m_factory, "RelativeLedgerYears_DDKFunction"), "Name"),
            (std::vector<std::string>{"Y", "Y-1", "Y-2"}));
  EXPECT_EQ(RunFunction(m_factory, "RelativeCurrentYearIndex_DDKFunction").AttributeOr("Name", ""),
            "1");
  EXPECT_EQ(RunFunction(m_factory, "RepeatDefaultPrimarySort_DDKFunction").AttributeOr("Name", ""),
            "CODE");
  std::vector<std::string> fields =
      Attributes(RunFunction(m_factory, "SupportedProductFields_DDKFunction"), "Name");
  EXPECT_NE(std::find(fields.begin(), fields.end(), "AMOUNT"), fields.end());
  EXPECT_EQ(Attributes(RunFunction(m_factory, "AccountCodeStructure_DDKFunction"),
                       "DDKFieldAccountCodeSplitter"),
            (std::vector<std::string>{"-", "-"}));

  xml::Node period = RunFunction(m_factory, "LedgerPeriod_DDKFunction");
  ASSERT_TRUE(period);
  EXPECT_EQ(period.AttributeOr("DDKFieldPeriodID", ""), "12");
  EXPECT_EQ(period.AttributeOr("DDKFieldPeriodEnd", ""), "2026-12-31");
  // Function names are matched without regard to case.
  EXPECT_TRUE(RunFunction(m_factory, "refresh_ddkfunction"));
}

TEST_F(LedgerDriver, YearAndPeriodLookupsResolveRelativeNames) {
  auto year = [&](const std::string& year_text) {
    return RunFunction(m_factory, "TallixYear_DDKFunction", {{"DDKFieldYearName", {year_text}}})
        .AttributeOr("DDKFieldYearName", "?");
  };
  EXPECT_EQ(year("2025"), "2025");
  EXPECT_EQ(year("Current"), "2026");
  EXPECT_EQ(year("Y"), "2026");
  EXPECT_EQ(year("Y+0"), "2026");
  EXPECT_EQ(year("y-2"), "2024");
  // Off the list is an empty year, not a failure; an unknown name is one.
  EXPECT_EQ(year("Y-3"), "");
  EXPECT_EQ(year("Y+1"), "");
  EXPECT_THROW(year("1999"), Error);

  auto period_end = [&](const std::string& year_text, const std::string& period) {
    return RunFunction(m_factory, "TallixPeriod_DDKFunction",
                       {{"DDKFieldYearName", {year_text}}, {"DDKFieldPeriodID", {period}}})
        .AttributeOr("DDKFieldPeriodEnd", "?");
  };
  EXPECT_EQ(period_end("2024", "2"), "2024-02-29");
  EXPECT_EQ(period_end("Y-1", "Current Period"), "2025-12-31");
  EXPECT_THROW(period_end("2025", "13"), Error);
}

TEST_F(LedgerDriver, PeriodBalanceTypesAreConsistentWithEachOther) {
  const std::string bank = "1010";
  double opening_year = Amount(m_factory, bank, "2026", "Actuals", "1", "1", "Opening");
  double closing_last_year = Amount(m_factory, bank, "2025", "Actuals");
  EXPECT_NEAR(opening_year, closing_last_year, 0.005);

  double closing_june = Amount(m_factory, bank, "2026", "Actuals", "6", "6", "Closing");
  double opening_july = Amount(m_factory, bank, "2026", "Actuals", "7", "7", "Opening");
  EXPECT_NEAR(closing_june, opening_july, 0.005);

  double year_to_date = Amount(m_factory, bank, "2026", "Actuals", "4", "9", "YTD");
  double movement = Amount(m_factory, bank, "2026", "Actuals", "1", "9", "Movement");
  EXPECT_NEAR(year_to_date, movement, 0.005);
  EXPECT_NEAR(opening_year + movement,
              Amount(m_factory, bank, "2026", "Actuals", "9", "9", "Closing"), 0.005);

  // Profit-and-loss accounts open every year at zero; revenue is a credit.
  const std::string sales = "4000";
  EXPECT_EQ(Amount(m_factory, sales, "2026", "Actuals", "1", "1", "Opening"), 0);
  EXPECT_LT(Amount(m_factory, sales, "2026", "Actuals"), 0);
  EXPECT_LT(Amount(m_factory, sales, "2026", "Budget"), 0);
  EXPECT_NE(Amount(m_factory, sales, "2026", "Actuals"),
            Amount(m_factory, sales, "2026", "Budget"));
  // A year beyond the list contributes nothing.
  EXPECT_EQ(Amount(m_factory, sales, "Y-3", "Actuals"), 0);
}

TEST_F(LedgerDriver, MainCodeSumsItsSubCodes) {
  double whole = Amount(m_factory, "6000", "2026", "Actuals");
  double parts = Amount(m_factory, "6000-10", "2026", "Actuals") +
                 Amount(m_factory, "6000-20", "2026", "Actuals");
  EXPECT_GT(whole, 0);
  EXPECT_NEAR(whole, parts, 0.005);
  xml::Node answer = RunFunction(m_factory, "AccountValue_DDKFunction",
                                 {{"CODE", {"6000-10"}}, {"FIELD", {"DESCRIPTION"}}});
  EXPECT_EQ(answer.AttributeOr("DESCRIPTION", ""), "Salaries and wages - Sales");
  EXPECT_NEAR(Number(answer, "DEBIT") - Number(answer, "CREDIT"), Number(answer, "AMOUNT"), 0.005);
}

TEST_F(LedgerDriver, BadRequestsFailNamingWhatIsWrong) {
  auto failure = [&](const std::string& function, const Filters& filters) -> Error {
    try {
      RunFunction(m_factory, function, filters);
    } catch (const Error& error) {
      return error;
    }
    ADD_FAILURE() << function << " did not fail";
    return Error(0, "", "");
  };
  Error unknown = failure("NoSuch_DDKFunction", {});
  EXPECT_EQ(unknown.Number(), 1);
  EXPECT_NE(unknown.Description().find("NoSuch_DDKFunction"), std::string::npos);

  Error account = failure("AccountValue_DDKFunction", {{"CODE", {"9999"}}});
  EXPECT_EQ(account.Source(), "AccountValue_DDKFunction");
  EXPECT_NE(account.Description().find("9999"), std::string::npos);
  EXPECT_NE(failure("AccountValue_DDKFunction", {{"CODE", {"4000"}}, {"FIELD", {"COLOUR"}}})
                .Description()
                .find("COLOUR"),
            std::string::npos);
  EXPECT_NE(failure("AccountValue_DDKFunction", {{"CODE", {"4000"}},
                                                 {"FIELD", {"AMOUNT"}},
                                                 {"DDKFieldYearName", {"Y"}},
                                                 {"DDKFieldBalanceType", {"Forecast"}}})
                .Description()
                .find("Forecast"),
            std::string::npos);
  EXPECT_THROW(Amount(m_factory, "4000", "Y", "Actuals", "1", "3", "Quarterly"), Error);
  EXPECT_THROW(Amount(m_factory, "4000", "Y", "Actuals", "9", "3", "Movement"), Error);
  EXPECT_THROW(RunFunction(m_factory, "RepeatingBalance_DDKFunction", {}), Error);
}

}  // namespace
}  // namespace orvo::ledger::testing
