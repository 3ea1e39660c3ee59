// The SQLite schema of a workspace ledger: one text shared by the sample
// generator (which creates it) and the reader (which checks that a file has
// the tables it queries). docs/ledger.md explains every table.
#ifndef ORVO_LEDGER_LEDGER_SCHEMA_H_
#define ORVO_LEDGER_LEDGER_SCHEMA_H_

#include <array>
#include <string_view>

namespace orvo::ledger {

// Amounts are stored as whole cents: debit positive, credit negative.
// Period 0 of a year holds the balance brought forward.
inline constexpr std::string_view kLedgerSchema = R"sql(
CREATE TABLE ledger_settings (
  name  TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;

CREATE TABLE code_segments (
  position INTEGER PRIMARY KEY,
  name     TEXT NOT NULL,
  length   INTEGER NOT NULL,
  splitter TEXT NOT NULL
);

CREATE TABLE account_types (
  account_type  TEXT PRIMARY KEY,
  description   TEXT NOT NULL,
  normal_side   TEXT NOT NULL CHECK (normal_side IN ('D', 'C')),
  balance_sheet INTEGER NOT NULL
) WITHOUT ROWID;

CREATE TABLE accounts (
  account_id   INTEGER PRIMARY KEY,
  code         TEXT NOT NULL UNIQUE,
  main_code    TEXT NOT NULL,
  main_number  INTEGER,
  description  TEXT NOT NULL,
  account_type TEXT NOT NULL REFERENCES account_types (account_type)
);
CREATE INDEX accounts_by_main_number ON accounts (main_number, code);
CREATE INDEX accounts_by_main_code ON accounts (main_code, code);

CREATE TABLE ledger_years (
  year_id     INTEGER PRIMARY KEY,
  name        TEXT NOT NULL UNIQUE COLLATE NOCASE,
  description TEXT NOT NULL,
  start_date  TEXT NOT NULL,
  end_date    TEXT NOT NULL
);

CREATE TABLE periods (
  year_id    INTEGER NOT NULL REFERENCES ledger_years (year_id),
  period_id  INTEGER NOT NULL,
  name       TEXT NOT NULL,
  start_date TEXT NOT NULL,
  end_date   TEXT NOT NULL,
  PRIMARY KEY (year_id, period_id)
) WITHOUT ROWID;

CREATE TABLE balance_types (
  balance_type_id INTEGER PRIMARY KEY,
  name            TEXT NOT NULL UNIQUE COLLATE NOCASE,
  description     TEXT NOT NULL
);

CREATE TABLE balances (
  account_id      INTEGER NOT NULL REFERENCES accounts (account_id),
  year_id         INTEGER NOT NULL REFERENCES ledger_years (year_id),
  balance_type_id INTEGER NOT NULL REFERENCES balance_types (balance_type_id),
  period_id       INTEGER NOT NULL,
  debit           INTEGER NOT NULL,
  credit          INTEGER NOT NULL,
  PRIMARY KEY (account_id, year_id, balance_type_id, period_id)
) WITHOUT ROWID;

CREATE TABLE journal_lines (
  line_id     INTEGER PRIMARY KEY,
  journal_no  INTEGER NOT NULL,
  year_id     INTEGER NOT NULL REFERENCES ledger_years (year_id),
  period_id   INTEGER NOT NULL,
  entry_date  TEXT NOT NULL,
  reference   TEXT NOT NULL,
  description TEXT NOT NULL,
  account_id  INTEGER NOT NULL REFERENCES accounts (account_id),
  amount      INTEGER NOT NULL
);
CREATE INDEX journal_lines_by_account ON journal_lines (account_id, year_id, period_id);

CREATE TABLE column_configurations (
  name       TEXT PRIMARY KEY COLLATE NOCASE,
  definition TEXT NOT NULL
) WITHOUT ROWID;

CREATE TABLE dbmap_tables (
  name        TEXT PRIMARY KEY COLLATE NOCASE,
  sql_table   TEXT NOT NULL,
  year_column TEXT NOT NULL,
  order_column TEXT NOT NULL,
  description TEXT NOT NULL
) WITHOUT ROWID;

CREATE TABLE dbmap_fields (
  table_name  TEXT NOT NULL COLLATE NOCASE,
  name        TEXT NOT NULL COLLATE NOCASE,
  column_name TEXT NOT NULL,
  position    INTEGER NOT NULL,
  description TEXT NOT NULL,
  PRIMARY KEY (table_name, name)
) WITHOUT ROWID;
)sql";

// Tables a ledger file must have before it is queried.
inline constexpr std::array<std::string_view, 12> kRequiredTables = {
    "ledger_settings", "code_segments", "account_types", "accounts",      "ledger_years",
    "periods",         "balance_types", "balances",      "journal_lines", "column_configurations",
    "dbmap_tables",    "dbmap_fields"};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_SCHEMA_H_
