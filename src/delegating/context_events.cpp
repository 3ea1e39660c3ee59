#include "delegating/context_events.h"

#include "frame/thread_context.h"

namespace orvo {
namespace {

struct EvalContextSlot {
  std::shared_ptr<EvalContextData> context;
};

}  // namespace

std::shared_ptr<EvalContextData> ThreadEvalContext() {
  std::shared_ptr<EvalContextData>& context = PerThread<EvalContextSlot>().context;
  if (!context) context = ComponentRegistry::CreateAs<EvalContextData>(kEvalContextDataId);
  return context;
}

namespace detail {

ContextEvents::ContextEvents(std::shared_ptr<EvalContextData> context,
                             Event<const std::string&>& format_name,
                             Event<std::int16_t>& format_status, Event<std::int16_t>& report_status)
    : m_context(std::move(context)) {
  if (!m_context) return;
  m_name = m_context->FormatName.Connect(
      [&format_name](const std::string& name) { format_name.Raise(name); });
  m_format = m_context->FormatStatus.Connect(
      [&format_status](std::int16_t status) { format_status.Raise(status); });
  m_report = m_context->ReportStatus.Connect(
      [&report_status](std::int16_t status) { report_status.Raise(status); });
}

ContextEvents::~ContextEvents() {
  if (!m_context) return;
  m_context->FormatName.Disconnect(m_name);
  m_context->FormatStatus.Disconnect(m_format);
  m_context->ReportStatus.Disconnect(m_report);
}

}  // namespace detail
}  // namespace orvo
