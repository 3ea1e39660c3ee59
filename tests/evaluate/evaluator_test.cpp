#include "evaluate/evaluate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "evaluate/function_order.h"
#include "evaluation_fixture.h"
#include "frame/launch_properties.h"
#include "orvo/error.h"
#include "support/fake_components.h"

namespace orvo::testing {
namespace {

using Evaluator = EvaluatorTest;

TEST_F(Evaluator, PropertiesAndFormatExtents) {
  evaluator.EvaluateAllCells(true);
  EXPECT_FALSE(evaluator.EvaluateAllCells());

  evaluator.CurrentFormatName("IS");
  evaluator.CurrentFormatMax(5, 20);
  evaluator.CurrentFormatMax(9, 40);  // the first extent stays
  EXPECT_EQ(evaluator.CurrentMaxColumn(), 5);
  EXPECT_EQ(evaluator.CurrentMaxRow(), 20);
  evaluator.CurrentFormatName("BS");
  evaluator.CurrentFormatMax(3, 7);
  EXPECT_EQ(evaluator.CurrentMaxColumn(), 3);
  evaluator.CurrentFormatName("IS");  // the stored extent comes back with the name
  EXPECT_EQ(evaluator.CurrentMaxColumn(), 5);
  EXPECT_EQ(evaluator.CurrentMaxRow(), 20);
  EXPECT_EQ(evaluator.MaxCols().Xml(),
            "<MaxCols><MaxCol Fmt=\"IS\" Col=\"5\" Row=\"20\"/>"
            "<MaxCol Fmt=\"BS\" Col=\"3\" Row=\"7\"/></MaxCols>");

  evaluator.ResetMaxCols();
  evaluator.CurrentFormatMax(9, 40);
  EXPECT_EQ(evaluator.CurrentMaxColumn(), 9);
  EXPECT_EQ(evaluator.CurrentMaxRow(), 40);
}

TEST(EvaluatorInit, KeepsTheFirstLaunchProperties) {
  OnNewThread([] {
    cEvaluate evaluator;
    evaluator.Init(xml::Document::Parse("<LaunchProperties Workspace='one'/>").DocumentElement());
    evaluator.Init(xml::Document::Parse("<LaunchProperties Workspace='two'/>").DocumentElement());
    EXPECT_EQ(GetLaunchProperties().AttributeOr("Workspace", ""), "one");
  });
}

TEST_F(Evaluator, PreparesTheItemAndWritesValueAndDisplayText) {
  evaluator.CurrentFormatName("IS");
  xml::Node item = ItemFor(document, "=1+1", "C4");
  item.SetAttribute("Dsp", "  x ");
  xml::Node evaluated;
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), -1);
  EXPECT_TRUE(evaluated == item);
  EXPECT_EQ(item.AttributeOr("Value", ""), "2");
  EXPECT_EQ(item.AttributeOr("PTxt", ""), "  2 ");  // the blanks of Dsp put back
  std::vector<std::string> names;
  for (std::size_t i = 0; i < item.Attributes().Length(); ++i) {
    names.push_back(item.Attributes().Item(i).Name());
  }
  EXPECT_THAT(names, ::testing::ElementsAre("Key", "Row", "Col", "Value", "Str", "MgKey", "ASz",
                                            "Dsp", "Evaluated", "OrigKey", "OrigRow", "DCFml",
                                            "OrigFmt", "OrigFml", "RptKey", "RptIndex", "PTxt"));
  EXPECT_EQ(item.AttributeOr("Evaluated", ""), "-1");
  EXPECT_EQ(item.AttributeOr("OrigFmt", ""), "IS");
  EXPECT_EQ(item.AttributeOr("OrigFml", ""), "=1+1");
  EXPECT_EQ(item.LastChild().Xml(), "<Drill On=\"0\" Key=\"\"/>");

  // A text that is no formula keeps its text as its value.
  EXPECT_EQ(Value("Net sales"), "Net sales");
}

class RaisingResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest&, EvaluationScope&) override {
    RaiseError("Ledger", "The ledger is closed");
  }
};

