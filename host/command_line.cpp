#include "host/command_line.h"

#include <string_view>

namespace host {

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine command;
  bool help = false, version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--headless") {
      command.headless = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else {
      command.action = CommandLine::Action::kUsageError;
      command.error = "mav-services: unknown switch '" + std::string(arg) + "'";
      return command;
    }
  }
  if (help) {
    command.action = CommandLine::Action::kHelp;
  } else if (version) {
    command.action = CommandLine::Action::kVersion;
  }
  return command;
}

// MAV_SERVICES_VERSION comes from the build (project(VERSION) in CMakeLists.txt).
const char* AgentVersion() { return MAV_SERVICES_VERSION; }

std::string UsageLine() { return "usage: mav-services [--headless] [--help] [--version]"; }

std::string HelpText() {
  return std::string("MAV Services ") + AgentVersion() +
         "\n"
         "Answers members' SMS requests about their loans and repairs ledger rows that other\n"
         "programs left incomplete, on the accounting catalog named by MAVConnector.xml or\n"
         "mavdata.cdf in the program's folder.\n"
         "\n" +
         UsageLine() +
         "\n"
         "  --headless  run without the window (as without a display): the status line goes\n"
         "              to standard output; SIGINT or SIGTERM (Ctrl-C on Windows) ends it\n"
         "  --help      show this text\n"
         "  --version   show the version\n"
         "\n"
         "The log (errors, and once a minute at most a line on what was done) goes to standard\n"
         "error; on Windows also to mav-services.log beside the program, or under\n"
         "%LOCALAPPDATA%\\MAV Services\\ when that folder cannot be written.\n";
}

}  // namespace host
