#include "preview/pagination.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvo/header_footer.h"
#include "preview/preview_state.h"

namespace orvo {
namespace {

// The thread's preview state with record lists parsed from `text`: an
// element holding PgBks, SpFs, SpFsH, SpFsF and KpSections.
class RecordLists {
 public:
  explicit RecordLists(const std::string& text) : m_document(xml::Document::Parse(text)) {
    const xml::Node root = m_document.DocumentElement();
    SharedPreviewState::Containers containers;
    for (xml::Node* slot :
         {&containers.print_conditions, &containers.print_conditions_2, &containers.named_ranges,
          &containers.included_notes, &containers.rows_to_ignore}) {
      *slot = m_document.CreateElement("List");
    }
    containers.page_setups = root.SelectSingleNode("PgBks");
    containers.body_fillers = root.SelectSingleNode("SpFs");
    containers.header_fillers = root.SelectSingleNode("SpFsH");
    containers.footer_fillers = root.SelectSingleNode("SpFsF");
    containers.kept_sections = root.SelectSingleNode("KpSections");
    SharedPreviewState::StartReportBuild(containers);
  }

  // "Name:attribute=value,..." per record.
  std::string Listing() const {
    std::string listing;
    for (const xml::Node& record : m_document.DocumentElement().SelectNodes("*/*")) {
      listing += record.Name() + ":";
      const xml::NamedNodeMap attributes = record.Attributes();
      for (std::size_t i = 0; i < attributes.Length(); ++i) {
        listing += attributes.Item(i).Name() + "=" + attributes.Item(i).Text() + ",";
      }
      listing += " ";
    }
    return listing;
  }

 private:
  xml::Document m_document;
};

TEST(RowDeletionShifts, RecordsFollowTheDeletedRows) {
  {
    RecordLists lists(
        "<R><PgBks><PgB Row='7'/><PgB Row='4'/></PgBks><SpFs/><SpFsH/><SpFsF/>"
        "<KpSections/></R>");
    RowDeletionShifts shifts;
    shifts.RowDeleted(4);
    shifts.Apply();
    EXPECT_EQ(lists.Listing(), "PgB:Row=6, PgB:Row=4, ");
  }
  {
    RecordLists lists(
        "<R><PgBks/><SpFs><SF Start='10' End='12' Col='2'/></SpFs><SpFsH/><SpFsF/>"
        "<KpSections/></R>");
    RowDeletionShifts shifts;
    shifts.RowDeleted(9);
    shifts.Apply();
    EXPECT_EQ(lists.Listing(), "SF:Start=9,End=11,Col=2, ");
  }
  for (const auto& [row, expected] :
       std::vector<std::pair<int, std::string>>{{6, "Sect:Start=5,End=7,Key=K, "},
                                                {3, "Sect:Start=4,End=7,Key=K, "},
                                                {8, "Sect:Start=5,End=7,Key=K, "},
                                                {9, "Sect:Start=5,End=8,Key=K, "}}) {
    RecordLists lists(
        "<R><PgBks/><SpFs/><SpFsH/><SpFsF/>"
        "<KpSections><Sect Start='5' End='8' Key='K'/></KpSections></R>");
    RowDeletionShifts shifts;
    shifts.RowLeftKeptSections(row);
    shifts.Apply();
    EXPECT_EQ(lists.Listing(), expected) << "row " << row;
  }
  {
    // Text that is no number stays; the header and footer ranges move at once.
    RecordLists lists("<R><PgBks><PgB Row='x'/></PgBks><SpFs/><SpFsH/><SpFsF/><KpSections/></R>");
    const xml::Document blocks = xml::Document::Parse("<Fmt><Itms><Row/></Itms></Fmt>");
    ThreadPreviewState().Headers()->AddHeaderFooter(10, blocks.DocumentElement(), {});
    RowDeletionShifts shifts;
    shifts.RowDeleted(2);
    EXPECT_EQ(ThreadPreviewState().Headers()->GetAsXML("H").FirstChild().AttributeOr("End", ""),
              "9");
    shifts.Apply();
    EXPECT_EQ(lists.Listing(), "PgB:Row=x, ");
  }
}

// All at once, as deleting the rows one by one (the plain reading of the
// shift rules), for rows from the highest down and in any order.
TEST(RowDeletionShifts, AllAtOnceEqualsOneByOne) {
  std::mt19937 random(4242);
  for (int round = 0; round < 30; ++round) {
    std::string text = "<R><PgBks>";
    for (int i = 0; i < 20; ++i) text += "<PgB Row='" + std::to_string(random() % 60) + "'/>";
    text += "</PgBks><SpFs>";
    for (int i = 0; i < 20; ++i) {
      const long start = static_cast<long>(random() % 60);
      text += "<SF Start='" + std::to_string(start) + "' End='" +
              std::to_string(start + static_cast<long>(random() % 8)) + "'/>";
    }
    text += "</SpFs><SpFsH/><SpFsF/><KpSections>";
    for (int i = 0; i < 20; ++i) {
      const long start = static_cast<long>(random() % 60);
      text += "<Sect Start='" + std::to_string(start) + "' End='" +
              std::to_string(start + static_cast<long>(random() % 8)) + "'/>";
    }
    text += "</KpSections></R>";

    std::vector<std::int32_t> deleted;
    std::vector<std::int32_t> kept;
    for (std::int32_t row = 60; row >= 0; --row) {
      if (random() % 3 == 0) deleted.push_back(row);
      if (random() % 3 == 0) kept.push_back(row);
    }
    if (round % 5 == 4) std::shuffle(deleted.begin(), deleted.end(), random);

    // One by one.
    xml::Document expected = xml::Document::Parse(text);
    for (xml::Node record : expected.DocumentElement().SelectNodes("*/*")) {
      const bool section = record.Name() == "Sect";
      for (const char* name : {"Row", "Start", "End"}) {
        const auto found = record.GetAttribute(name);
        if (!found) continue;
        long value = std::stol(*found);
        const bool or_equal = section && std::string(name) == "End";
        for (const std::int32_t row : section ? kept : deleted) {
          if (value > row || (or_equal && value == row)) --value;
        }
        record.SetAttribute(name, std::to_string(value));
      }
    }
    RecordLists lists(text);
    RowDeletionShifts shifts;
    for (const std::int32_t row : deleted) shifts.RowDeleted(row);
    for (const std::int32_t row : kept) shifts.RowLeftKeptSections(row);
    shifts.Apply();
    RecordLists plain(expected.DocumentElement().Xml());
    ASSERT_EQ(lists.Listing(), plain.Listing()) << "round " << round;
  }
}

}  // namespace
}  // namespace orvo
