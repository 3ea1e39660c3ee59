#include "evaluate/operator_evaluation.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "orvo/error.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

using testing::FailureOf;

std::string Eval(std::string_view expression) { return EvaluateOperators(expression); }

TEST(Operators, EachKindIsAppliedOverTheWholeTextBeforeTheNext) {
  EXPECT_EQ(Eval("=1-2+3"), "-4");  // additions before subtractions
  EXPECT_EQ(Eval("=10-2+3"), "5");
  EXPECT_EQ(Eval("=10-2-3"), "5");  // left to right within a kind
  EXPECT_EQ(Eval("=2+3*4"), "14");
  EXPECT_EQ(Eval("=2*3+4"), "10");
  // Divisions before multiplications: 1/3 first, then the product is
  // rounded to four places by the currency type.
  EXPECT_EQ(Eval("=1*1/3"), "0.3333");
  EXPECT_EQ(Eval("=1/3"), "0.333333333333333");
  EXPECT_EQ(Eval("=1+2&3"), "33");  // joins after sums
  EXPECT_EQ(Eval("=1&2+3"), "15");
  EXPECT_EQ(Eval("=5&0%"), "0.5");     // percentage after the join
  EXPECT_EQ(Eval("=1+1=2"), "True");   // comparisons last
  EXPECT_EQ(Eval("=2>1&0"), "False");  // 2 > "10"
  EXPECT_EQ(Eval("=1+2^2"), "9");      // "^" after sums
  EXPECT_EQ(Eval("= 1 + 2 "), "3");
}

TEST(Operators, SignsBracketsAndTheFormulaMark) {
  EXPECT_EQ(Eval("=-5+3"), "-2");
  EXPECT_EQ(Eval("=2*-3"), "-6");
  EXPECT_EQ(Eval("=1--2"), "3");
  EXPECT_EQ(Eval("=1-+2"), "-1");
  EXPECT_EQ(Eval("=-(2+3)"), "-5");
  EXPECT_EQ(Eval("=(1+2)*3"), "9");
  EXPECT_EQ(Eval("=10-(2+3)"), "5");
  EXPECT_EQ(Eval("=((5))"), "5");
  EXPECT_EQ(Eval("=-0"), "0");
  EXPECT_EQ(Eval("=5"), "5");
  EXPECT_EQ(Eval("5.50"), "5.50");  // a value no operator touched stays as written
  EXPECT_EQ(Eval("=\"Total\""), "Total");
  EXPECT_EQ(Eval("='Total'"), "Total");
  EXPECT_EQ(Eval("="), "");
  EXPECT_EQ(Eval(""), "");
  const std::string deep = "=" + std::string(10000, '(') + "1+1" + std::string(10000, ')');
  EXPECT_EQ(Eval(deep), "2");
  std::string long_sum = "=1";
  while (long_sum.size() < 40000) long_sum += "+1";
  EXPECT_EQ(FailureOf([&] { Eval(long_sum); }).Number(), kErrOverflow);  // beyond 16-bit positions
  for (const char* unbalanced : {"=(1+2", "=1+2)", "=)(", "=((1)"}) {
    const Error failure = FailureOf([&] { Eval(unbalanced); });
    EXPECT_EQ(failure.Number(), kErrRaised) << unbalanced;
    EXPECT_EQ(failure.Source(), "EvaluateOperators");
    EXPECT_EQ(failure.Description(), "Unbalanced parentheses");
  }
}

TEST(Operators, DivisionAndPercentage) {
  EXPECT_EQ(Eval("=10/0"), "0");
  EXPECT_EQ(Eval("=10/0.00004"), "0");  // the divisor is 0 as currency
  EXPECT_EQ(Eval("=abc/2"), "abc/2");
  EXPECT_EQ(Eval("=8/2/2"), "2");
  EXPECT_EQ(Eval("=900000000000000/0.0001"), "9000000000000000000");
  EXPECT_EQ(Eval("=0.0001/900000000000000"), "0.0000000000000000001111111111");
  EXPECT_EQ(Eval("=1/100000"), "0.00001");  // never an exponent
  EXPECT_EQ(Eval("=50%"), "0.5");
  EXPECT_EQ(Eval("=12.345%"), "0.1234");  // 0.12345 to four places, half to even
  EXPECT_EQ(Eval("=50%*2"), "1");         // a "%" before an operator is taken first
  EXPECT_EQ(Eval("=1+50%"), "0.51");      // but after the sum it ends
  EXPECT_EQ(Eval("=abc%"), "abc%");
}

