#include <gtest/gtest.h>

#include "evaluation_fixture.h"

namespace orvo::testing {
namespace {

using Functions = EvaluatorTest;

TEST_F(Functions, Smoke) {
  EXPECT_EQ(Value("=1+2"), "3");
  EXPECT_EQ(Value("=Sum(1,2,3)"), "6");
  EXPECT_EQ(Value("=Sum(1, \"x\", 4)"), "5");
  EXPECT_EQ(Value("=If(1>0,\"yes\",\"no\")"), "yes");
  EXPECT_EQ(Value("=Left(\"a,b,c\",3)"), "a,b");
  EXPECT_EQ(Value("=Mod(7,3)"), "1");
  EXPECT_EQ(Value("=Mod(\"a\",3)"), "#ERROR");
  Cells({{"A1", "10"}, {"A2", "5"}, {"A1:A3", "30"}});
  EXPECT_EQ(Value("=A1-A2"), "5");
  EXPECT_EQ(Value("=Avg(A1:A3)"), "10");
  EXPECT_EQ(Value("=Count(A1:A3,A2)"), "4");
  EXPECT_EQ(Value("=Page"), "\xC3\xBFP");
  EXPECT_EQ(Value("Total {A1} of {Sum(A1:A3)*2}"), "Total 10 of 60");
}

}  // namespace
}  // namespace orvo::testing
