#include "ledger/repeating_balance.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "frame/text.h"
#include "orvo/error.h"

namespace orvo::ledger {
namespace {

constexpr const char* kSource = "RepeatingBalance_DDKFunction";

std::string Trimmed(std::string_view text) { return std::string(Trim(text)); }

bool AllDigits(std::string_view text) {
  return !text.empty() && text.size() <= 18 && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
}

std::int64_t ToNumber(std::string_view text) {
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool IsBooleanText(std::string_view text) {
  std::string upper = UpperCase(Trimmed(text));
  return upper == "-1" || upper == "0" || upper == "1" || upper == "TRUE" || upper == "FALSE" ||
         upper == "YES" || upper == "NO";
}

std::string At(const std::vector<std::string>& values, std::size_t index) {
  return index < values.size() ? values[index] : std::string();
}

// Appends a value escaped for an attribute. Printable ASCII without markup
// characters, what account codes and descriptions mostly are, goes as it is.
void AppendEscaped(std::string& text, std::string_view value) {
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E || c == '&' || c == '<' || c == '>' || c == '"') {
      text += xml::Escape(value);
      return;
    }
  }
  text += value;
}

}  // namespace

CRepeatingBalance::CRepeatingBalance(CLedgerDatabase& database, const CLedgerFilters& filters)
    : m_database(database), m_filters(filters) {}

xml::Node CRepeatingBalance::Execute(const xml::Document& scratch) {
  ReadRanges();
  ReadKeys();
  m_show_sub_codes = IsTrueText(m_filters.Value("ShowSubCodes").value_or(""));
  m_show_zero = IsTrueText(m_filters.Value("ShowZeroBalances").value_or(""));
  SelectAccounts();
  ReadAmounts();
  MergeSubCodes();
  return Answer(scratch);
}

void CRepeatingBalance::ReadRanges() {
  std::vector<std::string> from = m_filters.Values("DDKFieldFromCode");
  std::vector<std::string> to = m_filters.Values("DDKFieldToCode");
  std::vector<std::string> stepping = m_filters.Values("DDKFieldCodeStepping");
  std::vector<std::string> credit = m_filters.Values("DDKFieldAllowCredit");
  std::vector<std::string> debit = m_filters.Values("DDKFieldAllowDebit");
  if (from.empty()) RaiseError(kSource, "No account range given (filter DDKFieldFromCode)");
  for (std::size_t i = 0; i < from.size(); ++i) {
    Range range;
    range.from = UpperCase(Trimmed(from[i]));
    std::string upper_to = UpperCase(Trimmed(At(to, i)));
    range.to = upper_to.empty() ? range.from : upper_to;
    std::string step = Trimmed(At(stepping, i));
    range.stepping = AllDigits(step) ? ToNumber(step) : 0;
    // A permission that is not given allows that side.
    std::string allow_credit = Trimmed(At(credit, i));
    std::string allow_debit = Trimmed(At(debit, i));
    range.allow_credit = allow_credit.empty() || IsTrueText(allow_credit);
    range.allow_debit = allow_debit.empty() || IsTrueText(allow_debit);
    m_ranges.push_back(std::move(range));
  }
}

void CRepeatingBalance::ReadKeys() {
  std::vector<std::string> types = m_filters.Values("DDKFieldBalanceType");
  std::vector<std::string> years = m_filters.Values("DDKFieldYearName");
  std::vector<std::string> flags = m_filters.Values("DDKFieldBalancePeriods");
  std::vector<std::string> starts = m_filters.Values("DDKFieldBalanceStartPeriod");
  std::vector<std::string> ends = m_filters.Values("DDKFieldBalanceEndPeriod");
  std::vector<std::string> balances = m_filters.Values("DDKFieldBalancePeriodBalType");

  // DDKFieldBalancePeriods either flags the keys that carry a period range or,
  // when no year names are given, carries the keys' years.
  bool flags_are_years =
      years.empty() && !flags.empty() && std::none_of(flags.begin(), flags.end(), IsBooleanText);
  if (flags_are_years) {
    years = flags;
    flags.clear();
  }
  std::size_t count = std::max<std::size_t>({types.size(), years.size(), flags.size(), 1});

  // Period entries: one per key, or one per flagged key (in key order), or,
  // with no flags, one for each of the first keys.
  std::size_t period_entries = std::max({starts.size(), ends.size(), balances.size()});
  std::vector<std::size_t> period_of_key(count, static_cast<std::size_t>(-1));
  if (period_entries == count) {
    for (std::size_t k = 0; k < count; ++k) period_of_key[k] = k;
  } else {
    std::size_t next = 0;
    for (std::size_t k = 0; k < count && next < period_entries; ++k) {
      if (flags.empty() || IsTrueText(At(flags, k))) period_of_key[k] = next++;
    }
  }

  for (std::size_t k = 0; k < count; ++k) {
    BalanceKey key;
    std::string year = At(years, k);
    key.year = m_database.ResolveYear(years.empty() ? "Current" : year, kSource);
    key.balance_type = m_database.BalanceTypeId(At(types, k), kSource);
    if (key.year != nullptr) {
      std::size_t p = period_of_key[k];
      std::string start = p < period_entries ? Trimmed(At(starts, p)) : std::string();
      std::string end = p < period_entries ? Trimmed(At(ends, p)) : std::string();
      std::string balance = p < period_entries ? At(balances, p) : std::string();
      key.span = m_database.ResolvePeriodSpan(*key.year, start, end, balance,
                                              !start.empty() || !end.empty(), kSource);
    }
    m_keys.push_back(key);
  }
}

