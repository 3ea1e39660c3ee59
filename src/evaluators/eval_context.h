// The reference evaluation context: it holds what the builders write to it
// (launch properties, data-column override, per-report object) for the
// evaluator to read, and a text layout service, made from
// kTextLayoutServiceId on first read unless one was written. Its progress
// events are raised by the evaluator that builds with it.
#ifndef ORVO_EVALUATORS_EVAL_CONTEXT_H_
#define ORVO_EVALUATORS_EVAL_CONTEXT_H_

#include <memory>

#include "orvo/external_evaluator.h"
#include "orvo/xml.h"

namespace orvo::evaluators {

class ReferenceEvalContext final : public EvalContextData {
 public:
  void InitContext(const xml::Node& launch_properties) override {
    m_launch_properties = launch_properties;
  }
  xml::Node LaunchProperties() override { return m_launch_properties; }
  void DataColumnOverride(const xml::Node& override_node) override { m_override = override_node; }
  xml::Node DataColumnOverride() override { return m_override; }
  void PerReportObject(std::shared_ptr<IComponent> object) override {
    m_per_report = std::move(object);
  }
  std::shared_ptr<IComponent> PerReportObject() override { return m_per_report; }
  // A failure to create the service propagates and is tried again next time.
  std::shared_ptr<TextLayoutService> TextLayout() override {
    if (!m_text_layout) {
      m_text_layout = ComponentRegistry::CreateAs<TextLayoutService>(kTextLayoutServiceId);
    }
    return m_text_layout;
  }
  void TextLayout(std::shared_ptr<TextLayoutService> service) override {
    m_text_layout = std::move(service);
  }

 private:
  xml::Node m_launch_properties;
  xml::Node m_override;
  std::shared_ptr<IComponent> m_per_report;
  std::shared_ptr<TextLayoutService> m_text_layout;
};

}  // namespace orvo::evaluators

#endif  // ORVO_EVALUATORS_EVAL_CONTEXT_H_
