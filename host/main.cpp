// The MAV Services agent: with a display, its window in the lower right corner of the
// screen; without one (a server), or with the switch --headless, the same work without a
// window until SIGINT or SIGTERM (Ctrl-C on Windows).
#include <iostream>
#include <string_view>

#include "host/agent_state.h"
#include "host/environment.h"
#include "host/service_form.h"
#include "host/service_window.h"

int main(int argc, char** argv) {
  bool headless = false;
  for (int i = 1; i < argc; ++i) headless = headless || std::string_view(argv[i]) == "--headless";
  host::AgentState state;
  state.env = host::DefaultEnvironment();
  host::ServiceForm form(state, std::cerr);
  if (!headless && host::DisplayAvailable()) return host::RunWindowed(form);
  return host::RunHeadless(form, std::cout, std::cerr);
}
