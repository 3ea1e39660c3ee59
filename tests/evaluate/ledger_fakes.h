// A data driver, store context and database-map provider for the ledger
// amount tests: the driver records every request with its filters in the
// order they were added and answers from a small in-memory ledger.
#ifndef ORVO_TESTS_EVALUATE_LEDGER_FAKES_H_
#define ORVO_TESTS_EVALUATE_LEDGER_FAKES_H_

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/providers.h"
#include "orvo/xml.h"
#include "support/fake_components.h"

namespace orvo::testing {

struct SentFilter {
  std::string key;
  std::optional<std::int32_t> option;
  std::string field;
  std::string value;  // arrays joined with "|"
  std::optional<std::int32_t> mode;
  bool operator==(const SentFilter&) const = default;
};

struct SentRequest {
  std::string function;
  std::vector<SentFilter> filters;
  // The value of a filter by field ("" when absent).
  std::string Value(const std::string& field) const {
    for (const SentFilter& filter : filters) {
      if (filter.field == field) return filter.value;
    }
    return {};
  }
};

// Accounts: a code and a base amount; the amount for a key is the base
// times a factor of its year (2027: 3, 2026: 1, 2025: 2, no year: 0) and of
// its balance type (Budget: 10).
class RecordingDriver {
 public:
  struct Account {
    std::string code;
    long long cents;
  };
  std::vector<Account> accounts = {{"1000", 10000}, {"1010", -5000}, {"4000", -30000},
                                   {"4010", -2000}, {"4020", 700},   {"5000", 12000},
                                   {"6000", 4000},  {"6010", 0},     {"6000-10", 150}};
  std::vector<SentRequest> requests;

  int Count(const std::string& function) const {
    return static_cast<int>(
        std::count_if(requests.begin(), requests.end(),
                      [&](const SentRequest& r) { return r.function == function; }));
  }
  std::vector<SentRequest> Of(const std::string& function) const {
    std::vector<SentRequest> found;
    for (const SentRequest& request : requests) {
      if (request.function == function) found.push_back(request);
    }
    return found;
  }

  static std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
      const std::size_t bar = text.find('|', start);
      parts.push_back(text.substr(start, bar - start));
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    return parts;
  }

  static long long Factor(const std::string& year, const std::string& balance) {
    const long long year_factor = year == "2027"   ? 3
                                  : year == "2026" ? 1
                                  : year == "2025" ? 2
                                  : year == "2024" ? 4
                                                   : 0;
    return year_factor * (balance == "Budget" ? 10 : 1);
  }

  static std::string Text(long long cents) {
    const bool negative = cents < 0;
    const long long magnitude = negative ? -cents : cents;
    std::string text = std::to_string(magnitude / 100);
    if (magnitude % 100) {
      text += "." + std::to_string(magnitude % 100 / 10);
      if (magnitude % 10) text += std::to_string(magnitude % 10);
    }
    return negative ? "-" + text : text;
  }

  xml::Node Answer(const SentRequest& request) {
    const std::string& name = request.function;
    auto element = [&](const std::string& text) {
      return xml::Document::Parse(text).DocumentElement();
    };
    if (name == "SupportedProductFields_DDKFunction") {
      return element(
          "<A><Field Name='AMOUNT'/><Field Name='CODE'/><Field Name='DESCRIPTION'/><Field "
          "Name='TYPE'/></A>");
    }
    if (name == "LedgerPeriod_DDKFunction") return element("<A DDKFieldPeriodID='7'/>");
    if (name == "LedgerYears_DDKFunction" || name == "RelativeLedgerYears_DDKFunction") {
      return element(
          "<A><Year DDKFieldYearName='2027' Name='Y+1'/><Year DDKFieldYearName='2026' Name='Y'/>"
          "<Year DDKFieldYearName='2025' Name='Y-1'/><Year DDKFieldYearName='2024' "
          "Name='Y-2'/></A>");
    }
    if (name == "RelativeCurrentYearIndex_DDKFunction") return element("<A Name='2'/>");
    if (name == "AccountCodeStructure_DDKFunction") {
      return element("<A><Segment DDKFieldAccountCodeSplitter='-'/></A>");
    }
    if (name == "RepeatDefaultPrimarySort_DDKFunction") return element("<A Name='Code'/>");
    if (name == "TallixYear_DDKFunction") {
      return element("<A DDKFieldYearName='FY" + request.Value("DDKFieldYearName") + "'/>");
    }
    if (name == "TallixPeriod_DDKFunction") {
      return element("<A DDKFieldPeriodEnd='" + request.Value("DDKFieldYearName") + "-P" +
                     request.Value("DDKFieldPeriodID") + "'/>");
    }
    if (name == "AccountValue_DDKFunction") {
      if (request.Value("DDKFieldBalanceType") == "Unknown") {
        RaiseError(name, "Balance type 'Unknown' does not exist");
      }
      for (const Account& account : accounts) {
        if (account.code != request.Value("CODE")) continue;
        const long long cents = account.cents * Factor(request.Value("DDKFieldYearName"),
                                                       request.Value("DDKFieldBalanceType"));
        xml::Node answer = element("<A/>");
        answer.SetAttribute(request.Value("FIELD"), Text(cents));
        return answer;
      }
      RaiseError(name, "Account does not exist");
    }
    if (name == "RepeatingBalance_DDKFunction") return RepeatingBalance(request);
    RaiseError(name, "Unknown function");
  }

