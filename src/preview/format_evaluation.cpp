#include "preview/format_evaluation.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "evaluate/item_bookkeeping.h"
#include "evaluate/placed_items.h"
#include "evaluate/style_record.h"
#include "formula/formula_names.h"
#include "formula/parsed_expression.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "preview/dependents.h"
#include "preview/print_condition.h"

namespace orvo {
namespace {

xml::Node ChildNamed(const xml::Node& parent, std::string_view name) {
  for (xml::Node child = FirstElement(parent); child; child = NextElement(child)) {
    if (child.Name() == name) return child;
  }
  return {};
}

bool IsFormulaText(std::string_view value) {
  const std::string_view trimmed = Trim(value);
  return !trimmed.empty() && (trimmed.front() == '=' || trimmed.find('{') != std::string::npos);
}

// The record child of an item when it is the bare one (nothing parsed yet).
xml::Node BareRecordOf(const xml::Node& item) {
  const xml::Node record = FirstElement(item);
  if (!record || !record.NameIs("PEx")) return {};
  if (record.HasChildNodes() || record.Attributes().Length() != 0) return {};
  return record;
}

// The distinct balance requests of a format's balance columns (ColBals), as
// the Keys list a repeat is expanded with.
xml::Node BalanceKeys(const BuilderState& builder, const xml::Node& format) {
  xml::Node keys = builder.templates.NewContainer("Keys");
  std::unordered_set<std::string> seen;
  for (xml::Node balance = FirstElement(ChildNamed(format, "ColBals")); balance;
       balance = NextElement(balance)) {
    const std::string year = balance.AttributeOr("Year", "");
    const std::string period = balance.AttributeOr("Prd", "");
    const std::string end = balance.AttributeOr("PdEnd", "");
    const std::string period_balance = balance.AttributeOr("PdBal", "");
    const std::string kind = balance.AttributeOr("Bal", "");
    if (!seen.insert(year + '\x1f' + period + '\x1f' + end + '\x1f' + period_balance + '\x1f' +
                     kind)
             .second) {
      continue;
    }
    xml::Node key = builder.templates.NewRecord(RecordKind::kBalanceKey);
    key.SetAttribute("Year", year);
    key.SetAttribute("Prd", period);
    key.SetAttribute("PrdEnd", end);
    key.SetAttribute("PBal", period_balance);
    key.SetAttribute("Bal", kind);
    keys.AppendChild(key);
  }
  return keys;
}

}  // namespace

FormatEvaluation::FormatEvaluation(BuilderState& builder, xml::Node format, ResultFormat& target)
    : m_builder(builder), m_format(std::move(format)), m_target(target) {
  const std::string key = m_format.AttributeOr("Key", "");
  m_key = UpperCase(Trim(key).empty() ? m_format.AttributeOr("Name", "") : key);
  m_offset = target.MaxRow();
}

FormatEvaluation::~FormatEvaluation() {
  if (m_result) m_builder.Forget(*m_result);
  // A cancelled evaluation leaves the format's rows for later.
  if (m_builder.cancelled) {
    m_builder.Park(m_format);
    m_builder.Park(std::make_shared<std::vector<OutputRow>>(std::move(m_rows)));
    m_builder.Park(std::shared_ptr<ResultFormat>(std::move(m_result)));
  }
}

void FormatEvaluation::Run() {
  // Nothing changes the launch properties while a format is evaluated.
  const FormulaNames::ReuseProviders reuse;
  cEvaluate& evaluator = *m_builder.evaluator;
  // References between its cells see this print of the format only.
  m_builder.placed_items.Items()->BeginPrint(m_key);
  // Prepare announces every item to the placed-item index as it prepares
  // the item's row: the result taking the rows need not read them again.
  Prepare();
  m_result = std::make_unique<ResultFormat>(
      m_format, &m_builder.placed_items, m_offset, [this] { m_builder.PollCancel(); }, false);
  m_builder.Register(*m_result);
  evaluator.FormatReference(m_format);
  evaluator.CurrentFormatName(m_key);
  evaluator.CurrentFormatMax(
      static_cast<std::int32_t>(ParseWholeNumber(m_format.AttributeOr("MCol", "")).value_or(0)),
      static_cast<std::int32_t>(ParseWholeNumber(m_format.AttributeOr("MRow", "")).value_or(0)));

  GatherDefinitions();
  for (const OutputRow& row : m_rows) {
    m_builder.PollCancel();
    EvaluateRow(row);
  }
  m_builder.CheckCancel();
  EvaluatePendingItems();
  ValueNamedRanges();
  AppendRows();
}

void FormatEvaluation::ReservePlainRows(const std::vector<xml::Node>& plain_rows) {
  if (plain_rows.empty()) return;
  // Reading every item's column would cost a pass over the whole format:
  // the columns of its first and last plain rows, those of a column down
  // the format, get room for every plain row. Room that stays unused is
  // never written, and other columns grow as their items come.
  std::vector<std::int32_t> first;
  for (xml::Node item = FirstElement(plain_rows.front()); item; item = NextElement(item)) {
    if (const std::optional<std::int32_t> column = ItemColumn(item)) first.push_back(*column);
  }
  std::unordered_map<std::int32_t, std::size_t> per_column;
  for (xml::Node item = FirstElement(plain_rows.back()); item; item = NextElement(item)) {
    const std::optional<std::int32_t> column = ItemColumn(item);
    if (column && std::find(first.begin(), first.end(), *column) != first.end()) {
      per_column[*column] = plain_rows.size();
    }
  }
  if (!per_column.empty()) m_builder.placed_items.Items()->Reserve(m_key, per_column);
  // Every item of those rows waits for its first evaluation in m_unparsed:
  // its table is sized once rather than rehashed as it fills.
  m_unparsed.reserve(m_unparsed.size() + plain_rows.size() * first.size());
}

void FormatEvaluation::ReservePlacedItems(const std::vector<xml::Node>& definition_rows,
                                          std::size_t copies) {
  // The index keeps a column's items by the row of their key, which is the
  // definition row: the copies of a repeating row share theirs.
  std::unordered_map<std::int32_t, std::size_t> per_column;
  for (const xml::Node& row : definition_rows) {
    for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
      if (const std::optional<std::int32_t> column = ItemColumn(item)) ++per_column[*column];
    }
  }
  if (!per_column.empty()) m_builder.placed_items.Items()->Reserve(m_key, per_column, copies);
}

