#include "orvo/named_range.h"

#include <gtest/gtest.h>

#include "frame/named_range_lookup.h"
#include "frame/thread_context.h"
#include "support/fake_components.h"

namespace orvo {
namespace {

TEST(NamedRange, PropertiesStartEmptyAndKeepWhatIsSet) {
  cNamedRange range;
  EXPECT_EQ(range.RangeName() + range.FormatName() + range.StartingColumn() + range.EndingColumn(),
            "");
  EXPECT_EQ(range.StartingRow() + range.EndingRow(), 0);
  range.StartingColumn("AD");
  range.EndingRow(-1);
  EXPECT_EQ(range.StartingColumn(), "AD");
  EXPECT_EQ(range.EndingRow(), -1);
  EXPECT_EQ(range.EndingColumn(), "");
}

TEST(NamedRangeLookup, NamesAreTrimmedAndUpperCased) {
  // The store context hands its definitions out as a detached element.
  const xml::Document document = xml::Document::Parse(
      "<Nrgs><Nrg Key=\"COSTS\" Fmt=\"SALES\"/><Nrg Key=\"NET INCOME\" Fmt=\"PL\"/>"
      "<Other Key=\"REVENUE\"/></Nrgs>");
  const xml::Node definitions = document.DocumentElement().CloneNode(true);

  EXPECT_TRUE(IsNamedRange(definitions, "COSTS"));
  EXPECT_TRUE(IsNamedRange(definitions, "  costs "));
  EXPECT_TRUE(IsNamedRange(definitions, "Net Income"));
  EXPECT_FALSE(IsNamedRange(definitions, "Net"));
  EXPECT_FALSE(IsNamedRange(definitions, "Revenue"));  // not an Nrg
  EXPECT_FALSE(IsNamedRange(definitions, ""));

  // A failing query is an answer, not a failure.
  EXPECT_FALSE(IsNamedRange(definitions, "a\"b"));
  EXPECT_FALSE(IsNamedRange(xml::Node(), "COSTS"));
}

TEST(NamedRangeLookup, ThreadEntryPointAsksTheStoreContext) {
  InFreshContext([] {
    EXPECT_FALSE(IsNamedRange("COSTS"));  // no storage provider registered yet

    struct Context : testing::FakeStoreContext {
      xml::Node NamedRangeDefinitions() override { return definitions; }
      xml::Node definitions;
    };
    auto context = std::make_shared<Context>();
    context->definitions =
        xml::Document::Parse("<Nrgs><Nrg Key=\"COSTS\"/></Nrgs>").DocumentElement().CloneNode(true);
    auto provider = std::make_shared<testing::FakeStorageProvider>();
    provider->context = context;
    ComponentRegistry::Register(kStorageProviderId, [provider] { return provider; });
    EXPECT_TRUE(IsNamedRange(" costs"));
    EXPECT_FALSE(IsNamedRange("profit"));
  });
}

}  // namespace
}  // namespace orvo
