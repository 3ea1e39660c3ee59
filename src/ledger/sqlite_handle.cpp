#include "ledger/sqlite_handle.h"

#include <filesystem>
#include <system_error>

#include "orvo/error.h"

namespace orvo::ledger {

void RaiseSqlite(sqlite3* connection, int code, std::string_view context) {
  std::string message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
  std::string description(context);
  if (!description.empty()) description += ": ";
  description += message;
  RaiseFailure(code, kSqliteSource, std::move(description));
}

SqliteStatement::SqliteStatement(sqlite3* connection, std::string_view sql)
    : m_connection(connection) {
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v3(connection, sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  m_statement.reset(raw);
  if (code != SQLITE_OK) RaiseSqlite(connection, code, sqlite3_db_filename(connection, "main"));
}

SqliteStatement& SqliteStatement::Reset() {
  sqlite3_reset(m_statement.get());
  sqlite3_clear_bindings(m_statement.get());
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
  int code = sqlite3_bind_int64(m_statement.get(), index, value);
  if (code != SQLITE_OK) RaiseSqlite(m_connection, code, "bind");
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view value) {
  int code = sqlite3_bind_text(m_statement.get(), index, value.data(),
                               static_cast<int>(value.size()), SQLITE_TRANSIENT);
  if (code != SQLITE_OK) RaiseSqlite(m_connection, code, "bind");
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  int code = sqlite3_bind_null(m_statement.get(), index);
  if (code != SQLITE_OK) RaiseSqlite(m_connection, code, "bind");
  return *this;
}

bool SqliteStatement::Step() {
  int code = sqlite3_step(m_statement.get());
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  // Leave the statement reusable before reporting.
  sqlite3_reset(m_statement.get());
  RaiseSqlite(m_connection, code,
              "Ledger file '" + std::string(sqlite3_db_filename(m_connection, "main")) + "'");
}

std::int64_t SqliteStatement::Int(int column) const {
  return sqlite3_column_int64(m_statement.get(), column);
}

double SqliteStatement::Real(int column) const {
  return sqlite3_column_double(m_statement.get(), column);
}

std::string SqliteStatement::Text(int column) const { return std::string(TextView(column)); }

std::string_view SqliteStatement::TextView(int column) const {
  const unsigned char* text = sqlite3_column_text(m_statement.get(), column);
  if (text == nullptr) return {};
  return std::string_view(
      reinterpret_cast<const char*>(text),
      static_cast<std::size_t>(sqlite3_column_bytes(m_statement.get(), column)));
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

void SqliteStatement::Run() {
  while (Step()) {
  }
  sqlite3_reset(m_statement.get());
}

SqliteConnection SqliteConnection::OpenReadOnly(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    RaiseError("OpenLedger", "Ledger file '" + path + "' does not exist");
  }
  // An ordinary read-only connection: it takes SQLite's locks and so sees
  // what writers commit (a ledger in WAL mode included), never a stale copy.
  sqlite3* raw = nullptr;
  int code =
      sqlite3_open_v2(path.c_str(), &raw,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
  SqliteConnection connection;
  connection.m_connection.reset(raw);
  connection.m_path = path;
  if (code != SQLITE_OK) RaiseSqlite(raw, code, "Ledger file '" + path + "'");
  // A writer's commit in progress is waited for; a lock held longer fails
  // the read with SQLITE_BUSY, naming the file.
  sqlite3_busy_timeout(raw, kBusyWaitMilliseconds);
  return connection;
}

SqliteConnection SqliteConnection::Create(const std::string& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
  sqlite3* raw = nullptr;
  int code = sqlite3_open_v2(
      path.c_str(), &raw,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      nullptr);
  SqliteConnection connection;
  connection.m_connection.reset(raw);
  connection.m_path = path;
  if (code != SQLITE_OK) RaiseSqlite(raw, code, "Ledger file '" + path + "'");
  return connection;
}

bool SqliteConnection::InTransaction() const noexcept { return sqlite3_get_autocommit(Get()) == 0; }

void SqliteConnection::EndReadTransaction() const noexcept {
  for (sqlite3_stmt* statement = sqlite3_next_stmt(Get(), nullptr); statement != nullptr;
       statement = sqlite3_next_stmt(Get(), statement)) {
    if (sqlite3_stmt_busy(statement)) sqlite3_reset(statement);
  }
  // Ending a read transaction cannot fail in a way a reader could act on.
  sqlite3_exec(Get(), "COMMIT", nullptr, nullptr, nullptr);
}

void SqliteConnection::Execute(std::string_view sql) const {
  std::string text(sql);
  char* message = nullptr;
  int code = sqlite3_exec(Get(), text.c_str(), nullptr, nullptr, &message);
  if (code != SQLITE_OK) {
    std::string description = "Ledger file '" + m_path + "': " + (message ? message : "");
    sqlite3_free(message);
    RaiseFailure(code, kSqliteSource, std::move(description));
  }
}

}  // namespace orvo::ledger
