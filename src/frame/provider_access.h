// The library's way to the outside components: the storage provider, the
// XML-node storage provider and the data driver's command factory it hands
// out, the format and data-column providers, and the database-map provider.
//
// Invariants:
//   * Every Get... creates its component at most once per thread, on first
//     use (through ComponentRegistry), and keeps it for the thread's life.
//     The format and data-column providers are kept in the storage
//     provider's ProviderRegistry and the database-map provider in its store
//     context, so everything else sharing that storage provider shares them.
//   * GetStorageProvider sets the provider's LaunchProperties to a fresh deep
//     copy of the thread's launch-properties node on every call; the XML-node
//     storage provider gets one only when it is created.
//   * Failures (an identifier nobody registered, a component lacking the
//     interface, a member that fails) propagate unchanged; nothing is retried.
//
// Threading: everything here is per thread; no locking.
#ifndef ORVO_FRAME_PROVIDER_ACCESS_H_
#define ORVO_FRAME_PROVIDER_ACCESS_H_

#include <memory>

#include "frame/launch_properties.h"
#include "orvo/data_driver.h"
#include "orvo/providers.h"

namespace orvo {

// The thread's storage provider, its LaunchProperties refreshed.
std::shared_ptr<IStorageProvider> GetStorageProvider();

// Shorthand for GetStorageProvider()->StoreContext().
std::shared_ptr<IStoreContext> GetStoreContext();

// The thread's XML-node storage provider while the store context's storage
// mode is false; a null pointer ("Nothing") while it is true.
std::shared_ptr<INodeStorageProvider> GetNodeStorageProvider();

// The data driver's command factory: CreateCommandFactory(1) on the XML-node
// storage provider, once per thread. Raises when the storage mode selects no
// XML-node storage provider.
std::shared_ptr<ICommandFactory> GetCommandFactory();

// The registry's format provider, created and Init-ed with the launch
// properties when the registry holds none.
std::shared_ptr<IFormatProvider> GetFormatProvider();

// The registry's data-column provider, created and Init-ed likewise.
std::shared_ptr<IDynamicColumnProvider> GetDynamicColumnProvider();

// The store context's database-map provider, created from
// kDatabaseMapProviderId and Init-ed likewise when the store context holds none.
std::shared_ptr<IDatabaseMapProvider> GetDatabaseMapProvider();

}  // namespace orvo

#endif  // ORVO_FRAME_PROVIDER_ACCESS_H_
