#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "evaluate/chart_map_folders.h"
#include "evaluate/ledger_amounts.h"
#include "evaluation_fixture.h"
#include "ledger_fakes.h"
#include "support/on_new_thread.h"

namespace orvo::testing {
namespace {

using ::testing::ElementsAre;

// A format whose columns carry balance contexts:
//   2  this year, the current period's movement, actuals
//   3  this year to date, actuals       (4: the same again)
//   5  this year to date, budget
//   6  last year's whole year, actuals
constexpr const char* kFormat =
    "<Fmt Key='IS' Name='Income'><Itms/><ColBals>"
    "<ColBal Col='2' Year='Y' Prd='Current Period' PdEnd='Current Period' PdBal='Movement' "
    "Bal='Actuals'/>"
    "<ColBal Col='3' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' Bal='Actuals'/>"
    "<ColBal Col='4' Year='y' Prd='1' PdEnd='Current Period' PdBal='YTD' Bal='Actuals'/>"
    "<ColBal Col='5' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' Bal='Budget'/>"
    "<ColBal Col='6' Year='Y-1' Prd='' PdEnd='' PdBal='' Bal='Actuals'/>"
    "</ColBals></Fmt>";

// One thread's evaluator over the fakes, with the format above.
struct Session {
  Session() {
    evaluator.Init(xml::Document::Parse("<LaunchProperties/>").DocumentElement());
    evaluator.FormatReference(format);
    evaluator.CurrentFormatName("IS");
  }
  xml::Node Item(int column, const std::string& text) {
    xml::Node item = ItemFor(document, text);
    item.SetAttribute("Col", std::to_string(column));
    return item;
  }
  std::string At(int column, const std::string& text, const xml::Node& list = {},
                 std::int32_t position = 0) {
    return Evaluated(Item(column, text), list, position);
  }
  std::string Evaluated(xml::Node item, const xml::Node& list = {}, std::int32_t position = 0) {
    xml::Node evaluated;
    evaluator.Evaluate(item, list, position, list ? "R1" : "", evaluated);
    return item.AttributeOr("Value", "<none>");
  }
  // A record written by hand, for references the parser would refuse.
  std::string Record(int column, const std::string& type, const std::string& text) {
    xml::Node item =
        ItemWithRecord(document, "<PEx Exp='=I~_T~1' Max=''><EIs><EI Typ='" + type + "' Val='" +
                                     text + "'/></EIs><EFs/><EMBs/></PEx>");
    item.SetAttribute("Col", std::to_string(column));
    return Evaluated(item);
  }
  xml::Node Expand(const std::string& definition, const xml::Node& keys, std::int32_t& count) {
    xml::Node list;
    evaluator.EvaluateRepeat(xml::Document::Parse(definition).DocumentElement(), count, keys, list);
    return list;
  }

