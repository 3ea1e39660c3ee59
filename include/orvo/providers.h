// The outside components the library reads stored definitions, formats,
// styles and ledger data through, and the registry that creates them by
// programmatic identifier.
//
// The library ships reference implementations of all of them (a workspace of
// XML files plus an SQLite ledger) registered under the identifiers below
// before main runs. A host substitutes its own by registering a factory under
// the same identifier before the component is first needed on a thread:
//
//   orvo::ComponentRegistry::Register(orvo::kStorageProviderId,
//       [] { return std::make_shared<MyStorageProvider>(); });
//
// Components created on a thread live as long as that thread (or, for the
// format and data-column providers, as long as the storage provider's
// registry that holds them); a later registration affects only creations
// made after it.
//
// Late-bound member names of the original calling convention are kept
// (LaunchProperties, Init, CreateCommandFactory, StoreContext, ...).
#ifndef ORVO_PROVIDERS_H_
#define ORVO_PROVIDERS_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "orvo/data_driver.h"
#include "orvo/xml.h"

namespace orvo {

inline constexpr const char* kStorageProviderId = "OrvoStorage.CRStorageProvider";
inline constexpr const char* kNodeStorageProviderId = "OrvoStorage.CStgProviderXMLNode";
inline constexpr const char* kFormatProviderId = "OrvoBusMng.CFormatProvider";
inline constexpr const char* kDynamicColumnProviderId = "OrvoBusMng.cDynamicColProvider";
inline constexpr const char* kDatabaseMapProviderId = "OrvoDbMap.CDatabaseMapProvider";
// The data driver's command factory, created by the XML-node storage provider.
inline constexpr const char* kCommandFactoryId = "OrvoLedger.CCommandFactory";
// The host's parser pool, handed parsers by every preview builder it creates.
inline constexpr const char* kParserPoolId = "OrvoServices.CParserPool";
// The host's status object, told when report builds and previews end.
inline constexpr const char* kPreviewStatusId = "OrvoServices.CPreviewStatus";

// Anything creatable by programmatic identifier.
class IComponent {
 public:
  virtual ~IComponent() = default;
};

// Creation by programmatic identifier. Process-wide and thread-safe; the
// reference components are registered before main runs. Identifiers are
// compared exactly (case-sensitive).
//
// Failures are number 1 with source "ComponentRegistry.Create" and a
// description naming the identifier.
class ComponentRegistry {
 public:
  using Factory = std::function<std::shared_ptr<IComponent>()>;

  // Registers (or replaces) the factory for an identifier; an empty factory
  // removes the registration. Returns the factory it replaced (empty when
  // there was none), so a caller that substitutes a component for a while
  // can put the previous one back.
  static Factory Register(const std::string& prog_id, Factory factory);
  // Registers the factory only when the identifier has none yet. The
  // reference components use it, so a host's own Register wins whichever
  // runs first during static initialisation.
  static void RegisterDefault(const std::string& prog_id, Factory factory);
  // Creates a component; an unknown identifier, or a factory that returns
  // nothing, raises a failure naming it. Failures a factory raises itself
  // propagate unchanged.
  static std::shared_ptr<IComponent> Create(const std::string& prog_id);

  // Creates and checks the component's interface; a component that does not
  // offer T raises a failure naming the identifier.
  template <class T>
  static std::shared_ptr<T> CreateAs(const std::string& prog_id) {
    auto component = std::dynamic_pointer_cast<T>(Create(prog_id));
    if (!component) RaiseWrongInterface(prog_id);
    return component;
  }

 private:
  [[noreturn]] static void RaiseWrongInterface(const std::string& prog_id);
};

// The business-manager format provider.
class IFormatProvider : public IComponent {
 public:
  virtual void Init(const xml::Node& launch_properties) = 0;
  // A new empty format element.
  virtual xml::Node NewFormat() = 0;
  // A new item element for a row and a column, with at least four
  // attributes: the third is the column number, the fourth the value.
  virtual xml::Node NewItem(std::int32_t row, std::int32_t column) = 0;
  // The full stored format for a key (compared in upper case), or a null node
  // when there is none. The caller owns the returned element: changing it
  // leaves the stored format untouched.
  virtual xml::Node GetFormat(const std::string& key) = 0;
  // The column number of column letters (A = 1, ..., Z = 26, AA = 27, ...,
  // letters compared in upper case) or of a reserved column name ("PRINT",
  // "COLUMN_HEADER", "C0" to "C16"); -1 when the text is not a column.
  virtual std::int16_t ColumnNumber(const std::string& letters) = 0;
};

// The business-manager data-column provider.
class IDynamicColumnProvider : public IComponent {
 public:
  virtual void Init(const xml::Node& launch_properties) = 0;
  // The stored data-column configuration for a key, or a null node.
  virtual xml::Node Configuration(const std::string& key) = 0;
};

// The storage provider's registry, shared by every user of the provider.
class IProviderRegistry {
 public:
  virtual ~IProviderRegistry() = default;
  virtual std::shared_ptr<IFormatProvider> FormatProvider() = 0;
  virtual void FormatProvider(std::shared_ptr<IFormatProvider> provider) = 0;
  virtual std::shared_ptr<IDynamicColumnProvider> DynamicColumnProvider() = 0;
  virtual void DynamicColumnProvider(std::shared_ptr<IDynamicColumnProvider> provider) = 0;
};

class IDatabaseMapField {
 public:
  virtual ~IDatabaseMapField() = default;
  virtual std::string Name() const = 0;
};

class IDatabaseMapTable {
 public:
  virtual ~IDatabaseMapTable() = default;
  virtual std::string Name() const = 0;
  // The field of that name (case-insensitive), or null.
  virtual std::shared_ptr<IDatabaseMapField> Field(const std::string& name) = 0;
};

// Database-map tables: named tables of records per ledger year.
class IDatabaseMapProvider : public IComponent {
 public:
  virtual void Init(const xml::Node& launch_properties) = 0;
  // The table of that name (case-insensitive), or null.
  virtual std::shared_ptr<IDatabaseMapTable> Table(const std::string& name) = 0;
  // Number of records of a table for a ledger year.
  virtual std::int32_t RecordCount(const std::string& table, const std::string& year) = 0;
  // A field's value in record `record_number` (1-based) of a table for a year.
  virtual std::string FieldValue(const std::string& table, const std::string& field,
                                 std::int32_t record_number, const std::string& year) = 0;
  // The records of a database-map repeat definition text: an element with one
  // child element per record.
  virtual xml::Node Records(const std::string& definition) = 0;
};

// Holds elements by name across evaluator instances ("ERange", "EPRItems").
class ISharedCache {
 public:
  virtual ~ISharedCache() = default;
  virtual xml::Node Item(const std::string& name) = 0;  // null when absent
  virtual void Item(const std::string& name, const xml::Node& element) = 0;
};

// Page margins in millimetres.
struct PrinterMargins {
  double top = 0;
  double bottom = 0;
  double left = 0;
  double right = 0;
};

// What the library reads of the stored report data.
class IStoreContext {
 public:
  virtual ~IStoreContext() = default;

