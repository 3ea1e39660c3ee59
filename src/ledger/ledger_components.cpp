#include "ledger/ledger_components.h"

#include "ledger/database_map_provider.h"
#include "ledger/ledger_command_factory.h"
#include "orvo/providers.h"

namespace orvo {
namespace {

template <class Component>
std::shared_ptr<IComponent> Make() {
  return std::make_shared<Component>();
}

}  // namespace

void RegisterLedgerComponents() {
  ComponentRegistry::Register(kCommandFactoryId, Make<ledger::CLedgerCommandFactory>);
  ComponentRegistry::Register(kDatabaseMapProviderId, Make<ledger::CDatabaseMapProvider>);
}

void RegisterLedgerDefaults() {
  ComponentRegistry::RegisterDefault(kCommandFactoryId, Make<ledger::CLedgerCommandFactory>);
  ComponentRegistry::RegisterDefault(kDatabaseMapProviderId, Make<ledger::CDatabaseMapProvider>);
}

}  // namespace orvo
