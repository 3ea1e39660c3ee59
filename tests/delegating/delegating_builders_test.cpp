#include "orvo/delegating_builders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "delegating_fakes.h"
#include "frame/launch_properties.h"
#include "frame/provider_access.h"
#include "frame/thread_context.h"
#include "orvo/error.h"
#include "support/failure_of.h"
#include "support/fake_components.h"

namespace orvo {
namespace {

using namespace orvo::testing;

xml::Node Parsed(const std::string& text) { return xml::Document::Parse(text).DocumentElement(); }

// A two-range answer: headers H1, H2 and footers F1, F2 with their space
// fillers, two bookmark references and one drill item.
std::map<std::string, std::string> FullAnswers() {
  return {
      {"ResultFormat", "<Fmt><Itms><Row/></Itms></Fmt>"},
      {"PageSetups", "<PgBks><PgB Row='1'/></PgBks>"},
      {"KeptSections", "<KpSections><Sect/></KpSections>"},
      {"BodySpaceFillers", "<SpFs><SF Row='4'/></SpFs>"},
      {"HeaderFooterRanges",
       "<R><HFRange EndRow='10'><Fmt N='H1'><Itms><Row/></Itms></Fmt><SpFsH N='HS1'/>"
       "<Fmt N='F1'><Itms><Row/></Itms></Fmt><SpFsF N='FS1'/></HFRange>"
       "<HFRange EndRow='25'><Fmt N='H2'><Itms><Row/></Itms></Fmt><SpFsH N='HS2'/>"
       "<Fmt N='F2'><Itms><Row/></Itms></Fmt><SpFsF N='FS2'/></HFRange></R>"},
      {"BookmarkRefs", "<Refs><Ref Key='2' Row='7'/><Ref Key='1' Row='12'/></Refs>"},
      {"DrillItems", "<DrillItem><D A='1'/><D A='2'/></DrillItem>"},
  };
}

class DelegatingBuilders : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterCounting<FakeStorageProvider>(kStorageProviderId);
    RegisterCounting<FakeNodeStorageProvider>(kNodeStorageProviderId);
  }
  // Stores the launch properties and wires the data driver of this thread.
  void UseDriver() {
    SetLaunchProperties(launch_);
    auto node_storage =
        std::dynamic_pointer_cast<FakeNodeStorageProvider>(GetNodeStorageProvider());
    node_storage->driver = &driver_;
  }

  FreshThreadContext fresh_;
  DelegatingFakes fakes_;
  FakeDriver driver_;
  xml::Node launch_ = Parsed("<LaunchProperties Workspace='/w'/>");
  xml::Node report_ = Parsed("<Rep Key='R'/>");
};

TEST_F(DelegatingBuilders, Builder2FilesTheEvaluatorsAnswersInTheSharedCollections) {
  fakes_.answers = FullAnswers();
  CPreviewBuilder2 builder;
  FakeEvaluator& evaluator = fakes_.evaluator();
  EXPECT_FALSE(evaluator.document.IsNull());  // the builder's document
  ASSERT_EQ(fakes_.context().init_calls.size(), 1u);
  EXPECT_TRUE(fakes_.context().init_calls[0].IsNull());  // nothing stored yet
  EXPECT_EQ(evaluator.context.get(), &fakes_.context());

  builder.Init(launch_);
  EXPECT_EQ(fakes_.context().init_calls.back().AttributeOr("Workspace", ""), "/w");
  builder.AddReport(report_);
  ASSERT_EQ(evaluator.loaded.size(), 1u);
  EXPECT_TRUE(evaluator.loaded[0] == report_);
  builder.CreatePreview();

  EXPECT_EQ(builder.EvaluatedFormat().Name(), "Fmt");
  EXPECT_EQ(builder.SpaceFillersBody().Xml(), "<SpFs><SF Row=\"4\"/></SpFs>");
  EXPECT_EQ(builder.PageThrows().Name(), "PgBks");
  EXPECT_EQ(builder.KeepSections().Name(), "KpSections");
  EXPECT_EQ(builder.PhysicalPageToStartNumbering(), 3);
  evaluator.first_numbered_page = 5;  // read at call time
  EXPECT_EQ(builder.PhysicalPageToStartNumbering(), 5);

  auto headers = builder.PreviewHeaders();
  auto footers = builder.PreviewFooters();
  EXPECT_EQ(headers->ItemForRow(10).AttributeOr("N", ""), "H1");
  EXPECT_EQ(headers->SpaceFillerForRow().AttributeOr("N", ""), "HS1");
  EXPECT_EQ(headers->ItemForRow(11).AttributeOr("N", ""), "H2");
  EXPECT_EQ(footers->ItemForRow(25).AttributeOr("N", ""), "F2");
  EXPECT_EQ(footers->SpaceFillerForRow().AttributeOr("N", ""), "FS2");
  EXPECT_TRUE(footers->IsFooter());
  EXPECT_TRUE(headers->ItemForRow(26).IsNull());

  auto index = builder.RefIndex();
  ASSERT_TRUE(index->FindByRefIndex(1));
  EXPECT_EQ(index->FindByRefIndex(1)->RefRow(), 12);
  EXPECT_EQ(index->FindByRefIndex(2)->RefRow(), 7);

  Collection<xml::Node> objects = builder.DrillDownObject()->DrillObject(" 4 ");
  ASSERT_EQ(objects.Count(), 2);
  EXPECT_EQ(objects.Item(2).AttributeOr("A", ""), "2");
  EXPECT_EQ(evaluator.drill_requests, std::vector<std::int32_t>{4});
  EXPECT_EQ(FailureOf([&] { builder.DrillDownObject()->DrillObject("DrillItem1"); }).Number(),
            kErrTypeMismatch);
}

