#include "frame/provider_access.h"

#include "frame/thread_context.h"
#include "orvo/error.h"

namespace orvo {

struct ProviderSlots {
  std::shared_ptr<IStorageProvider> storage;
  std::shared_ptr<INodeStorageProvider> node_storage;
  std::shared_ptr<ICommandFactory> command_factory;
};

namespace {

ProviderSlots& Slots() { return ThreadContext::Current().Providers().Get(); }

// A copy of the thread's launch-properties node in a document of its own, so
// a provider may keep or change it without touching the stored node.
xml::Node FreshLaunchPropertiesCopy() { return CopyLaunchProperties(GetLaunchProperties()); }

std::shared_ptr<IProviderRegistry> RequireRegistry() {
  std::shared_ptr<IProviderRegistry> registry = GetStorageProvider()->ProviderRegistry();
  if (!registry) RaiseError("ProviderRegistry", "The storage provider has no provider registry");
  return registry;
}

}  // namespace

std::shared_ptr<IStorageProvider> GetStorageProvider() {
  ProviderSlots& slots = Slots();
  if (!slots.storage) {
    slots.storage = ComponentRegistry::CreateAs<IStorageProvider>(kStorageProviderId);
  }
  slots.storage->LaunchProperties(FreshLaunchPropertiesCopy());
  return slots.storage;
}

std::shared_ptr<IStoreContext> GetStoreContext() {
  std::shared_ptr<IStoreContext> context = GetStorageProvider()->StoreContext();
  if (!context) RaiseError("StoreContext", "The storage provider has no store context");
  return context;
}

std::shared_ptr<INodeStorageProvider> GetNodeStorageProvider() {
  if (GetStoreContext()->StorageMode()) return nullptr;
  ProviderSlots& slots = Slots();
  if (!slots.node_storage) {
    auto provider = ComponentRegistry::CreateAs<INodeStorageProvider>(kNodeStorageProviderId);
    provider->LaunchProperties(FreshLaunchPropertiesCopy());
    slots.node_storage = std::move(provider);
  }
  return slots.node_storage;
}

std::shared_ptr<ICommandFactory> GetCommandFactory() {
  ProviderSlots& slots = Slots();
  if (!slots.command_factory) {
    std::shared_ptr<INodeStorageProvider> node_storage = GetNodeStorageProvider();
    if (!node_storage) {
      RaiseError("GetCommandFactory",
                 "The store context's storage mode selects no XML-node storage provider, so "
                 "there is no data driver");
    }
    std::shared_ptr<ICommandFactory> factory = node_storage->CreateCommandFactory(1);
    if (!factory) {
      RaiseError("GetCommandFactory", "The XML-node storage provider created no command factory");
    }
    slots.command_factory = std::move(factory);
  }
  return slots.command_factory;
}

std::shared_ptr<IFormatProvider> GetFormatProvider() {
  std::shared_ptr<IProviderRegistry> registry = RequireRegistry();
  if (!registry->FormatProvider()) {
    auto provider = ComponentRegistry::CreateAs<IFormatProvider>(kFormatProviderId);
    registry->FormatProvider(provider);
    provider->Init(GetLaunchProperties());
  }
  return registry->FormatProvider();
}

std::shared_ptr<IDynamicColumnProvider> GetDynamicColumnProvider() {
  std::shared_ptr<IProviderRegistry> registry = RequireRegistry();
  if (!registry->DynamicColumnProvider()) {
    auto provider = ComponentRegistry::CreateAs<IDynamicColumnProvider>(kDynamicColumnProviderId);
    registry->DynamicColumnProvider(provider);
    provider->Init(GetLaunchProperties());
  }
  return registry->DynamicColumnProvider();
}

std::shared_ptr<IDatabaseMapProvider> GetDatabaseMapProvider() {
  std::shared_ptr<IStoreContext> context = GetStoreContext();
  if (!context->DatabaseMapProvider()) {
    auto provider = ComponentRegistry::CreateAs<IDatabaseMapProvider>(kDatabaseMapProviderId);
    context->DatabaseMapProvider(provider);
    provider->Init(GetLaunchProperties());
  }
  return context->DatabaseMapProvider();
}

}  // namespace orvo
