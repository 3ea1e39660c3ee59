// The fast XML parser against libxml2 over what the library really reads and
// writes: the sample workspace's files and the previews built from them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "integration/builder_workspace.h"
#include "orvo/error.h"
#include "orvo/preview_builder.h"
#include "orvo/xml.h"
#include "support/sample_folders.h"
#include "xml/fast_parser.h"

namespace orvo {
namespace {

using xml::detail::ParsePath;

std::string Outcome(const std::string& text, bool preserve, ParsePath path) {
  const ParsePath before = xml::detail::SetParsePath(path);
  std::string outcome;
  try {
    outcome = xml::detail::DescribeTree(xml::Document::Parse(text, preserve));
  } catch (const Error& error) {
    outcome = "error " + std::to_string(error.Number()) + ": " + error.Description();
  }
  xml::detail::SetParsePath(before);
  return outcome;
}

// Taken by the fast parser, and the same tree as libxml2's.
void ExpectTakenAndSame(const std::string& text, const std::string& what) {
  for (bool preserve : {false, true}) {
    const std::string fast = Outcome(text, preserve, ParsePath::kFastOnly);
    EXPECT_EQ(fast, Outcome(text, preserve, ParsePath::kLibxmlOnly)) << what;
    EXPECT_NE(fast.rfind("error ", 0), 0u) << what;
  }
}

TEST(FastParse, SampleWorkspaceFilesAndPreviews) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testing::SmallWorkspace())) {
    if (entry.path().extension() != ".xml") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    ExpectTakenAndSame(content.str(), entry.path().filename().string());
    ++files;
  }
  EXPECT_GE(files, 7);
  for (const char* report : {"INCOME_STATEMENT", "TRIAL_BALANCE"}) {
    testing::WithStoredPreview(testing::SmallWorkspace(), report, [&](CPreviewBuilder& builder) {
      ExpectTakenAndSame(builder.EvaluatedFormat().Xml(), report);
    });
  }
}

}  // namespace
}  // namespace orvo