void FormatEvaluation::Prepare() {
  const xml::Node items = ChildNamed(m_format, "Itms");
  std::unordered_map<std::int64_t, xml::Node> repeats;
  for (xml::Node repeat = FirstElement(ChildNamed(m_format, "Rpts")); repeat;
       repeat = NextElement(repeat)) {
    if (const std::optional<std::int64_t> row = ParseWholeNumber(repeat.AttributeOr("Row", ""))) {
      repeats.emplace(*row, repeat);
    }
  }
  std::vector<xml::Node> definition_rows;
  std::vector<xml::Node> plain_rows;  // the rows that do not repeat
  for (xml::Node row = FirstElement(items); row; row = NextElement(row)) {
    definition_rows.push_back(row);
    if (!repeats.count(static_cast<std::int64_t>(definition_rows.size())))
      plain_rows.push_back(row);
  }
  // Room in the index for the items of the rows that do not repeat; a
  // repeating row makes room for its copies once it knows their number.
  ReservePlainRows(plain_rows);
  BuildBookkeeping bookkeeping(m_key);
  std::int32_t definition_row = 0;
  for (const xml::Node& row : definition_rows) {
    ++definition_row;
    auto repeat = repeats.find(definition_row);
    // A repeating row is parsed once, and every copy of it is evaluated from
    // that parse; other rows are parsed item by item just before their
    // first evaluation. A parse is written into its item as the record only
    // when the item must wait.
    if (repeat != repeats.end()) {
      ExpandRepeat(row, definition_row, repeat->second, PrepareRepeatingItems(row));
      continue;
    }
    OutputRow output;
    output.row = row;
    output.definition_row = definition_row;
    output.number = m_offset + static_cast<std::int32_t>(m_rows.size()) + 1;
    PreparePlainRow(row, std::to_string(output.number), bookkeeping);
    m_rows.push_back(std::move(output));
  }
}

