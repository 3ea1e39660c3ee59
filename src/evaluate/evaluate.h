// cEvaluate: the formula evaluator the preview builder owns for one build.
//
// The builder hands it one report item (an Itm whose first child is the
// parsed-expression record PEx) at a time. Evaluate resolves the record's
// operands, evaluates its function calls rightmost first, reduces the
// remaining operator expression, formats the value for display and writes
// value and display text back onto the item. An item whose value depends on
// something not final at the current level is left with Evaluated "0" and is
// evaluated again in a later pass. The builder raises the level pass by pass:
// ForceLevel1Eval (bookmarks), ForceLevel2Eval (named ranges),
// EvaluateAllItems (the last pass, where every item gets a final value).
//
// Invariants:
//   * Evaluate never lets an orvo::Error escape once it has the item: a
//     failure becomes the error value "#ERROR" on the item (value and display
//     text), marked evaluated. Failures of the other members propagate.
//   * Every operand is resolved through one dispatch: its type's kind selects
//     the resolver registered for the kind (operand_resolver.h).
//   * The stores (cell values, deferred note values, found rows, format
//     extents, balance keys) are XML lists as the builder and tests see them,
//     each with a hash index kept in step; they live as long as the instance,
//     so values computed in one pass are reused in later passes.
//   * The shared ERange and EPRItems elements are held by the store
//     context's shared cache: the first evaluator that needs them creates and
//     stores them there, later ones (on the same thread) reuse them.
//
// Threading: one instance belongs to one builder on one thread.
#ifndef ORVO_EVALUATE_EVALUATE_H_
#define ORVO_EVALUATE_EVALUATE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "evaluate/list_index.h"
#include "evaluate/operand_resolver.h"
#include "evaluate/placed_items.h"
#include "evaluate/record_list.h"
#include "evaluate/working_text.h"
#include "formula/parsed_expression.h"
#include "frame/int16.h"
#include "orvo/bookmarks.h"
#include "orvo/drill_down.h"
#include "orvo/event.h"
#include "orvo/xml.h"

namespace orvo {

// Handles into the shared preview state of the build, which the builder owns
// and fills; the evaluator reads them (and adds included notes).
struct PreviewSources {
  // The evaluated bookmarks of the build (Note, iNote, Ref). Null: the
  // evaluator's own empty set, so bookmark functions wait and end as "#REF".
  std::shared_ptr<ColEvaluatedBookmarks> bookmarks;
  // The bookmark definitions (BMk records with Key and Note). Null: the store
  // context's definitions, once launch properties are stored on the thread.
  xml::Node bookmark_definitions;
  // IncNotes: one IVal record per note included with iNote.
  xml::Node included_notes;
  // NRgs: named-range values (NR records with Name and Value).
  xml::Node named_ranges;
  // RowsToIgnore: RowIgn records of rows that print conditions removed.
  xml::Node rows_to_ignore;
  // The body result format being built (CountRows and iRepeat look there).
  xml::Node preview;
  // The index of the placed items that cell and range references read
  // (placed_items.h); the builder keeps it in step. Null: the evaluator's
  // own empty index, so every cell reference ends as "#REF".
  std::shared_ptr<PlacedItems> placed_items;
  // The drill-down object of the build: an item whose value comes from
  // chart-map balances registers its drill object there and takes the key
  // it gets back into its Drill child. Null: items stay without drill keys.
  std::shared_ptr<cDrillDown> drill_down;
};

class ItemEvaluation;
class LedgerAmounts;

class cEvaluate {
 public:
  cEvaluate();
  ~cEvaluate();
  cEvaluate(const cEvaluate&) = delete;
  cEvaluate& operator=(const cEvaluate&) = delete;

  // Levels of the evaluation passes.
  bool EvaluateAllItems() const { return m_evaluate_all_items; }
  void EvaluateAllItems(bool value) { m_evaluate_all_items = value; }
  // Accepted and ignored: reading always gives false.
  bool EvaluateAllCells() const { return false; }
  void EvaluateAllCells(bool) {}
  bool ForceLevel1Eval() const { return m_force_level1; }
  void ForceLevel1Eval(bool value) { m_force_level1 = value; }
  bool ForceLevel2Eval() const { return m_force_level2; }
  void ForceLevel2Eval(bool value) { m_force_level2 = value; }

