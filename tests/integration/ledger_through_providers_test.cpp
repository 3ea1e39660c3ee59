// The ledger as the library reaches it: through the reference storage
// provider's XML-node storage provider and the store context, on a sample
// workspace.
#include <gtest/gtest.h>

#include "frame/launch_properties.h"
#include "frame/provider_access.h"
#include "frame/thread_context.h"
#include "orvo/providers.h"
#include "support/sample_folders.h"

namespace orvo {
namespace {

using testing::SmallWorkspace;

TEST(LedgerThroughProviders, TheLibraryReachesTheLedgerThroughItsProviders) {
  // Launch properties and providers are per thread: start from a clean context.
  std::string years;
  std::string customers;
  InFreshContext([&] {
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
}  // namespace orvo
