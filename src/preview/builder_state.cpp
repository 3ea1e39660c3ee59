#include "preview/builder_state.h"

#include <cfenv>
#include <cmath>

#include "evaluate/item_bookkeeping.h"
#include "evaluate/style_record.h"
#include "formula/parsed_expression.h"
#include "frame/provider_access.h"
#include "frame/text.h"

namespace orvo {
namespace {

// Whether a format holds at least kMoveRows rows (its Itms child's
// children): enough that moving it beats copying it.
constexpr int kMoveRows = 256;
bool HasRowsToMove(const xml::Node& format) {
  for (xml::Node child = FirstElement(format); child; child = NextElement(child)) {
    if (!child.NameIs("Itms")) continue;
    int rows = 0;
    for (xml::Node row = FirstElement(child); row && rows < kMoveRows; row = NextElement(row)) {
      ++rows;
    }
    return rows >= kMoveRows;
  }
  return false;
}

}  // namespace

Int16 Percent(double part, double whole) {
  if (!(whole > 0)) return 0;
  // The default rounding mode rounds halves to even.
  return ToInt16(static_cast<std::int64_t>(std::nearbyint(part / whole * 100.0)));
}

void PlacedItemsHooks::ItemPlaced(const xml::Node&, const xml::Node& item,
                                  const xml::Node& replaced) {
  m_items->Placed(item, replaced);
}

void PlacedItemsHooks::RowDeleted(const xml::Node&, std::int32_t, const xml::Node& row) {
  m_items->RowRemoved(row);
}

void PlacedItemsHooks::RowIgnored(const xml::Node& record) {
  m_items->RowIgnored(
      record.AttributeOr("OrigFmt", ""),
      static_cast<std::int32_t>(ParseWholeNumber(record.AttributeOr("OrigRow", "")).value_or(0)),
      static_cast<std::int32_t>(ParseWholeNumber(record.AttributeOr("RptIndex", "")).value_or(0)));
}

BuilderState::BuilderState() : scratch(xml::Document::Create()) {}
BuilderState::~BuilderState() = default;

// Empty containers for what a build hands to its host: page setups, the
// three kinds of space filler and kept sections.
SharedPreviewState::Containers BuilderState::NewResultContainers() {
  SharedPreviewState::Containers containers;
  containers.page_setups = templates.NewContainer("PgBks");
  containers.body_fillers = templates.NewContainer("SpFs");
  containers.header_fillers = templates.NewContainer("SpFsH");
  containers.footer_fillers = templates.NewContainer("SpFsF");
  containers.kept_sections = templates.NewContainer("KpSections");
  return containers;
}

SharedPreviewState& BuilderState::StartSharedState() {
  SharedPreviewState::Containers containers = NewResultContainers();
  containers.print_conditions = templates.NewContainer("EPRCs");
  containers.print_conditions_2 = templates.NewContainer("EPRCs");
  containers.named_ranges = templates.NewContainer("NRgs");
  containers.included_notes = templates.NewContainer("IncNotes");
  containers.rows_to_ignore = templates.NewContainer("RowsToIgnore");
  return SharedPreviewState::StartReportBuild(containers);
}

bool BuilderState::CancelRequested() {
  m_polls = 0;
  m_last_check = std::chrono::steady_clock::now();
  if (cancel_check && cancel_check()) cancelled = true;
  return cancelled;
}

void BuilderState::CheckCancel() {
  if (CancelRequested()) throw BuildCancelled{};
}

void BuilderState::Park(const xml::Node& tree) {
  if (tree) parked.push_back(std::make_shared<xml::Node>(tree));
}

void BuilderState::DropResults() {
  Park(output);
  output = xml::Node();
  ThreadPreviewState().EmptyResults(NewResultContainers(), parked);
}

void BuilderState::ResetForReport() {
  std::shared_ptr<IStoreContext> store = GetStoreContext();
  data_columns.Reset(store->DataColumnConfigurations(), store->DataColumnDefinitions());
  data_column_override = xml::Node();
  uses_data_columns = false;
  last_page_setup.clear();
  orientation = 1;
  page_setups.clear();
  repeat_lists.clear();
  header_footer_conditions.clear();
  m_definitions_indexed = false;
  m_bookmarks.clear();
  m_named_ranges.clear();
  m_pending_named_ranges.clear();
  sections_done = 0;
  section_total = 0;
  current_row = 0;
  row_list = true;

  placed_items.Items()->Reset();
  SharedPreviewState& state = StartSharedState();
  evaluator->ResetMaxCols();
  rows.Reset(templates.NewContainer("Rows"));
  row_items = templates.NewContainer("Itms");

  if (body) Forget(*body);
  body = std::make_unique<ResultFormat>(NewFormatElement(), &placed_items);
  Register(*body);
  NewHeaderFooterResults();

  PreviewSources sources;
  sources.bookmarks = state.bookmarks;
  sources.included_notes = state.included_notes;
  sources.named_ranges = state.named_ranges;
  sources.rows_to_ignore = state.rows_to_ignore;
  sources.preview = body->Element();
  sources.placed_items = placed_items.Items();
  sources.drill_down = state.DrillDown();
  evaluator->Sources(sources);
}

void BuilderState::NewHeaderFooterResults() {
  if (header) Forget(*header);
  if (footer) Forget(*footer);
  header = std::make_unique<ResultFormat>(NewFormatElement(), &placed_items);
  footer = std::make_unique<ResultFormat>(NewFormatElement(), &placed_items);
  Register(*header);
  Register(*footer);
}

void BuilderState::Register(ResultFormat& result) { m_results[result.Element().Raw()] = &result; }

void BuilderState::Forget(ResultFormat& result) {
  auto found = m_results.find(result.Element().Raw());
  if (found != m_results.end() && found->second == &result) m_results.erase(found);
}

ResultFormat* BuilderState::OwnerOf(const xml::Node& item) const {
  // An item stands in a row, the row in Itms, Itms in the format.
  const xml::Node row = item.ParentNode();
  const xml::Node items = row ? row.ParentNode() : xml::Node();
  const xml::Node format = items ? items.ParentNode() : xml::Node();
  if (!format) return nullptr;
  auto found = m_results.find(format.Raw());
  return found == m_results.end() ? nullptr : found->second;
}

xml::Node BuilderState::NewFormatElement() const {
  return scratch.ImportNode(GetFormatProvider()->NewFormat(), true);
}

xml::Node BuilderState::LookUpFormat(const std::string& name) {
  const xml::Node found = format_library.Find(GetStoreContext()->FormatLibrary(), name);
  if (!found) return {};
  xml::Node copy;
  if (found.HasChildNodes()) {
    copy = scratch.ImportNode(found, true);
  } else {
    // A format without child nodes is a stub of the format provider's, whose
    // full format is the caller's own. A large one is moved into the scratch
    // document rather than copied, so that it is never there twice; the
    // document it leaves stays, empty, as long as the scratch document, so
    // a small one is copied and its document goes.
    const xml::Node full = GetFormatProvider()->GetFormat(found.AttributeOr("Key", ""));
    if (!full) return {};
    if (full.OwnerDocument() == scratch) {
      copy = full;
    } else if (!HasRowsToMove(full)) {
      copy = scratch.ImportNode(full, true);
    } else {
      xml::Node holder = scratch.CreateElement("Fmts");
      copy = holder.AppendChild(full);
      holder.RemoveChild(copy);
    }
  }
  data_columns.InsertInto(copy);
  return copy;
}

void BuilderState::IndexDefinitions() {
  if (m_definitions_indexed) return;
  m_definitions_indexed = true;
  std::shared_ptr<IStoreContext> store = GetStoreContext();
  const auto index = [](const xml::Node& list, const char* name, auto& into) {
    for (xml::Node definition = FirstElement(list); definition;
         definition = NextElement(definition)) {
      if (definition.Name() != name) continue;
      into[UpperCase(Trim(definition.AttributeOr("Fmt", "")))].push_back(definition);
    }
  };
  index(store->BookmarkDefinitions(), "BMk", m_bookmarks);
  index(store->NamedRangeDefinitions(), "Nrg", m_named_ranges);
  for (const auto& [format, bookmarks] : m_bookmarks) {
    for (const xml::Node& bookmark : bookmarks) {
      m_bookmark_keys.insert(UpperCase(Trim(bookmark.AttributeOr("Key", ""))));
    }
  }
}

bool BuilderState::IsBookmarkKey(const std::string& key) {
  IndexDefinitions();
  return m_bookmark_keys.contains(key);
}

const std::vector<xml::Node>& BuilderState::BookmarksOf(const std::string& format) {
  IndexDefinitions();
  return m_bookmarks[format];
}

const std::vector<xml::Node>& BuilderState::NamedRangesOf(const std::string& format) {
  IndexDefinitions();
  return m_named_ranges[format];
}

void BuilderState::ValueNamedRange(const std::string& name, const std::string& format,
                                   const std::string& formula) {
  xml::Node record = templates.NewRecord(RecordKind::kNamedRange);
  record.SetAttribute("Name", name);
  record.SetAttribute("Fmt", format);
  xml::Node item = scratch.ImportNode(GetFormatProvider()->NewItem(0, 0), true);
  item.SetAttribute("Value", formula);
  parser->TokenFromString(formula);
  const xml::Node parsed = WriteParsedExpression(ParsedExpressionOf(*parser), scratch);
  if (const xml::Node first = FirstElement(item)) {
    item.ReplaceChild(parsed, first);
  } else {
    item.AppendChild(parsed);
  }
  PrepareForEvaluation(item, format);
  xml::Node evaluated;
  evaluator->Evaluate(item, {}, 0, "", evaluated);
  record.SetAttribute("Value", evaluated.AttributeOr("Value", ""));
  ThreadPreviewState().named_ranges.AppendChild(record);
  if (evaluated.AttributeOr("Evaluated", "") == "0") {
    m_pending_named_ranges.push_back({record, evaluated});
  }
}

void BuilderState::RevalueNamedRanges() {
  std::vector<PendingNamedRange> still_pending;
  for (PendingNamedRange& pending : m_pending_named_ranges) {
    evaluator->CurrentFormatName(pending.record.AttributeOr("Fmt", ""));
    xml::Node evaluated;
    evaluator->Evaluate(pending.item, {}, 0, "", evaluated);
    pending.record.SetAttribute("Value", evaluated.AttributeOr("Value", ""));
    if (evaluated.AttributeOr("Evaluated", "") == "0") still_pending.push_back(pending);
  }
  m_pending_named_ranges = std::move(still_pending);
}

void BuilderState::KeepRow(std::int32_t row, bool body_row) {
  if (!body_row || rows.Find(row)) return;
  xml::Node row_template = templates.Template(RecordKind::kRow);
  row_template.SetAttribute("Del", "0");
  row_template.SetAttribute("Keep", "0");
  row_template.SetText(std::to_string(row));
  rows.Add(row_template);
}

void BuilderState::FormatName(const std::string& name) const {
  if (events.format_name) events.format_name(name);
}
void BuilderState::FormatStatus(Int16 status) const {
  if (events.format_status) events.format_status(status);
}
void BuilderState::ReportStatus(Int16 status) const {
  if (events.report_status) events.report_status(status);
}

}  // namespace orvo
