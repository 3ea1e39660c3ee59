// Stand-ins for the outside components, registered by tests under
// the real identifiers. They count what the library does to them.
#ifndef ORVO_TESTS_SUPPORT_FAKE_COMPONENTS_H_
#define ORVO_TESTS_SUPPORT_FAKE_COMPONENTS_H_

#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvo/data_driver.h"
#include "orvo/providers.h"
#include "support/on_new_thread.h"

namespace orvo::testing {

class FakeRegistry : public IProviderRegistry {
 public:
  std::shared_ptr<IFormatProvider> FormatProvider() override { return format; }
  void FormatProvider(std::shared_ptr<IFormatProvider> p) override { format = std::move(p); }
  std::shared_ptr<IDynamicColumnProvider> DynamicColumnProvider() override { return columns; }
  void DynamicColumnProvider(std::shared_ptr<IDynamicColumnProvider> p) override {
    columns = std::move(p);
  }
  std::shared_ptr<IFormatProvider> format;
  std::shared_ptr<IDynamicColumnProvider> columns;
};

class FakeSharedCache : public ISharedCache {
 public:
  xml::Node Item(const std::string& name) override {
    auto found = items.find(name);
    return found == items.end() ? xml::Node() : found->second;
  }
  void Item(const std::string& name, const xml::Node& element) override { items[name] = element; }
  std::map<std::string, xml::Node> items;
};

class FakeStoreContext : public IStoreContext {
 public:
  bool StorageMode() override { return storage_mode; }
  xml::Node BookmarkDefinitions() override { return {}; }
  xml::Node NamedRangeDefinitions() override { return {}; }
  xml::Node ChartMapDefinitions() override { return {}; }
  xml::Node DataColumnDefinitions() override { return {}; }
  xml::Node ReportLibrary() override { return {}; }
  xml::Node FormatLibrary() override { return {}; }
  xml::Node DataColumnConfigurations() override { return {}; }
  xml::Node StyleLibrary() override { return {}; }
  std::shared_ptr<IDatabaseMapProvider> DatabaseMapProvider() override { return database_map; }
  void DatabaseMapProvider(std::shared_ptr<IDatabaseMapProvider> p) override {
    database_map = std::move(p);
  }
  std::int16_t CurrentPeriod() override { return 1; }
  ISharedCache& SharedCache() override { return cache; }
  std::optional<PrinterMargins> PrinterSettings() override { return std::nullopt; }
  void NotifyStatus(const std::string&) override {}

  bool storage_mode = false;
  std::shared_ptr<IDatabaseMapProvider> database_map;
  FakeSharedCache cache;
};

class FakeStorageProvider : public IStorageProvider {
 public:
  xml::Node LaunchProperties() override { return launch_properties; }
  void LaunchProperties(const xml::Node& node) override {
    launch_properties = node;
    ++launch_property_sets;
  }
  std::shared_ptr<IStoreContext> StoreContext() override { return context; }
  std::shared_ptr<IProviderRegistry> ProviderRegistry() override { return registry; }

  xml::Node launch_properties;
  int launch_property_sets = 0;
  std::shared_ptr<FakeStoreContext> context = std::make_shared<FakeStoreContext>();
  std::shared_ptr<FakeRegistry> registry = std::make_shared<FakeRegistry>();
};

// A command answering each function name with a fixed list of answers, one
// per Execute (the last one repeats); counts executions by name.
class FakeDriver {
 public:
  std::map<std::string, std::vector<std::string>> answers;  // "" answers Nothing
  std::map<std::string, int> executions;
};

class FakeCommand : public ICommand, ICommandDefinition, ICommandFilters {
 public:
  FakeCommand(FakeDriver& driver, std::string name) : m_driver(driver), m_name(std::move(name)) {}
  ICommandDefinition& definition() override { return *this; }
  ICommandFilters& Filters() override { return *this; }
  void Clear() override {}
  void Add(const std::string&, std::optional<std::int32_t>, const std::string&, const FilterValue&,
           std::optional<std::int32_t>, std::optional<std::int32_t>) override {}
  xml::Node Execute() override {
    int call = m_driver.executions[m_name]++;
    const std::vector<std::string>& list = m_driver.answers[m_name];
    if (list.empty()) return {};
    const std::string& text = list[std::min<std::size_t>(call, list.size() - 1)];
    return text.empty() ? xml::Node() : xml::Document::Parse(text).DocumentElement();
  }

