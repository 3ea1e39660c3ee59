// Format evaluation: one printed format evaluated into a result format (the
// body, header or footer result), in the order the build pipeline fixes:
//
//   1. Prepare: the bookkeeping attributes added (each formula is parsed
//      just before the item is first evaluated, and kept as its record
//      only when the item must wait), repeating rows expanded into one
//      copy per record (RptKey, RptIndex), and every row numbered as the result row it will be (the
//      result's MRow + its position).
//   2. Gather the format's bookmark and named-range definitions.
//   3. Row by row: the row's bookmarks (notes numbered as met), progress,
//      the row print condition (an earlier EPRC of the same item reused),
//   4. then the row's items column by column; deferred items are registered
//      and every item placed, the items waiting for it resolved.
//   5. The format's items still pending evaluated once more.
//   6. Its named ranges valued into NR records.
//   7. Its rows appended to the result, MRow kept current.
//
// While a format is evaluated it is a result format of its own: references
// between its cells look at its items only, and an item not yet evaluated
// makes the item that refers to it wait.
//
// Threading: one thread (the builder's).
#ifndef ORVO_PREVIEW_FORMAT_EVALUATION_H_
#define ORVO_PREVIEW_FORMAT_EVALUATION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "evaluate/placed_items.h"
#include "formula/formula_shapes.h"
#include "formula/parsed_expression.h"
#include "orvo/xml.h"
#include "preview/builder_state.h"
#include "preview/result_format.h"

namespace orvo {

class BuildBookkeeping;

class FormatEvaluation {
 public:
  // `format` is the builder's own copy of the format (data columns already
  // inserted); it is taken apart by Run.
  FormatEvaluation(BuilderState& builder, xml::Node format, ResultFormat& target);
  ~FormatEvaluation();

  FormatEvaluation(const FormatEvaluation&) = delete;
  FormatEvaluation& operator=(const FormatEvaluation&) = delete;

  void Run();

 private:
  // A row of the evaluated format: which definition row it comes from and,
  // for a copy of a repeating row, its repeat context.
  struct OutputRow {
    xml::Node row;
    std::int32_t definition_row = 0;
    std::int32_t number = 0;  // its row in the result
    std::shared_ptr<RepeatContext> repeat;
    bool first_of_definition = true;
    // False when the row is known to hold no print condition item (a copy
    // of a row that holds none).
    bool may_have_condition = true;
  };

  void Prepare();
  // Tells the placed-item index how many rows of each column the items of
  // `definition_rows` stand in (a repeating row: and how many `copies` of
  // it there will be), before their items are announced.
  void ReservePlacedItems(const std::vector<xml::Node>& definition_rows, std::size_t copies = 0);
  // The same for the rows of a format that do not repeat, judged from the
  // first and last of them, and room for their items in m_unparsed.
  void ReservePlainRows(const std::vector<xml::Node>& plain_rows);
  // Prepares the items of a row that does not repeat (bookkeeping written,
  // formulas left to their first evaluation), gives them the row's `number`
  // and announces them to the placed-item index.
  void PreparePlainRow(const xml::Node& row, const std::string& number,
                       BuildBookkeeping& bookkeeping);
  // The parses of a repeating row's items, by item.
  using Parses = std::unordered_map<const void*, std::shared_ptr<const ParsedExpression>>;

  // Adds the bookkeeping attributes to the items of a repeating row and
  // parses their formulas: its copies are evaluated from these parses.
  Parses PrepareRepeatingItems(const xml::Node& row);
  // Parses an item's formula with the builder's parser (or takes it from
  // the parse of an earlier formula of the same shape) when its record is the
  // bare one, or when `record_dropped` (its bare record was taken off when it
  // was prepared) and it has none; the record when that gave a parse, valid
  // until the next parse (a failed one makes the value "#ERROR").
  // `bare`, when given, is set when the item's record is the bare one (or
  // missing): an item it returns null for is then evaluated as text.
  const ParsedExpression* ParseFormula(xml::Node item, bool record_dropped = false,
                                       bool* bare = nullptr);
  // Whether the parser's last record may be evaluated: it gave no message,
  // or only the one it gives for a bookmark key named in Ref, Note or iNote.
  bool ParsesForEvaluation(const cParser& parser);
  // Evaluates an item in its row's repeat context; an item not parsed yet
  // is evaluated from its parse, which becomes its record only if it waits.
  xml::Node Evaluate(const xml::Node& item, const RepeatContext* repeat);
  void ExpandRepeat(const xml::Node& row, std::int32_t definition_row, const xml::Node& repeat,
                    const Parses& parses);
  void GatherDefinitions();
  void EvaluateRow(const OutputRow& row);
  void EvaluateBookmarks(const OutputRow& row);
  void RecordKeepRanges(const OutputRow& row);
  // The item of `row` keyed "PRINT" and the definition row (any case), or null.
  static xml::Node ConditionItem(const xml::Node& row, std::int32_t definition_row);
  void EvaluateRowCondition(const OutputRow& row);
  void EvaluateItems(const OutputRow& row);
  void EvaluatePendingItems();
  void ValueNamedRanges();
  void AppendRows();

  BuilderState& m_builder;
  xml::Node m_format;
  std::string m_key;
  ResultFormat& m_target;
  std::int32_t m_offset = 0;
  std::unique_ptr<ResultFormat> m_result;  // the format while it is evaluated
  std::vector<OutputRow> m_rows;
  std::vector<xml::Node> m_bookmarks;
  std::vector<xml::Node> m_named_ranges;
  std::vector<xml::Node> m_keep_ranges;  // Kp elements of the format's Kps
  // Items not evaluated yet whose record is the bare one: with the parse of
  // their repeating row's item, or null when their formula is yet to be
  // parsed (the items of plain rows, whose bare record is taken off).
  std::unordered_map<const void*, std::shared_ptr<const ParsedExpression>> m_unparsed;
  FormulaShapes m_shapes;               // the format's formulas share parses by shape
  std::string m_read;                   // an attribute value read and used at once
  PlacedItems::ItemTexts m_item_texts;  // the item being prepared, as read
};

}  // namespace orvo

#endif  // ORVO_PREVIEW_FORMAT_EVALUATION_H_