  xml::Document document = xml::Document::Create();
  xml::Node format = xml::Document::Parse(kFormat).DocumentElement();
  cEvaluate evaluator;
};

class LedgerAmountsTest : public ::testing::Test {
 protected:
  template <class Body>
  void Run(Body body) {
    OnNewThread([&] {
      Session session;
      body(session);
    });
  }
  LedgerComponents components;
  RecordingDriver& driver = components.driver;
};

std::string Codes(const xml::Node& list) {
  std::string codes;
  for (xml::Node record = list.FirstChild(); record; record = record.NextSibling()) {
    codes += (codes.empty() ? "" : " ") + record.AttributeOr("CODE", "?");
  }
  return codes;
}

TEST_F(LedgerAmountsTest, YearDesignationsAndPeriodsResolveAgainstTheLedger) {
  Run([&](Session& session) {
    LedgerAmounts& ledger = session.evaluator.Ledger();
    const auto year = [&](const std::string& designation, bool last_year = false) {
      return ledger.Resolve({designation, "", "", "", "Actuals"}, last_year).year;
    };
    // The ledger lists 2027, 2026 (current), 2025, 2024.
    EXPECT_EQ(year("Y"), "2026");
    EXPECT_EQ(year("Current"), "2026");
    EXPECT_EQ(year(""), "2026");
    EXPECT_EQ(year("Y+0"), "2026");
    EXPECT_EQ(year("y-1"), "2025");
    EXPECT_EQ(year("Y-2"), "2024");
    EXPECT_EQ(year("Y+1"), "2027");
    EXPECT_EQ(year("Y-3"), "");  // off the list: no year, not a failure
    EXPECT_EQ(year("Y+2"), "");
    EXPECT_EQ(year("2025"), "2025");
    EXPECT_EQ(year("FY99"), "");
    // Last year: one entry further down the list.
    EXPECT_EQ(year("Y", true), "2025");
    EXPECT_EQ(year("Y+1", true), "2026");
    EXPECT_EQ(year("Y-1", true), "2024");
    EXPECT_EQ(year("Y-2", true), "");
    EXPECT_EQ(year("2027", true), "2026");

    const BalanceRequest& request =
        ledger.Resolve({"Y", "current period", "CURRENT PERIOD", "YTD", "Budget"}, false);
    EXPECT_EQ(request.period, "7");
    EXPECT_EQ(request.end_period, "7");
    EXPECT_EQ(ledger.Resolve({"Y", "3", " 5 ", "", ""}, false).end_period, "5");
  });
  EXPECT_EQ(driver.Count("LedgerYears_DDKFunction"), 1);
}

TEST(FolderReferences, KeysSuffixesAndCodes) {
  EXPECT_EQ(ParseFolderReference("CM.Revenue").key, "REVENUE");
  const FolderReference total = ParseFolderReference("cm.Revenue.tdr");
  EXPECT_EQ(total.key, "REVENUE");  // the same folder as without the suffix
  EXPECT_EQ(total.restriction, FolderRestriction::kTotalDebit);
  EXPECT_EQ(ParseFolderReference("CM.A.B.CR").key, "A.B");
  EXPECT_EQ(ParseFolderReference("CM.A.B.CR").restriction, FolderRestriction::kCredit);
  EXPECT_EQ(ParseFolderReference("CM.CASH.TCR").restriction, FolderRestriction::kTotalCredit);
  EXPECT_EQ(ParseFolderReference("CM.CASH.DR").restriction, FolderRestriction::kDebit);
  EXPECT_EQ(ParseFolderReference("CM.CASHDR").restriction, FolderRestriction::kNone);

  EXPECT_EQ(NormalizedCode(" 6000--10 ", "-"), "6000-10");
  EXPECT_EQ(NormalizedCode("6000---10-", "-"), "6000-10");
  EXPECT_EQ(NormalizedCode("abc", ""), "ABC");
}

TEST_F(LedgerAmountsTest, FolderTotalsAreFetchedOncePerFolderAndKeySet) {
  Run([&](Session& session) {
    // Revenue accounts hold -300, -20 and 7 this year; last year twice that.
    EXPECT_EQ(session.At(2, "=CM.REVENUE"), "-313");
    EXPECT_EQ(session.At(3, "=CM.Revenue"), "-313");
    EXPECT_EQ(session.At(4, "=-CM.REVENUE"), "313");
    EXPECT_EQ(session.At(5, "=CM.REVENUE"), "-3130");
    EXPECT_EQ(session.At(6, "=CM.REVENUE"), "-626");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 1);

    // Last year's amounts: the item's own key one year back, once each.
    EXPECT_EQ(session.At(2, "=LY(CM.REVENUE)"), "-626");
    EXPECT_EQ(session.At(6, "=LY(CM.REVENUE)"), "-1252");
    EXPECT_EQ(session.At(3, "=CM.REVENUE-LY(CM.REVENUE)"), "313");
    EXPECT_EQ(session.At(4, "=LY(CM.REVENUE)"), "-626");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 4);

    // An item whose column has no context: the current year's actuals.
    EXPECT_EQ(session.At(9, "=CM.REVENUE"), "-313");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 5);

