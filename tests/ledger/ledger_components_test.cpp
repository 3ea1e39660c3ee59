#include "ledger/ledger_components.h"

#include <gtest/gtest.h>

#include "frame/provider_access.h"
#include "ledger/database_map_provider.h"
#include "ledger/ledger_test_workspace.h"
#include "orvo/error.h"
#include "orvo/providers.h"
#include "support/fresh_thread_context.h"

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

TEST(LedgerComponents, TheLibraryReachesTheLedgerThroughItsProviders) {
  // Launch properties and providers are per thread: start from a clean context.
  std::string years;
  std::string customers;
  orvo::testing::InFreshContext([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
    SetLaunchProperties(launch.DocumentElement());
    auto command = GetCommandFactory()->CreateCommand(0, "LedgerYears_DDKFunction");
    years = command->Execute().FirstChild().AttributeOr("DDKFieldYearName", "");
    std::shared_ptr<IDatabaseMapProvider> map = GetDatabaseMapProvider();
    customers = map->Table("Customers") ? map->Table("Customers")->Name() : "";
  });
  EXPECT_EQ(years, "2026");
  EXPECT_EQ(customers, "Customers");
}

}  // namespace
}  // namespace orvo::ledger::testing