 private:
  static long long MainNumber(const std::string& code) {
    return std::stoll(code.substr(0, code.find('-')));
  }

  xml::Node RepeatingBalance(const SentRequest& request) {
    const std::vector<std::string> from = Split(request.Value("DDKFieldFromCode"));
    const std::vector<std::string> to = Split(request.Value("DDKFieldToCode"));
    const std::vector<std::string> credit = Split(request.Value("DDKFieldAllowCredit"));
    const std::vector<std::string> debit = Split(request.Value("DDKFieldAllowDebit"));
    const std::vector<std::string> years = Split(request.Value("DDKFieldYearName"));
    const std::vector<std::string> types = Split(request.Value("DDKFieldBalanceType"));
    if (std::find(types.begin(), types.end(), "Unknown") != types.end()) {
      RaiseError(request.function, "Balance type 'Unknown' does not exist");
    }
    const bool sub_codes = request.Value("ShowSubCodes") == "-1";
    const bool zero = request.Value("ShowZeroBalances") == "-1";
    std::string text = "<RepeatingBalance_DDKFunction><Records>";
    for (const Account& account : accounts) {
      if (!sub_codes && account.code.find('-') != std::string::npos) continue;
      bool in_range = false, allow_credit = false, allow_debit = false;
      for (std::size_t r = 0; r < from.size(); ++r) {
        const long long number = MainNumber(account.code);
        if (number < MainNumber(from[r]) || number > MainNumber(to[r].empty() ? from[r] : to[r])) {
          continue;
        }
        in_range = true;
        allow_credit = allow_credit || credit[r] == "-1";
        allow_debit = allow_debit || debit[r] == "-1";
      }
      if (!in_range) continue;
      std::vector<long long> amounts;
      for (std::size_t k = 0; k < years.size(); ++k) {
        amounts.push_back(account.cents * Factor(years[k], k < types.size() ? types[k] : ""));
      }
      if (amounts[0] > 0 && !allow_debit) continue;
      if (amounts[0] < 0 && !allow_credit) continue;
      if (!zero &&
          std::all_of(amounts.begin(), amounts.end(), [](long long a) { return a == 0; })) {
        continue;
      }
      text += "<Rec CODE='" + account.code + "' DESCRIPTION='Account " + account.code + "'";
      for (std::size_t k = 0; k < amounts.size(); ++k) {
        text +=
            " AMOUNT" + (k ? std::to_string(k + 1) : std::string()) + "='" + Text(amounts[k]) + "'";
      }
      text += "/>";
    }
    text += "</Records></RepeatingBalance_DDKFunction>";
    return xml::Document::Parse(text).DocumentElement();
  }
};

