// Malformed and extreme input ends as an error value, never as a crash, a
// hang or a failure escaping Evaluate.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "evaluation_fixture.h"

namespace orvo::testing {
namespace {

using BadInput = EvaluatorTest;

std::string Record(const std::string& expression, const std::string& operands = "",
                   const std::string& calls = "") {
  return "<PEx Exp='" + expression + "' Max=''><EIs>" + operands + "</EIs><EFs>" + calls +
         "</EFs><EMBs/></PEx>";
}

TEST_F(BadInput, UnbalancedBracketsLeftAfterSubstitution) {
  Cells({{"A1", "5"}, {"A2", "x(y"}});
  const std::string a1 = "<EI Typ='TCR' Val='A1'/>";
  EXPECT_EQ(RecordValue(Record("=(I~_T~1", a1)), "#ERROR");
  EXPECT_EQ(RecordValue(Record("=I~_T~1)", a1)), "#ERROR");
  EXPECT_EQ(RecordValue(Record("=Sum(I~_T~1", a1, "<EF Typ='Sum' Pos='1'/>")), "#ERROR");
  EXPECT_EQ(RecordValue(Record("=Sum", "", "<EF Typ='Sum' Pos='1'/>")), "#ERROR");
  // A bracket inside a substituted text is text.
  EXPECT_EQ(RecordValue(Record("=(I~_T~1)", "<EI Typ='TCR' Val='A2'/>")), "x(y");
  // Positions outside the text.
  EXPECT_EQ(RecordValue(Record("=1", "", "<EF Typ='Sum' Pos='30000'/>")), "1");
  EXPECT_EQ(
      RecordValue("<PEx Exp='a b' Max=''><EIs/><EFs/><EMBs><EMB Str='2' End='90'/></EMBs></PEx>"),
      "#ERROR");
}

TEST_F(BadInput, VeryLongFormulasFinish) {
  std::string sum = "=Sum(1";
  while (sum.size() < 100'000) sum += ",1";
  sum += ")";
  EXPECT_EQ(RecordValue(Record(sum, "", "<EF Typ='Sum' Pos='1'/>")),
            std::to_string((sum.size() - 5) / 2));

  std::string chain = "=1";
  while (chain.size() < 100'000) chain += "+1";
  const std::string value = RecordValue(Record(chain));
  EXPECT_TRUE(value == "#ERROR" || value == std::to_string(chain.size() / 2)) << value;
}

TEST_F(BadInput, DeepNestingIsRefusedWithoutRecursion) {
  const auto nested = [](int depth) {
    std::string text = "=";
    std::string calls;
    for (int i = 0; i < depth; ++i) {
      calls += "<EF Typ='LY' Pos='" + std::to_string(1 + 3 * i) + "'/>";
      text += "LY(";
    }
    text += "1" + std::string(static_cast<std::size_t>(depth), ')');
    return std::make_pair(text, calls);
  };
  const auto [shallow, shallow_calls] = nested(300);
  EXPECT_EQ(RecordValue(Record(shallow, "", shallow_calls)), "1");
  const auto [deep, deep_calls] = nested(10'000);
  EXPECT_EQ(RecordValue(Record(deep, "", deep_calls)), "#ERROR");
  EXPECT_EQ(RecordValue(Record("=" + std::string(5000, '(') + "1" + std::string(5000, ')'))),
            "#ERROR");
}

TEST_F(BadInput, NumbersOutOfRangeAreErrorsNeverInfinityOrNaN) {
  EXPECT_EQ(Value("=1E15+1E15"), "#ERROR");  // beyond the currency range
  EXPECT_EQ(Value("=1E308*10"), "#ERROR");
  EXPECT_EQ(Value("=Sum(1E308,1E308)"), "#ERROR");
  EXPECT_EQ(Value("=Avg(1E308,1E308)"), "#ERROR");
  EXPECT_EQ(Value("=Max(1E308,1E309)"), "#ERROR");
  EXPECT_EQ(Value("=Mod(1E20,3)"), "#ERROR");
  const std::string huge_by_tiny = Value("=1E14/0.0001");
  EXPECT_EQ(huge_by_tiny.find_first_of("iInN"), std::string::npos) << huge_by_tiny;
}

// The evaluator keeps what it read of a record's text for the next record of
// the same text; records that share the text but not its calls, operands or
// embedded formulas are each read as written, whatever came before them.
TEST_F(BadInput, RecordsSharingATextAreEachReadAsWritten) {
  const std::map<std::string, std::string> values = {{"A1", "2"}, {"A2", "3"}};
  Cells(values);
  const std::string text = "=Sum(I~_T~1)+I~_T~2";
  const std::string both = "<EI Typ='TCR' Val='A1'/><EI Typ='TCR' Val='A2'/>";
  const std::string sum = "<EF Typ='Sum' Pos='1'/>";
  const std::vector<std::string> records = {
      Record(text, both, sum),
      Record(text, both, "<EF Typ='Sum' Pos='2'/>"),
      Record(text, both, "<EF Typ='Max' Pos='1'/>"),
      Record(text, both),
      Record(text, "<EI Typ='TCR' Val='A1'/>", sum),
      "<PEx Exp='" + text + "' Max=''><EIs>" + both + "</EIs><EFs>" + sum +
          "</EFs><EMBs><EMB Str='2' End='9'/></EMBs></PEx>",
  };
  // Each record evaluated by an evaluator that met no other.
  std::vector<std::string> alone;
  for (const std::string& record : records) {
    cEvaluate fresh;
    const auto resolver = std::make_shared<TableResolver>(values);
    fresh.SetOperandResolver(OperandKind::kCell, resolver);
    fresh.SetOperandResolver(OperandKind::kRange, resolver);
    xml::Node item = ItemWithRecord(document, record);
    xml::Node evaluated;
    fresh.Evaluate(item, {}, 0, "", evaluated);
    alone.push_back(item.AttributeOr("Value", "<none>"));
  }
  EXPECT_EQ(alone[0], "5");
  EXPECT_EQ(alone[1], "#ERROR");  // the call is not where the record places it
  // All of them by one evaluator, in one order and then the other.
  for (int round = 0; round < 2; ++round) {
    for (std::size_t k = 0; k < records.size(); ++k) {
      const std::size_t i = round == 0 ? k : records.size() - 1 - k;
      EXPECT_EQ(RecordValue(records[i]), alone[i]) << records[i];
    }
  }
}

}  // namespace
}  // namespace orvo::testing
