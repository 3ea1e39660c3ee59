// RepeatingBalance_DDKFunction: the accounts of a set of code ranges with
// their amounts for one or more balance keys, as repeat records.
//
// Filters (arrays keyed by field; docs/ledger.md has the full rules):
//   per range:  DDKFieldFromCode, DDKFieldToCode, DDKFieldCodeStepping,
//               DDKFieldAllowCredit, DDKFieldAllowDebit
//   per key:    DDKFieldBalanceType, DDKFieldYearName, DDKFieldBalancePeriods,
//               DDKFieldBalanceStartPeriod, DDKFieldBalanceEndPeriod,
//               DDKFieldBalancePeriodBalType
//   options:    ShowSubCodes, ShowZeroBalances
// Answer: <RepeatingBalance_DDKFunction Count="n"><Records><Rec CODE=".."
// DESCRIPTION=".." TYPE=".." AMOUNT=".." AMOUNT2=".."/>...</Records></...>,
// records in code order, AMOUNT for the first key and AMOUNTk for key k.
//
// Cost: per range, one indexed account query that brings the first key's
// amounts along, and one more query for each further key; every account's
// amount is one primary-key seek and a sum over its periods' balance rows.
// Nothing outside the ranges is read.
#ifndef ORVO_LEDGER_REPEATING_BALANCE_H_
#define ORVO_LEDGER_REPEATING_BALANCE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ledger/ledger_command.h"
#include "ledger/ledger_database.h"

namespace orvo::ledger {

class CRepeatingBalance {
 public:
  CRepeatingBalance(CLedgerDatabase& database, const CLedgerFilters& filters);

  xml::Node Execute(const xml::Document& scratch);

 private:
  struct Range {
    std::string from;
    std::string to;
    std::int64_t stepping = 0;
    bool allow_credit = true;
    bool allow_debit = true;
  };
  struct BalanceKey {
    const LedgerYear* year = nullptr;
    std::int64_t balance_type = 0;
    PeriodSpan span;
  };
  // One row of the answer: an account, or a main code with its sub-codes.
  struct Row {
    std::int64_t account_id = 0;
    std::string code;
    std::string main_code;
    std::string description;
    std::string account_type;
    bool main_account = false;  // the account whose code is the main code
    bool allow_credit = false;
    bool allow_debit = false;
    std::size_t amounts = 0;  // offset of the row's amounts (one per key) in m_amounts
  };
  enum class RangeKind { kNumber, kMainCode, kCode };

  void ReadRanges();
  void ReadKeys();
  RangeKind KindOf(const Range& range) const;
  void SelectAccounts();
  void ReadAmounts();
  void MergeSubCodes();
  std::int64_t* AmountsOf(const Row& row) { return m_amounts.data() + row.amounts; }
  const std::int64_t* AmountsOf(const Row& row) const { return m_amounts.data() + row.amounts; }
  // The row of an account, or null when the account is not listed.
  Row* RowOf(std::int64_t account_id);
  xml::Node Answer(const xml::Document& scratch) const;

  CLedgerDatabase& m_database;
  const CLedgerFilters& m_filters;
  std::vector<Range> m_ranges;
  std::vector<BalanceKey> m_keys;
  bool m_show_sub_codes = false;
  bool m_show_zero = false;
  std::vector<Row> m_rows;
  // Cents, m_keys.size() per row; rows keep their offset when sorted.
  std::vector<std::int64_t> m_amounts;
  // (account id, row) sorted by account id, for the aggregate results.
  std::vector<std::pair<std::int64_t, std::size_t>> m_row_of_account;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_REPEATING_BALANCE_H_
