#include "host/service_window_shared.h"

#include "base/agent_error.h"
#include "host/service_window.h"

namespace host {

std::string StartupReport(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const base::AgentError& e) {
    return e.Report();
  } catch (const std::exception& e) {
    return base::AgentError(base::kDatabaseError, e.what()).Report();
  }
}

WindowPlacement LowerRightPlacement(float screen_width, float screen_height, float window_width,
                                    float window_height) {
  return {screen_width - window_width - 130.0f, screen_height - window_height - 660.0f};
}

}  // namespace host