class RecordingCommand : public ICommand, ICommandDefinition, ICommandFilters {
 public:
  RecordingCommand(RecordingDriver& driver, std::string name) : m_driver(driver) {
    m_request.function = std::move(name);
  }
  ICommandDefinition& definition() override { return *this; }
  ICommandFilters& Filters() override { return *this; }
  void Clear() override { m_request.filters.clear(); }
  void Add(const std::string& key, std::optional<std::int32_t> option, const std::string& field,
           const FilterValue& value, std::optional<std::int32_t> mode,
           std::optional<std::int32_t>) override {
    std::string text;
    if (const auto* single = std::get_if<std::string>(&value)) {
      text = *single;
    } else {
      const auto& parts = std::get<std::vector<std::string>>(value);
      for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? "|" : "") + parts[i];
    }
    m_request.filters.push_back({key, option, field, text, mode});
  }
  xml::Node Execute() override {
    m_driver.requests.push_back(m_request);
    return m_driver.Answer(m_request);
  }

 private:
  RecordingDriver& m_driver;
  SentRequest m_request;
};

class RecordingFactory : public IDriverCommandFactory {
 public:
  explicit RecordingFactory(RecordingDriver& driver) : m_driver(driver) {}
  void Init(const xml::Node&) override {}
  std::shared_ptr<ICommand> CreateCommand(std::int32_t, const std::string& name) override {
    return std::make_shared<RecordingCommand>(m_driver, name);
  }

 private:
  RecordingDriver& m_driver;
};

class RecordingNodeStorage : public INodeStorageProvider {
 public:
  explicit RecordingNodeStorage(RecordingDriver& driver) : m_driver(driver) {}
  xml::Node LaunchProperties() override { return {}; }
  void LaunchProperties(const xml::Node&) override {}
  std::shared_ptr<ICommandFactory> CreateCommandFactory(std::int32_t) override {
    return std::make_shared<RecordingFactory>(m_driver);
  }

 private:
  RecordingDriver& m_driver;
};

// The chart map of the tests.
inline constexpr const char* kTestChartMap =
    "<ChartMap>"
    "<Folder><ItemKey>REVENUE</ItemKey>"
    "<Range Name='4000:4999' From='4000' To='4999' Credit='-1' Debit='-1'/></Folder>"
    "<Folder><ItemKey>COSTS</ItemKey>"
    "<Folder><ItemKey>MATERIALS</ItemKey><Range Name='5000:5999' From='5000' To='5999'/></Folder>"
    "<Range Name='6000:6999' From='6000' To='6999'/></Folder>"
    "<Folder><ItemKey>CASH</ItemKey>"
    "<Range Name='1000:1099' From='1000' To='1099' Credit='0' Debit='-1'/></Folder>"
    "<Folder><ItemKey>PROFIT</ItemKey><Mapping Name='REVENUE'/><Mapping Name='Costs'/></Folder>"
    "<Folder><ItemKey>LOOPA</ItemKey><Range Name='4000:4009' From='4000' To='4009'/>"
    "<Mapping Name='LOOPB'/></Folder>"
    "<Folder><ItemKey>LOOPB</ItemKey><Range Name='5000:5009' From='5000' To='5009'/>"
    "<Range Name='4000:4009' From='4000' To='4009'/><Mapping Name='LOOPA'/></Folder>"
    "<Folder><ItemKey>EMPTY</ItemKey></Folder>"
    "<Folder><ItemKey>DOUBLED</ItemKey><Range Name='x' From='6000--10' To='6000-40-'/></Folder>"
    "</ChartMap>";

class LedgerStoreContext : public FakeStoreContext {
 public:
  xml::Node ChartMapDefinitions() override { return chart_map; }
  std::int16_t CurrentPeriod() override { return 7; }
  xml::Node chart_map = xml::Document::Parse(kTestChartMap).DocumentElement();
};

class TestDatabaseMapField : public IDatabaseMapField {
 public:
  explicit TestDatabaseMapField(std::string name) : m_name(std::move(name)) {}
  std::string Name() const override { return m_name; }

 private:
  std::string m_name;
};

class TestDatabaseMapTable : public IDatabaseMapTable {
 public:
  explicit TestDatabaseMapTable(std::string name) : m_name(std::move(name)) {}
  std::string Name() const override { return m_name; }
  std::shared_ptr<IDatabaseMapField> Field(const std::string& name) override {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper != "CODE" && upper != "NAME" && upper != "REVENUE") return nullptr;
    return std::make_shared<TestDatabaseMapField>(upper);
  }

 private:
  std::string m_name;
};

