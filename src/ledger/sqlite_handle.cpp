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

namespace {

// A file URI for the path, with the characters URIs reserve escaped.
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '?' || c == '#' || c == '%') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      uri += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      uri += c;
    }
  }
  return uri;
}

}  // namespace

SqliteConnection SqliteConnection::OpenReadOnly(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    RaiseError("OpenLedger", "Ledger file '" + path + "' does not exist");
  }
  const std::string context = "Ledger file '" + path + "'";
  constexpr int kFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  {
    // First a locking read: a file a writer holds locked (SQLITE_BUSY after a
    // short wait) or a file that is no database fails here, naming the file.
    sqlite3* raw = nullptr;
    int code = sqlite3_open_v2(path.c_str(), &raw, kFlags, nullptr);
    std::unique_ptr<sqlite3, ConnectionCloser> probe(raw);
    if (code != SQLITE_OK) RaiseSqlite(raw, code, context);
    sqlite3_busy_timeout(raw, 500);
    code = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) RaiseSqlite(raw, code, context);
  }
  // Then the connection the queries use: immutable, so SQLite takes no locks
  // and checks for no changes on every statement. A ledger is not written
  // while previews are built; Refresh reopens it to see a new file.
  sqlite3* raw = nullptr;
  int code = sqlite3_open_v2((FileUri(path) + "?immutable=1").c_str(), &raw,
                             kFlags | SQLITE_OPEN_URI, nullptr);
  SqliteConnection connection;
  connection.m_connection.reset(raw);
  connection.m_path = path;
  if (code != SQLITE_OK) RaiseSqlite(raw, code, context);
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
