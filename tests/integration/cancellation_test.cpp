// A preview build stopped by its cancel check: a second thread creates the
// cancel file while 40,000 rows are being built.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "integration/builder_workspace.h"
#include "orvo/cancel_check.h"
#include "orvo/preview_builder.h"
#include "preview/builder_state.h"
#include "support/failure_of.h"

namespace orvo::testing {
namespace {

// When, in the build's own events, the second thread creates the file.
enum class Moment {
  kBeforeTheBuild,     // the file is there before CreatePreview
  kInsideAFormat,      // halfway through the third format's rows
  kBetweenPasses,      // as the bookmark pass starts
  kBeforeTheDocument,  // as the preview document is about to be written
};

struct CancelledRun {
  Error failure{0, "", ""};
  bool evaluated = true;  // EvaluatedFormat was not null
  bool results_empty = false;
  int format_names_after = 0;  // FormatName events once the file existed
  int rows_after = 0;          // FormatStatus events (one per row) once it existed
  int rows_rebuilt = 0;        // rows of a build afterwards, without a check
};

CancelledRun RunCancelled(const BuilderWorkspace& workspace, Moment moment, bool rebuild) {
  workspace.Write();
  const std::filesystem::path file = workspace.Folder().Folder() / "cancel.now";
  const auto create_from_another_thread = [&file] {
    std::thread([&file] { std::ofstream(file) << "stop"; }).join();
  };
  if (moment == Moment::kBeforeTheBuild) create_from_another_thread();
  CancelledRun run;
  OnNewThread([&] {
    CPreviewBuilder builder;
    bool created = moment == Moment::kBeforeTheBuild;
    bool watching = true;
    std::string format;
    int rows_in_format = 0;
    builder.FormatName.Connect([&](const std::string& name) {
      if (!watching) return;
      if (created) ++run.format_names_after;
      format = name;
      rows_in_format = 0;
      if (created) return;
      if ((moment == Moment::kBetweenPasses && name == "Evaluating bookmarks") ||
          (moment == Moment::kBeforeTheDocument && name == "Generating preview...")) {
        create_from_another_thread();
        created = true;
      }
    });
    builder.FormatStatus.Connect([&](std::int16_t) {
      if (!watching) return;
      if (created) ++run.rows_after;
      if (!created && moment == Moment::kInsideAFormat && format == "F3" &&
          ++rows_in_format == kLargeReportRowsPerFormat / 2) {
        create_from_another_thread();
        created = true;
      }
    });
    builder.Init(workspace.Folder().LaunchProperties());
    builder.SetCancelCheck(CancelFileCheck(file.string()));
    builder.ResetQueue();
    xml::Document queue = xml::Document::Parse("<Fav Rep='LARGE'/>");
    builder.AddReport(queue.DocumentElement());
    run.failure = FailureOf([&] { builder.CreatePreview(); });
    watching = false;  // the rebuild below counts nothing
    run.evaluated = static_cast<bool>(builder.EvaluatedFormat());
    run.results_empty = !builder.PageThrows().HasChildNodes() &&
                        !builder.KeepSections().HasChildNodes() &&
                        !builder.SpaceFillersBody().HasChildNodes() &&
                        !builder.PreviewHeaders()->GetAsXML("H").HasChildNodes() &&
                        !builder.PreviewFooters()->GetAsXML("F").HasChildNodes() &&
                        builder.RefIndex()->Count() == 0 &&
                        !builder.DrillDownObject()->GetAsXML("D").HasChildNodes();
    if (!rebuild) return;
    // The check stays until replaced; without one the same queue builds.
    builder.SetCancelCheck({});
    builder.ResetQueue();
    xml::Document again = xml::Document::Parse("<Fav Rep='LARGE'/>");
    builder.AddReport(again.DocumentElement());
    builder.CreatePreview();
    run.rows_rebuilt = static_cast<int>(builder.EvaluatedFormat().SelectNodes("Itms/Row").Length());
  });
  return run;
}

void ExpectCancelled(const CancelledRun& run) {
  EXPECT_EQ(run.failure.Number(), kErrCancelled);
  EXPECT_EQ(run.failure.Source(), "CreatePreview");
  EXPECT_EQ(run.failure.Description(), kCancelledDescription);
  EXPECT_FALSE(run.evaluated);
  EXPECT_TRUE(run.results_empty);
}

TEST(Cancellation, FileFromAnotherThreadStopsALargeBuildAndEmptiesTheResults) {
  BuilderWorkspace workspace;
  LargeReport(workspace);

  // Inside a format the check is asked at least every kCancelCheckInterval
  // rows (and every kCancelPollTime): the rows evaluated after the file
  // appeared stay below that, and no other format starts.
  const CancelledRun inside = RunCancelled(workspace, Moment::kInsideAFormat, true);
  ExpectCancelled(inside);
  EXPECT_EQ(inside.format_names_after, 0);
  EXPECT_LE(inside.rows_after, static_cast<int>(kCancelCheckInterval));
  EXPECT_EQ(inside.rows_rebuilt, kLargeReportFormats * kLargeReportRowsPerFormat);

  const CancelledRun before = RunCancelled(workspace, Moment::kBeforeTheBuild, false);
  ExpectCancelled(before);
  EXPECT_EQ(before.format_names_after, 0);  // nothing was built

  const CancelledRun passes = RunCancelled(workspace, Moment::kBetweenPasses, false);
  ExpectCancelled(passes);
  EXPECT_EQ(passes.format_names_after, 0);  // no later pass started

  const CancelledRun document = RunCancelled(workspace, Moment::kBeforeTheDocument, false);
  ExpectCancelled(document);
}

}  // namespace
}  // namespace orvo::testing
