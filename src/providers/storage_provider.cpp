#include "providers/storage_provider.h"

namespace orvo::providers {

CRStorageProvider::CRStorageProvider()
    : m_registry(std::make_shared<providers::ProviderRegistry>()) {}

xml::Node CRStorageProvider::LaunchProperties() { return m_launch_properties; }

void CRStorageProvider::LaunchProperties(const xml::Node& launch_properties) {
  m_launch_properties = launch_properties;
  std::filesystem::path folder = Workspace::FolderOf(launch_properties);
  if (folder != m_folder) {
    m_folder = std::move(folder);
    m_store_context.reset();
    m_registry = std::make_shared<providers::ProviderRegistry>();
  }
}

std::shared_ptr<IStoreContext> CRStorageProvider::StoreContext() {
  if (!m_store_context) {
    m_store_context = std::make_shared<WorkspaceStoreContext>(Workspace::Open(m_launch_properties));
  }
  return m_store_context;
}

std::shared_ptr<IProviderRegistry> CRStorageProvider::ProviderRegistry() { return m_registry; }

}  // namespace orvo::providers
