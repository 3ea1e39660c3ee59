// The parser with nothing defined outside the formula (no Init on the
// thread): record shapes, checks and messages, robustness.
#include <gtest/gtest.h>

#include "formula/parsed_expression.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo {
namespace {

struct Parsed {
  std::string record;
  std::vector<std::string> messages;
  std::string position;
};

Parsed Parse(std::string_view text, bool converting = false) {
  cParser parser;
  parser.Converting(converting);
  parser.TokenFromString(text);
  Parsed parsed{parser.ParsedValue().Xml(), {}, parser.StrPos()};
  for (const xml::Node& error : parser.ErrorCollection().ChildNodes()) {
    parsed.messages.push_back(error.AttributeOr("Desc", "?"));
  }
  return parsed;
}

using Messages = std::vector<std::string>;

TEST(ParsedRecord, ShapesOfFormulasAndMixedTexts) {
  EXPECT_EQ(Parse("=A1+B1").record,
            "<PEx Exp=\"=I~_T~1+I~_T~2\" Max=\"B1\"><EIs><EI Typ=\"TCR\" Val=\"A1\"/>"
            "<EI Typ=\"TCR\" Val=\"B1\"/></EIs><EFs/><EMBs/></PEx>");
  EXPECT_EQ(Parse("=Sum(A1:A3)").record,
            "<PEx Exp=\"=Sum(I~_T~1)\" Max=\"A3\"><EIs><EI Typ=\"TCRn\" Val=\"A1:A3\"/></EIs>"
            "<EFs><EF Typ=\"Sum\" Pos=\"1\"/></EFs><EMBs/></PEx>");
  // Deeper calls first; equal depths keep their order.
  EXPECT_EQ(Parse("=Sum(If(A1>0,1,2))+Max(Min(B1,2),Avg(C1))").record,
            "<PEx Exp=\"=Sum(If(I~_T~1&gt;0,1,2))+Max(Min(I~_T~2,2),Avg(I~_T~3))\" Max=\"C1\">"
            "<EIs><EI Typ=\"TCR\" Val=\"A1\"/><EI Typ=\"TCR\" Val=\"B1\"/><EI Typ=\"TCR\" "
            "Val=\"C1\"/></EIs><EFs><EF Typ=\"If\" Pos=\"5\"/><EF Typ=\"Min\" Pos=\"27\"/>"
            "<EF Typ=\"Avg\" Pos=\"41\"/><EF Typ=\"Sum\" Pos=\"1\"/><EF Typ=\"Max\" Pos=\"23\"/>"
            "</EFs><EMBs/></PEx>");
  // String literals stay in Exp and mark EMBs.
  EXPECT_EQ(Parse("=If(A1=\"x\",\"a,b\",2)").record,
            "<PEx Exp=\"=If(I~_T~1=&quot;x&quot;,&quot;a,b&quot;,2)\" Max=\"A1\"><EIs>"
            "<EI Typ=\"TCR\" Val=\"A1\"/></EIs><EFs><EF Typ=\"If\" Pos=\"1\"/></EFs>"
            "<EMBs EAtt=\"\"/></PEx>");
  EXPECT_EQ(Parse("Total {A1} of {Sum(B1:B2)}").record,
            "<PEx Exp=\"Total I~_T~1 of Sum(I~_T~2)\" Max=\"B2\"><EIs><EI Typ=\"TCR\" "
            "Val=\"A1\"/><EI Typ=\"TCRn\" Val=\"B1:B2\"/></EIs><EFs><EF Typ=\"Sum\" "
            "Pos=\"17\"/></EFs><EMBs><EMB Str=\"17\" End=\"27\"/></EMBs></PEx>");
  for (std::string text : {"plain text", "", "   ", "a = b"}) {
    Parsed parsed = Parse(text);
    EXPECT_EQ(parsed.record, "<PEx/>") << text;
    EXPECT_TRUE(parsed.messages.empty()) << text;
  }
  EXPECT_EQ(Parse("=A1*2").record,
            "<PEx Exp=\"=I~_T~1*2\" Max=\"A1\"><EIs><EI Typ=\"TCR\" Val=\"A1\"/></EIs><EFs/>"
            "<EMBs/></PEx>");
  EXPECT_EQ(Parse("=TRUE+%Head%").record,
            "<PEx Exp=\"=I~_T~1+I~_T~2\" Max=\"\"><EIs><EI Typ=\"TBL\" Val=\"TRUE\"/>"
            "<EI Typ=\"Hdg\" Val=\"%Head%\"/></EIs><EFs/><EMBs/></PEx>");
}

TEST(ParsedRecord, PlaceholdersPastNineAndRepeatedOperands) {
  std::string formula = "=A1";
  for (int row = 2; row <= 12; ++row) formula += "+A" + std::to_string(row);
  formula += "+A1";
  cParser parser;
  parser.TokenFromString(formula);
  xml::Node record = parser.ParsedValue();
  std::string expected = "=I~_T~1";
  for (int k = 2; k <= 13; ++k) expected += "+I~_T~" + std::to_string(k);
  EXPECT_EQ(record.AttributeOr("Exp", ""), expected);
  EXPECT_EQ(record.AttributeOr("Max", ""), "A12");
  xml::NodeList operands = record.SelectNodes("EIs/EI");
  ASSERT_EQ(operands.Length(), 13u);
  EXPECT_EQ(operands.Item(9).AttributeOr("Val", ""), "A10");
  EXPECT_EQ(operands.Item(12).AttributeOr("Val", ""), "A1");
}

TEST(ParsedRecord, FurthestCellIsHighestRowThenGreatestColumn) {
  auto max_of = [](std::string_view text) {
    cParser parser;
    parser.TokenFromString(text);
    return parser.ParsedValue().AttributeOr("Max", "?");
  };
  EXPECT_EQ(max_of("=C5+B7+A7"), "B7");
  EXPECT_EQ(max_of("=AA1+Z1"), "AA1");
  EXPECT_EQ(max_of("=Sum(B2:A9)"), "A9");
  EXPECT_EQ(max_of("=1+2"), "");
  // In a mixed text the last embedded formula decides.
  EXPECT_EQ(max_of("{C9} and {A2}"), "A2");
}

TEST(CellReferences, SingleCellsRangesAndNonCells) {
  cParser parser;
  bool is_range = true;
  EXPECT_TRUE(parser.IsCellRef(" b12 ", is_range));
  EXPECT_FALSE(is_range);
  EXPECT_TRUE(parser.IsCellRef("A1:C3", is_range));
  EXPECT_TRUE(is_range);
  for (std::string text : {"12", "1.5", "A 1", "Sales.A1", "A", "1A", "A65537", "IX1", "A-1"}) {
    EXPECT_FALSE(parser.IsCellRef(text, is_range)) << text;
  }
  EXPECT_TRUE(parser.IsCellRef("IW65536", is_range));  // column 257, the last row
  // A row is any number text: leading zeros and exponents count.
  EXPECT_TRUE(parser.IsCellRef("A0000000001", is_range));
  EXPECT_TRUE(parser.IsCellRef("b1E2", is_range));
  EXPECT_FALSE(parser.IsCellRef("A1E5", is_range));
  EXPECT_TRUE(parser.IsCellRef("A1:B2:C3", is_range));
  EXPECT_EQ(parser.ErrorCollection().Xml(),
            "<Errs><Err Desc=\"Invalid range definition\"/></Errs>");
}

TEST(Checks, BracketsBracesAndCallStructure) {
  Parsed unbalanced = Parse("=Sum(A1");
  EXPECT_EQ(unbalanced.messages, (Messages{"Brackets don't match", "Incomplete note usage - )"}));
  EXPECT_EQ(unbalanced.position, "0");
  EXPECT_TRUE(Parse("=\"(\"&A1").messages.empty());
  // The If check itself counts every bracket, quoted or not.
  EXPECT_EQ(Parse("=If(A1=\"(\",1,2)").messages, (Messages{"If function not finished"}));
  EXPECT_TRUE(Parse("=Len('(')").messages.empty());
  EXPECT_EQ(Parse("=Sum+1").messages, (Messages{"Incomplete note usage - missing ("}));

  EXPECT_EQ(Parse("a {b} c}").messages,
            (Messages{"Extra brace at end", "Expression cannot be evaluated: b"}));
  EXPECT_EQ(Parse("a {b").messages, (Messages{"Missing close brace"}));
  EXPECT_EQ(Parse("a } {b}").messages,
            (Messages{"Close brace before open brace", "Expression cannot be evaluated: b"}));
  EXPECT_EQ(Parse("x {A1 {B1} y").messages[0], "Braces don't match");
  EXPECT_EQ(Parse("{A1}} {B1}").messages[0], "Extra brace");

  EXPECT_TRUE(Parse("=If(A1>0,1)").messages.empty());
  Parsed too_many = Parse("=If(A1>0,1,2,3)");
  ASSERT_FALSE(too_many.messages.empty());
  EXPECT_EQ(too_many.messages[0], "If function not structured correctly");
  EXPECT_EQ(Parse("=If").messages, (Messages{"If function not complete"}));
  EXPECT_EQ(Parse("=If(A1,(1,2)").messages,
            (Messages{"Brackets don't match", "If function not finished"}));
  EXPECT_EQ(Parse("=RecordValue(A1,2,3)").messages[0],
            "RecordValue function not structured correctly");

  // Brackets inside strings are not counted; single quotes delimit strings
  // only where no double quote remains ahead.
  EXPECT_TRUE(Parse("=Sum(A1)&\"(\"&'('").messages.empty());
  EXPECT_TRUE(Parse("=\"x\"&Len('(')").messages.empty());
  EXPECT_EQ(Parse("='('&\"x\"&Sum(A1)").messages, (Messages{"Brackets don't match"}));

  EXPECT_EQ(Parse("=Page").messages, (Messages{"Page function must be used on its own"}));
  EXPECT_TRUE(Parse("Page {Page}").messages.empty());
  EXPECT_EQ(Parse("{PageCount} x").messages.size(), 0u);
  EXPECT_EQ(Parse("=1<*2").messages, (Messages{"Invalid formula"}));
}

TEST(Checks, UnknownNamesAndNotes) {
  EXPECT_EQ(Parse("=Foo+1").messages, (Messages{"Expression cannot be evaluated: Foo",
                                                "Expression cannot be evaluated: Foo"}));
  EXPECT_EQ(Parse("=Foo+1", true).messages, (Messages{"Expression cannot be evaluated: Foo"}));
  // A lone name in braces is an unresolved name.
  Parsed lone = Parse("{Total}", true);
  EXPECT_EQ(lone.record,
            "<PEx Exp=\"I~_T~1\" Max=\"\"><EIs><EI Typ=\"UnN\" Val=\"Total\"/></EIs><EFs/>"
            "<EMBs/></PEx>");
  EXPECT_TRUE(lone.messages.empty());
  // Quoted texts, YES/NO and names inside CountRows are passed over.
  EXPECT_TRUE(Parse("=If(A1,'x',\"y\")").messages.empty());
  EXPECT_TRUE(Parse("=If(A1,YES,no)").messages.empty());
  EXPECT_TRUE(Parse("=CountRows(Whatever)").messages.empty());
  // Inside Note a cell-like name is not a cell.
  Parsed note = Parse("=Note(B2)");
  EXPECT_EQ(note.messages[0], "Bookmark does not exists");
  EXPECT_EQ(note.record.find("TCR"), std::string::npos);
}

TEST(MapReferences, EventsOperandsAndMessages) {
  cParser parser;
  std::vector<std::string> found;
  parser.CellItemFound.Connect(
      [&](const std::string& type, std::string& item) { found.push_back(type + ":" + item); });
  parser.TokenFromString("=Count(CM.Sales)+CM.Sales.DR+LY(CM.Cost)");
  EXPECT_EQ(found, (std::vector<std::string>{"CM:Sales", "CM:Sales.DR", "CM:Cost"}));
  xml::NodeList operands = parser.ParsedValue().SelectNodes("EIs/EI/@Typ");
  ASSERT_EQ(operands.Length(), 2u);
  EXPECT_EQ(operands.Item(0).Text(), "TCM");
  EXPECT_EQ(operands.Item(1).Text(), "TCMLY");
  EXPECT_EQ(parser.ErrorCollection().ChildNodes().Length(), 3u);  // no folder is defined

  found.clear();
  parser.Converting(true);
  parser.TokenFromString("=LY(CM.Sales)+DB.Orders.Amount+LY(DB.Orders.Amount)");
  EXPECT_EQ(
      parser.ParsedValue().SelectNodes("EIs/EI[@Typ='TCM' or @Typ='TDB' or @Typ='TDBLY']").Length(),
      3u);
  EXPECT_EQ(parser.ErrorCollection().ChildNodes().Length(), 0u);
  EXPECT_EQ(found.size(), 3u);

  parser.Converting(false);
  found.clear();
  parser.TokenFromString("=DB.Orders");
  EXPECT_EQ(parser.ErrorCollection().Xml(),
            "<Errs><Err Desc=\"Database map reference is incomplete\"/></Errs>");
  EXPECT_TRUE(found.empty());
  parser.TokenFromString("=DB.Orders.Amount+RecordCount(DB.Orders)");
  EXPECT_EQ(parser.ErrorCollection().Xml(),
            "<Errs><Err Desc=\"Database map table does not exist\"/>"
            "<Err Desc=\"Table 'Orders' doesn't exist\"/></Errs>");
  // An empty field part fails the parse: one summary message, empty record.
  parser.TokenFromString("=DB.Orders.+1");
  EXPECT_EQ(parser.ParsedValue().Xml(), "<PEx/>");
  EXPECT_EQ(parser.ErrorCollection().Xml(),
            "<Errs><Err Desc=\"Error evaluating : DB.Orders.\"/></Errs>");
}

TEST(Robustness, LongDeepAndJunkInputsGiveMessagesNotCrashes) {
  std::string many = "=Sum(";
  for (int i = 1; i <= 500; ++i) many += (i > 1 ? "," : "") + std::string("B") + std::to_string(i);
  many += ")";
  cParser parser;
  parser.TokenFromString(many);
  EXPECT_EQ(parser.ParsedValue().SelectNodes("EIs/EI").Length(), 500u);
  EXPECT_EQ(parser.ParsedValue().AttributeOr("Max", ""), "B500");

  // A long formula (about 30,000 characters): every operand replaced in
  // place, as in a short one.
  std::string long_formula = "=A1";
  std::string expected_expression = "=I~_T~1";
  std::string range;
  for (int n = 2; long_formula.size() < 30000; ++n) {
    range = "b" + std::to_string(n) + ":C" + std::to_string(n);
    long_formula += "+Sum(" + range + ")*2";
    expected_expression += "+Sum(I~_T~" + std::to_string(n) + ")*2";
  }
  parser.TokenFromString(long_formula);
  EXPECT_FALSE(parser.ErrorCollection().HasChildNodes());
  EXPECT_EQ(parser.ParsedValue().AttributeOr("Exp", ""), expected_expression);
  EXPECT_EQ(parser.ParsedValue().SelectSingleNode("EIs/EI[last()]").AttributeOr("Val", ""), range);

  std::string deep = "=" + std::string(2000, '(') + "A1" + std::string(2000, ')');
  parser.TokenFromString(deep);
  EXPECT_EQ(parser.ParsedValue().SelectNodes("EIs/EI").Length(), 1u);

  // Positions beyond 16 bits end the parse with a message.
  std::string huge = "=A1+" + std::string(40000, 'x') + "+B1";
  parser.TokenFromString(huge);
  EXPECT_EQ(parser.ParsedValue().Xml(), "<PEx/>");
  ASSERT_EQ(parser.ErrorCollection().ChildNodes().Length(), 1u);
  EXPECT_EQ(parser.ErrorCollection().FirstChild().AttributeOr("Desc", "").rfind("Error", 0), 0u);

  for (std::string junk : {std::string("=\"unterminated+A1"), std::string("={{{}}}"),
                           std::string("=\x01\x02\xff\xfe(", 6), std::string("{=A1}{"),
                           std::string("=''''+'"), std::string("=A1:"), std::string("=,,,")}) {
    parser.TokenFromString(junk);
    parser.ParsedValue();
    parser.ErrorCollection();
  }
}

TEST(ParsedRecord, EachParseReplacesTheRecordAndTheMessagesOfTheLastOne) {
  cParser parser;
  parser.TokenFromString("=Sum(A1:A3");
  EXPECT_TRUE(HasParseMessages(parser));
  const xml::Node failed = parser.ParsedValue();
  parser.TokenFromString("=B2*2");
  EXPECT_FALSE(HasParseMessages(parser));
  EXPECT_EQ(parser.ErrorCollection().Xml(), "<Errs/>");
  // A record handed out earlier is a copy the next parse leaves alone.
  EXPECT_EQ(failed.AttributeOr("Exp", ""), "=Sum(I~_T~1");
  const xml::Node record = parser.ParsedValue();
  EXPECT_EQ(record.AttributeOr("Exp", ""), "=I~_T~1*2");
  EXPECT_EQ(record.Xml(),
            WriteParsedExpression(ParsedExpressionOf(parser), xml::Document::Create()).Xml());
  parser.TokenFromString("plain text");
  EXPECT_EQ(parser.ParsedValue().Xml(), "<PEx/>");
  EXPECT_EQ(record.AttributeOr("Exp", ""), "=I~_T~1*2");
}

}  // namespace
}  // namespace orvo
