#include "preview/report_def.h"

#include "evaluate/style_record.h"
#include "frame/text.h"
#include "frame/text_value.h"

namespace orvo {
namespace {

std::string ConditionText(const xml::Node& element) {
  return element ? element.Text() : std::string();
}

}  // namespace

std::string ReportDefinition::Key() const { return m_report.AttributeOr("Key", ""); }

Int16 ReportDefinition::Orientation() const {
  const std::string text = m_report.AttributeOr("OR", "");
  return Trim(text).empty() ? Int16{1} : ToInt16(TextToLong(text));
}

std::string ReportDefinition::DataColumnConfiguration() const {
  return m_report.AttributeOr("DCC", "");
}

xml::Node ReportDefinition::Groups() const { return ChildElement(m_report, 1); }
xml::Node ReportDefinition::Headers() const { return ChildElement(m_report, 2); }
xml::Node ReportDefinition::Body() const { return ChildElement(m_report, 3); }
xml::Node ReportDefinition::Footers() const { return ChildElement(m_report, 4); }
xml::Node ReportDefinition::PageSetup() const { return ChildElement(m_report, 5); }
xml::Node ReportDefinition::DataColumnOverride() const { return ChildElement(m_report, 8); }

xml::Node GroupDefinition::SubGroups() const { return ChildElement(m_group, 1); }
xml::Node GroupDefinition::Headers() const { return ChildElement(m_group, 2); }
xml::Node GroupDefinition::Body() const { return ChildElement(m_group, 3); }
xml::Node GroupDefinition::Footers() const { return ChildElement(m_group, 4); }
std::string GroupDefinition::PrintCondition() const {
  return ConditionText(ChildElement(m_group, 5));
}
xml::Node GroupDefinition::PageSetup() const { return ChildElement(m_group, 6); }

Int16 GroupDefinition::Orientation(Int16 enclosing) const {
  const std::string text = m_group.AttributeOr("OR", "");
  if (text == "!" || Trim(text).empty()) return enclosing;
  return ToInt16(TextToLong(text));
}

std::string GroupDefinition::DataColumnConfiguration() const {
  return m_group.AttributeOr("DCC", "");
}
std::string GroupDefinition::DataColumnId() const { return m_group.AttributeOr("DCID", ""); }

std::string EntryFormatName(const xml::Node& entry) { return entry.AttributeOr("Name", ""); }
std::string EntryPrintCondition(const xml::Node& entry) {
  return ConditionText(ChildElement(entry, 1));
}
xml::Node EntryInlineFormat(const xml::Node& entry) { return ChildElement(entry, 5); }

xml::Node SectionBody(const xml::Node& section) { return ChildElement(section, 1); }
std::string SectionPrintCondition(const xml::Node& section) {
  return ConditionText(ChildElement(section, 2));
}

PageSetupValues ReadPageSetup(const xml::Node& setup) {
  PageSetupValues values;
  if (!setup) return values;
  const std::string override_flag = setup.AttributeOr("Ovr", "");
  values.own = !Trim(override_flag).empty() && TextToLong(override_flag) != 0;
  values.bottom = setup.AttributeOr("Bottom", "");
  values.left = setup.AttributeOr("Left", "");
  values.right = setup.AttributeOr("Right", "");
  values.top = setup.AttributeOr("Top", "");
  return values;
}

bool IsFavourite(const xml::Node& entry) { return EqualsIgnoreCase(entry.Name(), "Fav"); }

xml::Node FindStoredReport(const xml::Node& report_library, const xml::Node& favourite) {
  if (!report_library) return {};
  const std::string key = UpperCase(favourite.AttributeOr("Rep", ""));
  for (xml::Node report = FirstElement(report_library); report; report = NextElement(report)) {
    if (report.Name() == "Rep" && report.GetAttribute("Key") == key) return report;
  }
  return {};
}

}  // namespace orvo
