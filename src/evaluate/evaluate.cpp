#include "evaluate/evaluate.h"

#include "evaluate/function_order.h"
#include "evaluate/item_bookkeeping.h"
#include "evaluate/item_evaluation.h"
#include "evaluate/ledger_amounts.h"
#include "frame/driver_cache.h"
#include "frame/launch_properties.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr char kKeySeparator = '\x1f';

std::string JoinKey(std::initializer_list<std::string_view> parts) {
  std::string key;
  bool first = true;
  for (std::string_view part : parts) {
    if (!first) key.push_back(kKeySeparator);
    key.append(part);
    first = false;
  }
  return key;
}

std::string NamedRangeKey(const xml::Node& record) { return record.AttributeOr("Name", ""); }
std::string BookmarkKey(const xml::Node& record) { return record.AttributeOr("Key", ""); }
std::string IgnoredRowKey(const xml::Node& record) {
  return JoinKey({record.AttributeOr("OrigFmt", ""), record.AttributeOr("OrigRow", ""),
                  record.AttributeOr("RptIndex", "")});
}

// The bookkeeping attributes an item gets before its first evaluation, in
// the order they are added.
constexpr const char* kBookkeeping[] = {"Evaluated", "OrigKey", "OrigRow",  "DCFml", "OrigFmt",
                                        "OrigFml",   "RptKey",  "RptIndex", "PTxt"};

}  // namespace

cEvaluate::cEvaluate()
    : m_document(xml::Document::Create()),
      m_deferred_values(m_document, "IVals", "IVal Key='' Val=''"),
      m_cell_values(m_document, "Cells", "Cell Key='' Rpt='' Val=''"),
      m_balances(m_document, "Balances", "Key Year='' Prd='' PrdEnd='' PBal='' Bal=''"),
      m_found_rows(m_document, "FoundRows", "FRow Row=''"),
      m_max_cols(m_document, "MaxCols", "MaxCol Fmt=\"\" Col='' Row=''"),
      m_named_range_index(NamedRangeKey),
      m_bookmark_index(BookmarkKey),
      m_ignored_row_index(IgnoredRowKey),
      m_included_note_index(BookmarkKey) {
  m_function_list_template = m_document.CreateElement("EFs");
  for (std::size_t kind = 0; kind < kOperandKindCount; ++kind) {
    m_operand_resolvers[kind] = DefaultOperandResolver(static_cast<OperandKind>(kind));
  }
  m_repeat_expander = DefaultRepeatExpander();
  m_ledger = std::make_unique<LedgerAmounts>(*this);
}

cEvaluate::~cEvaluate() = default;

void cEvaluate::FormatReference(const xml::Node& format) {
  m_format = format;
  m_year_not_latest.reset();
  m_ledger->RegisterFormat(format);
}

Int16 cEvaluate::Evaluate(const xml::Node& item, const xml::Node& repeat_list,
                          std::int32_t repeat_position, std::string_view repeat_key,
                          xml::Node& evaluated_item) {
  return EvaluateWith(item, nullptr, repeat_list, repeat_position, repeat_key, evaluated_item);
}

Int16 cEvaluate::Evaluate(const xml::Node& item, const ParsedExpression& parsed,
                          const xml::Node& repeat_list, std::int32_t repeat_position,
                          std::string_view repeat_key, xml::Node& evaluated_item) {
  return EvaluateWith(item, &parsed, repeat_list, repeat_position, repeat_key, evaluated_item);
}

Int16 cEvaluate::EvaluateWith(const xml::Node& item, const ParsedExpression* parsed,
                              const xml::Node& repeat_list, std::int32_t repeat_position,
                              std::string_view repeat_key, xml::Node& evaluated_item) {
  if (!item) RaiseObjectRequired();
  evaluated_item = item;
  bool settled = true;
  bool ran = false;
  try {
    // The item's attributes the evaluation uses are found once. Evaluated is
    // written now and read again after resolvers ran (one of them may have
    // marked the item as waiting).
    if (!m_run) m_run = std::make_unique<ItemEvaluation>(*this);
    xml::AttributeSet& attributes = m_run->ItemAttributes();
    attributes.Find(item);
    if (attributes.Has(ItemEvaluation::kEvaluated)) {
      attributes.Write(ItemEvaluation::kEvaluated, "-1");
    } else {
      PrepareForEvaluation(item, m_format_name, "-1");
      attributes.Find(item);
    }
    settled = m_run->Run(item, repeat_list, repeat_position, repeat_key, parsed);
    ran = true;
  } catch (const Error&) {
    WriteErrorValue(item, "#ERROR");
    settled = true;
  }
  // References read values from the index, which learns an item's new value
  // here: from the evaluation when it knows it, else from the item.
  std::string_view value;
  bool evaluated = false;
  const bool known =
      ran && settled && m_sources.placed_items && m_run->KnownResult(value, evaluated);
  m_last_known_evaluated = known && evaluated;
  if (m_sources.placed_items) {
    if (known) {
      m_sources.placed_items->ValueChanged(item, value, evaluated);
    } else {
      m_sources.placed_items->ValueChanged(item);
    }
  }
  return settled ? Int16{-1} : Int16{0};
}

