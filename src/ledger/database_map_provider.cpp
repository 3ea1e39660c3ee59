#include "ledger/database_map_provider.h"

#include <algorithm>
#include <cctype>

#include "frame/launch_properties.h"
#include "frame/text.h"
#include "orvo/error.h"

namespace orvo::ledger {
namespace {

constexpr const char* kSource = "DatabaseMap";

// Table and column names come from the ledger's own metadata, but are still
// checked: they are spliced into SQL text and become XML attribute names.
bool IsIdentifier(std::string_view name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

std::string Quoted(std::string_view identifier) { return "\"" + std::string(identifier) + "\""; }

}  // namespace

class CDatabaseMapProvider::MapField : public IDatabaseMapField {
 public:
  MapField(std::string name, std::string column)
      : m_name(std::move(name)), m_column(std::move(column)) {}
  std::string Name() const override { return m_name; }
  const std::string& Column() const { return m_column; }

 private:
  std::string m_name;
  std::string m_column;
};

class CDatabaseMapProvider::MapTable : public IDatabaseMapTable {
 public:
  MapTable(std::string name, std::string sql_table, std::string year_column,
           std::string order_column)
      : m_name(std::move(name)),
        m_sql_table(std::move(sql_table)),
        m_year_column(std::move(year_column)),
        m_order_column(std::move(order_column)) {}

  std::string Name() const override { return m_name; }
  std::shared_ptr<IDatabaseMapField> Field(const std::string& name) override {
    return FindField(name);
  }

  std::shared_ptr<MapField> FindField(std::string_view name) const {
    std::string upper = UpperCase(Trim(name));
    for (const auto& field : m_fields) {
      if (UpperCase(field->Name()) == upper) return field;
    }
    return nullptr;
  }
  void AddField(std::shared_ptr<MapField> field) { m_fields.push_back(std::move(field)); }
  const std::vector<std::shared_ptr<MapField>>& Fields() const { return m_fields; }
  const std::string& SqlTable() const { return m_sql_table; }
  const std::string& YearColumn() const { return m_year_column; }
  const std::string& OrderColumn() const { return m_order_column; }