 private:
  FakeDriver& m_driver;
  std::string m_name;
};

class FakeCommandFactory : public IDriverCommandFactory {
 public:
  explicit FakeCommandFactory(FakeDriver& driver) : m_driver(driver) {}
  void Init(const xml::Node& node) override { launch_properties = node; }
  std::shared_ptr<ICommand> CreateCommand(std::int32_t, const std::string& name) override {
    return std::make_shared<FakeCommand>(m_driver, name);
  }
  xml::Node launch_properties;

 private:
  FakeDriver& m_driver;
};

class FakeNodeStorageProvider : public INodeStorageProvider {
 public:
  xml::Node LaunchProperties() override { return launch_properties; }
  void LaunchProperties(const xml::Node& node) override {
    launch_properties = node;
    ++launch_property_sets;
  }
  std::shared_ptr<ICommandFactory> CreateCommandFactory(std::int32_t kind) override {
    kinds.push_back(kind);
    return std::make_shared<FakeCommandFactory>(*driver);
  }
  xml::Node launch_properties;
  int launch_property_sets = 0;
  std::vector<std::int32_t> kinds;
  FakeDriver* driver = nullptr;
};

class FakeFormatProvider : public IFormatProvider {
 public:
  void Init(const xml::Node& node) override { init_nodes.push_back(node); }
  xml::Node NewFormat() override { return {}; }
  xml::Node NewItem(std::int32_t, std::int32_t) override { return {}; }
  xml::Node GetFormat(const std::string&) override { return {}; }
  std::int16_t ColumnNumber(const std::string&) override { return -1; }
  std::vector<xml::Node> init_nodes;
};

class FakeDynamicColumnProvider : public IDynamicColumnProvider {
 public:
  void Init(const xml::Node& node) override { init_nodes.push_back(node); }
  xml::Node Configuration(const std::string&) override { return {}; }
  std::vector<xml::Node> init_nodes;
};

class FakeDatabaseMapProvider : public IDatabaseMapProvider {
 public:
  void Init(const xml::Node& node) override { init_nodes.push_back(node); }
  std::shared_ptr<IDatabaseMapTable> Table(const std::string&) override { return nullptr; }
  std::int32_t RecordCount(const std::string&, const std::string&) override { return 0; }
  std::string FieldValue(const std::string&, const std::string&, std::int32_t,
                         const std::string&) override {
    return {};
  }
  xml::Node Records(const std::string&) override { return {}; }
  std::vector<xml::Node> init_nodes;
};

// Substitutes factories for the scope of a test and puts back whatever was
// registered before, however the test ends, so no substitute outlives the
// test that made it (the tests of one program share one registry).
class ScopedRegistration {
 public:
  ScopedRegistration() = default;
  ~ScopedRegistration() {
    for (auto it = m_replaced.rbegin(); it != m_replaced.rend(); ++it) {
      ComponentRegistry::Register(it->first, std::move(it->second));
    }
  }
  ScopedRegistration(const ScopedRegistration&) = delete;
  ScopedRegistration& operator=(const ScopedRegistration&) = delete;

  void Register(const std::string& prog_id, ComponentRegistry::Factory factory) {
    m_replaced.emplace_back(prog_id, ComponentRegistry::Register(prog_id, std::move(factory)));
  }

 private:
  std::vector<std::pair<std::string, ComponentRegistry::Factory>> m_replaced;
};

// Registers a factory that creates a new T per call and counts creations.
// Creations are counted across threads, hence atomic.
template <class T>
std::shared_ptr<std::atomic<int>> RegisterCounting(const char* prog_id) {
  auto count = std::make_shared<std::atomic<int>>(0);
  ComponentRegistry::Register(prog_id, [count] {
    ++*count;
    return std::make_shared<T>();
  });
  return count;
}

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_FAKE_COMPONENTS_H_
