#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream stream(file);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

void Replace(const std::filesystem::path& file, const std::string& from, const std::string& to) {
  std::string text = ReadAll(file);
  std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
  std::ofstream(file) << text;
}

TEST(CheckCommand, ReportsEveryMessageWithItsPlace) {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvo_cli_check_" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  ASSERT_EQ(RunOrvo({"sample", folder.string(), "--accounts", "40"}).exit_code, 0);
  // A designer's slips: an unbalanced formula, an unknown folder, a condition
  // that is not a formula.
  Replace(folder / "formats.xml", "Value=\"=B12-B20\"", "Value=\"=Sum(B12-B20\"");
  Replace(folder / "formats.xml", "Value=\"=-CM.PAYABLES\"", "Value=\"=-CM.PAYABLEZ\"");
  Replace(folder / "reports.xml", "<PCnd/>", "<PCnd>A1&gt;0</PCnd>");

  auto check = RunOrvo({"check", folder.string()});
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_NE(check.out.find("!B"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find(": Brackets don't match\n"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find(": Chart map folder does not exist\n"), std::string::npos);
  EXPECT_NE(check.out.find("INCOME_STATEMENT!Hdr1 (IS_HEADER): print condition is not a formula"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find(" formulas, 3 with errors\n"), std::string::npos) << check.out;

  EXPECT_EQ(RunOrvo({"check"}).exit_code, 2);
  auto missing = RunOrvo({"check", (folder / "nowhere").string()}, true);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.out.find("nowhere"), std::string::npos) << missing.out;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvo
