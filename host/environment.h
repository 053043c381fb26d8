#ifndef MAV_HOST_ENVIRONMENT_H_
#define MAV_HOST_ENVIRONMENT_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/agent_state.h"

namespace host {

// Folder of the running executable (symbolic links resolved).
std::filesystem::path ExecutableFolder();

// True when a network interface other than loopback is up and running.
bool NetworkInterfaceUp();

// Where a print database copy goes: "C:\ChPrint.mdb" on Windows, "ChPrint.mdb" in the
// user's home folder elsewhere (the current folder when HOME is unset).
std::filesystem::path DefaultPrintCopyTarget();

// This machine's name ("" when it cannot be read).
std::string HostName();

// This process's number, and whether a process of that number runs on this machine.
std::int64_t ProcessId();
bool ProcessAlive(std::int64_t pid);

// Where the log file may go, in order of preference (see OpenLogFile): on Windows the
// executable's folder `program_folder`, then %LOCALAPPDATA%\MAV Services; none elsewhere,
// where the service manager's journal keeps standard error.
std::vector<std::filesystem::path> LogFolders(const std::filesystem::path& program_folder);

// A desktop program on Windows has no console of its own: started from one, it joins it,
// so that its output shows there unless it was redirected. Nothing elsewhere.
void JoinParentConsole();

// The platform's environment: the executable's folder, the print copy target above, the
// network test above, the system clock and the steady clock, the machine's name, this
// process's number and the process test.
Environment DefaultEnvironment();

}  // namespace host

#endif  // MAV_HOST_ENVIRONMENT_H_
