// Print conditions: whether a group, entry, kept section or row prints.
//
// The decision rule on a value: "TRUE" (any letter case) prints, "FALSE"
// does not; a numeric value prints when it is greater than 0; any other text
// prints when it is not empty.
//
// A condition text of a definition element: empty (or blanks) prints; "TRUE"
// or "FALSE" in any letter case is its own value and is not evaluated; any
// other text is parsed into a fresh item of the format provider and
// evaluated by the builder's evaluator at its current level; a text that
// does not parse prints.
#ifndef ORVO_PREVIEW_PRINT_CONDITION_H_
#define ORVO_PREVIEW_PRINT_CONDITION_H_

#include <string>
#include <string_view>

namespace orvo {

struct BuilderState;

bool PrintDecision(std::string_view value);

bool EvaluatePrintCondition(BuilderState& builder, const std::string& condition);

}  // namespace orvo

#endif  // ORVO_PREVIEW_PRINT_CONDITION_H_
