// The database-map provider over the tables of the workspace ledger, registered
// under kDatabaseMapProviderId.
//
// The tables it offers are listed in dbmap_tables (name, SQL table, year
// column, order column) and their fields in dbmap_fields; records of a table
// for a year are the rows whose year column holds that year's name, numbered
// from 1 in the order column's order. Years are given as in the driver: a year
// name, "Current"/"Y", or "Y-n"/"Y+n".
//
// Repeat definition text (Records):
//   [DB.]TABLE [; Year=YEAR] [; Sort=FIELD [DESC]] [; FIELD=VALUE]...
// e.g. "DB.Customers; Year=Y-1; Region=North; Sort=Revenue DESC". FIELD=VALUE
// parts keep the records whose field equals the value (any case). The answer
// is <Records Table=".." Year=".." Count="n"> with one <Rec> per record whose
// attributes are the table's fields (upper-case names) in field order.
//
// Threading: one provider belongs to one thread.
#ifndef ORVO_LEDGER_DATABASE_MAP_PROVIDER_H_
#define ORVO_LEDGER_DATABASE_MAP_PROVIDER_H_

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledger/ledger_database.h"
#include "ledger/ledger_workspace.h"
#include "orvo/providers.h"

namespace orvo::ledger {

class CDatabaseMapProvider : public IDatabaseMapProvider {
 public:
  CDatabaseMapProvider();
  ~CDatabaseMapProvider() override;

  // Takes the workspace from a launch-properties node (a deep copy is kept).
  void Init(const xml::Node& launch_properties) override;
  void OpenWorkspace(const std::string& workspace_folder);

  std::shared_ptr<IDatabaseMapTable> Table(const std::string& name) override;
  std::int32_t RecordCount(const std::string& table, const std::string& year) override;
  std::string FieldValue(const std::string& table, const std::string& field,
                         std::int32_t record_number, const std::string& year) override;
  xml::Node Records(const std::string& definition) override;

 private:
  class MapTable;
  class MapField;

  // The database, opened on first use. Each public call reads in a
  // CLedgerDatabase::ReadScope of its own: it sees the ledger as committed
  // when the call began.
  CLedgerDatabase& Open();
  // Reads dbmap_tables and dbmap_fields (again).
  void LoadTables();
  MapTable& RequireTable(const std::string& name, const char* source);
  SqliteStatement& CachedStatement(const std::string& sql);
  // The year name records are stored under; empty when the year is off the list.
  std::string YearName(const std::string& year, const char* source);

  std::function<LedgerLocation()> m_locate;
  std::unique_ptr<CLedgerDatabase> m_database;
  std::vector<std::shared_ptr<MapTable>> m_tables;
  std::uint64_t m_tables_generation = 0;  // the database's Generation() they were read at
  std::unordered_map<std::string, SqliteStatement> m_statements;
  xml::Document m_scratch;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_DATABASE_MAP_PROVIDER_H_