// Table CUSTOMERS (fields Code, Name, Revenue) with three customers in 2026
// and two in 2025; table EMPTY with no records.
class TestDatabaseMap : public IDatabaseMapProvider {
 public:
  void Init(const xml::Node&) override {}
  std::shared_ptr<IDatabaseMapTable> Table(const std::string& name) override {
    const std::string upper = Upper(name);
    if (upper != "CUSTOMERS" && upper != "EMPTY") return nullptr;
    return std::make_shared<TestDatabaseMapTable>(upper);
  }
  std::int32_t RecordCount(const std::string& table, const std::string& year) override {
    return static_cast<std::int32_t>(Rows(table, year).size());
  }
  std::string FieldValue(const std::string& table, const std::string& field, std::int32_t number,
                         const std::string& year) override {
    const auto rows = Rows(table, year);
    const std::string upper = Upper(field);
    if (upper != "CODE" && upper != "NAME" && upper != "REVENUE") {
      RaiseError("RecordValue", "Database-map field does not exist");
    }
    if (number < 1 || number > static_cast<std::int32_t>(rows.size())) return {};
    return rows[static_cast<std::size_t>(number - 1)].at(upper);
  }
  xml::Node Records(const std::string& definition) override {
    definitions.push_back(definition);
    const std::size_t semicolon = definition.find(';');
    std::string year = "Current";
    const std::size_t at = definition.find("Year=");
    if (at != std::string::npos) year = definition.substr(at + 5);
    xml::Node list = xml::Document::Parse("<Records/>").DocumentElement();
    list.SetAttribute("Table", Upper(definition.substr(0, semicolon)));
    for (const auto& row : Rows(definition.substr(0, semicolon), year)) {
      xml::Node record = list.AppendChild(list.OwnerDocument().CreateElement("Rec"));
      for (const char* field : {"CODE", "NAME", "REVENUE"})
        record.SetAttribute(field, row.at(field));
    }
    return list;
  }
  std::vector<std::string> definitions;

 private:
  static std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (text.rfind("DB.", 0) == 0) text = text.substr(3);
    return text;
  }
  std::vector<std::map<std::string, std::string>> Rows(const std::string& table,
                                                       const std::string& year) {
    const std::string upper = Upper(table);
    if (upper == "EMPTY") return {};
    if (upper != "CUSTOMERS") RaiseError("RecordCount", "Database-map table does not exist");
    if (year == "2026" || year == "Current") {
      return {{{"CODE", "C1"}, {"NAME", "Alpha"}, {"REVENUE", "100"}},
              {{"CODE", "C2"}, {"NAME", "Beta"}, {"REVENUE", "200"}},
              {{"CODE", "C3"}, {"NAME", "Gamma"}, {"REVENUE", "300"}}};
    }
    if (year == "2025") {
      return {{{"CODE", "C2"}, {"NAME", "Beta"}, {"REVENUE", "20"}},
              {{"CODE", "C1"}, {"NAME", "Alpha"}, {"REVENUE", "10"}}};
    }
    return {};
  }
};

// Registers the fakes for the life of the object; tests run their bodies on
// fresh threads so the components are created anew.
class LedgerComponents {
 public:
  LedgerComponents() {
    auto store = context;
    ComponentRegistry::Register(kStorageProviderId, [store] {
      auto provider = std::make_shared<FakeStorageProvider>();
      provider->context = store;
      return provider;
    });
    RecordingDriver* driver_pointer = &driver;
    ComponentRegistry::Register(kNodeStorageProviderId, [driver_pointer] {
      return std::make_shared<RecordingNodeStorage>(*driver_pointer);
    });
    auto map = database_map;
    ComponentRegistry::Register(kDatabaseMapProviderId, [map] { return map; });
  }
  ~LedgerComponents() {
    ComponentRegistry::Register(kStorageProviderId, nullptr);
    ComponentRegistry::Register(kNodeStorageProviderId, nullptr);
    ComponentRegistry::Register(kDatabaseMapProviderId, nullptr);
  }
  LedgerComponents(const LedgerComponents&) = delete;
  LedgerComponents& operator=(const LedgerComponents&) = delete;

  RecordingDriver driver;
  std::shared_ptr<LedgerStoreContext> context = std::make_shared<LedgerStoreContext>();
  std::shared_ptr<TestDatabaseMap> database_map = std::make_shared<TestDatabaseMap>();
};

}  // namespace orvo::testing

#endif  // ORVO_TESTS_EVALUATE_LEDGER_FAKES_H_
