// The parser's working text against a plain string doing the same edits.
#include "formula/parser_working_text.h"

#include <gtest/gtest.h>

#include <random>

#include "frame/text.h"

namespace orvo {
namespace {

std::size_t PlainFind(const std::string& text, const std::string& upper_what, std::size_t from) {
  const std::size_t found = UpperCase(text).find(upper_what, from - 1);
  return found == std::string::npos ? 0 : found + 1;
}

TEST(ParserWorkingText, SearchesAndReplacesLikeAPlainString) {
  const std::string formula = "=Sum(a1:b2)+Ä1*äb3-If(A1>0,Umsätze,a1)+A1+ab3";
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    ParserWorkingText working;
    working.Reset(formula);
    std::string plain = formula;
    int placeholders = 0;
    for (int step = 0; step < 12; ++step) {
      // Search for a stretch of whole characters of the formula (in upper
      // case), as tokens are, from anywhere: sometimes behind the finished
      // part.
      const std::size_t at = random() % formula.size();
      const std::size_t length = 1 + random() % 3;
      auto inside_character = [&](std::size_t i) {
        return i < formula.size() && (static_cast<unsigned char>(formula[i]) & 0xC0) == 0x80;
      };
      if (inside_character(at) || inside_character(at + length)) continue;
      const std::string what = UpperCase(formula.substr(at, length));
      const std::size_t from = 1 + random() % (plain.size() + 1);
      const std::size_t found = working.Find(what, from);
      ASSERT_EQ(found, PlainFind(plain, what, from)) << plain << " " << what << " " << from;
      ASSERT_EQ(working.Size(), plain.size());
      if (found == 0) continue;
      const std::string placeholder = "I~_T~" + std::to_string(++placeholders);
      working.Replace(found, what.size(), placeholder);
      plain.replace(found - 1, what.size(), placeholder);
      ASSERT_EQ(working.Text(), plain);
      ASSERT_EQ(working.UpperText(), UpperCase(plain));
      ASSERT_EQ(std::string(working.Finished()) + std::string(working.Rest()), plain);
    }
  }
}

}  // namespace
}  // namespace orvo
