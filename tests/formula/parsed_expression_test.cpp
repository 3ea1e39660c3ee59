// The typed contract between parsing and evaluation: the vocabulary tables
// and the parsed-expression record, as built by the parser and as read back
// from its XML.
#include <gtest/gtest.h>

#include <set>

#include "formula/parsed_expression.h"
#include "formula/vocabulary.h"
#include "orvo/parser.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

using testing::FailureOf;

TEST(Vocabulary, FunctionAndOperandTablesConvertBothWays) {
  std::set<std::string_view> names;
  for (Function function : AllFunctions()) {
    const std::string_view name = FunctionName(function);
    names.insert(name);
    EXPECT_EQ(FunctionFromName(name), function) << name;
    EXPECT_EQ(FunctionFromName(FunctionKey(function)), function) << name;
    // The XML list carries the same table.
    EXPECT_EQ(FunctionList()
                  .SelectSingleNode("Itm[@Key='" + std::string(FunctionKey(function)) + "']")
                  .AttributeOr("Display", ""),
              name);
  }
  EXPECT_EQ(names.size(), kFunctionCount);
  EXPECT_EQ(FunctionFromName(" accountvalue "), Function::kAccountValue);
  EXPECT_EQ(FunctionFromName("iREPEAT"), Function::kIRepeat);
  for (std::string_view not_a_function : {"", "Summ", "Su", "PreviousRecords", "Sum(", "AMOUNT"}) {
    EXPECT_FALSE(FunctionFromName(not_a_function)) << not_a_function;
  }

  const std::vector<std::string_view> codes = {"TCR",   "TCRn", "TCM",   "TCMLY", "TDB",
                                               "TDBLY", "TDR",  "TDRLY", "TNr",   "TBm",
                                               "TBL",   "Hdg",  "UnN",   "UnB"};
  ASSERT_EQ(codes.size(), kOperandTypeCount);
  int last_year = 0;
  for (std::string_view code : codes) {
    const std::optional<OperandType> type = OperandTypeFromCode(code);
    ASSERT_TRUE(type) << code;
    EXPECT_EQ(OperandTypeCode(*type), code);
    last_year += IsLastYear(*type) ? 1 : 0;
  }
  EXPECT_EQ(last_year, 3);
  // Codes are exact: the XML is case-sensitive.
  EXPECT_FALSE(OperandTypeFromCode("tcr"));
  EXPECT_FALSE(OperandTypeFromCode("TCRN"));
  EXPECT_FALSE(OperandTypeFromCode(""));
}

TEST(ParsedExpression, TypedRecordOfTheParserMatchesItsXml) {
  cParser parser;
  parser.Converting(true);
  parser.TokenFromString("=sum(If(A1>0,B1:B3,2))+LY(CM.Sales.DR+DB.Orders.Amount)+%Head%+\"x\"");
  const ParsedExpression& record = ParsedExpressionOf(parser);
  ASSERT_FALSE(record.IsEmpty());
  EXPECT_EQ(*record.expression, "=sum(If(I~_T~1>0,I~_T~2,2))+LY(I~_T~3+I~_T~4)+I~_T~5+\"x\"");
  EXPECT_EQ(record.furthest_cell, "B3");
  ASSERT_EQ(record.operands.size(), 5u);
  // While converting, chart-map references stay TCM even inside LY.
  const std::vector<OperandType> types = {OperandType::kCell, OperandType::kRange,
                                          OperandType::kChartMap, OperandType::kDatabaseMapLastYear,
                                          OperandType::kHeading};
  for (std::size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(record.operands[i].type, types[i]) << i;
    EXPECT_EQ(record.operands[i].placeholder, static_cast<Int16>(i + 1));
  }
  EXPECT_EQ(record.operands[1].text, "B1:B3");
  // Calls in evaluation order: the nested If before sum and LY.
  ASSERT_EQ(record.calls.size(), 3u);
  EXPECT_EQ(record.calls[0].function, Function::kIf);
  EXPECT_EQ(record.calls[0].depth, 1);
  EXPECT_EQ(record.calls[1].function, Function::kSum);
  EXPECT_EQ(record.calls[1].name, "sum");
  EXPECT_EQ(record.calls[1].position, 1);
  EXPECT_EQ(record.calls[2].function, Function::kLY);
  EXPECT_TRUE(record.has_string_literals);

  xml::Document document = xml::Document::Create();
  EXPECT_EQ(WriteParsedExpression(record, document).Xml(), parser.ParsedValue().Xml());
}

