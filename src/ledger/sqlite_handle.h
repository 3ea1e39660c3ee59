// Move-only holders for SQLite connections and prepared statements, and the
// pass-through of SQLite failures as orvo::Error (number = SQLite's extended
// result code, source "SQLite").
//
// Only src/ledger/ sees sqlite3.h; these holders keep the C handles out of the
// other ledger headers' callers.
#ifndef ORVO_LEDGER_SQLITE_HANDLE_H_
#define ORVO_LEDGER_SQLITE_HANDLE_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace orvo::ledger {

inline constexpr const char* kSqliteSource = "SQLite";

struct ConnectionCloser {
  void operator()(sqlite3* connection) const noexcept { sqlite3_close_v2(connection); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

// Raises SQLite's failure for `code` with the connection's message and `context`
// (typically the file name) so the reader knows which ledger failed.
[[noreturn]] void RaiseSqlite(sqlite3* connection, int code, std::string_view context);

// A prepared statement, compiled once and reset before each use.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(sqlite3* connection, std::string_view sql);

  explicit operator bool() const noexcept { return m_statement != nullptr; }

  // Resets the statement and clears its bindings; returns *this for chaining.
  SqliteStatement& Reset();
  SqliteStatement& Bind(int index, std::int64_t value);
  SqliteStatement& Bind(int index, std::string_view value);
  SqliteStatement& BindNull(int index);

  // Steps once: true while a row is available, false when done.
  bool Step();

  std::int64_t Int(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;
  // Valid until the next Step or Reset.
  std::string_view TextView(int column) const;
  bool IsNull(int column) const;

  // Runs a statement that returns no rows (or ignores them).
  void Run();

 private:
  sqlite3* m_connection = nullptr;
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> m_statement;
};

// How long a read waits for a writer's lock before failing with SQLITE_BUSY.
inline constexpr int kBusyWaitMilliseconds = 2000;

// A connection. Open failures raise with the file name in the description.
class SqliteConnection {
 public:
  // Opens an existing file read-only: the ledger is never written, and a
  // missing file is a failure instead of a new empty database. The
  // connection takes SQLite's locks, so it sees what writers commit.
  static SqliteConnection OpenReadOnly(const std::string& path);
  // Creates (or truncates) a file for writing; used by the sample generator.
  static SqliteConnection Create(const std::string& path);

  sqlite3* Get() const noexcept { return m_connection.get(); }
  const std::string& Path() const noexcept { return m_path; }

  SqliteStatement Prepare(std::string_view sql) const { return SqliteStatement(Get(), sql); }
  // Runs one or more statements without results.
  void Execute(std::string_view sql) const;
  // True while a transaction (BEGIN ... COMMIT) is open.
  bool InTransaction() const noexcept;
  // Opens a (deferred) read transaction; its first read fixes what it sees.
  void BeginReadTransaction() const { Execute("BEGIN"); }
  // Ends a read transaction: resets every statement still stepping, so that
  // its locks go at once, and commits (which for a reader cannot fail in a
  // way the reader could act on).
  void EndReadTransaction() const noexcept;

 private:
  std::unique_ptr<sqlite3, ConnectionCloser> m_connection;
  std::string m_path;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_SQLITE_HANDLE_H_