TEST_F(Evaluator, FailuresBecomeTheErrorValueOfTheItem) {
  evaluator.SetOperandResolver(OperandKind::kCell, std::make_shared<RaisingResolver>());
  xml::Node item = ItemFor(document, "=A1+1");
  xml::Node evaluated;
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), -1);
  EXPECT_EQ(item.AttributeOr("Value", ""), "#ERROR");
  EXPECT_EQ(item.AttributeOr("PTxt", ""), "#ERROR");
  EXPECT_EQ(item.AttributeOr("Evaluated", ""), "-1");

  // An If whose parts cannot be separated; a record naming no function.
  EXPECT_EQ(RecordValue("<PEx Exp='=If(1,2)' Max=''><EIs/><EFs><EF Typ='If' Pos='1'/></EFs>"
                        "<EMBs/></PEx>"),
            "#ERROR");
  EXPECT_EQ(RecordValue("<PEx Exp='=Foo(1)' Max=''><EIs/><EFs><EF Typ='Foo' Pos='1'/></EFs>"
                        "<EMBs/></PEx>"),
            "#ERROR");
  // A call whose position does not hold its name.
  EXPECT_EQ(RecordValue("<PEx Exp='=Sum(1)' Max=''><EIs/><EFs><EF Typ='Sum' Pos='3'/></EFs>"
                        "<EMBs/></PEx>"),
            "#ERROR");

  xml::Node nothing;
  EXPECT_THROW(evaluator.Evaluate(xml::Node(), {}, 0, "", nothing), Error);
}

TEST_F(Evaluator, DefersWhileAValueIsNotFinalAndRecordsTheFurthestCell) {
  Cells({{"B3", "1"}, {"A1:C7", "2"}, {"D7", "<wait>"}});
  xml::Node item = ItemFor(document, "=B3+Sum(A1:C7)+D7");
  xml::Node record = item.FirstChild();
  record.SetAttribute("Max", "");
  xml::Node evaluated;
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), 0);
  EXPECT_EQ(item.AttributeOr("Evaluated", ""), "0");
  EXPECT_EQ(record.AttributeOr("Max", ""), "D7");
  EXPECT_EQ(item.AttributeOr("Value", ""), "=B3+Sum(A1:C7)+D7");  // untouched

  // The next pass has the value.
  Cells({{"B3", "1"}, {"A1:C7", "2"}, {"D7", "4"}});
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), -1);
  EXPECT_EQ(item.AttributeOr("Value", ""), "7");
  EXPECT_EQ(item.AttributeOr("Evaluated", ""), "-1");
}

// A resolver that defers the item the way a cell reference does: by marking
// the item itself.
class MarkingResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest&, EvaluationScope& scope) override {
    xml::Node(scope.Item()).SetAttribute("Evaluated", "0");
    return Resolution::Value("1");
  }
};

TEST_F(Evaluator, AResolverMayDeferByMarkingTheItem) {
  evaluator.SetOperandResolver(OperandKind::kCell, std::make_shared<MarkingResolver>());
  xml::Node item = ItemFor(document, "=A1+1");
  xml::Node evaluated;
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), 0);
  EXPECT_EQ(item.AttributeOr("Value", ""), "=A1+1");
}

class RecordingResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope&) override {
    requests.push_back({std::string(OperandTypeCode(request.type)), std::string(request.text),
                        request.enclosing ? std::string(FunctionName(*request.enclosing)) : "",
                        request.wants_cells});
    if (request.wants_cells) return Resolution::Cells({"1", "5", "3"});
    return Resolution::Value(request.type == OperandType::kChartMap ? "10" : "4");
  }
  struct Seen {
    std::string type, text, enclosing;
    bool wants_cells;
    bool operator==(const Seen&) const = default;
  };
  std::vector<Seen> requests;
};

TEST_F(Evaluator, EachOperandGoesToTheResolverOfItsKind) {
  auto recorder = std::make_shared<RecordingResolver>();
  for (OperandKind kind : {OperandKind::kCell, OperandKind::kRange, OperandKind::kChartMap}) {
    evaluator.SetOperandResolver(kind, recorder);
  }
  EXPECT_EQ(RecordValue("<PEx Exp='=Max(I~_T~1, I~_T~2)+I~_T~3' Max='B1'><EIs>"
                        "<EI Typ='TCRn' Val='A1:A3'/><EI Typ='TCR' Val='B1'/>"
                        "<EI Typ='TCM' Val='CM.Sales'/></EIs>"
                        "<EFs><EF Typ='Max' Pos='1'/></EFs><EMBs/></PEx>"),
            "15");
  using Seen = RecordingResolver::Seen;
  EXPECT_THAT(recorder->requests, ::testing::ElementsAre(Seen{"TCRn", "A1:A3", "Max", true},
                                                         Seen{"TCR", "B1", "Max", false},
                                                         Seen{"TCM", "CM.Sales", "", false}));

  // Cells inside Count are counted, not valued.
  recorder->requests.clear();
  EXPECT_EQ(Value("=Count(A1:B2)"), "4");
  EXPECT_TRUE(recorder->requests.empty());
}

