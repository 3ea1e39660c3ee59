#include "evaluate/currency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "evaluate/decimal.h"
#include "orvo/error.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

using testing::FailureOf;

std::string Text(const char* text) { return Currency::FromText(text)->ToText(); }

TEST(Currency, ConversionRoundsHalfToEvenAtTheFourthPlace) {
  EXPECT_EQ(Text("0.00005"), "0");
  EXPECT_EQ(Text("0.00015"), "0.0002");
  EXPECT_EQ(Text("0.00025"), "0.0002");
  EXPECT_EQ(Text("0.000250001"), "0.0003");
  EXPECT_EQ(Text("-2.50005"), "-2.5");
  EXPECT_EQ(Text("-0.00004"), "0");  // never "-0"
  EXPECT_EQ(Text("1.23456789"), "1.2346");
  EXPECT_EQ(Text("1E+3"), "1000");
  EXPECT_EQ(Text("1E-05"), "0");
  EXPECT_FALSE(Currency::FromText("1,000").has_value());
  // A double converts as the text written for it: 0.00015 is slightly below
  // half a unit in binary, but its 15 digits are exactly half.
  EXPECT_EQ(Currency::FromDouble(0.00015).Scaled(), 2);
  EXPECT_EQ(Currency::FromDouble(12.345 / 100).Scaled(), 1234);
  EXPECT_EQ(Currency::FromDouble(-0.0).ToText(), "0");
}

TEST(Currency, SumsDifferencesAndProducts) {
  const Currency a = *Currency::FromText("0.1");
  const Currency b = *Currency::FromText("0.2");
  EXPECT_EQ((a + b).ToText(), "0.3");
  EXPECT_EQ((a - b).ToText(), "-0.1");
  EXPECT_EQ((*Currency::FromText("1.0001") * *Currency::FromText("1.0001")).ToText(), "1.0002");
  // 0.0005 x 0.5 = 0.00025 -> 0.0002; 0.0015 x 0.5 = 0.00075 -> 0.0008.
  EXPECT_EQ((*Currency::FromText("0.0005") * *Currency::FromText("0.5")).ToText(), "0.0002");
  EXPECT_EQ((*Currency::FromText("0.0015") * *Currency::FromText("0.5")).ToText(), "0.0008");
  EXPECT_EQ((*Currency::FromText("-0.0015") * *Currency::FromText("0.5")).ToText(), "-0.0008");
  EXPECT_EQ((*Currency::FromText("-3") * *Currency::FromText("-2.5")).ToText(), "7.5");
  EXPECT_LT(*Currency::FromText("1.99999"), *Currency::FromText("2.0001"));
  EXPECT_EQ(*Currency::FromText("1.00001"), *Currency::FromText("1"));
}

TEST(Currency, RangeEndsAndOverflow) {
  const Currency max = *Currency::FromText("922337203685477.5807");
  const Currency min = *Currency::FromText("-922337203685477.5808");
  EXPECT_EQ(max.Scaled(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(min.Scaled(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(min.ToText(), "-922337203685477.5808");
  const Currency unit = Currency::FromScaled(1);
  EXPECT_EQ(FailureOf([&] { (void)(max + unit); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([&] { (void)(min - unit); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([&] { (void)(max * *Currency::FromText("2")); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([&] { (void)(min * *Currency::FromText("-1")); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([] { Currency::FromText("922337203685477.5808"); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([] { Currency::FromText("1E+300"); }).Number(), kErrOverflow);
  EXPECT_EQ(
      FailureOf([] { Currency::FromDouble(std::numeric_limits<double>::quiet_NaN()); }).Number(),
      kErrOverflow);
  // Tiny products round to zero rather than failing.
  EXPECT_EQ((unit * unit).ToText(), "0");
}

TEST(Decimal, ConversionsAndText) {
  EXPECT_EQ(Decimal::FromCurrency(*Currency::FromText("-2.5000")).ToText(), "-2.5");
  EXPECT_EQ(Decimal::FromCurrency(Currency()).ToText(), "0");
  EXPECT_EQ(Decimal::FromText("1.23456789012345678901234567890123")->ToText(),
            "1.2345678901234567890123456789");
  EXPECT_EQ(Decimal::FromText("0.00000000000000000000000000005")->ToText(), "0");  // half: to even
  EXPECT_EQ(Decimal::FromText("0.00000000000000000000000000015")->ToText(),
            "0.0000000000000000000000000002");
  EXPECT_EQ(Decimal::FromText("79228162514264337593543950335")->ToText(),
            "79228162514264337593543950335");
  // A long fraction gives up places so that the coefficient fits.
  EXPECT_EQ(Decimal::FromText("7922816251426433759354395033.46")->ToText(),
            "7922816251426433759354395033.5");
  EXPECT_EQ(FailureOf([] { Decimal::FromText("79228162514264337593543950336"); }).Number(),
            kErrOverflow);
  EXPECT_EQ(Decimal::FromText("-0.0")->ToText(), "0");
  EXPECT_EQ(Decimal::FromText("5")->Negated().ToText(), "-5");
  EXPECT_EQ(Decimal().Negated().ToText(), "0");
  EXPECT_EQ(*Decimal::FromText("1.50"), *Decimal::FromText("1.5"));
  EXPECT_EQ(Decimal::FromText("1E-05")->ToDouble(), 0.00001);
  EXPECT_FALSE(Decimal::FromText("1.5.1").has_value());
}

// A double whose 15 digits need no rounding is converted without the general
// digit arithmetic; both ways must give the same value at every magnitude.
TEST(Decimal, DoublesConvertAsTheirDigits) {
  std::mt19937_64 random(41);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = mantissa(random) * std::pow(10.0, static_cast<int>(random() % 55) - 30);
    EXPECT_EQ(Decimal::FromDouble(value).ToText(), Decimal::FromDigits(SplitNumber(value)).ToText())
        << value;
  }
  for (const double value : {1.0, -1.0, 0.1, 1e14, 1e15, 1e-14, 1e-15, 123456789012345.0,
                             0.000123456789012345, 2.0 / 3.0, 5e-29, 1.5e-28}) {
    EXPECT_EQ(Decimal::FromDouble(value).ToText(), Decimal::FromDigits(SplitNumber(value)).ToText())
        << value;
  }
  EXPECT_EQ(Decimal::FromDouble(-0.0).ToText(), "0");
  EXPECT_EQ(
      FailureOf([] { Decimal::FromDouble(std::numeric_limits<double>::infinity()); }).Number(),
      FailureOf([] {
        Decimal::FromDigits(SplitNumber(std::numeric_limits<double>::infinity()));
      }).Number());
}

}  // namespace
}  // namespace orvo
