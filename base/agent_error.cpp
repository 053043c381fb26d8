#include "base/agent_error.h"

#include <utility>

namespace base {

AgentError::AgentError(int number, std::string description)
    : std::runtime_error("Error " + std::to_string(number) + ": " + description),
      number_(number),
      description_(std::move(description)) {}

std::string AgentError::Report() const { return what(); }

}  // namespace base
