// The sample company's chart of accounts, shared by the ledger writer and the
// chart-map writer so both agree on every code.
//
// Main codes are the classic four-digit plan (1xxx assets, 2xxx liabilities,
// 3xxx equity, 4xxx revenue, 5xxx cost of sales, 6xxx-7xxx operating
// expenses, 8xxx other income and expenses), widened to five or more digits
// when the requested size needs more product lines: a base code b becomes
// b * Scale(). Operating expenses carry department sub-codes ("6000-10").
#ifndef ORVO_SAMPLE_SAMPLE_CHART_H_
#define ORVO_SAMPLE_SAMPLE_CHART_H_

#include <cstdint>
#include <string>
#include <vector>

namespace orvo::sample {

// A small deterministic generator (splitmix64): the same start value gives
// the same company on every platform.
class SampleRandom {
 public:
  explicit SampleRandom(std::uint64_t start) : m_state(start) {}
  std::uint64_t Next();
  // Uniform in [low, high].
  std::int64_t Between(std::int64_t low, std::int64_t high);
  // True with probability percent / 100.
  bool Chance(int percent) { return Between(1, 100) <= percent; }

 private:
  std::uint64_t m_state;
};

// What the generator posts to an account.
enum class AccountRole {
  kPettyCash,
  kBank,
  kSavings,
  kReceivable,
  kAllowance,
  kRawMaterials,
  kFinishedGoods,
  kPrepaid,
  kOtherReceivable,
  kFixedAsset,
  kAccumulatedDepreciation,
  kPayable,
  kAccrual,
  kSalesTax,
  kPayrollTaxPayable,
  kIncomeTaxPayable,
  kLoan,
  kLease,
  kShareCapital,
  kRetainedEarnings,
  kRevenue,
  kSalesReturns,
  kCostOfSales,
  kSalaries,
  kPayrollTaxes,
  kPension,
  kExpense,
  kDepreciation,
  kBadDebts,
  kInterestIncome,
  kInterestExpense,
  kIncomeTax,
};

struct SampleAccount {
  std::string code;
  std::string main_code;
  std::int64_t main_number = 0;
  std::string description;
  std::string account_type;  // ASSET, LIABILITY, EQUITY, REVENUE, COSTOFSALES, EXPENSE, OTHER
  AccountRole role = AccountRole::kExpense;
  bool posting = true;       // false for a main account whose postings go to its sub-codes
  std::int64_t monthly = 0;  // typical monthly amount in cents (positive)
  std::int64_t opening = 0;  // balance brought forward into the first year, cents
};

struct SampleDepartment {
  std::string code;
  std::string name;
};

class SampleChart {
 public:
  SampleChart(int account_count, SampleRandom& random);

  const std::vector<SampleAccount>& Accounts() const { return m_accounts; }
  const std::vector<SampleDepartment>& Departments() const { return m_departments; }
  int MainWidth() const { return m_width; }
  std::int64_t Scale() const { return m_scale; }
  // The widened main code of a four-digit base code, and the last code of
  // the block that starts at base `last` (e.g. 4999 -> 4999 or 499999).
  std::string Code(int base) const;
  std::string BlockEnd(int last) const;
  // The first account with a role, or null.
  const SampleAccount* Find(AccountRole role) const;

 private:
  void Add(int base, int offset, const std::string& description, const std::string& type,
           AccountRole role, std::int64_t monthly_units, std::int64_t opening_units);

  std::vector<SampleAccount> m_accounts;
  std::vector<SampleDepartment> m_departments;
  int m_width = 4;
  std::int64_t m_scale = 1;
};

}  // namespace orvo::sample

#endif  // ORVO_SAMPLE_SAMPLE_CHART_H_