void FormatEvaluation::PreparePlainRow(const xml::Node& row, const std::string& number,
                                       BuildBookkeeping& bookkeeping) {
  using Texts = PlacedItems::ItemTexts;
  PlacedItems& placed = *m_builder.placed_items.Items();
  // One walk over each item's attributes gives what its preparation, its
  // row number and the placed-item index need; the index then takes the
  // texts as the preparation leaves them instead of reading the item again.
  for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
    m_item_texts.Read(item);
    if (item.NameIs("Itm") && !m_item_texts.Has(Texts::kEvaluated)) {
      bookkeeping.AddTo(item);
      m_item_texts.Set(Texts::kEvaluated, "0");
      // An original the item carries already keeps its value. (The index
      // takes an item without OrigKey by its Key.)
      if (!m_item_texts.Has(Texts::kOrigRow)) {
        m_item_texts.Set(Texts::kOrigRow, m_item_texts.Of(Texts::kRow));
      }
      if (!m_item_texts.Has(Texts::kOrigFmt)) m_item_texts.Set(Texts::kOrigFmt, m_key);
      // The bare record only marks the formula as yet to be parsed, which
      // m_unparsed remembers instead: it goes back to the pool now, for the
      // texts the evaluation writes. (An item without a record reads as one
      // with the bare record everywhere else.)
      if (const xml::Node record = BareRecordOf(item)) {
        item.RemoveChild(record);
        m_unparsed.emplace(item.Raw(), nullptr);
      }
    }
    // (A row that keeps its number, as the first format's rows do, is not rewritten.)
    if (!m_item_texts.Has(Texts::kRow) || m_item_texts.Of(Texts::kRow) != number) {
      item.SetAttribute("Row", number);
    }
    placed.Placed(item, m_item_texts);
  }
}

FormatEvaluation::Parses FormatEvaluation::PrepareRepeatingItems(const xml::Node& row) {
  Parses parses;
  for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
    if (!item.NameIs("Itm")) continue;
    if (!PrepareForBuild(item, m_key)) continue;
    if (const ParsedExpression* parse = ParseFormula(item)) {
      parses.emplace(item.Raw(), std::make_shared<const ParsedExpression>(*parse));
    }
  }
  return parses;
}

const ParsedExpression* FormatEvaluation::ParseFormula(xml::Node item, bool record_dropped,
                                                       bool* bare) {
  if (record_dropped) {
    // (Unless a record was written into the item since.)
    const xml::Node first = FirstElement(item);
    if (first && first.NameIs("PEx") && !BareRecordOf(item)) return nullptr;
  } else if (!BareRecordOf(item)) {
    return nullptr;
  }
  if (bare) *bare = true;
  item.ReadAttribute("Value", m_read);
  if (!IsFormulaText(m_read)) return nullptr;
  cParser& parser = *m_builder.parser;
  const FormulaShapes::Result parse = m_shapes.Parse(parser, m_read);
  if (parse.parsed && !ParsesForEvaluation(parser)) {
    // A formula that does not parse shows the error value.
    item.SetAttribute("Value", "#ERROR");
    return nullptr;
  }
  return parse.record;
}

bool FormatEvaluation::ParsesForEvaluation(const cParser& parser) {
  if (!HasParseMessages(parser)) return true;
  const xml::Node messages = parser.ErrorCollection();
  // The parser names every bare word it cannot place, and a bookmark key is
  // one: "Ref(NET_PROFIT)" always carries "Expression cannot be evaluated:
  // NET_PROFIT" (a word that is no bookmark is named twice). That message
  // alone, for a defined bookmark inside a bookmark function, is no fault of
  // the formula; any other message is.
  const ParsedExpression& parsed = ParsedExpressionOf(parser);
  const bool calls_bookmark_function =
      std::any_of(parsed.calls.begin(), parsed.calls.end(), [](const auto& call) {
        return call.function == Function::kRef || call.function == Function::kNote ||
               call.function == Function::kINote;
      });
  if (!calls_bookmark_function || !parsed.expression) return false;
  constexpr std::string_view kUnplaced = "Expression cannot be evaluated: ";
  for (const xml::Node& message : messages.ChildNodes()) {
    const std::string text = message.AttributeOr("Desc", "");
    if (!text.starts_with(kUnplaced)) return false;
    if (!m_builder.IsBookmarkKey(UpperCase(Trim(text.substr(kUnplaced.size()))))) return false;
  }
  return true;
}

