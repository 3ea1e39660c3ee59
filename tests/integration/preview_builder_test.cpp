// CPreviewBuilder's members, queue and events.
#include "orvo/preview_builder.h"

#include <gtest/gtest.h>

#include "frame/provider_access.h"
#include "integration/builder_workspace.h"
#include "orvo/providers.h"
#include "providers/store_context.h"
#include "support/failure_of.h"
#include "support/fake_components.h"

namespace orvo::testing {
namespace {

BuilderWorkspace& TwoFormats(BuilderWorkspace& workspace) {
  workspace.Format("ONE", {{"A1", "one"}});
  workspace.Format("TWO", {{"A1", "two"}, {"A2", "=1+1"}});
  workspace.Report("R1", Entry("ONE"));
  workspace.Report("R2", Entry("TWO"));
  return workspace;
}

TEST(PreviewBuilder, QueueBuildsEachReportInOrderAndKeepsTheLast) {
  BuilderWorkspace workspace;
  TwoFormats(workspace);
  // A favourite (key in another letter case), two reports, and a favourite
  // that names nothing (it builds nothing, after the reset of its build).
  const PreviewRun run = workspace.Preview({"<Fav Rep='r2'/>", "R1", "R2"});
  EXPECT_TRUE(run.failures.empty());
  EXPECT_EQ(run.report_status, (std::vector<int>{100, 100, 100, 100, 100, 100}));
  EXPECT_EQ(run.texts.at("A1"), std::vector<std::string>{"two"});
  EXPECT_EQ(run.texts.at("A2"), std::vector<std::string>{"2"});

  const PreviewRun missing = workspace.Preview({"R1", "<Fav Rep='NOTHING'/>"});
  EXPECT_TRUE(missing.failures.empty());
  EXPECT_EQ(missing.rows, 0);
  EXPECT_EQ(missing.report_status, (std::vector<int>{100, 100}));
}

TEST(PreviewBuilder, AsynchronousModeBuildsNothingAndRaisesNoEvents) {
  BuilderWorkspace workspace;
  TwoFormats(workspace);
  const PreviewRun run = workspace.Preview(
      {"R1"}, [](CPreviewBuilder& builder) { builder.ProcessingMode(enmAsynchronous); });
  EXPECT_TRUE(run.format_names.empty());
  EXPECT_TRUE(run.report_status.empty());
  EXPECT_EQ(Canonical(run.evaluated), "<Fmt MRow=\"0\" MCol=\"0\"><Itms/></Fmt>");
}

TEST(PreviewBuilder, QueueAndOverrideRules) {
  BuilderWorkspace workspace;
  TwoFormats(workspace);
  workspace.Write();
  OnNewThread([&] {
    CPreviewBuilder builder;
    // A standard report of seven children: the override becomes the 8th.
    xml::Document document = xml::Document::Parse(
        "<Reps><Rep Key='R1'><Grps/><Hdrs/><Bdys/><Ftrs/><PgSetup Ovr='0'/><Desc/><Opts/></Rep>"
        "</Reps>");
    const xml::Node report = document.DocumentElement().FirstChild();
    // No queue before the first ResetQueue.
    const Error failure = FailureOf([&] { builder.AddReport(report); });
    EXPECT_EQ(failure.Source(), "AddReport");
    EXPECT_EQ(failure.Number(), kErrObjectRequired);

    builder.Init(workspace.Folder().LaunchProperties());
    builder.ResetQueue();
    const xml::Node override_node =
        xml::Document::Parse("<DCs><DC Key='X'/></DCs>").DocumentElement();
    builder.AddReport(report, override_node);
    // The caller's node has one more child (a copy) and now stands in the queue.
    EXPECT_EQ(report.ChildNodes().Length(), 8u);
    EXPECT_EQ(report.LastChild().Name(), "DCs");
    EXPECT_FALSE(report.LastChild() == override_node);
    EXPECT_EQ(report.ParentNode().Name(), "Reps");
    // The build takes the override out again.
    builder.CreatePreview();
    EXPECT_EQ(report.ChildNodes().Length(), 7u);
  });
}

TEST(PreviewBuilder, CellsToDoListIsBuiltOnce) {
  BuilderWorkspace workspace;
  workspace.Write();
  OnNewThread([&] {
    CPreviewBuilder builder;
    builder.Init(workspace.Folder().LaunchProperties());
    const xml::Node five = builder.CreateCellsToDo(5);
    const xml::Node nine = builder.CreateCellsToDo(9);
    EXPECT_EQ(five.Xml(),
              "<Cols><Col ID=\"1\"/><Col ID=\"2\"/><Col ID=\"3\"/><Col ID=\"4\"/>"
              "<Col ID=\"5\"/></Cols>");
    EXPECT_EQ(nine.Xml(), five.Xml());
    EXPECT_FALSE(five == nine);
  });
}

TEST(PreviewBuilder, PageNumberConditions) {
  BuilderWorkspace workspace;
  workspace.Write();
  OnNewThread([&] {
    CPreviewBuilder builder;
    EXPECT_EQ(FailureOf([&] { builder.EvaluatePageNumberCondition("1"); }).Source(),
              "EvaluatePageNumberCondition");
    builder.Init(workspace.Folder().LaunchProperties());
    EXPECT_EQ(builder.EvaluatePageNumberCondition(""), 1);
    EXPECT_EQ(builder.EvaluatePageNumberCondition("   "), 1);
    EXPECT_EQ(builder.EvaluatePageNumberCondition("2+3"), 5);
    EXPECT_EQ(builder.EvaluatePageNumberCondition(" =2+3 "), 5);
    EXPECT_EQ(builder.EvaluatePageNumberCondition("=\"abc\""), 1);
    EXPECT_EQ(builder.EvaluatePageNumberCondition("=(2+"), 1);
    EXPECT_EQ(builder.EvaluatePageNumberCondition("=7/2"), 4);  // halves to even
    EXPECT_EQ(FailureOf([&] { builder.EvaluatePageNumberCondition("=99999*9"); }).Number(),
              kErrOverflow);
  });
}

TEST(PreviewBuilder, SortXmlReplacesTheSourceByTheTransform) {
  OnNewThread([] {
    CPreviewBuilder builder;
    xml::Node source = xml::Document::Parse(
                           "<Rows><Row Del='0' Keep='0'>3</Row><Row Del='-1' Keep='-1'>12</Row>"
                           "<Row Del='0' Keep='-1'>7</Row></Rows>")
                           .DocumentElement();
    const xml::Node original = source;
    const xml::Node stylesheet =
        xml::Document::Parse(
            "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
            "<xsl:template match='Rows'><Rows><xsl:for-each select='Row'>"
            "<xsl:sort select='.' data-type='number' order='descending'/>"
            "<Row><xsl:value-of select='.'/></Row></xsl:for-each></Rows></xsl:template>"
            "</xsl:stylesheet>")
            .DocumentElement();
    builder.SortXML(source, stylesheet);
    EXPECT_EQ(source.Xml(), "<Rows><Row>12</Row><Row>7</Row><Row>3</Row></Rows>");
    EXPECT_EQ(original.ChildNodes().Length(), 3u);  // the old source is untouched
  });
}

// Outside components registered by the test: a status object and a pool
// that count what the builder hands them.
struct Counted {
  std::vector<std::optional<std::int32_t>> statuses;
  int parsers = 0;
};
Counted* g_counted = nullptr;

class CountingStatus : public IPreviewStatus {
 public:
  void UpdateStatus(std::optional<std::int32_t> value, std::optional<std::string>,
                    std::optional<std::string>) override {
    g_counted->statuses.push_back(value);
  }
};
class CountingPool : public IParserPool {
 public:
  void AddParser(std::shared_ptr<cParser>) override { ++g_counted->parsers; }
};

// Registers the counting components for its scope and puts the previous
// ones back however the test ends.
class CountingComponents {
 public:
  explicit CountingComponents(Counted& counted) {
    g_counted = &counted;
    registered.Register(kPreviewStatusId, [] { return std::make_shared<CountingStatus>(); });
    registered.Register(kParserPoolId, [] { return std::make_shared<CountingPool>(); });
  }
  ~CountingComponents() { g_counted = nullptr; }
  CountingComponents(const CountingComponents&) = delete;
  CountingComponents& operator=(const CountingComponents&) = delete;

