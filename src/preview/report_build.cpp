#include "preview/report_build.h"

#include <vector>

#include "evaluate/item_bookkeeping.h"
#include "evaluate/style_record.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"
#include "preview/builder_state.h"
#include "preview/dependents.h"
#include "preview/format_evaluation.h"
#include "preview/pagination.h"
#include "preview/preview_document.h"
#include "preview/print_condition.h"
#include "preview/report_def.h"

namespace orvo {
namespace {

constexpr const char* kSource = "BuildReport";

// The number of elements named `name` below `node`.
std::int32_t CountDescendants(const xml::Node& node, std::string_view name) {
  std::int32_t count = 0;
  std::vector<xml::Node> pending{node};
  while (!pending.empty()) {
    const xml::Node current = std::move(pending.back());
    pending.pop_back();
    for (xml::Node child = FirstElement(current); child; child = NextElement(child)) {
      if (child.Name() == name) ++count;
      pending.push_back(child);
    }
  }
  return count;
}

void RequireDepth(int depth) {
  if (depth > ReportBuild::kMaxNesting) {
    RaiseError(kSource, "Groups and kept sections are nested more than " +
                            std::to_string(ReportBuild::kMaxNesting) + " deep");
  }
}

// Whether an element (a list of groups, entries or sections) has children
// to walk; a missing list is an empty one.
std::vector<xml::Node> ElementChildren(const xml::Node& list) {
  std::vector<xml::Node> children;
  for (xml::Node child = FirstElement(list); child; child = NextElement(child)) {
    children.push_back(child);
  }
  return children;
}

}  // namespace

ReportBuild::ReportBuild(BuilderState& builder, xml::Node report)
    : m_builder(builder), m_report(std::move(report)) {}

void ReportBuild::Run() {
  m_builder.CheckCancel();
  ResetPerReportState();
  if (!ResolveFavourite()) return;
  TakeDataColumnOverride();
  StartEvaluatorAndCount();
  StartHeaderFooterResults();
  WriteReportPageSetup();
  ApplyReportDataColumns();
  BuildGroups();
  BuildHeaders();
  BuildFooters();
  BuildBody();
  PrepareEvaluationPasses();
  EvaluatePrintConditions();
  EvaluateBookmarks();
  EvaluateNamedRanges();
  EvaluateHeadersAndFooters();
  CloseLastHeaderFooterRange();
  m_builder.CheckCancel();
  DeleteRows();
  TidyPageSetups();
  ClipKeptSections();
  Finish();
}

// 1. Everything a build fills starts empty.
void ReportBuild::ResetPerReportState() { m_builder.ResetForReport(); }

// 2. A favourite stands for its stored report, for this build only.
bool ReportBuild::ResolveFavourite() {
  if (!IsFavourite(m_report)) return true;
  m_report = FindStoredReport(GetStoreContext()->ReportLibrary(), m_report);
  return static_cast<bool>(m_report);
}

// 3. The data-column override AddReport appended (8th child) is taken out.
void ReportBuild::TakeDataColumnOverride() {
  const xml::Node appended = ReportDefinition(m_report).DataColumnOverride();
  if (appended) {
    m_builder.data_column_override = appended.CloneNode(true);
    m_report.RemoveChild(appended);
    return;
  }
  m_builder.data_column_override = xml::Node();
  // The report's own DCC counts as a use too.
  m_builder.uses_data_columns = !m_report.AttributeOr("DCC", "").empty() ||
                                static_cast<bool>(m_report.SelectSingleNode(".//*[@DCC!='']"));
}

// 4. Evaluation starts at its first level; the sections are counted.
void ReportBuild::StartEvaluatorAndCount() {
  cEvaluate& evaluator = *m_builder.evaluator;
  evaluator.EvaluateAllItems(false);
  evaluator.ForceLevel1Eval(false);
  evaluator.ForceLevel2Eval(false);
  m_builder.sections_done = 0;
  m_builder.section_total = CountDescendants(m_report, "Bdy") + CountDescendants(m_report, "Hdr") +
                            CountDescendants(m_report, "Ftr");
}

// 5. The report's orientation; empty header and footer results.
void ReportBuild::StartHeaderFooterResults() {
  m_builder.orientation = ReportDefinition(m_report).Orientation();
  m_builder.NewHeaderFooterResults();
}

// 6. The page setup of row 0, which closes the (empty) first range.
void ReportBuild::WriteReportPageSetup() {
  WritePageSetup(m_builder, ReportDefinition(m_report).PageSetup(), 0, m_builder.orientation, true);
}

// 7. The report's data-column configuration.
void ReportBuild::ApplyReportDataColumns() {
  if (m_builder.data_column_override) {
    m_builder.data_columns.Override(m_builder.data_column_override);
    return;
  }
  if (!m_builder.uses_data_columns) return;
  const std::optional<std::string> key = m_report.GetAttribute("DCC");
  m_builder.data_columns.ReportConfiguration(key ? *key : std::string());
}

// 8. to 11. The definition's lists, by position.
void ReportBuild::BuildGroups() {
  for (const xml::Node& group : ElementChildren(ReportDefinition(m_report).Groups())) {
    GroupStep(group, ReportDefinition(m_report).Orientation(), 1);
  }
}

void ReportBuild::BuildHeaders() {
  for (const xml::Node& entry : ElementChildren(ReportDefinition(m_report).Headers())) {
    HeaderFooterStep(entry, EntryKind::kHeader);
  }
}

void ReportBuild::BuildFooters() {
  for (const xml::Node& entry : ElementChildren(ReportDefinition(m_report).Footers())) {
    HeaderFooterStep(entry, EntryKind::kFooter);
  }
}

void ReportBuild::BuildBody() { BodyListStep(ReportDefinition(m_report).Body(), 1); }

// 12. The passes evaluate against the body result.
void ReportBuild::PrepareEvaluationPasses() {
  m_builder.evaluator->FormatReference(m_builder.body->Element());
  xml::Node row_template = m_builder.templates.Template(RecordKind::kRow);
  row_template.SetAttribute("Del", "-1");
  row_template.SetAttribute("Keep", "-1");
  m_builder.row_list = true;
}

// 13. to 16. The evaluation passes, each at a higher level.
void ReportBuild::EvaluatePrintConditions() {
  m_builder.FormatName("Evaluating print conditions");
  EvaluationPass();
}

void ReportBuild::EvaluateBookmarks() {
  m_builder.FormatName("Evaluating bookmarks");
  m_builder.evaluator->ForceLevel1Eval(true);
  EvaluationPass();
}

void ReportBuild::EvaluateNamedRanges() {
  m_builder.FormatName("Evaluating named ranges");
  m_builder.evaluator->ForceLevel2Eval(true);
  m_builder.RevalueNamedRanges();
  EvaluationPass();
}

void ReportBuild::EvaluateHeadersAndFooters() {
  cEvaluate& evaluator = *m_builder.evaluator;
  m_builder.FormatName("Evaluating headers and footers");
  evaluator.EvaluateAllItems(true);
  evaluator.ForceLevel1Eval(false);
  evaluator.ForceLevel2Eval(false);
  EvaluationPass();
  evaluator.ForceLevel2Eval(true);
  EvaluationPass();
  evaluator.ForceLevel1Eval(true);
  EvaluationPass();
  m_builder.RevalueNamedRanges();
}

// 17. The report's own headers and footers close with the last range.
void ReportBuild::CloseLastHeaderFooterRange() { CloseHeaderFooterRange(m_builder); }

// 18. Rows whose print condition failed go, from the highest row to the
// lowest, and everything numbered by body row follows.
void ReportBuild::DeleteRows() {
  ResultFormat& body = *m_builder.body;
  SharedPreviewState& state = ThreadPreviewState();
  const xml::Node sorted = SortRowList(m_builder.rows.List());
  std::int32_t last_row = body.MaxRow();
  RowDeletionShifts shifts;
  for (xml::Node record = FirstElement(sorted); record; record = NextElement(record)) {
    m_builder.PollCancel();
    const std::optional<std::int64_t> number = ParseWholeNumber(record.Text());
    if (!number || *number < INT32_MIN || *number > INT32_MAX) continue;
    const std::int32_t row = static_cast<std::int32_t>(*number);
    const xml::Node del = record.Attributes().Item(0);
    const xml::Node keep = record.Attributes().Item(1);
    const bool deleted = del && del.Text() == "-1";
    const bool kept = keep && keep.Text() == "-1";
    if (body.Row(row)) {
      if (deleted) {
        shifts.RowDeleted(row);
        body.DeleteRow(row, true);
      }
      if (kept) shifts.RowLeftKeptSections(row);
      if (deleted || kept) state.bookmarks->UpdateRemoveRow(row);
    }
    if (deleted && last_row >= row) --last_row;
  }
  shifts.Apply();
  body.CompactRows();
  body.MaxRow(last_row);
}

// 19. and 20.
void ReportBuild::TidyPageSetups() { orvo::TidyPageSetups(m_builder); }
void ReportBuild::ClipKeptSections() { orvo::ClipKeptSections(m_builder); }

// 21.
void ReportBuild::Finish() {
  m_builder.FormatName("Generating preview...");
  m_builder.ReportStatus(100);
  SharedPreviewState::NotifyStatus(100);
}

void ReportBuild::GroupStep(const xml::Node& group_node, Int16 enclosing_orientation, int depth) {
  RequireDepth(depth);
  const GroupDefinition group(group_node);
  if (!EvaluatePrintCondition(m_builder, group.PrintCondition())) return;
  const Int16 orientation = group.Orientation(enclosing_orientation);
  const Int16 outer_orientation = m_builder.orientation;
  m_builder.orientation = orientation;
  WritePageSetup(m_builder, group.PageSetup(), m_builder.body->MaxRow() + 1, orientation, true);
  const std::size_t configuration = m_builder.data_columns.Apply(group_node);
  for (const xml::Node& sub_group : ElementChildren(group.SubGroups())) {
    GroupStep(sub_group, orientation, depth + 1);
  }
  for (const xml::Node& entry : ElementChildren(group.Headers())) {
    HeaderFooterStep(entry, EntryKind::kHeader);
  }
  for (const xml::Node& entry : ElementChildren(group.Footers())) {
    HeaderFooterStep(entry, EntryKind::kFooter);
  }
  BodyListStep(group.Body(), depth);
  WritePageSetup(m_builder, group.PageSetup(), m_builder.body->MaxRow() + 1, orientation, true);
  m_builder.data_columns.Restore(configuration);
  m_builder.orientation = outer_orientation;
}

void ReportBuild::CountSection() {
  ++m_builder.sections_done;
  m_builder.ReportStatus(Percent(m_builder.sections_done, m_builder.section_total));
}

void ReportBuild::HeaderFooterStep(const xml::Node& entry, EntryKind kind) {
  CountSection();
  if (!EvaluatePrintCondition(m_builder, EntryPrintCondition(entry))) return;
  BodyEntryPageSetup(entry);
  const std::size_t configuration = m_builder.data_columns.Apply(entry);
  const std::string name = EntryFormatName(entry);
  if (const xml::Node format = m_builder.LookUpFormat(name)) {
    m_builder.CheckCancel();
    const bool header = kind == EntryKind::kHeader;
    m_builder.FormatName(name + (header ? " (Header)" : " (Footer)"));
    ResultFormat& target = header ? *m_builder.header : *m_builder.footer;
    const std::int32_t first_row = target.MaxRow() + 1;
    const std::optional<SpaceFillerDefinition> filler = FindSpaceFiller(format);
    m_builder.row_list = false;
    FormatEvaluation(m_builder, format, target).Run();
    m_builder.row_list = true;
    SharedPreviewState& state = ThreadPreviewState();
    RecordSpaceFiller(m_builder, filler, first_row, target.MaxRow(),
                      header ? state.header_fillers : state.footer_fillers);
  }
  m_builder.data_columns.Restore(configuration);
}

void ReportBuild::BodyListStep(const xml::Node& list, int depth) {
  for (const xml::Node& child : ElementChildren(list)) {
    if (child.Name() == "BSec") {
      KeptSectionStep(child, depth + 1);
    } else {
      BodyEntryStep(child);
    }
  }
}

void ReportBuild::KeptSectionStep(const xml::Node& section, int depth) {
  RequireDepth(depth);
  const xml::Node body_list = SectionBody(section);
  if (!FirstElement(body_list)) return;
  xml::Node record = m_builder.templates.NewRecord(RecordKind::kKeptSection);
  if (!EvaluatePrintCondition(m_builder, SectionPrintCondition(section))) return;
  const std::size_t configuration = m_builder.data_columns.Apply(section);
  const std::int32_t start = m_builder.body->MaxRow() + 1;
  record.SetAttribute("Start", std::to_string(start));
  BodyListStep(body_list, depth);
  const std::int32_t end = m_builder.body->MaxRow();
  record.SetAttribute("End", std::to_string(end));
  if (end >= start) ThreadPreviewState().kept_sections.AppendChild(record);
  m_builder.data_columns.Restore(configuration);
}

// A body entry states a page setup of its own with a PgSetup child
// (attributes as every page setup; Ovr 0 takes the enclosing group's or the
// report's) and its orientation with an OR attribute ("!" or none: the
// orientation in force). When that orientation or the setup's text differs
// from the last written, a setup is written from the entry's first row on,
// without closing the header and footer range, and its orientation stays
// in force.
void ReportBuild::BodyEntryPageSetup(const xml::Node& entry) {
  xml::Node setup;
  for (xml::Node child = FirstElement(entry); child && !setup; child = NextElement(child)) {
    if (child.Name() == "PgSetup") setup = child;
  }
  if (!setup) return;
  const std::string orientation_text = entry.AttributeOr("OR", "");
  const Int16 orientation = orientation_text == "!" || Trim(orientation_text).empty()
                                ? m_builder.orientation
                                : ToInt16(TextToLong(orientation_text));
  if (orientation == m_builder.orientation && setup.Xml() == m_builder.last_page_setup) return;
  m_builder.orientation = orientation;
  WritePageSetup(m_builder, setup, m_builder.body->MaxRow() + 1, orientation, false);
}

void ReportBuild::BodyEntryStep(const xml::Node& entry) {
  CountSection();
  if (!EvaluatePrintCondition(m_builder, EntryPrintCondition(entry))) return;
  BodyEntryPageSetup(entry);
  const std::size_t configuration = m_builder.data_columns.Apply(entry);
  const std::string name = EntryFormatName(entry);
  xml::Node format;
  if (const xml::Node inline_format = EntryInlineFormat(entry)) {
    format = m_builder.scratch.ImportNode(inline_format, true);
    m_builder.data_columns.InsertInto(format);
  } else {
    format = m_builder.LookUpFormat(name);
  }
  if (format) {
    m_builder.CheckCancel();
    m_builder.FormatName(name);
    ResultFormat& body = *m_builder.body;
    const std::int32_t first_row = body.MaxRow() + 1;
    const std::optional<SpaceFillerDefinition> filler = FindSpaceFiller(format);
    FormatEvaluation(m_builder, format, body).Run();
    RecordSpaceFiller(m_builder, filler, first_row, body.MaxRow(),
                      ThreadPreviewState().body_fillers);
  }
  m_builder.data_columns.Restore(configuration);
}

void ReportBuild::EvaluationPass() {
  cEvaluate& evaluator = *m_builder.evaluator;
  ResultFormat& body = *m_builder.body;
  CDependencyTable& table = *ThreadPreviewState().dependencies;
  evaluator.CurrentFormatMax(body.MaxColumn(), body.MaxRow());
  const bool conditions_only =
      evaluator.EvaluateAllItems() && !evaluator.ForceLevel1Eval() && !evaluator.ForceLevel2Eval();
  std::int32_t previous_start = -1;
  m_builder.CheckCancel();
  // Walk the pending items again and again, until none is left or a whole
  // walk settled none; a walk in which one item settled several others
  // starts again at once.
  for (;;) {
    const std::int32_t start = table.Count();
    if (start == 0 || start == previous_start) break;
    previous_start = start;
    const xml::NodeList pending = table.DependentIndex().ChildNodes();
    const double walk_length = static_cast<double>(pending.Length());
    std::int32_t before = start;
    std::size_t number = 0;
    for (const xml::Node& entry : pending) {
      ++number;
      m_builder.PollCancel();
      m_builder.FormatStatus(Percent(static_cast<double>(number), walk_length));
      if (!(entry.ParentNode() == table.DependentIndex())) continue;
      if (conditions_only) {
        const xml::Node item = table.DependentItem(entry);
        if (!item || OriginalKeyOf(item).rfind("PRINT", 0) != 0) continue;
      }
      EvaluatePendingItem(m_builder, entry, body);
      const std::int32_t after = table.Count();
      if (before - after > 1) {
        m_builder.FormatStatus(95);
        break;
      }
      before = after;
    }
  }
}

}  // namespace orvo
