// The reference storage provider ("OrvoStorage.CRStorageProvider"): hands out
// the store context of the workspace its LaunchProperties name, and the
// provider registry shared by everything that uses this provider.
//
// The store context is made on first request. When LaunchProperties later
// names another workspace folder, the provider starts over: the next request
// gets a new store context and the registry is emptied, so no provider keeps
// serving the old folder.
#ifndef ORVO_PROVIDERS_STORAGE_PROVIDER_H_
#define ORVO_PROVIDERS_STORAGE_PROVIDER_H_

#include <filesystem>
#include <memory>
#include <string>

#include "orvo/providers.h"
#include "providers/provider_registry.h"
#include "providers/store_context.h"

namespace orvo::providers {

class CRStorageProvider : public IStorageProvider {
 public:
  CRStorageProvider();

  xml::Node LaunchProperties() override;
  void LaunchProperties(const xml::Node& launch_properties) override;
  // Raises when the launch properties name no workspace folder.
  std::shared_ptr<IStoreContext> StoreContext() override;
  std::shared_ptr<IProviderRegistry> ProviderRegistry() override;

 private:
  xml::Node m_launch_properties;
  std::filesystem::path m_folder;
  // The folder text m_folder was resolved from, and the current directory
  // it was resolved against (empty for an absolute or empty text).
  std::string m_folder_text;
  std::string m_directory;
  bool m_folder_known = false;
  std::shared_ptr<WorkspaceStoreContext> m_store_context;
  std::shared_ptr<providers::ProviderRegistry> m_registry;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_STORAGE_PROVIDER_H_