TEST_F(DelegatingBuilders, CancelFileIsEmptyAfterEveryCreatePreviewOfEitherBuilder) {
  fakes_.answers = FullAnswers();
  UseDriver();
  CPreviewBuilder2 builder2;
  FakeEvaluator& evaluator2 = fakes_.evaluator();
  builder2.AddReport(report_);
  builder2.CancelNotificationFile("/tmp/stop-it");
  EXPECT_EQ(evaluator2.cancel_file, "/tmp/stop-it");
  builder2.CreatePreview();
  EXPECT_EQ(evaluator2.cancel_file, "");

  CPreviewBuilder3 builder3;
  FakeEvaluator& evaluator3 = fakes_.evaluator();
  builder3.AddReport(report_);
  builder3.CancelNotificationFile("/tmp/stop-that");
  EXPECT_EQ(evaluator3.cancel_file, "/tmp/stop-that");
  builder3.CreatePreview();
  EXPECT_EQ(evaluator3.cancel_file, "");
  EXPECT_EQ(evaluator3.runs, 1);
  EXPECT_EQ(driver_.executions["Refresh_DDKFunction"], 1);  // before the run

  // Also when the build fails; the failure reported is the build's.
  for (FakeEvaluator* evaluator : {&evaluator2, &evaluator3}) {
    evaluator->CancelFile("/tmp/again");
    evaluator->failing_member = "Run";
  }
  ASSERT_TRUE(builder2.EvaluatedFormat());
  EXPECT_EQ(FailureOf([&] { builder2.CreatePreview(); }).Number(), 4242);
  EXPECT_TRUE(builder2.EvaluatedFormat().IsNull());  // the failed build's: none
  EXPECT_EQ(FailureOf([&] { builder3.CreatePreview(); }).Number(), 4242);
  EXPECT_EQ(evaluator2.cancel_file, "");
  EXPECT_EQ(evaluator3.cancel_file, "");
}

TEST_F(DelegatingBuilders, InitWithADataObjectAttachesItAndAddReportWritesTheOverrideToIt) {
  CPreviewBuilder2 builder;
  FakeEvaluator& evaluator = fakes_.evaluator();
  FakeContext& shared = fakes_.context();
  auto own = std::make_shared<FakeContext>();
  std::vector<std::string> names;
  builder.FormatName.Connect([&](const std::string& name) { names.push_back(name); });

  builder.Init(launch_, own);
  EXPECT_EQ(evaluator.context, own);
  ASSERT_EQ(own->init_calls.size(), 1u);
  EXPECT_EQ(own->init_calls[0].AttributeOr("Workspace", ""), "/w");
  // The launch properties stored first stay.
  builder.Init(Parsed("<LaunchProperties Workspace='/other'/>"));
  EXPECT_EQ(own->init_calls.back().AttributeOr("Workspace", ""), "/w");

  const xml::Node override_node = Parsed("<DCOverride Key='X'/>");
  builder.AddReport(report_, override_node);
  builder.AddReport(report_);
  ASSERT_EQ(own->overrides.size(), 2u);
  EXPECT_TRUE(own->overrides[0] == override_node);
  EXPECT_TRUE(own->overrides[1].IsNull());
  EXPECT_EQ(own->per_report_writes, (std::vector<bool>{false, false}));
  EXPECT_TRUE(shared.overrides.empty());

  // Events come from the attached context only.
  evaluator.progress = "INCOME";
  builder.CreatePreview();
  shared.FormatName.Raise("not mine");
  EXPECT_EQ(names, std::vector<std::string>{"INCOME"});
}

