#include "sample/sample_ledger_writer.h"

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "ledger/ledger_schema.h"
#include "ledger/sqlite_handle.h"

namespace orvo::sample {

using ledger::kLedgerSchema;
using ledger::SqliteConnection;
using ledger::SqliteStatement;

namespace {

constexpr std::array<int, 12> kSeason = {92, 95, 103, 100, 104, 98, 90, 88, 105, 108, 112, 125};
constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};

int DaysIn(int year, int month) {
  constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

std::string Date(int year, int month, int day) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

bool IsProfitAndLoss(const SampleAccount& account) {
  return account.account_type == "REVENUE" || account.account_type == "COSTOFSALES" ||
         account.account_type == "EXPENSE" || account.account_type == "OTHER";
}

// Posts balanced journals; tracks what later journals of the period need.
class JournalWriter {
 public:
  JournalWriter(const SqliteConnection& connection, const SampleChart& chart)
      : m_insert(connection.Prepare(
            "INSERT INTO journal_lines (journal_no, year_id, period_id, entry_date, reference, "
            "description, account_id, amount) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")) {
    for (std::size_t i = 0; i < chart.Accounts().size(); ++i) {
      const SampleAccount& account = chart.Accounts()[i];
      if (account.posting && !m_role_id[static_cast<std::size_t>(account.role)]) {
        m_role_id[static_cast<std::size_t>(account.role)] = static_cast<std::int64_t>(i) + 1;
      }
    }
  }

  void Begin(std::int64_t year_id, int period, std::string date, std::string reference,
             std::string description) {
    ++m_journal_no;
    m_year_id = year_id;
    m_period = period;
    m_date = std::move(date);
    m_reference = std::move(reference);
    m_description = std::move(description);
  }

  void Post(std::int64_t account_id, std::int64_t amount, const std::string& description) {
    if (amount == 0 || account_id == 0) return;
    m_insert.Reset()
        .Bind(1, m_journal_no)
        .Bind(2, m_year_id)
        .Bind(3, m_period)
        .Bind(4, m_date)
        .Bind(5, m_reference)
        .Bind(6, description.empty() ? m_description : description)
        .Bind(7, account_id)
        .Bind(8, amount);
    m_insert.Run();
    if (account_id == Role(AccountRole::kBank)) m_bank += amount;
  }
  void Post(AccountRole role, std::int64_t amount, const std::string& description = {}) {
    Post(Role(role), amount, description);
  }

  std::int64_t Role(AccountRole role) const { return m_role_id[static_cast<std::size_t>(role)]; }
  std::int64_t Bank() const { return m_bank; }

 private:
  SqliteStatement m_insert;
  std::array<std::int64_t, 64> m_role_id{};
  std::int64_t m_journal_no = 0;
  std::int64_t m_year_id = 0;
  int m_period = 0;
  std::string m_date;
  std::string m_reference;
  std::string m_description;
  std::int64_t m_bank = 0;
};

void WriteStaticTables(const SqliteConnection& connection, const SampleChart& chart,
                       const SampleLedgerShape& shape) {
  SqliteStatement setting =
      connection.Prepare("INSERT INTO ledger_settings (name, value) VALUES (?1, ?2)");
  std::string current_year = std::to_string(shape.first_year + shape.year_count - 1);
  for (const auto& [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
           {"company_name", shape.company},
           {"currency", "USD"},
           {"current_year", current_year},
           {"current_period", std::to_string(shape.current_period)},
           {"default_sort", "CODE"}}) {
    setting.Reset().Bind(1, name).Bind(2, value).Run();
  }

  SqliteStatement segment = connection.Prepare(
      "INSERT INTO code_segments (position, name, length, splitter) VALUES (?1, ?2, ?3, '-')");
  segment.Reset().Bind(1, 1).Bind(2, "Account").Bind(3, chart.MainWidth()).Run();
  if (!chart.Departments().empty())
    segment.Reset().Bind(1, 2).Bind(2, "Department").Bind(3, 2).Run();

  connection.Execute(
      "INSERT INTO account_types VALUES "
      "('ASSET', 'Assets', 'D', 1), ('LIABILITY', 'Liabilities', 'C', 1), "
      "('EQUITY', 'Equity', 'C', 1), ('REVENUE', 'Revenue', 'C', 0), "
      "('COSTOFSALES', 'Cost of sales', 'D', 0), ('EXPENSE', 'Operating expenses', 'D', 0), "
      "('OTHER', 'Other income and expenses', 'D', 0);"
      "INSERT INTO balance_types VALUES (1, 'Actuals', 'Posted actual amounts'), "
      "(2, 'Budget', 'Approved budget');");

  SqliteStatement account = connection.Prepare(
      "INSERT INTO accounts (account_id, code, main_code, main_number, description, "
      "account_type) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  for (std::size_t i = 0; i < chart.Accounts().size(); ++i) {
    const SampleAccount& a = chart.Accounts()[i];
    account.Reset()
        .Bind(1, static_cast<std::int64_t>(i) + 1)
        .Bind(2, a.code)
        .Bind(3, a.main_code)
        .Bind(4, a.main_number)
        .Bind(5, a.description)
        .Bind(6, a.account_type)
        .Run();
  }

  SqliteStatement year = connection.Prepare("INSERT INTO ledger_years VALUES (?1, ?2, ?3, ?4, ?5)");
  SqliteStatement period = connection.Prepare("INSERT INTO periods VALUES (?1, ?2, ?3, ?4, ?5)");
  for (int y = 0; y < shape.year_count; ++y) {
    int calendar = shape.first_year + y;
    year.Reset()
        .Bind(1, y + 1)
        .Bind(2, std::to_string(calendar))
        .Bind(3, "Financial year " + std::to_string(calendar))
        .Bind(4, Date(calendar, 1, 1))
        .Bind(5, Date(calendar, 12, 31))
        .Run();
    period.Reset()
        .Bind(1, y + 1)
        .Bind(2, 0)
        .Bind(3, "Opening balance " + std::to_string(calendar))
        .Bind(4, Date(calendar, 1, 1))
        .Bind(5, Date(calendar, 1, 1))
        .Run();
    for (int p = 1; p <= 12; ++p) {
      period.Reset()
          .Bind(1, y + 1)
          .Bind(2, p)
          .Bind(3, std::string(kMonths[static_cast<std::size_t>(p - 1)]) + " " +
                       std::to_string(calendar))
          .Bind(4, Date(calendar, p, 1))
          .Bind(5, Date(calendar, p, DaysIn(calendar, p)))
          .Run();
    }
  }
}

void WriteJournals(const SqliteConnection& connection, const SampleChart& chart,
                   const SampleLedgerShape& shape, SampleRandom& random) {
  JournalWriter journal(connection, chart);
  const std::vector<SampleAccount>& accounts = chart.Accounts();
  bool large = accounts.size() > 2000;

  // Opening balances of the first year; retained earnings balance them.
  journal.Begin(1, 0, Date(shape.first_year, 1, 1), "OB" + std::to_string(shape.first_year),
                "Opening balances");
  std::int64_t opening_total = 0;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    journal.Post(static_cast<std::int64_t>(i) + 1, accounts[i].opening, {});
    opening_total += accounts[i].opening;
  }
  journal.Post(AccountRole::kRetainedEarnings, -opening_total);

  std::int64_t payroll_tax_due = 0;
  std::int64_t income_tax_due = 0;
  for (int y = 0; y < shape.year_count; ++y) {
    int calendar = shape.first_year + y;
    std::int64_t growth = 100 + 8 * y;
    for (int p = 1; p <= 12; ++p) {
      std::string month =
          std::string(kMonths[static_cast<std::size_t>(p - 1)]) + " " + std::to_string(calendar);
      std::string date = Date(calendar, p, DaysIn(calendar, p));
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "%04d-%02d", calendar, p);
      auto amount_of = [&](const SampleAccount& account) {
        std::int64_t noise = random.Between(88, 112);
        return account.monthly * kSeason[static_cast<std::size_t>(p - 1)] / 100 * growth / 100 *
               noise / 100;
      };
      auto active = [&](const SampleAccount& account) {
        bool line = account.description.find("product line") != std::string::npos;
        return account.posting && (!large || !line || random.Chance(35));
      };
      auto each = [&](AccountRole role, auto&& post) {
        for (std::size_t i = 0; i < accounts.size(); ++i) {
          if (accounts[i].role == role && active(accounts[i])) {
            post(static_cast<std::int64_t>(i) + 1, amount_of(accounts[i]));
          }
        }
      };

      journal.Begin(y + 1, p, date, "SJ" + std::string(suffix), "Sales invoices " + month);
      std::int64_t sales = 0;
      each(AccountRole::kRevenue, [&](std::int64_t id, std::int64_t amount) {
        if (large) {
          journal.Post(id, -amount, {});
        } else {
          // Two invoice batches a month give the drill-down something to show.
          std::int64_t first = amount * random.Between(40, 60) / 100;
          journal.Post(id, -first, "Invoice batch 1 " + month);
          journal.Post(id, first - amount, "Invoice batch 2 " + month);
        }
        sales += amount;
      });
      each(AccountRole::kSalesReturns, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, "Credit notes " + month);
        sales -= amount;
      });
      journal.Post(AccountRole::kReceivable, sales);