  testing::ScopedRegistration registered;
};

TEST(PreviewBuilder, OutsideComponentsHearOfEveryBuildAndTheEnd) {
  BuilderWorkspace workspace;
  TwoFormats(workspace);
  Counted counted;
  std::string last_status;
  {
    CountingComponents registered(counted);
    workspace.Preview({"R1", "R2"});
    OnNewThread([&] {
      CPreviewBuilder builder;
      builder.Init(workspace.Folder().LaunchProperties());
      builder.ResetQueue();
      builder.CreatePreview();
      auto* store = dynamic_cast<providers::WorkspaceStoreContext*>(GetStoreContext().get());
      ASSERT_NE(store, nullptr);
      last_status = store->LastStatus();
    });
    // Without them the builder works all the same.
    registered.registered.Register(kPreviewStatusId, {});
    registered.registered.Register(kParserPoolId, {});
    EXPECT_TRUE(workspace.Preview({"R1"}).failures.empty());
  }
  EXPECT_EQ(last_status, "END_PREVIEW");
  EXPECT_EQ(counted.parsers, 6);  // three per builder
  const std::vector<std::optional<std::int32_t>> expected = {100, 100, std::nullopt, std::nullopt};
  EXPECT_EQ(counted.statuses, expected);
}

TEST(PreviewBuilder, FailedReportIsReportedAndTheNextIsBuilt) {
  BuilderWorkspace workspace;
  TwoFormats(workspace);
  workspace.Report("BAD", Entry("ONE"), Group(Entry("ONE"), "", "OR=\"sideways\""));
  const PreviewRun run = workspace.Preview({"BAD", "R2"});
  ASSERT_EQ(run.failures.size(), 1u);
  EXPECT_EQ(run.failures[0].Source(), "BuildReport");
  EXPECT_EQ(run.failures[0].Number(), kErrTypeMismatch);
  EXPECT_EQ(run.texts.at("A1"), std::vector<std::string>{"two"});
}

}  // namespace
}  // namespace orvo::testing
