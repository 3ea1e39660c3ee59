// The requests the evaluator sends to the data driver for ledger amounts,
// each made the one way the driver expects: the command created by function
// name through the thread's command factory, its filters cleared and added
// in a fixed order with fixed keys, then executed.
//
//   AccountValue_DDKFunction     "#1" CODE, "#2" FIELD, "#3" DDKFieldYearName,
//                                "#4" DDKFieldBalanceType; with a period range
//                                DDKFieldBalanceStartPeriod,
//                                DDKFieldBalanceEndPeriod,
//                                DDKFieldBalancePeriodBalType keyed by their
//                                field names (option 0, mode 2)
//   TallixYear_DDKFunction       "#1" DDKFieldYearName
//   TallixPeriod_DDKFunction     "#1" DDKFieldYearName, "#2" DDKFieldPeriodID
//   RepeatingBalance_DDKFunction every filter keyed by its field name with an
//                                array of values: the ranges (from, to,
//                                stepping, allow credit, allow debit), the
//                                keys (balance type, year, which carry
//                                periods, then the period fields of those
//                                that do), ShowSubCodes, ShowZeroBalances
//
// Failures of the driver propagate unchanged.
#ifndef ORVO_EVALUATE_DRIVER_REQUESTS_H_
#define ORVO_EVALUATE_DRIVER_REQUESTS_H_

#include <string>
#include <string_view>
#include <vector>

#include "evaluate/balance_context.h"
#include "orvo/xml.h"

namespace orvo {

// One account range of a chart-map folder as the driver takes it.
struct AccountRange {
  std::string from;
  std::string to;
  std::string stepping;
  bool allow_credit = true;
  bool allow_debit = true;
};

// The text of a requested field of an account ("" when the answer lacks it).
std::string RequestAccountValue(std::string_view code, std::string_view field,
                                const BalanceRequest& balance);

// DDKFieldYearName of TallixYear_DDKFunction for a year name.
std::string RequestYearName(std::string_view year);

// DDKFieldPeriodEnd of TallixPeriod_DDKFunction for a year and a period.
std::string RequestPeriodEnd(std::string_view year, std::string_view period);

// The record list of RepeatingBalance_DDKFunction (the answer's first child
// element): one record per account with CODE and AMOUNT, AMOUNT2, ... in the
// order of `keys`. An answer without records gives an empty element.
xml::Node RequestRepeatingBalance(const std::vector<AccountRange>& ranges,
                                  const std::vector<BalanceRequest>& keys, bool show_sub_codes,
                                  bool show_zero_balances);

// The record field that holds the amount of the k-th key (1-based):
// "AMOUNT", "AMOUNT2", ...
std::string AmountField(std::size_t k);

}  // namespace orvo

#endif  // ORVO_EVALUATE_DRIVER_REQUESTS_H_