TEST_F(Evaluator, ResolversItStartsWith) {
  // Cells and ranges with no placed-item index given: no such cell.
  EXPECT_EQ(Value("=A1+1"), "#REF");
  // Ledger data with no workspace on the thread: the data driver cannot be
  // reached, a failure of the evaluation.
  EXPECT_EQ(RecordValue("<PEx Exp='=I~_T~1' Max=''><EIs><EI Typ='TCM' Val='CM.Sales'/></EIs>"
                        "<EFs/><EMBs/></PEx>"),
            "#ERROR");
  EXPECT_EQ(Value("=TRUE"), "TRUE");
  EXPECT_EQ(RecordValue("<PEx Exp='=I~_T~1' Max=''><EIs><EI Typ='Hdg' Val='%Sales%'/></EIs>"
                        "<EFs/><EMBs/></PEx>"),
            "Sales");

  // Named ranges: the values the build recorded, followed as the list grows.
  xml::Node values = xml::Document::Parse("<NRgs><NR Name='PROFIT' Fmt='IS' Value='42'/></NRgs>")
                         .DocumentElement();
  PreviewSources sources;
  sources.named_ranges = values;
  evaluator.Sources(sources);
  const auto named = [&](const std::string& name, const std::string& after) {
    return RecordValue("<PEx Exp='=I~_T~1" + after + "' Max=''><EIs><EI Typ='TNr' Val='" + name +
                       "'/></EIs><EFs/><EMBs/></PEx>");
  };
  EXPECT_EQ(named("Profit", ""), "42");
  EXPECT_EQ(named("Loss", ""), "#REF");
  xml::Node loss = values.AppendChild(values.FirstChild().CloneNode(true));
  loss.SetAttribute("Name", "LOSS");
  loss.SetAttribute("Value", "-5");
  EXPECT_EQ(named("Loss", "*2"), "-10");
  values.RemoveChild(values.FirstChild());
  EXPECT_EQ(named("profit", ""), "#REF");
}

TEST_F(Evaluator, RepeatFunctionsReadThePositionInTheRepeat) {
  const xml::Node records = xml::Document::Parse(
                                "<Rpt><R CODE='100' AMOUNT='5'/><R CODE='200' AMOUNT='7'/>"
                                "<R CODE='300' AMOUNT='9'/></Rpt>")
                                .DocumentElement();
  const auto at = [&](const std::string& formula, std::int32_t position) {
    xml::Node item = ItemFor(document, formula);
    xml::Node evaluated;
    evaluator.Evaluate(item, position ? records : xml::Node(), position, "K", evaluated);
    return item.AttributeOr("Value", "");
  };
  EXPECT_EQ(at("=RepeatPosition", 2), "2");
  EXPECT_EQ(at("=RepeatPosition", 0), "");
  EXPECT_EQ(at("=IsFirstRecord", 1), "True");
  EXPECT_EQ(at("=IsFirstRecord", 0), "False");
  EXPECT_EQ(at("=IsLastRecord", 3), "True");
  EXPECT_EQ(at("=IsLastRecord", 2), "False");
  EXPECT_EQ(at("=PreviousRecord(AMOUNT)", 2), "5");
  EXPECT_EQ(at("=PreviousRecord(AMOUNT)", 1), "");
  EXPECT_EQ(at("=NextRecord(AMOUNT)", 3), "");
  EXPECT_EQ(at("=NextRecord(AMOUNT)", 0), "");

  Int16 count = 5;
  xml::Node list;
  evaluator.EvaluateRepeat(records, count, {}, list);
  EXPECT_EQ(count, 0);  // no records until repeats are expanded
  EXPECT_FALSE(list.HasChildNodes());
}

