#include "frame/text_value.h"
#include "orvo/delegating_builders.h"
#include "orvo/error.h"

namespace orvo {

void cDrillDown2::Init(std::shared_ptr<ExternalEvaluator> evaluator) {
  m_evaluator = std::move(evaluator);
}

Collection<xml::Node> cDrillDown2::DrillObject(std::string_view DrillKey) const {
  const std::int32_t number = TextToLong(DrillKey);
  if (!m_evaluator) RaiseObjectRequired();
  Collection<xml::Node> objects;
  const xml::Node answer = m_evaluator->DrillItems(number);
  for (xml::Node child = answer ? answer.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement) objects.Add(child);
  }
  return objects;
}

}  // namespace orvo
