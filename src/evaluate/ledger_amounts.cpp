#include "evaluate/ledger_amounts.h"

#include <charconv>

#include "evaluate/currency.h"
#include "evaluate/driver_requests.h"
#include "evaluate/evaluate.h"
#include "evaluate/item_bookkeeping.h"
#include "evaluate/repeat_sort.h"
#include "evaluate/style_record.h"
#include "formula/vocabulary.h"
#include "frame/driver_cache.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr char kSeparator = '\x1f';

xml::Node ChildNamed(const xml::Node& parent, std::string_view name) {
  for (xml::Node child = parent ? parent.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) return child;
  }
  return {};
}

// An argument as written: trimmed, without the quotes of a string literal.
std::string_view UnquotedView(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

std::string Unquoted(std::string_view text) { return std::string(UnquotedView(text)); }

// The last comma outside quotes, or npos.
std::size_t LastComma(std::string_view text) {
  std::size_t last = std::string_view::npos;
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ',') {
      last = i;
    }
  }
  return last;
}

// Whether a comma-separated list holds `entry` as one of its entries.
bool ListHolds(std::string_view list, std::string_view entry) {
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    if (list.substr(start, end - start) == entry) return true;
    start = end + 1;
  }
  return false;
}

// Boolean attributes of definitions: "-1", "1", "True" are true.
bool IsTrue(std::string_view text) {
  const std::string upper = UpperCase(Trim(text));
  return upper == "-1" || upper == "1" || upper == "TRUE";
}

std::optional<std::int32_t> WholeNumber(std::string_view text) {
  text = Trim(text);
  std::int32_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A database-map table reference without its "DB." prefix.
std::string TableName(std::string_view reference) {
  reference = Trim(reference);
  if (reference.size() >= 3 && EqualsIgnoreCase(reference.substr(0, 3), "DB.")) {
    reference.remove_prefix(3);
  }
  return std::string(reference);
}

// Restrictions of a folder listed record by record: a total restriction
// lists like the per-account one.
FolderRestriction ListedRestriction(FolderRestriction restriction) {
  if (restriction == FolderRestriction::kTotalCredit) return FolderRestriction::kCredit;
  if (restriction == FolderRestriction::kTotalDebit) return FolderRestriction::kDebit;
  return restriction;
}

std::string FetchedKeyOf(std::string_view cache_key, FolderRestriction restriction,
                         bool show_sub_codes, bool show_zero_balances, bool totals_only,
                         const std::vector<BalanceRequest>& keys) {
  std::string key(cache_key);
  key += totals_only ? "\x1fT" : "\x1fR";
  key.push_back(kSeparator);
  key += RestrictionText(restriction);
  key.push_back(kSeparator);
  key += show_sub_codes ? "-1" : "0";
  key.push_back(kSeparator);
  key += show_zero_balances ? "-1" : "0";
  key.push_back(kSeparator);
  key += SignatureOf(keys);
  return key;
}

std::vector<BalanceRequest> KeysOfEntry(const xml::Node& entry) {
  std::vector<BalanceRequest> keys;
  for (xml::Node key = ChildNamed(entry, "Balances").FirstChild(); key; key = key.NextSibling()) {
    if (key.Type() != xml::NodeType::kElement) continue;
    keys.push_back({key.AttributeOr("Year", ""), key.AttributeOr("Prd", ""),
                    key.AttributeOr("PrdEnd", ""), key.AttributeOr("PBal", ""),
                    key.AttributeOr("Bal", "")});
  }
  return keys;
}

FolderRestriction RestrictionOf(std::string_view text) {
  for (FolderRestriction restriction :
       {FolderRestriction::kCredit, FolderRestriction::kDebit, FolderRestriction::kTotalCredit,
        FolderRestriction::kTotalDebit}) {
    if (text == RestrictionText(restriction)) return restriction;
  }
  return FolderRestriction::kNone;
}

}  // namespace

std::string LedgerAmounts::FetchedKey(const xml::Node& entry) {
  return FetchedKeyOf(entry.AttributeOr("Key", ""), RestrictionOf(entry.AttributeOr("Flt", "")),
                      entry.AttributeOr("Sub", "0") == "-1", entry.AttributeOr("Zer", "0") == "-1",
                      entry.AttributeOr("Tot", "0") == "-1", KeysOfEntry(entry));
}

// ---------------------------------------------------------------------------
// Balance contexts