      journal.Begin(y + 1, p, date, "CS" + std::string(suffix), "Cost of sales " + month);
      std::int64_t cost = 0;
      each(AccountRole::kCostOfSales, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, {});
        cost += amount;
      });
      journal.Post(AccountRole::kFinishedGoods, -cost);

      journal.Begin(y + 1, p, date, "PJ" + std::string(suffix), "Purchase invoices " + month);
      std::int64_t purchases = cost * random.Between(97, 103) / 100;
      journal.Post(AccountRole::kFinishedGoods, purchases, "Stock purchases " + month);
      journal.Post(AccountRole::kPayable, -purchases);

      journal.Begin(y + 1, p, date, "PR" + std::string(suffix), "Payroll " + month);
      std::int64_t net_pay = 0;
      std::int64_t payroll_taxes = 0;
      each(AccountRole::kSalaries, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, "Gross salaries " + month);
        net_pay += amount * 78 / 100;
        payroll_taxes += amount - amount * 78 / 100;
      });
      each(AccountRole::kPayrollTaxes, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, "Employer payroll taxes " + month);
        payroll_taxes += amount;
      });
      each(AccountRole::kPension, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, "Employer pension " + month);
        net_pay += amount;
      });
      journal.Post(AccountRole::kBank, -net_pay, "Net pay and pensions " + month);
      journal.Post(AccountRole::kPayrollTaxPayable, -payroll_taxes);

      journal.Begin(y + 1, p, date, "EX" + std::string(suffix), "Expense invoices " + month);
      std::int64_t expenses = 0;
      each(AccountRole::kExpense, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, {});
        expenses += amount;
      });
      journal.Post(AccountRole::kPayable, -expenses);
      std::int64_t bad_debts = 0;
      each(AccountRole::kBadDebts, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, "Provision for doubtful debts " + month);
        bad_debts += amount;
      });
      journal.Post(AccountRole::kAllowance, -bad_debts);

      journal.Begin(y + 1, p, date, "DP" + std::string(suffix), "Depreciation " + month);
      std::int64_t depreciation = 0;
      each(AccountRole::kDepreciation, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, {});
        depreciation += amount;
      });
      journal.Post(AccountRole::kAccumulatedDepreciation, -depreciation);

      journal.Begin(y + 1, p, date, "CR" + std::string(suffix), "Customer receipts " + month);
      std::int64_t receipts = sales * random.Between(93, 97) / 100;
      journal.Post(AccountRole::kBank, receipts);
      journal.Post(AccountRole::kReceivable, -receipts);

      journal.Begin(y + 1, p, date, "CP" + std::string(suffix), "Supplier payments " + month);
      std::int64_t payments = (purchases + expenses) * random.Between(95, 99) / 100;
      journal.Post(AccountRole::kPayable, payments);
      journal.Post(AccountRole::kBank, -payments);
      journal.Post(AccountRole::kPayrollTaxPayable, payroll_tax_due, "Payroll taxes paid");
      journal.Post(AccountRole::kBank, -payroll_tax_due, "Payroll taxes paid");
      payroll_tax_due = payroll_taxes;

      journal.Begin(y + 1, p, date, "IN" + std::string(suffix), "Interest and loan " + month);
      std::int64_t interest_income = 0;
      each(AccountRole::kInterestIncome, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, -amount, "Interest received");
        interest_income += amount;
      });
      journal.Post(AccountRole::kSavings, interest_income, "Interest received");
      std::int64_t interest_expense = 0;
      each(AccountRole::kInterestExpense, [&](std::int64_t id, std::int64_t amount) {
        journal.Post(id, amount, "Loan interest");
        interest_expense += amount;
      });
      journal.Post(AccountRole::kBank, -interest_expense, "Loan interest");
      journal.Post(AccountRole::kLoan, 500000, "Loan repayment");
      journal.Post(AccountRole::kBank, -500000, "Loan repayment");

      std::int64_t profit = sales - cost - net_pay - payroll_taxes - expenses - bad_debts -
                            depreciation + interest_income - interest_expense;
      journal.Begin(y + 1, p, date, "TX" + std::string(suffix), "Income tax " + month);
      std::int64_t tax = profit > 0 ? profit / 4 : 0;
      journal.Post(AccountRole::kIncomeTax, tax, "Income tax provision");
      journal.Post(AccountRole::kIncomeTaxPayable, -tax, "Income tax provision");
      income_tax_due += tax;
      if (p % 3 == 0) {
        journal.Post(AccountRole::kIncomeTaxPayable, income_tax_due, "Income tax instalment");
        journal.Post(AccountRole::kBank, -income_tax_due, "Income tax instalment");
        income_tax_due = 0;
      }

      // One large machinery purchase late in the last year draws the bank into
      // overdraft, so the balance sheet shows the bank on both sides.
      if (y == shape.year_count - 1 && p == 11) {
        journal.Begin(y + 1, p, date, "FA" + std::string(suffix), "New production line");
        std::int64_t price = std::max<std::int64_t>(journal.Bank(), 0) + receipts / 4;
        journal.Post(AccountRole::kFixedAsset, price, "Production line purchase");
        journal.Post(AccountRole::kBank, -price, "Production line purchase");
      }
    }
  }
}

