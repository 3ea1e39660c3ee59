// Ledger amounts for one evaluator: chart-map folders, database-map fields,
// record fields of repeats, AccountValue, Year and Period, and the expansion
// of repeating rows.
//
// Balance context of an item. A format's columns carry their contexts in
// ColBals/ColBal elements (Col, Year, Prd, PdEnd, PdBal, Bal); FormatReference
// hands each format over and its columns are remembered under its Key and
// Name. An item takes the context of its column in its format (OrigFmt);
// an item whose column has none takes its repeat's first balance key inside
// a repeat, and the default context (the current year, actuals) elsewhere.
// Last-year operands resolve the same context one year back.
//
// Batching. A folder outside a repeat is fetched once for all the distinct
// contexts of the item's format at once (one RepeatingBalance_DDKFunction
// per folder and balance-key set; each key's amounts come back as AMOUNT,
// AMOUNT2, ...), so a statement with four amount columns asks once per
// folder, not four times. Last year's amounts, and folders whose ranges
// allow only credits or only debits (the driver judges those permissions
// by the first key's amount), are fetched for the item's own context.
// Fetched lists live in the shared EPRItems element, keyed by folder (with
// ":Sort:" and the sort fields for sorted repeats) and recorded with their
// keys and options, so every evaluator of the thread fetches a folder once
// per key set; a folder fetched for its totals keeps only its totals (one
// per key, summed exactly), not a record per account. AccountValue, Year
// and Period answers are kept per distinct request for the evaluator's
// life (one build).
//
// Failures. A key set the driver refuses as a whole is asked key by key
// from then on, so only the columns with the bad context fail. A folder
// the chart map lacks gives "#NAME"; a database-map
// provider failure while a database-map field is read gives "#NAME";
// RecordCount of a table that cannot be resolved gives "#REF". Data-driver
// failures (an unknown balance type, a period the year lacks) propagate:
// Evaluate turns them into "#ERROR" on the item.
//
// Threading: belongs to its evaluator and its thread.
#ifndef ORVO_EVALUATE_LEDGER_AMOUNTS_H_
#define ORVO_EVALUATE_LEDGER_AMOUNTS_H_

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "evaluate/balance_context.h"
#include "evaluate/chart_map_folders.h"
#include "evaluate/list_index.h"
#include "evaluate/operand_resolver.h"
#include "orvo/drill_down.h"
#include "orvo/xml.h"

namespace orvo {

class cEvaluate;

class LedgerAmounts {
 public:
  explicit LedgerAmounts(cEvaluate& evaluator)
      : m_evaluator(evaluator), m_drill_document(xml::Document::Create()) {}
  LedgerAmounts(const LedgerAmounts&) = delete;
  LedgerAmounts& operator=(const LedgerAmounts&) = delete;

  // Remembers the balance columns (ColBals) of a format under its Key and
  // Name; for a format without them, forgets what was remembered under them.
  void RegisterFormat(const xml::Node& format);

  // Operands.
  Resolution FolderAmount(std::string_view reference, EvaluationScope& scope, bool last_year);
  Resolution DatabaseField(std::string_view reference, EvaluationScope& scope, bool last_year);
  // A field of the record `offset` places from the item's own (-1 previous,
  // 0 own, 1 next); "AMOUNT" is the amount that belongs to the item's
  // balance context. Empty text outside a repeat and beyond its ends.
  Resolution RecordField(std::string_view field, EvaluationScope& scope, bool last_year,
                         int offset);

  // Functions.
  Resolution AccountValue(std::string_view arguments, EvaluationScope& scope);
  Resolution YearName(EvaluationScope& scope);
  Resolution PeriodEnd(EvaluationScope& scope);
  Resolution RecordCount(std::string_view arguments, EvaluationScope& scope);
  Resolution RecordValue(const FunctionRequest& request, EvaluationScope& scope);
  // The number of records of a repeat list.
  std::int32_t RecordCountOf(const xml::Node& repeat_list);

  // EvaluateRepeat: see cEvaluate::EvaluateRepeat.
  std::int16_t ExpandRepeat(const xml::Node& repeat_definition, std::int32_t& count,
                            const xml::Node& balance_keys, xml::Node& repeat_list);

  // The request a context stands for (for tests and the builder).
  const BalanceRequest& Resolve(const BalanceContext& context, bool last_year);

 private:
  // The balance columns of one format.
  struct FormatColumns {
    xml::Node holder;  // the ColBals element
    std::vector<BalanceContext> contexts;
    std::unordered_map<std::int32_t, std::size_t> context_of_column;
    // Per shift (0 this year, 1 last year), resolved lazily: the distinct
    // requests of the format and each context's index among them.
    std::array<std::vector<BalanceRequest>, 2> key_sets;
    std::array<std::vector<std::size_t>, 2> index_of_context;
    std::array<std::vector<const BalanceRequest*>, 2> request_of_context;
    std::array<bool, 2> resolved{false, false};
  };

  // What a repeat list was expanded from.
  struct RepeatInfo {
    xml::Node list;
    std::vector<xml::Node> records;
    bool records_listed = false;
    bool chart_map = false;
    std::vector<FolderReference> folders;
    bool show_sub_codes = false;
    std::vector<BalanceContext> contexts;                    // its balance keys as written
    std::vector<BalanceRequest> keys;                        // resolved
    std::unordered_map<std::string, std::size_t> key_index;  // signature -> index
    std::unordered_map<const BalanceRequest*, std::string> amount_fields;
    std::string table;        // database map: upper-case table
    std::string folder_text;  // chart map: the repeat's folder text as written
  };

