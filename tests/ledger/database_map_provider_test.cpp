#include "ledger/database_map_provider.h"

#include <gtest/gtest.h>

#include "ledger/ledger_test_workspace.h"
#include "orvo/error.h"

namespace orvo::ledger::testing {
namespace {

class DatabaseMap : public ::testing::Test {
 protected:
  void SetUp() override { m_provider.OpenWorkspace(SmallWorkspace()); }
  CDatabaseMapProvider m_provider;
};

TEST_F(DatabaseMap, TablesAndFieldsAreFoundInAnyCase) {
  std::shared_ptr<IDatabaseMapTable> table = m_provider.Table("customers");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Name(), "Customers");
  ASSERT_TRUE(table->Field("REVENUE"));
  EXPECT_EQ(table->Field("revenue")->Name(), "Revenue");
  EXPECT_FALSE(table->Field("Colour"));
  EXPECT_FALSE(m_provider.Table("Suppliers"));
}

TEST_F(DatabaseMap, RecordsAreCountedAndReadPerYear) {
  // The customer base grows by four customers a year.
  std::int32_t first = m_provider.RecordCount("Customers", "2024");
  EXPECT_GT(first, 0);
  EXPECT_EQ(m_provider.RecordCount("Customers", "Y"), first + 8);
  EXPECT_EQ(m_provider.RecordCount("Customers", "Y-1"), first + 4);
  EXPECT_EQ(m_provider.RecordCount("Customers", "Y-5"), 0);

  EXPECT_EQ(m_provider.FieldValue("Customers", "Code", 1, "2025"), "C0001");
  EXPECT_EQ(m_provider.FieldValue("customers", "code", first + 8, "Current"),
            "C" + std::string(first + 8 < 1000 ? "00" : "0") + std::to_string(first + 8));
  EXPECT_EQ(m_provider.FieldValue("Customers", "Code", first + 9, "Current"), "");
  EXPECT_EQ(m_provider.FieldValue("Customers", "Code", 0, "Current"), "");
  EXPECT_THROW(m_provider.FieldValue("Customers", "Colour", 1, "Current"), Error);
  EXPECT_THROW(m_provider.RecordCount("Suppliers", "Current"), Error);
}

TEST_F(DatabaseMap, RepeatDefinitionsFilterAndSort) {
  xml::Node all = m_provider.Records("DB.Customers");
  EXPECT_EQ(all.AttributeOr("Year", ""), "2026");
  EXPECT_EQ(static_cast<std::int32_t>(all.ChildNodes().Length()),
            m_provider.RecordCount("Customers", "Y"));

  xml::Node north = m_provider.Records("Customers; Year=Y-1; Region=north; Sort=Revenue DESC");
  EXPECT_EQ(north.AttributeOr("Year", ""), "2025");
  ASSERT_GT(north.ChildNodes().Length(), 1u);
  double previous = 1e300;
  for (const xml::Node& record : north.ChildNodes()) {
    EXPECT_EQ(record.AttributeOr("REGION", ""), "North");
    double revenue = Number(record, "REVENUE");
    EXPECT_LE(revenue, previous);
    previous = revenue;
  }

  EXPECT_THROW(m_provider.Records("Suppliers"), Error);
  EXPECT_THROW(m_provider.Records("Customers; Colour=Red"), Error);
  EXPECT_THROW(m_provider.Records("Customers; Sort=Name SIDEWAYS"), Error);
  EXPECT_THROW(m_provider.Records("Customers; Region"), Error);
}

}  // namespace
}  // namespace orvo::ledger::testing
