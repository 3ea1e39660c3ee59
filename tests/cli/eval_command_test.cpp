#include <gtest/gtest.h>

#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

TEST(EvalCommand, PrintsValueDisplayTextAndColour) {
  EXPECT_EQ(RunOrvo({"eval", "--", "=1-2+3"}).out, "<Eval Val=\"-4\" PTxt=\"-4\" Clr=\"0\"/>\n");
  EXPECT_EQ(RunOrvo({"eval", "--", "=\"a<b\"&\"&\""}).out,
            "<Eval Val=\"a&lt;b&amp;\" PTxt=\"a&lt;b&amp;\" Clr=\"0\"/>\n");
  // The page markers stay characters.
  EXPECT_EQ(RunOrvo({"eval", "--", "Page {Page} of {PageCount}"}).out,
            "<Eval Val=\"Page \xC3\xBFP of \xC3\xBF"
            "C\" PTxt=\"Page \xC3\xBFP of \xC3\xBF"
            "C\" Clr=\"0\"/>\n");
}

TEST(EvalCommand, FormatsWithTheGivenStyle) {
  const std::string style =
      "<Stl><NFmt Typ='Numeric'><Def Dec='2' Cur='None' Zer='-' Sep='-1' DisN='(1)' DisP=''"
      " RedN='-1' RedP='0'/></NFmt><Alg/><Brd/><Fnts><Fnt Clr='0'/></Fnts></Stl>";
  EXPECT_EQ(RunOrvo({"eval", "--style", style, "--", "=0-1234.5"}).out,
            "<Eval Val=\"-1234.5\" PTxt=\"(1,234.50)\" Clr=\"255\"/>\n");
  EXPECT_EQ(RunOrvo({"eval", "--style", "<Stl/>", "--", "=2"}).out,
            "<Eval Val=\"2\" PTxt=\"2\" Clr=\"\"/>\n");
  EXPECT_EQ(RunOrvo({"eval", "--style", "<Fmt/>", "--", "=2"}).exit_code, 1);
  EXPECT_EQ(RunOrvo({"eval", "--style", "<Stl", "--", "=2"}).exit_code, 1);
}

TEST(EvalCommand, FormulasThatDoNotParseExitWithOne) {
  const auto result = RunOrvo({"eval", "--", "=Sum(1,2"}, true);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.out.find("Brackets don't match"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("<Eval"), std::string::npos);
  EXPECT_EQ(RunOrvo({"eval", "--bogus", "--", "=1"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"eval", "=1"}).exit_code, 2);
}

}  // namespace
}  // namespace orvo
