#include "orvo/sample_workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "orvo/error.h"
#include "orvo/xml.h"
#include "sample/sample_chart.h"
#include "support/sample_folders.h"

namespace orvo::sample {
namespace {

namespace fs = std::filesystem;
using orvo::testing::FreshFolder;
using orvo::testing::kSmallAccounts;
using orvo::testing::SmallWorkspace;

std::string ReadText(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

xml::Document Load(const std::string& file) {
  return xml::Document::Parse(ReadText(fs::path(SmallWorkspace()) / file));
}

TEST(SampleWorkspace, SameStartValueGivesTheSameFiles) {
  fs::path again = FreshFolder("again");
  SampleOptions options;
  options.accounts = kSmallAccounts;
  WriteSampleWorkspace(again.string(), options);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(SmallWorkspace())) {
    std::string name = entry.path().filename().string();
    names.insert(name);
    EXPECT_EQ(ReadText(entry.path()), ReadText(again / name)) << name;
  }
  EXPECT_EQ(names, (std::set<std::string>{"bookmarks.xml", "chart_map.xml", "data_columns.xml",
                                          "formats.xml", "ledger.sqlite", "named_ranges.xml",
                                          "reports.xml", "styles.xml", "workspace.xml"}));
  // What a caller asks before replacing a workspace covers every file written.
  const std::vector<std::string> existing = ExistingSampleFiles(SmallWorkspace());
  EXPECT_EQ(std::set<std::string>(existing.begin(), existing.end()), names);
  EXPECT_TRUE(ExistingSampleFiles((again / "nowhere").string()).empty());

  fs::path other = FreshFolder("other");
  options.generator_start = 2;
  WriteSampleWorkspace(other.string(), options);
  EXPECT_NE(ReadText(fs::path(SmallWorkspace()) / "ledger.sqlite"),
            ReadText(other / "ledger.sqlite"));
  options.accounts = 10;
  EXPECT_THROW(WriteSampleWorkspace(other.string(), options), Error);
}

TEST(SampleWorkspace, DefinitionsReferToThingsThatExist) {
  xml::Document chart_map = Load("chart_map.xml");
  xml::Document formats = Load("formats.xml");
  auto folder_exists = [&](const std::string& key) {
    return static_cast<bool>(chart_map.SelectSingleNode("//Folder[ItemKey='" + key + "']"));
  };

  // Every chart-map reference in a formula, and every mapping, names a folder.
  std::size_t references = 0;
  for (const xml::Node& item : formats.SelectNodes("//Itm")) {
    std::string value = item.AttributeOr("Value", "");
    for (std::size_t at = value.find("CM."); at != std::string::npos;
         at = value.find("CM.", at + 1)) {
      std::size_t end = at + 3;
      while (end < value.size() &&
             (std::isupper(static_cast<unsigned char>(value[end])) || value[end] == '_')) {
        ++end;
      }
      EXPECT_TRUE(folder_exists(value.substr(at + 3, end - at - 3))) << value;
      ++references;
    }
  }
  EXPECT_GT(references, 40u);
  for (const xml::Node& mapping : chart_map.SelectNodes("//Mapping")) {
    EXPECT_TRUE(folder_exists(mapping.AttributeOr("Name", ""))) << mapping.Xml();
  }

  // Reports name stored formats; bookmarks and named ranges name formats.
  auto format_exists = [&](const std::string& key) {
    return static_cast<bool>(formats.SelectSingleNode("//Fmt[@Key='" + key + "']"));
  };
  xml::Document reports = Load("reports.xml");
  EXPECT_EQ(reports.SelectNodes("/Reports/Rep").Length(), 4u);
  for (const xml::Node& entry : reports.SelectNodes("//Hdr | //Bdy | //Ftr")) {
    EXPECT_TRUE(format_exists(entry.AttributeOr("Name", ""))) << entry.Xml();
  }
  for (const char* file : {"bookmarks.xml", "named_ranges.xml"}) {
    for (const xml::Node& definition : Load(file).DocumentElement().ChildNodes()) {
      EXPECT_TRUE(format_exists(definition.AttributeOr("Fmt", ""))) << definition.Xml();
      std::string key = definition.AttributeOr("Key", "");
      EXPECT_TRUE(!key.empty() && std::none_of(key.begin(), key.end(), ::islower)) << key;
    }
  }

  // The trial balance repeats over accounts; its items keep the item layout
  // (the fourth attribute holds the formula, Stl is the second child).
  xml::Node repeat = formats.SelectSingleNode("//Fmt[@Key='TRIAL_BALANCE']/Rpts/Rpt");
  ASSERT_TRUE(repeat);
  EXPECT_EQ(repeat.AttributeOr("Typ", ""), "1");
  EXPECT_EQ(repeat.FirstChild().Text(), "CM.TRIALBALANCE");
  xml::Node item = formats.SelectSingleNode("//Fmt[@Key='TRIAL_BALANCE']//Itm[@Key='C2']");
  ASSERT_TRUE(item);
  EXPECT_EQ(item.Attributes().Item(3).Name(), "Value");
  EXPECT_EQ(item.ChildNodes().Item(1).Name(), "Stl");

  // The customer list repeats over the database map's records.
  xml::Node customers = formats.SelectSingleNode("//Fmt[@Key='CUSTOMERS']/Rpts/Rpt");
  ASSERT_TRUE(customers);
  EXPECT_EQ(customers.AttributeOr("Typ", ""), "2");
  EXPECT_EQ(customers.FirstChild().Text(), "DB.Customers; Sort=Revenue DESC");
}

TEST(SampleWorkspace, ChartHasTheRequestedSizeAndWidensItsCodes) {
  for (int size : {40, 60, 300, 20000}) {
    SampleRandom random(7);
    SampleChart chart(size, random);
    EXPECT_EQ(static_cast<int>(chart.Accounts().size()), size);
    std::set<std::string> codes;
    for (const SampleAccount& account : chart.Accounts()) codes.insert(account.code);
    EXPECT_EQ(codes.size(), chart.Accounts().size()) << size;
    EXPECT_EQ(chart.MainWidth(), size > 2000 ? 6 : 4) << size;
    EXPECT_EQ(chart.Accounts().front().main_code, chart.Code(1000));
  }
}

}  // namespace
}  // namespace orvo::sample