void LedgerAmounts::RegisterFormat(const xml::Node& format) {
  if (!format) return;
  m_last_format_found = false;  // the remembered entry may be replaced or erased
  const xml::Node holder = ChildNamed(format, "ColBals");
  if (!holder) {
    // A format without balance columns: its items take the default context.
    for (const char* attribute : {"Key", "Name"}) {
      m_formats.erase(UpperCase(Trim(format.AttributeOr(attribute, ""))));
    }
    return;
  }
  FormatColumns columns;
  columns.holder = holder;
  std::unordered_map<std::string, std::size_t> index_of;
  for (xml::Node column = holder.FirstChild(); column; column = column.NextSibling()) {
    if (column.Type() != xml::NodeType::kElement || column.Name() != "ColBal") continue;
    const std::optional<std::int32_t> number = WholeNumber(column.AttributeOr("Col", ""));
    if (!number) continue;
    BalanceContext context = BalanceContext::FromColumn(column);
    auto [found, added] = index_of.emplace(context.Signature(), columns.contexts.size());
    if (added) columns.contexts.push_back(std::move(context));
    columns.context_of_column.emplace(*number, found->second);
  }
  for (const char* attribute : {"Key", "Name"}) {
    const std::string name = UpperCase(Trim(format.AttributeOr(attribute, "")));
    if (name.empty()) continue;
    auto existing = m_formats.find(name);
    // The same column list again keeps what was resolved for it.
    if (existing != m_formats.end() && existing->second.holder == holder &&
        existing->second.context_of_column.size() == columns.context_of_column.size()) {
      continue;
    }
    m_formats[name] = columns;
  }
}

const BalanceRequest& LedgerAmounts::Resolve(const BalanceContext& context, bool last_year) {
  return m_calendar.Resolve(context, last_year);
}

void LedgerAmounts::RegisterRequest(const BalanceRequest& request) {
  if (!m_registered.emplace(request.Signature(), true).second) return;
  m_evaluator.BalanceKey(request.year, request.period, request.end_period, request.period_balance,
                         request.balance);
}

void LedgerAmounts::ResolveColumns(FormatColumns& columns, int shift) {
  if (columns.resolved[shift]) return;
  std::unordered_map<std::string, std::size_t> index_of;
  std::vector<BalanceRequest>& key_set = columns.key_sets[shift];
  std::vector<std::size_t>& index_of_context = columns.index_of_context[shift];
  for (const BalanceContext& context : columns.contexts) {
    const BalanceRequest& request = m_calendar.Resolve(context, shift == 1);
    auto [found, added] = index_of.emplace(request.Signature(), key_set.size());
    if (added) {
      key_set.push_back(request);
      // This year's set is what folders are fetched with; last year's
      // requests go one by one and are recorded when they are made.
      if (shift == 0) RegisterRequest(request);
    }
    index_of_context.push_back(found->second);
    columns.request_of_context[shift].push_back(&request);
  }
  columns.resolved[shift] = true;
}

const std::vector<BalanceRequest>& LedgerAmounts::SingleKeySet(const BalanceRequest& request) {
  const std::string signature = request.Signature();
  auto found = m_single_sets.find(signature);
  if (found != m_single_sets.end()) return found->second;
  RegisterRequest(request);
  return m_single_sets.emplace(signature, std::vector<BalanceRequest>{request}).first->second;
}

LedgerAmounts::ItemBalance LedgerAmounts::BalanceFor(const EvaluationScope& scope, bool last_year) {
  const int shift = last_year ? 1 : 0;
  const xml::Node& item = scope.Item();
  // Every copy of a repeating row names the same format: the last name
  // looked up is remembered with what it found.
  item.ReadAttribute("OrigFmt", m_read_buffer);
  FormatColumns* found_columns = nullptr;
  if (m_last_format_found && m_read_buffer == m_last_format_name) {
    found_columns = m_last_format;
  } else {
    auto format = m_formats.find(UpperCase(m_read_buffer));
    if (format != m_formats.end()) {
      m_last_format_name = m_read_buffer;
      m_last_format = &format->second;
      m_last_format_found = true;
      found_columns = m_last_format;
    } else {
      format = m_formats.find(UpperCase(m_evaluator.CurrentFormatName()));
      if (format != m_formats.end()) found_columns = &format->second;
    }
  }
  if (found_columns) {
    FormatColumns& columns = *found_columns;
    item.ReadAttribute("Col", m_read_buffer);
    const std::optional<std::int32_t> column = WholeNumber(m_read_buffer);
    auto context =
        column ? columns.context_of_column.find(*column) : columns.context_of_column.end();
    if (context != columns.context_of_column.end()) {
      ResolveColumns(columns, shift);
      return {columns.request_of_context[shift][context->second], &columns.key_sets[shift],
              columns.index_of_context[shift][context->second]};
    }
  }
  BalanceContext context = BalanceContext::Default();
  if (scope.InRepeat()) {
    RepeatInfo& info = InfoOf(scope.RepeatList());
    if (!info.contexts.empty()) context = info.contexts.front();
  }
  const BalanceRequest& request = m_calendar.Resolve(context, last_year);
  return {&request, &SingleKeySet(request), 0};
}

// ---------------------------------------------------------------------------
// Chart-map folders

