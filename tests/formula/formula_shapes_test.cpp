// Parses shared by shape: every answer must be the record (and the messages)
// a parser of its own gives for the same text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formula/formula_shapes.h"
#include "formula/parsed_expression.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo {
namespace {

std::string Describe(const ParsedExpression& record) {
  std::string text = WriteParsedExpression(record, xml::Document::Create()).Xml();
  // The depths of the calls are not written to the XML.
  for (const ParsedExpression::FunctionCall& call : record.calls) {
    text += " depth " + std::to_string(call.depth);
  }
  return text;
}

std::vector<std::string> Messages(const cParser& parser) {
  std::vector<std::string> messages;
  for (const xml::Node& error : parser.ErrorCollection().ChildNodes()) {
    messages.push_back(error.AttributeOr("Desc", ""));
  }
  return messages;
}

class FormulaShapesTest : public ::testing::Test {
 protected:
  // Parses `formula` through the shapes and compares with a parser of its
  // own; true when the answer came from the cache.
  bool Check(std::string_view formula) {
    const FormulaShapes::Result result = shapes.Parse(parser, formula);
    cParser own;
    own.TokenFromString(formula);
    EXPECT_EQ(Describe(*result.record), Describe(ParsedExpressionOf(own))) << formula;
    if (result.parsed) {
      EXPECT_EQ(result.record, &ParsedExpressionOf(parser)) << formula;
      EXPECT_EQ(Messages(parser), Messages(own)) << formula;
    } else {
      EXPECT_FALSE(HasParseMessages(own)) << formula;
    }
    return !result.parsed;
  }

  cParser parser;
  FormulaShapes shapes;
};

TEST_F(FormulaShapesTest, ColumnsOfAGridShareOneParsePerColumn) {
  int formulas = 0;
  for (int r = 1; r <= 40; ++r) {
    const std::string row = std::to_string(r);
    const std::string up = std::to_string(r > 1 ? r - 1 : 1);
    const std::string low = std::to_string(r > 9 ? r - 9 : 1);
    for (const std::string& formula :
         {"=A" + row + "*B" + row, "=D" + up + "+C" + row, "=Sum(A" + low + ":B" + row + ")",
          "=If(Mod(A" + row + ",2)=0,F" + row + "-D" + row + ",Max(C" + low + ":C" + row + "))",
          "=Avg(C" + low + ":E" + row + ")", "= sum( a1:b" + row + " ) * 2.5"}) {
      const bool reused = Check(formula);
      EXPECT_EQ(reused, r > 1) << formula;
      ++formulas;
    }
  }
  EXPECT_EQ(shapes.ShapeCount(), 6u);
  EXPECT_EQ(shapes.ReuseCount(), static_cast<std::size_t>(formulas - 6));
}

TEST_F(FormulaShapesTest, RowsAndColumnsDecideTheFurthestCellAsTheParserDoes) {
  Check("=B5+A5");
  EXPECT_TRUE(Check("=B7+A7"));
  EXPECT_TRUE(Check("=B7+A8"));
  EXPECT_TRUE(Check("=B0+A0"));    // row 0 is a cell, but no furthest cell
  EXPECT_TRUE(Check("=B007+A7"));  // leading zeros stay in the operand
  Check("=Sum(A1:A9)+Sum(AA10:B99)+c1");
  EXPECT_TRUE(Check("=Sum(A100:A9)+Sum(AA1:B9999)+c65536"));
}

TEST_F(FormulaShapesTest, WhatTheParserDecidesOtherwiseIsParsed) {
  Check("=A65536+B1");
  EXPECT_FALSE(Check("=A65537+B1"));       // no cell: an unknown name
  EXPECT_FALSE(Check("=A0000000001+B1"));  // ten digits
  EXPECT_TRUE(Check("=A000000001+B1"));
  // Digits inside words, strings, numbers and map references are no rows.
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(Check("=Q1SALES+A1"));
    EXPECT_FALSE(Check("=If(A1=\"Q1\",1,2)"));
    EXPECT_FALSE(Check("=1E5+A1"));
    EXPECT_FALSE(Check("=CM.Sales1+A1"));
    EXPECT_FALSE(Check("=A1:B2:C3"));
    EXPECT_FALSE(Check("=Sum(A1"));
    EXPECT_FALSE(Check("Total {A1}"));
  }
  EXPECT_TRUE(Check("=A5+B2"));
  // A shape whose first formula did not qualify is parsed every time.
  EXPECT_FALSE(Check("=C65537+B1"));
  EXPECT_FALSE(Check("=C5+B2"));
}

TEST_F(FormulaShapesTest, IgnoreSpansAndKeptSpacesAlwaysParse) {
  Check("=A1+B1");
  EXPECT_TRUE(Check("=A2+B2"));
  xml::Document document = xml::Document::Parse("<FindItems><Itm Start='1' End='2'/></FindItems>");
  parser.ItemsToIgnore(document.DocumentElement());
  EXPECT_FALSE(Check("=A3+B3"));
  parser.ItemsToIgnore(document.CreateElement("FindItems"));
  EXPECT_TRUE(Check("=A4+B4"));
  parser.IgnoreSpaces(false);
  EXPECT_TRUE(shapes.Parse(parser, "=A5+B5").parsed);
}

TEST_F(FormulaShapesTest, RandomFormulasMatchTheParserWhateverTheirRows) {
  const std::vector<std::string> pieces = {
      "A1",    "b22",  "AA100", "ZZZ5",   "A0",       "A65536", "A1:B2",    "c3:C30", "Sum(",
      "If(",   "Max(", "Mod(",  "Avg(",   "Count(",   "Ref(",   "Note(",    "+",      "-",
      "*",     "/",    "^",     "&",      "=",        "<",      ">",        "<>",     ",",
      "(",     ")",    "2",     "1.5",    "1E5",      "007",    "\"Q1\"",   "'x2'",   "Q1SALES",
      "TRUE",  "x",    "%H1%",  "CM.S1",  "DB.T1.F2", " ",      "A1:B2:C3", "A 1",    "Len(",
      "Left(", "{",    "}",     "Page()", ":"};
  std::mt19937 random(20261207);
  auto pick = [&](std::size_t count) {
    return static_cast<std::size_t>(random() % static_cast<std::uint32_t>(count));
  };
  for (int formula = 0; formula < 400; ++formula) {
    std::string text = "=";
    const std::size_t length = 1 + pick(10);
    for (std::size_t i = 0; i < length; ++i) text += pieces[pick(pieces.size())];
    // The same text with other rows: every digit run replaced by 1 to 6 digits.
    for (int variant = 0; variant < 4; ++variant) {
      std::string changed;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
          changed.push_back(text[i]);
          continue;
        }
        while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
        const std::size_t digits = variant == 0 ? 0 : 1 + pick(6);
        if (digits == 0) {
          changed.push_back('7');
          continue;
        }
        for (std::size_t d = 0; d < digits; ++d)
          changed.push_back(static_cast<char>('0' + pick(10)));
      }
      Check(changed);
    }
  }
  EXPECT_GT(shapes.ReuseCount(), 50u);
}

}  // namespace
}  // namespace orvo
