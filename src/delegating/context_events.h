// What the two delegating builders share: the thread's evaluation context
// and the forwarding of a context's events to a builder's own.
#ifndef ORVO_DELEGATING_CONTEXT_EVENTS_H_
#define ORVO_DELEGATING_CONTEXT_EVENTS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvo/event.h"
#include "orvo/external_evaluator.h"

namespace orvo {

// The thread's shared evaluation context: created from kEvalContextDataId
// on first use and kept for the thread's life (until ThreadContext::ResetAll).
// A failure to create it propagates unchanged and is tried again next time.
std::shared_ptr<EvalContextData> ThreadEvalContext();

namespace detail {

// Raises a builder's FormatName, FormatStatus and ReportStatus each time the
// context raises its event of that name, for as long as it lives.
class ContextEvents {
 public:
  ContextEvents(std::shared_ptr<EvalContextData> context, Event<const std::string&>& format_name,
                Event<std::int16_t>& format_status, Event<std::int16_t>& report_status);
  ~ContextEvents();
  ContextEvents(const ContextEvents&) = delete;
  ContextEvents& operator=(const ContextEvents&) = delete;

 private:
  std::shared_ptr<EvalContextData> m_context;
  Event<const std::string&>::ConnectionId m_name = 0;
  Event<std::int16_t>::ConnectionId m_format = 0;
  Event<std::int16_t>::ConnectionId m_report = 0;
};

}  // namespace detail
}  // namespace orvo

#endif  // ORVO_DELEGATING_CONTEXT_EVENTS_H_