  // The format (Fmt element) whose items are being evaluated. Setting it
  // also marks CurrentYearIsNotLatest for refreshing, and remembers the
  // balance context of each of its columns (ColBals/ColBal: Col, Year, Prd,
  // PdEnd, PdBal, Bal) under the format's Key and Name: an item's ledger
  // amounts are taken in the context of its column.
  void FormatReference(const xml::Node& format);
  const xml::Node& FormatReference() const { return m_format; }

  // Evaluates one item (see the file comment). `repeat_list` is null and
  // `repeat_position` 0 outside a repeat. `evaluated_item` receives the item.
  // Returns -1 when the item got its value, 0 when it was deferred.
  Int16 Evaluate(const xml::Node& item, const xml::Node& repeat_list, std::int32_t repeat_position,
                 std::string_view repeat_key, xml::Node& evaluated_item);
  // The same for an item whose formula was just parsed into `parsed` while
  // its record child is still the bare one: the parse is used as it is, and
  // written into the item as its record only when the item is deferred (a
  // settled item never needs it).
  Int16 Evaluate(const xml::Node& item, const ParsedExpression& parsed,
                 const xml::Node& repeat_list, std::int32_t repeat_position,
                 std::string_view repeat_key, xml::Node& evaluated_item);
  // Whether the last Evaluate call is known to have left the item's
  // Evaluated attribute reading "-1" (settled), so that a caller need not
  // read it; false when it is not known (read the item then).
  bool LastKnownSettled() const { return m_last_known_evaluated; }
  // Formulas of the plain shapes (calls of Sum, Avg, Max, Min, Mod, If, And
  // and Or over operands, numbers and operators) are evaluated from their
  // operand values without rewriting the formula text, with the same
  // results. Off, every formula is rewritten (tests compare the two ways).
  bool DirectEvaluation() const { return m_direct_evaluation; }
  void DirectEvaluation(bool on) { m_direct_evaluation = on; }

  // Expands a repeat definition (Rpt: Typ 1 chart map or 2 database map,
  // Sub, Zer, Use, the folder or table reference as text, SItm sort fields)
  // into `repeat_list` (one child per record, in output order) and its
  // record `count` through the repeat expander; returns -1, or 0 for a
  // repeat type it does not know (no records). `balance_keys` holds Key
  // elements (Year Prd PrdEnd PBal Bal, as written in the columns): the
  // records carry AMOUNT for the first, AMOUNT2 for the second, ...; a
  // default key (Year "Current", Bal "Actuals") is added to it when it has
  // none. The list may be shared with other repeats of the same folder:
  // read it, never change it. The 16-bit form raises the overflow failure
  // for more than 32,767 records; the builder uses the 32-bit one.
  Int16 EvaluateRepeat(const xml::Node& repeat_definition, Int16& count,
                       const xml::Node& balance_keys, xml::Node& repeat_list);
  Int16 EvaluateRepeat(const xml::Node& repeat_definition, std::int32_t& count,
                       const xml::Node& balance_keys, xml::Node& repeat_list);

  // Sets the current format; an extent stored for it becomes the current one.
  void CurrentFormatName(std::string_view name);
  const std::string& CurrentFormatName() const { return m_format_name; }
  // Stores the extent of the current format unless one is stored for it
  // already; a stored extent wins and becomes the current one.
  void CurrentFormatMax(std::int32_t column, std::int32_t row);
  std::int32_t CurrentMaxColumn() const { return m_max_column; }
  std::int32_t CurrentMaxRow() const { return m_max_row; }
  // Forgets every stored extent.
  void ResetMaxCols();

  // Stores a deep copy of the node as the thread's launch properties when
  // none is stored yet.
  void Init(const xml::Node& launch_properties);

  // While true, rows that print conditions removed still count when
  // references are resolved. Only the builder sets it, around single calls.
  bool IncludeIgnoredRows() const { return m_include_ignored_rows; }
  void IncludeIgnoredRows(bool value) { m_include_ignored_rows = value; }

  // Asks the owner for the current output row of the preview being built.
  Event<std::int32_t&> GetCurrentRow;

  // Plug-in points (operand_resolver.h). A null resolver restores the default.
  void SetOperandResolver(OperandKind kind, std::shared_ptr<IOperandResolver> resolver);
  void SetFunctionResolver(Function function, std::shared_ptr<IFunctionResolver> resolver);
  void SetRepeatExpander(std::shared_ptr<IRepeatExpander> expander);

  void Sources(PreviewSources sources);
  const PreviewSources& Sources() const { return m_sources; }

  // The ledger amounts of this evaluator: balance contexts, fetched folders
  // and the answers kept for the build (ledger_amounts.h).
  LedgerAmounts& Ledger() { return *m_ledger; }

