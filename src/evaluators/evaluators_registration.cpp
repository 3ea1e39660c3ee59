// Registers the reference evaluator components under their programmatic
// identifiers before main runs. Like the providers' registrar, this file is
// an object library that orvoreportprv adds to every program linking it.
// RegisterDefault keeps a host's own registration, whichever runs first.
#include <memory>

#include "eval_context.h"
#include "orvo/external_evaluator.h"
#include "orvo/providers.h"
#include "reference_evaluator.h"
#include "text_layout.h"

namespace orvo::evaluators {
namespace {

const bool kReferenceEvaluatorsRegistered = [] {
  // One component class serves both evaluator identifiers, each handing out
  // the interface its builder asks for.
  ComponentRegistry::RegisterDefault(kExternalEvaluatorId, []() -> std::shared_ptr<IComponent> {
    return std::static_pointer_cast<ExternalEvaluator>(std::make_shared<ReferenceEvaluator>());
  });
  ComponentRegistry::RegisterDefault(kExternalEvaluator3Id, []() -> std::shared_ptr<IComponent> {
    return std::static_pointer_cast<ExternalEvaluator3>(std::make_shared<ReferenceEvaluator>());
  });
  ComponentRegistry::RegisterDefault(kEvalContextDataId,
                                     [] { return std::make_shared<ReferenceEvalContext>(); });
  ComponentRegistry::RegisterDefault(kTextLayoutServiceId,
                                     [] { return std::make_shared<ReferenceTextLayout>(); });
  return true;
}();

}  // namespace
}  // namespace orvo::evaluators