void WriteBalances(const SqliteConnection& connection, const SampleChart& chart,
                   const SampleLedgerShape& shape) {
  connection.Execute(
      "INSERT INTO balances (account_id, year_id, balance_type_id, period_id, debit, credit) "
      "SELECT account_id, year_id, 1, period_id, "
      "sum(CASE WHEN amount > 0 THEN amount ELSE 0 END), "
      "sum(CASE WHEN amount < 0 THEN -amount ELSE 0 END) "
      "FROM journal_lines GROUP BY account_id, year_id, period_id");

  // Year end: balance-sheet accounts carry their closing balance forward;
  // the year's profit moves into retained earnings.
  std::int64_t retained = 0;
  for (std::size_t i = 0; i < chart.Accounts().size(); ++i) {
    if (chart.Accounts()[i].role == AccountRole::kRetainedEarnings) {
      retained = static_cast<std::int64_t>(i) + 1;
    }
  }
  SqliteStatement carry = connection.Prepare(
      "INSERT INTO balances (account_id, year_id, balance_type_id, period_id, debit, credit) "
      "SELECT b.account_id, ?2, 1, 0, max(sum(b.debit) - sum(b.credit), 0), "
      "max(sum(b.credit) - sum(b.debit), 0) FROM balances b "
      "JOIN accounts a ON a.account_id = b.account_id "
      "JOIN account_types t ON t.account_type = a.account_type "
      "WHERE b.year_id = ?1 AND b.balance_type_id = 1 AND t.balance_sheet = 1 "
      "GROUP BY b.account_id HAVING sum(b.debit) <> sum(b.credit)");
  SqliteStatement profit = connection.Prepare(
      "SELECT coalesce(sum(b.debit) - sum(b.credit), 0) FROM balances b "
      "JOIN accounts a ON a.account_id = b.account_id "
      "JOIN account_types t ON t.account_type = a.account_type "
      "WHERE b.year_id = ?1 AND b.balance_type_id = 1 AND t.balance_sheet = 0");
  SqliteStatement retain = connection.Prepare(
      "INSERT INTO balances (account_id, year_id, balance_type_id, period_id, debit, credit) "
      "VALUES (?1, ?2, 1, 0, 0, 0) ON CONFLICT DO NOTHING");
  SqliteStatement add = connection.Prepare(
      "UPDATE balances SET debit = max(debit - credit + ?3, 0), "
      "credit = max(credit - debit - ?3, 0) "
      "WHERE account_id = ?1 AND year_id = ?2 AND balance_type_id = 1 AND period_id = 0");
  for (int y = 1; y < shape.year_count; ++y) {
    carry.Reset().Bind(1, y).Bind(2, y + 1).Run();
    profit.Reset().Bind(1, y);
    std::int64_t result = profit.Step() ? profit.Int(0) : 0;
    profit.Reset();
    retain.Reset().Bind(1, retained).Bind(2, y + 1).Run();
    add.Reset().Bind(1, retained).Bind(2, y + 1).Bind(3, result).Run();
  }

  // Budget: every profit-and-loss account, seasonal, rounded to tens; income
  // tax at the provision's rate on each month's budgeted profit before tax,
  // so that the budgeted net profit is after tax like the actual one.
  std::vector<std::array<std::int64_t, 12>> budget_profit(
      static_cast<std::size_t>(shape.year_count), std::array<std::int64_t, 12>{});
  std::optional<std::size_t> income_tax_account;
  SqliteStatement budget = connection.Prepare(
      "INSERT INTO balances (account_id, year_id, balance_type_id, period_id, debit, credit) "
      "VALUES (?1, ?2, 2, ?3, ?4, ?5)");
  for (std::size_t i = 0; i < chart.Accounts().size(); ++i) {
    const SampleAccount& account = chart.Accounts()[i];
    if (account.posting && account.role == AccountRole::kIncomeTax) income_tax_account = i;
    if (!account.posting || !IsProfitAndLoss(account) || account.monthly == 0) continue;
    bool credit = account.account_type == "REVENUE" && account.role != AccountRole::kSalesReturns;
    credit = credit || account.role == AccountRole::kInterestIncome;
    for (int y = 0; y < shape.year_count; ++y) {
      for (int p = 1; p <= 12; ++p) {
        std::int64_t amount =
            account.monthly * kSeason[static_cast<std::size_t>(p - 1)] / 100 * (102 + 8 * y) / 100;
        amount = (amount + 500) / 1000 * 1000;
        budget.Reset()
            .Bind(1, static_cast<std::int64_t>(i) + 1)
            .Bind(2, y + 1)
            .Bind(3, p)
            .Bind(4, credit ? 0 : amount)
            .Bind(5, credit ? amount : 0)
            .Run();
        budget_profit[static_cast<std::size_t>(y)][static_cast<std::size_t>(p - 1)] +=
            credit ? amount : -amount;
      }
    }
  }
  if (!income_tax_account) return;
  for (int y = 0; y < shape.year_count; ++y) {
    for (int p = 1; p <= 12; ++p) {
      const std::int64_t before_tax =
          budget_profit[static_cast<std::size_t>(y)][static_cast<std::size_t>(p - 1)];
      const std::int64_t tax = before_tax > 0 ? (before_tax / 4 + 500) / 1000 * 1000 : 0;
      budget.Reset()
          .Bind(1, static_cast<std::int64_t>(*income_tax_account) + 1)
          .Bind(2, y + 1)
          .Bind(3, p)
          .Bind(4, tax)
          .Bind(5, std::int64_t{0})
          .Run();
    }
  }
}

