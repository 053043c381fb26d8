#ifndef MAV_HOST_COMMAND_LINE_H_
#define MAV_HOST_COMMAND_LINE_H_

#include <string>

namespace host {

// What the switches of the command line ask for. The agent takes switches only; the
// accounting installation starts it without any.
struct CommandLine {
  enum class Action {
    kRun,         // run the agent (headless when `headless`)
    kHelp,        // --help, -h or /?: the help text on standard output, exit 0
    kVersion,     // --version: the version on standard output, exit 0
    kUsageError,  // a switch it does not know: `error` and the usage line, exit 2
  };
  Action action = Action::kRun;
  bool headless = false;  // --headless: no window, also where a display is available
  std::string error;      // for kUsageError: what was wrong, naming the argument
};

// Reads argv[1] to argv[argc - 1]. An unknown argument anywhere is a usage error, whatever
// else is given; otherwise help comes before the version.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The agent's version, as the build's project(VERSION) gives it ("1.0.0").
const char* AgentVersion();

// "usage: mav-services [--headless] [--help] [--version]"
std::string UsageLine();

// The text of --help: what the agent does, its switches, and where its log goes.
std::string HelpText();

}  // namespace host

#endif  // MAV_HOST_COMMAND_LINE_H_