    // A second evaluator of the thread finds the fetched lists in EPRItems.
    cEvaluate second;
    second.FormatReference(session.format);
    second.CurrentFormatName("IS");
    xml::Node item = session.Item(5, "=CM.REVENUE");
    xml::Node evaluated;
    second.Evaluate(item, {}, 0, "", evaluated);
    EXPECT_EQ(item.AttributeOr("Value", ""), "-3130");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 5);

    // Each distinct request once in the balance cache.
    EXPECT_EQ(session.evaluator.Balances().Xml(),
              "<Balances>"
              "<Key Year=\"2026\" Prd=\"7\" PrdEnd=\"7\" PBal=\"Movement\" Bal=\"Actuals\"/>"
              "<Key Year=\"2026\" Prd=\"1\" PrdEnd=\"7\" PBal=\"YTD\" Bal=\"Actuals\"/>"
              "<Key Year=\"2026\" Prd=\"1\" PrdEnd=\"7\" PBal=\"YTD\" Bal=\"Budget\"/>"
              "<Key Year=\"2025\" Prd=\"\" PrdEnd=\"\" PBal=\"\" Bal=\"Actuals\"/>"
              "<Key Year=\"2025\" Prd=\"7\" PrdEnd=\"7\" PBal=\"Movement\" Bal=\"Actuals\"/>"
              "<Key Year=\"2024\" Prd=\"\" PrdEnd=\"\" PBal=\"\" Bal=\"Actuals\"/>"
              "<Key Year=\"2025\" Prd=\"1\" PrdEnd=\"7\" PBal=\"YTD\" Bal=\"Actuals\"/>"
              "<Key Year=\"2026\" Prd=\"\" PrdEnd=\"\" PBal=\"\" Bal=\"Actuals\"/>"
              "</Balances>");
  });
}

TEST_F(LedgerAmountsTest, RepeatingBalanceCarriesEveryFilterInOrder) {
  Run([&](Session& session) { session.At(2, "=CM.REVENUE"); });
  ASSERT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 1);
  const SentRequest sent = driver.Of("RepeatingBalance_DDKFunction").front();
  const auto filter = [](const char* field, const char* value) {
    return SentFilter{field, std::nullopt, field, value, std::nullopt};
  };
  EXPECT_THAT(sent.filters,
              ElementsAre(filter("DDKFieldFromCode", "4000"), filter("DDKFieldToCode", "4999"),
                          filter("DDKFieldCodeStepping", ""), filter("DDKFieldAllowCredit", "-1"),
                          filter("DDKFieldAllowDebit", "-1"),
                          filter("DDKFieldBalanceType", "Actuals|Actuals|Budget|Actuals"),
                          filter("DDKFieldYearName", "2026|2026|2026|2025"),
                          filter("DDKFieldBalancePeriods", "-1|-1|-1|0"),
                          filter("DDKFieldBalanceStartPeriod", "7|1|1"),
                          filter("DDKFieldBalanceEndPeriod", "7|7|7"),
                          filter("DDKFieldBalancePeriodBalType", "Movement|YTD|YTD"),
                          filter("ShowSubCodes", "0"), filter("ShowZeroBalances", "0")));
}