xml::Node FormatEvaluation::Evaluate(const xml::Node& item, const RepeatContext* repeat) {
  cEvaluate& evaluator = *m_builder.evaluator;
  const xml::Node list = repeat ? repeat->list : xml::Node();
  const std::int32_t position = repeat ? repeat->position : 0;
  const std::string_view key = repeat ? std::string_view(repeat->key) : std::string_view();
  xml::Node evaluated;
  // An item met for the first time is evaluated straight from its parse.
  const auto unparsed = m_unparsed.find(item.Raw());
  if (unparsed != m_unparsed.end()) {
    const std::shared_ptr<const ParsedExpression> parse = std::move(unparsed->second);
    m_unparsed.erase(unparsed);
    if (parse) {
      evaluator.Evaluate(item, *parse, list, position, key, evaluated);
      return evaluated;
    }
    bool bare = false;
    if (const ParsedExpression* parsed = ParseFormula(item, true, &bare)) {
      evaluator.Evaluate(item, *parsed, list, position, key, evaluated);
      return evaluated;
    }
    if (bare) {
      // A text (or a formula that does not parse, now "#ERROR") with the bare
      // record: its record is the empty one, without reading it.
      static const ParsedExpression kText;
      evaluator.Evaluate(item, kText, list, position, key, evaluated);
      return evaluated;
    }
  }
  evaluator.Evaluate(item, list, position, key, evaluated);
  return evaluated;
}

void FormatEvaluation::ExpandRepeat(const xml::Node& row, std::int32_t definition_row,
                                    const xml::Node& repeat, const Parses& parses) {
  std::int32_t count = 0;  // a repeat may list more than 32,767 records
  xml::Node list;
  m_builder.evaluator->EvaluateRepeat(repeat, count, BalanceKeys(m_builder, m_format), list);
  auto context_key = UpperCase(Trim(repeat.Text()));
  if (list) m_builder.repeat_lists[context_key] = list;
  xml::Node parent = row.ParentNode();
  m_builder.CheckCancel();
  // The repeat's key is the same on every copy, and each copy rewrites its
  // index in place: both are written into the row once, before it is copied.
  // Item attributes that nothing reads while the report is built and that
  // the preview leaves out are taken off first, so no copy carries them: a
  // repeat over 100,000 records holds every copy at once.
  for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
    if (item.NameIs("Itm")) {
      for (const char* unread : {"Str", "MgKey"}) item.RemoveAttribute(unread);
    }
    item.SetAttribute("RptKey", context_key);
    item.SetAttribute("RptIndex", "0");
  }
  // Each copy's items are evaluated from the parses of the row's items, in
  // the row's order; room for the copies is made once. A copy's item has the
  // attributes of the row's item but for Row and RptIndex: the placed-item
  // index gets the row's texts, read once, with each copy's position.
  std::vector<const std::shared_ptr<const ParsedExpression>*> item_parses;
  std::vector<PlacedItems::ItemTexts> item_texts;
  for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
    const auto parse = parses.find(item.Raw());
    item_parses.push_back(parse == parses.end() ? nullptr : &parse->second);
    item_texts.emplace_back().Read(item);
  }
  PlacedItems& placed = *m_builder.placed_items.Items();
  // The copies' keys are the row's: without a print condition item in the
  // row none of them has one.
  const bool may_have_condition = static_cast<bool>(ConditionItem(row, definition_row));
  if (count > 0) {
    ReservePlacedItems({row}, static_cast<std::size_t>(count));
    m_rows.reserve(m_rows.size() + static_cast<std::size_t>(count));
    m_unparsed.reserve(m_unparsed.size() + parses.size() * static_cast<std::size_t>(count));
  }
  // The row is read once; each copy is then written from that reading.
  std::optional<xml::NodeStamp> stamp;
  if (count > 0) stamp.emplace(row);
  for (std::int32_t position = 1; position <= count; ++position) {
    m_builder.PollCancel();
    xml::Node copy = parent.InsertBefore(stamp->Copy(), row);
    OutputRow output;
    output.row = copy;
    output.definition_row = definition_row;
    output.number = m_offset + static_cast<std::int32_t>(m_rows.size()) + 1;
    output.repeat = std::make_shared<RepeatContext>(RepeatContext{list, position, context_key});
    output.first_of_definition = position == 1;
    output.may_have_condition = may_have_condition;
    const std::string number = std::to_string(output.number);
    const std::string index = std::to_string(position);
    std::size_t at = 0;
    for (xml::Node item = FirstElement(copy); item; item = NextElement(item), ++at) {
      item.SetAttribute("Row", number);
      item.SetAttribute("RptIndex", index);
      if (item_parses[at]) m_unparsed.emplace(item.Raw(), *item_parses[at]);
      item_texts[at].Set(PlacedItems::ItemTexts::kRptIndex, index);
      placed.Placed(item, item_texts[at]);
    }
    m_rows.push_back(std::move(output));
  }
  parent.RemoveChild(row);
}

