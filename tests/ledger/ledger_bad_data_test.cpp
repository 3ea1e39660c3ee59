#include <gtest/gtest.h>

#include <string>

#include "ledger/ledger_test_workspace.h"
#include "orvo/error.h"

namespace orvo::ledger::testing {
namespace {

namespace fs = std::filesystem;

TEST(LedgerBadData, ControlCharactersInAccountTextsGiveWellFormedAnswers) {
  fs::path folder = NewSampleWorkspace("bad_text");
  LedgerWriter(folder / "ledger.sqlite")
      .Execute(
          "UPDATE accounts SET description = 'Sales' || char(1) || ' net' || CAST(X'FF' AS TEXT),"
          " account_type = 'REVENUE' || char(27) WHERE main_code = '4000';");
  const std::string held = "Sales\xEF\xBF\xBD net\xEF\xBF\xBD";
  CLedgerCommandFactory factory;
  factory.OpenWorkspace(folder.string());

  xml::Node value = RunFunction(factory, "AccountValue_DDKFunction",
                                {{"CODE", {"4000"}}, {"FIELD", {"DESCRIPTION"}}});
  EXPECT_EQ(value.AttributeOr("DESCRIPTION", ""), held);
  EXPECT_EQ(value.AttributeOr("TYPE", ""), "REVENUE\xEF\xBF\xBD");
  EXPECT_NO_THROW(xml::Document::Parse(value.Xml()));

  xml::Node repeat = RunFunction(factory, "RepeatingBalance_DDKFunction",
                                 {{"DDKFieldFromCode", {"4000"}}, {"DDKFieldToCode", {"4000"}}});
  ASSERT_EQ(Records(repeat).size(), 1u);
  EXPECT_EQ(Records(repeat)[0].AttributeOr("DESCRIPTION", ""), held);
  EXPECT_NO_THROW(xml::Document::Parse(repeat.Xml()));
}

TEST(LedgerBadData, FailuresNameTheLedgerAndWhatWasAskedFor) {
  fs::path folder = NewSampleWorkspace("bad_configuration");
  LedgerWriter(folder / "ledger.sqlite")
      .Execute(
          "UPDATE column_configurations SET definition = '<DC Key=\"MONTHLY\"' "
          "WHERE name = 'MONTHLY';");
  CLedgerCommandFactory factory;
  factory.OpenWorkspace(folder.string());
  try {
    RunFunction(factory, "DriverDynamicColumnConfiguration_DDKFunction", {{"Name", {"MONTHLY"}}});
    ADD_FAILURE() << "no failure";
  } catch (const Error& failure) {
    EXPECT_EQ(failure.Source(), "DriverDynamicColumnConfiguration_DDKFunction");
    EXPECT_NE(failure.Description().find("'MONTHLY'"), std::string::npos);
    EXPECT_NE(failure.Description().find((folder / "ledger.sqlite").string()), std::string::npos)
        << failure.Description();
  }
  try {
    RunFunction(factory, "AccountValue_DDKFunction", {{"CODE", {"99999"}}});
    ADD_FAILURE() << "no failure";
  } catch (const Error& failure) {
    EXPECT_NE(failure.Description().find("'99999'"), std::string::npos);
    EXPECT_NE(failure.Description().find((folder / "ledger.sqlite").string()), std::string::npos)
        << failure.Description();
  }
}

}  // namespace
}  // namespace orvo::ledger::testing
