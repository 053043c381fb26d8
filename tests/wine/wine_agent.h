#ifndef MAV_TESTS_WINE_WINE_AGENT_H_
#define MAV_TESTS_WINE_WINE_AGENT_H_

// The Windows build of the agent, run under Wine from the Linux tests.

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/host/agent_process.h"

namespace wine_test {

// A host path as Windows programs under Wine name it: drive Z: is the host's root folder
// in every new Wine prefix.
inline std::string WindowsPath(const std::filesystem::path& path) {
  std::string text = "Z:" + std::filesystem::absolute(path).string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

// Wine's settings for the tests: the Windows build's prefix (the Windows installation under
// Wine), no debug messages, no prompts to install Wine's .NET and HTML engines.
inline std::map<std::string, std::string> WineEnvironment(
    std::map<std::string, std::string> env = {}) {
  env.emplace("WINEPREFIX", MAV_WINE_PREFIX);
  env.emplace("WINEDEBUG", "-all");
  env.emplace("WINEDLLOVERRIDES", "mscoree,mshtml=");
  return env;
}

// Runs a Wine command ("reg add ...") in the tests' prefix; true when it succeeded.
inline bool RunWine(const std::string& arguments) {
  std::string command;
  for (const auto& [name, value] : WineEnvironment()) command += name + "='" + value + "' ";
  return std::system((command + MAV_WINE + " " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// Ends every Wine program of the tests' prefix and its server. Wine's desktop process keeps
// the X display of the session that started it: a session begun without a display can show
// no window, so a test with a window starts a session of its own.
inline bool EndWineSession() {
  std::string command;
  for (const auto& [name, value] : WineEnvironment()) command += name + "='" + value + "' ";
  return std::system((command + "wineserver -k >/dev/null 2>&1; " + command +
                      "wineserver -w >/dev/null 2>&1")
                         .c_str()) == 0;
}

// The Windows executable copied into `folder`, started under Wine with `args` and the
// environment `env` on top of WineEnvironment().
class WineAgent {
 public:
  WineAgent(const std::filesystem::path& folder, const std::map<std::string, std::string>& env,
            const std::filesystem::path& log_folder, std::vector<std::string> args)
      : exe_(Install(folder)),
        process_(MAV_WINE, WineEnvironment(env), log_folder, Args(exe_, std::move(args)),
                 "wine-agent") {}

  host_test::AgentProcess& process() { return process_; }

 private:
  static std::filesystem::path Install(const std::filesystem::path& folder) {
    const std::filesystem::path exe = folder / "mav-services.exe";
    std::filesystem::copy_file(MAV_WINDOWS_EXE, exe,
                               std::filesystem::copy_options::overwrite_existing);
    return exe;
  }

  static std::vector<std::string> Args(const std::filesystem::path& exe,
                                       std::vector<std::string> args) {
    args.insert(args.begin(), WindowsPath(exe));
    return args;
  }

  std::filesystem::path exe_;
  host_test::AgentProcess process_;
};

}  // namespace wine_test

#endif  // MAV_TESTS_WINE_WINE_AGENT_H_
