#include "providers/format_provider.h"

#include <gtest/gtest.h>

#include "orvo/error.h"
#include "providers/dynamic_col_provider.h"
#include "support/temp_workspace.h"

namespace orvo::providers {
namespace {

using orvo::testing::TempWorkspace;

TEST(FormatProvider, ColumnNumbersOfLettersAndReservedNames) {
  CFormatProvider provider;
  const std::pair<const char*, int> cases[] = {
      {"A", 1},         {"Z", 26},     {"AA", 27},    {"AZ", 52},
      {"BA", 53},       {"ZZ", 702},   {"AAA", 703},  {"ZZZ", 18278},
      {"ab", 28},       {"PRINT", -2}, {"print", -2}, {"COLUMN_HEADER", -3},
      {"C0", -10},      {"C9", -19},   {"C16", -26},  {"C", 3},
      {"C17", -1},      {"C01", -1},   {"C100", -1},  {"", -1},
      {"AAAA", -1},     {"A1", -1},    {"A-", -1},    {" A", -1},
      {"\xc3\x84", -1},
  };
  for (const auto& [name, number] : cases) {
    EXPECT_EQ(provider.ColumnNumber(name), number) << name;
  }
  // Names and numbers map back and forth over the whole letter range.
  for (int column = 1; column <= kLastLetterColumn; ++column) {
    ASSERT_EQ(ColumnNumberOf(ColumnNameOf(column)), column) << column;
  }
  for (int n = 0; n <= 16; ++n) {
    EXPECT_EQ(ColumnNameOf(ColumnNumberOf("C" + std::to_string(n))), "C" + std::to_string(n));
  }
  EXPECT_EQ(ColumnNameOf(0), "");
  EXPECT_EQ(ColumnNameOf(-1), "");
  EXPECT_EQ(ColumnNameOf(kLastLetterColumn + 1), "");
}

TEST(FormatProvider, NewElementsAreIndependentAndShapedAsTheBuilderReadsThem) {
  CFormatProvider provider;
  xml::Node item = provider.NewItem(12, 28);
  xml::NamedNodeMap attributes = item.Attributes();
  ASSERT_GE(attributes.Length(), 4u);
  EXPECT_EQ(attributes.Item(0).Name(), "Key");
  EXPECT_EQ(attributes.Item(0).Text(), "AB12");
  EXPECT_EQ(attributes.Item(2).Text(), "28");  // the third attribute is the column
  EXPECT_EQ(attributes.Item(3).Name(), "Value");
  EXPECT_EQ(item.FirstChild().Name(), "PEx");
  EXPECT_FALSE(item.FirstChild().HasChildNodes());
  xml::Node style = item.FirstChild().NextSibling();
  EXPECT_EQ(style.Name(), "Stl");
  EXPECT_EQ(style.AttributeOr("BCl", ""), "-1");
  EXPECT_EQ(style.FirstChild().AttributeOr("Typ", ""), "General");
  EXPECT_EQ(style.SelectNodes("Fnts/Fnt").Length(), 1u);

  // The page-number item template: row 0, column 0, no key; its copies are independent.
  xml::Node page_item = provider.NewItem(0, 0);
  EXPECT_EQ(page_item.AttributeOr("Key", "?"), "");
  page_item.Attributes().Item(2).SetText("-2");
  page_item.Attributes().Item(3).SetText("5");
  EXPECT_EQ(provider.NewItem(0, 0).Attributes().Item(3).Text(), "");
  EXPECT_EQ(provider.NewItem(4, kPrintColumn).AttributeOr("Key", ""), "PRINT4");

  xml::Node format = provider.NewFormat();
  EXPECT_EQ(format.Name(), "Fmt");
  EXPECT_EQ(format.AttributeOr("MRow", ""), "0");
  EXPECT_EQ(format.SelectNodes("Itms").Length(), 1u);
  format.FirstChild().AppendChild(item);
  EXPECT_FALSE(provider.NewFormat().FirstChild().HasChildNodes());
}

TEST(FormatProvider, StoredFormatsAndConfigurationsComeAsCopiesByKey) {
  TempWorkspace workspace;
  workspace.WriteStandard();
  auto snapshot = workspace.Snapshot();
  CFormatProvider formats;
  formats.Init(workspace.LaunchProperties());
  cDynamicColProvider columns;
  columns.Init(workspace.LaunchProperties());

  // The first full Fmt with the key wins over stubs and later duplicates;
  // keys are compared in upper case.
  xml::Node format = formats.GetFormat("Is_Main");
  ASSERT_FALSE(format.IsNull());
  EXPECT_EQ(format.AttributeOr("Name", ""), "Income statement");
  EXPECT_TRUE(format.ParentNode().IsNull());
  format.SelectSingleNode("Itms/Row/Itm").SetAttribute("Value", "changed");
  EXPECT_EQ(formats.GetFormat("IS_MAIN").SelectSingleNode("Itms/Row/Itm").AttributeOr("Value", ""),
            "Revenue");
  EXPECT_TRUE(formats.GetFormat("NO_SUCH").IsNull());

  xml::Node configuration = columns.Configuration("monthly");
  ASSERT_FALSE(configuration.IsNull());
  EXPECT_EQ(configuration.AttributeOr("Name", ""), "Monthly");
  EXPECT_TRUE(columns.Configuration("YEARLY").IsNull());
  EXPECT_EQ(workspace.Snapshot(), snapshot);
}

TEST(FormatProvider, WorkspaceProblemsSurfaceOnlyWhereAWorkspaceIsNeeded) {
  CFormatProvider provider;
  provider.Init(xml::Node());
  EXPECT_FALSE(provider.NewFormat().IsNull());
  EXPECT_FALSE(provider.NewItem(1, 1).IsNull());
  EXPECT_EQ(provider.ColumnNumber("B"), 2);
  EXPECT_THROW(provider.GetFormat("X"), Error);

  TempWorkspace workspace;
  workspace.Write("workspace.xml", "<Workspace/>");
  workspace.Write("formats.xml", "<Formats><Fmt Key='A'></Formats>");
  provider.Init(workspace.LaunchProperties());
  ResumeNext resume;
  resume.Step([&] { provider.GetFormat("A"); });
  ASSERT_TRUE(resume.IsErrorPending());
  EXPECT_NE(resume.Pending()->Description().find("formats.xml"), std::string::npos);
}

}  // namespace
}  // namespace orvo::providers
