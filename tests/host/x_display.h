#ifndef MAV_TESTS_HOST_X_DISPLAY_H_
#define MAV_TESTS_HOST_X_DISPLAY_H_

// Shell and X tools for the tests that look at a window on a virtual display.

#include <cstdio>
#include <regex>
#include <string>

#include "tests/host/agent_process.h"

namespace host_test {

// Runs a shell command; its stdout, or "" when it failed.
inline std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : "";
}

// The full path of `program` on PATH, or "".
inline std::string Which(const std::string& program) {
  std::string path = Capture("command -v " + program + " 2>/dev/null");
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return path;
}

// The number after "<name>:" in xwininfo's report; -1 when it is missing.
inline int Field(const std::string& text, const std::string& name) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(name + ":\\s+(-?[0-9]+)"))) return -1;
  return std::stoi(match[1]);
}

// Xvfb started with "-displayfd 1" takes the first free display number itself (its lock file
// makes the choice safe against servers that other test runs start at the same time) and
// writes it to its standard output once it accepts connections. The display's name (":N"),
// or "" when the server never got that far.
inline std::string DisplayOf(AgentProcess& xvfb) {
  std::string number;
  const bool ready = xvfb.WaitFor([&] {
    const std::string out = xvfb.Out();
    number = out.substr(0, out.find('\n'));
    return out.find('\n') != std::string::npos;
  });
  return ready ? ":" + number : "";
}

}  // namespace host_test

#endif  // MAV_TESTS_HOST_X_DISPLAY_H_
