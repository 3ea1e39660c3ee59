// The arguments of one call as the function bodies of ItemEvaluation read
// them, whichever way the formula is evaluated: from the working text or
// from a direct plan's values (see ItemEvaluation::DirectPlan).
#ifndef ORVO_EVALUATE_CALL_ARGUMENTS_H_
#define ORVO_EVALUATE_CALL_ARGUMENTS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "evaluate/item_evaluation.h"

namespace orvo {

class ItemEvaluation::CallArguments {
 public:
  // The number of parts (one, empty, between empty brackets).
  virtual std::size_t Count() const = 0;
  // Whether every bracket between the call's brackets closes and no ")"
  // closes nothing.
  virtual bool Balanced() const = 0;
  // The value of part `part` (as ArgumentView reads it): a view valid until
  // `buffer` or the evaluation's text changes.
  virtual std::string_view View(std::size_t part, std::string& buffer) = 0;
  // The number of cells the cell and range operands in part `part` stand
  // for (as CellsIn counts them); nullopt when it holds none.
  virtual std::optional<std::int32_t> Cells(std::size_t part, EvaluationScope& scope) = 0;

 protected:
  ~CallArguments() = default;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_CALL_ARGUMENTS_H_
