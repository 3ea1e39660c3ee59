// The reference store context: the stored report data of one workspace
// folder (see Workspace), read lazily and never written.
//
// The definition lists and libraries are the workspace's parsed files
// themselves: each file's top element, detached so that "/" in a query means
// the list ("/BMk[@Key='X']", "/Nrg[@Key='X']"), or for data columns the
// Definitions/Configurations parts. The same node is returned on every call;
// changes a caller makes to it last as long as the store context and never
// reach the disk. NotifyStatus only remembers the last text.
#ifndef ORVO_PROVIDERS_STORE_CONTEXT_H_
#define ORVO_PROVIDERS_STORE_CONTEXT_H_

#include <memory>
#include <string>

#include "orvo/providers.h"
#include "providers/shared_cache.h"
#include "providers/workspace.h"

namespace orvo::providers {

class WorkspaceStoreContext : public IStoreContext, public IStoreCheck {
 public:
  explicit WorkspaceStoreContext(std::shared_ptr<Workspace> workspace);

  // Reads workspace.xml and every list file (IStoreCheck).
  void CheckStore() override;

  bool StorageMode() override;

  xml::Node BookmarkDefinitions() override;
  xml::Node NamedRangeDefinitions() override;
  xml::Node ChartMapDefinitions() override;
  xml::Node DataColumnDefinitions() override;

  xml::Node ReportLibrary() override;
  xml::Node FormatLibrary() override;
  xml::Node DataColumnConfigurations() override;
  xml::Node StyleLibrary() override;

  std::shared_ptr<IDatabaseMapProvider> DatabaseMapProvider() override;
  void DatabaseMapProvider(std::shared_ptr<IDatabaseMapProvider> provider) override;

  std::int16_t CurrentPeriod() override;
  ISharedCache& SharedCache() override;
  std::optional<PrinterMargins> PrinterSettings() override;
  void NotifyStatus(const std::string& status) override;

  Workspace& WorkspaceFiles() { return *m_workspace; }
  const std::string& LastStatus() const noexcept { return m_last_status; }

 private:
  std::shared_ptr<Workspace> m_workspace;
  std::shared_ptr<IDatabaseMapProvider> m_database_map_provider;
  providers::SharedCache m_shared_cache;
  std::string m_last_status;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_STORE_CONTEXT_H_