void cEvaluate::WriteErrorValue(xml::Node item, std::string_view error_value) {
  item.SetAttribute("Value", error_value);
  item.SetAttribute("PTxt", error_value);
  item.SetAttribute("Evaluated", "-1");
}

Int16 cEvaluate::EvaluateRepeat(const xml::Node& repeat_definition, std::int32_t& count,
                                const xml::Node& balance_keys, xml::Node& repeat_list) {
  return m_repeat_expander->Expand(*this, repeat_definition, count, balance_keys, repeat_list);
}

Int16 cEvaluate::EvaluateRepeat(const xml::Node& repeat_definition, Int16& count,
                                const xml::Node& balance_keys, xml::Node& repeat_list) {
  std::int32_t records = 0;
  const Int16 status = EvaluateRepeat(repeat_definition, records, balance_keys, repeat_list);
  count = ToInt16(records);
  return status;
}

void cEvaluate::CurrentFormatName(std::string_view name) {
  m_format_name = name;
  if (const xml::Node stored = m_max_cols.Find(m_format_name)) {
    m_max_column = TextToLong(stored.AttributeOr("Col", "0"));
    m_max_row = TextToLong(stored.AttributeOr("Row", "0"));
  }
}

void cEvaluate::CurrentFormatMax(std::int32_t column, std::int32_t row) {
  if (const xml::Node stored = m_max_cols.Find(m_format_name)) {
    m_max_column = TextToLong(stored.AttributeOr("Col", "0"));
    m_max_row = TextToLong(stored.AttributeOr("Row", "0"));
    return;
  }
  m_max_column = column;
  m_max_row = row;
  const std::string column_text = std::to_string(column);
  const std::string row_text = std::to_string(row);
  m_max_cols.Add(m_format_name, {{"Fmt", m_format_name}, {"Col", column_text}, {"Row", row_text}});
}

void cEvaluate::ResetMaxCols() { m_max_cols.Clear(); }

void cEvaluate::Init(const xml::Node& launch_properties) {
  InitLaunchProperties(launch_properties);
}

void cEvaluate::SetOperandResolver(OperandKind kind, std::shared_ptr<IOperandResolver> resolver) {
  m_operand_resolvers[static_cast<std::size_t>(kind)] =
      resolver ? std::move(resolver) : DefaultOperandResolver(kind);
}

void cEvaluate::SetFunctionResolver(Function function,
                                    std::shared_ptr<IFunctionResolver> resolver) {
  if (resolver) {
    m_function_resolvers[function] = std::move(resolver);
  } else {
    m_function_resolvers.erase(function);
  }
}

void cEvaluate::SetRepeatExpander(std::shared_ptr<IRepeatExpander> expander) {
  m_repeat_expander = expander ? std::move(expander) : DefaultRepeatExpander();
}

IOperandResolver& cEvaluate::ResolverFor(OperandKind kind) {
  return *m_operand_resolvers[static_cast<std::size_t>(kind)];
}

IFunctionResolver& cEvaluate::FunctionResolverFor(Function function) {
  auto found = m_function_resolvers.find(function);
  if (found != m_function_resolvers.end()) return *found->second;
  static thread_local std::shared_ptr<IFunctionResolver> fallback = DefaultFunctionResolver();
  return *fallback;
}

void cEvaluate::Sources(PreviewSources sources) { m_sources = std::move(sources); }

ColEvaluatedBookmarks& cEvaluate::Bookmarks() {
  if (m_sources.bookmarks) return *m_sources.bookmarks;
  if (!m_own_bookmarks) m_own_bookmarks = std::make_shared<ColEvaluatedBookmarks>();
  return *m_own_bookmarks;
}

PlacedItems& cEvaluate::PlacedItemIndex() {
  if (m_sources.placed_items) return *m_sources.placed_items;
  if (!m_own_placed_items) m_own_placed_items = std::make_unique<PlacedItems>();
  return *m_own_placed_items;
}

