#include "providers/store_context.h"

#include <utility>

namespace orvo::providers {

WorkspaceStoreContext::WorkspaceStoreContext(std::shared_ptr<Workspace> workspace)
    : m_workspace(std::move(workspace)) {}

void WorkspaceStoreContext::CheckStore() {
  m_workspace->Settings();
  for (std::size_t list = 0; list < kWorkspaceListCount; ++list) {
    m_workspace->List(static_cast<WorkspaceList>(list));
  }
}

bool WorkspaceStoreContext::StorageMode() { return m_workspace->Settings().storage_mode; }

xml::Node WorkspaceStoreContext::BookmarkDefinitions() {
  return m_workspace->List(WorkspaceList::kBookmarks);
}

xml::Node WorkspaceStoreContext::NamedRangeDefinitions() {
  return m_workspace->List(WorkspaceList::kNamedRanges);
}

xml::Node WorkspaceStoreContext::ChartMapDefinitions() {
  return m_workspace->List(WorkspaceList::kChartMap);
}

xml::Node WorkspaceStoreContext::DataColumnDefinitions() {
  return m_workspace->DataColumnPart("Definitions");
}

xml::Node WorkspaceStoreContext::ReportLibrary() {
  return m_workspace->List(WorkspaceList::kReports);
}

xml::Node WorkspaceStoreContext::FormatLibrary() {
  return m_workspace->List(WorkspaceList::kFormats);
}

xml::Node WorkspaceStoreContext::DataColumnConfigurations() {
  return m_workspace->DataColumnPart("Configurations");
}

xml::Node WorkspaceStoreContext::StyleLibrary() {
  return m_workspace->List(WorkspaceList::kStyles);
}

std::shared_ptr<IDatabaseMapProvider> WorkspaceStoreContext::DatabaseMapProvider() {
  return m_database_map_provider;
}

void WorkspaceStoreContext::DatabaseMapProvider(std::shared_ptr<IDatabaseMapProvider> provider) {
  m_database_map_provider = std::move(provider);
}

std::int16_t WorkspaceStoreContext::CurrentPeriod() {
  return m_workspace->Settings().current_period;
}

ISharedCache& WorkspaceStoreContext::SharedCache() { return m_shared_cache; }

std::optional<PrinterMargins> WorkspaceStoreContext::PrinterSettings() {
  return m_workspace->Settings().printer;
}

void WorkspaceStoreContext::NotifyStatus(const std::string& status) { m_last_status = status; }

}  // namespace orvo::providers
