#include "host/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace host {
namespace {

using Action = CommandLine::Action;

TEST(ParseCommandLine, SwitchesAndUnknownArguments) {
  const struct {
    std::vector<const char*> args;
    Action action;
    bool headless;
    const char* error;
  } kCases[] = {
      {{}, Action::kRun, false, ""},
      {{"--headless"}, Action::kRun, true, ""},
      {{"--help"}, Action::kHelp, false, ""},
      {{"-h"}, Action::kHelp, false, ""},
      {{"/?"}, Action::kHelp, false, ""},
      {{"--version"}, Action::kVersion, false, ""},
      {{"--version", "--help"}, Action::kHelp, false, ""},
      {{"--headless", "--version"}, Action::kVersion, true, ""},
      // Anything unknown ends the agent, also beside known switches and after them.
      {{"--Headless"}, Action::kUsageError, false, "mav-services: unknown switch '--Headless'"},
      {{"--help", "-x"}, Action::kUsageError, false, "mav-services: unknown switch '-x'"},
      {{"C:\\MAV"}, Action::kUsageError, false, "mav-services: unknown switch 'C:\\MAV'"},
      {{""}, Action::kUsageError, false, "mav-services: unknown switch ''"},
  };
  for (const auto& c : kCases) {
    std::vector<const char*> argv = {"mav-services"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string trace;
    for (const char* a : c.args) trace += std::string(a) + " ";
    SCOPED_TRACE(trace);
    const CommandLine got = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(c.action, got.action);
    if (c.action != Action::kUsageError) {
      EXPECT_EQ(c.headless, got.headless);
    }
    EXPECT_EQ(c.error, got.error);
  }
}

}  // namespace
}  // namespace host
