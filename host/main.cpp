// The MAV Services agent: with a display, its window in the lower right corner of the
// screen; without one (a server), or with the switch --headless, the same work without a
// window until SIGINT or SIGTERM (Ctrl-C on Windows). --help and --version only print.
#include <iostream>
#include <ostream>

#include "host/agent_state.h"
#include "host/command_line.h"
#include "host/environment.h"
#include "host/log_file.h"
#include "host/service_form.h"
#include "host/service_manager.h"
#include "host/service_window.h"
#include "host/supervision.h"

int main(int argc, char** argv) {
  const host::CommandLine command = host::ParseCommandLine(argc, argv);
  using Action = host::CommandLine::Action;
  if (command.action != Action::kRun) host::JoinParentConsole();
  switch (command.action) {
    case Action::kHelp:
      std::cout << host::HelpText() << std::flush;
      return 0;
    case Action::kVersion:
      std::cout << "mav-services " << host::AgentVersion() << std::endl;
      return 0;
    case Action::kUsageError:
      std::cerr << command.error << "\n" << host::UsageLine() << std::endl;
      return 2;
    case Action::kRun:
      break;
  }

  const bool windowed = !command.headless && host::DisplayAvailable();
  if (!windowed) host::JoinParentConsole();  // Ctrl-C, the status and log lines
  host::AgentState state;
  state.env = host::DefaultEnvironment();
  // The log: standard error, and on Windows the log file too.
  host::LogBuffer log_buffer(
      std::cerr, host::OpenLogFile(host::LogFolders(state.env.program_folder)), state.env.now);
  std::ostream log(&log_buffer);
  host::ServiceForm form(state, log);
  host::Supervision supervision(state, log, host::NotifyServiceManager);
  if (windowed) return host::RunWindowed(form, supervision);
  return host::RunHeadless(form, supervision, std::cout, log);
}
