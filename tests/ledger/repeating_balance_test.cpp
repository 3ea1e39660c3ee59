#include <gtest/gtest.h>

#include <numeric>

#include "ledger/ledger_test_workspace.h"
#include "orvo/error.h"

namespace orvo::ledger::testing {
namespace {

class RepeatingBalance : public ::testing::Test {
 protected:
  void SetUp() override { m_factory.OpenWorkspace(SmallWorkspace()); }

  std::vector<xml::Node> Repeat(Filters filters) {
    return Records(RunFunction(m_factory, "RepeatingBalance_DDKFunction", filters));
  }
  static double Total(const std::vector<xml::Node>& records, const char* field = "AMOUNT") {
    return std::accumulate(
        records.begin(), records.end(), 0.0,
        [&](double sum, const xml::Node& record) { return sum + Number(record, field); });
  }

  CLedgerCommandFactory m_factory;
};

TEST_F(RepeatingBalance, TrialBalanceOfEveryYearBalances) {
  for (const char* year : {"2024", "2025", "2026"}) {
    std::vector<xml::Node> records = Repeat({{"DDKFieldFromCode", {"1000"}},
                                             {"DDKFieldToCode", {"8999"}},
                                             {"DDKFieldYearName", {year}},
                                             {"DDKFieldBalanceType", {"Actuals"}},
                                             {"ShowSubCodes", {"-1"}}});
    EXPECT_GT(records.size(), 30u) << year;
    EXPECT_NEAR(Total(records), 0, 0.005) << year;
    // Records come in code order and carry the account's description.
    for (std::size_t i = 1; i < records.size(); ++i) {
      EXPECT_LT(records[i - 1].AttributeOr("CODE", ""), records[i].AttributeOr("CODE", ""));
    }
    EXPECT_FALSE(records.front().AttributeOr("DESCRIPTION", "").empty());
  }
}

TEST_F(RepeatingBalance, SeveralKeysGiveOneAmountFieldEach) {
  std::vector<xml::Node> records =
      Repeat({{"DDKFieldFromCode", {"4000"}},
              {"DDKFieldToCode", {"4999"}},
              {"DDKFieldYearName", {"Y", "Y-1", "Y", "Y-7"}},
              {"DDKFieldBalanceType", {"Actuals", "Actuals", "Budget", "Actuals"}},
              {"DDKFieldBalancePeriods", {"-1", "0", "-1", "0"}},
              {"DDKFieldBalanceStartPeriod", {"1", "1"}},
              {"DDKFieldBalanceEndPeriod", {"3", "3"}},
              {"DDKFieldBalancePeriodBalType", {"YTD", "YTD"}}});
  ASSERT_FALSE(records.empty());
  const xml::Node& sales = records.front();
  EXPECT_EQ(sales.AttributeOr("CODE", ""), "4000");
  EXPECT_NEAR(Number(sales, "AMOUNT"), Amount(m_factory, "4000", "Y", "Actuals", "1", "3", "YTD"),
              0.005);
  EXPECT_NEAR(Number(sales, "AMOUNT2"), Amount(m_factory, "4000", "Y-1", "Actuals"), 0.005);
  EXPECT_NEAR(Number(sales, "AMOUNT3"), Amount(m_factory, "4000", "Y", "Budget", "1", "3", "YTD"),
              0.005);
  EXPECT_EQ(sales.AttributeOr("AMOUNT4", ""), "0");

  // A first key off the year list lists the accounts with zero amounts; the
  // next key still gets its own.
  std::vector<xml::Node> shifted = Repeat({{"DDKFieldFromCode", {"4000"}},
                                           {"DDKFieldToCode", {"4999"}},
                                           {"DDKFieldYearName", {"Y-7", "Y"}},
                                           {"ShowZeroBalances", {"-1"}}});
  ASSERT_FALSE(shifted.empty());
  EXPECT_EQ(shifted.front().AttributeOr("CODE", ""), "4000");
  EXPECT_EQ(shifted.front().AttributeOr("AMOUNT", ""), "0");
  EXPECT_NEAR(Number(shifted.front(), "AMOUNT2"), Amount(m_factory, "4000", "Y", "Actuals"), 0.005);
}

TEST_F(RepeatingBalance, CreditAndDebitPermissionsSplitTheBankAccounts) {
  Filters base = {
      {"DDKFieldFromCode", {"1000"}}, {"DDKFieldToCode", {"1099"}}, {"DDKFieldYearName", {"2026"}}};
  Filters debit_only = base;
  debit_only.push_back({"DDKFieldAllowCredit", {"0"}});
  Filters credit_only = base;
  credit_only.push_back({"DDKFieldAllowDebit", {"0"}});
  std::vector<xml::Node> all = Repeat(base);
  std::vector<xml::Node> debits = Repeat(debit_only);
  std::vector<xml::Node> credits = Repeat(credit_only);
  EXPECT_EQ(all.size(), debits.size() + credits.size());
  for (const xml::Node& record : debits) EXPECT_GT(Number(record, "AMOUNT"), 0);
  for (const xml::Node& record : credits) EXPECT_LT(Number(record, "AMOUNT"), 0);
  // The sample's capital purchase leaves the operating account overdrawn.
  ASSERT_EQ(credits.size(), 1u);
  EXPECT_EQ(credits.front().AttributeOr("CODE", ""), "1010");
}

TEST_F(RepeatingBalance, SubCodesZeroBalancesSteppingAndOverlaps) {
  Filters expenses = {{"DDKFieldFromCode", {"6000"}}, {"DDKFieldToCode", {"7999"}}};
  std::vector<xml::Node> merged = Repeat(expenses);
  Filters with_sub_codes = expenses;
  with_sub_codes.push_back({"ShowSubCodes", {"TRUE"}});
  std::vector<xml::Node> split = Repeat(with_sub_codes);
  EXPECT_GT(split.size(), merged.size());
  EXPECT_NEAR(Total(split), Total(merged), 0.005);
  for (const xml::Node& record : merged) {
    EXPECT_EQ(record.AttributeOr("CODE", "").find('-'), std::string::npos);
  }

  // Main accounts of sub-coded expenses carry no postings: zero rows appear
  // only when asked for.
  Filters with_zero = with_sub_codes;
  with_zero.push_back({"ShowZeroBalances", {"-1"}});
  std::vector<xml::Node> zero = Repeat(with_zero);
  EXPECT_GT(zero.size(), split.size());

  std::vector<xml::Node> stepped = Repeat({{"DDKFieldFromCode", {"6000"}},
                                           {"DDKFieldToCode", {"6900"}},
                                           {"DDKFieldCodeStepping", {"100"}},
                                           {"ShowZeroBalances", {"-1"}}});
  ASSERT_FALSE(stepped.empty());
  for (const xml::Node& record : stepped) {
    EXPECT_EQ(std::stoi(record.AttributeOr("CODE", "1")) % 100, 0);
  }

  // Two overlapping ranges list each account once.
  std::vector<xml::Node> overlapping =
      Repeat({{"DDKFieldFromCode", {"6000", "6050"}}, {"DDKFieldToCode", {"6100", "7999"}}});
  EXPECT_EQ(overlapping.size(), merged.size());
  EXPECT_NEAR(Total(overlapping), Total(merged), 0.005);
}

}  // namespace
}  // namespace orvo::ledger::testing
