#include "ledger/ledger_database.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "frame/text.h"
#include "ledger/ledger_schema.h"
#include "orvo/error.h"

namespace orvo::ledger {
namespace {

std::optional<int> ParseInt(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// The accounts of a range with the net amount of the first balance key
// (kRangeTotals explains the subquery).
constexpr std::string_view kAccountColumns =
    "SELECT a.account_id, a.code, a.main_code, a.description, a.account_type, "
    "(SELECT sum(b.debit - b.credit) FROM balances b WHERE b.account_id = a.account_id "
    "AND b.year_id = ?3 AND b.balance_type_id = ?4 AND b.period_id BETWEEN ?5 AND ?6) "
    "FROM accounts a ";
// One row per account of the range with its net amount (debit - credit), or
// null when the account has no balance rows for the key. The correlated
// subquery seeks each account's balances once on the primary key and sums
// them there: a join grouped by the account's codes reads the same rows but
// also compares the group's texts on every balance row.
constexpr std::string_view kRangeTotals =
    "SELECT a.account_id, (SELECT sum(b.debit - b.credit) FROM balances b "
    "WHERE b.account_id = a.account_id AND b.year_id = ?3 AND b.balance_type_id = ?4 "
    "AND b.period_id BETWEEN ?5 AND ?6) FROM accounts a ";

std::string QueryText(CLedgerDatabase::Query query) {
  using Query = CLedgerDatabase::Query;
  switch (query) {
    case Query::kAccountsByMainCode:
      return "SELECT code, description, account_type FROM accounts WHERE main_code = ?1 "
             "ORDER BY code = main_code DESC, code LIMIT 1";
    case Query::kAccountByCode:
      return "SELECT code, description, account_type FROM accounts WHERE code = ?1";
    case Query::kTotalsByMainCode:
      return "SELECT coalesce(sum(b.debit), 0), coalesce(sum(b.credit), 0) FROM accounts a "
             "JOIN balances b ON b.account_id = a.account_id WHERE a.main_code = ?1 "
             "AND b.year_id = ?2 AND b.balance_type_id = ?3 AND b.period_id BETWEEN ?4 AND ?5";
    case Query::kTotalsByCode:
      return "SELECT coalesce(sum(b.debit), 0), coalesce(sum(b.credit), 0) FROM accounts a "
             "JOIN balances b ON b.account_id = a.account_id WHERE a.code = ?1 "
             "AND b.year_id = ?2 AND b.balance_type_id = ?3 AND b.period_id BETWEEN ?4 AND ?5";
    case Query::kRangeAccountsByNumber:
      return std::string(kAccountColumns) + "WHERE a.main_number BETWEEN ?1 AND ?2";
    case Query::kRangeAccountsByMainCode:
      return std::string(kAccountColumns) + "WHERE a.main_code BETWEEN ?1 AND ?2";
    case Query::kRangeAccountsByCode:
      return std::string(kAccountColumns) + "WHERE a.code BETWEEN ?1 AND ?2";
    case Query::kRangeTotalsByNumber:
      return std::string(kRangeTotals) + "WHERE a.main_number BETWEEN ?1 AND ?2";
    case Query::kRangeTotalsByMainCode:
      return std::string(kRangeTotals) + "WHERE a.main_code BETWEEN ?1 AND ?2";
    case Query::kRangeTotalsByCode:
      return std::string(kRangeTotals) + "WHERE a.code BETWEEN ?1 AND ?2";
    case Query::kColumnConfiguration:
      return "SELECT definition FROM column_configurations WHERE name = ?1";
    case Query::kDataVersion:
      return "PRAGMA data_version";
    case Query::kPeriods:
      return "SELECT period_id, name, start_date, end_date FROM periods "
             "WHERE year_id = ?1 AND period_id > 0 ORDER BY period_id";
    case Query::kCount:
      break;
  }
  return {};
}

}  // namespace

std::string FormatCents(std::int64_t cents) {
  std::string text;
  AppendCents(text, cents);
  return text;
}

void AppendCents(std::string& text, std::int64_t cents) {
  bool negative = cents < 0;
  // Work with the magnitude as unsigned so the most negative value is safe.
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
  if (negative) text += '-';
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, magnitude / 100).ptr;
  text.append(digits, static_cast<std::size_t>(end - digits));
  std::uint64_t fraction = magnitude % 100;
  if (fraction != 0) {
    text += '.';
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
}

bool IsTrueText(std::string_view text) {
  text = Trim(text);
  return text == "-1" || text == "1" || EqualsIgnoreCase(text, "TRUE") ||
         EqualsIgnoreCase(text, "YES");
}

CLedgerDatabase::CLedgerDatabase(const std::string& path, std::optional<int> current_period,
                                 LedgerView view)
    : m_connection(SqliteConnection::OpenReadOnly(path)), m_workspace_period(current_period) {
  // Reads go through a memory map and a generous page cache: repeated balance
  // requests then cost few system calls. Neither setting writes to the file.
  m_connection.Execute("PRAGMA mmap_size = 1073741824; PRAGMA cache_size = -32768;");
  {
    ReadScope opening(*this);
    CheckTables();
    ReadSmallTables();
    m_data_version = DataVersion();
    // In WAL mode a reader never blocks a writer: the transaction that read
    // the small tables is kept, and with it one snapshot for every read.
    if (view == LedgerView::kSnapshot) {
      SqliteStatement mode = m_connection.Prepare("PRAGMA journal_mode");
      m_holds_snapshot = mode.Step() && EqualsIgnoreCase(mode.TextView(0), "wal");
    }
    if (m_holds_snapshot) opening.Keep();
  }
}

CLedgerDatabase::ReadScope::ReadScope(CLedgerDatabase& database) {
  const SqliteConnection& connection = database.m_connection;
  if (connection.InTransaction()) return;
  connection.BeginReadTransaction();
  m_began.connection = &connection;
  // The opening scope reads the small tables itself.
  if (database.m_generation == 0) return;
  std::int64_t version = database.DataVersion();
  if (version != database.m_data_version) {
    database.ReadSmallTables();
    database.m_data_version = version;
  }
}

std::int64_t CLedgerDatabase::DataVersion() {
  SqliteStatement& version = Statement(Query::kDataVersion);
  version.Reset();
  std::int64_t value = version.Step() ? version.Int(0) : 0;
  version.Reset();
  return value;
}

void CLedgerDatabase::CheckTables() {
  // The first read of a corrupt or foreign file fails here, naming the file.
  SqliteStatement tables =
      m_connection.Prepare("SELECT name FROM sqlite_master WHERE type = 'table'");
  std::vector<std::string> present;
  while (tables.Step()) present.push_back(tables.Text(0));
  for (std::string_view required : kRequiredTables) {
    if (std::find(present.begin(), present.end(), required) == present.end()) {
      RaiseError("OpenLedger", "Ledger file '" + Path() + "' is not a ledger: table '" +
                                   std::string(required) + "' is missing");
    }
  }
}

void CLedgerDatabase::ReadSmallTables() {
  ++m_generation;
  m_settings.clear();
  m_years.clear();
  m_segments.clear();
  m_splitter.clear();
  m_balance_types.clear();
  m_current_period = 0;
  SqliteStatement settings = m_connection.Prepare("SELECT name, value FROM ledger_settings");
  while (settings.Step()) m_settings.emplace_back(settings.Text(0), settings.Text(1));

  SqliteStatement years = m_connection.Prepare(
      "SELECT y.year_id, y.name, y.description, y.start_date, y.end_date, "
      "(SELECT count(*) FROM periods p WHERE p.year_id = y.year_id AND p.period_id > 0) "
      "FROM ledger_years y ORDER BY y.start_date DESC, y.year_id DESC");
  while (years.Step()) {
    LedgerYear year;
    year.id = years.Int(0);
    year.name = years.Text(1);
    year.description = years.Text(2);
    year.start_date = years.Text(3);
    year.end_date = years.Text(4);
    year.period_count = static_cast<int>(years.Int(5));
    m_years.push_back(std::move(year));
  }

  std::string current = Setting("current_year");
  m_current_year = m_years.empty() ? -1 : 0;
  for (std::size_t i = 0; i < m_years.size(); ++i) {
    if (!current.empty() && EqualsIgnoreCase(m_years[i].name, current)) {
      m_current_year = static_cast<int>(i);
    }
  }

  if (m_workspace_period) {
    m_current_period = *m_workspace_period;
  } else if (std::optional<int> stored = ParseInt(Setting("current_period"))) {
    m_current_period = *stored;
  } else if (m_current_year >= 0) {
    m_current_period = m_years[static_cast<std::size_t>(m_current_year)].period_count;
  }

  SqliteStatement segments = m_connection.Prepare(
      "SELECT position, name, length, splitter FROM code_segments "
      "ORDER BY position");
  while (segments.Step()) {
    CodeSegment segment;
    segment.position = static_cast<int>(segments.Int(0));
    segment.name = segments.Text(1);
    segment.length = static_cast<int>(segments.Int(2));
    segment.splitter = segments.Text(3);
    m_segments.push_back(std::move(segment));
  }
  if (!m_segments.empty()) m_splitter = m_segments.front().splitter;

  SqliteStatement types = m_connection.Prepare("SELECT name, balance_type_id FROM balance_types");
  while (types.Step()) m_balance_types.emplace_back(types.Text(0), types.Int(1));
}

std::string CLedgerDatabase::Setting(std::string_view name) const {
  for (const auto& [key, value] : m_settings) {
    if (key == name) return value;
  }
  return {};
}

const LedgerYear* CLedgerDatabase::ResolveYear(std::string_view year_text,
                                               const char* source) const {
  year_text = Trim(year_text);
  if (year_text.empty()) return nullptr;
  int offset = 0;
  bool relative = false;
  if (EqualsIgnoreCase(year_text, "Current") || EqualsIgnoreCase(year_text, "Y")) {
    relative = true;
  } else if (year_text.size() > 1 && (year_text[0] == 'Y' || year_text[0] == 'y') &&
             (year_text[1] == '-' || year_text[1] == '+')) {
    std::optional<int> n = ParseInt(year_text.substr(2));
    if (n) {
      relative = true;
      // Years are latest first: an earlier year lies further down the list.
      offset = year_text[1] == '-' ? *n : -*n;
    }
  }
  if (relative) {
    if (m_current_year < 0) return nullptr;
    long index = static_cast<long>(m_current_year) + offset;
    if (index < 0 || index >= static_cast<long>(m_years.size())) return nullptr;
    return &m_years[static_cast<std::size_t>(index)];
  }
  for (const LedgerYear& year : m_years) {
    if (EqualsIgnoreCase(year.name, year_text)) return &year;
  }
  RaiseError(source,
             "Ledger year '" + std::string(year_text) + "' does not exist in '" + Path() + "'");
}

std::vector<LedgerPeriod> CLedgerDatabase::Periods(const LedgerYear& year) {
  SqliteStatement& statement = Statement(Query::kPeriods);
  statement.Reset().Bind(1, year.id);
  std::vector<LedgerPeriod> periods;
  while (statement.Step()) {
    LedgerPeriod period;
    period.id = static_cast<int>(statement.Int(0));
    period.name = statement.Text(1);
    period.start_date = statement.Text(2);
    period.end_date = statement.Text(3);
    periods.push_back(std::move(period));
  }
  statement.Reset();
  return periods;
}

LedgerPeriod CLedgerDatabase::Period(const LedgerYear& year, std::string_view period_id,
                                     const char* source) {
  std::string_view trimmed = Trim(period_id);
  std::optional<int> number = EqualsIgnoreCase(trimmed, "Current Period")
                                  ? std::optional<int>(m_current_period)
                                  : ParseInt(trimmed);
  if (number) {
    for (LedgerPeriod& period : Periods(year)) {
      if (period.id == *number) return period;
    }
  }
  RaiseError(source, "Period '" + std::string(trimmed) + "' does not exist in ledger year '" +
                         year.name + "'");
}

PeriodBalance CLedgerDatabase::ParsePeriodBalance(std::string_view text, const char* source) {
  text = Trim(text);
  if (text.empty() || EqualsIgnoreCase(text, "Movement") || EqualsIgnoreCase(text, "Period") ||
      EqualsIgnoreCase(text, "PM")) {
    return PeriodBalance::kMovement;
  }
  if (EqualsIgnoreCase(text, "YTD") || EqualsIgnoreCase(text, "Year to date")) {
    return PeriodBalance::kYearToDate;
  }
  if (EqualsIgnoreCase(text, "Opening") || EqualsIgnoreCase(text, "Opening balance") ||
      EqualsIgnoreCase(text, "OB")) {
    return PeriodBalance::kOpening;
  }
  if (EqualsIgnoreCase(text, "Closing") || EqualsIgnoreCase(text, "Closing balance") ||
      EqualsIgnoreCase(text, "CB") || EqualsIgnoreCase(text, "Balance")) {
    return PeriodBalance::kClosing;
  }
  RaiseError(source, "Unknown period balance type '" + std::string(text) + "'");
}

PeriodSpan CLedgerDatabase::ResolvePeriodSpan(const LedgerYear& year, std::string_view start_period,
                                              std::string_view end_period,
                                              std::string_view period_balance, bool has_range,
                                              const char* source) const {
  if (!has_range) return PeriodSpan{0, year.period_count};
  auto period_number = [&](std::string_view text, int fallback) {
    text = Trim(text);
    if (text.empty()) return fallback;
    std::optional<int> number = EqualsIgnoreCase(text, "Current Period")
                                    ? std::optional<int>(m_current_period)
                                    : ParseInt(text);
    if (!number || *number < 1 || *number > year.period_count) {
      RaiseError(source, "Period '" + std::string(text) + "' does not exist in ledger year '" +
                             year.name + "'");
    }
    return *number;
  };
  int start = period_number(start_period, 1);
  int end = period_number(end_period, Trim(start_period).empty() ? year.period_count : start);
  if (end < start) {
    RaiseError(source, "Period range " + std::to_string(start) + " to " + std::to_string(end) +
                           " is reversed");
  }
  switch (ParsePeriodBalance(period_balance, source)) {
    case PeriodBalance::kMovement:
      return PeriodSpan{start, end};
    case PeriodBalance::kYearToDate:
      return PeriodSpan{1, end};
    case PeriodBalance::kOpening:
      return PeriodSpan{0, start - 1};
    case PeriodBalance::kClosing:
      return PeriodSpan{0, end};
  }
  return PeriodSpan{start, end};
}

std::int64_t CLedgerDatabase::BalanceTypeId(std::string_view name, const char* source) const {
  name = Trim(name);
  if (name.empty()) name = "Actuals";
  for (const auto& [type_name, id] : m_balance_types) {
    if (EqualsIgnoreCase(type_name, name)) return id;
  }
  RaiseError(source, "Balance type '" + std::string(name) + "' does not exist");
}

AccountTotals CLedgerDatabase::AccountBalance(std::string_view code, const LedgerYear* year,
                                              std::int64_t balance_type, PeriodSpan span) {
  bool full_code = !m_splitter.empty() && code.find(m_splitter) != std::string_view::npos;
  AccountTotals totals;
  SqliteStatement& account =
      Statement(full_code ? Query::kAccountByCode : Query::kAccountsByMainCode);
  account.Reset().Bind(1, code);
  if (account.Step()) {
    totals.found = true;
    totals.code = std::string(code);
    totals.description = account.Text(1);
    totals.account_type = account.Text(2);
  }
  account.Reset();
  if (!totals.found || year == nullptr) return totals;

  SqliteStatement& sums = Statement(full_code ? Query::kTotalsByCode : Query::kTotalsByMainCode);
  sums.Reset()
      .Bind(1, code)
      .Bind(2, year->id)
      .Bind(3, balance_type)
      .Bind(4, span.first)
      .Bind(5, span.last);
  if (sums.Step()) {
    totals.debit = sums.Int(0);
    totals.credit = sums.Int(1);
  }
  sums.Reset();
  return totals;
}

std::string CLedgerDatabase::ColumnConfiguration(std::string_view name) {
  SqliteStatement& statement = Statement(Query::kColumnConfiguration);
  statement.Reset().Bind(1, Trim(name));
  std::string definition;
  if (statement.Step()) definition = statement.Text(0);
  statement.Reset();
  return definition;
}

SqliteStatement& CLedgerDatabase::Statement(Query query) {
  SqliteStatement& statement = m_statements[static_cast<std::size_t>(query)];
  if (!statement) statement = m_connection.Prepare(QueryText(query));
  return statement;
}

}  // namespace orvo::ledger
