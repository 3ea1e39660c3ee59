#include "ledger/ledger_components.h"

#include "ledger/database_map_provider.h"
#include "ledger/ledger_command_factory.h"
#include "orvo/providers.h"

namespace orvo {

void RegisterLedgerComponents() {
  ComponentRegistry::Register(ledger::kLedgerCommandFactoryId, [] {
    return std::static_pointer_cast<IComponent>(std::make_shared<ledger::CLedgerCommandFactory>());
  });
  ComponentRegistry::Register(kDatabaseMapProviderId, [] {
    return std::static_pointer_cast<IComponent>(std::make_shared<ledger::CDatabaseMapProvider>());
  });
}

}  // namespace orvo
