#include "evaluate/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "orvo/error.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

using testing::FailureOf;

TEST(NumberText, WhatCountsAsNumeric) {
  for (const char* text :
       {"5", "-5", "+5", " 5 ", "5.", ".5", "-0.25", "1E+21", "1e-05", "2.5E3", "007"}) {
    EXPECT_TRUE(IsNumber(text)) << text;
    EXPECT_TRUE(ParseNumber(text).has_value()) << text;
  }
  for (const char* text : {"",     " ",    ".",     "-",   "1,234",    "$5",        "(5)", "5%",
                           "0x1F", "&H1F", "1E",    "1E+", "Infinity", "inf",       "NaN", "1 2",
                           "5-",   "--5",  "1.2.3", "\t5", "TRUE",     "2024-03-31"}) {
    EXPECT_FALSE(IsNumber(text)) << text;
    EXPECT_FALSE(ParseNumber(text).has_value()) << text;
  }
  EXPECT_EQ(*ParseNumber(" -12.5 "), -12.5);
  EXPECT_EQ(*ParseNumber("+.5"), 0.5);
  EXPECT_FALSE(std::signbit(*ParseNumber("-0")));
}

// Short decimals are read without from_chars; they must give its double,
// bit for bit, on both sides of the 15-digit limit.
TEST(NumberText, ShortDecimalsReadAsFromChars) {
  std::mt19937_64 random(41);
  for (int i = 0; i < 200000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 17);
    std::string text;
    for (int k = 0; k < digits; ++k) text.push_back(static_cast<char>('0' + random() % 10));
    if (random() % 4 != 0) text.insert(random() % (text.size() + 1), 1, '.');
    std::string sign = random() % 3 == 0 ? "-" : "";
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    if (sign == "-") expected = -expected + 0.0;
    const std::optional<double> value = ParseNumber(sign + text);
    ASSERT_TRUE(value.has_value()) << sign + text;
    EXPECT_EQ(std::memcmp(&*value, &expected, sizeof expected), 0) << sign + text;
  }
}

