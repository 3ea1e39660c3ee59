// The balance context a ledger amount is asked for, and how it becomes a
// request the data driver understands.
//
// A column of a format (its ColBal element) or a repeat (its Key elements)
// carries a balance context as written by the report designer: a year
// designation, a period range and two balance types. Before anything is
// asked of the driver the context is resolved: the year designation
// becomes a ledger year name and "Current Period" the data's current period.
// Two contexts that resolve alike are the same request; its signature is
// what the caches are keyed by.
//
// Year designations (compared without regard to case):
//   ""              the current year (a column that names no year)
//   "Y", "Current"  the current year
//   "Y" n           n a signed whole number ("Y-1", "Y+2", "Y+0"): |n| years
//                   before (n < 0) or after (n >= 0) the current year
//   a year name     that year ("2025")
// The ledger years are a list, latest first, with the current year at a
// 1-based position in it. A designation that runs off either end of the
// list, or a name the list does not hold, resolves to the empty year name:
// the driver answers zero amounts and empty year texts for it.
//
// Last year ("LY" and the token types ending in LY) resolves the same
// designation one entry further down the list: "Y" becomes the year
// before, "Y+1" the current year, a name the year before that name.
//
// Threading: a LedgerCalendar belongs to its evaluator's thread.
#ifndef ORVO_EVALUATE_BALANCE_CONTEXT_H_
#define ORVO_EVALUATE_BALANCE_CONTEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

// A balance context as written in a definition (ColBal: Year Prd PdEnd PdBal
// Bal; a balance key: Year Prd PrdEnd PBal Bal).
struct BalanceContext {
  std::string year;
  std::string period;
  std::string end_period;
  std::string period_balance;
  std::string balance;

  // The context of a repeat that has none of its own, and of an item whose
  // column has none: the current year, the whole year, actuals.
  static BalanceContext Default();
  // From a ColBal element (Year, Prd, PdEnd, PdBal, Bal).
  static BalanceContext FromColumn(const xml::Node& column);
  // From a balance key element (Year, Prd, PrdEnd, PBal, Bal).
  static BalanceContext FromKey(const xml::Node& key);
  // A text made of all five values, equal for equal contexts.
  std::string Signature() const;
};

// A resolved balance context: what is sent to the data driver.
struct BalanceRequest {
  std::string year;  // a ledger year name, or "" for no year
  std::string period;
  std::string end_period;
  std::string period_balance;
  std::string balance;

  // Requests carry a period range when their first period is given.
  bool HasPeriodRange() const { return !period.empty(); }
  std::string Signature() const;
};

// The signature of a list of requests (the balance-key set of one driver
// request), equal for equal lists in the same order.
std::string SignatureOf(const std::vector<BalanceRequest>& requests);

// The offset a year designation names relative to the current year
// ("Y" 0, "Y-1" -1, "Y+2" 2, "Current" 0, "" 0), or nothing for a name.
std::optional<std::int64_t> YearOffset(std::string_view designation);

// Resolves year designations and periods against the ledger years the data
// driver lists and the store context's current period. Both are asked once,
// on first need; resolved contexts are remembered.
class LedgerCalendar {
 public:
  // The ledger year name a designation stands for, `years_back` entries
  // further down the ledger-years list (0, or 1 for last year); "" when it
  // runs off the list or names no listed year.
  std::string ResolveYear(std::string_view designation, int years_back = 0);
  // "Current Period" (any case) becomes the current period's number; any
  // other text is passed on trimmed.
  std::string ResolvePeriod(std::string_view period);
  // The current period of the data, as text.
  std::string CurrentPeriod();
  // The request a context stands for (remembered per context and shift).
  const BalanceRequest& Resolve(const BalanceContext& context, bool last_year);

 private:
  void LoadYears();

  bool m_years_loaded = false;
  std::vector<std::string> m_year_names;                   // latest first
  std::unordered_map<std::string, std::size_t> m_by_name;  // upper-case name -> index
  std::int64_t m_current = -1;                             // 0-based; -1 for none
  std::optional<std::string> m_current_period;
  std::unordered_map<std::string, BalanceRequest> m_resolved;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_BALANCE_CONTEXT_H_