xml::Node LedgerAmounts::FolderRecords(const FolderReference& folder,
                                       const std::vector<BalanceRequest>& keys, bool show_sub_codes,
                                       bool show_zero_balances,
                                       const std::vector<std::string>& sort_fields,
                                       bool totals_only) {
  std::string cache_key = folder.key;
  if (!sort_fields.empty()) {
    cache_key += ":Sort:";
    for (std::size_t i = 0; i < sort_fields.size(); ++i) {
      if (i > 0) cache_key += ",";
      cache_key += sort_fields[i];
    }
  }
  cache_key = UpperCase(cache_key);
  xml::Node store = m_evaluator.SharedRepeatItems();
  const std::string fetched_key = FetchedKeyOf(cache_key, folder.restriction, show_sub_codes,
                                               show_zero_balances, totals_only, keys);
  if (const xml::Node entry = m_fetched.Find(store, fetched_key)) return entry;

  std::optional<std::vector<AccountRange>> ranges =
      m_folders.Ranges(folder.key, m_evaluator.SharedRanges());
  if (!ranges) return {};
  for (AccountRange& range : *ranges) {
    if (folder.restriction == FolderRestriction::kCredit) range.allow_debit = false;
    if (folder.restriction == FolderRestriction::kDebit) range.allow_credit = false;
  }
  xml::Node records;
  if (ranges->empty() || keys.empty()) {
    records = xml::Document::Create().CreateElement("Records");
  } else {
    records = RequestRepeatingBalance(*ranges, keys, show_sub_codes, show_zero_balances);
  }
  if (folder.restriction == FolderRestriction::kCredit ||
      folder.restriction == FolderRestriction::kDebit) {
    // The driver was told the permissions; a driver that ignores them still
    // lists no account on the wrong side.
    const bool credit = folder.restriction == FolderRestriction::kCredit;
    for (xml::Node record = records.FirstChild(); record;) {
      xml::Node next = record.NextSibling();
      const std::optional<Currency> amount =
          Currency::FromText(record.AttributeOr(AmountField(1), ""));
      if (amount && (credit ? *amount > Currency() : *amount < Currency())) {
        records.RemoveChild(record);
      }
      record = next;
    }
  }
  if (!sort_fields.empty()) records = SortRepeatList(records, sort_fields);

  xml::Document document = store.OwnerDocument();
  xml::Node entry = document.CreateElement("Itm");
  entry.SetAttribute("Key", cache_key);
  entry.SetAttribute("Flt", RestrictionText(folder.restriction));
  entry.SetAttribute("Sub", show_sub_codes ? "-1" : "0");
  entry.SetAttribute("Zer", show_zero_balances ? "-1" : "0");
  if (totals_only) entry.SetAttribute("Tot", "-1");
  xml::Node balances = entry.AppendChild(document.CreateElement("Balances"));
  for (const BalanceRequest& key : keys) {
    xml::Node element = balances.AppendChild(document.CreateElement("Key"));
    element.SetAttribute("Year", key.year);
    element.SetAttribute("Prd", key.period);
    element.SetAttribute("PrdEnd", key.end_period);
    element.SetAttribute("PBal", key.period_balance);
    element.SetAttribute("Bal", key.balance);
  }
  if (totals_only) {
    // A folder fetched for its totals keeps only them: one sum per key,
    // exact in the currency type, instead of a record per account.
    std::vector<Currency> totals(keys.size());
    std::vector<std::string> fields;
    for (std::size_t k = 0; k < keys.size(); ++k) fields.push_back(AmountField(k + 1));
    for (xml::Node record = records.FirstChild(); record; record = record.NextSibling()) {
      if (record.Type() != xml::NodeType::kElement) continue;
      for (std::size_t k = 0; k < keys.size(); ++k) {
        if (auto amount = Currency::FromText(record.AttributeOr(fields[k], ""))) {
          totals[k] = totals[k] + *amount;
        }
      }
    }
    xml::Node sums = entry.AppendChild(document.CreateElement("Totals"));
    for (std::size_t k = 0; k < keys.size(); ++k) sums.SetAttribute(fields[k], totals[k].ToText());
  } else {
    entry.AppendChild(records);
  }
  return store.AppendChild(entry);
}

std::string LedgerAmounts::ListTotal(const xml::Node& entry, std::size_t key_index) {
  return ChildNamed(entry, "Totals").AttributeOr(AmountField(key_index + 1), "0");
}

