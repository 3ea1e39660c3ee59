#include "frame/driver_cache.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame/provider_access.h"
#include "frame/thread_context.h"
#include "orvo/error.h"
#include "support/fake_components.h"

namespace orvo {
namespace {

using ::testing::HasSubstr;
using namespace orvo::testing;

// Wires the fakes so that GetCommandFactory on this thread reaches `driver`.
void UseDriver(FakeDriver& driver) {
  SetLaunchProperties(xml::Document::Parse("<LaunchProperties/>").DocumentElement());
  auto node_storage = std::dynamic_pointer_cast<FakeNodeStorageProvider>(GetNodeStorageProvider());
  node_storage->driver = &driver;
}

class DriverCache : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterCounting<FakeStorageProvider>(kStorageProviderId);
    RegisterCounting<FakeNodeStorageProvider>(kNodeStorageProviderId);
  }
};

TEST_F(DriverCache, ParameterlessResultsAreFetchedOncePerThreadExceptRefresh) {
  FakeDriver driver;
  driver.answers["SupportedProductFields_DDKFunction"] = {"<Fields><F Name='AMOUNT'/></Fields>"};
  driver.answers["RelativeLedgerYears_DDKFunction"] = {"<Years><Y Name='Y'/></Years>"};
  driver.answers["AccountCodeStructure_DDKFunction"] = {
      "<S><P DDKFieldAccountCodeSplitter='-'/></S>"};
  InFreshContext([&] {
    UseDriver(driver);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(SupportedProductFields().FirstChild().AttributeOr("Name", ""), "AMOUNT");
      EXPECT_EQ(RelativeLedgerYears().FirstChild().AttributeOr("Name", ""), "Y");
      EXPECT_FALSE(AccountCodeStructure().IsNull());
      Refresh();
    }
    EXPECT_TRUE(SupportedProductFields() == SupportedProductFields());
  });
  EXPECT_EQ(driver.executions["SupportedProductFields_DDKFunction"], 1);
  EXPECT_EQ(driver.executions["RelativeLedgerYears_DDKFunction"], 1);
  EXPECT_EQ(driver.executions["AccountCodeStructure_DDKFunction"], 1);
  EXPECT_EQ(driver.executions["Refresh_DDKFunction"], 3);

  // Another thread asks the driver again.
  OnNewThread([&] {
    UseDriver(driver);
    SupportedProductFields();
  });
  EXPECT_EQ(driver.executions["SupportedProductFields_DDKFunction"], 2);
}

TEST_F(DriverCache, NothingZeroAndEmptyAnswersAreAskedForAgain) {
  FakeDriver driver;
  driver.answers["LedgerPeriod_DDKFunction"] = {"", "<Period/>"};
  driver.answers["RelativeCurrentYearIndex_DDKFunction"] = {"<I Name='0'/>", "<I Name='2'/>"};
  driver.answers["RepeatDefaultPrimarySort_DDKFunction"] = {"<S/>", "<S Name='CODE'/>"};
  InFreshContext([&] {
    UseDriver(driver);
    EXPECT_TRUE(LedgerPeriod().IsNull());
    EXPECT_FALSE(LedgerPeriod().IsNull());
    LedgerPeriod();

    EXPECT_EQ(RelativeCurrentYearIndex(), 0);
    EXPECT_EQ(RelativeCurrentYearIndex(), 2);
    EXPECT_EQ(RelativeCurrentYearIndex(), 2);

    EXPECT_EQ(RepeatDefaultPrimarySort(), "");
    EXPECT_EQ(RepeatDefaultPrimarySort(), "CODE");
    EXPECT_EQ(RepeatDefaultPrimarySort(), "CODE");
  });
  EXPECT_EQ(driver.executions["LedgerPeriod_DDKFunction"], 2);
  EXPECT_EQ(driver.executions["RelativeCurrentYearIndex_DDKFunction"], 2);
  EXPECT_EQ(driver.executions["RepeatDefaultPrimarySort_DDKFunction"], 2);
}

TEST_F(DriverCache, LedgerYearsNeedALedgerPeriod) {
  FakeDriver driver;
  driver.answers["LedgerPeriod_DDKFunction"] = {"", "<Period/>"};
  driver.answers["LedgerYears_DDKFunction"] = {
      "<Years><Y DDKFieldYearName='2026'/><Y DDKFieldYearName='2025'/></Years>"};
  InFreshContext([&] {
    UseDriver(driver);
    ResumeNext resume;
    resume.Step([] { LedgerYears(); });
    ASSERT_TRUE(resume.IsErrorPending());
    EXPECT_EQ(resume.Pending()->Number(), 1);
    EXPECT_EQ(resume.Pending()->Source(), "Periods");
    EXPECT_EQ(resume.Pending()->Description(), "Error");
    EXPECT_EQ(driver.executions["LedgerYears_DDKFunction"], 0);

    // The period answer is asked for again and now exists.
    EXPECT_EQ(LedgerYears().FirstChild().AttributeOr("DDKFieldYearName", ""), "2026");
    LedgerYears();
  });
  EXPECT_EQ(driver.executions["LedgerYears_DDKFunction"], 1);
}

TEST_F(DriverCache, UnusableYearIndexAnswersFailNamingTheFunction) {
  for (const char* answer : {"<I Name='two'/>", "<I/>", "", "<I Name='40000'/>"}) {
    FakeDriver driver;
    driver.answers["RelativeCurrentYearIndex_DDKFunction"] = {answer};
    InFreshContext([&] {
      UseDriver(driver);
      ResumeNext resume;
      resume.Step([] { RelativeCurrentYearIndex(); });
      ASSERT_TRUE(resume.IsErrorPending()) << answer;
      // An index beyond 16 bits is the overflow failure; the others name the function.
      if (resume.Pending()->Number() == 1) {
        EXPECT_EQ(resume.Pending()->Source(), "RelativeCurrentYearIndex_DDKFunction");
      } else {
        EXPECT_EQ(resume.Pending()->Number(), kErrOverflow) << answer;
      }
    });
  }
}

}  // namespace
}  // namespace orvo