TEST_F(LedgerAmountsTest, RestrictedFoldersAndSuffixes) {
  Run([&](Session& session) {
    // Cash allows debit balances only: 1000 (100) is listed, 1010 (-50) is not.
    EXPECT_EQ(session.At(2, "=CM.CASH"), "100");
    EXPECT_EQ(session.At(6, "=CM.CASH"), "200");
    // The driver judges permissions by the first key: one request per key.
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 2);
    for (const SentRequest& sent : driver.Of("RepeatingBalance_DDKFunction")) {
      EXPECT_EQ(sent.Value("DDKFieldYearName").find('|'), std::string::npos);
      EXPECT_EQ(sent.Value("DDKFieldAllowCredit"), "0");
    }
    EXPECT_EQ(session.At(2, "=CM.REVENUE.CR"), "-320");
    EXPECT_EQ(driver.Of("RepeatingBalance_DDKFunction").back().Value("DDKFieldAllowDebit"), "0");
    EXPECT_EQ(session.At(2, "=CM.REVENUE.DR"), "7");
    EXPECT_EQ(session.At(2, "=CM.REVENUE.TCR"), "-313");
    EXPECT_EQ(session.At(2, "=CM.REVENUE.TDR"), "0");
    EXPECT_EQ(session.At(2, "=CM.COSTS.TDR"), "160");
    EXPECT_EQ(session.At(2, "=CM.COSTS.TCR"), "0");
  });
}

TEST_F(LedgerAmountsTest, MappingsCyclesEmptyAndMissingFolders) {
  Run([&](Session& session) {
    EXPECT_EQ(session.At(2, "=CM.PROFIT"), "-153");  // revenue and costs through mappings
    SentRequest sent = driver.Of("RepeatingBalance_DDKFunction").back();
    EXPECT_EQ(sent.Value("DDKFieldFromCode"), "4000|5000|6000");
    EXPECT_EQ(sent.Value("DDKFieldToCode"), "4999|5999|6999");

    // A mapping cycle ends; a range met again is taken once.
    EXPECT_EQ(session.At(2, "=CM.LOOPA"), "-180");
    sent = driver.Of("RepeatingBalance_DDKFunction").back();
    EXPECT_EQ(sent.Value("DDKFieldFromCode"), "4000|5000");

    const int before = driver.Count("RepeatingBalance_DDKFunction");
    EXPECT_EQ(session.At(2, "=CM.EMPTY"), "0");  // no ranges: zero, nothing asked
    EXPECT_EQ(session.Record(2, "TCM", "CM.NOSUCH"), "#NAME");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), before);

    // Codes with a doubled or trailing splitter are read as the code meant.
    session.At(2, "=CM.DOUBLED");
    sent = driver.Of("RepeatingBalance_DDKFunction").back();
    EXPECT_EQ(sent.Value("DDKFieldFromCode"), "6000-10");
    EXPECT_EQ(sent.Value("DDKFieldToCode"), "6000-40");

    const xml::Node profit =
        session.evaluator.SharedRanges().SelectSingleNode("Itm[@Key='PROFIT']");
    ASSERT_TRUE(profit);
    EXPECT_EQ(profit.SelectNodes("Ranges/Range").Length(), 3u);
    EXPECT_EQ(profit.SelectNodes("Mappings/Mapping").Length(), 2u);
  });
  EXPECT_EQ(driver.Count("AccountCodeStructure_DDKFunction"), 1);
}

