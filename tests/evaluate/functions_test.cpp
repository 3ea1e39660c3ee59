#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "evaluation_fixture.h"
#include "orvo/error.h"
#include "orvo/formula_evaluator.h"

namespace orvo::testing {
namespace {

using ::testing::MatchesRegex;
using Formulas = EvaluatorTest;

TEST_F(Formulas, OperatorsReachTheirValuesThroughTheEvaluator) {
  EXPECT_EQ(Value("=1-2+3"), "-4");  // all additions before any subtraction
  EXPECT_EQ(Value("=(1-2)+3"), "2");
  EXPECT_EQ(Value("=10/0"), "0");
  EXPECT_EQ(Value("=1+\"x\""), "1");
  EXPECT_EQ(Value("=1&\"x\""), "1x");
  EXPECT_EQ(Value("=\"abc\""), "abc");
  Cells({{"A1", "10"}, {"A2", "4"}});
  EXPECT_EQ(Value("=(A1-A2)*2"), "12");
  EXPECT_EQ(Value("=Sum(A1,A2)/2"), "7");
}

TEST_F(Formulas, SumSkipsTextAndAverageDividesByTheCellsReferenced) {
  EXPECT_EQ(Value("=Sum(1,\"x\",4)"), "5");
  EXPECT_EQ(Value("=Sum(1+2,3*4)"), "15");
  EXPECT_EQ(Value("=Sum(0.1,0.2)"), "0.3");
  Cells({{"A1:A3", "30"}, {"B1", "6"}, {"C1:D2", "x"}});
  EXPECT_EQ(Value("=Avg(A1:A3)"), "10");
  EXPECT_EQ(Value("=Avg(A1:A3,B1)"), "9");     // 36 over 4 cells
  EXPECT_EQ(Value("=Avg(A1:A3,6)"), "9");      // a number that is not a cell counts once
  EXPECT_EQ(Value("=Avg(\"a\",\"b\")"), "0");  // nothing counted: the sum
  EXPECT_EQ(Value("=Count(A1:A3,B1)"), "4");
  EXPECT_EQ(Value("=Count(C1:D2)"), "4");
  EXPECT_EQ(Value("=Count(1,2,\"a\")"), "2");
}

TEST_F(Formulas, MaxAndMinCompareTheNumericArgumentsOnly) {
  EXPECT_EQ(Value("=Max(3,\"a\",7,2)"), "7");
  EXPECT_EQ(Value("=Min(3,\"a\",7,2)"), "2");
  EXPECT_EQ(Value("=Max(-3,-7)"), "-3");
  EXPECT_EQ(Value("=Max(\"a\")"), "0");
}

TEST_F(Formulas, ConditionsAndTheirTruth) {
  EXPECT_EQ(Value("=And(1,\"TRUE\",2>1)"), "True");
  EXPECT_EQ(Value("=And(1,0)"), "False");
  EXPECT_EQ(Value("=Or(0,\"false\")"), "False");
  EXPECT_EQ(Value("=Or(0,-2)"), "True");
  EXPECT_EQ(Value("=If(1>2,\"a\",\"b\")"), "b");
  EXPECT_EQ(Value("=If(1,If(0,\"x\",\"y\"),\"z\")"), "y");
  Cells({{"A1", "10"}});
  EXPECT_EQ(Value("=If(A1>5,A1*2,0)"), "20");
  EXPECT_EQ(Value("=If(A1>5,A1*2,0)+1"), "21");
  EXPECT_EQ(Value("=If(\"maybe\",1,2)"), "#ERROR");  // a condition that is no truth value
}

TEST_F(Formulas, LeftRightAndLenCountCharacters) {
  EXPECT_EQ(Value("=Left(\"a,b,c\",3)"), "a,b");  // split at the last comma
  EXPECT_EQ(Value("=Right(\"a,b,c\",3)"), "b,c");
  EXPECT_EQ(Value("=Left(\"abc\",10)"), "abc");
  EXPECT_EQ(Value("=Left(\"h\xC3\xA9llo\",2)"), "h\xC3\xA9");
  EXPECT_EQ(Value("=Right(\"h\xC3\xA9llo\",4)"), "\xC3\xA9llo");
  EXPECT_EQ(Value("=Left(\"abc\",-1)"), "#ERROR");
  EXPECT_EQ(Value("=Left(\"abc\",\"x\")"), "#ERROR");
  EXPECT_EQ(Value("=Left(\"abc\")&\"|\""), "|");  // no comma: empty
  EXPECT_EQ(Value("=Len(\"  h\xC3\xA9llo \")"), "5");
}

TEST_F(Formulas, ModNeedsTwoNumbers) {
  EXPECT_EQ(Value("=Mod(7,3)"), "1");
  EXPECT_EQ(Value("=Mod(-7,3)"), "-1");
  EXPECT_EQ(Value("=Mod(7.6,2)"), "0");  // 8 mod 2
  EXPECT_EQ(Value("=Mod(\"a\",3)"), "#ERROR");
  EXPECT_EQ(Value("=Mod(7)"), "#ERROR");
  EXPECT_EQ(Value("=Mod(7,0)"), "#ERROR");
  EXPECT_EQ(Value("=Mod(7,3)+1"), "2");
}

TEST_F(Formulas, QuotedLiteralsAndTextValuesKeepTheirCommasAndOperators) {
  EXPECT_EQ(Value("=Sum(\"1,2\",3)"), "3");
  EXPECT_EQ(Value("=\"a-b\"&\"c\""), "a-bc");
  EXPECT_EQ(Value("=Left(\"(a),b\",3)"), "(a)");
  // The parser refuses a comma in a literal inside If; the evaluator keeps it.
  EXPECT_EQ(RecordValue("<PEx Exp='=If(1&gt;0,\"a,b\",\"c\")&amp;\"!\"' Max=''><EIs/>"
                        "<EFs><EF Typ='If' Pos='1'/></EFs><EMBs EAtt=''/></PEx>"),
            "a,b!");
  Cells({{"A1", "Smith, John"}, {"A2", "a-b"}, {"A3", "x(y"}});
  EXPECT_EQ(Value("=Left(A1,5)"), "Smith");
  EXPECT_EQ(Value("=A2"), "a-b");
  EXPECT_EQ(Value("=A2&\"!\""), "a-b!");
  EXPECT_EQ(Value("=A3&\")\""), "x(y)");
}

// Regression: a one-space literal between two joins vanished ("a"&" "&"b"
// gave "ab"): spaces around an operand are syntax, spaces in a literal or in
// a computed value are text.
TEST_F(Formulas, SpacesInLiteralsAndResultsAreKept) {
  EXPECT_EQ(Value("=\"a\"&\" \"&\"b\""), "a b");
  EXPECT_EQ(Value("= \"a\" & \" \" & \"b\" "), "a b");
  EXPECT_EQ(Value("=\" \""), " ");
  EXPECT_EQ(Value("=\"  \""), "  ");
  EXPECT_EQ(Value("=\" x \""), " x ");
  EXPECT_EQ(Value("=\"a\"&\"  \"&\"b\""), "a  b");
  EXPECT_EQ(Value("=If(1>0,\" \",\"x\")"), " ");
  EXPECT_EQ(Value("=\"a\"&If(1>0,\" \",\"x\")&\"b\""), "a b");
  EXPECT_EQ(Value("=If(1,If(1,\" \",\"y\"),\"z\")&\"|\""), " |");
  Cells({{"A1", " x "}});
  EXPECT_EQ(Value("=\"[\"&A1&\"]\""), "[ x ]");  // a text value keeps its spaces
  EXPECT_EQ(Value("=Len(\" ab \")"), "2");       // Len counts the trimmed text
  EXPECT_EQ(Value("=If(1,2,3,4)"), "#ERROR");    // If still needs exactly three parts
  EXPECT_EQ(Value("=If(1,2)"), "#ERROR");
}

TEST_F(Formulas, PlaceholdersAreMatchedWhole) {
  std::map<std::string, std::string> cells;
  std::string formula = "=";
  for (int i = 1; i <= 11; ++i) {
    cells["A" + std::to_string(i)] = std::to_string(i * 100);
    formula += (i > 1 ? "+A" : "A") + std::to_string(i);
  }
  Cells(cells);
  EXPECT_EQ(Value(formula), "6600");
  EXPECT_EQ(Value("=A10-A1+A11"), "-200");  // 1000 - (100 + 1100)
  EXPECT_EQ(Value("=Sum(A10,A11)&\"/\"&A1"), "2100/100");
}

TEST_F(Formulas, MixedTextsEvaluateTheirEmbeddedFormulas) {
  Cells({{"A1", "100.5"}, {"A2", "2"}, {"A1:A3", "30"}});
  EXPECT_EQ(Value("Total {A1} of {Sum(A1:A3)*2}"), "Total 100.5 of 60");
  // The first substitution lengthens the text; the second formula still lines up.
  EXPECT_EQ(Value("{A1+A2} and {A2*3} units"), "102.5 and 6 units");
  EXPECT_EQ(Value("Page {Page} of {PageCount}"),
            "Page \xC3\xBFP of \xC3\xBF"
            "C");
  xml::Node item = ItemFor(document, "{Page}");
  xml::Node evaluated;
  evaluator.Evaluate(item, {}, 0, "", evaluated);
  EXPECT_EQ(item.AttributeOr("PTxt", ""), "\xC3\xBFP");  // left for the host to paginate
}

class FixedFunction : public IFunctionResolver {
 public:
  explicit FixedFunction(std::string value) : m_value(std::move(value)) {}
  Resolution Call(const FunctionRequest& request, EvaluationScope&) override {
    arguments = std::string(request.arguments);
    operands.assign(request.operands.begin(), request.operands.end());
    return Resolution::Value(m_value);
  }
  std::string arguments;
  std::vector<std::string> operands;