TEST(Operators, TextOperandsAndLiterals) {
  EXPECT_EQ(Eval("=1+abc"), "1");
  EXPECT_EQ(Eval("=1*abc"), "0");
  EXPECT_EQ(Eval("=1&abc"), "1abc");
  EXPECT_EQ(Eval("=\"Net \" & 1500 & \" k\""), "Net 1500 k");
  EXPECT_EQ(Eval("=\"a,b\"&\"c+d\""), "a,bc+d");
  EXPECT_EQ(Eval("=\"5\"+1"), "6");  // quotes go before the operand is read
  EXPECT_EQ(Eval("=5-"), "5");       // an empty operand next to a number is 0
  EXPECT_EQ(Eval("=5*"), "0");
  EXPECT_EQ(Eval("=abc=ABC"), "True");
  EXPECT_EQ(Eval("=a<b"), "True");
  EXPECT_EQ(Eval("=10>9"), "True");
  EXPECT_EQ(Eval("=10>9a"), "False");  // text comparison
  EXPECT_EQ(Eval("=1<>2"), "True");
  EXPECT_EQ(Eval("=1!=1"), "False");
  EXPECT_EQ(Eval("=2>=2"), "True");
  EXPECT_EQ(Eval("=3<=2"), "False");
  // Recorded literal ranges protect text that carries no quotes, such as a
  // substituted value: "a-b" stays one operand.
  const std::vector<LiteralRange> ranges = {{2, 4}};
  EXPECT_EQ(EvaluateOperators("=a-b&c", {ranges}), "a-bc");
  EXPECT_EQ(EvaluateOperators("=a-b&c"), "0c");
  // The same ranges for a text cut out of the expression after position 1.
  EXPECT_EQ(EvaluateOperators("a-b&c", {ranges, 1}), "a-bc");
}

TEST(Operators, CurrencyRoundingAndOverflow) {
  EXPECT_EQ(Eval("=0.00005+0"), "0");
  EXPECT_EQ(Eval("=0.00015+0"), "0.0002");
  EXPECT_EQ(Eval("=0.1+0.2"), "0.3");
  EXPECT_EQ(Eval("=1.0001*1.0001"), "1.0002");
  EXPECT_EQ(Eval("=1.00001=1"), "True");  // compared as currency
  EXPECT_EQ(Eval("=-0.00001*1"), "0");
  EXPECT_EQ(Eval("=922337203685477.5806+0.0001"), "922337203685477.5807");
  EXPECT_EQ(Eval("=1E-05+1"), "1");  // exponents written by functions read back
  EXPECT_EQ(Eval("=1E+3+1"), "1001");
  for (const char* overflow :
       {"=922337203685477.5807+0.0001", "=1E+21+1", "=99999999999*99999999999", "=1E+20=1", "=0^-1",
        "=-8^0.5", "=10^400", "=1E+17%"}) {
    EXPECT_EQ(FailureOf([&] { Eval(overflow); }).Number(), kErrOverflow) << overflow;
  }
  EXPECT_EQ(Eval("=2^3"), "8");
  EXPECT_EQ(Eval("=2^0.5"), "1.4142135623731");
  EXPECT_EQ(Eval("=a^2"), "a^2");
}

// Sums, differences and products of plain numbers are reduced on amounts
// directly; with every operand in brackets the same text takes the general
// reduction. Both must agree, signs and rounding included.
TEST(Operators, PlainAmountsReduceAsTheGeneralPath) {
  std::mt19937 random(29);
  const auto number = [&] {
    std::string text = std::to_string(random() % 100000);
    if (random() % 3 != 0) text += "." + std::to_string(random() % 100000);
    // Now and then beyond the currency range or not a number at all.
    if (random() % 50 == 0) text = std::string(14 + random() % 8, '9');
    if (random() % 80 == 0) text += ".5.";
    return text;
  };
  static const char* const kOperators[] = {"+",  "-",  "*",  "+-", "--", "*-", "-+", "+ ", " - ",
                                           "*+", " *", "* ", "/",  "/-", " /", "/ ", "&",  "^"};
  for (int i = 0; i < 20000; ++i) {
    std::string plain = "=";
    std::string bracketed = "=";
    const int operands = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < operands; ++k) {
      std::string op = k ? kOperators[random() % std::size(kOperators)] : "";
      if (k == 0 && random() % 4 == 0) op = random() % 2 ? "-" : " +";
      const std::string value = number();
      plain += op + value;
      bracketed += op + "(" + value + ")";
    }
    std::string expected;
    std::string actual;
    try {
      expected = Eval(bracketed);
    } catch (const Error& failure) {
      expected = "failure " + std::to_string(failure.Number());
    }
    try {
      actual = Eval(plain);
    } catch (const Error& failure) {
      actual = "failure " + std::to_string(failure.Number());
    }
    EXPECT_EQ(actual, expected) << plain;
  }
}

// A lone negative number is written back without a detour through the
// decimal type when its text is already in the written form; every other
// form must still come out as the general reduction writes it.
TEST(Operators, SignedLoneValuesAsTheGeneralPath) {
  static const char* const kNumbers[] = {"5",
                                         ".5",
                                         "0.5",
                                         "0.50",
                                         "00.5",
                                         "5.",
                                         "1.0",
                                         "10",
                                         "0.05",
                                         "0",
                                         "0.0",
                                         "000",
                                         "100.001",
                                         "1.5.",
                                         "12a",
                                         "1e5",
                                         "12345.6789",
                                         "123456789012345678",
                                         "1234567890123456789",
                                         "0.0000000000000000000000000001",
                                         "0.00000000000000000000000000001",
                                         "123456789012345678901234567890"};
  for (const char* number : kNumbers) {
    for (const std::string sign : {"-", "+"}) {
      std::string expected;
      std::string actual;
      try {
        expected = Eval("=" + sign + "(" + number + ")");
      } catch (const Error& failure) {
        expected = "failure " + std::to_string(failure.Number());
      }
      try {
        actual = Eval("=" + sign + number);
      } catch (const Error& failure) {
        actual = "failure " + std::to_string(failure.Number());
      }
      EXPECT_EQ(actual, expected) << sign << number;
    }
  }
}

// Two plain numbers around a comparison are compared without tokens; in
// brackets the same text takes the general reduction.
TEST(Operators, PlainComparisonsAsTheGeneralPath) {
  std::mt19937 random(31);
  static const char* const kNumbers[] = {
      "0", "0.0", ".5", "5.", "007", "1.2.3",     "12.5", "12.50", "999999999999999",
      "3", "-3",  ".",  "+3", "-0",  "-12.50005", "- 3",  "--3"};
  static const char* const kOperators[] = {">=", "<=", "<>", "=", ">", "<", " > ", "=>", "<<"};
  for (int i = 0; i < 3000; ++i) {
    const std::string a = kNumbers[random() % std::size(kNumbers)];
    const std::string b = kNumbers[random() % std::size(kNumbers)];
    const std::string op = kOperators[random() % std::size(kOperators)];
    const std::string space = random() % 4 == 0 ? " " : "";
    const auto value = [](const std::string& text) {
      try {
        return Eval(text);
      } catch (const Error& failure) {
        return "failure " + std::to_string(failure.Number());
      }
    };
    const std::string plain = "=" + space + a + op + b + space;
    EXPECT_EQ(value(plain), value("=(" + a + ")" + op + "(" + b + ")")) << plain;
  }
}

// A lone value or signed number is read without tokens. A literal range
// beyond the end of the text marks nothing but makes the same text take the
// general reduction; both must agree.
TEST(Operators, LoneValuesAsTheGeneralPath) {
  std::mt19937 random(37);
  static const char* const kValues[] = {"0",   "0.0",   ".5",    "5.",
                                        "007", "1.2.3", "12.50", "-0",
                                        "abc", "1E+21", "1E-05", ".",
                                        "3",   "-3.10", "+007",  "99999999999999999999999999999",
                                        "x y", "",      "--5",   "4.0000000000000000000000000001"};
  static const char* const kSigns[] = {"", "", "-", "+", " -", "- ", "="};
  const LiteralRange beyond[] = {{1000, 1000}};
  for (int i = 0; i < 3000; ++i) {
    const std::string sign = kSigns[random() % std::size(kSigns)];
    const std::string value = kValues[random() % std::size(kValues)];
    const std::string space = random() % 3 == 0 ? " " : "";
    const std::string gap = random() % 4 == 0 ? "  " : space;
    const std::string text = space + (random() % 2 ? "=" : "") + gap + sign + value + space;
    const auto result = [&text](Literals literals) {
      try {
        return EvaluateOperators(text, literals);
      } catch (const Error& failure) {
        return "failure " + std::to_string(failure.Number());
      }
    };
    EXPECT_EQ(result({}), result({beyond, 0})) << text;
  }
}

