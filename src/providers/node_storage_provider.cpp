#include "providers/node_storage_provider.h"

#include <string>

#include "orvo/error.h"

namespace orvo::providers {

xml::Node CStgProviderXMLNode::LaunchProperties() { return m_launch_properties; }

void CStgProviderXMLNode::LaunchProperties(const xml::Node& launch_properties) {
  m_launch_properties = launch_properties;
}

std::shared_ptr<ICommandFactory> CStgProviderXMLNode::CreateCommandFactory(std::int32_t kind) {
  if (kind != 1) {
    RaiseError("CreateCommandFactory", "Unknown command factory kind " + std::to_string(kind) +
                                           "; the data driver's factory is kind 1");
  }
  std::shared_ptr<IComponent> component = ComponentRegistry::Create(kCommandFactoryId);
  auto factory = std::dynamic_pointer_cast<ICommandFactory>(component);
  if (!factory) {
    RaiseError("CreateCommandFactory", "The component registered as \"" +
                                           std::string(kCommandFactoryId) +
                                           "\" is not a command factory");
  }
  if (auto initialisable = std::dynamic_pointer_cast<IDriverCommandFactory>(component)) {
    initialisable->Init(m_launch_properties);
  }
  return factory;
}

}  // namespace orvo::providers
