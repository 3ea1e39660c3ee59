#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

TEST(LedgerCommands, SampleThenDriverAnswersAsXml) {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvo_cli_sample_" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  auto sample = RunOrvo({"sample", folder.string(), "--accounts", "40", "--start", "3"});
  EXPECT_EQ(sample.exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(folder / "ledger.sqlite"));
  // Every formula of the sample parses against its own definitions and driver.
  auto check = RunOrvo({"check", folder.string()});
  EXPECT_EQ(check.exit_code, 0);
  EXPECT_NE(check.out.find(", 0 with errors"), std::string::npos) << check.out;

  auto value =
      RunOrvo({"driver", folder.string(), "AccountValue_DDKFunction", "--filter", "#1:CODE=1000",
               "--filter", "#2:FIELD=AMOUNT", "--filter", "#3:DDKFieldYearName=2024"});
  EXPECT_EQ(value.exit_code, 0);
  EXPECT_EQ(value.out.rfind("<AccountValue_DDKFunction CODE=\"1000\" FIELD=\"AMOUNT\"", 0), 0u)
      << value.out;

  // Repeating the same KEY:FIELD passes an array: two ranges.
  auto ranges = RunOrvo({"driver", folder.string(), "RepeatingBalance_DDKFunction", "--filter",
                         ":DDKFieldFromCode=1000", "--filter", ":DDKFieldFromCode=2000"});
  EXPECT_EQ(ranges.exit_code, 0);
  EXPECT_NE(ranges.out.find("CODE=\"1000\""), std::string::npos);
  EXPECT_NE(ranges.out.find("CODE=\"2000\""), std::string::npos);

  auto unknown = RunOrvo({"driver", folder.string(), "Nope_DDKFunction"}, true);
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_NE(unknown.out.find("Nope_DDKFunction"), std::string::npos);
  EXPECT_EQ(
      RunOrvo({"driver", folder.string(), "LedgerYears_DDKFunction", "--filter", "x"}).exit_code,
      2);
  auto missing =
      RunOrvo({"driver", (folder / "missing").string(), "LedgerYears_DDKFunction"}, true);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.out.find("missing"), std::string::npos);
  EXPECT_EQ(RunOrvo({"sample", folder.string(), "--accounts", "5"}).exit_code, 2);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvo
