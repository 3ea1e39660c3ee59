#include "orvo/collection.h"

#include <string>

#include <gtest/gtest.h>

namespace orvo {
namespace {

template <class Call>
std::int32_t FailureNumber(Call&& call) {
  try {
    call();
  } catch (const Error& failure) {
    return failure.Number();
  }
  return 0;
}

TEST(Collection, KeysIgnoreCaseAndPositionsFollowInsertions) {
  Collection<std::string> values;
  values.Add("first", "One");
  values.Add("third");
  values.AddBefore("second", 2, "two");
  values.AddAfter("fourth", 3);

  ASSERT_EQ(values.Count(), 4);
  EXPECT_EQ(values.Item(1), "first");
  EXPECT_EQ(values.Item(2), "second");
  EXPECT_EQ(values.Item(3), "third");
  EXPECT_EQ(values.Item(4), "fourth");
  EXPECT_EQ(values.Item("ONE"), "first");
  EXPECT_EQ(values.Item("Two"), "second");
  EXPECT_EQ(values.Find("three"), nullptr);

  values.Remove("one");
  values.Remove(1);
  EXPECT_FALSE(values.Contains("two"));
  EXPECT_EQ(values.Item(1), "third");

  // Keys fold as every key of the library does: Latin-1 letters too.
  values.Add("sales", "Umsätze");
  EXPECT_EQ(values.Item("UMSÄTZE"), "sales");
  EXPECT_EQ(FailureNumber([&] { values.Add("again", "umsÄtze"); }), kErrDuplicateKey);
  values.Remove("UMSÄTZE");

  // A removed key can be used again.
  values.Add("again", "one");
  EXPECT_EQ(values.Item("ONE"), "again");
  EXPECT_EQ(values.Item(values.Count()), "again");
}

TEST(Collection, FailuresChangeNothing) {
  Collection<int> values;
  values.Add(1, "a");
  values.Add(2);

  EXPECT_EQ(FailureNumber([&] { values.Add(3, "A"); }), kErrDuplicateKey);
  EXPECT_EQ(FailureNumber([&] { values.Item("missing"); }), kErrInvalidCall);
  EXPECT_EQ(FailureNumber([&] { values.Remove("missing"); }), kErrInvalidCall);
  EXPECT_EQ(FailureNumber([&] { values.Item(0); }), kErrOutOfBounds);
  EXPECT_EQ(FailureNumber([&] { values.Item(3); }), kErrOutOfBounds);
  EXPECT_EQ(FailureNumber([&] { values.Remove(3); }), kErrOutOfBounds);
  EXPECT_EQ(FailureNumber([&] { values.AddBefore(4, 5); }), kErrOutOfBounds);
  EXPECT_EQ(FailureNumber([&] { values.Replace(-1, 4); }), kErrOutOfBounds);
  ASSERT_EQ(values.Count(), 2);
  EXPECT_EQ(values.Item("a"), 1);
  EXPECT_EQ(values.Item(2), 2);
}

TEST(Collection, ReplaceKeepsTheKeyAndCopiesAreIndependent) {
  Collection<int> values;
  values.Add(1, "k");
  values.Replace(1, 7);
  Collection<int> copy = values;
  copy.Item("k") = 9;
  EXPECT_EQ(values.Item("k"), 7);
  EXPECT_EQ(copy.Item(1), 9);
  copy.Clear();
  copy.Add(1, "k");  // the key is free again after Clear
  EXPECT_EQ(copy.Count(), 1);
}

}  // namespace
}  // namespace orvo