TEST(NumberText, ValuesBeyondTheDoubleRange) {
  EXPECT_EQ(FailureOf([] { ParseNumber("1E+400"); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([] { ParseNumber("-1E+99999999999999999999"); }).Number(), kErrOverflow);
  EXPECT_EQ(*ParseNumber("1E-400"), 0.0);
  EXPECT_FALSE(std::signbit(*ParseNumber("-1E-400")));
}

TEST(NumberText, StandardFifteenDigitForm) {
  EXPECT_EQ(NumberToText(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberToText(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(NumberToText(1e21), "1E+21");
  EXPECT_EQ(NumberToText(0.00001), "1E-05");
  EXPECT_EQ(NumberToText(0.0001), "0.0001");
  EXPECT_EQ(NumberToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(NumberToText(1234567890123456.0), "1.23456789012346E+15");
  EXPECT_EQ(NumberToText(-1.5), "-1.5");
  EXPECT_EQ(NumberToText(-0.0), "0");
  EXPECT_EQ(FailureOf([] { NumberToText(std::numeric_limits<double>::quiet_NaN()); }).Number(),
            kErrOverflow);
  EXPECT_EQ(FailureOf([] { NumberToText(-std::numeric_limits<double>::infinity()); }).Number(),
            kErrOverflow);
}

TEST(NumberText, WrittenTextReadsBackToTheSameText) {
  std::mt19937_64 random(20240331);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 20000; ++i) {
    const double value = mantissa(random) * std::pow(10.0, exponent(random));
    const std::string text = NumberToText(value);
    EXPECT_EQ(NumberToText(*ParseNumber(text)), text);
    if (std::abs(value) >= 7e28) continue;  // beyond the decimal range
    const std::string decimal = NumberToDecimalText(value);
    EXPECT_EQ(decimal.find('E'), std::string::npos) << decimal;
    if (std::abs(value) >= 1e-13) {  // keeps all 15 digits within 28 places
      EXPECT_EQ(NumberToText(*ParseNumber(decimal)), text) << decimal;
    }
  }
}

TEST(NumberText, DecimalWriteBackForm) {
  EXPECT_EQ(NumberToDecimalText(0.00001), "0.00001");
  EXPECT_EQ(NumberToDecimalText(1e21), "1000000000000000000000");
  EXPECT_EQ(NumberToDecimalText(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(NumberToDecimalText(-0.0), "0");
  EXPECT_EQ(NumberToDecimalText(-2.5), "-2.5");
  EXPECT_EQ(NumberToDecimalText(1e-30), "0");   // below the 28th place
  EXPECT_EQ(NumberToDecimalText(-1e-30), "0");  // and never "-0"
  EXPECT_EQ(NumberToDecimalText(1.5e-28), "0.0000000000000000000000000002");
  EXPECT_EQ(NumberToDecimalText(7.9e28), "79000000000000000000000000000");
  EXPECT_EQ(FailureOf([] { NumberToDecimalText(8e28); }).Number(), kErrOverflow);
  EXPECT_EQ(
      FailureOf([] { NumberToDecimalText(std::numeric_limits<double>::infinity()); }).Number(),
      kErrOverflow);
}

TEST(NumberText, ExactDigitsAndRounding) {
  const DecimalDigits digits = *SplitNumber(" -001.2500E2 ");
  EXPECT_TRUE(digits.negative);
  EXPECT_EQ(digits.digits, "125");
  EXPECT_EQ(digits.exponent, 0);
  EXPECT_EQ(SplitNumber("-0.000").value().digits, "");
  EXPECT_FALSE(SplitNumber("-0.000").value().negative);
  EXPECT_EQ(SplitNumber(2.0 / 3).digits, "666666666666667");

  const auto rounded = [](const char* text, int scale) {
    return static_cast<long long>(*RoundScaled(*SplitNumber(text), scale, 20));
  };
  EXPECT_EQ(rounded("0.00005", 4), 0);   // half: to even
  EXPECT_EQ(rounded("0.00015", 4), 2);   // half: to even
  EXPECT_EQ(rounded("0.000051", 4), 1);  // above half
  EXPECT_EQ(rounded("9.99995", 4), 100000);
  EXPECT_EQ(rounded("1E-300", 4), 0);
  EXPECT_FALSE(RoundScaled(*SplitNumber("1E+30"), 4, 20).has_value());
  EXPECT_EQ(ScaledToText(true, 5, 4), "-0.0005");
  EXPECT_EQ(ScaledToText(true, 0, 4), "0");
  EXPECT_EQ(ScaledToText(false, 1234500, 4), "123.45");
}

// A value handed on as written must be exactly what the 15-digit form
// would write for it: random plain decimals of every shape, and the edges.
TEST(NumberText, TextFormIsExactlyTheWrittenForm) {
  const auto written = [](const std::string& text) {
    const std::optional<double> value = ParseNumber(text);
    return value && NumberToText(*value) == text;
  };
  std::mt19937 random(43);
  static const char kCharacters[] = "0000123456789..-";
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 19);
    for (int k = 0; k < length; ++k)
      text.push_back(kCharacters[random() % (sizeof kCharacters - 1)]);
    EXPECT_EQ(IsNumberTextForm(text), written(text)) << text;
  }
  for (const char* text : {"0",
                           "-0",
                           "1",
                           "-1",
                           "0.0001",
                           "0.00001",
                           "-0.0001234",
                           "123456789012345",
                           "1234567890123456",
                           "12345678901234.5",
                           "1234567890.12345",
                           "1234567890.123456",
                           "0.123456789012345",
                           "0.1234567890123456",
                           "1.50",
                           "01",
                           "+1",
                           " 1",
                           "1 ",
                           "1e5",
                           ".5",
                           "5.",
                           "",
                           "-",
                           "1,5"}) {
    EXPECT_EQ(IsNumberTextForm(text), written(text)) << text;
  }
}

}  // namespace
}  // namespace orvo
