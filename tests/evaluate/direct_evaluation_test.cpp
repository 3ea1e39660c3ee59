// Formulas of the plain shapes are evaluated from their operand values
// without rewriting the formula text. These tests run random formulas of
// those shapes (and of shapes close to them that must take the text way)
// both ways and compare what the items get.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "evaluation_fixture.h"

namespace orvo::testing {
namespace {

// Values a cell may hold: numbers of every form, texts (some looking like
// numbers or holding commas), empty cells and error values.
const std::vector<std::string> kValues = {
    "5",      "-3",     "0",    "1.25", "-0.5",      "",      "abc",        "12345678901234567",
    "1E-05",  " 7",     "#REF", "1,5",  "True",      "-0.10", "007",        "922337203685477",
    "-1E+21", "0.0001", "2",    "10",   "-7",        "3.5",   "99999.9999", "FALSE",
    "#ERROR", "-",      "1e3",  "+4",   "2024-01-31"};

// Cells and ranges answered from tables filled per formula; a range taken
// cell by cell answers its list.
class RandomResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope&) override {
    const std::string text(request.text);
    if (request.wants_cells) {
      auto found = cells.find(text);
      if (found != cells.end()) return Resolution::Cells(found->second);
    }
    auto found = values.find(text);
    if (found == values.end()) return Resolution::ErrorValue("#REF");
    return Resolution::Value(found->second);
  }

  std::map<std::string, std::string> values;
  std::map<std::string, std::vector<std::string>> cells;
};

class FormulaMaker {
 public:
  explicit FormulaMaker(unsigned start) : m_random(start) {}

  std::string Formula() { return "=" + Expression(0); }

  void Fill(RandomResolver& resolver) {
    resolver.values.clear();
    resolver.cells.clear();
    for (int i = 1; i <= 4; ++i) resolver.values["A" + std::to_string(i)] = Value();
    for (int i = 1; i <= 3; ++i) {
      const std::string range = "B" + std::to_string(i) + ":C" + std::to_string(i + 2);
      resolver.values[range] = Value();
      std::vector<std::string> list(Pick(5));
      for (std::string& cell : list) cell = Value();
      resolver.cells[range] = list;
    }
  }

 private:
  std::size_t Pick(std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random);
  }
  std::string Value() {
    // Mostly numbers, as reports hold.
    if (Pick(3) != 0) return kValues[Pick(4)];
    return kValues[Pick(kValues.size())];
  }
  std::string Cell() { return "A" + std::to_string(1 + Pick(4)); }
  std::string Range() {
    return "B" + std::to_string(1 + Pick(3)) + ":C" + std::to_string(3 + Pick(3));
  }
  std::string Number() {
    static const std::vector<std::string> numbers = {"0", "1", "2", "7", "0.5", "100", "3.25"};
    return numbers[Pick(numbers.size())];
  }
  std::string Term(int depth) {
    switch (Pick(depth < 3 ? 4 : 2)) {
      case 0:
        return Cell();
      case 1:
        return Number();
      default:
        return Call(depth + 1);
    }
  }
  std::string Expression(int depth) {
    static const std::vector<std::string> operators = {"+", "-",  "*",  "/",  "=", "<",
                                                       ">", "<=", ">=", "<>", "-", "+"};
    std::string text = Term(depth);
    const std::size_t joins = Pick(3);
    for (std::size_t i = 0; i < joins; ++i) text += operators[Pick(operators.size())] + Term(depth);
    return text;
  }
  std::string Argument(int depth, bool ranges) {
    if (ranges && Pick(2) == 0) return Range();
    return Expression(depth);
  }
  std::string Call(int depth) {
    static const std::vector<std::string> names = {"Sum", "Avg", "Max", "Min", "Mod",
                                                   "If",  "And", "Or",  "sum", "MAX"};
    const std::string name = names[Pick(names.size())];
    std::size_t count = 1 + Pick(3);
    if (name == "Mod") count = Pick(8) == 0 ? 3 : 2;
    if (name == "If") count = Pick(8) == 0 ? 2 : 3;
    const bool ranges = name != "Mod" && name != "If" && name != "And" && name != "Or";
    std::string text = name + "(";
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) text += ",";
      text += Argument(depth, ranges);
    }
    return text + ")";
  }

  std::mt19937 m_random;
};

