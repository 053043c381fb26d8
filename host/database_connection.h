#ifndef MAV_HOST_DATABASE_CONNECTION_H_
#define MAV_HOST_DATABASE_CONNECTION_H_

#include <filesystem>
#include <string>

#include "host/agent_state.h"

namespace host {

// Password of the local settings file mavdata.cdf.
inline constexpr const char* kSettingsPassword = "907qx";

// Name of the connector file in the program folder; matched with exact letter case.
inline constexpr const char* kConnectorFileName = "MAVConnector.xml";

// Connection string of the local settings file "mavdata.cdf" in `program_folder`.
std::string SettingsConnectionString(const std::filesystem::path& program_folder);

// Connection strings of the accounting catalog (state.DbName) and of the server's Master
// catalog, from state.DbServer, DbUser and DbPassword, with the keys of state.accounting_tls
// when it asks for a checked certificate (none by default).
std::string MainConnectionString(const AgentState& state);
std::string MasterConnectionString(const AgentState& state);

// True when `folder` holds a regular file named exactly "MAVConnector.xml" (a name in other
// letter case or a hidden file does not count).
bool ConnectorFilePresent(const std::filesystem::path& folder);

// Decides where the accounting catalog is and opens state.MainConnection: the connector
// file's values when it is present, else the first active row of the settings file's
// Settings table (Null columns take their defaults). The settings file is opened in both
// cases, and so is MAVEncryption.ini when present (state.accounting_tls and
// state.sms.service_tls). With neither a connector file nor an active row, returns with
// DbConnected false and no MainConnection. Throws AgentError when a file or the catalog
// cannot be opened, or MAVEncryption.ini holds anything it does not know.
void SetDatabase(AgentState& state);

}  // namespace host

#endif  // MAV_HOST_DATABASE_CONNECTION_H_
