#include "evaluate/operator_tokens.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "frame/text.h"

namespace orvo {
namespace {

// Tokens compared by what the reduction reads: the trimmed text and the code.
std::vector<std::pair<std::string, int>> Reading(const std::vector<OperatorToken>& tokens) {
  std::vector<std::pair<std::string, int>> reading;
  for (const OperatorToken& token : tokens)
    reading.emplace_back(std::string(Trim(token.text)), token.code);
  return reading;
}

std::string RandomPlain(std::mt19937& random) {
  static const std::vector<std::string> kOperators = {"+", "-", "*", "/",  "&",  "^",
                                                      "=", "<", ">", "<=", ">=", "<>"};
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto spaces = [&] {
    return std::string(static_cast<std::size_t>(pick(3) == 0 ? pick(3) : 0), ' ');
  };
  const auto number = [&] {
    std::string text;
    for (int i = 0, n = 1 + pick(6); i < n; ++i)
      text += pick(6) == 0 ? '.' : static_cast<char>('0' + pick(10));
    return text;
  };
  std::string text = spaces();
  if (text.size() < 2 && pick(4) == 0) text += pick(2) == 0 ? "-" : "+";
  text += spaces() + number();
  for (int i = 0, n = pick(8); i < n; ++i) {
    text += spaces() +
            kOperators[static_cast<std::size_t>(pick(static_cast<int>(kOperators.size())))] +
            spaces();
    text += number();
  }
  return text + spaces();
}

std::string RandomChars(std::mt19937& random) {
  static const std::string kAlphabet = "0123456789. +-*/&^=<>%(!E,";
  std::string text;
  for (int i = 0, n = std::uniform_int_distribution<int>(1, 12)(random); i < n; ++i) {
    text += kAlphabet[std::uniform_int_distribution<std::size_t>(0, kAlphabet.size() - 1)(random)];
  }
  return text;
}

TEST(OperatorTokens, PlainReadingEqualsTheTokenizerWhereverItApplies) {
  std::mt19937 random(7);
  int accepted = 0;
  for (int i = 0; i < 40000; ++i) {
    const std::string text = i % 2 == 0 ? RandomPlain(random) : RandomChars(random);
    const std::optional<std::vector<OperatorToken>> plain = TokenizePlain(text);
    if (i % 2 == 0) {
      EXPECT_TRUE(plain.has_value()) << '"' << text << '"';
    }
    if (!plain) continue;
    ++accepted;
    ASSERT_EQ(Reading(*plain), Reading(TokenizeWithParser(text, {}, 0))) << '"' << text << '"';
  }
  EXPECT_GT(accepted, 20000);
}

TEST(OperatorTokens, KindsByText) {
  for (std::size_t i = 0; i < kOperatorKindText.size(); ++i) {
    EXPECT_EQ(OperatorKindOf(kOperatorKindText[i]), static_cast<OperatorKind>(i));
  }
  for (const char* other : {":", ",", "(", "!", "><", "", "=="})
    EXPECT_FALSE(OperatorKindOf(other).has_value());
}

TEST(OperatorTokens, PlainReadingGivesUpOnEverythingElse) {
  for (const char* text : {"1+-2", "1 + -2", "  -5", "50%", "(1)", "1E-05", "a+1", "1><2", "1=<2",
                           "\"1\"+2", "1,2", "1+", "+", ""}) {
    EXPECT_FALSE(TokenizePlain(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace orvo