Resolution LedgerAmounts::FolderAmount(std::string_view reference, EvaluationScope& scope,
                                       bool last_year) {
  FolderReference folder = ParseFolderReference(reference);
  const ItemBalance balance = BalanceFor(scope, last_year);
  std::optional<std::vector<AccountRange>> ranges =
      m_folders.Ranges(folder.key, m_evaluator.SharedRanges());
  if (!ranges) return Resolution::ErrorValue("#NAME");
  if (ranges->empty()) return Resolution::Value("0");

  const FolderRestriction total_restriction = folder.restriction;
  if (folder.restriction == FolderRestriction::kTotalCredit ||
      folder.restriction == FolderRestriction::kTotalDebit) {
    folder.restriction = FolderRestriction::kNone;
  }
  // Last year's amounts are asked for the item's own key: few columns of a
  // format take last year's figures, so the format's whole set would mostly
  // fetch amounts nobody reads.
  const std::vector<BalanceRequest>* keys =
      last_year ? &SingleKeySet(*balance.request) : balance.key_set;
  std::size_t index = last_year ? 0 : balance.index;
  bool restricted = folder.restriction != FolderRestriction::kNone;
  for (const AccountRange& range : *ranges) {
    restricted = restricted || !range.allow_credit || !range.allow_debit;
  }
  if (keys->size() > 1 && (restricted || m_failed_sets.count(SignatureOf(*keys)))) {
    // The driver judges permissions by the first key's amount; and a key set
    // the driver refused once (one column with a balance type it lacks)
    // would fail every column: one key per request.
    keys = &SingleKeySet(*balance.request);
    index = 0;
  }
  xml::Node entry;
  if (keys->size() > 1) {
    ResumeNext resume;
    resume.Step([&] { entry = FolderRecords(folder, *keys, false, false, {}, true); });
    if (resume.IsErrorPending()) {
      m_failed_sets.insert(SignatureOf(*keys));
      keys = &SingleKeySet(*balance.request);
      index = 0;
    }
  }
  if (!entry) entry = FolderRecords(folder, *keys, false, false, {}, true);
  std::string total = ListTotal(entry, index);
  if (total_restriction == FolderRestriction::kTotalCredit ||
      total_restriction == FolderRestriction::kTotalDebit) {
    const std::optional<Currency> amount = Currency::FromText(total);
    const bool keep =
        amount && (total_restriction == FolderRestriction::kTotalCredit ? *amount < Currency()
                                                                        : *amount > Currency());
    if (!keep) total = "0";
  }
  RegisterDrill(scope, folder.key, {}, *balance.request);
  return Resolution::Value(std::move(total));
}

const cDrillDown::Request& LedgerAmounts::DrillRequestOf(const BalanceRequest& request) {
  // The requests handed in are the calendar's, which stay where they are:
  // the last one asked, and then their addresses, find the drill request
  // before their signatures do.
  if (m_last_drill_request && m_last_drill_request->first == &request) {
    return *m_last_drill_request->second;
  }
  auto [by_address, added] = m_drill_request_of.try_emplace(&request, nullptr);
  if (added) {
    // The drill-down object only reads the balance definition: one per
    // request serves every item that asks it (every row of a repeat).
    auto [by_signature, new_signature] = m_drill_requests.try_emplace(request.Signature());
    if (new_signature) {
      xml::Node balance_def = m_drill_document.CreateElement("BalanceDef");
      balance_def.AppendChild(m_drill_document.ImportNode(
          m_evaluator.BalanceKey(request.year, request.period, request.end_period,
                                 request.period_balance, request.balance),
          true));
      by_signature->second = std::make_unique<cDrillDown::Request>(balance_def);
    }
    by_address->second = by_signature->second.get();
  }
  m_last_drill_request = &*by_address;
  return *by_address->second;
}

void LedgerAmounts::RegisterDrill(const EvaluationScope& scope, std::string_view folder,
                                  std::string_view account, const BalanceRequest& request) {
  cDrillDown* drill_down = m_evaluator.Sources().drill_down.get();
  if (!drill_down) return;
  const xml::Node& item = scope.Item();
  // An item without a Drill child gets one only when a key is written.
  xml::Node drill = DrillOf(item);
  std::string& keys = m_read_buffer;
  keys.clear();
  if (drill) drill.ReadAttribute("Key", keys);
  auto [known, added] = m_drill_keys.try_emplace(item.Raw());
  if (!added && !known->second.empty() && ListHolds(keys, known->second)) return;
  const cDrillDown::Request& drill_request = DrillRequestOf(request);
  // The account code joins the folder in the signature: the rows of a
  // repeat ask the same balances of different accounts, and each needs its
  // own drill object.
  std::string& signature = m_signature_buffer;
  signature.assign(folder);
  if (!account.empty()) {
    signature += ':';
    signature += account;
  }
  known->second = drill_down->AddChartMapDrillItem(signature, folder, account, &drill_request);
  if (!drill) {
    AddDrill(item, "-1", known->second);
    return;
  }
  if (keys.empty() || !drill.ReadAttribute("On", signature) || signature == "0") {
    keys = known->second;
  } else {
    keys += ',';
    keys += known->second;
  }
  drill.SetAttribute("On", "-1");
  drill.SetAttribute("Key", keys);
}