void WriteCustomers(const SqliteConnection& connection, const SampleChart& chart,
                    const SampleLedgerShape& shape, SampleRandom& random) {
  connection.Execute(
      "CREATE TABLE customers (customer_no INTEGER PRIMARY KEY, year_name TEXT NOT NULL, "
      "code TEXT NOT NULL, name TEXT NOT NULL, region TEXT NOT NULL, industry TEXT NOT NULL, "
      "revenue REAL NOT NULL, outstanding REAL NOT NULL, credit_limit REAL NOT NULL);"
      "CREATE INDEX customers_by_year ON customers (year_name, customer_no);"
      "INSERT INTO dbmap_tables VALUES ('Customers', 'customers', 'year_name', 'customer_no', "
      "'Customers with their sales for the year');"
      "INSERT INTO dbmap_fields VALUES "
      "('Customers', 'Code', 'code', 1, 'Customer code'),"
      "('Customers', 'Name', 'name', 2, 'Customer name'),"
      "('Customers', 'Region', 'region', 3, 'Sales region'),"
      "('Customers', 'Industry', 'industry', 4, 'Industry'),"
      "('Customers', 'Revenue', 'revenue', 5, 'Sales for the year'),"
      "('Customers', 'Outstanding', 'outstanding', 6, 'Balance owed at year end'),"
      "('Customers', 'CreditLimit', 'credit_limit', 7, 'Credit limit');");
  constexpr std::array<const char*, 16> kNames = {
      "Northwind",  "Bluewater",  "Redstone",  "Greenfield", "Silverline", "Oakridge",
      "Brightpath", "Ironbridge", "Clearview", "Summit",     "Harbour",    "Maple",
      "Cedar",      "Pinnacle",   "Horizon",   "Riverside"};
  constexpr std::array<const char*, 8> kIndustries = {
      "Retail", "Foods", "Logistics", "Engineering", "Health", "Media", "Construction", "Software"};
  constexpr std::array<const char*, 4> kRegions = {"North", "South", "East", "West"};
  int base_count = 24 + static_cast<int>(std::min<std::size_t>(chart.Accounts().size() / 100, 400));
  struct Customer {
    std::string code, name, region, industry;
    std::int64_t revenue;
  };
  std::vector<Customer> customers;
  for (int i = 0; i < base_count + 4 * shape.year_count; ++i) {
    Customer customer;
    char code[16];
    std::snprintf(code, sizeof code, "C%04d", i + 1);
    customer.code = code;
    const char* industry = kIndustries[static_cast<std::size_t>(random.Between(0, 7))];
    customer.name =
        std::string(kNames[static_cast<std::size_t>(i) % kNames.size()]) + " " + industry +
        (i / kNames.size() ? " " + std::to_string(i / kNames.size() + 1) : std::string()) +
        (i % 3 == 0 ? " Inc" : " Ltd");
    customer.region = kRegions[static_cast<std::size_t>(random.Between(0, 3))];
    customer.industry = industry;
    customer.revenue = random.Between(20000, 400000);
    customers.push_back(std::move(customer));
  }
  SqliteStatement insert = connection.Prepare(
      "INSERT INTO customers (year_name, code, name, region, industry, revenue, outstanding, "
      "credit_limit) VALUES (?1, ?2, ?3, ?4, ?5, ?6 / 100.0, ?7 / 100.0, ?8)");
  for (int y = 0; y < shape.year_count; ++y) {
    int count = base_count + 4 * y;
    for (int i = 0; i < count; ++i) {
      const Customer& customer = customers[static_cast<std::size_t>(i)];
      std::int64_t revenue = customer.revenue * (100 + 8 * y) * random.Between(90, 110) / 100;
      std::int64_t outstanding = revenue * random.Between(5, 25) / 100;
      insert.Reset()
          .Bind(1, std::to_string(shape.first_year + y))
          .Bind(2, customer.code)
          .Bind(3, customer.name)
          .Bind(4, customer.region)
          .Bind(5, customer.industry)
          .Bind(6, revenue)
          .Bind(7, outstanding)
          .Bind(8, (customer.revenue * 30 / 100 + 4999) / 5000 * 5000)
          .Run();
    }
  }
}