// One operator between two plain numbers is read without tokens; the
// token-by-token reduction must give the same, overflows included.
TEST(Operators, PlainPairsAsTheGeneralPath) {
  std::mt19937 random(41);
  static const char* const kNumbers[] = {"0",
                                         "5",
                                         "5.",
                                         ".5",
                                         ".",
                                         "007",
                                         "12.50",
                                         "0.00005",
                                         "0.00015",
                                         "2.5",
                                         "1.2.3",
                                         "1E5",
                                         "-3",
                                         "",
                                         "3 ",
                                         "10",
                                         "0.0001",
                                         "99999.9999",
                                         "922337203685477",
                                         "922337203685477.5807",
                                         "922337203685478",
                                         "123456789012345678",
                                         "1234567890123456789",
                                         "999999999999999999"};
  static const char* const kOperators[] = {"+",  "-",  "*",  "/",  "=",  "<", ">",
                                           "<=", ">=", "<>", "!=", "=<", "&", "^"};
  for (int i = 0; i < 6000; ++i) {
    const std::string text =
        std::string(random() % 2 ? "=" : "") + kNumbers[random() % std::size(kNumbers)] +
        kOperators[random() % std::size(kOperators)] + kNumbers[random() % std::size(kNumbers)];
    const auto result = [&text](auto evaluate) {
      try {
        return evaluate(text, Literals{});
      } catch (const Error& failure) {
        return "failure " + std::to_string(failure.Number());
      }
    };
    EXPECT_EQ(result(EvaluateOperators), result(EvaluateOperatorsByTokens)) << text;
  }
}

// Joins of literals, words and signed numbers are read without tokens; the
// token-by-token reduction must give the same.
TEST(Operators, PlainJoinsAsTheGeneralPath) {
  std::mt19937 random(43);
  static const char* const kParts[] = {
      "\"Total \"", "\" k\"", "'x'",    "\"a&b\"", "\"-5\"", "\"\"",       "\" \"",
      "-1234.56",   "-0",     "-1.2.3", "1234.5",  "007",    "abc",        "a_b",
      "x y",        "-abc",   "- 5",    "5-",      "1E",     "\"a\"\"b\"", "",
      "-.5",        "+5",     "(1)",    "1E-05",   "-12.50", "'a\"b'"};
  static const char* const kGaps[] = {"", "", " ", "  "};
  for (int i = 0; i < 5000; ++i) {
    std::string text = random() % 2 ? "=" : " = ";
    std::vector<LiteralRange> literals;
    const int parts = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < parts; ++k) {
      if (k > 0) {
        text += std::string(kGaps[random() % std::size(kGaps)]) + "&" +
                kGaps[random() % std::size(kGaps)];
      }
      const std::string part = kParts[random() % std::size(kParts)];
      // A quoted part is a literal range, quotes included (positions count from 1).
      if (!part.empty() && (part.front() == '"' || part.front() == '\'')) {
        literals.push_back(
            {static_cast<int>(text.size()) + 1, static_cast<int>(text.size() + part.size())});
      }
      text += part;
    }
    const auto result = [&](auto evaluate) {
      try {
        return evaluate(text, Literals{literals, 0});
      } catch (const Error& failure) {
        return "failure " + std::to_string(failure.Number());
      }
    };
    EXPECT_EQ(result(EvaluateOperators), result(EvaluateOperatorsByTokens)) << text;
  }
}

TEST(Operators, DatesAreComparedAndSubtractedAsDays) {
  EXPECT_EQ(Eval("=\"2024-03-31\"-\"2024-01-01\""), "90");
  EXPECT_EQ(Eval("=\"2024-03-31\">\"2024-01-01\""), "True");
  EXPECT_EQ(Eval("=\"2024-03-31 12:00\"-\"2024-03-31\""), "0.5");
  EXPECT_EQ(Eval("=\"2024-03-31 00:00:05\">\"2024-03-31 00:00:01\""), "True");
  EXPECT_EQ(*DateValue("1900-01-01"), 2);
  EXPECT_EQ(*DateValue("1899-12-30"), 0);
  EXPECT_EQ(*DateValue("2024-02-29 06:00"), 45351.25);
  for (const char* text : {"2023-02-29", "2024-13-01", "2024-3-31", "31/03/2024",
                           "2024-03-31T12:00", "0099-01-01", "2024-03-31 24:00"}) {
    EXPECT_FALSE(DateValue(text).has_value()) << text;
  }
}

TEST(Operators, ApplyOperatorOnItsOwn) {
  EXPECT_EQ(ApplyOperator(" 'a' ", "&", "\"b\""), "ab");
  EXPECT_EQ(ApplyOperator("", "+", ""), "0");
  EXPECT_EQ(ApplyOperator("", "&", "5"), "5");
  EXPECT_EQ(ApplyOperator("", "=", "0"), "True");
  EXPECT_EQ(ApplyOperator("", "=", ""), "True");
  EXPECT_EQ(ApplyOperator("3", "%", ""), "0.03");
  EXPECT_EQ(ApplyOperator("1", ":", "2"), "1:2");
}

