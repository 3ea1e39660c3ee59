// Operator expressions with brackets, as the functions' arguments and the
// final expression of an item are evaluated: the innermost bracket first,
// each bracketed part reduced by the operator evaluator and put back as its
// value, then the rest.
#ifndef ORVO_EVALUATE_EXPRESSION_EVALUATOR_H_
#define ORVO_EVALUATE_EXPRESSION_EVALUATOR_H_

#include <string>
#include <string_view>
#include <vector>

#include "evaluate/working_text.h"

namespace orvo {

// The value of `text`. `literals` (sorted offsets within `text`) are parts
// that are text, not syntax: brackets, commas and operator characters inside
// them count as characters. A bracket without its partner, or brackets
// nested deeper than `max_nesting`, raise a failure.
std::string EvaluateExpression(std::string_view text, const std::vector<TextSpan>& literals,
                               int max_nesting);

// `value` without its quotes when it is one literal in single or double
// quotes; otherwise unchanged.
std::string_view Unquote(std::string_view value);

}  // namespace orvo

#endif  // ORVO_EVALUATE_EXPRESSION_EVALUATOR_H_
