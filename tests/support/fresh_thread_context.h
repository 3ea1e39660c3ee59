// A clean per-thread state for a test without a new thread: the calling
// thread's context (launch properties, providers, caches, build state) is
// reset when the test body starts and again when it ends, so no test sees
// what another left behind. Tests about state being per thread still use a
// second thread (on_new_thread.h).
#ifndef ORVO_TESTS_SUPPORT_FRESH_THREAD_CONTEXT_H_
#define ORVO_TESTS_SUPPORT_FRESH_THREAD_CONTEXT_H_

#include "frame/thread_context.h"

namespace orvo::testing {

class FreshThreadContext {
 public:
  FreshThreadContext() { ThreadContext::Current().ResetAll(); }
  ~FreshThreadContext() { ThreadContext::Current().ResetAll(); }
  FreshThreadContext(const FreshThreadContext&) = delete;
  FreshThreadContext& operator=(const FreshThreadContext&) = delete;
};

// Runs `body` on this thread between two resets of its context.
template <class Body>
void InFreshContext(Body body) {
  FreshThreadContext fresh;
  body();
}

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_FRESH_THREAD_CONTEXT_H_
