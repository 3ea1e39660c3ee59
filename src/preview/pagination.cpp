#include "preview/pagination.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "evaluate/number_text.h"
#include "evaluate/style_record.h"
#include "frame/provider_access.h"
#include "preview/builder_state.h"
#include "preview/preview_document.h"
#include "preview/report_def.h"

namespace orvo {
namespace {

constexpr double kPixelsPerMillimetre = 3.779524;
constexpr const char* kDefaultTopBottom = "94.48809";
constexpr const char* kDefaultLeftRight = "71.81095";

std::optional<std::int64_t> NumberAttribute(const xml::Node& element, std::string_view name) {
  const std::optional<std::string> text = element.GetAttribute(name);
  return text ? ParseWholeNumber(*text) : std::nullopt;
}

bool HasOwnSetup(const xml::Node& setup) {
  return setup && NumberAttribute(setup, "Ovr").value_or(0) != 0;
}

// The page setup that stands for `setup`: itself when it has its own, else
// that of the nearest enclosing group with its own, else the report's.
xml::Node EffectiveSetup(const xml::Node& setup) {
  if (HasOwnSetup(setup)) return setup;
  for (xml::Node node = setup ? setup.ParentNode() : xml::Node(); node; node = node.ParentNode()) {
    if (node.Type() != xml::NodeType::kElement) break;
    if (node.Name() == "Rep") return ReportDefinition(node).PageSetup();
    if (node.Name() == "Grp") {
      const xml::Node group_setup = GroupDefinition(node).PageSetup();
      if (HasOwnSetup(group_setup) && !(group_setup == setup)) return group_setup;
    }
  }
  return setup;
}

std::string PrinterMargin(const char* side) {
  const bool vertical = side[0] == 'B' || side[0] == 'T';
  const char* fallback = vertical ? kDefaultTopBottom : kDefaultLeftRight;
  const std::optional<PrinterMargins> printer = GetStoreContext()->PrinterSettings();
  if (!printer) return fallback;
  const double millimetres = side[0] == 'B'   ? printer->bottom
                             : side[0] == 'L' ? printer->left
                             : side[0] == 'R' ? printer->right
                                              : printer->top;
  if (millimetres == 0) return fallback;
  return NumberToText(millimetres * kPixelsPerMillimetre);
}

// A number attribute of records that moves up one row for each deleted row
// below it (`or_equal`: at or below it).
struct ShiftedAttribute {
  const char* name;
  bool or_equal;
};

// Moves the attributes of the `element` records of `list` for the rows
// deleted in `rows` (in the order deleted). Text that is no whole number
// stays as it is; a number that does not move keeps its text.
void ShiftRecords(const xml::Node& list, std::string_view element,
                  std::initializer_list<ShiftedAttribute> attributes,
                  const std::vector<std::int32_t>& rows) {
  if (!list || rows.empty()) return;
  const bool highest_first =
      std::adjacent_find(rows.begin(), rows.end(), std::less_equal<>()) == rows.end();
  std::vector<std::int32_t> ascending(rows.rbegin(), rows.rend());
  for (xml::Node record = FirstElement(list); record; record = NextElement(record)) {
    if (record.Name() != element) continue;
    for (const ShiftedAttribute& attribute : attributes) {
      const std::optional<std::int64_t> value = NumberAttribute(record, attribute.name);
      if (!value) continue;
      std::int64_t moved = *value;
      if (highest_first) {
        // Deleting from the top, a row below the number moves it by one
        // every time, and no other row ever does.
        const auto below = attribute.or_equal
                               ? std::upper_bound(ascending.begin(), ascending.end(), *value)
                               : std::lower_bound(ascending.begin(), ascending.end(), *value);
        moved -= below - ascending.begin();
      } else {
        for (const std::int32_t row : rows) {
          if (moved > row || (attribute.or_equal && moved == row)) --moved;
        }
      }
      if (moved != *value) record.SetAttribute(attribute.name, std::to_string(moved));
    }
  }
}

constexpr std::initializer_list<ShiftedAttribute> kPageSetupRows = {{"Row", false}};
constexpr std::initializer_list<ShiftedAttribute> kFillerRows = {{"Start", false}, {"End", false}};
constexpr std::initializer_list<ShiftedAttribute> kSectionRows = {{"Start", false}, {"End", true}};

void ShiftDeletedRows(const std::vector<std::int32_t>& rows) {
  SharedPreviewState& state = ThreadPreviewState();
  ShiftRecords(state.page_setups, "PgB", kPageSetupRows, rows);
  ShiftRecords(state.body_fillers, "SF", kFillerRows, rows);
  ShiftRecords(state.header_fillers, "SF", kFillerRows, rows);
  ShiftRecords(state.footer_fillers, "SF", kFillerRows, rows);
}

}  // namespace

void WritePageSetup(BuilderState& builder, const xml::Node& setup, std::int32_t row,
                    Int16 orientation, bool close) {
  SharedPreviewState& state = ThreadPreviewState();
  xml::Node record = builder.templates.NewRecord(RecordKind::kPageSetup);
  const std::string row_text = std::to_string(row);
  record.SetAttribute("Row", row_text);
  record.SetAttribute("OR", std::to_string(orientation));
  const xml::Node effective = EffectiveSetup(setup);
  for (const char* side : {"Bottom", "Left", "Right", "Top"}) {
    const std::string written = effective ? effective.AttributeOr(side, "!") : std::string("!");
    record.SetAttribute(side, written == "!" ? PrinterMargin(side) : written);
  }
  xml::Node& existing = builder.page_setups[row];
  if (existing && existing.ParentNode() == state.page_setups) {
    state.page_setups.ReplaceChild(record, existing);
  } else {
    state.page_setups.AppendChild(record);
  }
  existing = record;
  builder.last_page_setup = setup ? setup.Xml() : std::string();
  if (close) CloseHeaderFooterRange(builder);
}

void CloseHeaderFooterRange(BuilderState& builder) {
  SharedPreviewState& state = ThreadPreviewState();
  const std::int32_t row = builder.body ? builder.body->MaxRow() : 0;
  const xml::Node header_block =
      builder.header ? PreviewDocument(builder.header->Element()) : xml::Node();
  const xml::Node footer_block =
      builder.footer ? PreviewDocument(builder.footer->Element()) : xml::Node();
  state.Headers()->AddHeaderFooter(row, header_block, state.header_fillers);
  state.Footers()->AddHeaderFooter(row, footer_block, state.footer_fillers);
  builder.NewHeaderFooterResults();
  state.header_fillers = builder.templates.NewContainer("SpFsH");
  state.footer_fillers = builder.templates.NewContainer("SpFsF");
}

std::optional<SpaceFillerDefinition> FindSpaceFiller(const xml::Node& format) {
  xml::Node items;
  for (xml::Node child = FirstElement(format); child && !items; child = NextElement(child)) {
    if (child.Name() == "Itms") items = child;
  }
  for (xml::Node row = FirstElement(items); row; row = NextElement(row)) {
    for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
      for (xml::Node child = FirstElement(item); child; child = NextElement(child)) {
        if (child.Name() != "SpFl" || child.Text().empty()) continue;
        SpaceFillerDefinition definition;
        definition.column = item.AttributeOr("Col", "");
        const xml::Node width = ChildElement(item, 5);
        definition.width = width ? width.Text() : std::string();
        definition.portscape = width && width.GetAttribute("PtLs");
        return definition;
      }
    }
  }
  return std::nullopt;
}

