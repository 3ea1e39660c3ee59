// The orvo::Error a call fails with, for tests that check all three fields.
#ifndef ORVO_TESTS_SUPPORT_FAILURE_OF_H_
#define ORVO_TESTS_SUPPORT_FAILURE_OF_H_

#include <gtest/gtest.h>

#include "orvo/error.h"

namespace orvo::testing {

// Runs `call`, which must fail with an orvo::Error, and returns that failure.
// A call that does not fail is a test failure (and yields an empty Error).
template <class Call>
Error FailureOf(Call&& call) {
  try {
    call();
  } catch (const Error& failure) {
    return failure;
  }
  ADD_FAILURE() << "the call did not fail";
  return Error(0, "", "");
}

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_FAILURE_OF_H_