// ---------------------------------------------------------------------------
// Repeats

LedgerAmounts::RepeatInfo& LedgerAmounts::InfoOf(const xml::Node& repeat_list) {
  auto [found, added] = m_repeats.try_emplace(repeat_list.Raw());
  if (added) found->second.list = repeat_list;
  return found->second;
}

const xml::Node* LedgerAmounts::Record(RepeatInfo& info, std::int32_t position) {
  if (!info.records_listed) {
    info.records.clear();
    for (xml::Node record = info.list.FirstChild(); record; record = record.NextSibling()) {
      if (record.Type() == xml::NodeType::kElement) info.records.push_back(record);
    }
    info.records_listed = true;
  }
  if (position < 1 || static_cast<std::size_t>(position) > info.records.size()) return nullptr;
  return &info.records[static_cast<std::size_t>(position - 1)];
}

std::int32_t LedgerAmounts::RecordCountOf(const xml::Node& repeat_list) {
  if (!repeat_list) return 0;
  RepeatInfo& info = InfoOf(repeat_list);
  Record(info, 0);
  return static_cast<std::int32_t>(info.records.size());
}

const std::unordered_map<std::string, xml::Node>& LedgerAmounts::ExtraAmounts(
    RepeatInfo& info, const BalanceRequest& request) {
  std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(info.list.Raw()));
  key.push_back(kSeparator);
  key += request.Signature();
  auto found = m_extra_amounts.find(key);
  if (found != m_extra_amounts.end()) return found->second;
  std::unordered_map<std::string, xml::Node>& by_code = m_extra_amounts[key];
  const std::vector<BalanceRequest>& keys = SingleKeySet(request);
  for (const FolderReference& folder : info.folders) {
    FolderReference listed = folder;
    listed.restriction = ListedRestriction(folder.restriction);
    const xml::Node entry = FolderRecords(listed, keys, info.show_sub_codes, false, {}, false);
    for (xml::Node record = ChildNamed(entry, "Records").FirstChild(); record;
         record = record.NextSibling()) {
      if (record.Type() == xml::NodeType::kElement) {
        by_code.emplace(record.AttributeOr("CODE", ""), record);
      }
    }
  }
  return by_code;
}

const std::string& LedgerAmounts::AmountFieldFor(RepeatInfo& info, const BalanceRequest& request) {
  auto [known, added] = info.amount_fields.try_emplace(&request);
  if (added) {
    auto index = info.key_index.find(request.Signature());
    if (index != info.key_index.end()) known->second = AmountField(index->second + 1);
  }
  return known->second;
}

Resolution LedgerAmounts::RecordAmount(RepeatInfo& info, const xml::Node& record,
                                       const EvaluationScope& scope, bool last_year, int offset) {
  const BalanceRequest& request = *BalanceFor(scope, last_year).request;
  const std::string& amount_field = AmountFieldFor(info, request);
  if (amount_field.empty()) {
    // A context the repeat was not expanded with (last year's, mostly):
    // its amounts are fetched once for the whole repeat.
    const auto& by_code = ExtraAmounts(info, request);
    const std::string code = record.AttributeOr("CODE", "");
    auto found = by_code.find(code);
    if (offset == 0) RegisterDrill(scope, info.folder_text, code, request);
    return Resolution::Value(found == by_code.end() ? "0"
                                                    : found->second.AttributeOr("AMOUNT", "0"));
  }
  std::optional<std::string> value = record.GetAttribute(amount_field);
  if (!value) return Resolution::ErrorValue("#NAME");
  if (offset == 0) {
    record.ReadAttribute("CODE", m_code_buffer);
    RegisterDrill(scope, info.folder_text, m_code_buffer, request);
  }
  return Resolution::Value(std::move(*value));
}

Resolution LedgerAmounts::RecordField(std::string_view field, EvaluationScope& scope,
                                      bool last_year, int offset) {
  if (!scope.InRepeat()) return Resolution::Value(std::string());
  RepeatInfo& info = InfoOf(scope.RepeatList());
  const xml::Node* record = Record(info, scope.RepeatPosition() + offset);
  if (!record) return Resolution::Value(std::string());
  std::string& name = m_field_buffer;
  name.assign(UnquotedView(field));
  MakeUpperCase(name);
  if (info.chart_map && name == "AMOUNT") {
    // A formula that names the amount twice (If(AMOUNT>0,AMOUNT,0)) gets
    // the first answer again: same item, record and request, and its drill
    // key is registered already.
    AmountMemo& memo = m_amount_memo;
    if (memo.serial == scope.Serial() && memo.last_year == last_year && memo.offset == offset) {
      return memo.answer;
    }
    memo.serial = 0;
    Resolution answer = RecordAmount(info, *record, scope, last_year, offset);
    memo = {scope.Serial(), last_year, offset, answer};
    return answer;
  }
  if (!info.table.empty() && last_year) {
    // The same record last year: found by the table's first field.
    const xml::NamedNodeMap attributes = record->Attributes();
    const xml::Node first = attributes.Item(0);
    if (!first) return Resolution::Value(std::string());
    const std::string field_name = name;  // the buffer serves the next call
    const auto& by_key = DatabaseRecordsByKey(info.table, DatabaseYear(scope, true));
    auto found = by_key.find(first.Text());
    return Resolution::Value(found == by_key.end() ? std::string()
                                                   : found->second.AttributeOr(field_name, ""));
  }
  std::optional<std::string> value = record->GetAttribute(name);
  return value ? Resolution::Value(std::move(*value)) : Resolution::ErrorValue("#NAME");
}

