// The parser with definitions: a workspace's bookmarks, named ranges and
// chart-map folders, and a host-supplied data driver and database map.
#include <gtest/gtest.h>

#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/thread_context.h"
#include "orvo/error.h"
#include "orvo/parser.h"
#include "orvo/providers.h"
#include "support/failure_of.h"
#include "support/fake_components.h"
#include "support/temp_workspace.h"

namespace orvo {
namespace {

using testing::FailureOf;
using testing::FakeCommandFactory;
using testing::FakeDriver;
using testing::ScopedRegistration;
using testing::TempWorkspace;

class OrdersField : public IDatabaseMapField {
 public:
  std::string Name() const override { return "Amount"; }
};
class OrdersTable : public IDatabaseMapTable {
 public:
  std::string Name() const override { return "Orders"; }
  std::shared_ptr<IDatabaseMapField> Field(const std::string& name) override {
    return EqualsIgnoreCase(name, "AMOUNT") ? std::make_shared<OrdersField>() : nullptr;
  }
};
class OrdersOnlyMap : public IDatabaseMapProvider {
 public:
  void Init(const xml::Node&) override {}
  std::shared_ptr<IDatabaseMapTable> Table(const std::string& name) override {
    return EqualsIgnoreCase(name, "ORDERS") ? std::make_shared<OrdersTable>() : nullptr;
  }
  std::int32_t RecordCount(const std::string&, const std::string&) override { return 0; }
  std::string FieldValue(const std::string&, const std::string&, std::int32_t,
                         const std::string&) override {
    return "";
  }
  xml::Node Records(const std::string&) override { return {}; }
};

class ParserWithDefinitions : public ::testing::Test {
 protected:
  void SetUp() override {
    // A data driver that answers only the supported-fields function.
    static FakeDriver driver;
    driver.answers["SupportedProductFields_DDKFunction"] = {
        "<Fields><F Name='AMOUNT'/><F Name='QUANTITY'/></Fields>"};
    m_registered.Register(kCommandFactoryId,
                          [] { return std::make_shared<FakeCommandFactory>(driver); });
    m_registered.Register(kDatabaseMapProviderId, [] { return std::make_shared<OrdersOnlyMap>(); });
    m_workspace.WriteStandard();  // bookmark NOTE1, named range SALES, folders REVENUE, OTHER
  }

  // Parses in a fresh thread context initialised with the workspace.
  std::pair<std::string, std::vector<std::string>> Parse(const std::string& text,
                                                         bool converting = false) {
    std::pair<std::string, std::vector<std::string>> result;
    InFreshContext([&] {
      cParser parser;
      parser.Init(m_workspace.LaunchProperties());
      parser.Converting(converting);
      parser.TokenFromString(text);
      result.first = parser.ParsedValue().Xml();
      for (const xml::Node& error : parser.ErrorCollection().ChildNodes()) {
        result.second.push_back(error.AttributeOr("Desc", ""));
      }
    });
    return result;
  }

