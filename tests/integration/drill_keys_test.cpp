// Drill keys of the sample reports: cells whose figures come from chart-map
// balances carry a key, and the builder's drill-down object answers it with
// the folder, account and balance request behind the figure.
#include <gtest/gtest.h>

#include <string>

#include "integration/builder_workspace.h"
#include "orvo/drill_down.h"
#include "orvo/preview_builder.h"
#include "orvo/xml.h"
#include "support/sample_folders.h"

namespace orvo {
namespace {

using testing::SmallWorkspace;

// Builds a sample report and hands the builder to `check` on the same thread.
template <typename Check>
void WithPreview(const std::string& report, Check check) {
  testing::WithStoredPreview(SmallWorkspace(), report, [&](CPreviewBuilder& builder) {
    ASSERT_TRUE(builder.DrillDownObject());
    check(builder, builder.EvaluatedFormat());
  });
}

xml::Node ItemWithFormula(const xml::Node& preview, const std::string& formula) {
  for (const xml::Node& item : preview.SelectNodes("Itms/Row/Itm")) {
    if (item.AttributeOr("Fml", "") == formula) return item;
  }
  ADD_FAILURE() << "no item " << formula;
  return {};
}

xml::Node DrillOf(const xml::Node& item) {
  return item ? item.SelectSingleNode("Drill") : xml::Node();
}

TEST(DrillKeys, FolderCellGetsKeyAndItsBalanceRequest) {
  WithPreview("INCOME_STATEMENT", [](CPreviewBuilder& builder, const xml::Node& preview) {
    const xml::Node drill = DrillOf(ItemWithFormula(preview, "=-CM.PRODUCTSALES"));
    ASSERT_TRUE(drill);
    EXPECT_EQ(drill.AttributeOr("On", ""), "-1");
    const std::string key = drill.AttributeOr("Key", "");
    ASSERT_EQ(key.rfind("DrillItem", 0), 0u) << key;

    const auto objects = builder.DrillDownObject()->DrillObject(key);
    ASSERT_EQ(objects.Count(), 1);
    const xml::Node object = objects.Item(1);
    EXPECT_EQ(object.Name(), "CMDrill");
    EXPECT_EQ(object.AttributeOr("Folder", ""), "PRODUCTSALES");
    EXPECT_EQ(object.AttributeOr("Code", "?"), "");
    for (const char* name : {"DDKFieldBalanceType", "DDKFieldBalancePeriods", "Prd", "PdEnd"}) {
      EXPECT_FALSE(object.AttributeOr(name, "").empty()) << name;
    }
    EXPECT_TRUE(object.HasAttribute("PdBal"));

    // A text cell and a cell that only computes with literals stay off.
    int plain_cells = 0;
    for (const xml::Node& item : preview.SelectNodes("Itms/Row/Itm")) {
      const std::string formula = item.AttributeOr("Fml", "");
      const bool plain = formula.empty() ||
                         formula.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ(") == std::string::npos;
      if (!plain) continue;
      ++plain_cells;
      EXPECT_EQ(DrillOf(item).AttributeOr("On", ""), "0") << formula;
      EXPECT_EQ(DrillOf(item).AttributeOr("Key", "?"), "") << formula;
    }
    EXPECT_GT(plain_cells, 0);
  });
}

TEST(DrillKeys, RepeatRowsNameTheirAccountAndShareEqualRequests) {
  WithPreview("TRIAL_BALANCE", [](CPreviewBuilder& builder, const xml::Node& preview) {
    const cDrillDown& drill_down = *builder.DrillDownObject();
    // Per account: the cells asking the same request share one stored object.
    const xml::Node keys = drill_down.DrillKeys();
    const xml::Node first = keys.SelectSingleNode("DrillKey[1]");
    const xml::Node second = keys.SelectSingleNode("DrillKey[2]");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first.AttributeOr("Key", ""), second.AttributeOr("Key", ""));
    EXPECT_EQ(first.AttributeOr("Pos", ""), second.AttributeOr("Pos", "x"));
    EXPECT_EQ(drill_down.DrillObject("DrillItem1").Item(1).Raw(),
              drill_down.DrillObject("DrillItem2").Item(1).Raw());

    // Different accounts keep objects of their own, each with its code.
    int rows_with_keys = 0;
    std::string last_code;
    for (const xml::Node& drill : preview.SelectNodes("Itms/Row/Itm/Drill[@On='-1']")) {
      const std::string key = drill.AttributeOr("Key", "");
      if (key.find(',') != std::string::npos) continue;  // a total over references
      const auto objects = drill_down.DrillObject(key);
      ASSERT_EQ(objects.Count(), 1) << key;
      EXPECT_EQ(objects.Item(1).AttributeOr("Folder", ""), "CM.TRIALBALANCE");
      const std::string code = objects.Item(1).AttributeOr("Code", "");
      EXPECT_FALSE(code.empty()) << key;
      if (code != last_code) ++rows_with_keys;
      last_code = code;
    }
    EXPECT_GT(rows_with_keys, 10);
  });
}

}  // namespace
}  // namespace orvo
