// Cancelling a delegated build through the reference evaluator's cancel
// file: the file appearing, created by a second thread that touches only the
// file system, stops a 40,000-row build before it begins another format and
// leaves no results; a path that names no file never stops one. How fast it
// stops is measured by bench/cancellation_bench.cpp, not here: a bound on
// wall time fails on a loaded machine without the code being wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "integration/builder_workspace.h"
#include "orvo/delegating_builders.h"
#include "orvo/error.h"
#include "orvo/external_evaluator.h"
#include "support/failure_of.h"
#include "support/on_new_thread.h"

namespace orvo::testing {
namespace {

using Clock = std::chrono::steady_clock;

xml::Node Favourite(const std::string& key) {
  return xml::Document::Parse("<Fav Rep='" + key + "'/>").DocumentElement();
}

std::string CancelFileOf(const std::shared_ptr<IEvaluatorDetails>& details) {
  return details ? details->CancelFile() : std::string("no details");
}

TEST(DelegatedCancellation, TheFileAppearingStopsA40000RowBuildWithinTheFormat) {
  BuilderWorkspace workspace;
  LargeReport(workspace);
  workspace.Write();
  const std::filesystem::path cancel_file = workspace.Folder().Folder() / "cancel.now";

  std::atomic<bool> third_format{false};
  std::atomic<bool> file_created{false};
  int formats_begun_after = 0;  // on the build's thread only
  std::atomic<Clock::rep> created_at{0};
  Clock::time_point failed_at;
  Error failure(0, "", "");
  OnNewThread([&] {
    CPreviewBuilder2 builder;
    builder.Init(workspace.Folder().LaunchProperties());
    builder.FormatName.Connect([&](const std::string& name) {
      if (file_created && name.size() > 1 && name[0] == 'F') ++formats_begun_after;
      if (name == "F3") third_format = true;
    });
    builder.AddReport(Favourite("LARGE"));
    builder.CancelNotificationFile(cancel_file.string());
    // Waits, without touching the library, until the build has reached the
    // third format, then creates the file.
    std::thread canceller([&] {
      while (!third_format) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::ofstream(cancel_file) << "stop";
      created_at = Clock::now().time_since_epoch().count();
      file_created = true;
    });
    failure = FailureOf([&] { builder.CreatePreview(); });
    failed_at = Clock::now();
    canceller.join();
    EXPECT_TRUE(builder.EvaluatedFormat().IsNull());
    EXPECT_EQ(builder.PreviewHeaders()->GetAsXML("H").Xml(), "<H/>");
    EXPECT_EQ(builder.RefIndex()->GetAsXML("I").Xml(), "<I/>");
    EXPECT_TRUE(builder.PageThrows().IsNull());
    EXPECT_EQ(CancelFileOf(std::dynamic_pointer_cast<IEvaluatorDetails>(builder.evaluator())), "");
  });
  EXPECT_EQ(failure.Number(), kErrCancelled);
  EXPECT_EQ(failure.Source(), "CreatePreview");
  EXPECT_EQ(failure.Description(), kCancelledDescription);
  ASSERT_NE(created_at.load(), 0);
  const Clock::time_point created{Clock::duration(created_at.load())};
  // The check runs between formats and every thousand rows inside one: at
  // most the format under way when the file appeared may begin after it.
  EXPECT_LE(formats_begun_after, 1);
  RecordProperty(
      "stop_ms",
      static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(failed_at - created).count()));
}

TEST(DelegatedCancellation, OnlyAnExistingFileStopsABuildAndEachBuildNeedsItsOwn) {
  BuilderWorkspace workspace;
  workspace.Format("SMALL", {{"A1", "small"}});
  workspace.Report("SMALL", Entry("SMALL"));
  workspace.Write();
  const std::filesystem::path folder = workspace.Folder().Folder();
  const std::filesystem::path existing = folder / "cancel.now";
  std::ofstream(existing) << "stop";
  OnNewThread([&] {
    CPreviewBuilder2 builder;
    builder.Init(workspace.Folder().LaunchProperties());
    // An empty path, a directory, a missing file, a path below a file.
    for (const std::string& path : {std::string(), folder.string(), (folder / "none").string(),
                                    (existing / "below").string()}) {
      SCOPED_TRACE(path);
      builder.AddReport(Favourite("SMALL"));
      builder.CancelNotificationFile(path);
      builder.CreatePreview();
      EXPECT_FALSE(builder.EvaluatedFormat().IsNull());
    }
    // A file there before the build stops it; the next build needs its own
    // cancel file and runs.
    builder.AddReport(Favourite("SMALL"));
    builder.CancelNotificationFile(existing.string());
    EXPECT_EQ(FailureOf([&] { builder.CreatePreview(); }).Number(), kErrCancelled);
    EXPECT_TRUE(builder.EvaluatedFormat().IsNull());
    builder.CreatePreview();
    EXPECT_FALSE(builder.EvaluatedFormat().IsNull());
  });
  OnNewThread([&] {
    CPreviewBuilder3 builder;
    builder.Init(workspace.Folder().LaunchProperties());
    builder.AddReport(Favourite("SMALL"));
    builder.CancelNotificationFile(existing.string());
    EXPECT_EQ(FailureOf([&] { builder.CreatePreview(); }).Number(), kErrCancelled);
    EXPECT_EQ(CancelFileOf(std::dynamic_pointer_cast<IEvaluatorDetails>(builder.evaluator())), "");
    builder.CreatePreview();
    auto results = std::dynamic_pointer_cast<ExternalEvaluator>(builder.evaluator());
    ASSERT_TRUE(results);
    EXPECT_FALSE(results->ResultFormat().IsNull());
  });
}

}  // namespace
}  // namespace orvo::testing