 private:
  std::string m_name;
  std::string m_sql_table;
  std::string m_year_column;
  std::string m_order_column;
  std::vector<std::shared_ptr<MapField>> m_fields;
};

CDatabaseMapProvider::CDatabaseMapProvider()
    : m_locate([] { return LocateLedger(GetLaunchProperties()); }) {}

CDatabaseMapProvider::~CDatabaseMapProvider() = default;

void CDatabaseMapProvider::Init(const xml::Node& launch_properties) {
  xml::Node copy = CopyLaunchProperties(launch_properties);
  m_locate = [copy] { return LocateLedger(copy); };
  m_statements.clear();
  m_tables.clear();
  m_tables_generation = 0;
  m_database.reset();
}

void CDatabaseMapProvider::OpenWorkspace(const std::string& workspace_folder) {
  m_locate = [workspace_folder] { return LocateLedgerInFolder(workspace_folder); };
  m_statements.clear();
  m_tables.clear();
  m_tables_generation = 0;
  m_database.reset();
}

CLedgerDatabase& CDatabaseMapProvider::Open() {
  if (!m_database) {
    LedgerLocation location = m_locate();
    m_database = std::make_unique<CLedgerDatabase>(location.ledger_path, location.current_period,
                                                   LedgerView::kCurrent);
  }
  return *m_database;
}

void CDatabaseMapProvider::LoadTables() {
  const std::string& path = m_database->Path();
  std::vector<std::shared_ptr<MapTable>> tables;
  SqliteStatement table_rows = m_database->Connection().Prepare(
      "SELECT name, sql_table, year_column, order_column FROM dbmap_tables ORDER BY name");
  while (table_rows.Step()) {
    auto table = std::make_shared<MapTable>(table_rows.Text(0), table_rows.Text(1),
                                            table_rows.Text(2), table_rows.Text(3));
    if (!IsIdentifier(table->SqlTable()) || !IsIdentifier(table->YearColumn()) ||
        !IsIdentifier(table->OrderColumn())) {
      RaiseError(kSource, "Database-map table '" + table->Name() + "' in '" + path +
                              "' has an invalid SQL name");
    }
    tables.push_back(std::move(table));
  }
  SqliteStatement field_rows = m_database->Connection().Prepare(
      "SELECT table_name, name, column_name FROM dbmap_fields ORDER BY table_name, position");
  while (field_rows.Step()) {
    std::string table_name = field_rows.Text(0);
    std::string name = field_rows.Text(1);
    std::string column = field_rows.Text(2);
    if (!IsIdentifier(name) || !IsIdentifier(column)) {
      RaiseError(kSource, "Database-map field '" + table_name + "." + name + "' in '" + path +
                              "' has an invalid name");
    }
    for (auto& table : tables) {
      if (UpperCase(table->Name()) == UpperCase(table_name)) {
        table->AddField(std::make_shared<MapField>(std::move(name), std::move(column)));
        break;
      }
    }
  }
  m_tables = std::move(tables);
  m_tables_generation = m_database->Generation();
}

std::shared_ptr<IDatabaseMapTable> CDatabaseMapProvider::Table(const std::string& name) {
  CLedgerDatabase::ReadScope reading(Open());
  // The ledger changed since the tables were read: read them again.
  if (m_tables_generation != m_database->Generation()) LoadTables();
  std::string upper = UpperCase(Trim(name));
  if (upper.rfind("DB.", 0) == 0) upper.erase(0, 3);
  for (const auto& table : m_tables) {
    if (UpperCase(table->Name()) == upper) return table;
  }
  return nullptr;
}

CDatabaseMapProvider::MapTable& CDatabaseMapProvider::RequireTable(const std::string& name,
                                                                   const char* source) {
  std::shared_ptr<IDatabaseMapTable> table = Table(name);
  if (!table) RaiseError(source, "Database-map table '" + name + "' does not exist");
  return static_cast<MapTable&>(*table);
}

SqliteStatement& CDatabaseMapProvider::CachedStatement(const std::string& sql) {
  auto found = m_statements.find(sql);
  if (found == m_statements.end()) {
    found = m_statements.emplace(sql, m_database->Connection().Prepare(sql)).first;
  }
  return found->second;
}

std::string CDatabaseMapProvider::YearName(const std::string& year, const char* source) {
  const LedgerYear* resolved = m_database->ResolveYear(year, source);
  return resolved ? resolved->name : std::string();
}

std::int32_t CDatabaseMapProvider::RecordCount(const std::string& table, const std::string& year) {
  CLedgerDatabase::ReadScope reading(Open());
  MapTable& map_table = RequireTable(table, "RecordCount");
  std::string year_name = YearName(year, "RecordCount");
  if (year_name.empty()) return 0;
  SqliteStatement& statement =
      CachedStatement("SELECT count(*) FROM " + Quoted(map_table.SqlTable()) + " WHERE " +
                      Quoted(map_table.YearColumn()) + " = ?1 COLLATE NOCASE");
  statement.Reset().Bind(1, year_name);
  std::int64_t count = statement.Step() ? statement.Int(0) : 0;
  statement.Reset();
  return static_cast<std::int32_t>(count);
}

std::string CDatabaseMapProvider::FieldValue(const std::string& table, const std::string& field,
                                             std::int32_t record_number, const std::string& year) {
  CLedgerDatabase::ReadScope reading(Open());
  MapTable& map_table = RequireTable(table, "RecordValue");
  std::shared_ptr<MapField> map_field = map_table.FindField(field);
  if (!map_field) {
    RaiseError("RecordValue", "Database-map field '" + table + "." + field + "' does not exist");
  }
  std::string year_name = YearName(year, "RecordValue");
  // Records are numbered from 1; a number outside the table reads as empty.
  if (year_name.empty() || record_number < 1) return {};
  SqliteStatement& statement = CachedStatement(
      "SELECT " + Quoted(map_field->Column()) + " FROM " + Quoted(map_table.SqlTable()) +
      " WHERE " + Quoted(map_table.YearColumn()) + " = ?1 COLLATE NOCASE ORDER BY " +
      Quoted(map_table.OrderColumn()) + " LIMIT 1 OFFSET ?2");
  statement.Reset().Bind(1, year_name).Bind(2, static_cast<std::int64_t>(record_number) - 1);
  std::string value = statement.Step() ? statement.Text(0) : std::string();
  statement.Reset();
  return value;
}

xml::Node CDatabaseMapProvider::Records(const std::string& definition) {
  constexpr const char* source = "DatabaseMapRecords";
  std::vector<std::string_view> parts;
  std::string_view rest = definition;
  while (true) {
    std::size_t split = rest.find(';');
    parts.push_back(Trim(rest.substr(0, split)));
    if (split == std::string_view::npos) break;
    rest.remove_prefix(split + 1);
  }
  CLedgerDatabase::ReadScope reading(Open());
  MapTable& table = RequireTable(std::string(parts.front()), source);

  std::string year = "Current";
  std::string sort_column = table.OrderColumn();
  bool descending = false;
  std::vector<std::pair<std::string, std::string>> conditions;  // column, value
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty()) continue;
    std::size_t equals = parts[i].find('=');
    if (equals == std::string_view::npos) {
      RaiseError(source,
                 "Repeat definition part '" + std::string(parts[i]) + "' is not NAME=VALUE");
    }
    std::string name = UpperCase(Trim(parts[i].substr(0, equals)));
    std::string value(Trim(parts[i].substr(equals + 1)));
    if (name == "YEAR") {
      year = value;
    } else if (name == "SORT") {
      std::string field = value;
      std::size_t space = value.find(' ');
      if (space != std::string::npos) {
        field = value.substr(0, space);
        std::string order = UpperCase(Trim(std::string_view(value).substr(space + 1)));
        if (order != "DESC" && order != "ASC") {
          RaiseError(source, "Sort order '" + order + "' is neither ASC nor DESC");
        }
        descending = order == "DESC";
      }
      std::shared_ptr<MapField> sort_field = table.FindField(field);
      if (!sort_field) {
        RaiseError(source,
                   "Database-map field '" + table.Name() + "." + field + "' does not exist");
      }
      sort_column = sort_field->Column();
    } else {
      std::shared_ptr<MapField> filter_field = table.FindField(name);
      if (!filter_field) {
        RaiseError(source, "Database-map field '" + table.Name() + "." + name + "' does not exist");
      }
      conditions.emplace_back(filter_field->Column(), value);
    }
  }