std::int16_t LedgerAmounts::ExpandRepeat(const xml::Node& repeat_definition, std::int32_t& count,
                                         const xml::Node& balance_keys, xml::Node& repeat_list) {
  if (!repeat_definition) RaiseObjectRequired();
  count = 0;
  xml::Node keys = balance_keys;
  if (!keys) keys = xml::Document::Create().CreateElement("Keys");
  bool has_key = false;
  for (xml::Node key = keys.FirstChild(); key && !has_key; key = key.NextSibling()) {
    has_key = key.Type() == xml::NodeType::kElement && key.Name() == "Key";
  }
  if (!has_key) {
    const xml::Document document = keys.OwnerDocument();
    xml::Node key = keys.AppendChild(document.CreateElement("Key"));
    const BalanceContext fallback = BalanceContext::Default();
    key.SetAttribute("Year", fallback.year);
    key.SetAttribute("Prd", fallback.period);
    key.SetAttribute("PrdEnd", fallback.end_period);
    key.SetAttribute("PBal", fallback.period_balance);
    key.SetAttribute("Bal", fallback.balance);
  }
  std::vector<BalanceContext> contexts;
  for (xml::Node key = keys.FirstChild(); key; key = key.NextSibling()) {
    if (key.Type() == xml::NodeType::kElement && key.Name() == "Key") {
      contexts.push_back(BalanceContext::FromKey(key));
    }
  }

  const std::string type(Trim(repeat_definition.AttributeOr("Typ", "")));
  const std::string text(Trim(repeat_definition.Text()));
  RepeatInfo expanded;
  expanded.contexts = contexts;
  std::int16_t status = -1;
  if (type == "2") {
    // The repeat's first key gives the year unless the definition names one.
    std::string definition = text;
    bool names_year = false;
    for (std::size_t start = 0; start <= text.size();) {
      std::size_t end = text.find(';', start);
      if (end == std::string::npos) end = text.size();
      const std::string_view part = std::string_view(text).substr(start, end - start);
      const std::size_t equals = part.find('=');
      if (start > 0 && equals != std::string_view::npos &&
          EqualsIgnoreCase(Trim(part.substr(0, equals)), "Year")) {
        names_year = true;
      }
      start = end + 1;
    }
    if (!names_year) definition += "; Year=" + Resolve(contexts.front(), false).year;
    repeat_list = GetDatabaseMapProvider()->Records(definition);
    if (!repeat_list) repeat_list = xml::Document::Create().CreateElement("Records");
    expanded.table = UpperCase(repeat_list.AttributeOr("Table", TableName(text)));
  } else if (type == "1") {
    expanded.chart_map = true;
    expanded.folder_text = text;
    expanded.show_sub_codes = IsTrue(repeat_definition.AttributeOr("Sub", ""));
    const bool show_zero = IsTrue(repeat_definition.AttributeOr("Zer", ""));
    std::vector<std::string> sort_fields = RepeatSortFields(repeat_definition);
    if (sort_fields.empty() && IsTrue(repeat_definition.AttributeOr("Use", ""))) {
      // Use: sort by the driver's default primary sort field.
      const std::string primary = UpperCase(Trim(RepeatDefaultPrimarySort()));
      if (!primary.empty()) sort_fields.push_back(primary);
    }
    for (const BalanceContext& context : contexts) {
      const BalanceRequest& request = Resolve(context, false);
      if (expanded.key_index.emplace(request.Signature(), expanded.keys.size()).second) {
        expanded.keys.push_back(request);
        RegisterRequest(request);
      }
    }
    std::vector<xml::Node> lists;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t plus = text.find('+', start);
      if (plus == std::string::npos) plus = text.size();
      FolderReference folder = ParseFolderReference(text.substr(start, plus - start));
      folder.restriction = ListedRestriction(folder.restriction);
      start = plus + 1;
      if (folder.key.empty()) continue;
      expanded.folders.push_back(folder);
      const xml::Node entry = FolderRecords(folder, expanded.keys, expanded.show_sub_codes,
                                            show_zero, sort_fields, false);
      if (entry) lists.push_back(ChildNamed(entry, "Records"));
    }
    if (lists.size() == 1) {
      // One folder: the shared list itself, which nobody changes.
      repeat_list = lists.front();
    } else {
      const xml::Document document = m_evaluator.SharedRepeatItems().OwnerDocument();
      repeat_list = document.CreateElement("Records");
      for (const xml::Node& list : lists) {
        for (xml::Node record = list.FirstChild(); record; record = record.NextSibling()) {
          if (record.Type() == xml::NodeType::kElement) {
            repeat_list.AppendChild(record.CloneNode(true));
          }
        }
      }
    }
  } else {
    repeat_list = xml::Document::Create().CreateElement("Records");
    status = 0;
  }

  expanded.list = repeat_list;
  RepeatInfo& info = InfoOf(repeat_list);
  info = std::move(expanded);
  count = RecordCountOf(repeat_list);
  return status;
}

