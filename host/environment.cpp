#include "host/environment.h"

#include <chrono>

namespace host {

// ExecutableFolder, NetworkInterfaceUp and DefaultPrintCopyTarget are the platform's:
// environment_posix.cpp and environment_windows.cpp.

Environment DefaultEnvironment() {
  Environment env;
  env.program_folder = ExecutableFolder();
  env.print_copy_target = DefaultPrintCopyTarget();
  env.online = NetworkInterfaceUp;
  env.now = [] { return std::chrono::system_clock::now(); };
  env.clock = [] { return std::chrono::steady_clock::now(); };
  env.host_name = HostName();
  env.process_id = ProcessId();
  env.process_alive = ProcessAlive;
  return env;
}

}  // namespace host