TEST_F(Evaluator, NotesAndReferencesWaitForTheirBookmarks) {
  const xml::Node definitions =
      xml::Document::Parse("<BMks><BMk Key='FIRST' Note='-1'/><BMk Key='PLAIN' Note='0'/></BMks>")
          .DocumentElement();
  const xml::Node included = xml::Document::Parse("<IncNotes/>").DocumentElement();
  auto bookmarks = std::make_shared<ColEvaluatedBookmarks>();
  PreviewSources sources;
  sources.bookmarks = bookmarks;
  sources.bookmark_definitions = definitions;
  sources.included_notes = included;
  evaluator.Sources(sources);
  const auto evaluate = [&](const std::string& formula, Int16 expected_status) {
    xml::Node item = ItemFor(document, formula);
    xml::Node evaluated;
    EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), expected_status) << formula;
    return item.AttributeOr("Value", "");
  };

  EXPECT_EQ(evaluate("=Note(Missing)", -1), "#REF");
  EXPECT_EQ(evaluate("=iNote(PLAIN)", -1), "#REF");  // not a note
  evaluate("=Note(FIRST)", 0);                       // not numbered yet
  EXPECT_EQ(evaluator.DeferredValues().Xml(), "<IVals><IVal Key=\"FIRST\" Val=\"\"/></IVals>");
  evaluate("=Ref(FIRST)", 0);
  evaluate("=iNote(FIRST)", 0);
  evaluate("=iNote(first)", 0);
  EXPECT_EQ(included.Xml(), "<IncNotes><IVal Key=\"FIRST\" Val=\"\"/></IncNotes>");

  auto bookmark = std::make_shared<cEvaluatedBookmark>();
  bookmark->EvaluateBookmark(definitions.FirstChild(), 4, 7);
  bookmarks->Add(bookmark);
  EXPECT_EQ(evaluate("=Note(FIRST)", -1), "7");
  EXPECT_EQ(evaluator.DeferredValues().Xml(), "<IVals><IVal Key=\"FIRST\" Val=\"7\"/></IVals>");
  EXPECT_EQ(evaluate("=Ref(FIRST)", -1), "\xC3\xBFR1\xC3\xBF");

  // At the bookmark level a note that is still missing is "#REF"; a reference waits for the last.
  const xml::Node other = xml::Document::Parse("<BMk Key='SECOND' Note='-1'/>").DocumentElement();
  xml::Node(definitions).AppendChild(definitions.OwnerDocument().ImportNode(other, true));
  evaluator.ForceLevel1Eval(true);
  EXPECT_EQ(evaluate("=Note(SECOND)", -1), "#REF");
  evaluate("=Ref(SECOND)", 0);
  evaluator.EvaluateAllItems(true);
  EXPECT_EQ(evaluate("=Ref(SECOND)", -1), "#REF");
}

TEST_F(Evaluator, CountRowsCountsEvaluatedRowsOnceAndLeavesIgnoredRowsOut) {
  const xml::Node preview =
      xml::Document::Parse(
          "<Fmt><Itms>"
          "<Row><Itm Row='1' OrigRow='3' OrigFmt='IS' RptIndex='0' Evaluated='-1'/>"
          "<Itm Row='1' OrigRow='3' OrigFmt='IS' RptIndex='0' Evaluated='-1'/></Row>"
          "<Row><Itm Row='2' OrigRow='4' OrigFmt='IS' RptIndex='0' Evaluated='-1'/>"
          "<Itm Row='3' OrigRow='4' OrigFmt='IS' RptIndex='1' Evaluated='-1'/></Row>"
          "<Row><Itm Row='4' OrigRow='5' OrigFmt='IS' RptIndex='0' Evaluated='-1'/></Row>"
          "<Row><Itm Row='5' OrigRow='4' OrigFmt='BS' RptIndex='0' Evaluated='-1'/></Row>"
          "</Itms></Fmt>")
          .DocumentElement();
  const xml::Node ignored =
      xml::Document::Parse(
          "<RowsToIgnore><RowIgn OrigFmt='IS' OrigRow='5' RptIndex='0'/></RowsToIgnore>")
          .DocumentElement();
  PreviewSources sources;
  sources.rows_to_ignore = ignored;
  sources.preview = preview;
  evaluator.Sources(sources);
  evaluator.CurrentFormatName("IS");
  int asked = 0;
  evaluator.GetCurrentRow.Connect([&](std::int32_t& row) {
    ++asked;
    row = 9;
  });
  EXPECT_EQ(Value("=CountRows(A3:A5)"), "3");  // rows 1, 2 and 3; row 4 was removed
  EXPECT_EQ(asked, 1);

  // A row not evaluated yet makes the count wait, until the last pass.
  xml::Node waiting = preview.SelectSingleNode("//Itm[@Row='2']");
  waiting.SetAttribute("Evaluated", "0");
  xml::Node item = ItemFor(document, "=CountRows(A3:A5)");
  xml::Node evaluated;
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), 0);
  evaluator.EvaluateAllItems(true);
  EXPECT_EQ(evaluator.Evaluate(item, {}, 0, "", evaluated), -1);
  EXPECT_EQ(item.AttributeOr("Value", ""), "2");
}

