#ifndef MAV_TESTS_SUPPORT_AGENT_ERROR_OF_H_
#define MAV_TESTS_SUPPORT_AGENT_ERROR_OF_H_

#include <gtest/gtest.h>

#include "base/agent_error.h"

namespace test_support {

// Runs `action` and returns the AgentError it throws; fails the test when nothing is thrown.
template <typename Action>
base::AgentError ErrorOf(Action action) {
  try {
    action();
  } catch (const base::AgentError& e) {
    return e;
  }
  ADD_FAILURE() << "no base::AgentError thrown";
  return base::AgentError(0, "");
}

}  // namespace test_support

#endif  // MAV_TESTS_SUPPORT_AGENT_ERROR_OF_H_
