// Reading report definitions: the queue's Rep and Fav entries, groups,
// header, body and footer entries, kept sections and page setups.
//
// Definitions are addressed by position, not by the names of their list
// containers, so the readers here count element children (text and comment
// nodes do not count) and never look at a container's name:
//
//   Rep   1 groups (Grp)  2 headers (Hdr)  3 body (Bdy, BSec)  4 footers (Ftr)
//         5 page setup  6, 7 not read  8 data-column override (optional)
//   Grp   1 sub-groups  2 headers  3 body  4 footers  5 print condition
//         6 page setup
//   Hdr, Ftr, Bdy   1 print condition; a Bdy's 5th child is its inline format
//   BSec  1 body list  2 print condition
//
// A print condition is the text of its element; empty text means always
// printed. A missing child reads as a null node (and an empty condition).
// Nothing here changes a definition.
#ifndef ORVO_PREVIEW_REPORT_DEF_H_
#define ORVO_PREVIEW_REPORT_DEF_H_

#include <string>
#include <string_view>

#include "frame/int16.h"
#include "orvo/xml.h"

namespace orvo {

// A report definition (Rep).
class ReportDefinition {
 public:
  explicit ReportDefinition(xml::Node report) : m_report(std::move(report)) {}

  const xml::Node& Node() const { return m_report; }
  std::string Key() const;
  // The page orientation OR as a 16-bit number, 1 when OR is missing or
  // empty; raises the type mismatch for text that is no number and the
  // overflow failure beyond 16 bits.
  Int16 Orientation() const;
  // The key of the report's data-column configuration (DCC), "" when none.
  std::string DataColumnConfiguration() const;

  xml::Node Groups() const;
  xml::Node Headers() const;
  xml::Node Body() const;
  xml::Node Footers() const;
  xml::Node PageSetup() const;
  // The data-column override appended by AddReport, or null.
  xml::Node DataColumnOverride() const;

 private:
  xml::Node m_report;
};

// A group (Grp).
class GroupDefinition {
 public:
  explicit GroupDefinition(xml::Node group) : m_group(std::move(group)) {}

  const xml::Node& Node() const { return m_group; }
  xml::Node SubGroups() const;
  xml::Node Headers() const;
  xml::Node Body() const;
  xml::Node Footers() const;
  std::string PrintCondition() const;
  xml::Node PageSetup() const;
  // The group's orientation: its OR, or for "!" (and a missing or empty OR)
  // `enclosing`, the orientation of the nearest enclosing group that has its
  // own, else the report's. Fails as ReportDefinition::Orientation does.
  Int16 Orientation(Int16 enclosing) const;
  std::string DataColumnConfiguration() const;  // DCC
  std::string DataColumnId() const;             // DCID

 private:
  xml::Node m_group;
};

// Hdr, Ftr, Bdy: the format's key (Name) and the print condition.
std::string EntryFormatName(const xml::Node& entry);
std::string EntryPrintCondition(const xml::Node& entry);
// A Bdy's inline format (its 5th child), or null.
xml::Node EntryInlineFormat(const xml::Node& entry);

// BSec: the body list and the print condition.
xml::Node SectionBody(const xml::Node& section);
std::string SectionPrintCondition(const xml::Node& section);

// A page setup element: Ovr not 0 means the element has a setup of its
// own; margins are copied as written ("!" is the printer default).
struct PageSetupValues {
  bool own = false;
  std::string bottom, left, right, top;
};
// A null node, or an Ovr that is empty or 0, reads as no setup of its own.
PageSetupValues ReadPageSetup(const xml::Node& setup);

// Whether a queue entry is a reference to a stored report ("Fav", in any
// letter case).
bool IsFavourite(const xml::Node& entry);
// The stored report a Fav names: the first Rep child of `report_library`
// whose Key equals the upper-cased Rep attribute of the Fav; null when there
// is none (the entry then builds nothing).
xml::Node FindStoredReport(const xml::Node& report_library, const xml::Node& favourite);

}  // namespace orvo

#endif  // ORVO_PREVIEW_REPORT_DEF_H_