 private:
  std::string m_value;
};

TEST_F(Formulas, LedgerFunctionsAnswerThroughTheirResolvers) {
  EXPECT_EQ(Value("=LY(5+1)"), "6");
  EXPECT_THAT(Value("=Now"), MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"));
  // No workspace on the thread: the data driver cannot be reached (a failure),
  // a database-map table cannot be resolved ("#REF").
  EXPECT_EQ(Value("=AccountValue(\"1000\",\"NAME\")"), "#ERROR");
  EXPECT_EQ(Value("=Year&\"|\"&Period"), "#ERROR");
  EXPECT_EQ(Value("=RecordCount(DB.Orders)"), "#REF");

  auto year = std::make_shared<FixedFunction>("FY2024");
  evaluator.SetFunctionResolver(Function::kYear, year);
  EXPECT_EQ(Value("Year {Year}"), "Year FY2024");
  auto account = std::make_shared<FixedFunction>("1500");
  evaluator.SetFunctionResolver(Function::kAccountValue, account);
  Cells({{"A1", "4000"}});
  EXPECT_EQ(Value("=AccountValue(A1,\"BALANCE\")*2"), "3000");
  EXPECT_EQ(account->arguments, "4000,\"BALANCE\"");
  EXPECT_THAT(account->operands, ::testing::ElementsAre("A1"));
}

TEST(FormulaEvaluator, EvaluatesOneFormulaAtTheFinalLevel) {
  FormulaEvaluator evaluator;
  FormulaEvaluation result = evaluator.Evaluate("=Note(Missing)&\"|\"&Sum(1,2)");
  EXPECT_FALSE(result.parsed);  // the bookmark is unknown to the parser
  EXPECT_FALSE(result.messages.empty());
  EXPECT_EQ(result.value, "");

  evaluator.EvaluateUnparsed(true);
  result = evaluator.Evaluate("=Note(Missing)&\"|\"&Sum(1,2)");
  EXPECT_FALSE(result.parsed);
  EXPECT_EQ(result.value, "#REF|3");  // nothing waits at the final level

  result = evaluator.Evaluate("=0-5",
                              "<Stl><NFmt Typ='Numeric'><Def Dec='1' DisN='(1)'/></NFmt>"
                              "<Alg/><Brd/><Fnts><Fnt Clr='0'/></Fnts></Stl>");
  EXPECT_TRUE(result.parsed);
  EXPECT_EQ(result.display_text, "(5.0)");
  EXPECT_EQ(result.colour, "0");
  EXPECT_THROW(evaluator.Evaluate("=1", "<Fmt/>"), Error);
}

}  // namespace
}  // namespace orvo::testing
