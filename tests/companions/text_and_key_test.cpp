#include <gtest/gtest.h>

#include "companions/cell_key.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

TEST(CellKey, RowAndColumnParts) {
  EXPECT_EQ(RowOfKey("B12"), 12);
  EXPECT_EQ(RowOfKey("aa7"), 7);
  EXPECT_EQ(RowOfKey(""), -1);
  EXPECT_EQ(ColumnOfKey("ab12"), "AB");
  EXPECT_EQ(ColumnOfKey("12"), "");

  try {
    RowOfKey("TOTAL");
    FAIL() << "a key without digits has no row";
  } catch (const Error& failure) {
    EXPECT_EQ(failure.Number(), 1);
    EXPECT_EQ(failure.Source(), "row not found");
    EXPECT_EQ(failure.Description(), "Tallix");
  }
  for (const char* key : {"TOTAL", ""}) {
    try {
      ColumnOfKey(key);
      FAIL() << "a key without digits has no column";
    } catch (const Error& failure) {
      EXPECT_EQ(failure.Number(), 1);
      EXPECT_EQ(failure.Source(), "column not found");
      EXPECT_EQ(failure.Description(), "Tallix");
    }
  }
  EXPECT_THROW(RowOfKey("A99999999999"), Error);
}

TEST(TextValue, NumbersAndBooleansFromText) {
  EXPECT_EQ(TextToLong(" -42 "), -42);
  EXPECT_EQ(TextToLong("2.5") + TextToLong("3.5"), 2 + 4);  // half to even
  for (const char* text : {"", "abc", "1x", "-", "."}) {
    EXPECT_THROW(TextToLong(text), Error) << text;
  }
  EXPECT_THROW(TextToLong("2147483648"), Error);
  EXPECT_TRUE(TextToBoolean("-1") && TextToBoolean("true"));
  EXPECT_FALSE(TextToBoolean("0") || TextToBoolean("False"));
  EXPECT_THROW(TextToBoolean("yes"), Error);
}

}  // namespace
}  // namespace orvo
