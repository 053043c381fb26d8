// The service manager on Linux: systemd's sd_notify, when the build found libsystemd
// (MAV_HAVE_LIBSYSTEMD, set by host/CMakeLists.txt).
#include "host/service_manager.h"

#if MAV_HAVE_LIBSYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace host {

void NotifyServiceManager(const std::string& message) {
#if MAV_HAVE_LIBSYSTEMD
  // The environment stays set (0): the reader child of a Jet file is forked, never run
  // anew, and sends nothing.
  sd_notify(0, message.c_str());
#else
  (void)message;
#endif
}

}  // namespace host
