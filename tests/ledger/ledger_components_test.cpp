#include "ledger/ledger_components.h"

#include <gtest/gtest.h>

#include "ledger/database_map_provider.h"
#include "ledger/ledger_command_factory.h"
#include "orvo/error.h"
#include "orvo/providers.h"

namespace orvo::ledger::testing {
namespace {

TEST(LedgerComponents, RegisteredBeforeMainUnderTheirIdentifiers) {
  auto factory = ComponentRegistry::CreateAs<IDriverCommandFactory>(kCommandFactoryId);
  EXPECT_TRUE(std::dynamic_pointer_cast<CLedgerCommandFactory>(factory));
  auto provider = ComponentRegistry::CreateAs<IDatabaseMapProvider>(kDatabaseMapProviderId);
  EXPECT_TRUE(std::dynamic_pointer_cast<CDatabaseMapProvider>(provider));

  // An explicit registration puts the ledger's components back after a host's.
  ComponentRegistry::Register(kDatabaseMapProviderId, [] {
    return std::static_pointer_cast<IComponent>(std::make_shared<CLedgerCommandFactory>());
  });
  EXPECT_THROW(ComponentRegistry::CreateAs<IDatabaseMapProvider>(kDatabaseMapProviderId), Error);
  RegisterLedgerComponents();
  EXPECT_TRUE(ComponentRegistry::CreateAs<IDatabaseMapProvider>(kDatabaseMapProviderId));
}

}  // namespace
}  // namespace orvo::ledger::testing
