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
  const auto signs = [&] {
    std::string run;
    for (int k = 0, n = pick(3) == 0 ? 1 + pick(3) : 0; k < n; ++k) run += pick(2) == 0 ? '-' : '+';
    return run;
  };
  for (int i = 0, n = pick(8); i < n; ++i) {
    text +=
        spaces() + kOperators[static_cast<std::size_t>(pick(static_cast<int>(kOperators.size())))];
    // Signs of a negative value put in after the operator, sometimes with
    // spaces around them, which the plain reading leaves to the tokenizer.
    text += pick(5) == 0 ? spaces() + signs() + spaces() : signs() + spaces();
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
  int accepted_with_signs = 0;
  for (int i = 0; i < 40000; ++i) {
    const std::string text = i % 2 == 0 ? RandomPlain(random) : RandomChars(random);
    const std::optional<std::vector<OperatorToken>> plain = TokenizePlain(text);
    if (i % 2 == 0 && text.find_first_of("+-") == std::string::npos) {
      EXPECT_TRUE(plain.has_value()) << '"' << text << '"';
    }
    if (!plain) continue;
    ++accepted;
    for (const char* run : {"+-", "-+", "--", "*-", "/-", "&-", "^-", "=-", ">-", "<-"}) {
      if (text.find(run) != std::string::npos) {
        ++accepted_with_signs;
        break;
      }
    }
    ASSERT_EQ(Reading(*plain), Reading(TokenizeWithParser(text, {}, 0))) << '"' << text << '"';
  }
  EXPECT_GT(accepted, 15000);
  EXPECT_GT(accepted_with_signs, 2000);
}

TEST(OperatorTokens, KindsByText) {
  for (std::size_t i = 0; i < kOperatorKindText.size(); ++i) {
    EXPECT_EQ(OperatorKindOf(kOperatorKindText[i]), static_cast<OperatorKind>(i));
  }
  for (const char* other : {":", ",", "(", "!", "><", "", "=="})
    EXPECT_FALSE(OperatorKindOf(other).has_value());
}

TEST(OperatorTokens, SignsOfSubstitutedNegativeValuesAreReadPlainly) {
  for (const char* text : {"1+-2", "3*-4", "5>=-6", "1--2", "1-+2", "1+-+2", "2^--3", "1<>+-4"}) {
    const std::optional<std::vector<OperatorToken>> plain = TokenizePlain(text);
    ASSERT_TRUE(plain.has_value()) << text;
    EXPECT_EQ(Reading(*plain), Reading(TokenizeWithParser(text, {}, 0))) << text;
  }
}

TEST(OperatorTokens, PlainReadingGivesUpOnEverythingElse) {
  for (const char* text : {"1 + -2", "1* --2", "1+- 2", "  -5", "50%", "(1)", "1E-05", "a+1",
                           "1><2", "1=<2", "\"1\"+2", "1,2", "1+", "+", ""}) {
    EXPECT_FALSE(TokenizePlain(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace orvo