void FormatEvaluation::GatherDefinitions() {
  m_bookmarks = m_builder.BookmarksOf(m_key);
  m_named_ranges = m_builder.NamedRangesOf(m_key);
  for (xml::Node range = FirstElement(ChildNamed(m_format, "Kps")); range;
       range = NextElement(range)) {
    if (range.Name() == "Kp") m_keep_ranges.push_back(range);
  }
}

void FormatEvaluation::EvaluateRow(const OutputRow& row) {
  m_builder.current_row = row.number;
  if (row.first_of_definition) {
    EvaluateBookmarks(row);
    RecordKeepRanges(row);
  }
  m_builder.FormatStatus(
      Percent(static_cast<double>(row.number - m_offset), static_cast<double>(m_rows.size())));
  EvaluateRowCondition(row);
  EvaluateItems(row);
}

void FormatEvaluation::EvaluateBookmarks(const OutputRow& row) {
  SharedPreviewState& state = ThreadPreviewState();
  const std::string row_text = std::to_string(row.definition_row);
  for (const xml::Node& definition : m_bookmarks) {
    if (Trim(definition.AttributeOr("Row", "")) != row_text) continue;
    const std::string key = definition.AttributeOr("Key", "");
    if (key.empty() || state.bookmarks->Item(key)) continue;  // the first print keeps it
    auto bookmark = std::make_shared<cEvaluatedBookmark>();
    bookmark->EvaluateBookmark(definition, row.number);
    state.bookmarks->Add(bookmark);
    state.bookmark_keys.push_back(key);
  }
}

// A format declares keep ranges as Kps/Kp elements: On (a Boolean text),
// KpStart and KpEnd (definition rows). When the row written is the first
// row of a range that is on, the rows it spans are kept together: a Sect
// from that row over as many rows as the range has, keyed
// "KpStart:KpEnd:format key". Only body rows are paginated, so header and
// footer formats record none.
void FormatEvaluation::RecordKeepRanges(const OutputRow& row) {
  if (!m_builder.row_list) return;
  for (const xml::Node& range : m_keep_ranges) {
    const std::string on = UpperCase(Trim(range.AttributeOr("On", "0")));
    if (on != "-1" && on != "1" && on != "TRUE") continue;
    const std::string first_text(Trim(range.AttributeOr("KpStart", "")));
    const std::string last_text(Trim(range.AttributeOr("KpEnd", "")));
    const std::optional<std::int64_t> first = ParseWholeNumber(first_text);
    const std::optional<std::int64_t> last = ParseWholeNumber(last_text);
    if (!first || !last || *first != row.definition_row || *last < *first) continue;
    xml::Node record = m_builder.templates.NewRecord(RecordKind::kKeptSection);
    record.SetAttribute("Start", std::to_string(row.number));
    record.SetAttribute("End", std::to_string(row.number + (*last - *first)));
    record.SetAttribute("Key", first_text + ":" + last_text + ":" + m_key);
    ThreadPreviewState().kept_sections.AppendChild(record);
  }
}

xml::Node FormatEvaluation::ConditionItem(const xml::Node& row, std::int32_t definition_row) {
  const std::string key = "PRINT" + std::to_string(definition_row);
  thread_local std::string item_key;  // keeps its storage from row to row
  for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
    item.ReadAttribute("Key", item_key);
    if (EqualsIgnoreCase(item_key, key)) return item;
  }
  return {};
}