std::optional<std::string> cEvaluate::CachedCellValue(const std::string& key,
                                                      std::string_view repeat_key) {
  if (m_cell_values.Size() == 0) return std::nullopt;  // asked per cell reference
  const xml::Node cell = m_cell_values.Find(JoinKey({key, repeat_key}));
  if (!cell) return std::nullopt;
  return cell.AttributeOr("Val", "");
}

void cEvaluate::CacheCellValue(const std::string& key, std::string_view repeat_key,
                               std::string_view value) {
  m_cell_values.FindOrAdd(JoinKey({key, repeat_key}), {{"Key", key}, {"Rpt", repeat_key}})
      .SetAttribute("Val", value);
}

xml::Node cEvaluate::BalanceKey(std::string_view year, std::string_view period,
                                std::string_view end_period, std::string_view period_balance,
                                std::string_view balance) {
  return m_balances.FindOrAdd(JoinKey({year, period, end_period, period_balance, balance}),
                              {{"Year", year},
                               {"Prd", period},
                               {"PrdEnd", end_period},
                               {"PBal", period_balance},
                               {"Bal", balance}});
}

xml::Node cEvaluate::SharedElement(const char* name, xml::Node& held) {
  if (held) return held;
  ISharedCache& cache = GetStoreContext()->SharedCache();
  held = cache.Item(name);
  if (!held) {
    held = xml::Document::Create().CreateElement(name);
    cache.Item(name, held);
  }
  return held;
}

xml::Node cEvaluate::SharedRanges() { return SharedElement("ERange", m_shared_ranges); }
xml::Node cEvaluate::SharedRepeatItems() {
  return SharedElement("EPRItems", m_shared_repeat_items);
}

bool cEvaluate::CurrentYearIsNotLatest() {
  if (!m_year_not_latest) m_year_not_latest = RelativeCurrentYearIndex() != 1;
  return *m_year_not_latest;
}

xml::Node cEvaluate::NamedRangeValue(const std::string& name) {
  return m_named_range_index.Find(m_sources.named_ranges, name);
}

xml::Node cEvaluate::BookmarkDefinition(const std::string& key) {
  xml::Node definitions = m_sources.bookmark_definitions;
  if (!definitions && GetLaunchProperties()) definitions = GetStoreContext()->BookmarkDefinitions();
  return m_bookmark_index.Find(definitions, key);
}

bool cEvaluate::IsIgnoredRow(std::string_view format, std::string_view row,
                             std::string_view index) {
  return static_cast<bool>(
      m_ignored_row_index.Find(m_sources.rows_to_ignore, JoinKey({format, row, index})));
}

void cEvaluate::IncludeNote(const std::string& key) {
  xml::Node notes = m_sources.included_notes;
  if (!notes || m_included_note_index.Find(notes, key)) return;
  xml::Node entry = notes.OwnerDocument().CreateElement("IVal");
  entry.SetAttribute("Key", key);
  entry.SetAttribute("Val", "");
  notes.AppendChild(entry);
}

xml::Node cEvaluate::FindItems() const {
  xml::Node list = m_document.CreateElement("FindItems");
  if (!m_run) return list;
  for (const TextSpan& literal : m_run->LiteralSpans()) {
    xml::Node entry = list.AppendChild(m_document.CreateElement("Itm"));
    entry.SetAttribute("Start", std::to_string(literal.start + 1));
    entry.SetAttribute("End", std::to_string(literal.end));
  }
  return list;
}

xml::Node cEvaluate::OperandCache() const {
  xml::Node list = m_document.CreateElement("Operands");
  if (!m_run) return list;
  for (const ItemEvaluation::Placeholder& placeholder : m_run->Placeholders()) {
    xml::Node entry = list.AppendChild(m_document.CreateElement("Itm"));
    entry.SetAttribute("Key", PlaceholderText(placeholder.number));
    entry.SetAttribute("Pos", std::to_string(placeholder.span.start));
    entry.SetAttribute("Val", m_run->OperandText(placeholder.number));
  }
  return list;
}

xml::Node cEvaluate::SortFunctionList(const xml::Node& function_list) {
  if (!m_function_order) {
    m_function_order =
        std::make_unique<xml::Stylesheet>(xml::Stylesheet::Compile(FunctionOrderStylesheetText()));
  }
  return orvo::SortFunctionList(*m_function_order, function_list, m_document);
}

}  // namespace orvo
