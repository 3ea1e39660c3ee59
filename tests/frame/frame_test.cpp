#include <gtest/gtest.h>

#include <thread>

#include "frame/column_letters.h"
#include "frame/int16.h"
#include "frame/launch_properties.h"
#include "frame/per_thread.h"
#include "frame/text.h"
#include "frame/thread_context.h"
#include "orvo/enums.h"
#include "orvo/error.h"
#include "orvo/xml.h"

namespace orvo {
namespace {

TEST(LaunchProperties, FirstInitOnAThreadWinsAndIsACopy) {
  InFreshContext([] {
    EXPECT_TRUE(GetLaunchProperties().IsNull());
    xml::Document host = xml::Document::Parse("<LaunchProperties Workspace='one'/>");
    InitLaunchProperties(host.DocumentElement());
    host.DocumentElement().SetAttribute("Workspace", "changed by host");
    InitLaunchProperties(xml::Document::Parse("<LaunchProperties Workspace='two'/>"));
    EXPECT_EQ(GetLaunchProperties().AttributeOr("Workspace", ""), "one");
    EXPECT_NE(GetLaunchProperties().OwnerDocument(), host);
    // Another thread has its own slot.
    std::thread([] { EXPECT_TRUE(GetLaunchProperties().IsNull()); }).join();
    SetLaunchProperties(xml::Document::Parse("<LaunchProperties Workspace='three'/>"));
    EXPECT_EQ(GetLaunchProperties().AttributeOr("Workspace", ""), "three");
  });
}

TEST(Failures, SixteenBitArithmeticAndResumeNext) {
  EXPECT_EQ(Add16(32766, 1), 32767);
  EXPECT_EQ(Sub16(-32767, 1), -32768);
  try {
    Add16(32767, 1);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
    EXPECT_EQ(e.Description(), "Overflow");
  }
  EXPECT_THROW(Mul16(300, 300), Error);
  EXPECT_THROW(SizeToInt16(40000), Error);

  ResumeNext resume;
  bool ran_after = false;
  EXPECT_FALSE(resume.Step([] { RaiseError("row not found", "Tallix"); }));
  ran_after = true;
  ASSERT_TRUE(resume.IsErrorPending());
  EXPECT_EQ(resume.Pending()->Number(), 1);
  EXPECT_EQ(resume.Pending()->Source(), "row not found");
  EXPECT_EQ(resume.Pending()->Description(), "Tallix");
  EXPECT_TRUE(ran_after);
  resume.Clear();
  EXPECT_TRUE(resume.Step([] {}));
  EXPECT_FALSE(resume.IsErrorPending());
  // Only the library's failures are tolerated.
  EXPECT_THROW(resume.Step([] { throw std::logic_error("bug"); }), std::logic_error);
}

TEST(Frame, EnumerationValuesAndTextRules) {
  static_assert(enmSychronous == 0 && enmAsynchronous == 1);
  static_assert(rptTypeNone == 0 && rptTypeChartMap == 1 && rptTypeDatabaseMap == 2 &&
                rptTypeOther == 3);
  static_assert(showAlways == 0 && showNever == 1 && showOnCondition == 2);
  EXPECT_EQ(UpperCase("cm.umsätze"), "CM.UMSÄTZE");
  EXPECT_EQ(UpperCase("÷"), "÷");
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_TRUE(IsNumeric(" -1.5E3 "));
  EXPECT_FALSE(IsNumeric("1e"));
  EXPECT_FALSE(IsNumeric("A1"));
  EXPECT_FALSE(IsNumeric("."));
  EXPECT_EQ(InStr(2, "-a-", "-"), 3u);
  EXPECT_EQ(InStr(1, "abc", "x"), 0u);
  int& counter = PerThread<int>();
  ++counter;
  EXPECT_EQ(PerThread<int>(), counter);
}

TEST(TextRules, OneCaseRuleAndOneColumnLetterRule) {
  // EqualsIgnoreCase agrees with comparing UpperCase results.
  EXPECT_TRUE(EqualsIgnoreCase("cm.Umsätze", "CM.UMSÄTZE"));
  EXPECT_FALSE(EqualsIgnoreCase("÷", "×"));  // the division sign has no upper case
  EXPECT_FALSE(EqualsIgnoreCase("ä", "aa"));
  EXPECT_FALSE(EqualsIgnoreCase("Sum", "Summ"));
  EXPECT_TRUE(EqualsIgnoreCase(std::string_view("a\xC3", 2), std::string_view("A\xC3", 2)));

  EXPECT_EQ(LetterColumnNumber("A"), 1);
  EXPECT_EQ(LetterColumnNumber("az"), 52);
  EXPECT_EQ(LetterColumnNumber("zzz"), kLastLetterColumn);
  for (std::string_view not_letters : {"", "AAAA", "A1", "Ä", "-"}) {
    EXPECT_EQ(LetterColumnNumber(not_letters), -1) << not_letters;
  }
  EXPECT_EQ(ColumnLetters(28), "AB");
  EXPECT_EQ(ColumnLetters(kLastLetterColumn), "ZZZ");
  EXPECT_EQ(ColumnLetters(kLastLetterColumn + 1), "");
  EXPECT_EQ(ColumnLetters(0), "");
}

}  // namespace
}  // namespace orvo
