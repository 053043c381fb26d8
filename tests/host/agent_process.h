#ifndef MAV_TESTS_HOST_AGENT_PROCESS_H_
#define MAV_TESTS_HOST_AGENT_PROCESS_H_

// Runs the agent executable as a child process with its output captured in files.

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace host_test {

// True when a network interface other than loopback is up: the agent serves SMS requests
// only while the machine is online, so the tests that need replies skip otherwise.
inline bool MachineOnline() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool up = false;
  for (const ifaddrs* a = list; a != nullptr && !up; a = a->ifa_next) {
    up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING) && !(a->ifa_flags & IFF_LOOPBACK);
  }
  freeifaddrs(list);
  return up;
}

// The agent's log without the lines on its work ("Activity: ...", "Alive for ..."), which
// come whenever there was work: what is left are errors and events.
inline std::string WithoutActivity(const std::string& log) {
  std::istringstream lines(log);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Activity: ", 0) == 0 || line.rfind("Alive for ", 0) == 0) continue;
    kept += line + "\n";
  }
  return kept;
}

// The sum of one count over the activity lines of the agent's log: `one` and `several` are
// its texts ("SIM request answered", "SIM requests answered").
inline std::int64_t ActivityCount(const std::string& log, const std::string& one,
                                  const std::string& several) {
  std::istringstream lines(log);
  std::int64_t sum = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Activity: ", 0) != 0) continue;
    std::istringstream parts(line.substr(10));
    for (std::string part; std::getline(parts, part, ',');) {
      std::istringstream words(part);
      std::int64_t n = 0;
      std::string text;
      words >> n >> std::ws;
      std::getline(words, text);
      if (text == one || text == several) sum += n;
    }
  }
  return sum;
}

struct AgentExit {
  int status = -1;  // exit status; -1 when it did not exit by itself
  std::string out, err;
};

class AgentProcess {
 public:
  // Starts `exe` with `args` and the caller's environment changed by `env` (an empty value
  // removes the variable). Output goes to the files <name>.out and <name>.err in `log_folder`.
  AgentProcess(const std::filesystem::path& exe, const std::map<std::string, std::string>& env,
               const std::filesystem::path& log_folder, std::vector<std::string> args = {},
               const std::string& name = "agent")
      : out_file_(log_folder / (name + ".out")), err_file_(log_folder / (name + ".err")) {
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string var = *e;
      const std::string name = var.substr(0, var.find('='));
      if (env.count(name) == 0) vars.push_back(var);
    }
    for (const auto& [name, value] : env) {
      if (!value.empty()) vars.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string path = exe.string();
    std::vector<char*> argv = {path.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  ~AgentProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Polls `done` until it holds, the agent exits, or `limit` passes. True when `done` held.
  bool WaitFor(const std::function<bool()>& done,
               std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      if (Reap(false)) return done();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Stops the agent with `signal` (0: waits for it to end by itself, up to `limit`).
  AgentExit Stop(int signal = SIGTERM, std::chrono::seconds limit = std::chrono::seconds(60)) {
    if (!exited_ && signal != 0) kill(pid_, signal);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!exited_ && std::chrono::steady_clock::now() < end) {
      if (!Reap(false)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!exited_) {
      kill(pid_, SIGKILL);
      Reap(true);
      status_ = -1;
    }
    return AgentExit{status_, Read(out_file_), Read(err_file_)};
  }

  // Stops the agent (SIGSTOP) and waits until it has stopped; Thaw lets it go on.
  void Freeze() {
    kill(pid_, SIGSTOP);
    for (int i = 0; i < 1000 && !Stopped(); ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }
  void Thaw() { kill(pid_, SIGCONT); }

  std::string Out() const { return Read(out_file_); }
  std::string Err() const { return Read(err_file_); }

 private:
  // True when /proc says the process is stopped.
  bool Stopped() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos || end + 2 >= line.size()) return true;  // gone
    return line[end + 2] == 'T' || line[end + 2] == 't';
  }

  bool Reap(bool block) {
    if (exited_) return true;
    int raw = 0;
    if (waitpid(pid_, &raw, block ? 0 : WNOHANG) != pid_) return false;
    exited_ = true;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return true;
  }

  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path out_file_, err_file_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = -1;
};

}  // namespace host_test

#endif  // MAV_TESTS_HOST_AGENT_PROCESS_H_
