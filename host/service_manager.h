#ifndef MAV_HOST_SERVICE_MANAGER_H_
#define MAV_HOST_SERVICE_MANAGER_H_

#include <string>

namespace host {

// Sends `message` to the service manager that started the agent: systemd's notification
// assignments ("READY=1", "WATCHDOG=1", "STATUS=<text>", "STOPPING=1"), several separated by
// newlines. Does nothing when no service manager listens (NOTIFY_SOCKET unset), on Windows,
// and in a Linux build without libsystemd. Never fails.
void NotifyServiceManager(const std::string& message);

}  // namespace host

#endif  // MAV_HOST_SERVICE_MANAGER_H_
