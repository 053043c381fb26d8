// The MAV Services agent: with a display, its window in the lower right corner of the
// screen; without one (a server), the same work headless until SIGINT or SIGTERM.
#include <iostream>

#include "host/agent_state.h"
#include "host/environment.h"
#include "host/service_form.h"
#include "host/service_window.h"

int main() {
  host::AgentState state;
  state.env = host::DefaultEnvironment();
  host::ServiceForm form(state, std::cerr);
  if (host::DisplayAvailable()) return host::RunWindowed(form);
  return host::RunHeadless(form, std::cout, std::cerr);
}
