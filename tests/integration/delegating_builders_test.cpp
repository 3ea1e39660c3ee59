// The delegating builders with the reference evaluator components over the
// sample workspace: every report gives the same preview through
// CPreviewBuilder, CPreviewBuilder2 and CPreviewBuilder3, and the same
// header/footer, reference-index and drill-down answers.
#include "orvo/delegating_builders.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "orvo/external_evaluator.h"
#include "orvo/preview_builder.h"
#include "orvo/providers.h"
#include "orvo/xml.h"
#include "support/on_new_thread.h"
#include "support/sample_folders.h"

namespace orvo {
namespace {

using testing::OnNewThread;
using testing::SmallWorkspace;

xml::Node LaunchProperties() {
  xml::Document launch = xml::Document::Parse("<LaunchProperties/>");
  launch.DocumentElement().SetAttribute("Workspace", SmallWorkspace());
  return launch.DocumentElement();
}

xml::Node Favourite(const std::string& key) {
  return xml::Document::Parse("<Fav Rep='" + key + "'/>").DocumentElement();
}

// What a host reads after a build, as texts to compare.
struct Answers {
  std::string format;
  std::string headers;
  std::string footers;
  std::map<std::int32_t, std::int32_t> reference_rows;  // reference index -> row
  std::map<std::int32_t, std::string> drill_objects;    // drill key number -> objects
};

std::string Joined(const Collection<xml::Node>& objects) {
  std::string text;
  for (const xml::Node& object : objects) text += object.Xml();
  return text;
}

std::map<std::int32_t, std::int32_t> ReferenceRows(const ColEvaluatedBookmarks& index,
                                                   std::int32_t entries) {
  std::map<std::int32_t, std::int32_t> rows;
  for (std::int32_t k = 1; k <= entries; ++k) {
    if (const auto bookmark = index.FindByRefIndex(k)) rows[k] = bookmark->RefRow();
  }
  return rows;
}

std::int32_t DrillNumber(const std::string& key) { return std::stoi(key.substr(9)); }

Answers WithBuilder1(const std::string& report, std::vector<std::string>& drill_keys,
                     std::int32_t& reference_entries) {
  CPreviewBuilder builder;
  builder.Init(LaunchProperties());
  builder.ResetQueue();
  builder.AddReport(Favourite(report));
  builder.CreatePreview();
  EXPECT_TRUE(builder.BuildFailures().empty()) << report;
  Answers answers;
  answers.format = builder.EvaluatedFormat().Xml();
  answers.headers = builder.PreviewHeaders()->GetAsXML("H").Xml();
  answers.footers = builder.PreviewFooters()->GetAsXML("F").Xml();
  reference_entries = 0;
  for (xml::Node ref = builder.RefIndex()->GetAsXML("I").FirstChild(); ref;
       ref = ref.NextSibling()) {
    ++reference_entries;
  }
  answers.reference_rows = ReferenceRows(*builder.RefIndex(), reference_entries);
  for (const xml::Node& key : builder.DrillDownObject()->DrillKeys().SelectNodes("DrillKey")) {
    drill_keys.push_back(key.AttributeOr("DKey", ""));
  }
  for (const std::string& drill_key : drill_keys) {
    answers.drill_objects[DrillNumber(drill_key)] =
        Joined(builder.DrillDownObject()->DrillObject(drill_key));
  }
  return answers;
}

Answers WithBuilder2(const std::string& report, const std::vector<std::string>& drill_keys,
                     std::int32_t reference_entries) {
  CPreviewBuilder2 builder;
  builder.Init(LaunchProperties());
  builder.AddReport(Favourite(report));
  builder.CreatePreview();
  Answers answers;
  answers.format = builder.EvaluatedFormat().Xml();
  answers.headers = builder.PreviewHeaders()->GetAsXML("H").Xml();
  answers.footers = builder.PreviewFooters()->GetAsXML("F").Xml();
  answers.reference_rows = ReferenceRows(*builder.RefIndex(), reference_entries);
  for (const std::string& key : drill_keys) {
    const std::int32_t number = DrillNumber(key);
    answers.drill_objects[number] =
        Joined(builder.DrillDownObject()->DrillObject(std::to_string(number)));
  }
  return answers;
}

// Builder 3: the host reads everything from the evaluator, and files the
// header/footer ranges and references itself as builder 2 does.
Answers WithBuilder3(const std::string& report, const std::vector<std::string>& drill_keys,
                     std::int32_t reference_entries) {
  CPreviewBuilder3 builder;
  builder.Init(LaunchProperties());
  builder.AddReport(Favourite(report));
  builder.CreatePreview();
  auto results = std::dynamic_pointer_cast<ExternalEvaluator>(builder.evaluator());
  EXPECT_TRUE(results);
  if (!results) return {};
  Answers answers;
  answers.format = results->ResultFormat().Xml();
  cHeaderFooter headers;
  cHeaderFooter footers;
  for (const xml::Node& range : results->HeaderFooterRanges().SelectNodes("*")) {
    const xml::NodeList blocks = range.SelectNodes("*");
    const auto block = [&](std::size_t i) {
      return i < blocks.Length() ? blocks.Item(i) : xml::Node();
    };
    const std::int32_t end = std::stoi(range.AttributeOr("EndRow", ""));
    headers.AddHeaderFooter(end, block(0), block(1));
    footers.AddHeaderFooter(end, block(2), block(3));
  }
  answers.headers = headers.GetAsXML("H").Xml();
  answers.footers = footers.GetAsXML("F").Xml();
  ColEvaluatedBookmarks index;
  for (const xml::Node& ref : results->BookmarkRefs().SelectNodes("*")) {
    auto bookmark = std::make_shared<cEvaluatedBookmark>();
    bookmark->CreateAsRefKeyOnly(std::stoi(ref.AttributeOr("Key", "")),
                                 std::stoi(ref.AttributeOr("Row", "")));
    index.AddAsRefKeyOnly(bookmark);
  }
  answers.reference_rows = ReferenceRows(index, reference_entries);
  for (const std::string& key : drill_keys) {
    std::string objects;
    for (const xml::Node& object : results->DrillItems(DrillNumber(key)).SelectNodes("*")) {
      objects += object.Xml();
    }
    answers.drill_objects[DrillNumber(key)] = objects;
  }
  return answers;
}

std::vector<std::string> SampleReports() {
  std::vector<std::string> keys;
  OnNewThread([&] {
    auto storage = ComponentRegistry::CreateAs<IStorageProvider>(kStorageProviderId);
    storage->LaunchProperties(LaunchProperties());
    for (const xml::Node& report : storage->StoreContext()->ReportLibrary().SelectNodes("Rep")) {
      keys.push_back(report.AttributeOr("Key", ""));
    }
  });
  return keys;
}

TEST(DelegatingBuilders, AllThreeBuildersGiveTheSameAnswersForEverySampleReport) {
  std::size_t with_headers = 0;
  {
    const std::vector<std::string> reports = SampleReports();
    ASSERT_GE(reports.size(), 3u);
    for (const std::string& report : reports) {
      SCOPED_TRACE(report);
      OnNewThread([&] {
        // Drill keys as the preview has them, and one that none has.
        std::vector<std::string> drill_keys{"DrillItem1"};
        std::int32_t reference_entries = 0;
        const Answers first = WithBuilder1(report, drill_keys, reference_entries);
        ASSERT_FALSE(first.format.empty());
        with_headers += first.headers != "<H/>";
        for (int which : {2, 3}) {
          SCOPED_TRACE("builder " + std::to_string(which));
          const Answers other = which == 2 ? WithBuilder2(report, drill_keys, reference_entries)
                                           : WithBuilder3(report, drill_keys, reference_entries);
          EXPECT_EQ(other.format, first.format);
          EXPECT_EQ(other.headers, first.headers);
          EXPECT_EQ(other.footers, first.footers);
          EXPECT_EQ(other.reference_rows, first.reference_rows);
          EXPECT_EQ(other.drill_objects, first.drill_objects);
        }
      });
    }
  }
  // The sample exercises the header/footer ranges.
  EXPECT_GT(with_headers, 0u);
}

TEST(DelegatingBuilders, ProgressEventsOfTheReferenceContextReachTheBuilder) {
  OnNewThread([&] {
    CPreviewBuilder2 builder;
    builder.Init(LaunchProperties());
    std::vector<std::string> names;
    std::int16_t last_report_status = 0;
    builder.FormatName.Connect([&](const std::string& name) { names.push_back(name); });
    builder.ReportStatus.Connect([&](std::int16_t status) { last_report_status = status; });
    builder.AddReport(Favourite("INCOME_STATEMENT"));
    builder.CreatePreview();
    EXPECT_FALSE(names.empty());
    EXPECT_EQ(last_report_status, 100);
  });
}

TEST(DelegatingBuilders, AFailingReportBuildReachesTheHostAndLeavesNoResults) {
  OnNewThread([&] {
    CPreviewBuilder2 builder;
    builder.Init(LaunchProperties());
    // An orientation that is not a number fails the report's build.
    builder.AddReport(xml::Document::Parse("<Rep Key='BAD' OR='landscape'/>").DocumentElement());
    try {
      builder.CreatePreview();
      ADD_FAILURE() << "the build did not fail";
    } catch (const Error& failure) {
      EXPECT_EQ(failure.Source(), "BuildReport");
    }
    EXPECT_TRUE(builder.EvaluatedFormat().IsNull());
    EXPECT_EQ(builder.PreviewHeaders()->GetAsXML("H").Xml(), "<H/>");
    auto details = std::dynamic_pointer_cast<IEvaluatorDetails>(builder.evaluator());
    ASSERT_TRUE(details);
    EXPECT_EQ(details->CancelFile(), "");
  });
}

TEST(DelegatingBuilders, TheReferenceTextLayoutMeasuresByItsMetricTable) {
  OnNewThread([&] {
    CPreviewBuilder3 builder;
    std::shared_ptr<TextLayoutService> layout = builder.TextLayoutHelper();
    ASSERT_TRUE(layout);
    EXPECT_DOUBLE_EQ(layout->TextWidth("", "Arial", 10), 0);
    EXPECT_DOUBLE_EQ(layout->TextWidth("abc", "Arial", -1), 0);
    EXPECT_DOUBLE_EQ(layout->TextWidth("MW", "Courier New", 10), 12.0);
    EXPECT_DOUBLE_EQ(layout->TextWidth("1 000", "Helvetica", 10), 4 * 5.56 + 2.78);
    EXPECT_NEAR(layout->TextWidth("1 000", "Times New Roman", 10), (4 * 5.56 + 2.78) * 0.93, 1e-9);
    EXPECT_NEAR(layout->TextWidth("Ab", "Arial Bold", 10), (6.67 + 5.56) * 1.06, 1e-9);
    EXPECT_DOUBLE_EQ(layout->TextWidth("\xC3\xA9t\xC3\xA9", "Arial", 10), 5.56 + 3.33 + 5.56);
    EXPECT_GT(layout->TextWidth("Total revenue", "Arial", 10),
              layout->TextWidth("Total revenue", "Arial", 8));
  });
}

}  // namespace
}  // namespace orvo