CRepeatingBalance::RangeKind CRepeatingBalance::KindOf(const Range& range) const {
  const std::string& splitter = m_database.Splitter();
  bool has_splitter = !splitter.empty() && (range.from.find(splitter) != std::string::npos ||
                                            range.to.find(splitter) != std::string::npos);
  if (has_splitter) return RangeKind::kCode;
  if (AllDigits(range.from) && AllDigits(range.to)) return RangeKind::kNumber;
  return RangeKind::kMainCode;
}

void CRepeatingBalance::SelectAccounts() {
  using Query = CLedgerDatabase::Query;
  for (const Range& range : m_ranges) {
    RangeKind kind = KindOf(range);
    SqliteStatement& statement =
        m_database.Statement(kind == RangeKind::kNumber     ? Query::kRangeAccountsByNumber
                             : kind == RangeKind::kMainCode ? Query::kRangeAccountsByMainCode
                                                            : Query::kRangeAccountsByCode);
    statement.Reset();
    std::int64_t from_number = 0;
    if (kind == RangeKind::kNumber) {
      from_number = ToNumber(range.from);
      statement.Bind(1, from_number).Bind(2, ToNumber(range.to));
    } else {
      statement.Bind(1, range.from).Bind(2, range.to);
    }
    // The first key's amounts come with the accounts (ReadAmounts asks the
    // others); a year off the list matches no balance: every amount is zero.
    const BalanceKey& first_key = m_keys.front();
    if (first_key.year != nullptr) {
      statement.Bind(3, first_key.year->id);
    } else {
      statement.BindNull(3);
    }
    statement.Bind(4, first_key.balance_type)
        .Bind(5, first_key.span.first)
        .Bind(6, first_key.span.last);
    while (statement.Step()) {
      std::int64_t account_id = statement.Int(0);
      if (kind == RangeKind::kNumber && range.stepping > 1) {
        std::int64_t number = ToNumber(statement.TextView(2));
        if ((number - from_number) % range.stepping != 0) continue;
      }
      Row row;
      row.account_id = account_id;
      row.code = statement.Text(1);
      row.main_code = statement.Text(2);
      row.description = statement.Text(3);
      row.account_type = statement.Text(4);
      row.main_account = row.code == row.main_code;
      row.allow_credit = range.allow_credit;
      row.allow_debit = range.allow_debit;
      row.amounts = m_amounts.size();
      m_amounts.resize(m_amounts.size() + m_keys.size(), 0);
      m_amounts[row.amounts] = statement.Int(5);  // null (no balances) reads 0
      m_row_of_account.emplace_back(account_id, m_rows.size());
      m_rows.push_back(std::move(row));
    }
    statement.Reset();
  }

  std::sort(m_row_of_account.begin(), m_row_of_account.end());
  if (m_ranges.size() < 2) return;
  // Overlapping ranges list an account once, allowed what any of them allows.
  std::vector<Row> unique;
  std::vector<std::pair<std::int64_t, std::size_t>> index;
  for (const auto& [account_id, row] : m_row_of_account) {
    if (!index.empty() && index.back().first == account_id) {
      Row& first = unique[index.back().second];
      first.allow_credit = first.allow_credit || m_rows[row].allow_credit;
      first.allow_debit = first.allow_debit || m_rows[row].allow_debit;
      continue;
    }
    index.emplace_back(account_id, unique.size());
    unique.push_back(std::move(m_rows[row]));
  }
  m_rows = std::move(unique);
  m_row_of_account = std::move(index);
}

CRepeatingBalance::Row* CRepeatingBalance::RowOf(std::int64_t account_id) {
  auto found = std::lower_bound(m_row_of_account.begin(), m_row_of_account.end(), account_id,
                                [](const std::pair<std::int64_t, std::size_t>& entry,
                                   std::int64_t id) { return entry.first < id; });
  if (found == m_row_of_account.end() || found->first != account_id) return nullptr;
  return &m_rows[found->second];
}

