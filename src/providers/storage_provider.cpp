#include "providers/storage_provider.h"

#include <unistd.h>

#include <array>

namespace orvo::providers {

CRStorageProvider::CRStorageProvider()
    : m_registry(std::make_shared<providers::ProviderRegistry>()) {}

xml::Node CRStorageProvider::LaunchProperties() { return m_launch_properties; }

void CRStorageProvider::LaunchProperties(const xml::Node& launch_properties) {
  m_launch_properties = launch_properties;
  // The launch properties are handed over before every use of the provider,
  // mostly unchanged: the same folder text resolves to the same folder while
  // the current directory (for a relative text) stays the same.
  std::string text = Workspace::FolderTextOf(launch_properties);
  std::string directory;
  bool known = true;
  if (!text.empty() && text.front() != '/') {
    std::array<char, 4096> buffer{};
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      directory = buffer.data();
    } else {
      known = false;
    }
  }
  if (m_folder_known && text == m_folder_text && directory == m_directory) return;
  m_folder_known = known;
  m_folder_text = std::move(text);
  m_directory = std::move(directory);
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
