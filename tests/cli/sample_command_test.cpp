#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/run_orvo.h"
#include "support/temp_workspace.h"

namespace orvo {
namespace {

using testing::RunOrvo;
using testing::TempWorkspace;

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

TEST(SampleCommand, AFolderHoldingWorkspaceFilesIsLeftAloneUnlessForced) {
  TempWorkspace folder;
  const std::string dir = folder.Folder().string();
  // Files of no workspace do not stand in the way.
  folder.Write("notes.txt", "mine");
  ASSERT_EQ(RunOrvo({"sample", dir, "--accounts", "40"}).exit_code, 0);
  folder.Write("formats.xml", "<Formats/>");
  folder.Write("workspace.xml", "<Workspace/>");

  const auto refused = RunOrvo({"sample", dir, "--accounts", "40"}, true);
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.out.find("already holds workspace files (ledger.sqlite, chart_map.xml, "
                             "formats.xml,"),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find("Give --force to replace them."), std::string::npos);
  EXPECT_EQ(ReadAll(folder.Folder() / "formats.xml"), "<Formats/>");

  EXPECT_EQ(RunOrvo({"sample", dir, "--accounts", "40", "--force"}).exit_code, 0);
  EXPECT_NE(ReadAll(folder.Folder() / "formats.xml"), "<Formats/>");
  EXPECT_EQ(ReadAll(folder.Folder() / "notes.txt"), "mine");
}

// The usage text and the README's command table name the same options.
TEST(SampleCommand, UsageTextAndReadmeAgree) {
  const auto usage = RunOrvo({}, true);
  EXPECT_EQ(usage.exit_code, 2);
  std::string readme = ReadAll(ORVO_README_PATH);
  // The table escapes "|" inside code.
  for (std::size_t at = readme.find("\\|"); at != std::string::npos; at = readme.find("\\|", at))
    readme.erase(at, 1);
  std::istringstream lines(usage.out);
  int commands = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  orvo ", 0) != 0) continue;
    ++commands;
    EXPECT_NE(readme.find("| `" + line.substr(2) + "` |"), std::string::npos) << line;
  }
  EXPECT_GE(commands, 6);
}

}  // namespace
}  // namespace orvo