void CRepeatingBalance::ReadAmounts() {
  using Query = CLedgerDatabase::Query;
  if (m_rows.empty()) return;
  // The first key's amounts came with the accounts.
  for (std::size_t k = 1; k < m_keys.size(); ++k) {
    const BalanceKey& key = m_keys[k];
    if (key.year == nullptr) continue;  // a year off the list: every amount is zero
    for (const Range& range : m_ranges) {
      RangeKind kind = KindOf(range);
      SqliteStatement& totals =
          m_database.Statement(kind == RangeKind::kNumber     ? Query::kRangeTotalsByNumber
                               : kind == RangeKind::kMainCode ? Query::kRangeTotalsByMainCode
                                                              : Query::kRangeTotalsByCode);
      totals.Reset();
      if (kind == RangeKind::kNumber) {
        totals.Bind(1, ToNumber(range.from)).Bind(2, ToNumber(range.to));
      } else {
        totals.Bind(1, range.from).Bind(2, range.to);
      }
      totals.Bind(3, key.year->id)
          .Bind(4, key.balance_type)
          .Bind(5, key.span.first)
          .Bind(6, key.span.last);
      while (totals.Step()) {
        // Accounts skipped by stepping have no row; overlapping ranges assign
        // the same total again rather than adding it twice. An account
        // without balances reads null: zero.
        if (Row* row = RowOf(totals.Int(0))) AmountsOf(*row)[k] = totals.Int(1);
      }
      totals.Reset();
    }
  }
}

void CRepeatingBalance::MergeSubCodes() {
  if (m_show_sub_codes) {
    const auto by_code = [](const Row& a, const Row& b) { return a.code < b.code; };
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), by_code)) {
      std::sort(m_rows.begin(), m_rows.end(), by_code);
    }
    return;
  }
  // Accounts mostly come in this order already (by main number and code).
  const auto before = [](const Row& a, const Row& b) {
    return a.main_code != b.main_code ? a.main_code < b.main_code : a.code < b.code;
  };
  if (!std::is_sorted(m_rows.begin(), m_rows.end(), before)) {
    std::sort(m_rows.begin(), m_rows.end(), before);
  }
  std::vector<Row> merged;
  for (Row& row : m_rows) {
    if (merged.empty() || merged.back().main_code != row.main_code) {
      row.code = row.main_code;
      merged.push_back(std::move(row));
      continue;
    }
    Row& group = merged.back();
    if (row.main_account && !group.main_account) {
      group.description = row.description;
      group.account_type = row.account_type;
      group.main_account = true;
    }
    group.allow_credit = group.allow_credit || row.allow_credit;
    group.allow_debit = group.allow_debit || row.allow_debit;
    std::int64_t* sums = AmountsOf(group);
    const std::int64_t* amounts = AmountsOf(row);
    for (std::size_t k = 0; k < m_keys.size(); ++k) sums[k] += amounts[k];
  }
  m_rows = std::move(merged);
}

xml::Node CRepeatingBalance::Answer(const xml::Document&) const {
  // The answer is written as text and parsed once: for 100,000 records that
  // is several times faster than building the nodes one call at a time.
  std::vector<std::string> amount_names;
  for (std::size_t k = 0; k < m_keys.size(); ++k) {
    amount_names.push_back(k == 0 ? " AMOUNT=\"" : " AMOUNT" + std::to_string(k + 1) + "=\"");
  }
  std::string text;
  text.reserve(m_rows.size() * (96 + 16 * m_keys.size()) + 128);
  text += "<Records>";
  std::size_t count = 0;
  for (const Row& row : m_rows) {
    const std::int64_t* amounts = AmountsOf(row);
    std::int64_t primary = amounts[0];
    // Credit/debit permissions judge the account by its first amount.
    if (primary > 0 && !row.allow_debit) continue;
    if (primary < 0 && !row.allow_credit) continue;
    bool all_zero = std::all_of(amounts, amounts + m_keys.size(),
                                [](std::int64_t amount) { return amount == 0; });
    if (all_zero && !m_show_zero) continue;
    text += "<Rec CODE=\"";
    AppendEscaped(text, row.code);
    text += "\" DESCRIPTION=\"";
    AppendEscaped(text, row.description);
    text += "\" TYPE=\"";
    AppendEscaped(text, row.account_type);
    text += '"';
    for (std::size_t k = 0; k < m_keys.size(); ++k) {
      text += amount_names[k];
      AppendCents(text, amounts[k]);
      text += '"';
    }
    text += "/>";
    ++count;
  }
  text += "</Records>";
  xml::Document document =
      xml::Document::Parse(std::string("<") + kSource + " Count=\"" + std::to_string(count) +
                           "\">" + text + "</" + kSource + ">");
  return document.DocumentElement();
}

}  // namespace orvo::ledger