TEST(ContainsOperator, SkipsLiteralRangesAndTheRangeSeparator) {
  const std::vector<LiteralRange> ranges = {{3, 5}};
  EXPECT_TRUE(ContainsOperator("=1+2", "+"));
  EXPECT_FALSE(ContainsOperator("=\"a+b\"", "+", {ranges}));
  EXPECT_TRUE(ContainsOperator("=\"a+b\"+1", "+", {ranges}));
  EXPECT_FALSE(ContainsOperator("A1:B2", ":"));
  EXPECT_FALSE(ContainsOperator("=1+2", "-"));
  EXPECT_TRUE(ContainsOperator("1>=2", ">="));
  // Offsets: the text starts after position 1 of the expression.
  EXPECT_FALSE(ContainsOperator("\"a+b\"", "+", {ranges, 1}));
}

TEST(ParseIf, SplitsAtTopLevelCommas) {
  EXPECT_EQ(ParseIf(" I~_T~1>0 , \"x,y\" , 3 ", 1), "I~_T~1>0");
  EXPECT_EQ(ParseIf(" I~_T~1>0 , \"x,y\" , 3 ", 2), "\"x,y\"");
  EXPECT_EQ(ParseIf(" I~_T~1>0 , \"x,y\" , 3 ", 3), "3");
  EXPECT_EQ(SplitIf("(1,2)>1,Max(1,2),(3)"),
            (std::array<std::string, 3>{"(1,2)>1", "Max(1,2)", "(3)"}));
  // A recorded single-quoted literal keeps its comma.
  const std::vector<LiteralRange> ranges = {{3, 7}};
  EXPECT_EQ(ParseIf("1,'a,b',2", 2, {ranges}), "'a,b'");
  for (const char* bad : {"1,2", "1,2,3,4", "", "(1,2,3", "1,2),3", "\"1,2,3", "1,2,3)"}) {
    const Error failure = FailureOf([&] { ParseIf(bad, 1); });
    EXPECT_EQ(failure.Number(), kErrRaised) << bad;
    EXPECT_EQ(failure.Source(), "ParseIf");
    EXPECT_EQ(failure.Description(), "If not structured correctly");
  }
}

TEST(SplitArguments, CutsAtTopLevelCommasOnly) {
  using Parts = std::vector<std::string>;
  EXPECT_EQ(SplitArguments(" 1 , (2,3) , \"a,b\" ,"), (Parts{"1", "(2,3)", "\"a,b\"", ""}));
  EXPECT_EQ(SplitArguments(""), (Parts{""}));
  EXPECT_FALSE(SplitArguments("(1,2").has_value());
  EXPECT_FALSE(SplitArguments("\"1,2").has_value());
}

TEST(TruthOf, BooleansNumbersAndFailures) {
  EXPECT_TRUE(TruthOf(" true "));
  EXPECT_FALSE(TruthOf("FALSE"));
  EXPECT_TRUE(TruthOf("-1"));
  EXPECT_TRUE(TruthOf("0.4"));
  EXPECT_FALSE(TruthOf("0"));
  EXPECT_FALSE(TruthOf("0.000"));
  for (const char* text : {"", "yes", "#ERROR"}) {
    EXPECT_EQ(FailureOf([&] { TruthOf(text); }).Number(), kErrTypeMismatch) << text;
  }
}

// Any text either reduces or fails with an orvo::Error; never anything else.
TEST(Operators, ArbitraryTextNeverEscapesAsAnythingButAFailure) {
  static const std::string kAlphabet = "0123456789.E +-*/&%^=<>!(),\"' aZ:{}";
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    std::string text = i % 3 == 0 ? "=" : "";
    for (int n = std::uniform_int_distribution<int>(0, 24)(random); n > 0; --n) {
      text +=
          kAlphabet[std::uniform_int_distribution<std::size_t>(0, kAlphabet.size() - 1)(random)];
    }
    const std::vector<LiteralRange> ranges = {{std::uniform_int_distribution<int>(-2, 30)(random),
                                               std::uniform_int_distribution<int>(-2, 30)(random)}};
    try {
      const std::string value = EvaluateOperators(text, {ranges});
      EXPECT_NE(value, "-0") << text;
    } catch (const Error&) {
    }
  }
}

}  // namespace
}  // namespace orvo