TEST_F(DelegatingBuilders, BothBuildersForwardTheContextsEventsWhileTheyLive) {
  UseDriver();
  std::vector<std::string> seen;
  {
    CPreviewBuilder3 builder;
    builder.FormatName.Connect([&](const std::string& name) { seen.push_back("name " + name); });
    builder.FormatStatus.Connect(
        [&](std::int16_t s) { seen.push_back("format " + std::to_string(s)); });
    builder.ReportStatus.Connect(
        [&](std::int16_t s) { seen.push_back("report " + std::to_string(s)); });
    fakes_.evaluator().progress = "BS";
    builder.AddReport(report_);
    builder.CreatePreview();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"name BS", "format 50", "report 100"}));
  fakes_.context().FormatName.Raise("after release");  // nobody listens any more
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(DelegatingBuilders, AnEvaluatorWithoutAResultFormatLeavesEverythingEmpty) {
  fakes_.answers = FullAnswers();
  CPreviewBuilder2 builder;
  builder.AddReport(report_);
  builder.CreatePreview();
  ASSERT_TRUE(builder.PreviewHeaders()->ItemForRow(1));

  fakes_.evaluator().answers.erase("ResultFormat");
  builder.AddReport(report_);
  builder.CreatePreview();
  EXPECT_TRUE(builder.EvaluatedFormat().IsNull());
  EXPECT_EQ(builder.SpaceFillersBody().Xml(), "<SpFs/>");
  EXPECT_EQ(builder.PreviewHeaders()->GetAsXML("H").Xml(), "<H/>");
  EXPECT_EQ(builder.PreviewFooters()->GetAsXML("F").Xml(), "<F/>");
  EXPECT_EQ(builder.RefIndex()->GetAsXML("I").Xml(), "<I/>");
}

TEST_F(DelegatingBuilders, AHostComponentsFailureReachesTheCallerUnchanged) {
  fakes_.answers = FullAnswers();
  UseDriver();
  CPreviewBuilder2 builder2;
  FakeEvaluator& evaluator = fakes_.evaluator();
  for (const char* member : {"LoadReport", "Run", "PageSetups", "CancelFile", "DrillItems"}) {
    SCOPED_TRACE(member);
    evaluator.failing_member = "";
    evaluator.CancelFile("");
    evaluator.failing_member = member;
    const Error failure = FailureOf([&] {
      builder2.AddReport(report_);
      builder2.CreatePreview();
      builder2.PageThrows();
      builder2.CancelNotificationFile("x");
      builder2.DrillDownObject()->DrillObject("1");
    });
    EXPECT_EQ(failure.Number(), 4242);
    EXPECT_EQ(failure.Source(), std::string("FakeEvaluator.") + member);
    EXPECT_EQ(failure.Description(), "it broke");
  }
  fakes_.context().failing_member = "InitContext";
  Error failure = FailureOf([&] { builder2.Init(launch_); });
  EXPECT_EQ(failure.Source(), "FakeContext.InitContext");
  EXPECT_EQ(FailureOf([&] { CPreviewBuilder3 builder3; }).Number(), 4711);
  fakes_.context().failing_member = "";

  // A component that cannot be created: the registry's failure.
  fakes_.registration.Register(kExternalEvaluatorId, [] { return std::shared_ptr<IComponent>(); });
  failure = FailureOf([] { CPreviewBuilder2 nothing; });
  EXPECT_EQ(failure.Source(), "ComponentRegistry.Create");
}

