// The service manager on Windows: the agent runs as a desktop program from the start-up
// folder; nothing listens for notifications.
#include "host/service_manager.h"

namespace host {

void NotifyServiceManager(const std::string&) {}

}  // namespace host