// ---------------------------------------------------------------------------
// Database map

std::string LedgerAmounts::DatabaseYear(const EvaluationScope& scope, bool last_year) {
  return BalanceFor(scope, last_year).request->year;
}

const std::unordered_map<std::string, xml::Node>& LedgerAmounts::DatabaseRecordsByKey(
    const std::string& table, const std::string& year) {
  const std::string key = table + kSeparator + year;
  auto found = m_database_records.find(key);
  if (found != m_database_records.end()) return found->second;
  std::unordered_map<std::string, xml::Node>& by_key = m_database_records[key];
  const xml::Node records = GetDatabaseMapProvider()->Records(table + "; Year=" + year);
  for (xml::Node record = records ? records.FirstChild() : xml::Node(); record;
       record = record.NextSibling()) {
    if (record.Type() != xml::NodeType::kElement) continue;
    const xml::Node first = record.Attributes().Item(0);
    if (first) by_key.emplace(first.Text(), record);
  }
  return by_key;
}

Resolution LedgerAmounts::DatabaseField(std::string_view reference, EvaluationScope& scope,
                                        bool last_year) {
  const std::string_view trimmed = Trim(reference);
  const std::size_t dot = trimmed.rfind('.');
  if (dot == std::string_view::npos) return Resolution::ErrorValue("#NAME");
  const std::string table = TableName(trimmed.substr(0, dot));
  const std::string field(Trim(trimmed.substr(dot + 1)));
  if (scope.InRepeat()) {
    RepeatInfo& info = InfoOf(scope.RepeatList());
    if (!info.table.empty() && info.table == UpperCase(table)) {
      return RecordField(field, scope, last_year, 0);
    }
  }
  std::string value;
  ResumeNext resume;
  // A provider failure is the reference's failure: it reads as "#NAME".
  resume.Step([&] {
    value = GetDatabaseMapProvider()->FieldValue(table, field, 1, DatabaseYear(scope, last_year));
  });
  if (resume.IsErrorPending()) return Resolution::ErrorValue("#NAME");
  return Resolution::Value(std::move(value));
}

Resolution LedgerAmounts::RecordCount(std::string_view arguments, EvaluationScope& scope) {
  const std::string table = TableName(Unquoted(arguments));
  std::string count;
  ResumeNext resume;
  resume.Step([&] {
    std::shared_ptr<IDatabaseMapProvider> provider = GetDatabaseMapProvider();
    if (!provider->Table(table)) return;
    count = std::to_string(provider->RecordCount(table, DatabaseYear(scope, false)));
  });
  if (resume.IsErrorPending() || count.empty()) return Resolution::Value("#REF");
  return Resolution::Value(std::move(count));
}

Resolution LedgerAmounts::RecordValue(const FunctionRequest& request, EvaluationScope& scope) {
  const std::size_t comma = LastComma(request.arguments);
  if (comma == std::string_view::npos) return Resolution::Value("#ERROR");
  const std::string reference = request.operands.empty()
                                    ? Unquoted(request.arguments.substr(0, comma))
                                    : std::string(Trim(request.operands.front()));
  const std::optional<std::int32_t> number =
      WholeNumber(Unquoted(request.arguments.substr(comma + 1)));
  if (!number) return Resolution::Value("#ERROR");
  const std::size_t dot = reference.rfind('.');
  if (dot == std::string::npos) return Resolution::Value("#NAME");
  const std::string table = TableName(std::string_view(reference).substr(0, dot));
  const std::string field(Trim(std::string_view(reference).substr(dot + 1)));
  std::string value;
  ResumeNext resume;
  resume.Step([&] {
    value = GetDatabaseMapProvider()->FieldValue(table, field, *number, DatabaseYear(scope, false));
  });
  if (resume.IsErrorPending()) return Resolution::Value("#NAME");
  return Resolution::Value(std::move(value));
}

