// Interim: the operator evaluator the numbers work is about to offer
// (evaluate/operator_evaluation.h), declared with the same names until it
// lands; then this file goes.
#ifndef ORVO_EVALUATE_INTERIM_OPERATORS_H_
#define ORVO_EVALUATE_INTERIM_OPERATORS_H_

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace orvo::interim {

struct LiteralRange {
  int start = 0;
  int end = 0;
};

struct Literals {
  std::span<const LiteralRange> ranges;
  int offset = 0;
};

std::string EvaluateOperators(std::string_view expression, Literals literals = {});
std::array<std::string, 3> SplitIf(std::string_view arguments, Literals literals = {});
bool TruthOf(std::string_view value);

}  // namespace orvo::interim

#endif  // ORVO_EVALUATE_INTERIM_OPERATORS_H_
