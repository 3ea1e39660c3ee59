// Writes the sample company's SQLite ledger: the chart of accounts, three
// ledger years of twelve monthly periods, double-entry journals for every
// period (sales, cost of sales, purchases, payroll, expenses, depreciation,
// receipts, payments, interest, tax, one capital purchase), actual balances
// aggregated from those journal lines, balances carried forward at each year
// end (profit into retained earnings), a budget for every profit-and-loss
// account, a customers table for the database map, and one dynamic-column
// configuration. The same chart and generator start give the same file.
#ifndef ORVO_SAMPLE_SAMPLE_LEDGER_WRITER_H_
#define ORVO_SAMPLE_SAMPLE_LEDGER_WRITER_H_

#include <string>

#include "sample/sample_chart.h"

namespace orvo::sample {

struct SampleLedgerShape {
  int first_year = 2024;
  int year_count = 3;
  int current_period = 12;
  std::string company = "Orvo Trading Ltd";
};

void WriteSampleLedger(const std::string& path, const SampleChart& chart,
                       const SampleLedgerShape& shape, SampleRandom& random);

}  // namespace orvo::sample

#endif  // ORVO_SAMPLE_SAMPLE_LEDGER_WRITER_H_
