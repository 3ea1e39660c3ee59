// The order in which the function calls of an expression are evaluated:
// by position, rightmost first, so that an inner or later call is already a
// value when the call holding it is evaluated.
//
// The order is defined by an XSLT stylesheet over the record's EFs list
// (FunctionOrderStylesheetText). Evaluation sorts the typed calls with
// FunctionOrder instead, which gives the stylesheet's order without running
// a transform per item: positions compared as numbers, descending, calls of
// equal position keeping their order (XSLT sorting is stable).
#ifndef ORVO_EVALUATE_FUNCTION_ORDER_H_
#define ORVO_EVALUATE_FUNCTION_ORDER_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "formula/parsed_expression.h"
#include "orvo/xml.h"

namespace orvo {

// The stylesheet: its template matches "EFs" and copies each EF with only
// its Typ and Pos, sorted by "@Pos" as numbers in descending order.
std::string_view FunctionOrderStylesheetText();

// The EFs list transformed by the compiled stylesheet: a new EFs element
// created in `document`.
xml::Node SortFunctionList(const xml::Stylesheet& stylesheet, const xml::Node& function_list,
                           const xml::Document& document);

// Indices into `calls` in evaluation order.
std::vector<std::size_t> FunctionOrder(const std::vector<ParsedExpression::FunctionCall>& calls);
// The same into `order`, which keeps its storage (one list per item evaluated).
void FunctionOrder(const std::vector<ParsedExpression::FunctionCall>& calls,
                   std::vector<std::size_t>& order);

}  // namespace orvo

#endif  // ORVO_EVALUATE_FUNCTION_ORDER_H_