// ---------------------------------------------------------------------------
// AccountValue, Year, Period

Resolution LedgerAmounts::AccountValue(std::string_view arguments, EvaluationScope& scope) {
  const std::size_t comma = LastComma(arguments);
  const std::string code =
      UpperCase(Unquoted(comma == std::string_view::npos ? arguments : arguments.substr(0, comma)));
  std::string field =
      comma == std::string_view::npos ? "AMOUNT" : UpperCase(Unquoted(arguments.substr(comma + 1)));
  if (field.empty()) field = "AMOUNT";
  const BalanceRequest& request = *BalanceFor(scope, false).request;
  std::string key = code;
  key.push_back(kSeparator);
  key += field;
  key.push_back(kSeparator);
  key += request.Signature();
  auto found = m_account_values.find(key);
  if (found != m_account_values.end()) return Resolution::Value(found->second);
  std::string value = RequestAccountValue(code, field, request);
  return Resolution::Value(
      m_account_values.emplace(std::move(key), std::move(value)).first->second);
}

Resolution LedgerAmounts::YearName(EvaluationScope& scope) {
  const BalanceRequest& request = *BalanceFor(scope, false).request;
  if (request.year.empty()) return Resolution::Value(std::string());
  auto found = m_year_names.find(request.year);
  if (found == m_year_names.end()) {
    found = m_year_names.emplace(request.year, RequestYearName(request.year)).first;
  }
  return Resolution::Value(found->second);
}

Resolution LedgerAmounts::PeriodEnd(EvaluationScope& scope) {
  const BalanceRequest& request = *BalanceFor(scope, false).request;
  if (request.year.empty()) return Resolution::Value(std::string());
  // A context without an end period stands at the data's current period.
  const std::string period =
      request.end_period.empty() ? m_calendar.CurrentPeriod() : request.end_period;
  std::string key = request.year;
  key.push_back(kSeparator);
  key += period;
  auto found = m_period_ends.find(key);
  if (found == m_period_ends.end()) {
    found = m_period_ends.emplace(key, RequestPeriodEnd(request.year, period)).first;
  }
  return Resolution::Value(found->second);
}

}  // namespace orvo

// ---------------------------------------------------------------------------
// Resolvers

namespace orvo {
namespace {

class LedgerOperands : public IOperandResolver {
 public:
  explicit LedgerOperands(OperandKind kind) : m_kind(kind) {}
  Resolution Resolve(const OperandRequest& request, EvaluationScope& scope) override {
    LedgerAmounts& ledger = scope.Evaluator().Ledger();
    const bool last_year = IsLastYear(request.type);
    switch (m_kind) {
      case OperandKind::kChartMap:
        return ledger.FolderAmount(request.text, scope, last_year);
      case OperandKind::kDatabaseMap:
        return ledger.DatabaseField(request.text, scope, last_year);
      default:
        return ledger.RecordField(request.text, scope, last_year, 0);
    }
  }

 private:
  OperandKind m_kind;
};

class LedgerFunctions : public IFunctionResolver {
 public:
  Resolution Call(const FunctionRequest& request, EvaluationScope& scope) override {
    LedgerAmounts& ledger = scope.Evaluator().Ledger();
    switch (request.function) {
      case Function::kAccountValue:
        return ledger.AccountValue(request.arguments, scope);
      case Function::kYear:
        return ledger.YearName(scope);
      case Function::kPeriod:
        return ledger.PeriodEnd(scope);
      case Function::kRecordCount:
        return ledger.RecordCount(request.arguments, scope);
      case Function::kRecordValue:
        return ledger.RecordValue(request, scope);
      case Function::kPreviousRecord:
        return ledger.RecordField(request.arguments, scope, false, -1);
      case Function::kNextRecord:
        return ledger.RecordField(request.arguments, scope, false, 1);
      default:
        return Resolution::Value(std::string());
    }
  }
};

class LedgerRepeats : public IRepeatExpander {
 public:
  std::int16_t Expand(cEvaluate& evaluator, const xml::Node& repeat_definition, std::int32_t& count,
                      const xml::Node& balance_keys, xml::Node& repeat_list) override {
    return evaluator.Ledger().ExpandRepeat(repeat_definition, count, balance_keys, repeat_list);
  }
};

}  // namespace

std::shared_ptr<IOperandResolver> LedgerOperandResolver(OperandKind kind) {
  return std::make_shared<LedgerOperands>(kind);
}

std::shared_ptr<IFunctionResolver> LedgerFunctionResolver() {
  return std::make_shared<LedgerFunctions>();
}

std::shared_ptr<IRepeatExpander> LedgerRepeatExpander() {
  return std::make_shared<LedgerRepeats>();
}

}  // namespace orvo
