#include "formula/formula_names.h"

#include <unordered_map>

#include "frame/column_letters.h"
#include "frame/driver_cache.h"
#include "frame/launch_properties.h"
#include "frame/named_range_lookup.h"
#include "frame/provider_access.h"
#include "frame/thread_context.h"

namespace orvo {
namespace {

// Before any Init on the thread nothing outside the formula is defined.
class NoDefinedNames : public FormulaNames {
 public:
  bool IsBookmark(const std::string&) override { return false; }
  bool IsNamedRange(const std::string&) override { return false; }
  bool IsChartMapFolder(const std::string&) override { return false; }
  bool IsDriverField(const std::string&) override { return false; }
  std::shared_ptr<IDatabaseMapTable> DatabaseMapTable(const std::string&) override {
    return nullptr;
  }
  std::int16_t ColumnNumber(const std::string& letters) override {
    return LetterColumnNumber(letters);
  }
};

// Reads a key attribute of the list's children with the given element name.
auto ChildKeys(std::string_view element, std::string_view attribute) {
  return [element, attribute](const xml::Node& list, std::unordered_set<std::string>& keys) {
    for (const xml::Node& child : list.ChildNodes()) {
      if (child.Type() != xml::NodeType::kElement) continue;
      if (!element.empty() && child.Name() != element) continue;
      if (auto key = child.GetAttribute(attribute)) keys.insert(*key);
    }
  };
}

// Chart-map folders are any descendants carrying an ItemKey child element.
void ReadFolderKeys(const xml::Node& list, std::unordered_set<std::string>& keys) {
  for (const xml::Node& key : list.SelectNodes(".//ItemKey")) keys.insert(key.Text());
}

// Names defined in the thread's store context and data driver.
class ProviderNames : public FormulaNames {
 public:
  void StartParse() override {
    if (reuse_count == 0) DropProviders();
  }
  void DropProviders() {
    m_store.reset();
    m_database_map.reset();
  }
  bool IsBookmark(const std::string& key) override {
    return m_bookmarks.For(Store().BookmarkDefinitions(), ChildKeys("BMk", "Key")).count(key);
  }
  bool IsNamedRange(const std::string& key) override {
    return orvo::IsNamedRange(Store().NamedRangeDefinitions(), key);
  }
  bool IsChartMapFolder(const std::string& key) override {
    return m_folders.For(Store().ChartMapDefinitions(), ReadFolderKeys).count(key);
  }
  bool IsDriverField(const std::string& name) override {
    return m_fields.For(SupportedProductFields(), ChildKeys("", "Name")).count(name);
  }
  std::shared_ptr<IDatabaseMapTable> DatabaseMapTable(const std::string& name) override {
    if (!m_database_map) m_database_map = GetDatabaseMapProvider();
    return m_database_map->Table(name);
  }
  std::int16_t ColumnNumber(const std::string& letters) override {
    auto cached = m_columns.find(letters);
    if (cached != m_columns.end()) return cached->second;
    const std::int16_t number = GetFormatProvider()->ColumnNumber(letters);
    m_columns.emplace(letters, number);
    return number;
  }

 private:
  // The store context is asked for once per parse: handing it out refreshes
  // the storage provider's copy of the launch properties each time.
  IStoreContext& Store() {
    if (!m_store) m_store = GetStoreContext();
    return *m_store;
  }

  std::shared_ptr<IStoreContext> m_store;
  std::shared_ptr<IDatabaseMapProvider> m_database_map;
  KeyIndex m_bookmarks;
  KeyIndex m_folders;
  KeyIndex m_fields;
  std::unordered_map<std::string, std::int16_t> m_columns;

 public:
  int reuse_count = 0;  // the ReuseProviders alive on the thread
};

}  // namespace

// Both sets of names of the thread; ForThread picks one.
struct FormulaNameLookups {
  NoDefinedNames none;
  ProviderNames providers;
};

FormulaNames::ReuseProviders::ReuseProviders() {
  ++ThreadContext::Current().NameLookups().Get().providers.reuse_count;
}

FormulaNames::ReuseProviders::~ReuseProviders() {
  ProviderNames& names = ThreadContext::Current().NameLookups().Get().providers;
  // A thread context reset meanwhile has started the count afresh.
  if (names.reuse_count > 0 && --names.reuse_count == 0) names.DropProviders();
}

FormulaNames& FormulaNames::ForThread() {
  FormulaNameLookups& lookups = ThreadContext::Current().NameLookups().Get();
  if (!GetLaunchProperties()) return lookups.none;
  return lookups.providers;
}

}  // namespace orvo