TEST_F(DelegatingBuilders, ReleasingBuilder2EmptiesTheThreadsSharedCollections) {
  fakes_.answers = FullAnswers();
  auto builder = std::make_unique<CPreviewBuilder2>();
  builder->AddReport(report_);
  builder->CreatePreview();
  auto headers = builder->PreviewHeaders();
  auto index = builder->RefIndex();
  ASSERT_TRUE(headers->ItemForRow(1));
  ASSERT_TRUE(index->FindByRefIndex(1));

  // A second builder on the thread shares them.
  CPreviewBuilder2 other;
  EXPECT_EQ(other.PreviewHeaders(), headers);
  EXPECT_EQ(other.RefIndex(), index);

  builder.reset();
  EXPECT_NE(other.PreviewHeaders(), headers);
  EXPECT_EQ(other.PreviewHeaders()->GetAsXML("H").Xml(), "<H/>");
  EXPECT_EQ(other.PreviewFooters()->GetAsXML("F").Xml(), "<F/>");
  EXPECT_TRUE(other.RefIndex()->FindByRefIndex(1) == nullptr);
  // What the host still holds stays readable.
  EXPECT_TRUE(headers->ItemForRow(1));
}

TEST_F(DelegatingBuilders, BadAnswersRaiseClearFailures) {
  fakes_.answers = FullAnswers();
  fakes_.answers["HeaderFooterRanges"] = "<R><HFRange EndRow='ten'/></R>";
  CPreviewBuilder2 builder;
  builder.AddReport(report_);
  EXPECT_EQ(FailureOf([&] { builder.CreatePreview(); }).Number(), kErrTypeMismatch);

  fakes_.evaluator().answers["HeaderFooterRanges"] = "<R><HFRange EndRow='3'/></R>";
  fakes_.evaluator().answers["BookmarkRefs"] = "<Refs><Ref Key='1'/></Refs>";  // no Row
  EXPECT_EQ(FailureOf([&] { builder.CreatePreview(); }).Number(), kErrTypeMismatch);
  // A range without blocks files nothing.
  EXPECT_EQ(builder.PreviewHeaders()->GetAsXML("H").Xml(), "<H/>");

  fakes_.evaluator().answers["BookmarkRefs"] = "<Refs><Ref Key='0' Row='1'/></Refs>";
  EXPECT_EQ(FailureOf([&] { builder.CreatePreview(); }).Number(), kErrOutOfBounds);
}

TEST_F(DelegatingBuilders, Builder3CleanScaleAndTextLayout) {
  CPreviewBuilder3 before_init;
  EXPECT_TRUE(fakes_.context().init_calls.empty());  // nothing stored yet
  before_init.Init(launch_);
  ASSERT_EQ(fakes_.context().init_calls.size(), 1u);

  CPreviewBuilder3 builder;
  EXPECT_EQ(fakes_.context().init_calls.size(), 2u);  // stored: initialised at construction
  FakeEvaluator& first = fakes_.evaluator();
  builder.ScalePercentage(80);
  EXPECT_EQ(first.scale, 80);
  EXPECT_EQ(builder.ScalePercentage(), 80);
  builder.Clean();
  EXPECT_NE(builder.evaluator().get(), static_cast<ExternalEvaluator3*>(&first));
  EXPECT_EQ(builder.ScalePercentage(), 100);
  EXPECT_EQ(fakes_.evaluator().context, first.context);  // the same context

  auto layout = std::make_shared<FakeTextLayout>();
  builder.TextLayoutHelper(layout);
  EXPECT_EQ(builder.TextLayoutHelper(), layout);
  EXPECT_EQ(before_init.TextLayoutHelper(), layout);  // the context is the thread's

  const xml::Node override_node = Parsed("<DCOverride/>");
  builder.AddReport(report_, override_node);
  EXPECT_TRUE(fakes_.context().overrides.back() == override_node);
  EXPECT_EQ(fakes_.context().per_report_writes.back(), false);
  EXPECT_TRUE(fakes_.evaluator().loaded.back() == report_);

  // A Clean whose new evaluator cannot be made leaves the builder without
  // one: later calls fail clearly.
  fakes_.registration.Register(kExternalEvaluator3Id, [] { return std::shared_ptr<IComponent>(); });
  EXPECT_EQ(FailureOf([&] { builder.Clean(); }).Source(), "ComponentRegistry.Create");
  EXPECT_TRUE(builder.evaluator() == nullptr);
  EXPECT_EQ(FailureOf([&] { builder.AddReport(report_); }).Number(), kErrObjectRequired);
  EXPECT_EQ(FailureOf([&] { builder.ScalePercentage(); }).Number(), kErrObjectRequired);
}

}  // namespace
}  // namespace orvo