TEST_F(LedgerAmountsTest, AccountValueYearAndPeriodAskOncePerDistinctRequest) {
  Run([&](Session& session) {
    EXPECT_EQ(session.At(3, "=AccountValue(\"4000\",\"AMOUNT\")"), "-300");
    EXPECT_EQ(session.At(4, "=AccountValue( '4000' , 'amount' )"), "-300");
    EXPECT_EQ(session.At(3, "=AccountValue(\"4000\",\"AMOUNT\")*2"), "-600");
    ASSERT_EQ(driver.Count("AccountValue_DDKFunction"), 1);
    EXPECT_THAT(
        driver.Of("AccountValue_DDKFunction").front().filters,
        ElementsAre(
            SentFilter{"#1", std::nullopt, "CODE", "4000", std::nullopt},
            SentFilter{"#2", std::nullopt, "FIELD", "AMOUNT", std::nullopt},
            SentFilter{"#3", std::nullopt, "DDKFieldYearName", "2026", std::nullopt},
            SentFilter{"#4", std::nullopt, "DDKFieldBalanceType", "Actuals", std::nullopt},
            SentFilter{"DDKFieldBalanceStartPeriod", 0, "DDKFieldBalanceStartPeriod", "1", 2},
            SentFilter{"DDKFieldBalanceEndPeriod", 0, "DDKFieldBalanceEndPeriod", "7", 2},
            SentFilter{"DDKFieldBalancePeriodBalType", 0, "DDKFieldBalancePeriodBalType", "YTD",
                       2}));
    // A context without a period range sends four filters.
    EXPECT_EQ(session.At(6, "=AccountValue(\"6000-10\")"), "3");
    EXPECT_EQ(driver.Of("AccountValue_DDKFunction").back().filters.size(), 4u);
    EXPECT_EQ(driver.Of("AccountValue_DDKFunction").back().Value("FIELD"), "AMOUNT");

    EXPECT_EQ(session.At(6, "=Year"), "FY2025");
    EXPECT_EQ(session.At(2, "{Year} to {Period}"), "FY2026 to 2026-P7");
    EXPECT_EQ(session.At(6, "=Period"), "2025-P7");  // no end period: the current one
    EXPECT_EQ(session.At(3, "=Period&Year"), "2026-P7FY2026");
    EXPECT_EQ(driver.Count("TallixYear_DDKFunction"), 2);
    EXPECT_EQ(driver.Count("TallixPeriod_DDKFunction"), 2);
    EXPECT_THAT(
        driver.Of("TallixPeriod_DDKFunction").back().filters,
        ElementsAre(SentFilter{"#1", std::nullopt, "DDKFieldYearName", "2025", std::nullopt},
                    SentFilter{"#2", std::nullopt, "DDKFieldPeriodID", "7", std::nullopt}));
    EXPECT_THAT(
        driver.Of("TallixYear_DDKFunction").back().filters,
        ElementsAre(SentFilter{"#1", std::nullopt, "DDKFieldYearName", "2026", std::nullopt}));

    // A column off the ledger years with a balance type the ledger lacks.
    xml::Node column = session.format.SelectSingleNode("ColBals/ColBal[@Col='6']").CloneNode(true);
    column.SetAttribute("Col", "7");
    column.SetAttribute("Year", "Y+2");
    column.SetAttribute("Bal", "Unknown");
    xml::Node(session.format.SelectSingleNode("ColBals")).AppendChild(column);
    session.evaluator.FormatReference(session.format);
    EXPECT_EQ(session.At(7, "=Year&Period"), "");  // no year: nothing to ask
    EXPECT_EQ(driver.Count("TallixYear_DDKFunction"), 2);

    // Failures of the driver are failures of the item, and of that item only.
    EXPECT_EQ(session.At(7, "=AccountValue(\"4000\")"), "#ERROR");
    EXPECT_EQ(session.At(2, "=AccountValue(\"9999\")"), "#ERROR");
    EXPECT_EQ(session.At(7, "=CM.REVENUE"), "#ERROR");
    EXPECT_EQ(session.At(2, "=CM.REVENUE"), "-313");
    EXPECT_EQ(session.At(6, "=CM.COSTS"), "320");
    const int asked = driver.Count("RepeatingBalance_DDKFunction");
    EXPECT_EQ(session.At(3, "=CM.MATERIALS"), "120");  // the refused set is not sent again
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), asked + 1);
  });
}

constexpr const char* kTwoKeys =
    "<Keys><Key Year='Y' Prd='' PrdEnd='' PBal='' Bal='Actuals'/>"
    "<Key Year='Y' Prd='1' PrdEnd='Current Period' PBal='YTD' Bal='Budget'/></Keys>";