void WriteColumnConfiguration(const SqliteConnection& connection) {
  std::string definition = "<DC Key=\"MONTHLY\" Name=\"Monthly actuals\">";
  for (int p = 1; p <= 12; ++p) {
    definition += "<DCol Ind=\"" + std::to_string(p) + "\" Hdg=\"" +
                  std::string(kMonths[static_cast<std::size_t>(p - 1)]).substr(0, 3) +
                  "\" Year=\"Y\" Prd=\"" + std::to_string(p) + "\" PdEnd=\"" + std::to_string(p) +
                  "\" PdBal=\"Movement\" Bal=\"Actuals\"/>";
  }
  definition += "</DC>";
  SqliteStatement insert =
      connection.Prepare("INSERT INTO column_configurations (name, definition) VALUES (?1, ?2)");
  insert.Reset().Bind(1, "MONTHLY").Bind(2, definition).Run();
}

}  // namespace

void WriteSampleLedger(const std::string& path, const SampleChart& chart,
                       const SampleLedgerShape& shape, SampleRandom& random) {
  SqliteConnection connection = SqliteConnection::Create(path);
  // A fresh file written in one transaction: no journal needed, and a reader
  // never sees it half-written because the caller writes to a new folder.
  connection.Execute("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;");
  connection.Execute(kLedgerSchema);
  WriteStaticTables(connection, chart, shape);
  WriteJournals(connection, chart, shape, random);
  WriteBalances(connection, chart, shape);
  WriteCustomers(connection, chart, shape, random);
  WriteColumnConfiguration(connection);
  connection.Execute("COMMIT; ANALYZE;");
}

}  // namespace orvo::sample