void RecordSpaceFiller(BuilderState& builder, const std::optional<SpaceFillerDefinition>& filler,
                       std::int32_t first, std::int32_t last, const xml::Node& fillers) {
  if (!filler || !fillers) return;
  xml::Node record = builder.templates.NewRecord(RecordKind::kSpaceFiller);
  record.SetAttribute("Start", std::to_string(first));
  record.SetAttribute("End", std::to_string(last));
  record.SetAttribute("Col", filler->column);
  record.SetAttribute("Width", filler->width);
  record.SetAttribute("Portscape", filler->portscape ? "-1" : "0");
  xml::Node(fillers).AppendChild(record);
}

void ShiftForDeletedRow(BuilderState& builder, std::int32_t row) {
  static_cast<void>(builder);
  ShiftDeletedRows({row});
  SharedPreviewState& state = ThreadPreviewState();
  state.Headers()->DeleteRow(row);
  state.Footers()->DeleteRow(row);
}

void ShiftKeptSections(BuilderState& builder, std::int32_t row) {
  static_cast<void>(builder);
  ShiftRecords(ThreadPreviewState().kept_sections, "Sect", kSectionRows, {row});
}

void RowDeletionShifts::RowDeleted(std::int32_t row) {
  m_deleted.push_back(row);
  SharedPreviewState& state = ThreadPreviewState();
  state.Headers()->DeleteRow(row);
  state.Footers()->DeleteRow(row);
}

void RowDeletionShifts::RowLeftKeptSections(std::int32_t row) { m_kept.push_back(row); }

void RowDeletionShifts::Apply() const {
  ShiftDeletedRows(m_deleted);
  ShiftRecords(ThreadPreviewState().kept_sections, "Sect", kSectionRows, m_kept);
}

void TidyPageSetups(BuilderState& builder) {
  static_cast<void>(builder);
  SharedPreviewState& state = ThreadPreviewState();
  for (xml::Node setup = FirstElement(state.page_setups); setup;) {
    xml::Node next = NextElement(setup);
    if (setup.AttributeOr("Row", "") == "1") {
      for (xml::Node first = FirstElement(state.page_setups); first; first = NextElement(first)) {
        if (first.AttributeOr("Row", "") == "0") {
          if (first == next) next = NextElement(first);
          state.page_setups.RemoveChild(first);
          break;
        }
      }
      setup.SetAttribute("Row", "0");
    }
    setup = next;
  }
}

void ClipKeptSections(BuilderState& builder) {
  SharedPreviewState& state = ThreadPreviewState();
  const std::int64_t last = builder.body ? builder.body->MaxRow() : 0;
  for (xml::Node section = FirstElement(state.kept_sections); section;) {
    xml::Node next = NextElement(section);
    const std::optional<std::int64_t> start = NumberAttribute(section, "Start");
    const std::optional<std::int64_t> end = NumberAttribute(section, "End");
    if ((start && *start > last) || (end && *end > last)) {
      // Start and End are the record's first and second attributes.
      const xml::Node first_attribute = section.Attributes().Item(0);
      if (first_attribute && !first_attribute.Text().empty()) {
        if (start && *start > last) {
          state.kept_sections.RemoveChild(section);
        } else {
          const xml::Node second_attribute = section.Attributes().Item(1);
          if (second_attribute) xml::Node(second_attribute).SetText(std::to_string(last));
        }
      }
    }
    section = next;
  }
}

}  // namespace orvo