struct Outcome {
  std::string value;
  std::string shown;
  std::string evaluated;
};

Outcome Evaluate(cEvaluate& evaluator, const xml::Document& document, const std::string& text) {
  xml::Node item = ItemFor(document, text);
  xml::Node evaluated;
  evaluator.Evaluate(item, {}, 0, "", evaluated);
  return {item.AttributeOr("Value", "<none>"), item.AttributeOr("PTxt", "<none>"),
          item.AttributeOr("Evaluated", "<none>")};
}

class DirectEvaluation : public ::testing::Test {
 protected:
  DirectEvaluation() {
    for (OperandKind kind : {OperandKind::kCell, OperandKind::kRange}) {
      direct.SetOperandResolver(kind, resolver);
      rewritten.SetOperandResolver(kind, resolver);
    }
    rewritten.DirectEvaluation(false);
  }

  // Checks that both ways give `text` the same value, display text and state.
  void ExpectSameBothWays(const std::string& text) {
    const Outcome a = Evaluate(direct, document, text);
    const Outcome b = Evaluate(rewritten, document, text);
    EXPECT_EQ(a.value, b.value) << text;
    EXPECT_EQ(a.shown, b.shown) << text;
    EXPECT_EQ(a.evaluated, b.evaluated) << text;
  }

  xml::Document document = xml::Document::Create();
  std::shared_ptr<RandomResolver> resolver = std::make_shared<RandomResolver>();
  cEvaluate direct;
  cEvaluate rewritten;
};

TEST_F(DirectEvaluation, RandomFormulasGetTheSameValuesBothWays) {
  FormulaMaker maker(20261207);
  for (int i = 0; i < 4000; ++i) {
    maker.Fill(*resolver);
    const std::string text = maker.Formula();
    ExpectSameBothWays(text);
    if (HasFailure()) break;
  }
}

TEST_F(DirectEvaluation, EachFormulaOfAShapeIsEvaluatedWithItsOwnValues) {
  // One expression text, many values: the plan worked out for the first is
  // used for the others.
  FormulaMaker maker(7);
  const std::vector<std::string> shapes = {
      "=A1*A2",         "=A1+A2",         "=Sum(B1:C3)",      "=Avg(B1:C3)",
      "=Max(B1:C3)",    "=Min(B1:C3,A1)", "=Mod(A1,2)",       "=If(Mod(A1,2)=0,A2-A3,Max(B1:C3))",
      "=Avg(B1:C3,A1)", "=Sum(A1,A2*2)",  "=If(A1>A2,A1,A2)", "=And(A1,A2>1)"};
  for (int i = 0; i < 300; ++i) {
    maker.Fill(*resolver);
    for (const std::string& shape : shapes) ExpectSameBothWays(shape);
    if (HasFailure()) break;
  }
}

TEST_F(DirectEvaluation, ValuesComeOutAsTheFormulaTextGivesThem) {
  resolver->values = {{"A1", "6"}, {"A2", "-4"}, {"A3", "x,y"}, {"B1:C3", "30"}};
  resolver->cells = {{"B1:C3", {"2", "", "9", "-1"}}};
  EXPECT_EQ(Evaluate(direct, document, "=A1*A2").value, "-24");
  EXPECT_EQ(Evaluate(direct, document, "=Max(B1:C3)").value, "9");
  EXPECT_EQ(Evaluate(direct, document, "=Min(B1:C3,A2)").value, "-4");
  EXPECT_EQ(Evaluate(direct, document, "=Avg(B1:C3)").value, "5");  // 30 over 6 cells
  EXPECT_EQ(Evaluate(direct, document, "=If(Mod(A1,4)=2,A1-A2,0)").value, "10");
  // A text value (its comma is no argument separator) and a call on the
  // wrong number of arguments take the text way, with its result.
  EXPECT_EQ(Evaluate(direct, document, "=Max(A3,A1)").value, "6");
  EXPECT_EQ(Evaluate(direct, document, "=If(A1,A2)").value, "#ERROR");
  EXPECT_EQ(Evaluate(direct, document, "=Mod(A1,4,5)").value, "#ERROR");
}

}  // namespace
}  // namespace orvo::testing