TEST_F(LedgerAmountsTest, ChartMapRepeatsListAccountsWithAnAmountPerKey) {
  Run([&](Session& session) {
    xml::Node format = xml::Document::Parse(
                           "<Fmt Key='TB' Name='TB'><ColBals>"
                           "<ColBal Col='3' Year='Y' Prd='' PdEnd='' PdBal='' Bal='Actuals'/>"
                           "<ColBal Col='4' Year='Y' Prd='1' PdEnd='Current Period' PdBal='YTD' "
                           "Bal='Budget'/></ColBals></Fmt>")
                           .DocumentElement();
    session.evaluator.FormatReference(format);
    session.evaluator.CurrentFormatName("TB");
    std::int32_t count = 0;
    const xml::Node keys = xml::Document::Parse(kTwoKeys).DocumentElement();
    const xml::Node list = session.Expand(
        "<Rpt Typ='1' Sub='0' Zer='0' Use='0'>CM.Revenue+CM.COSTS</Rpt>", keys, count);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(Codes(list), "4000 4010 4020 5000 6000");  // folder A, then folder B
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 2);

    EXPECT_EQ(session.At(3, "=AMOUNT", list, 1), "-300");
    EXPECT_EQ(session.At(4, "=AMOUNT", list, 1), "-3000");  // AMOUNT2: its column's key
    EXPECT_EQ(session.At(8, "=AMOUNT", list, 1), "-300");   // no context: the first key
    EXPECT_EQ(session.At(3, "=CODE&\"|\"&DESCRIPTION", list, 2), "4010|Account 4010");
    EXPECT_EQ(session.At(4, "=PreviousRecord(AMOUNT)", list, 2), "-3000");
    EXPECT_EQ(session.At(3, "=PreviousRecord(AMOUNT)", list, 1), "");
    EXPECT_EQ(session.At(3, "=NextRecord(CODE)", list, 4), "6000");
    EXPECT_EQ(session.At(3, "=NextRecord(CODE)", list, 5), "");
    EXPECT_EQ(session.At(3, "=IsLastRecord", list, 5), "True");
    EXPECT_EQ(session.At(3, "=IsFirstRecord", list, 2), "False");
    EXPECT_EQ(session.At(3, "=RepeatPosition", list, 3), "3");
    EXPECT_EQ(session.At(3, "=TYPE", list, 3), "#NAME");  // a field the records lack
    EXPECT_EQ(session.At(3, "=AMOUNT"), "");              // outside a repeat

    // Last year's amounts: fetched once for the whole repeat, per folder.
    for (std::int32_t position = 1; position <= 5; ++position) {
      session.At(3, "=LY(AMOUNT)", list, position);
    }
    EXPECT_EQ(session.At(3, "=LY(AMOUNT)", list, 4), "240");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 4);

    // Sub-codes and zero balances reach the driver; no key: the default one.
    const xml::Node empty_keys = xml::Document::Parse("<Keys/>").DocumentElement();
    const xml::Node all =
        session.Expand("<Rpt Typ='1' Sub='-1' Zer='-1' Use='0'>CM.COSTS</Rpt>", empty_keys, count);
    EXPECT_EQ(Codes(all), "5000 6000 6010 6000-10");
    EXPECT_EQ(
        empty_keys.Xml(),
        "<Keys><Key Year=\"Current\" Prd=\"\" PrdEnd=\"\" PBal=\"\" Bal=\"Actuals\"/></Keys>");
    const SentRequest sent = driver.Of("RepeatingBalance_DDKFunction").back();
    EXPECT_EQ(sent.Value("ShowSubCodes"), "-1");
    EXPECT_EQ(sent.Value("ShowZeroBalances"), "-1");
    EXPECT_EQ(sent.Value("DDKFieldYearName"), "2026");

    // A credit restriction lists the credit balances only.
    EXPECT_EQ(Codes(session.Expand("<Rpt Typ='1' Sub='0' Zer='0'>CM.REVENUE.CR</Rpt>", {}, count)),
              "4000 4010");
    EXPECT_EQ(Codes(session.Expand("<Rpt Typ='1'>CM.EMPTY+CM.NOSUCH</Rpt>", {}, count)), "");
    EXPECT_EQ(count, 0);
    xml::Node unknown;
    EXPECT_EQ(session.evaluator.EvaluateRepeat(
                  xml::Document::Parse("<Rpt Typ='9'>CM.REVENUE</Rpt>").DocumentElement(), count,
                  {}, unknown),
              0);
  });
}

