// Read access to one SQLite ledger file.
//
// The file is opened read-only and never written. The small tables (years,
// periods, balance types, code segments, settings) are held in memory;
// balances are always SQL aggregations over the indexed balances table, so no
// request loads the ledger into memory. Every statement is prepared once per
// database and reused.
//
// Views of a ledger a host writes meanwhile (docs/ledger.md, "Reading while
// a host writes"):
//   * LedgerView::kSnapshot on a ledger in WAL mode: one read transaction from
//     open to destruction; every read sees the ledger as it was at open.
//   * Otherwise every ReadScope is a read transaction of its own and sees the
//     ledger as committed when the scope began; the small tables are read
//     again first when another connection changed the ledger. (A read
//     transaction held longer on a rollback-journal ledger would lock the
//     writer out.)
//
// Threading: one database belongs to one thread (the connection is opened
// without SQLite's own mutex).
#ifndef ORVO_LEDGER_LEDGER_DATABASE_H_
#define ORVO_LEDGER_LEDGER_DATABASE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/sqlite_handle.h"

namespace orvo::ledger {

struct LedgerYear {
  std::int64_t id = 0;
  std::string name;
  std::string description;
  std::string start_date;
  std::string end_date;
  int period_count = 0;
};

struct LedgerPeriod {
  int id = 0;
  std::string name;
  std::string start_date;
  std::string end_date;
};

struct CodeSegment {
  int position = 0;
  std::string name;
  int length = 0;
  std::string splitter;
};

// Inclusive range of stored period numbers (0 = balance brought forward).
struct PeriodSpan {
  int first = 0;
  int last = 0;
};

// How a period range turns into stored periods (see docs/ledger.md).
enum class PeriodBalance { kMovement, kYearToDate, kOpening, kClosing };

struct AccountTotals {
  bool found = false;  // at least one account has the code
  std::string code;
  std::string description;
  std::string account_type;
  std::int64_t debit = 0;   // cents
  std::int64_t credit = 0;  // cents, positive
};

// Text of an amount in cents: "1234.5", "-0.05", "100".
std::string FormatCents(std::int64_t cents);
// FormatCents appended to `text`.
void AppendCents(std::string& text, std::int64_t cents);

// True for "-1", "1", "TRUE", "YES" (any case).
bool IsTrueText(std::string_view text);

enum class LedgerView {
  kSnapshot,  // one snapshot for the database's life when the ledger is in WAL mode
  kCurrent,   // each ReadScope reads the ledger as committed when it began
};

class CLedgerDatabase {
 public:
  // Opens the ledger read-only and reads its small tables. `current_period`
  // (the workspace's) overrides the ledger's own setting when given.
  CLedgerDatabase(const std::string& path, std::optional<int> current_period,
                  LedgerView view = LedgerView::kCurrent);

  // The reads of one request (a driver command, a database-map call) run
  // inside one. Opens a read transaction unless one is open already (the
  // database's snapshot, or an enclosing scope), first reading the small
  // tables again when the ledger changed since they were read.
  class ReadScope {
   public:
    explicit ReadScope(CLedgerDatabase& database);
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;
    // Leaves the transaction this scope opened open after the scope.
    void Keep() noexcept { m_began.connection = nullptr; }

   private:
    // Ends the transaction the scope opened, also when the constructor fails
    // after opening it.
    struct Began {
      const SqliteConnection* connection = nullptr;
      Began() = default;
      Began(const Began&) = delete;
      Began& operator=(const Began&) = delete;
      ~Began() {
        if (connection != nullptr) connection->EndReadTransaction();
      }
    };
    Began m_began;
  };

  // Counts the readings of the small tables: a holder of anything derived
  // from them compares it to see whether to derive it again.
  std::uint64_t Generation() const noexcept { return m_generation; }
  // True when the database keeps one snapshot for its life.
  bool HoldsSnapshot() const noexcept { return m_holds_snapshot; }

  const std::string& Path() const noexcept { return m_connection.Path(); }
  const SqliteConnection& Connection() const noexcept { return m_connection; }

  // Years, latest first.
  const std::vector<LedgerYear>& Years() const noexcept { return m_years; }
  // Index of the current year in Years(), -1 when the ledger has no years.
  int CurrentYearIndex() const noexcept { return m_current_year; }
  int CurrentPeriod() const noexcept { return m_current_period; }
  const std::vector<CodeSegment>& CodeSegments() const noexcept { return m_segments; }
  const std::string& Splitter() const noexcept { return m_splitter; }
  std::string Setting(std::string_view name) const;

  // Resolves a year reference: a year name (any case), "Current" or "Y"
  // (the current year), "Y-n"/"Y+n" (n years before/after it). Null for an
  // empty reference or an offset beyond the list; an unknown name raises
  // a failure under `source`.
  const LedgerYear* ResolveYear(std::string_view year_text, const char* source) const;

  std::vector<LedgerPeriod> Periods(const LedgerYear& year);
  // A period of a year by identifier ("Current Period" = the current period);
  // raises under `source` when the year has no such period.
  LedgerPeriod Period(const LedgerYear& year, std::string_view period_id, const char* source);

  // The stored periods a balance request covers. Without a period range the
  // whole year up to its last period, balance brought forward included.
  PeriodSpan ResolvePeriodSpan(const LedgerYear& year, std::string_view start_period,
                               std::string_view end_period, std::string_view period_balance,
                               bool has_range, const char* source) const;
  static PeriodBalance ParsePeriodBalance(std::string_view text, const char* source);

  // Balance type id by name (any case); an empty name means "Actuals".
  std::int64_t BalanceTypeId(std::string_view name, const char* source) const;

  // Totals of the account with this code, or of every account whose main
  // code is `code` when `code` has no splitter.
  AccountTotals AccountBalance(std::string_view code, const LedgerYear* year,
                               std::int64_t balance_type, PeriodSpan span);

  // The stored definition of a dynamic-column configuration, empty when none.
  std::string ColumnConfiguration(std::string_view name);

  // Statements shared by the balance queries, prepared on first use.
  enum class Query {
    kAccountsByMainCode,
    kAccountByCode,
    kTotalsByMainCode,
    kTotalsByCode,
    kRangeAccountsByNumber,
    kRangeAccountsByMainCode,
    kRangeAccountsByCode,
    kRangeTotalsByNumber,
    kRangeTotalsByMainCode,
    kRangeTotalsByCode,
    kColumnConfiguration,
    kPeriods,
    kDataVersion,
    kCount
  };
  SqliteStatement& Statement(Query query);

 private:
  void CheckTables();
  void ReadSmallTables();
  std::int64_t DataVersion();

  SqliteConnection m_connection;
  std::optional<int> m_workspace_period;
  bool m_holds_snapshot = false;
  std::int64_t m_data_version = 0;
  std::uint64_t m_generation = 0;
  std::vector<LedgerYear> m_years;
  int m_current_year = -1;
  int m_current_period = 0;
  std::vector<CodeSegment> m_segments;
  std::string m_splitter;
  std::vector<std::pair<std::string, std::string>> m_settings;
  std::vector<std::pair<std::string, std::int64_t>> m_balance_types;
  std::array<SqliteStatement, static_cast<std::size_t>(Query::kCount)> m_statements;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_DATABASE_H_
