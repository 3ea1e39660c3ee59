// The sample company's report book previewed end to end: no error value in
// any display text, and the figures an accountant checks first equal those
// the test computes with SQL straight from the ledger file.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "integration/builder_workspace.h"
#include "orvo/preview_builder.h"
#include "orvo/xml.h"
#include "sample_ledger_sql.h"
#include "support/on_new_thread.h"
#include "support/sample_folders.h"

namespace orvo {
namespace {

using testing::SmallWorkspace;

// A previewed report as rows of display texts by column number.
using Row = std::map<int, std::string>;

std::vector<Row> Preview(const std::string& report) {
  std::vector<Row> rows;
  testing::WithStoredPreview(SmallWorkspace(), report, [&rows](CPreviewBuilder& builder) {
    for (const xml::Node& row : builder.EvaluatedFormat().SelectNodes("Itms/Row")) {
      Row texts;
      for (const xml::Node& item : row.SelectNodes("Itm")) {
        texts[std::stoi(item.AttributeOr("Col", "0"))] = item.AttributeOr("Dsp", "");
      }
      rows.push_back(std::move(texts));
    }
  });
  return rows;
}

// The row whose column `label_column` reads `label`.
const Row& RowLabelled(const std::vector<Row>& rows, const std::string& label,
                       int label_column = 1) {
  for (const Row& row : rows) {
    auto found = row.find(label_column);
    if (found != row.end() && found->second == label) return row;
  }
  static const Row kNone;
  ADD_FAILURE() << "no row " << label;
  return kNone;
}

// The number a display text shows in whole units ("1,234", "(1,234)", "-").
long long Shown(const std::string& text) {
  if (text == "-") return 0;
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const long long value = digits.empty() ? 0 : std::stoll(digits);
  return text.find('(') != std::string::npos || text.find('-') == 0 ? -value : value;
}

// Whole units shown for an amount of cents: the display rounds to units.
void ExpectShows(const std::string& text, long long cents, const std::string& what) {
  EXPECT_LE(std::llabs(Shown(text) * 100 - cents), 50) << what << ": " << text << " vs " << cents;
}

TEST(SampleReports, EveryReportPreviewsWithoutErrorValues) {
  for (const char* report : {"INCOME_STATEMENT", "BALANCE_SHEET", "TRIAL_BALANCE", "CUSTOMERS"}) {
    const std::vector<Row> rows = Preview(report);
    EXPECT_GT(rows.size(), 5u) << report;
    for (const Row& row : rows) {
      for (const auto& [column, text] : row) {
        for (const char* error : {"#REF", "#NAME", "#ERROR", "#CIRC"}) {
          EXPECT_EQ(text.find(error), std::string::npos) << report << " column " << column;
        }
      }
    }
  }
}

// Regression: the balance sheet, whose rows are all printed by a group,
// printed without header and footer while they were the report's own.
// Every row of every report has both, and every page setup has the
// workspace printer's margins (20 and 15 mm) in pixels.
TEST(SampleReports, EveryRowHasItsHeaderAndFooterAndThePrintersMargins) {
  for (const char* report : {"INCOME_STATEMENT", "BALANCE_SHEET", "TRIAL_BALANCE", "CUSTOMERS"}) {
    testing::OnNewThread([&] {
      xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
      launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
      CPreviewBuilder builder;
      builder.Init(launch.DocumentElement());
      builder.ResetQueue();
      xml::Document queue = xml::Document::Parse(std::string("<Fav Rep='") + report + "'/>");
      builder.AddReport(queue.DocumentElement());
      builder.CreatePreview();
      const std::int32_t rows =
          static_cast<std::int32_t>(builder.EvaluatedFormat().SelectNodes("Itms/Row").Length());
      ASSERT_GT(rows, 5) << report;
      for (std::int32_t row = 1; row <= rows; ++row) {
        const xml::Node header = builder.PreviewHeaders()->ItemForRow(row);
        const xml::Node footer = builder.PreviewFooters()->ItemForRow(row);
        ASSERT_TRUE(header && header.SelectSingleNode(".//Itm[@Dsp='Orvo Trading Ltd']"))
            << report << " row " << row;
        ASSERT_TRUE(footer && footer.SelectSingleNode(".//Itm[starts-with(@Dsp, 'Page ')]"))
            << report << " row " << row;
      }
      const xml::NodeList setups = builder.PageThrows().SelectNodes("PgB");
      ASSERT_GT(setups.Length(), 0u) << report;
      for (const xml::Node& setup : setups) {
        EXPECT_EQ(setup.AttributeOr("Top", ""), "75.59048") << report;
        EXPECT_EQ(setup.AttributeOr("Bottom", ""), "75.59048") << report;
        EXPECT_EQ(setup.AttributeOr("Left", ""), "56.69286") << report;
        EXPECT_EQ(setup.AttributeOr("Right", ""), "56.69286") << report;
      }
    });
  }
}

TEST(SampleReports, FiguresEqualTheLedger) {
  const testing::SampleLedgerSql sql(SmallWorkspace());
  const testing::SqlContext year_to_date{"2026", 1, 12};
  const testing::SqlContext closing{"2026", 0, 12};

  // Net profit: every income and expense account, shown positive for a profit.
  const std::vector<Row> income = Preview("INCOME_STATEMENT");
  const long long profit = -sql.FolderCents("INCOMESTATEMENT", year_to_date);
  ASSERT_GT(profit, 0);
  ExpectShows(RowLabelled(income, "Net profit for the period").at(3), profit, "net profit");
  ExpectShows(RowLabelled(income, "Net profit for the period").at(4),
              -sql.FolderCents("INCOMESTATEMENT", {"2025", 1, 12}), "last year's net profit");
  ExpectShows(RowLabelled(income, "Total revenue").at(5),
              -sql.FolderCents("REVENUE", {"2026", 1, 12, "Budget"}), "budgeted revenue");

  // Total assets, with the bank accounts in credit left to the liabilities;
  // net assets equal equity including the year's profit.
  const std::vector<Row> balance = Preview("BALANCE_SHEET");
  long long assets = sql.FolderCents("CASH", closing, true);
  for (const char* folder :
       {"FIXEDASSETS", "ACCUMULATEDDEPRECIATION", "INVENTORY", "RECEIVABLES"}) {
    assets += sql.FolderCents(folder, closing);
  }
  ExpectShows(RowLabelled(balance, "Total assets").at(2), assets, "total assets");
  EXPECT_EQ(RowLabelled(balance, "Net assets").at(2), RowLabelled(balance, "Total equity").at(2));
  EXPECT_EQ(RowLabelled(balance, "Net assets").at(3), RowLabelled(balance, "Total equity").at(3));
  EXPECT_EQ(RowLabelled(balance, "Profit for the year").at(2),
            RowLabelled(income, "Net profit for the period").at(3));

  // The trial balance: the debit total is every account's debit balance, and
  // it foots (the difference row is left out because it is zero).
  const std::vector<Row> trial = Preview("TRIAL_BALANCE");
  ledger::SqliteStatement debits = sql.Prepare(
      "SELECT COALESCE(SUM(total), 0), COUNT(*) FROM (SELECT SUM(b.debit - b.credit) total"
      " FROM balances b JOIN ledger_years y ON y.year_id = b.year_id"
      " WHERE y.name = '2026' AND b.balance_type_id = 1 GROUP BY b.account_id) WHERE total > 0");
  ASSERT_TRUE(debits.Step());
  const Row& totals = RowLabelled(trial, "Total", 2);
  ExpectShows(totals.at(3), debits.Int(0), "trial balance debits");
  EXPECT_EQ(totals.at(3), totals.at(4));
  for (const Row& row : trial) EXPECT_NE(row.count(2) ? row.at(2) : "", "Difference");

  // The customer with the largest revenue comes first, with what they owe.
  const std::vector<Row> customers = Preview("CUSTOMERS");
  ledger::SqliteStatement largest = sql.Prepare(
      "SELECT code, outstanding FROM customers WHERE year_name = '2026'"
      " ORDER BY revenue DESC, customer_no LIMIT 1");
  ASSERT_TRUE(largest.Step());
  ASSERT_GT(customers.size(), 2u);
  EXPECT_EQ(customers[1].at(1), largest.Text(0));
  ExpectShows(customers[1].at(6), std::llround(std::stod(largest.Text(1)) * 100), "outstanding");
}

}  // namespace
}  // namespace orvo