TEST(ParsedExpression, ReadingAStoredRecordGivesItBackUnchanged) {
  cParser parser;
  xml::Document document = xml::Document::Create();
  for (std::string_view text :
       {"=A1+B1", "=Sum(If(A1>0,1,2))", "Total {A1} of {Sum(B1:B2)} on {Page}", "=TRUE&\"a,b\"",
        "{Total}", "not a formula", "", "=Sum(A1", "=Note(X)+iNote(Y)+AMOUNT+NextRecord(AMOUNT)"}) {
    parser.TokenFromString(text);
    const xml::Node stored = parser.ParsedValue();
    const ParsedExpression read = ReadParsedExpression(stored);
    EXPECT_EQ(WriteParsedExpression(read, document).Xml(), stored.Xml()) << text;
    const ParsedExpression& built = ParsedExpressionOf(parser);
    ASSERT_EQ(read.operands.size(), built.operands.size()) << text;
    for (std::size_t i = 0; i < read.operands.size(); ++i) {
      EXPECT_EQ(read.operands[i].type, built.operands[i].type);
      EXPECT_EQ(read.operands[i].placeholder, built.operands[i].placeholder);
    }
  }

  // A record stored with indentation, as a host's file may hold it.
  const ParsedExpression indented = ReadParsedExpression(
      xml::Document::Parse("<PEx Exp='x I~_T~1+1' Max=''>\n  <EIs>\n    <EI Typ='UnN' Val='x'/>\n"
                           "  </EIs>\n  <EFs>\n    <EF Typ='SUM' Pos='3'/>\n  </EFs>\n"
                           "  <EMBs EAtt=''>\n    <EMB Str='1' End='9'/>\n  </EMBs>\n</PEx>",
                           true)
          .DocumentElement());
  ASSERT_EQ(indented.operands.size(), 1u);
  EXPECT_EQ(indented.operands[0].type, OperandType::kUnresolvedName);
  ASSERT_EQ(indented.calls.size(), 1u);
  EXPECT_EQ(indented.calls[0].function, Function::kSum);
  EXPECT_EQ(indented.calls[0].name, "SUM");
  ASSERT_EQ(indented.embedded.size(), 1u);
  EXPECT_EQ(indented.embedded[0].end, 9);
  EXPECT_TRUE(indented.has_string_literals);
  EXPECT_TRUE(ReadParsedExpression(document.CreateElement("PEx")).IsEmpty());
}

TEST(ParsedExpression, ReaderRefusesWhatIsNoRecord) {
  EXPECT_EQ(FailureOf([] { ReadParsedExpression(xml::Node()); }).Number(), kErrObjectRequired);
  auto failure_for = [](std::string_view text) {
    const xml::Document document = xml::Document::Parse(text);
    return FailureOf([&] { ReadParsedExpression(document.DocumentElement()); });
  };
  const Error not_pex = failure_for("<Itm/>");
  EXPECT_EQ(not_pex.Number(), kErrRaised);
  EXPECT_EQ(not_pex.Source(), "ReadParsedExpression");
  EXPECT_EQ(
      failure_for("<PEx Exp='' Max=''><EIs><EI Typ='XYZ' Val='A1'/></EIs></PEx>").Description(),
      "Unknown operand type 'XYZ' in EI");
  EXPECT_EQ(
      failure_for("<PEx Exp='' Max=''><EFs><EF Typ='Summ' Pos='1'/></EFs></PEx>").Description(),
      "Unknown function 'Summ' in EF");
  for (std::string_view position : {"", "x", "1.5", "40000", " 3"}) {
    const Error failure = failure_for("<PEx Exp='' Max=''><EMBs><EMB Str='" +
                                      std::string(position) + "' End='2'/></EMBs></PEx>");
    EXPECT_EQ(failure.Description(), "Parsed expression entry EMB has Str '" +
                                         std::string(position) + "', which is not a position");
  }
}

}  // namespace
}  // namespace orvo
