// Interim: the operator evaluator the numbers work is about to offer, with
// the operations the functions need, until it lands.
#ifndef ORVO_EVALUATE_INTERIM_OPERATORS_H_
#define ORVO_EVALUATE_INTERIM_OPERATORS_H_

#include <string>
#include <string_view>
#include <vector>

#include "evaluate/working_text.h"

namespace orvo {

std::string EvaluateOperators(std::string_view expression, const std::vector<TextSpan>& literals);
std::string ParseIf(std::string_view arguments, int part, const std::vector<TextSpan>& literals);
bool TruthOf(std::string_view value);

}  // namespace orvo

#endif  // ORVO_EVALUATE_INTERIM_OPERATORS_H_