  // The item's request and the key set it is fetched with.
  struct ItemBalance {
    const BalanceRequest* request = nullptr;
    const std::vector<BalanceRequest>* key_set = nullptr;
    std::size_t index = 0;
  };

  ItemBalance BalanceFor(const EvaluationScope& scope, bool last_year);
  // Registers the item's drill object (CMDrill: Folder, Code; layout in
  // docs/ledger.md) with the build's drill-down object, under the folder
  // text (joined by ":" with the account code in a repeat row) and the
  // item's balance request, and turns the item's Drill on with the key. One
  // registration per item: later balance operands of the same item, and its
  // re-evaluations, keep the first key.
  void RegisterDrill(const EvaluationScope& scope, std::string_view folder,
                     std::string_view account, const BalanceRequest& request);
  // The drill-down request of a balance request, read once from its
  // balance definition (BalanceDef holding the evaluator's BalanceKey).
  const cDrillDown::Request& DrillRequestOf(const BalanceRequest& request);
  const std::vector<BalanceRequest>& SingleKeySet(const BalanceRequest& request);
  void ResolveColumns(FormatColumns& columns, int shift);
  void RegisterRequest(const BalanceRequest& request);

  RepeatInfo& InfoOf(const xml::Node& repeat_list);
  // RecordField's AMOUNT of a chart-map repeat's record.
  Resolution RecordAmount(RepeatInfo& info, const xml::Node& record, const EvaluationScope& scope,
                          bool last_year, int offset);
  const xml::Node* Record(RepeatInfo& info, std::int32_t position);

  // The fetched list of a folder for a key set and options, from EPRItems or
  // the driver; null when the folder does not exist.
  // `totals_only`: the entry keeps one total per key (Totals: AMOUNT,
  // AMOUNT2, ...) instead of the records.
  xml::Node FolderRecords(const FolderReference& folder, const std::vector<BalanceRequest>& keys,
                          bool show_sub_codes, bool show_zero_balances,
                          const std::vector<std::string>& sort_fields, bool totals_only);
  std::string ListTotal(const xml::Node& entry, std::size_t key_index);
  // The records of a folder for a key that the repeat was not expanded
  // with, indexed by code.
  const std::unordered_map<std::string, xml::Node>& ExtraAmounts(RepeatInfo& info,
                                                                 const BalanceRequest& request);
  const std::string& AmountFieldFor(RepeatInfo& info, const BalanceRequest& request);

  std::string DatabaseYear(const EvaluationScope& scope, bool last_year);
  const std::unordered_map<std::string, xml::Node>& DatabaseRecordsByKey(const std::string& table,
                                                                         const std::string& year);

  cEvaluate& m_evaluator;
  LedgerCalendar m_calendar;
  ChartMapFolders m_folders;
  std::unordered_map<std::string, FormatColumns> m_formats;
  std::unordered_map<std::string, std::vector<BalanceRequest>> m_single_sets;
  std::unordered_map<std::string, bool> m_registered;
  std::unordered_set<std::string> m_failed_sets;  // key sets the driver refused
  std::unordered_map<const void*, RepeatInfo> m_repeats;
  // EPRItems entries by folder key, key set and options.
  static std::string FetchedKey(const xml::Node& entry);
  ListIndex m_fetched{&LedgerAmounts::FetchedKey};
  std::unordered_map<std::string, std::string> m_totals;      // by entry address and key
  std::vector<xml::Node> m_total_entries;                     // keeps those addresses taken
  std::unordered_map<const void*, std::string> m_drill_keys;  // by item node
  // The last AMOUNT answered, for the rest of its scope (EvaluationScope::Serial).
  struct AmountMemo {
    std::uint64_t serial = 0;  // 0: none
    bool last_year = false;
    int offset = 0;
    Resolution answer;
  };
  AmountMemo m_amount_memo;
  // Drill requests by request signature, and by the address of a request.
  std::unordered_map<std::string, std::unique_ptr<cDrillDown::Request>> m_drill_requests;
  std::unordered_map<const BalanceRequest*, const cDrillDown::Request*> m_drill_request_of;
  const std::pair<const BalanceRequest* const, const cDrillDown::Request*>* m_last_drill_request =
      nullptr;
  // The format last found by an item's OrigFmt, as the item writes it.
  std::string m_last_format_name;
  FormatColumns* m_last_format = nullptr;
  bool m_last_format_found = false;
  // Buffers that keep their storage from call to call.
  std::string m_read_buffer, m_signature_buffer, m_code_buffer, m_field_buffer;
  xml::Document m_drill_document;  // owns the balance definitions of m_drill_requests
  std::unordered_map<std::string, std::string> m_account_values;
  std::unordered_map<std::string, std::string> m_year_names;
  std::unordered_map<std::string, std::string> m_period_ends;
  std::unordered_map<std::string, std::unordered_map<std::string, xml::Node>> m_extra_amounts;
  std::unordered_map<std::string, std::unordered_map<std::string, xml::Node>> m_database_records;
};

// The resolvers the evaluator starts with for ledger data: chart-map
// folders (TCM, TCMLY), database-map fields (TDB, TDBLY), record fields
// (TDR, TDRLY); AccountValue, Year, Period, RecordCount, RecordValue,
// PreviousRecord and NextRecord; and EvaluateRepeat. Each works through the
// evaluator's LedgerAmounts.
std::shared_ptr<IOperandResolver> LedgerOperandResolver(OperandKind kind);
std::shared_ptr<IFunctionResolver> LedgerFunctionResolver();
std::shared_ptr<IRepeatExpander> LedgerRepeatExpander();

}  // namespace orvo

#endif  // ORVO_EVALUATE_LEDGER_AMOUNTS_H_
