#include "providers/format_provider.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "orvo/error.h"
#include "providers/dynamic_col_provider.h"
#include "providers/workspace.h"
#include "support/temp_workspace.h"

namespace orvo::providers {
namespace {

using orvo::testing::TempWorkspace;
namespace fs = std::filesystem;

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

// Full formats are stubs in the library and whole from the provider, the
// same trees a parse of the whole file gives; formats inside formats, and
// every format of a file whose pieces could parse differently, stay whole.
TEST(FormatProvider, TheLibraryHoldsStubsOfFullFormatsTheProviderTheirTrees) {
  TempWorkspace workspace;
  workspace.Write("workspace.xml", "<Workspace/>");
  const std::string full =
      "<Fmt Key='a' Name='A&amp;B'>\n  <Itms><Row><Itm Key='A1' Value=\"1 &lt; 2\"/>"
      "<Itm Value='=If(A1>0,1,2)' Str=\"/>'\" Key='A2'/></Row></Itms>"
      "<!-- <Fmt Key='X'> --><![CDATA[</Fmt>]]></Fmt>";
  workspace.Write("formats.xml",
                  "<?xml version='1.0' encoding='utf-8'?>\n<Formats>\n  <Fmt Key='A'/>\n"
                  "  <Folder>" +
                      full +
                      "</Folder>\n"
                      "  <Fmt Key='OUTER'><Itms/><Fmt Key='INNER'><Itms/></Fmt></Fmt>\n"
                      "  <Fmt Key='BLANK'> </Fmt><?note <Fmt?><Fmt Name='NO_KEY'><Itms/></Fmt>\n"
                      "</Formats>");
  std::shared_ptr<Workspace> open = Workspace::Open(workspace.LaunchProperties());
  const xml::NodeList formats = open->List(WorkspaceList::kFormats).SelectNodes("descendant::Fmt");
  ASSERT_EQ(formats.Length(), 6u);
  EXPECT_EQ(formats.Item(1).Xml(), "<Fmt Key=\"A\" Name=\"A&amp;B\"/>");
  EXPECT_TRUE(formats.Item(2).HasChildNodes());  // OUTER
  EXPECT_TRUE(formats.Item(3).HasChildNodes());  // INNER
  EXPECT_FALSE(formats.Item(4).HasChildNodes());
  EXPECT_TRUE(formats.Item(5).HasChildNodes());  // no Key: never looked up, left whole

  xml::Node expected = xml::Document::Parse(full).DocumentElement();
  expected.SetAttribute("Key", "A");
  CFormatProvider provider;
  provider.Init(workspace.LaunchProperties());
  for (int request = 0; request < 2; ++request) {  // the parsed tree, then the text parsed again
    xml::Node format = provider.GetFormat("a");
    ASSERT_FALSE(format.IsNull());
    EXPECT_TRUE(format.ParentNode().IsNull());
    EXPECT_EQ(format.Xml(), expected.Xml());
    format.FirstChild().AppendChild(format.OwnerDocument().CreateElement("Row"));
  }
  EXPECT_EQ(provider.GetFormat("INNER").Xml(), "<Fmt Key=\"INNER\"><Itms/></Fmt>");
  EXPECT_EQ(provider.GetFormat("BLANK").Xml(), "<Fmt Key=\"BLANK\"/>");

  TempWorkspace spaced;
  spaced.Write("workspace.xml", "<Workspace/>");
  spaced.Write("formats.xml",
               "<Formats xmlns:x='urn:x'><Fmt Key='A'><Itms x:a='1'/></Fmt></Formats>");
  EXPECT_TRUE(Workspace::Open(spaced.LaunchProperties())
                  ->List(WorkspaceList::kFormats)
                  .FirstChild()
                  .HasChildNodes());

  // A fault inside a format is reported where it stands in the file.
  TempWorkspace broken;
  broken.Write("workspace.xml", "<Workspace/>");
  broken.Write("formats.xml", "<Formats>\n<Fmt Key='A'><Itms><Row></Itms></Fmt></Formats>");
  ResumeNext resume;
  resume.Step([&] { Workspace::Open(broken.LaunchProperties())->List(WorkspaceList::kFormats); });
  ASSERT_TRUE(resume.IsErrorPending());
  EXPECT_NE(resume.Pending()->Description().find("line 2"), std::string::npos)
      << resume.Pending()->Description();
  // So is a tag that is not well formed, which the look for formats passes over.
  broken.Write("formats.xml", "<Formats><Fmt Key='A'><Itms>\n\n<Row / ></Itms></Fmt></Formats>");
  ResumeNext malformed_tag;
  malformed_tag.Step(
      [&] { Workspace::Open(broken.LaunchProperties())->List(WorkspaceList::kFormats); });
  ASSERT_TRUE(malformed_tag.IsErrorPending());
  EXPECT_NE(malformed_tag.Pending()->Description().find("line 3"), std::string::npos)
      << malformed_tag.Pending()->Description();
}

// The workspace keeps where a full format lies in formats.xml, not its
// text: a later request reads the piece again, and takes the format from
// the file as it is now when the file has changed (size or write time).
TEST(FormatProvider, LaterRequestsReadTheFormatAgainFromTheFile) {
  TempWorkspace workspace;
  workspace.Write("workspace.xml", "<Workspace/>");
  workspace.Write("formats.xml",
                  "<Formats><Fmt Key='a'><Itms><Row N='1'/></Itms></Fmt>"
                  "<Fmt Key='b'><Itms><Row N='2'/></Itms></Fmt\n></Formats>");
  CFormatProvider provider;
  provider.Init(workspace.LaunchProperties());
  const std::string b = "<Fmt Key=\"B\"><Itms><Row N=\"2\"/></Itms></Fmt>";
  EXPECT_EQ(provider.GetFormat("B").Xml(), b);
  EXPECT_EQ(provider.GetFormat("B").Xml(), b);  // the piece read again

  // The same size, another write time: the file is read whole again.
  const fs::path file = workspace.Folder() / "formats.xml";
  const auto written = fs::last_write_time(file);
  workspace.Write("formats.xml",
                  "<Formats><Fmt Key='a'><Itms><Row N='1'/></Itms></Fmt>"
                  "<Fmt Key='b'><Itms><Row N='3'/></Itms></Fmt\n></Formats>");
  fs::last_write_time(file, written + std::chrono::seconds(5));
  EXPECT_EQ(provider.GetFormat("b").Xml(), "<Fmt Key=\"B\"><Itms><Row N=\"3\"/></Itms></Fmt>");
  // Another size; the format has become a stub, and a full one of its key
  // comes later in the file.
  workspace.Write("formats.xml",
                  "<Formats><Fmt Key='b' Name='stub'/><Fmt Key='x'><Itms/></Fmt>"
                  "<Fmt Key='B'><Itms><Row N='4'/></Itms></Fmt></Formats>");
  EXPECT_EQ(provider.GetFormat("b").Xml(), "<Fmt Key=\"B\"><Itms><Row N=\"4\"/></Itms></Fmt>");
  // The first format was never handed out: its parsed tree comes first.
  EXPECT_EQ(provider.GetFormat("A").Xml(), "<Fmt Key=\"A\"><Itms><Row N=\"1\"/></Itms></Fmt>");
  workspace.Write("formats.xml", "<Formats><Fmt Key='A' Name='stub'/></Formats>");
  EXPECT_EQ(provider.GetFormat("A").Xml(), "<Fmt Key=\"A\" Name=\"stub\"/>");
  workspace.Write("formats.xml", "<Formats/>");
  EXPECT_TRUE(provider.GetFormat("A").IsNull());

  fs::remove(file);
  ResumeNext resume;
  resume.Step([&] { provider.GetFormat("A"); });
  ASSERT_TRUE(resume.IsErrorPending());
  EXPECT_NE(resume.Pending()->Description().find("formats.xml"), std::string::npos);
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