  // For resolvers: the cell value cache, per upper-case cell key and repeat key.
  std::optional<std::string> CachedCellValue(const std::string& key, std::string_view repeat_key);
  void CacheCellValue(const std::string& key, std::string_view repeat_key, std::string_view value);
  // The balance key record for a request, added on first use.
  xml::Node BalanceKey(std::string_view year, std::string_view period, std::string_view end_period,
                       std::string_view period_balance, std::string_view balance);
  // The shared ERange and EPRItems elements.
  xml::Node SharedRanges();
  xml::Node SharedRepeatItems();
  // Whether the data's current year is not the latest ledger year; asked of
  // the data driver once after each FormatReference.
  bool CurrentYearIsNotLatest();
  // The named-range value record (NR) of an upper-case name, or null.
  xml::Node NamedRangeValue(const std::string& name);
  // The bookmark definition (BMk) of an upper-case key, or null.
  xml::Node BookmarkDefinition(const std::string& key);
  // The placed-item index references read: the sources' one, or an own
  // empty one when the sources give none.
  PlacedItems& PlacedItemIndex();
  // Whether a row is listed in RowsToIgnore.
  bool IsIgnoredRow(std::string_view format, std::string_view row, std::string_view index);

  // Inspection of the stores. FindItems and the operand cache describe the
  // last evaluated item and are written out when asked for.
  xml::Node FindItems() const;
  xml::Node OperandCache() const;
  xml::Node DeferredValues() const { return m_deferred_values.Element(); }
  xml::Node CellValues() const { return m_cell_values.Element(); }
  xml::Node Balances() const { return m_balances.Element(); }
  xml::Node FoundRows() const { return m_found_rows.Element(); }
  xml::Node MaxCols() const { return m_max_cols.Element(); }
  // The record's EFs list sorted by the function-order stylesheet.
  xml::Node SortFunctionList(const xml::Node& function_list);

 private:
  Int16 EvaluateWith(const xml::Node& item, const ParsedExpression* parsed,
                     const xml::Node& repeat_list, std::int32_t repeat_position,
                     std::string_view repeat_key, xml::Node& evaluated_item);
  friend class ItemEvaluation;

  IOperandResolver& ResolverFor(OperandKind kind);
  IFunctionResolver& FunctionResolverFor(Function function);
  // Registers an included note once in the shared IncNotes list.
  void IncludeNote(const std::string& key);
  void PrepareItem(xml::Node item, std::int32_t repeat_position, std::string_view repeat_key);
  void WriteErrorValue(xml::Node item, std::string_view error_value);
  ColEvaluatedBookmarks& Bookmarks();
  xml::Node SharedElement(const char* name, xml::Node& held);

  bool m_evaluate_all_items = false;
  bool m_force_level1 = false;
  bool m_force_level2 = false;
  bool m_include_ignored_rows = false;
  xml::Node m_format;
  std::string m_format_name;
  std::int32_t m_max_column = 0;
  std::int32_t m_max_row = 0;
  std::optional<bool> m_year_not_latest;

  xml::Document m_document;  // owns the stores and templates
  RecordList m_deferred_values;
  RecordList m_cell_values;
  RecordList m_balances;
  RecordList m_found_rows;
  RecordList m_max_cols;
  xml::Node m_function_list_template;                 // an empty EFs
  std::unique_ptr<xml::Stylesheet> m_function_order;  // compiled on first use
  xml::Node m_shared_ranges;
  xml::Node m_shared_repeat_items;

  std::array<std::shared_ptr<IOperandResolver>, kOperandKindCount> m_operand_resolvers;
  std::unordered_map<Function, std::shared_ptr<IFunctionResolver>> m_function_resolvers;
  std::shared_ptr<IRepeatExpander> m_repeat_expander;

  PreviewSources m_sources;
  std::shared_ptr<ColEvaluatedBookmarks> m_own_bookmarks;
  std::unique_ptr<PlacedItems> m_own_placed_items;
  ListIndex m_named_range_index;
  ListIndex m_bookmark_index;
  ListIndex m_ignored_row_index;
  ListIndex m_included_note_index;

  // Reused between calls; what the last Evaluate left, for FindItems and
  // OperandCache.
  std::unique_ptr<ItemEvaluation> m_run;
  bool m_last_known_evaluated = false;  // LastKnownSettled
  bool m_direct_evaluation = true;      // DirectEvaluation
  std::unique_ptr<LedgerAmounts> m_ledger;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_EVALUATE_H_