  std::string year_name = YearName(year, source);
  if (!m_scratch) m_scratch = xml::Document::Create();
  xml::Node answer = m_scratch.CreateElement("Records");
  answer.SetAttribute("Table", UpperCase(table.Name()));
  answer.SetAttribute("Year", year_name);
  std::size_t count = 0;
  if (!year_name.empty()) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < table.Fields().size(); ++i) {
      sql += (i ? ", " : "") + Quoted(table.Fields()[i]->Column());
    }
    if (table.Fields().empty()) sql += "1";
    sql += " FROM " + Quoted(table.SqlTable()) + " WHERE " + Quoted(table.YearColumn()) +
           " = ?1 COLLATE NOCASE";
    for (std::size_t i = 0; i < conditions.size(); ++i) {
      sql += " AND " + Quoted(conditions[i].first) + " = ?" + std::to_string(i + 2) +
             " COLLATE NOCASE";
    }
    sql += " ORDER BY " + Quoted(sort_column) + (descending ? " DESC" : "") + ", " +
           Quoted(table.OrderColumn());
    SqliteStatement& statement = CachedStatement(sql);
    statement.Reset().Bind(1, year_name);
    for (std::size_t i = 0; i < conditions.size(); ++i) {
      statement.Bind(static_cast<int>(i + 2), conditions[i].second);
    }
    while (statement.Step()) {
      xml::Node record = answer.AppendChild(m_scratch.CreateElement("Rec"));
      for (std::size_t i = 0; i < table.Fields().size(); ++i) {
        record.SetAttribute(UpperCase(table.Fields()[i]->Name()),
                            statement.TextView(static_cast<int>(i)));
      }
      ++count;
    }
    statement.Reset();
  }
  answer.SetAttribute("Count", std::to_string(count));
  return answer;
}

}  // namespace orvo::ledger