void FormatEvaluation::EvaluateRowCondition(const OutputRow& row) {
  if (!row.may_have_condition) return;
  const xml::Node condition = ConditionItem(row.row, row.definition_row);
  if (!condition) return;
  const std::string key = "PRINT" + std::to_string(row.definition_row);
  const bool body_row = m_builder.row_list;
  const xml::Node earlier = ThreadPreviewState().print_conditions.Find(m_key, key);
  if (earlier && earlier.AttributeOr("RptIndex", "") == condition.AttributeOr("RptIndex", "")) {
    if (ApplyRowCondition(m_builder, condition, earlier.AttributeOr("Value", ""), 0, body_row)) {
      m_builder.KeepRow(row.number, body_row);
    }
    return;
  }
  const RepeatContext* repeat = row.repeat.get();
  const xml::Node evaluated = Evaluate(condition, repeat);
  if (evaluated.AttributeOr("Evaluated", "") == "0") {
    DeferItem(m_builder, condition, repeat);
    return;
  }
  RecordRowCondition(m_builder, evaluated);
  if (ApplyRowCondition(m_builder, evaluated, evaluated.AttributeOr("Value", ""), 0, body_row)) {
    m_builder.KeepRow(row.number, body_row);
  }
}

void FormatEvaluation::EvaluateItems(const OutputRow& row) {
  // Column by column from the first; items of reserved columns (numbered
  // below 1) are not cells of the grid.
  std::vector<std::pair<std::int32_t, xml::Node>> cells;
  for (xml::Node item = FirstElement(row.row); item; item = NextElement(item)) {
    if (!item.NameIs("Itm")) continue;
    const std::optional<std::int32_t> column = ItemColumn(item);
    if (column && *column >= m_builder.first_column) cells.emplace_back(*column, item);
  }
  const auto by_column = [](const auto& a, const auto& b) { return a.first < b.first; };
  // (Rows usually list their items column by column already.)
  if (!std::is_sorted(cells.begin(), cells.end(), by_column)) {
    std::stable_sort(cells.begin(), cells.end(), by_column);
  }
  const RepeatContext* repeat = row.repeat.get();
  for (const auto& [column, item] : cells) {
    const xml::Node evaluated = Evaluate(item, repeat);
    // (The evaluator mostly knows the item settled without reading it.)
    const bool settled = m_builder.evaluator->LastKnownSettled();
    if (!settled) evaluated.ReadAttribute("Evaluated", m_read);
    if (!settled && m_read == "0") {
      DeferItem(m_builder, evaluated, repeat);
    } else {
      DropParsedRecord(evaluated);
    }
    PlaceItem(m_builder, *m_result, evaluated);
    // Items wait for a key only while the dependency table holds entries.
    if (ThreadPreviewState().dependencies->Count() == 0) continue;
    evaluated.ReadAttribute("Key", m_read);
    ResolveDependents(m_builder, *m_result, m_read, 0, 0);
  }
}

void FormatEvaluation::EvaluatePendingItems() {
  CDependencyTable& table = *ThreadPreviewState().dependencies;
  for (const xml::Node& entry : table.DependenciesForFormat(m_key)) {
    m_builder.PollCancel();
    if (!(entry.ParentNode() == table.DependentIndex())) continue;
    const xml::Node item = table.DependentItem(entry);
    // Only this print of the format: items of an earlier one wait for the passes.
    if (!item || m_builder.OwnerOf(item) != m_result.get()) continue;
    EvaluatePendingItem(m_builder, entry, *m_result);
  }
  m_builder.evaluator->CurrentFormatName(m_key);
}

void FormatEvaluation::ValueNamedRanges() {
  for (const xml::Node& range : m_named_ranges) {
    const std::string first = std::string(Trim(range.AttributeOr("StartCol", ""))) +
                              std::string(Trim(range.AttributeOr("StartRow", "")));
    const std::string last = std::string(Trim(range.AttributeOr("EndCol", ""))) +
                             std::string(Trim(range.AttributeOr("EndRow", "")));
    const std::string formula =
        EqualsIgnoreCase(first, last) ? "=" + first : "=SUM(" + first + ":" + last + ")";
    m_builder.ValueNamedRange(UpperCase(range.AttributeOr("Key", "")), m_key, formula);
  }
}

void FormatEvaluation::AppendRows() {
  // Items settled by a later pass of this format keep their records until here.
  for (const OutputRow& row : m_rows) {
    m_builder.PollCancel();
    for (xml::Node item = FirstElement(row.row); item; item = NextElement(item)) {
      DropParsedRecord(item);
    }
  }
  m_target.AppendRows(*m_result, m_offset, [this] { m_builder.PollCancel(); });
  if (m_builder.body && &m_target == m_builder.body.get()) {
    ThreadPreviewState().bookmarks->UpdateMaxRow(m_target.MaxRow());
  }
  m_builder.Forget(*m_result);
  m_result.reset();
}

}  // namespace orvo