TEST(EvaluatorSharedState, RangesAndRepeatItemsAreSharedByEvaluatorsOfAThread) {
  RegisterCounting<FakeStorageProvider>(kStorageProviderId);
  OnNewThread([] {
    cEvaluate first;
    cEvaluate second;
    EXPECT_EQ(first.SharedRanges().Name(), "ERange");
    EXPECT_EQ(first.SharedRepeatItems().Name(), "EPRItems");
    EXPECT_TRUE(first.SharedRanges() == second.SharedRanges());
    EXPECT_TRUE(first.SharedRepeatItems() == second.SharedRepeatItems());
  });
  ComponentRegistry::Register(kStorageProviderId, nullptr);
}

TEST_F(Evaluator, StoresAreListsWithIndexedLookUps) {
  EXPECT_FALSE(evaluator.CachedCellValue("B2", ""));
  evaluator.CacheCellValue("B2", "", "5");
  evaluator.CacheCellValue("B2", "K1", "6");
  evaluator.CacheCellValue("B2", "", "7");
  EXPECT_EQ(evaluator.CachedCellValue("B2", ""), "7");
  EXPECT_EQ(evaluator.CachedCellValue("B2", "K1"), "6");
  EXPECT_EQ(evaluator.CellValues().Xml(),
            "<Cells><Cell Key=\"B2\" Rpt=\"\" Val=\"7\"/><Cell Key=\"B2\" Rpt=\"K1\" "
            "Val=\"6\"/></Cells>");

  xml::Node key = evaluator.BalanceKey("2024", "1", "12", "", "Actuals");
  EXPECT_TRUE(evaluator.BalanceKey("2024", "1", "12", "", "Actuals") == key);
  EXPECT_EQ(evaluator.Balances().Xml(),
            "<Balances><Key Year=\"2024\" Prd=\"1\" PrdEnd=\"12\" PBal=\"\" "
            "Bal=\"Actuals\"/></Balances>");

  Cells({{"A1", "1"}, {"B1", "2"}});
  EXPECT_EQ(RecordValue("<PEx Exp='=Left(\"a,b\",I~_T~1)&amp;I~_T~2' Max='B1'><EIs>"
                        "<EI Typ='TCR' Val='A1'/><EI Typ='TCR' Val='B1'/></EIs>"
                        "<EFs><EF Typ='Left' Pos='1'/></EFs><EMBs EAtt=''/></PEx>"),
            "a2");
  EXPECT_EQ(evaluator.OperandCache().Xml(),
            "<Operands><Itm Key=\"I~_T~1\" Pos=\"12\" Val=\"A1\"/>"
            "<Itm Key=\"I~_T~2\" Pos=\"20\" Val=\"B1\"/></Operands>");
  EXPECT_EQ(evaluator.FindItems().Xml(), "<FindItems><Itm Start=\"7\" End=\"11\"/></FindItems>");
}

// The order the evaluator calls functions in is the function-order
// stylesheet's, on records with many ties and every position pattern.
TEST(FunctionOrder, MatchesTheStylesheetOnManyRandomRecords) {
  cEvaluate evaluator;
  std::mt19937 random(20240611);
  const auto& functions = AllFunctions();
  for (int record = 0; record < 400; ++record) {
    const int count = static_cast<int>(random() % 24);  // both sides of the in-place sort
    std::vector<ParsedExpression::FunctionCall> calls;
    std::string list = "<EFs>";
    for (int i = 0; i < count; ++i) {
      const Function function = functions[random() % functions.size()];
      const auto position = static_cast<Int16>(random() % 3 == 0 ? random() % 5 : random() % 32767);
      calls.push_back({function, std::string(FunctionName(function)), position, 0});
      list += "<EF Typ='" + std::string(FunctionName(function)) + "' Pos='" +
              std::to_string(position) + "'/>";
    }
    list += "</EFs>";
    const xml::Node sorted =
        evaluator.SortFunctionList(xml::Document::Parse(list).DocumentElement());
    std::vector<std::string> by_stylesheet;
    for (const xml::Node& entry : sorted.ChildNodes()) {
      by_stylesheet.push_back(entry.AttributeOr("Typ", "") + "@" + entry.AttributeOr("Pos", ""));
      EXPECT_EQ(entry.Attributes().Length(), 2u);
    }
    std::vector<std::string> by_order;
    for (std::size_t index : FunctionOrder(calls)) {
      by_order.push_back(calls[index].name + "@" + std::to_string(calls[index].position));
    }
    ASSERT_EQ(by_order, by_stylesheet) << list;
  }
}

}  // namespace
}  // namespace orvo::testing
