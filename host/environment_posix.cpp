// The platform parts of the environment on Linux and other POSIX systems.
#include <ifaddrs.h>
#include <net/if.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include "host/environment.h"

namespace host {

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

bool NetworkInterfaceUp() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool up = false;
  for (const ifaddrs* a = list; a != nullptr && !up; a = a->ifa_next) {
    const unsigned flags = a->ifa_flags;
    up = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
  }
  freeifaddrs(list);
  return up;
}

std::filesystem::path DefaultPrintCopyTarget() {
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / "ChPrint.mdb";
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::int64_t ProcessId() { return getpid(); }

bool ProcessAlive(std::int64_t pid) {
  if (pid <= 0) return false;
  // Signal 0 tests only: EPERM means a process runs under another user.
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  // A process that ended but was not yet reaped by its parent (a zombie) runs no more.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;  // no /proc: as signal 0 said
  const std::size_t name_end = line.rfind(')');
  return name_end == std::string::npos || name_end + 2 >= line.size() ||
         (line[name_end + 2] != 'Z' && line[name_end + 2] != 'X');
}

std::vector<std::filesystem::path> LogFolders(const std::filesystem::path&) { return {}; }

void JoinParentConsole() {}

}  // namespace host
