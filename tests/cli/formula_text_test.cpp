// Where tokens, parse and eval take their text from, and texts longer than a
// formula may be.
#include <gtest/gtest.h>

#include <string>

#include "support/run_orvo.h"
#include "support/temp_workspace.h"

namespace orvo {
namespace {

using testing::RunOrvo;
using testing::TempWorkspace;

constexpr const char* kNote =
    "orvo: the text is longer than a formula may be (32,767 characters)\n";

TEST(FormulaText, AFileOrStandardInputGivesWhatTheCommandLineGives) {
  TempWorkspace folder;
  folder.Write("formula.txt", "=Sum(A1:B2)+\"a b\"\r\n");
  const std::string file = (folder.Folder() / "formula.txt").string();
  for (const char* command : {"tokens", "parse", "eval"}) {
    SCOPED_TRACE(command);
    const auto inline_text = RunOrvo({command, "--", "=Sum(A1:B2)+\"a b\""});
    EXPECT_EQ(RunOrvo({command, "--file", file}).out, inline_text.out);
    EXPECT_EQ(RunOrvo({command, "-"}, false, file).out, inline_text.out);
    EXPECT_EQ(RunOrvo({command, "--file", "-"}, false, file).out, inline_text.out);
  }
  // Options keep working beside --file; after "--" a lone "-" is text.
  EXPECT_EQ(RunOrvo({"tokens", "--file", file, "--keep-spaces"}).out,
            RunOrvo({"tokens", "--keep-spaces", "--", "=Sum(A1:B2)+\"a b\""}).out);
  EXPECT_EQ(RunOrvo({"tokens", "--", "-"}, false, file).out.find("Sum"), std::string::npos);

  // One text, and a file that can be read.
  EXPECT_EQ(RunOrvo({"parse", "--file", file, "--", "=1"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"parse", "-", "--file", file}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"parse"}).exit_code, 2);
  const auto missing = RunOrvo({"parse", "--file", file + ".missing"}, true);
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_NE(missing.out.find("formula.txt.missing"), std::string::npos) << missing.out;
}

TEST(FormulaText, ATextLongerThanAFormulaKeepsTheParserMessageAndGetsANote) {
  TempWorkspace folder;
  // 32,768 bytes: one more than a formula may hold.
  const std::string too_long = "=" + std::string(32765, '1') + "+1";
  folder.Write("long.txt", too_long);
  const std::string file = (folder.Folder() / "long.txt").string();
  const auto parsed = RunOrvo({"parse", "--file", file}, true);
  EXPECT_EQ(parsed.exit_code, 0);
  EXPECT_NE(parsed.out.find("<Err Desc=\"Error evaluating : "), std::string::npos);
  EXPECT_NE(parsed.out.find(kNote), std::string::npos);
  EXPECT_NE(RunOrvo({"tokens", "--file", file}, true).out.find(kNote), std::string::npos);
  EXPECT_NE(RunOrvo({"eval", "--file", file}, true).out.find(kNote), std::string::npos);

  // 32,767 bytes is a formula like any other.
  const std::string longest = "=" + std::string(32764, '1') + "+1";
  const auto fits = RunOrvo({"parse", "--", longest}, true);
  EXPECT_EQ(fits.out.find("orvo: the text is longer"), std::string::npos);
  EXPECT_NE(fits.out.find("<Errs/>"), std::string::npos);

  // orvo check puts the note among the formula's messages.
  folder.WriteStandard();
  folder.Write("formats.xml",
               "<Formats><Fmt Key='LONG' Name='Long'><Itms><Row>"
               "<Itm Key='A1' Row='1' Col='1' Value='" +
                   too_long + "'/></Row></Itms></Fmt></Formats>");
  const auto checked = RunOrvo({"check", folder.Folder().string()});
  EXPECT_EQ(checked.exit_code, 1);
  EXPECT_NE(checked.out.find("LONG!A1: Error evaluating : "), std::string::npos) << checked.out;
  EXPECT_NE(checked.out.find("LONG!A1: the text is longer than a formula may be (32,767 "
                             "characters)\n"),
            std::string::npos);
}

}  // namespace
}  // namespace orvo
