// The ledger as the library reaches it: through the reference storage
// provider's XML-node storage provider and the store context, on a sample
// workspace.
#include <gtest/gtest.h>

#include <thread>

#include "frame/launch_properties.h"
#include "frame/provider_access.h"
#include "orvo/providers.h"
#include "support/sample_folders.h"

namespace orvo {
namespace {

using testing::SmallWorkspace;

TEST(LedgerThroughProviders, TheLibraryReachesTheLedgerThroughItsProviders) {
  // Launch properties and providers are per thread: use a thread of our own.
  std::string years;
  std::string customers;
  std::thread host([&] {
    xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
    launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
    SetLaunchProperties(launch.DocumentElement());
    auto command = GetCommandFactory()->CreateCommand(0, "LedgerYears_DDKFunction");
    years = command->Execute().FirstChild().AttributeOr("DDKFieldYearName", "");
    std::shared_ptr<IDatabaseMapProvider> map = GetDatabaseMapProvider();
    customers = map->Table("Customers") ? map->Table("Customers")->Name() : "";
  });
  host.join();
  EXPECT_EQ(years, "2026");
  EXPECT_EQ(customers, "Customers");
}

}  // namespace
}  // namespace orvo
