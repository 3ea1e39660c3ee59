// Ledger amounts in formulas against the sample ledger, each compared with a
// figure the test computes itself with SQL on the ledger file (not through
// the driver): folder totals in every kind of balance context, last year,
// budgets, mappings, stepping, debit-only ranges, single accounts, the
// trial balance repeat and the database map.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "evaluate/evaluate.h"
#include "frame/launch_properties.h"
#include "frame/thread_context.h"
#include "ledger/sqlite_handle.h"
#include "orvo/formula_evaluator.h"
#include "orvo/parser.h"
#include "orvo/xml.h"
#include "sample_ledger_sql.h"
#include "support/sample_folders.h"

namespace orvo {
namespace {

using testing::SmallWorkspace;

using testing::SqlContext;

class LedgerAmounts : public ::testing::Test {
 protected:
  long long FolderCents(const std::string& key, const SqlContext& context,
                        bool debit_only = false) const {
    return sql.FolderCents(key, context, debit_only);
  }
  static long long Cents(const std::string& value) { return std::llround(std::stod(value) * 100); }

  testing::SampleLedgerSql sql{SmallWorkspace()};
  ledger::SqliteConnection ledger =
      ledger::SqliteConnection::OpenReadOnly(SmallWorkspace() + "/ledger.sqlite");
};

// The evaluator's value of a formula in a context given as orvo eval's options.
std::string Evaluate(const std::string& formula, const BalanceContext& context) {
  std::string value;
  InFreshContext([&] {
    FormulaEvaluator evaluator;
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
    evaluator.Init(launch.DocumentElement());
    evaluator.BalanceContext(context);
    value = evaluator.Evaluate(formula).value;
  });
  return value;
}

TEST_F(LedgerAmounts, FolderTotalsEqualTheLedgersSums) {
  // The sample's current year is 2026, its current period 12.
  const BalanceContext ytd{"Y", "1", "6", "YTD", "Actuals"};
  const BalanceContext month{"Y", "Current Period", "Current Period", "Movement", "Actuals"};
  const BalanceContext budget{"Y", "1", "Current Period", "YTD", "Budget"};
  const BalanceContext closing{"Y", "12", "12", "Closing", "Actuals"};
  const BalanceContext opening{"Y-1", "3", "3", "Opening", "Actuals"};
  const BalanceContext year{"Y", "", "", "", "Actuals"};
  for (const char* folder : {"REVENUE", "COSTOFSALES", "OPERATINGEXPENSES", "GROSSPROFIT",
                             "HEADLINEEXPENSES", "WORKINGCAPITAL", "TRIALBALANCE"}) {
    const std::string formula = std::string("=CM.") + folder;
    EXPECT_EQ(Cents(Evaluate(formula, ytd)), FolderCents(folder, {"2026", 1, 6, "Actuals"}))
        << folder;
    EXPECT_EQ(Cents(Evaluate(formula, month)), FolderCents(folder, {"2026", 12, 12, "Actuals"}))
        << folder;
    EXPECT_EQ(Cents(Evaluate(formula, budget)), FolderCents(folder, {"2026", 1, 12, "Budget"}))
        << folder;
    EXPECT_EQ(Cents(Evaluate(formula, closing)), FolderCents(folder, {"2026", 0, 12, "Actuals"}))
        << folder;
    EXPECT_EQ(Cents(Evaluate(formula, opening)), FolderCents(folder, {"2025", 0, 2, "Actuals"}))
        << folder;
    EXPECT_EQ(Cents(Evaluate(formula, year)), FolderCents(folder, {"2026", 0, 12, "Actuals"}))
        << folder;
    EXPECT_EQ(Cents(Evaluate("=LY(CM." + std::string(folder) + ")", ytd)),
              FolderCents(folder, {"2025", 1, 6, "Actuals"}))
        << folder;
  }
  ASSERT_LT(FolderCents("REVENUE", {"2026", 1, 6, "Actuals"}), 0);
  // The trial balance foots; the bank accounts split into cash and overdraft.
  EXPECT_EQ(Evaluate("=CM.TRIALBALANCE", closing), "0");
  EXPECT_EQ(Cents(Evaluate("=CM.CASH", closing)),
            FolderCents("CASH", {"2026", 0, 12, "Actuals"}, true));
  EXPECT_EQ(Cents(Evaluate("=CM.CASH+CM.BANKOVERDRAFT", closing)),
            FolderCents("CASH", {"2026", 0, 12, "Actuals"}));
}

TEST_F(LedgerAmounts, AccountsAndTheDatabaseMapEqualTheLedger) {
  const BalanceContext ytd{"Y", "1", "6", "YTD", "Actuals"};
  ledger::SqliteStatement account = ledger.Prepare(
      "SELECT COALESCE(SUM(b.debit - b.credit), 0) FROM balances b"
      " JOIN accounts a ON a.account_id = b.account_id"
      " JOIN ledger_years y ON y.year_id = b.year_id"
      " WHERE y.name = '2026' AND b.balance_type_id = 1 AND b.period_id BETWEEN 1 AND 6"
      " AND (a.code = ?1 OR (instr(?1, '-') = 0 AND a.main_code = ?1))");
  for (const char* code : {"4000", "6000", "6000-10", "1000"}) {
    account.Reset().Bind(1, std::string(code));
    ASSERT_TRUE(account.Step());
    EXPECT_EQ(Cents(Evaluate("=AccountValue(\"" + std::string(code) + "\")", ytd)), account.Int(0))
        << code;
  }

  ledger::SqliteStatement table = ledger.Prepare(
      "SELECT t.sql_table, t.year_column, t.order_column, f.column_name FROM dbmap_tables t"
      " JOIN dbmap_fields f ON f.table_name = t.name"
      " WHERE t.name = 'Customers' AND f.name = 'Outstanding'");
  ASSERT_TRUE(table.Step());
  const std::string customers = "\"" + table.Text(0) + "\"";
  const std::string year_column = "\"" + table.Text(1) + "\"";
  const std::string order_column = "\"" + table.Text(2) + "\"";
  const std::string outstanding_column = "\"" + table.Text(3) + "\"";
  ledger::SqliteStatement records =
      ledger.Prepare("SELECT count(*) FROM " + customers + " WHERE " + year_column + " = '2025'");
  ASSERT_TRUE(records.Step());
  EXPECT_EQ(Evaluate("=RecordCount(DB.Customers)", {"Y-1", "", "", "", "Actuals"}),
            std::to_string(records.Int(0)));
  ledger::SqliteStatement outstanding =
      ledger.Prepare("SELECT " + outstanding_column + " FROM " + customers + " WHERE " +
                     year_column + " = '2026' ORDER BY " + order_column + " LIMIT 1 OFFSET 2");
  ASSERT_TRUE(outstanding.Step());
  EXPECT_EQ(Cents(Evaluate("=RecordValue(DB.Customers.Outstanding,3)", ytd)),
            Cents(outstanding.Text(0)));
}

TEST_F(LedgerAmounts, TheTrialBalanceRepeatListsEveryAccountSortedAndFooting) {
  std::vector<std::string> codes;
  long long total = 0;
  InFreshContext([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
    SetLaunchProperties(launch.DocumentElement());
    cEvaluate evaluator;
    std::int32_t count = 0;
    xml::Node list;
    const xml::Node keys = xml::Document::Parse(
                               "<Keys><Key Year='Y' Prd='Current Period' PrdEnd='Current Period' "
                               "PBal='Closing' Bal='Actuals'/></Keys>")
                               .DocumentElement();
    evaluator.EvaluateRepeat(xml::Document::Parse("<Rpt Typ='1' Sub='-1' Zer='0'>CM.TRIALBALANCE"
                                                  "<SItm Ind='1' Fld='CODE'/></Rpt>")
                                 .DocumentElement(),
                             count, keys, list);
    EXPECT_EQ(count, static_cast<std::int32_t>(list.ChildNodes().Length()));
    for (const xml::Node& record : list.ChildNodes()) {
      codes.push_back(record.AttributeOr("CODE", ""));
      total += std::llround(std::stod(record.AttributeOr("AMOUNT", "")) * 100);
    }
  });
  EXPECT_EQ(total, 0);
  EXPECT_GT(codes.size(), 40u);
  ledger::SqliteStatement expected = ledger.Prepare(
      "SELECT a.code FROM balances b JOIN accounts a ON a.account_id = b.account_id"
      " JOIN ledger_years y ON y.year_id = b.year_id"
      " WHERE y.name = '2026' AND b.balance_type_id = 1 AND b.period_id <= 12"
      " GROUP BY a.code HAVING SUM(b.debit - b.credit) <> 0 ORDER BY a.code");
  std::vector<std::string> sql_codes;
  while (expected.Step()) sql_codes.push_back(expected.Text(0));
  EXPECT_EQ(codes, sql_codes);
}

TEST_F(LedgerAmounts, TheCustomerRepeatReadsThisYearsAndLastYearsRecords) {
  struct Row {
    std::string code;
    std::string revenue;
    std::string last_year;
  };
  std::vector<Row> rows;
  InFreshContext([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
    SetLaunchProperties(launch.DocumentElement());
    cEvaluate evaluator;
    const xml::Node format =
        xml::Document::Parse(
            "<Fmt Key='CUSTOMERS' Name='CUSTOMERS'><ColBals><ColBal Col='4' "
            "Year='Y' Prd='' PdEnd='' PdBal='' Bal='Actuals'/></ColBals></Fmt>")
            .DocumentElement();
    evaluator.FormatReference(format);
    evaluator.CurrentFormatName("CUSTOMERS");
    std::int32_t count = 0;
    xml::Node list;
    evaluator.EvaluateRepeat(
        xml::Document::Parse("<Rpt Typ='2'>DB.Customers; Sort=Revenue DESC</Rpt>")
            .DocumentElement(),
        count, {}, list);
    xml::Document document = xml::Document::Create();
    for (std::int32_t position = 1; position <= count; ++position) {
      Row row;
      for (auto [formula, value] : {std::pair{"=DB.Customers.Code", &row.code},
                                    std::pair{"=DB.Customers.Revenue", &row.revenue},
                                    std::pair{"=LY(DB.Customers.Revenue)", &row.last_year}}) {
        cParser parser;
        parser.TokenFromString(formula);
        xml::Node item = document.CreateElement("Itm");
        item.SetAttribute("Col", "4");
        item.AppendChild(document.ImportNode(parser.ParsedValue(), true));
        xml::Node evaluated;
        evaluator.Evaluate(item, list, position, "CUSTOMERS", evaluated);
        *value = item.AttributeOr("Value", "");
      }
      rows.push_back(row);
    }
  });
  ledger::SqliteStatement expected = ledger.Prepare(
      "SELECT c.code, c.revenue, (SELECT p.revenue FROM customers p WHERE p.code = c.code AND "
      "p.year_name = '2025') FROM customers c WHERE c.year_name = '2026' "
      "ORDER BY c.revenue DESC, c.customer_no");
  std::size_t index = 0;
  while (expected.Step()) {
    ASSERT_LT(index, rows.size());
    EXPECT_EQ(rows[index].code, expected.Text(0));
    EXPECT_EQ(Cents(rows[index].revenue), Cents(expected.Text(1)));
    if (expected.IsNull(2)) {
      EXPECT_EQ(rows[index].last_year, "") << rows[index].code;
    } else {
      EXPECT_EQ(Cents(rows[index].last_year), Cents(expected.Text(2))) << rows[index].code;
    }
    ++index;
  }
  EXPECT_EQ(index, rows.size());
  EXPECT_GT(index, 10u);
}

}  // namespace
}  // namespace orvo
