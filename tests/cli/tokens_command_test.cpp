#include <gtest/gtest.h>

#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

TEST(TokensCommand, PrintsTokensPositionsAndErrors) {
  auto result = RunOrvo({"tokens", "--", "=If(A1<*2,\"a&b\",B1)"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out,
            "<Tokens StrPos=\"7\"><T Start=\"1\">=</T><T Start=\"2\">If</T><T Start=\"4\">(</T>"
            "<T Start=\"5\">A1</T><T Start=\"7\">&lt;</T><T Start=\"8\">*</T><T Start=\"9\">2</T>"
            "<T Start=\"10\">,</T><T Start=\"11\">\"a&amp;b\"</T><T Start=\"16\">,</T>"
            "<T Start=\"17\">B1</T><T Start=\"19\">)</T>"
            "<Errs><Err Desc=\"Invalid formula\"/></Errs></Tokens>\n");
}

TEST(TokensCommand, OptionsReachTheTokenizer) {
  auto kept = RunOrvo({"tokens", "--keep-spaces", "--", "= A1"});
  EXPECT_EQ(kept.out,
            "<Tokens StrPos=\"0\"><T Start=\"1\">=</T><T Start=\"2\"> A1</T><Errs/></Tokens>\n");
  auto ignored = RunOrvo({"tokens", "--ignore", "12:14", "--offset", "10", "--", "=A-B"});
  EXPECT_EQ(ignored.out,
            "<Tokens StrPos=\"0\"><T Start=\"1\">=</T><T Start=\"2\">A-B</T><Errs/></Tokens>\n");
}

TEST(TokensCommand, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunOrvo({"tokens"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"tokens", "--offset", "99999", "--", "=1"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"tokens", "--ignore", "3", "--", "=1"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"tokens", "--bogus", "--", "=1"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"no-such-command"}).exit_code, 2);
  auto usage = RunOrvo({"tokens", "--", "a", "b"}, true);
  EXPECT_EQ(usage.exit_code, 2);
  EXPECT_NE(usage.out.find("usage: orvo tokens"), std::string::npos);
}

}  // namespace
}  // namespace orvo
