#include "sample/sample_chart.h"

#include <algorithm>

namespace orvo::sample {
namespace {

struct MainAccount {
  int base;
  const char* description;
  const char* type;
  AccountRole role;
  std::int64_t monthly;  // whole currency units
  std::int64_t opening;  // whole currency units, debit positive
};

// Balance sheet, revenue, cost of sales and other accounts: no sub-codes.
constexpr MainAccount kFixedAccounts[] = {
    {1000, "Petty cash", "ASSET", AccountRole::kPettyCash, 0, 500},
    {1010, "Cash at bank - operating account", "ASSET", AccountRole::kBank, 0, 250000},
    {1020, "Cash at bank - savings account", "ASSET", AccountRole::kSavings, 0, 400000},
    {1100, "Trade receivables", "ASSET", AccountRole::kReceivable, 0, 320000},
    {1110, "Allowance for doubtful debts", "ASSET", AccountRole::kAllowance, 0, -12000},
    {1200, "Inventory - raw materials", "ASSET", AccountRole::kRawMaterials, 0, 90000},
    {1210, "Inventory - finished goods", "ASSET", AccountRole::kFinishedGoods, 0, 150000},
    {1300, "Prepayments", "ASSET", AccountRole::kPrepaid, 0, 35000},
    {1310, "Other receivables", "ASSET", AccountRole::kOtherReceivable, 0, 8000},
    {1500, "Land and buildings", "ASSET", AccountRole::kFixedAsset, 0, 1200000},
    {1510, "Plant and machinery", "ASSET", AccountRole::kFixedAsset, 0, 450000},
    {1520, "Motor vehicles", "ASSET", AccountRole::kFixedAsset, 0, 120000},
    {1530, "Office furniture and equipment", "ASSET", AccountRole::kFixedAsset, 0, 60000},
    {1540, "Computer equipment", "ASSET", AccountRole::kFixedAsset, 0, 80000},
    {1590, "Accumulated depreciation", "ASSET", AccountRole::kAccumulatedDepreciation, 0, -520000},
    {2000, "Trade payables", "LIABILITY", AccountRole::kPayable, 0, -210000},
    {2010, "Accrued expenses", "LIABILITY", AccountRole::kAccrual, 0, -45000},
    {2100, "Sales tax payable", "LIABILITY", AccountRole::kSalesTax, 0, -30000},
    {2110, "Payroll taxes payable", "LIABILITY", AccountRole::kPayrollTaxPayable, 0, -25000},
    {2120, "Income tax payable", "LIABILITY", AccountRole::kIncomeTaxPayable, 0, -60000},
    {2500, "Bank loan", "LIABILITY", AccountRole::kLoan, 0, -600000},
    {2510, "Lease liabilities", "LIABILITY", AccountRole::kLease, 0, -90000},
    {3000, "Share capital", "EQUITY", AccountRole::kShareCapital, 0, -500000},
    // Retained earnings: the balancing figure of the opening balances.
    {3100, "Retained earnings", "EQUITY", AccountRole::kRetainedEarnings, 0, 0},
    {4000, "Sales - products", "REVENUE", AccountRole::kRevenue, 150000, 0},
    {4010, "Sales - services", "REVENUE", AccountRole::kRevenue, 80000, 0},
    {4020, "Licence and subscription revenue", "REVENUE", AccountRole::kRevenue, 40000, 0},
    {4100, "Sales returns and allowances", "REVENUE", AccountRole::kSalesReturns, 2500, 0},
    {4900, "Other operating income", "REVENUE", AccountRole::kRevenue, 5000, 0},
    {5000, "Cost of goods sold", "COSTOFSALES", AccountRole::kCostOfSales, 120000, 0},
    {5010, "Direct labour", "COSTOFSALES", AccountRole::kCostOfSales, 40000, 0},
    {5020, "Freight and carriage inwards", "COSTOFSALES", AccountRole::kCostOfSales, 8000, 0},
    {5030, "Subcontractors", "COSTOFSALES", AccountRole::kCostOfSales, 15000, 0},
    {8000, "Interest income", "OTHER", AccountRole::kInterestIncome, 900, 0},
    {8100, "Interest expense", "OTHER", AccountRole::kInterestExpense, 3000, 0},
    {8900, "Income tax expense", "OTHER", AccountRole::kIncomeTax, 0, 0},
};

// Operating expenses: one main account with a sub-code per department.
constexpr MainAccount kExpenseAccounts[] = {
    {6000, "Salaries and wages", "EXPENSE", AccountRole::kSalaries, 25000, 0},
    {6010, "Payroll taxes", "EXPENSE", AccountRole::kPayrollTaxes, 2500, 0},
    {6020, "Pension contributions", "EXPENSE", AccountRole::kPension, 2000, 0},
    {6030, "Staff welfare and benefits", "EXPENSE", AccountRole::kExpense, 600, 0},
    {6040, "Recruitment", "EXPENSE", AccountRole::kExpense, 400, 0},
    {6100, "Rent and rates", "EXPENSE", AccountRole::kExpense, 2500, 0},
    {6110, "Electricity and utilities", "EXPENSE", AccountRole::kExpense, 900, 0},
    {6120, "Cleaning", "EXPENSE", AccountRole::kExpense, 300, 0},
    {6130, "Repairs and maintenance", "EXPENSE", AccountRole::kExpense, 500, 0},
    {6200, "Advertising and promotion", "EXPENSE", AccountRole::kExpense, 1200, 0},
    {6210, "Travel and accommodation", "EXPENSE", AccountRole::kExpense, 700, 0},
    {6220, "Entertainment", "EXPENSE", AccountRole::kExpense, 200, 0},
    {6300, "Office supplies and stationery", "EXPENSE", AccountRole::kExpense, 250, 0},
    {6310, "Telephone and internet", "EXPENSE", AccountRole::kExpense, 350, 0},
    {6320, "Software subscriptions", "EXPENSE", AccountRole::kExpense, 800, 0},
    {6330, "Postage and courier", "EXPENSE", AccountRole::kExpense, 150, 0},
    {6400, "Insurance", "EXPENSE", AccountRole::kExpense, 600, 0},
    {6500, "Accounting and audit fees", "EXPENSE", AccountRole::kExpense, 700, 0},
    {6510, "Legal fees", "EXPENSE", AccountRole::kExpense, 400, 0},
    {6520, "Bank charges", "EXPENSE", AccountRole::kExpense, 100, 0},
    {6600, "Depreciation", "EXPENSE", AccountRole::kDepreciation, 2000, 0},
    {6700, "Training", "EXPENSE", AccountRole::kExpense, 300, 0},
    {6800, "Motor vehicle expenses", "EXPENSE", AccountRole::kExpense, 450, 0},
    {7000, "Bad debts", "EXPENSE", AccountRole::kBadDebts, 250, 0},
    {7100, "Sundry expenses", "EXPENSE", AccountRole::kExpense, 150, 0},
};

const SampleDepartment kDepartments[] = {
    {"10", "Sales"}, {"20", "Operations"}, {"30", "Administration"}, {"40", "Research"}};

constexpr int kFixedCount = static_cast<int>(std::size(kFixedAccounts));
constexpr int kExpenseCount = static_cast<int>(std::size(kExpenseAccounts));

// Product lines are numbered from these bases, up to the end of the block.
constexpr int kRevenueLineBase = 4300;
constexpr int kCostLineBase = 5300;
constexpr int kLineBlock = 600;

}  // namespace

std::uint64_t SampleRandom::Next() {
  m_state += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = m_state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::int64_t SampleRandom::Between(std::int64_t low, std::int64_t high) {
  if (high <= low) return low;
  std::uint64_t span = static_cast<std::uint64_t>(high - low) + 1;
  return low + static_cast<std::int64_t>(Next() % span);
}

SampleChart::SampleChart(int account_count, SampleRandom& random) {
  int remaining = std::max(account_count, kFixedCount + 4) - kFixedCount;
  int expense_mains = 0;
  int departments = 0;
  if (remaining >= kExpenseCount * 5) {
    expense_mains = kExpenseCount;
    departments = 4;
  } else if (remaining >= 3) {
    expense_mains = std::min(kExpenseCount, remaining / 3);
    departments = 2;
  } else {
    expense_mains = remaining;
  }
  int lines = remaining - expense_mains * (1 + departments);
  int revenue_lines = (lines + 1) / 2;
  int cost_lines = lines - revenue_lines;
  while (static_cast<std::int64_t>(kLineBlock) * m_scale <= revenue_lines) {
    m_scale *= 10;
    ++m_width;
  }
  for (int d = 0; d < departments; ++d) m_departments.push_back(kDepartments[d]);

  for (const MainAccount& main : kFixedAccounts) {
    Add(main.base, 0, main.description, main.type, main.role, main.monthly, main.opening);
    if (main.base == 4900) {
      // Product lines sit between the named revenue and the other income.
      for (int i = 1; i <= revenue_lines; ++i) {
        Add(kRevenueLineBase, i, "Sales - product line " + std::to_string(i), "REVENUE",
            AccountRole::kRevenue, random.Between(1000, 6000), 0);
      }
    }
    if (main.base == 5030) {
      for (int i = 1; i <= cost_lines; ++i) {
        Add(kCostLineBase, i, "Cost of sales - product line " + std::to_string(i), "COSTOFSALES",
            AccountRole::kCostOfSales, random.Between(600, 2400), 0);
      }
    }
  }
  for (int e = 0; e < expense_mains; ++e) {
    const MainAccount& main = kExpenseAccounts[e];
    Add(main.base, 0, main.description, main.type, main.role, main.monthly, 0);
    if (departments == 0) continue;
    m_accounts.back().posting = false;
    std::string main_code = m_accounts.back().main_code;
    std::int64_t main_number = m_accounts.back().main_number;
    for (int d = 0; d < departments; ++d) {
      SampleAccount sub;
      sub.code = main_code + "-" + kDepartments[d].code;
      sub.main_code = main_code;
      sub.main_number = main_number;
      sub.description = std::string(main.description) + " - " + kDepartments[d].name;
      sub.account_type = main.type;
      sub.role = main.role;
      // Departments differ in size: sales and operations carry more cost.
      std::int64_t weight = d < 2 ? random.Between(90, 140) : random.Between(50, 100);
      sub.monthly = main.monthly * 100 * weight / 100;
      m_accounts.push_back(std::move(sub));
    }
  }
  std::sort(m_accounts.begin(), m_accounts.end(),
            [](const SampleAccount& a, const SampleAccount& b) { return a.code < b.code; });
}

void SampleChart::Add(int base, int offset, const std::string& description, const std::string& type,
                      AccountRole role, std::int64_t monthly_units, std::int64_t opening_units) {
  SampleAccount account;
  account.main_number = base * m_scale + offset;
  std::string digits = std::to_string(account.main_number);
  account.main_code =
      std::string(static_cast<std::size_t>(std::max(0, m_width - static_cast<int>(digits.size()))),
                  '0') +
      digits;
  account.code = account.main_code;
  account.description = description;
  account.account_type = type;
  account.role = role;
  account.monthly = monthly_units * 100;
  account.opening = opening_units * 100;
  m_accounts.push_back(std::move(account));
}

std::string SampleChart::Code(int base) const {
  return std::to_string(static_cast<std::int64_t>(base) * m_scale);
}

std::string SampleChart::BlockEnd(int last) const {
  return std::to_string((static_cast<std::int64_t>(last) + 1) * m_scale - 1);
}

const SampleAccount* SampleChart::Find(AccountRole role) const {
  for (const SampleAccount& account : m_accounts) {
    if (account.role == role && account.posting) return &account;
  }
  return nullptr;
}

}  // namespace orvo::sample
