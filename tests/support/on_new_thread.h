// Runs a test body on a fresh thread, so that every per-thread slot (launch
// properties, providers, caches) starts empty.
#ifndef ORVO_TESTS_SUPPORT_ON_NEW_THREAD_H_
#define ORVO_TESTS_SUPPORT_ON_NEW_THREAD_H_

#include <exception>
#include <thread>

namespace orvo::testing {

// Runs `body` on a new thread and rethrows its failure here.
template <class Body>
void OnNewThread(Body body) {
  std::exception_ptr failure;
  std::thread([&] {
    try {
      body();
    } catch (...) {
      failure = std::current_exception();
    }
  }).join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_ON_NEW_THREAD_H_
