#include <gtest/gtest.h>

#include "orvo/error.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo {
namespace {

// Runs a whole scan the way every caller does and returns the tokens.
std::vector<std::string> Scan(cParser& parser, std::string_view text) {
  std::vector<std::string> tokens;
  parser.CurrentPosition(1);
  while (parser.CurrentPosition() != -1 && tokens.size() < 1000) {
    tokens.push_back(parser.GetToken(text));
  }
  return tokens;
}

std::vector<std::string> Scan(std::string_view text, bool ignore_spaces = true) {
  cParser parser;
  parser.IgnoreSpaces(ignore_spaces);
  return Scan(parser, text);
}

std::vector<std::string> Errors(const cParser& parser) {
  std::vector<std::string> messages;
  for (const xml::Node& error : parser.ErrorCollection().ChildNodes()) {
    messages.push_back(error.AttributeOr("Desc", "?"));
  }
  return messages;
}

using Tokens = std::vector<std::string>;

TEST(Tokenizer, SpacesAreDroppedOrKeptAttached) {
  EXPECT_EQ(Scan("= A1 + B1"), (Tokens{"=", "A1", "+", "B1"}));
  EXPECT_EQ(Scan("= A1 + B1", false), (Tokens{"=", " A1 ", "+", " B1"}));
  EXPECT_EQ(Scan("=(A1) + B1"), (Tokens{"=", "(", "A1", ")", "+", "B1"}));
  EXPECT_EQ(Scan("=(A1) + B1", false), (Tokens{"=", "(", "A1", ")", " +", " B1"}));
  // A space before "!" is a token of its own.
  EXPECT_EQ(Scan("=(A) !=B"), (Tokens{"=", "(", "A", ")", " ", "!=", "B"}));
}

TEST(Tokenizer, SignRunsCollapse) {
  EXPECT_EQ(Scan("--5"), (Tokens{"+", "5"}));
  EXPECT_EQ(Scan("-5"), (Tokens{"-", "5"}));
  EXPECT_EQ(Scan("-(A1)"), (Tokens{"-", "(", "A1", ")"}));
  EXPECT_EQ(Scan("=1- - -2"), (Tokens{"=", "1", "-", "2"}));
  EXPECT_EQ(Scan("=1+-2"), (Tokens{"=", "1", "-", "2"}));
  // A "+" right after the first sign ends the run at that sign.
  EXPECT_EQ(Scan("=1-+2"), (Tokens{"=", "1", "-", "+", "2"}));
  cParser parser;
  EXPECT_EQ(Scan(parser, "=1-*2"), (Tokens{"=", "1", "-", "*", "2"}));
  EXPECT_EQ(Errors(parser), (Tokens{"Invalid use of *"}));
  EXPECT_EQ(parser.StrPos(), "4");
}

TEST(Tokenizer, ComparisonOperatorsAndTheirErrors) {
  EXPECT_EQ(Scan("=A<=B<>C>=D><E!=F"),
            (Tokens{"=", "A", "<=", "B", "<>", "C", ">=", "D", "><", "E", "!=", "F"}));
  for (std::string bad : {"=1<*2", "=1>>2", "=1<^2", "=1>%2"}) {
    cParser parser;
    Scan(parser, bad);
    EXPECT_EQ(Errors(parser), (Tokens{"Invalid formula"})) << bad;
    EXPECT_EQ(parser.StrPos(), "3") << bad;
  }
  cParser bang;
  EXPECT_EQ(Scan(bang, "=A!B"), (Tokens{"=", "A", "!", "B"}));
  EXPECT_EQ(Errors(bang), (Tokens{"Invalid use of !"}));
  cParser comma;
  Scan(comma, "=If(A,*B,-C,(D),=E)");
  EXPECT_EQ(Errors(comma), (Tokens{"Invalid formula (,)"}));
  EXPECT_EQ(comma.StrPos(), "6");
}

TEST(Tokenizer, QuotesNamesAndMapReferences) {
  // A quoted string is one token with the text around it up to an operator.
  EXPECT_EQ(Scan("=x\"a+b\"y+1"), (Tokens{"=", "x\"a+b\"y", "+", "1"}));
  EXPECT_EQ(Scan("='it''s-1'&A"), (Tokens{"=", "'it''s-1'", "&", "A"}));
  EXPECT_EQ(Scan("=%Sales-Net%+1"), (Tokens{"=", "%Sales", "-", "Net%", "+", "1"}));
  EXPECT_EQ(Scan("=5%"), (Tokens{"=", "5", "%"}));
  EXPECT_EQ(Scan("=CM.R&D.DR+1"), (Tokens{"=", "CM.R&D.DR", "+", "1"}));
  EXPECT_EQ(Scan("=CM.A&\"x\""), (Tokens{"=", "CM.A", "&", "\"x\""}));
  // A map prefix inside a token starts a new token.
  EXPECT_EQ(Scan("=A1DB.Orders.Amount"), (Tokens{"=", "A1", "DB.Orders.Amount"}));
  EXPECT_EQ(Scan("=xcm.Sales"), (Tokens{"=", "x", "cm.Sales"}));
}

TEST(Tokenizer, IgnoreSpansOffsetsAndTheEnd) {
  xml::Document document = xml::Document::Parse("<FindItems><I Start='2' End='4'/></FindItems>");
  cParser parser;
  parser.ItemsToIgnore(document.DocumentElement());
  EXPECT_EQ(Scan(parser, "=A-B-C"), (Tokens{"=", "A-B", "-", "C"}));
  parser.Offset(10);  // positions shift out of the span
  EXPECT_EQ(Scan(parser, "=A-B-C"), (Tokens{"=", "A", "-", "B", "-", "C"}));
  // The list is held by reference: a later edit is seen.
  parser.Offset(0);
  document.DocumentElement().FirstChild().SetAttribute("End", "6");
  EXPECT_EQ(Scan(parser, "=A-B-C"), (Tokens{"=", "A-B-C"}));

  cParser end;
  end.CurrentPosition(1);
  std::string text = "=Sum(A1)";
  while (end.CurrentPosition() != -1) end.GetToken(text);
  EXPECT_EQ(end.startPosition(), 8);
  EXPECT_EQ(end.GetToken(text), "");
  EXPECT_EQ(end.CurrentPosition(), -1);
}

TEST(Tokenizer, PositionsBeyondSixteenBitsRaiseOverflow) {
  cParser parser;
  std::string text = "=" + std::string(40000, 'A') + "+1";
  parser.CurrentPosition(1);
  parser.GetToken(text);
  EXPECT_THROW(parser.GetToken(text), Error);
}

TEST(Vocabulary, FunctionsAndOperatorTable) {
  cParser parser;
  EXPECT_TRUE(parser.IsFunction("sum"));
  EXPECT_TRUE(parser.IsFunction("  SUM "));
  EXPECT_TRUE(parser.IsFunction("AccountValue"));
  EXPECT_FALSE(parser.IsFunction("Summ"));
  EXPECT_FALSE(parser.IsFunction("x'y"));
  EXPECT_TRUE(parser.TokenItem("<>"));
  EXPECT_TRUE(parser.TokenItem("("));
  EXPECT_TRUE(parser.TokenItem("}"));
  EXPECT_FALSE(parser.TokenItem(":"));
  EXPECT_FALSE(parser.TokenItem("\"+"));
  EXPECT_FALSE(parser.TokenItem("=="));

  xml::Node functions = FunctionList();
  EXPECT_EQ(functions.ChildNodes().Length(), 31u);
  EXPECT_EQ(functions.FirstChild().Xml(), "<Itm Key=\"INOTE\" Display=\"iNote\"/>");
  EXPECT_EQ(functions.SelectSingleNode("//Itm[@Key='RECORDVALUE']").AttributeOr("Display", ""),
            "RecordValue");
  xml::Node operators = OperatorList();
  EXPECT_EQ(operators.ChildNodes().Length(), 13u);
  EXPECT_EQ(operators.LastChild().Xml(), "<Itm Key=\",\"/>");
  // The same objects on every request on one thread.
  EXPECT_EQ(FunctionList(), functions);
  EXPECT_EQ(OperatorList(), operators);
}

}  // namespace
}  // namespace orvo
