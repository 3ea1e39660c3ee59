// The reference XML-node storage provider ("OrvoStorage.CStgProviderXMLNode"):
// the way to the data driver. CreateCommandFactory(1) creates the component
// registered as kCommandFactoryId ("OrvoLedger.CCommandFactory", the SQLite
// ledger driver by default), which must be an ICommandFactory; when it is an
// IDriverCommandFactory it is first Init-ed with this provider's
// LaunchProperties. Every call creates a new factory.
#ifndef ORVO_PROVIDERS_NODE_STORAGE_PROVIDER_H_
#define ORVO_PROVIDERS_NODE_STORAGE_PROVIDER_H_

#include <memory>

#include "orvo/providers.h"

namespace orvo::providers {

class CStgProviderXMLNode : public INodeStorageProvider {
 public:
  xml::Node LaunchProperties() override;
  void LaunchProperties(const xml::Node& launch_properties) override;
  // Raises for any kind but 1, and when no data driver is registered.
  std::shared_ptr<ICommandFactory> CreateCommandFactory(std::int32_t kind) override;

 private:
  xml::Node m_launch_properties;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_NODE_STORAGE_PROVIDER_H_
