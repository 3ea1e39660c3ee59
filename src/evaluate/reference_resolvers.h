// The resolvers of cell references ("C12", type TCR) and ranges ("C1:C40",
// type TCRn), registered as the evaluator's defaults for their kinds. They
// read the items the build placed through the evaluator's PlacedItems index
// (placed_items.h), in the current format.
//
// A cell stands for the items whose OrigKey is the cell key; the repeat
// context narrows them:
//   * the referencing item is not in a repeat: every copy of the cell (a
//     cell of a repeated row stands for all its copies, which are added);
//   * it is in a repeat (position p, repeat key K): a copy made by the same
//     repeat (RptKey K) is taken only when it is the copy of the same record
//     (RptIndex p), whether it lies in the referencing row or in another row
//     of that repeat; cells outside any repeat, and every copy made by
//     another repeat, are taken as from outside.
// Copies of rows that print conditions removed (RowIgn) are left out unless
// the evaluator's include-ignored-rows flag is set. When no item matches the
// value is "#REF"; when every match was left out the cell contributes 0.
// While a taken item is not evaluated yet the referencing item is deferred,
// except at the last pass (EvaluateAllItems), where it is evaluated with
// the values placed so far: a pending item adds its value when that is
// numeric and nothing otherwise (its Value may still be its formula).
// One taken item gives its value as it is (a text stays text); several give
// the sum of their numeric values, exact as the index sums.
//
// A range stands for every cell inside its column and row bounds (either
// corner first): its value is the sum of their numeric values, taken from
// the index's totals, so its cost does not grow with the range. From inside
// a repeat each cell is selected as above, which walks the cells present. A
// range holding no item is 0. Inside Max and Min the range gives its cells'
// values one by one. CellCount (the divisor of Avg and the answer of Count)
// is the number of items taken, rows that print conditions removed not
// counted.
//
// Drill-down: every taken item whose Drill is on adds its drill key to the
// referencing item's Drill (On "-1", Key the keys joined by ",", each once,
// at most kMaxDrillKeys of them).
//
// A key without a row number fails with "column not found"; Evaluate turns
// the failure into "#ERROR" on the item.
#ifndef ORVO_EVALUATE_REFERENCE_RESOLVERS_H_
#define ORVO_EVALUATE_REFERENCE_RESOLVERS_H_

#include <cstddef>
#include <memory>

#include "evaluate/operand_resolver.h"

namespace orvo {

inline constexpr std::size_t kMaxDrillKeys = 32;

std::shared_ptr<IOperandResolver> MakeCellReferenceResolver();
std::shared_ptr<IOperandResolver> MakeRangeReferenceResolver();

}  // namespace orvo

#endif  // ORVO_EVALUATE_REFERENCE_RESOLVERS_H_
