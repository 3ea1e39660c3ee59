#include "orvo/drill_down.h"

#include <string>

#include <gtest/gtest.h>

#include "orvo/error.h"

namespace orvo {
namespace {

class Requests {
 public:
  Requests() : m_document(xml::Document::Parse("<Scratch/>")) {}

  xml::Node Balance(const std::string& bal, const std::string& year, const std::string& prd) {
    xml::Node definition = m_document.CreateElement("BalDef");
    xml::Node key = definition.AppendChild(m_document.CreateElement("Key"));
    key.SetAttribute("Bal", bal);
    key.SetAttribute("Year", year);
    key.SetAttribute("Prd", prd);
    key.SetAttribute("PrdEnd", "12");
    key.SetAttribute("PBal", "x");
    return definition;
  }
  xml::Node Object(const std::string& account) {
    xml::Node object = m_document.CreateElement("Drill");
    object.SetAttribute("Acc", account);
    object.SetAttribute("Prd", "old");
    return object;
  }

 private:
  xml::Document m_document;
};

TEST(DrillDown, SameSignatureSharesTheFirstStoredObject) {
  cDrillDown drill;
  Requests requests;
  xml::Node first = requests.Object("4000");
  EXPECT_EQ(drill.AddCMDrillDownItem("cm1", first, requests.Balance("a", "0", "1")), "DrillItem1");
  EXPECT_EQ(
      drill.AddCMDrillDownItem("CM1", requests.Object("5000"), requests.Balance("A", "0", "2")),
      "DrillItem2");
  EXPECT_EQ(
      drill.AddCMDrillDownItem("CM1", requests.Object("6000"), requests.Balance("A", "0", "1")),
      "DrillItem3");

  EXPECT_EQ(drill.DrillKeys().Xml(),
            "<DrillKeys><DrillKey Key=\"CM1A0112X\" DKey=\"DRILLITEM1\" Pos=\"1\"/>"
            "<DrillKey Key=\"CM1A0212X\" DKey=\"DRILLITEM2\" Pos=\"2\"/>"
            "<DrillKey Key=\"CM1A0112X\" DKey=\"DRILLITEM3\" Pos=\"1\"/></DrillKeys>");
  // The request's values are stamped on the object, replacing its own Prd.
  EXPECT_EQ(first.Xml(),
            "<Drill Acc=\"4000\" Prd=\"1\" DDKFieldBalanceType=\"a\" DDKFieldBalancePeriods=\"0\" "
            "PdEnd=\"12\" PdBal=\"x\"/>");

  const Collection<xml::Node> third = drill.DrillObject("drillitem3");
  ASSERT_EQ(third.Count(), 1);
  EXPECT_EQ(third.Item(1).AttributeOr("Acc", ""), "4000");
  EXPECT_EQ(drill.DrillObject("DrillItem1").Item(1), third.Item(1));
  EXPECT_EQ(drill.DrillObject("DrillItem9").Count(), 0);

  // The store keeps a copy: later changes to the caller's node do not show.
  first.SetAttribute("Acc", "changed");
  const xml::Node all = drill.GetAsXML("Objects");
  ASSERT_EQ(all.ChildNodes().Length(), 2u);
  EXPECT_EQ(all.FirstChild().AttributeOr("Acc", ""), "4000");
  EXPECT_EQ(all.LastChild().AttributeOr("Acc", ""), "5000");
}

TEST(DrillDown, MissingBalanceDefinitionUsesUpItsKey) {
  cDrillDown drill;
  Requests requests;
  EXPECT_EQ(drill.GetAsXML("Objects").Xml(), "<Objects/>");
  EXPECT_EQ(drill.UpdateCMDrillDownItem("DrillItem1", "x"), "");

  try {
    drill.AddCMDrillDownItem("CM1", requests.Object("1"), xml::Node());
    FAIL() << "a Nothing BalanceDef fails";
  } catch (const Error& failure) {
    EXPECT_EQ(failure.Number(), 1);
    EXPECT_EQ(failure.Source(), "AddCMDrillDownItem");
    EXPECT_EQ(failure.Description(), "Balances and Periods out of sync");
  }
  EXPECT_FALSE(drill.DrillKeys().HasChildNodes());

  // A definition without a request child signs with the repeat alone.
  xml::Node empty_definition = requests.Balance("A", "0", "1");
  empty_definition.RemoveChild(empty_definition.FirstChild());
  const xml::Node object = requests.Object("7");
  EXPECT_EQ(drill.AddCMDrillDownItem("cm9", object, empty_definition), "DrillItem2");
  EXPECT_EQ(drill.DrillKeys().FirstChild().AttributeOr("Key", ""), "CM9");
  EXPECT_EQ(object.AttributeOr("Prd", "?"), "");
  EXPECT_EQ(drill.GetAsXML("Objects").ChildNodes().Length(), 1u);

  // Only the keys issued lead to objects: not the number drawn for the
  // failed call, nor texts that merely resemble an issued key.
  EXPECT_EQ(drill.DrillObject("DRILLITEM2").Count(), 1);
  for (const char* key : {"DrillItem1", "DrillItem02", "DrillItem2 ", " DrillItem2", "DrillItem",
                          "DrillItem-2", "DrillItem3", "DrillItem99999999999999999999", "Drill2"}) {
    EXPECT_EQ(drill.DrillObject(key).Count(), 0) << key;
  }
}

TEST(DrillDown, ChartMapItemsStoreWhatAGivenCMDrillObjectWould) {
  cDrillDown given;
  cDrillDown made;
  cDrillDown prepared;  // the request read once, as repeat rows register it
  Requests requests;
  xml::Document scratch = xml::Document::Parse("<Scratch/>");
  const auto cm_drill = [&](const char* code) {
    xml::Node object = scratch.CreateElement("CMDrill");
    object.SetAttribute("Folder", "CM.TB");
    object.SetAttribute("Code", code);
    return object;
  };
  // Lower-case values: the signature is upper-cased as a whole.
  const cDrillDown::Request request(requests.Balance("a", "0", "1"));
  for (const char* code : {"4000", "4100", "4000", "", "4100a"}) {
    const std::string signature = std::string("CM.TB") + (*code ? ":" : "") + code;
    const std::string key =
        made.AddChartMapDrillItem(signature, "CM.TB", code, requests.Balance("a", "0", "1"));
    EXPECT_EQ(given.AddCMDrillDownItem(signature, cm_drill(code), requests.Balance("a", "0", "1")),
              key);
    EXPECT_EQ(prepared.AddChartMapDrillItem(signature, "CM.TB", code, &request), key);
  }
  EXPECT_EQ(made.DrillKeys().Xml(), given.DrillKeys().Xml());
  EXPECT_EQ(prepared.DrillKeys().Xml(), given.DrillKeys().Xml());
  EXPECT_EQ(made.GetAsXML("Objects").Xml(), given.GetAsXML("Objects").Xml());
  EXPECT_EQ(prepared.GetAsXML("Objects").Xml(), given.GetAsXML("Objects").Xml());
  EXPECT_EQ(made.GetAsXML("Objects").ChildNodes().Length(), 4u);
  try {
    made.AddChartMapDrillItem("CM.TB", "CM.TB", "", xml::Node());
    FAIL() << "a Nothing BalanceDef fails";
  } catch (const Error& failure) {
    EXPECT_EQ(failure.Source(), "AddCMDrillDownItem");
  }
  try {
    prepared.AddChartMapDrillItem("CM.TB", "CM.TB", "", nullptr);
    FAIL() << "a missing request fails";
  } catch (const Error& failure) {
    EXPECT_EQ(failure.Source(), "AddCMDrillDownItem");
  }
  // The failed calls used up their numbers.
  EXPECT_EQ(prepared.AddChartMapDrillItem("CM.TB", "CM.TB", "", &request), "DrillItem7");
}

TEST(DrillDown, KeysAndObjectsAskedForBetweenRegistrationsStayInStep) {
  cDrillDown made;
  cDrillDown given;
  Requests requests;
  xml::Document scratch = xml::Document::Parse("<Scratch/>");
  const auto both = [&](const char* code, const char* year) {
    const std::string signature = std::string("CM.TB:") + code;
    xml::Node object = scratch.CreateElement("CMDrill");
    object.SetAttribute("Folder", "CM.TB");
    object.SetAttribute("Code", code);
    EXPECT_EQ(made.AddChartMapDrillItem(signature, "CM.TB", code, requests.Balance("a", year, "1")),
              given.AddCMDrillDownItem(signature, object, requests.Balance("a", year, "1")));
  };
  both("4000", "0");
  both("4000", "0");
  const xml::Node keys = made.DrillKeys();
  EXPECT_EQ(keys.ChildNodes().Length(), 2u);
  const xml::Node first = made.DrillObject("DrillItem2").Item(1);
  both("4100", "1");
  both("4000", "1");
  // The list asked for again holds the later keys too, after the earlier ones.
  EXPECT_EQ(made.DrillKeys().Xml(), given.DrillKeys().Xml());
  EXPECT_EQ(keys.ChildNodes().Length(), 4u);
  // An object keeps its node once made.
  EXPECT_EQ(made.DrillObject("DrillItem1").Item(1).Raw(), first.Raw());
  EXPECT_EQ(made.GetAsXML("Objects").Xml(), given.GetAsXML("Objects").Xml());
  EXPECT_EQ(made.DrillObject("DrillItem4").Item(1).AttributeOr("DDKFieldBalancePeriods", ""), "1");
}

}  // namespace
}  // namespace orvo
