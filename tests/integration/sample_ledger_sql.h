// Figures of the sample ledger computed straight with SQL on the ledger file
// (not through the data driver), for tests that check what the library
// shows against them.
#ifndef ORVO_TESTS_INTEGRATION_SAMPLE_LEDGER_SQL_H_
#define ORVO_TESTS_INTEGRATION_SAMPLE_LEDGER_SQL_H_

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ledger/sqlite_handle.h"
#include "orvo/xml.h"

namespace orvo::testing {

// Periods first..last of a year name, of a balance type.
struct SqlContext {
  std::string year;
  int first;
  int last;
  std::string balance = "Actuals";
};

class SampleLedgerSql {
 public:
  explicit SampleLedgerSql(const std::string& workspace)
      : m_ledger(ledger::SqliteConnection::OpenReadOnly(workspace + "/ledger.sqlite")) {
    std::ifstream file(workspace + "/chart_map.xml");
    std::stringstream text;
    text << file.rdbuf();
    m_chart_map = xml::Document::Parse(text.str());
  }

  ledger::SqliteStatement Prepare(const std::string& sql) const { return m_ledger.Prepare(sql); }

  // Cents of a chart-map folder: the accounts of its ranges, those of the
  // folders below it and of the folders it maps (ranges read from the
  // chart-map file, stepping applied), summed per main code. `debit_only`
  // keeps the main codes with a debit balance.
  long long FolderCents(const std::string& key, const SqlContext& context,
                        bool debit_only = false) const {
    std::string accounts = "(";
    for (const Range& range : RangesOf(key)) {
      if (accounts.size() > 1) accounts += " OR ";
      accounts += "(a.main_number BETWEEN " + std::to_string(range.from) + " AND " +
                  std::to_string(range.to) + " AND (a.main_number - " + std::to_string(range.from) +
                  ") % " + std::to_string(range.step) + " = 0)";
    }
    accounts += ")";
    ledger::SqliteStatement statement = m_ledger.Prepare(
        "SELECT a.main_code, COALESCE(SUM(b.debit - b.credit), 0) FROM balances b"
        " JOIN accounts a ON a.account_id = b.account_id"
        " JOIN ledger_years y ON y.year_id = b.year_id"
        " JOIN balance_types t ON t.balance_type_id = b.balance_type_id"
        " WHERE y.name = ?1 AND t.name = ?2 AND b.period_id BETWEEN ?3 AND ?4 AND " +
        accounts + " GROUP BY a.main_code");
    statement.Bind(1, context.year)
        .Bind(2, context.balance)
        .Bind(3, std::int64_t{context.first})
        .Bind(4, std::int64_t{context.last});
    long long cents = 0;
    while (statement.Step()) {
      const long long amount = statement.Int(1);
      if (!debit_only || amount > 0) cents += amount;
    }
    return cents;
  }

 private:
  struct Range {
    long long from;
    long long to;
    long long step;
  };

  std::vector<Range> RangesOf(const std::string& key) const {
    std::vector<Range> ranges;
    const xml::Node folder =
        m_chart_map.DocumentElement().SelectSingleNode("//Folder[ItemKey='" + key + "']");
    for (const xml::Node& range : folder.SelectNodes(".//Range")) {
      const std::string step = range.AttributeOr("Step", "");
      ranges.push_back({std::stoll(range.AttributeOr("From", "")),
                        std::stoll(range.AttributeOr("To", "")),
                        step.empty() ? 1 : std::stoll(step)});
    }
    for (const xml::Node& mapping : folder.SelectNodes(".//Mapping")) {
      for (const Range& range : RangesOf(mapping.AttributeOr("Name", ""))) ranges.push_back(range);
    }
    return ranges;
  }

  ledger::SqliteConnection m_ledger;
  xml::Document m_chart_map;
};

}  // namespace orvo::testing

#endif  // ORVO_TESTS_INTEGRATION_SAMPLE_LEDGER_SQL_H_
