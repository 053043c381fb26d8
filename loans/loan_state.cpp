#include "loans/loan_state.h"

#include "base/agent_error.h"

namespace loans {

data::Connection& LoanState::main() const {  // NOLINT(bugprone-exception-escape)
  if (MainConnection == nullptr) {
    throw base::AgentError(base::kConnectionFailed,
                           "Operation is not allowed when the object is closed: "
                           "the accounting catalog is not connected");
  }
  return *MainConnection;
}

}  // namespace loans
