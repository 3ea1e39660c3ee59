// orvo eval over the sample ledger: the balance-context options, bad
// contexts and broken ledgers, and the ledger never written.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_orvo.h"
#include "support/temp_workspace.h"

namespace orvo {
namespace {

using testing::RunOrvo;
using testing::TempWorkspace;

// The Val of orvo eval's answer, or "<exit N>" when it printed none.
std::string Val(const testing::ProgramResult& result) {
  const std::size_t start = result.out.find("Val=\"");
  if (start == std::string::npos) return "<exit " + std::to_string(result.exit_code) + ">";
  const std::size_t end = result.out.find('"', start + 5);
  return result.out.substr(start + 5, end - start - 5);
}

class EvalBalance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunOrvo({"sample", Folder(), "--accounts", "40", "--force"}).exit_code, 0);
  }
  std::string Folder() const { return workspace.Folder().string(); }
  // orvo eval of `formula` with the context options `context`.
  std::string Eval(const std::string& formula, std::vector<std::string> context = {}) {
    std::vector<std::string> args = {"eval", "--workspace", Folder()};
    args.insert(args.end(), context.begin(), context.end());
    args.insert(args.end(), {"--", formula});
    return Val(RunOrvo(args));
  }

  TempWorkspace workspace;
};

TEST_F(EvalBalance, OptionsSetTheScratchItemsContext) {
  const std::vector<std::string> whole_year = {"--year",  "Y",  "--prd", "1",
                                               "--pdend", "12", "--bal", "Actuals"};
  const std::string revenue = Eval("=CM.REVENUE", whole_year);
  ASSERT_NE(revenue.find_first_of("123456789"), std::string::npos) << revenue;
  EXPECT_EQ(revenue.front(), '-');  // revenue is a credit
  // Without options: the current year's whole year, actuals.
  EXPECT_EQ(Eval("=CM.REVENUE"), revenue);
  EXPECT_EQ(Eval("=CM.REVENUE", {"--year", "Current", "--bal", "actuals"}), revenue);
  // The year to date at the last period is the whole year; budgets differ.
  EXPECT_EQ(Eval("=CM.REVENUE", {"--prd", "1", "--pdend", "Current Period", "--pdbal", "YTD"}),
            revenue);
  EXPECT_NE(Eval("=CM.REVENUE", {"--bal", "Budget"}), revenue);
  // Last year: by the year option and by LY agree.
  EXPECT_EQ(Eval("=CM.REVENUE", {"--year", "Y-1"}), Eval("=LY(CM.REVENUE)"));
  EXPECT_NE(Eval("=LY(CM.REVENUE)"), revenue);
  // A folder is the sum of its parts (Sum: "+" before a negative value is
  // a subtraction that waits for the additions).
  EXPECT_EQ(Eval("=Sum(CM.PRODUCTSALES,CM.SERVICEREVENUE,CM.RETURNS,CM.OTHERREVENUE)", whole_year),
            revenue);
  // The months' movements add up to the year's.
  long long cents = 0;
  for (int month = 1; month <= 12; ++month) {
    const std::string m = std::to_string(month);
    cents += std::llround(
        100 * std::stod(Eval("=CM.REVENUE", {"--prd", m, "--pdend", m, "--pdbal", "Movement"})));
  }
  EXPECT_EQ(cents, std::llround(100 * std::stod(revenue)));
  EXPECT_EQ(Eval("=CM.REVENUE-(CM.REVENUE.CR+CM.REVENUE.DR)"), "0");

  EXPECT_EQ(Eval("=Year"), "2026");
  EXPECT_EQ(Eval("=Year", {"--year", "Y-2"}), "2024");
  EXPECT_EQ(Eval("=Period", {"--pdend", "3"}), "2026-03-31");
  EXPECT_EQ(Eval("=Period", {"--year", "Y-1", "--pdend", "Current Period"}), "2025-12-31");
  // Four more customers every year.
  EXPECT_EQ(std::stoi(Eval("=RecordCount(DB.Customers)")),
            std::stoi(Eval("=RecordCount(DB.Customers)", {"--year", "Y-1"})) + 4);
}

TEST_F(EvalBalance, BadContextsGiveZerosOrErrorValues) {
  // A year off the ledger years: no year, zero amounts, empty year texts.
  EXPECT_EQ(Eval("=CM.REVENUE", {"--year", "Y-5"}), "0");
  EXPECT_EQ(Eval("=AccountValue(\"4000\")", {"--year", "Y+1"}), "0");
  EXPECT_EQ(Eval("=Year&Period", {"--year", "Y-5"}), "");
  EXPECT_EQ(Eval("=RecordCount(DB.Customers)", {"--year", "Y-5"}), "0");
  // A period the year lacks and a balance type the ledger never saw fail.
  EXPECT_EQ(Eval("=CM.REVENUE", {"--prd", "1", "--pdend", "13"}), "#ERROR");
  EXPECT_EQ(Eval("=CM.REVENUE", {"--prd", "0"}), "#ERROR");
  EXPECT_EQ(Eval("=AccountValue(\"4000\")", {"--bal", "Forecast"}), "#ERROR");
  EXPECT_EQ(Eval("=Period", {"--pdend", "13"}), "#ERROR");
  // An account code with the splitter doubled names no account.
  EXPECT_EQ(Eval("=AccountValue(\"6000--10\")"), "#ERROR");
  EXPECT_NE(Eval("=AccountValue(\"6000-10\")"), "#ERROR");
  EXPECT_EQ(Eval("=RecordValue(DB.Customers.Name,0)"), "");
}

TEST_F(EvalBalance, TheLedgerIsNeverWritten) {
  const std::filesystem::path ledger = workspace.Folder() / "ledger.sqlite";
  std::filesystem::permissions(ledger, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
  const auto before = workspace.Snapshot();
  for (const char* formula :
       {"=CM.REVENUE", "=LY(CM.GROSSPROFIT)", "=AccountValue(\"4000\")", "=Year&Period",
        "=RecordValue(DB.Customers.Revenue,2)", "=CM.CASH.DR+CM.BANKOVERDRAFT.TCR"}) {
    EXPECT_NE(Eval(formula), "#ERROR") << formula;
    Eval(formula, {"--bal", "Nothing", "--pdend", "99"});  // and the failing paths
  }
  EXPECT_EQ(workspace.Snapshot(), before);
}

TEST_F(EvalBalance, BrokenOrMissingLedgersAreErrorValues) {
  const std::filesystem::path ledger = workspace.Folder() / "ledger.sqlite";
  std::filesystem::resize_file(ledger, 4096);  // cut short
  auto before = workspace.Snapshot();
  EXPECT_EQ(Eval("=CM.REVENUE"), "#ERROR");
  EXPECT_EQ(workspace.Snapshot(), before);

  std::ofstream(ledger, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
  before = workspace.Snapshot();
  EXPECT_EQ(Eval("=AccountValue(\"4000\")"), "#ERROR");
  EXPECT_EQ(workspace.Snapshot(), before);

  std::filesystem::remove(ledger);
  before = workspace.Snapshot();
  EXPECT_EQ(Eval("=CM.REVENUE"), "#ERROR");
  EXPECT_EQ(Eval("=1+1"), "2");
  EXPECT_EQ(workspace.Snapshot(), before);  // no ledger created
}

}  // namespace
}  // namespace orvo