  ScopedRegistration m_registered;
  TempWorkspace m_workspace;
};

using Messages = std::vector<std::string>;

TEST_F(ParserWithDefinitions, DefinedNamesBecomeOperands) {
  auto parsed = Parse("=Sales+Note(NOTE1)+CM.Revenue.DR+CM.Other.TCR+DB.Orders.Amount");
  EXPECT_TRUE(parsed.second.empty());
  EXPECT_NE(parsed.first.find("<EI Typ=\"TNr\" Val=\"Sales\"/>"), std::string::npos);
  EXPECT_NE(parsed.first.find("<EI Typ=\"TBm\" Val=\"NOTE1\"/>"), std::string::npos);
  EXPECT_NE(parsed.first.find("<EI Typ=\"TCM\" Val=\"CM.Revenue.DR\"/>"), std::string::npos);
  EXPECT_NE(parsed.first.find("<EI Typ=\"TDB\" Val=\"DB.Orders.Amount\"/>"), std::string::npos);
  // A bookmark inside iNote is accepted without an operand.
  auto inote = Parse("=iNote(NOTE1)");
  EXPECT_TRUE(inote.second.empty());
  EXPECT_EQ(inote.first.find("TBm"), std::string::npos);
}

TEST_F(ParserWithDefinitions, DataFieldsFollowTheirEnclosingFunction) {
  auto amount = Parse("=LY(AMOUNT)+AMOUNT+LY(Sum(A1)+AMOUNT)");
  EXPECT_TRUE(amount.second.empty());
  EXPECT_NE(amount.first.find("<EIs><EI Typ=\"TDRLY\" Val=\"AMOUNT\"/><EI Typ=\"TDR\" "
                              "Val=\"AMOUNT\"/><EI Typ=\"TCR\" Val=\"A1\"/><EI Typ=\"TDR\" "
                              "Val=\"AMOUNT\"/></EIs>"),
            std::string::npos)
      << amount.first;
  // After "," inside AccountValue, and inside NextRecord, a field names the call.
  auto named = Parse("=AccountValue(\"4000\",AMOUNT)+NextRecord(QUANTITY)");
  EXPECT_TRUE(named.second.empty());
  EXPECT_EQ(named.first.find("TDR"), std::string::npos) << named.first;
}

TEST_F(ParserWithDefinitions, MissingDefinitionsGiveTheirMessages) {
  EXPECT_EQ(
      Parse("=CM.Nowhere+Note(NOPE)").second,
      (Messages{"Chart map folder does not exist", "Bookmark does not exists",
                "Expression cannot be evaluated: NOPE", "Expression cannot be evaluated: NOPE"}));
  EXPECT_EQ(Parse("=DB.Invoices.Total+DB.Orders.Qty+RecordCount(DB.Invoices)").second,
            (Messages{"Database map table does not exist", "Database map field does not exist",
                      "Table 'Invoices' doesn't exist"}));
  // A name that is a bookmark is not reported twice.
  EXPECT_EQ(Parse("=NOTE1+1").second, (Messages{"Expression cannot be evaluated: NOTE1"}));
}

TEST_F(ParserWithDefinitions, AFailingDriverEndsTheParseWithOneMessage) {
  m_registered.Register(kCommandFactoryId, [] {
    struct Broken : IComponent, ICommandFactory {
      std::shared_ptr<ICommand> CreateCommand(std::int32_t, const std::string&) override {
        RaiseError("Ledger", "unavailable");
        return nullptr;
      }
    };
    return std::make_shared<Broken>();
  });
  auto parsed = Parse("=A1*Unknown");
  EXPECT_EQ(parsed.first, "<PEx/>");
  // The operator is the first token that asks the driver for its fields.
  EXPECT_EQ(parsed.second, (Messages{"Error evaluating : *"}));
}

TEST_F(ParserWithDefinitions, FailuresWhileParsingBecomeMessagesAndStayWithTheProvider) {
  // An unreadable workspace file ends the parse of a formula that needs it
  // with the summary message; nothing is raised to the parser's caller.
  m_workspace.Write("named_ranges.xml", "<NamedRangeDefinitions><Nrg");
  auto parsed = Parse("=Sales+1");
  EXPECT_EQ(parsed.first, "<PEx/>");
  EXPECT_EQ(parsed.second, (Messages{"Error evaluating : Sales"}));
  // Asked directly, the provider raises the failure, naming the file.
  InFreshContext([&] {
    cParser parser;
    parser.Init(m_workspace.LaunchProperties());
    const Error failure = FailureOf([] { GetStoreContext()->NamedRangeDefinitions(); });
    EXPECT_NE(failure.Description().find("named_ranges.xml"), std::string::npos);
  });

  // A mixed text whose brace stands beyond 16-bit positions: one message.
  auto beyond = Parse(std::string(40000, 'x') + "{A1");
  EXPECT_EQ(beyond.first, "<PEx/>");
  EXPECT_EQ(beyond.second, (Messages{"Error parsing expression"}));

  // Anything but an orvo::Error is no failure of the formula: it passes on.
  m_workspace.WriteStandard();
  m_registered.Register(kCommandFactoryId, [] {
    struct Defective : IComponent, ICommandFactory {
      std::shared_ptr<ICommand> CreateCommand(std::int32_t, const std::string&) override {
        throw std::logic_error("defective component");
      }
    };
    return std::make_shared<Defective>();
  });
  EXPECT_THROW(Parse("=A1*Unknown"), std::logic_error);
}

}  // namespace
}  // namespace orvo
