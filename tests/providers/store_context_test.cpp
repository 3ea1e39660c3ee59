#include "providers/store_context.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/failure_of.h"

#include "orvo/error.h"
#include "providers/storage_provider.h"
#include "support/temp_workspace.h"

namespace orvo::providers {
namespace {

using testing::FailureOf;

using orvo::testing::TempWorkspace;
using ::testing::HasSubstr;

std::shared_ptr<IStoreContext> ContextOf(const TempWorkspace& workspace) {
  CRStorageProvider provider;
  provider.LaunchProperties(workspace.LaunchProperties());
  return provider.StoreContext();
}

TEST(StoreContext, AnswersEveryListWithTheQueriesTheLibraryUses) {
  TempWorkspace workspace;
  workspace.WriteStandard();
  auto snapshot = workspace.Snapshot();
  std::shared_ptr<IStoreContext> context = ContextOf(workspace);

  EXPECT_FALSE(context->StorageMode());
  EXPECT_EQ(context->CurrentPeriod(), 7);
  std::optional<PrinterMargins> printer = context->PrinterSettings();
  ASSERT_TRUE(printer.has_value());
  EXPECT_DOUBLE_EQ(printer->top, 20);
  EXPECT_DOUBLE_EQ(printer->bottom, 25.5);
  EXPECT_DOUBLE_EQ(printer->left, 15);
  EXPECT_DOUBLE_EQ(printer->right, 0);

  // Keys are found in upper case even where the file has them in lower case.
  EXPECT_FALSE(context->ReportLibrary().SelectSingleNode("Rep[@Key='INCOME']").IsNull());
  EXPECT_EQ(context->FormatLibrary().SelectNodes("//Fmt[@Key='IS_MAIN']").Length(), 3u);
  xml::Node bookmark = context->BookmarkDefinitions().SelectSingleNode("/BMk[@Key='NOTE1']");
  ASSERT_FALSE(bookmark.IsNull());
  EXPECT_EQ(bookmark.AttributeOr("Row", ""), "3");
  EXPECT_FALSE(context->BookmarkDefinitions().SelectSingleNode("./BMk[@Key='NOTE1']").IsNull());
  EXPECT_EQ(context->NamedRangeDefinitions().SelectNodes("/Nrg[@Key=\"SALES\"]").Length(), 1u);
  EXPECT_EQ(context->NamedRangeDefinitions().SelectNodes("//Nrg[@Fmt='IS_MAIN']").Length(), 1u);
  xml::Node chart_map = context->ChartMapDefinitions();
  EXPECT_FALSE(chart_map.SelectSingleNode("//Folder[ItemKey='REVENUE']").IsNull());
  EXPECT_FALSE(chart_map.SelectSingleNode("//*[ItemKey =\"OTHER\"]").IsNull());
  EXPECT_EQ(
      context->DataColumnDefinitions().SelectSingleNode("DC[@ID='1']").AttributeOr("Name", ""),
      "Actual");
  EXPECT_FALSE(
      context->DataColumnConfigurations().SelectSingleNode("./DC[@Key='MONTHLY']").IsNull());
  EXPECT_EQ(context->StyleLibrary().FirstChild().AttributeOr("Name", ""), "TOTAL");

  // Parsed once: the same node on every call.
  EXPECT_TRUE(context->ReportLibrary() == context->ReportLibrary());

  context->NotifyStatus("END_PREVIEW");
  EXPECT_EQ(dynamic_cast<WorkspaceStoreContext&>(*context).LastStatus(), "END_PREVIEW");
  EXPECT_EQ(workspace.Snapshot(), snapshot);
}

TEST(StoreContext, MinimalWorkspaceHasEmptyListsAndDefaults) {
  TempWorkspace workspace;
  workspace.Write("workspace.xml", "<Workspace StorageMode='-1'/>");
  std::shared_ptr<IStoreContext> context = ContextOf(workspace);
  EXPECT_TRUE(context->StorageMode());
  EXPECT_EQ(context->CurrentPeriod(), 1);
  EXPECT_FALSE(context->PrinterSettings().has_value());
  EXPECT_EQ(context->ReportLibrary().Name(), "Reports");
  EXPECT_FALSE(context->ReportLibrary().HasChildNodes());
  EXPECT_EQ(context->BookmarkDefinitions().Name(), "BookmarkDefinitions");
  EXPECT_TRUE(context->BookmarkDefinitions().SelectSingleNode("/BMk[@Key='X']").IsNull());
  EXPECT_EQ(context->DataColumnConfigurations().Name(), "Configurations");
  EXPECT_EQ(context->DataColumnDefinitions().Name(), "Definitions");
  EXPECT_EQ(dynamic_cast<WorkspaceStoreContext&>(*context).WorkspaceFiles().Settings().ledger,
            workspace.Folder() / "ledger.sqlite");
  // Nothing was created for the missing files.
  EXPECT_EQ(workspace.Snapshot().size(), 1u);
}

TEST(StoreContext, BadWorkspacesFailNamingTheFolderOrFileAndWriteNothing) {
  struct Case {
    const char* file;  // written as workspace.xml unless it names another file
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, "workspace.xml' is missing"},
      {"workspace.xml", "<Workspace", "workspace.xml' is not well-formed XML"},
      {"workspace.xml", "<Settings/>", "must have the root element <Workspace>, not <Settings>"},
      {"workspace.xml", "<Workspace CurrentPeriod='x'/>", "CurrentPeriod \"x\""},
      {"workspace.xml", "<Workspace CurrentPeriod='0'/>", "CurrentPeriod \"0\""},
      {"workspace.xml", "<Workspace CurrentPeriod='70000'/>", "CurrentPeriod \"70000\""},
      {"workspace.xml", "<Workspace StorageMode='yes'/>", "StorageMode \"yes\""},
      {"workspace.xml", "<Workspace Ledger=''/>", "names no Ledger file"},
      {"workspace.xml", "<Workspace><Printer Top='-3'/></Workspace>", "Printer Top \"-3\""},
      {"workspace.xml", "<!DOCTYPE x SYSTEM '/etc/passwd'><Workspace/>", nullptr},
  };
  for (const Case& c : cases) {
    TempWorkspace workspace;
    if (c.file) workspace.Write(c.file, c.text);
    auto snapshot = workspace.Snapshot();
    std::shared_ptr<IStoreContext> context = ContextOf(workspace);
    if (!c.expected) {
      // An external DTD is neither loaded nor a failure.
      EXPECT_FALSE(context->StorageMode());
      continue;
    }
    // Whatever is asked first, the broken settings file is reported.
    for (int member = 0; member < 3; ++member) {
      Error failure = FailureOf([&] {
        if (member == 0) context->StorageMode();
        if (member == 1) context->BookmarkDefinitions();
        if (member == 2) context->PrinterSettings();
      });
      EXPECT_EQ(failure.Number(), 1);
      EXPECT_EQ(failure.Source(), "Workspace");
      EXPECT_THAT(failure.Description(), HasSubstr(workspace.Folder().string())) << c.expected;
      EXPECT_THAT(failure.Description(), HasSubstr(c.expected));
    }
    EXPECT_EQ(workspace.Snapshot(), snapshot) << c.expected;
  }
}

TEST(StoreContext, MissingFolderAndMissingWorkspaceNameFailClearly) {
  std::string gone;
  {
    TempWorkspace workspace;
    gone = (workspace.Folder() / "nowhere").string();
  }
  CRStorageProvider provider;
  provider.LaunchProperties(TempWorkspace::LaunchPropertiesFor(gone));
  Error missing = FailureOf([&] { provider.StoreContext()->CurrentPeriod(); });
  EXPECT_THAT(missing.Description(), HasSubstr("Workspace folder '" + gone + "' does not exist"));
  EXPECT_FALSE(std::filesystem::exists(gone));

  provider.LaunchProperties(xml::Document::Parse("<LaunchProperties/>").DocumentElement());
  EXPECT_THAT(FailureOf([&] { provider.StoreContext(); }).Description(),
              HasSubstr("name no workspace folder"));
  provider.LaunchProperties(xml::Node());
  EXPECT_THROW(provider.StoreContext(), Error);
}

TEST(StoreContext, ListFilesAreReadOnlyWhenAskedForAndOnlyOnce) {
  TempWorkspace workspace;
  workspace.WriteStandard();
  workspace.Write("styles.xml", "<Styles><Stl Name='A'></Styles>");
  workspace.Write("reports.xml", "<Formats/>");
  std::shared_ptr<IStoreContext> context = ContextOf(workspace);

  // A broken list file does not stand in the way of the others.
  EXPECT_EQ(context->CurrentPeriod(), 7);
  EXPECT_FALSE(context->BookmarkDefinitions().IsNull());
  Error styles = FailureOf([&] { context->StyleLibrary(); });
  EXPECT_THAT(styles.Description(), HasSubstr("styles.xml' is not well-formed XML"));
  EXPECT_THAT(FailureOf([&] { context->ReportLibrary(); }).Description(),
              HasSubstr("reports.xml' must have the root element <Reports>, not <Formats>"));

  // A file changed after it was read is not read again by this context.
  workspace.Write("bookmarks.xml", "<BookmarkDefinitions/>");
  EXPECT_FALSE(context->BookmarkDefinitions().SelectSingleNode("/BMk[@Key='NOTE1']").IsNull());
}

TEST(StoreContext, CheckStoreNamesTheBrokenFileWithoutAnyFormula) {
  TempWorkspace sound;
  sound.WriteStandard();
  auto check = std::dynamic_pointer_cast<IStoreCheck>(ContextOf(sound));
  ASSERT_TRUE(check);
  EXPECT_NO_THROW(check->CheckStore());

  for (const char* file : {"chart_map.xml", "bookmarks.xml", "named_ranges.xml", "styles.xml",
                           "formats.xml", "reports.xml", "data_columns.xml"}) {
    TempWorkspace workspace;
    workspace.WriteStandard();
    workspace.Write(file, "<Broken>");
    auto snapshot = workspace.Snapshot();
    Error failure = FailureOf(
        [&] { std::dynamic_pointer_cast<IStoreCheck>(ContextOf(workspace))->CheckStore(); });
    EXPECT_EQ(failure.Source(), "Workspace");
    EXPECT_THAT(failure.Description(), HasSubstr((workspace.Folder() / file).string()));
    EXPECT_EQ(workspace.Snapshot(), snapshot);
  }

  std::string gone = (sound.Folder() / "nowhere").string();
  CRStorageProvider provider;
  provider.LaunchProperties(TempWorkspace::LaunchPropertiesFor(gone));
  EXPECT_THAT(FailureOf([&] {
                std::dynamic_pointer_cast<IStoreCheck>(provider.StoreContext())->CheckStore();
              }).Description(),
              HasSubstr("Workspace folder '" + gone + "' does not exist"));
}

TEST(StoreContext, AnotherWorkspaceFolderStartsTheProviderOver) {
  TempWorkspace first, second;
  first.WriteStandard();
  second.Write("workspace.xml", "<Workspace CurrentPeriod='3'/>");
  CRStorageProvider provider;
  provider.LaunchProperties(first.LaunchProperties());
  std::shared_ptr<IStoreContext> context = provider.StoreContext();
  std::shared_ptr<IProviderRegistry> registry = provider.ProviderRegistry();

  // The same folder again (a fresh copy of the same node): nothing changes.
  provider.LaunchProperties(first.LaunchProperties());
  EXPECT_EQ(provider.StoreContext(), context);
  EXPECT_EQ(provider.ProviderRegistry(), registry);

  provider.LaunchProperties(second.LaunchProperties());
  EXPECT_NE(provider.StoreContext(), context);
  EXPECT_NE(provider.ProviderRegistry(), registry);
  EXPECT_EQ(provider.StoreContext()->CurrentPeriod(), 3);
}

TEST(StoreContext, ARelativeFolderIsResolvedAgainstTheCurrentDirectoryOfEachHandOver) {
  TempWorkspace first, second;
  first.Write("workspace.xml", "<Workspace CurrentPeriod='2'/>");
  second.Write("workspace.xml", "<Workspace CurrentPeriod='3'/>");
  const std::filesystem::path start = std::filesystem::current_path();
  CRStorageProvider provider;
  // The same text "." names the first folder, then the second.
  std::filesystem::current_path(first.Folder());
  provider.LaunchProperties(TempWorkspace::LaunchPropertiesFor("."));
  const int first_period = provider.StoreContext()->CurrentPeriod();
  std::filesystem::current_path(second.Folder());
  provider.LaunchProperties(TempWorkspace::LaunchPropertiesFor("."));
  const int second_period = provider.StoreContext()->CurrentPeriod();
  std::filesystem::current_path(start);
  EXPECT_EQ(first_period, 2);
  EXPECT_EQ(second_period, 3);
}

}  // namespace
}  // namespace orvo::providers
