#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "orvo/xml.h"
#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

TEST(BadInput, FormulasWithInvalidBytesGiveWellFormedXml) {
  const std::string replacement = "\xEF\xBF\xBD";
  for (const std::string& formula :
       {std::string("=\xFF\xFE+1"), std::string("=\"a\x01\"&B\x1F"), std::string("=\"\xE2\x82")}) {
    SCOPED_TRACE(formula);
    auto parsed = RunOrvo({"parse", "--", formula});
    EXPECT_EQ(parsed.exit_code, 0);
    xml::Document parse = xml::Document::Parse(parsed.out);
    EXPECT_NE(parse.SelectSingleNode("//PEx").AttributeOr("Exp", "").find(replacement),
              std::string::npos);
    for (const xml::Node& message : parse.SelectNodes("//Err")) {
      EXPECT_EQ(message.AttributeOr("Desc", "").find('\x01'), std::string::npos);
    }

    auto tokens = RunOrvo({"tokens", "--", formula});
    EXPECT_EQ(tokens.exit_code, 0);
    EXPECT_NO_THROW(xml::Document::Parse(tokens.out));
  }
}

// A workspace folder of the program's own, its files given as (name, text).
std::filesystem::path Workspace(const std::string& name,
                                const std::vector<std::pair<std::string, std::string>>& files) {
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("orvo_cli_" + name + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (const auto& [file, text] : files) std::ofstream(folder / file) << text;
  return folder;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(BadInput, UnreadableWorkspaceFilesFailOnceBeforeAnyFormula) {
  const std::string settings = "<Workspace CurrentPeriod='12'/>";
  const std::string formats =
      "<Formats><Fmt Key='A'><Itms><Itm Key='A1' Row='1' Col='1' Value='=CM.SALES'/>"
      "<Itm Key='A2' Row='2' Col='1' Value='=BM.NOTE+NR.X'/></Itms></Fmt></Formats>";
  for (const std::string broken : {"chart_map.xml", "bookmarks.xml", "named_ranges.xml"}) {
    SCOPED_TRACE(broken);
    std::filesystem::path folder = Workspace(
        "broken_list", {{"workspace.xml", settings}, {"formats.xml", formats}, {broken, "<Bad>"}});
    auto check = RunOrvo({"check", folder.string()}, true);
    EXPECT_EQ(check.exit_code, 1);
    EXPECT_EQ(check.out, "orvo check: error 1 (Workspace): Workspace file '" +
                             (folder / broken).string() +
                             "' is not well-formed XML (Malformed XML at line 1, column 6: "
                             "Premature end of data in tag Bad line 1)\n");
    auto parse = RunOrvo({"parse", "--workspace", folder.string(), "--", "=CM.SALES"}, true);
    EXPECT_EQ(parse.exit_code, 1);
    EXPECT_EQ(Count(parse.out, (folder / broken).string()), 1u) << parse.out;
    std::filesystem::remove_all(folder);
  }

  const std::string missing = "/nonexistent/orvo/workspace";
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"check", missing},
        std::vector<std::string>{"parse", "--workspace", missing, "--", "=1"}}) {
    auto result = RunOrvo(command, true);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(Count(result.out, "Workspace folder '" + missing + "' does not exist"), 1u)
        << result.out;
  }
}

TEST(BadInput, CheckAndDriverWordABrokenWorkspaceAlike) {
  for (const std::string settings :
       {"<Workspace", "<Workspace CurrentPeriod='0'/>", "<Other/>", "<Workspace Ledger=''/>"}) {
    SCOPED_TRACE(settings);
    std::filesystem::path folder = Workspace("broken_settings", {{"workspace.xml", settings}});
    auto check = RunOrvo({"check", folder.string()}, true);
    auto driver = RunOrvo({"driver", folder.string(), "LedgerYears_DDKFunction"}, true);
    EXPECT_EQ(check.exit_code, 1);
    EXPECT_EQ(driver.exit_code, 1);
    const std::string check_prefix = "orvo check: ";
    const std::string driver_prefix = "orvo driver: ";
    ASSERT_EQ(check.out.rfind(check_prefix, 0), 0u) << check.out;
    ASSERT_EQ(driver.out.rfind(driver_prefix, 0), 0u) << driver.out;
    EXPECT_EQ(check.out.substr(check_prefix.size()), driver.out.substr(driver_prefix.size()));
    EXPECT_NE(check.out.find("workspace.xml"), std::string::npos);
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
}  // namespace orvo
