#include "host/environment.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#else
#include <ifaddrs.h>
#include <net/if.h>
#include <unistd.h>
#endif

namespace host {

std::filesystem::path ExecutableFolder() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return std::filesystem::path(std::wstring(buffer, n)).parent_path();
#else
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
#endif
}

bool NetworkInterfaceUp() {
#ifdef _WIN32
  DWORD flags = 0;
  char name[255] = {};
  return InternetGetConnectedStateExA(&flags, name, 254, 0) == 1;
#else
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool up = false;
  for (const ifaddrs* a = list; a != nullptr && !up; a = a->ifa_next) {
    const unsigned flags = a->ifa_flags;
    up = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
  }
  freeifaddrs(list);
  return up;
#endif
}

std::filesystem::path DefaultPrintCopyTarget() {
#ifdef _WIN32
  return "C:\\ChPrint.mdb";
#else
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / "ChPrint.mdb";
#endif
}

Environment DefaultEnvironment() {
  Environment env;
  env.program_folder = ExecutableFolder();
  env.print_copy_target = DefaultPrintCopyTarget();
  env.online = NetworkInterfaceUp;
  env.now = [] { return std::chrono::system_clock::now(); };
  return env;
}

}  // namespace host