TEST_F(LedgerAmountsTest, SortedRepeatsAreCachedPerSort) {
  Run([&](Session& session) {
    std::int32_t count = 0;
    const char* by_amount =
        "<Rpt Typ='1' Sub='-1' Zer='-1'>CM.COSTS<SItm Ind='2' Fld='code'/>"
        "<SItm Ind='1' Fld='Amount'/></Rpt>";
    // Ascending by text: "0" < "1.5" < "120" < "40".
    EXPECT_EQ(Codes(session.Expand(by_amount, {}, count)), "6010 6000-10 5000 6000");
    EXPECT_EQ(Codes(session.Expand(by_amount, {}, count)), "6010 6000-10 5000 6000");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 1);
    const char* by_code = "<Rpt Typ='1' Sub='-1' Zer='-1' Use='-1'>CM.COSTS</Rpt>";
    EXPECT_EQ(Codes(session.Expand(by_code, {}, count)), "5000 6000 6000-10 6010");
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 2);

    std::vector<std::string> keys;
    for (const xml::Node& entry : session.evaluator.SharedRepeatItems().SelectNodes("Itm")) {
      keys.push_back(entry.AttributeOr("Key", ""));
    }
    EXPECT_THAT(keys, ElementsAre("COSTS:SORT:AMOUNT,CODE", "COSTS:SORT:CODE"));

    // A second evaluator of the thread reuses them.
    cEvaluate second;
    xml::Node list;
    second.EvaluateRepeat(xml::Document::Parse(by_amount).DocumentElement(), count, {}, list);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(driver.Count("RepeatingBalance_DDKFunction"), 2);
  });
}

TEST_F(LedgerAmountsTest, DatabaseMapRepeatsFieldsAndCounts) {
  Run([&](Session& session) {
    std::int32_t count = 0;
    const xml::Node list = session.Expand("<Rpt Typ='2'>DB.Customers</Rpt>", {}, count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(components.database_map->definitions.back(), "DB.Customers; Year=2026");
    EXPECT_EQ(session.At(3, "=DB.Customers.Revenue", list, 2), "200");
    EXPECT_EQ(session.At(3, "=DB.Customers.Name&\":\"&CODE", list, 3), "Gamma:C3");
    // Last year's value of the same customer, found by its first field.
    EXPECT_EQ(session.At(3, "=LY(DB.Customers.Revenue)", list, 1), "10");
    EXPECT_EQ(session.At(3, "=LY(DB.Customers.Revenue)", list, 3), "");
    EXPECT_EQ(session.At(3, "=RecordCount(DB.Customers)"), "3");
    EXPECT_EQ(session.At(6, "=RecordCount(DB.Customers)"), "2");
    EXPECT_EQ(session.At(3, "=RecordCount(DB.Nothing)"), "#REF");
    EXPECT_EQ(session.At(3, "=RecordValue(DB.Customers.Name,2)"), "Beta");
    EXPECT_EQ(session.At(3, "=RecordValue(DB.Customers.Name,9)"), "");
    EXPECT_EQ(session.At(3, "=DB.Customers.Name"), "Alpha");  // outside a repeat: record 1
    EXPECT_EQ(session.Record(3, "TDB", "DB.Customers.Bogus"), "#NAME");
    EXPECT_EQ(session.Record(3, "TDB", "DB.Nothing.Name"), "#NAME");

    const xml::Node empty = session.Expand("<Rpt Typ='2'>DB.Empty; Year=Y-1</Rpt>", {}, count);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(empty.HasChildNodes());
    EXPECT_EQ(components.database_map->definitions.back(), "DB.Empty; Year=Y-1");
  });
}

}  // namespace
}  // namespace orvo::testing