  // False selects the XML-node storage provider (and so the data driver).
  virtual bool StorageMode() = 0;

  // Definition lists: BMk children (Key upper case, Fmt, Row, Note), Nrg
  // children (Key upper case, Fmt), chart-map folders (descendants carrying
  // their key in an ItemKey child), DC children keyed by ID.
  virtual xml::Node BookmarkDefinitions() = 0;
  virtual xml::Node NamedRangeDefinitions() = 0;
  virtual xml::Node ChartMapDefinitions() = 0;
  virtual xml::Node DataColumnDefinitions() = 0;

  // Libraries: Rep children, Fmt descendants, DC children by Key, named styles.
  virtual xml::Node ReportLibrary() = 0;
  virtual xml::Node FormatLibrary() = 0;
  virtual xml::Node DataColumnConfigurations() = 0;
  virtual xml::Node StyleLibrary() = 0;

  // Read/write object property; the library creates the provider on first use.
  virtual std::shared_ptr<IDatabaseMapProvider> DatabaseMapProvider() = 0;
  virtual void DatabaseMapProvider(std::shared_ptr<IDatabaseMapProvider> provider) = 0;

  // The period used for "Current Period".
  virtual std::int16_t CurrentPeriod() = 0;
  virtual ISharedCache& SharedCache() = 0;
  // Four margins, or nothing when no printer settings are stored.
  virtual std::optional<PrinterMargins> PrinterSettings() = 0;
  // Status texts of the library: "END_PREVIEW" when CreatePreview ends.
  virtual void NotifyStatus(const std::string& status) = 0;
};

class cParser;

// A pool of parsers kept by the host. Each preview builder creates three
// parsers at construction and hands each to the pool with one call; the
// library makes no other use of the pool.
class IParserPool : public IComponent {
 public:
  virtual void AddParser(std::shared_ptr<cParser> parser) = 0;
};

// The host's status object, shared by every preview builder on a thread. A
// builder calls it with the value 100 at the end of each report build and
// with every argument omitted at the end of CreatePreview.
class IPreviewStatus : public IComponent {
 public:
  virtual void UpdateStatus(std::optional<std::int32_t> value = std::nullopt,
                            std::optional<std::string> text = std::nullopt,
                            std::optional<std::string> detail = std::nullopt) = 0;
};

// Offered, besides IStoreContext, by a store context that can check all of
// its stored data at once; the reference workspace store context does. A
// store context reads its data lazily, and the parser turns a failure met
// while looking a name up into a message of the formula being parsed; a host
// or tool that calls CheckStore first gets one failure naming the broken file
// instead:
//
//   std::shared_ptr<IStoreContext> store = storage->StoreContext();
//   if (auto check = std::dynamic_pointer_cast<IStoreCheck>(store)) check->CheckStore();
class IStoreCheck {
 public:
  virtual ~IStoreCheck() = default;
  // Reads everything the store context would otherwise read on first use
  // and raises the first problem found, naming the folder or file. Changes
  // nothing; what it read is kept, as if it had been asked for.
  virtual void CheckStore() = 0;
};

class IStorageProvider : public IComponent {
 public:
  virtual xml::Node LaunchProperties() = 0;
  virtual void LaunchProperties(const xml::Node& launch_properties) = 0;
  virtual std::shared_ptr<IStoreContext> StoreContext() = 0;
  virtual std::shared_ptr<IProviderRegistry> ProviderRegistry() = 0;
};

class INodeStorageProvider : public IComponent {
 public:
  virtual xml::Node LaunchProperties() = 0;
  virtual void LaunchProperties(const xml::Node& launch_properties) = 0;
  // The library passes kind 1: the data driver's command factory.
  virtual std::shared_ptr<ICommandFactory> CreateCommandFactory(std::int32_t kind) = 0;
};

// A data driver's command factory that wants the launch properties. The
// reference XML-node storage provider creates the component registered as
// kCommandFactoryId; it must be an ICommandFactory, and when it also offers
// this interface, Init is called with the provider's launch-properties node
// before the factory is handed out.
class IDriverCommandFactory : public IComponent, public ICommandFactory {
 public:
  virtual void Init(const xml::Node& launch_properties) = 0;
};

}  // namespace orvo

#endif  // ORVO_PROVIDERS_H_
