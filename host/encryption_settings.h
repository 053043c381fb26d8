#ifndef MAV_HOST_ENCRYPTION_SETTINGS_H_
#define MAV_HOST_ENCRYPTION_SETTINGS_H_

#include <filesystem>
#include <string>

#include "data/connection.h"

namespace host {

// Name of the file in the program folder that asks for checked certificates on the agent's
// connections to SQL Server. Neither the settings file nor the connector file (both written
// by the accounting installation, with fixed columns and lines) has room for it.
inline constexpr const char* kEncryptionFileName = "MAVEncryption.ini";

// How each SQL Server connection of the agent is protected.
struct EncryptionSettings {
  data::SqlServerTls accounting;   // the accounting catalog and the server's Master catalog
  data::SqlServerTls sms_service;  // the internet SMS service's database
};

// Reads `file`; a missing file leaves every connection at the default. The file:
//
//   ; comment
//   [Accounting]
//   Encrypt = Verify
//   HostNameInCertificate = db.coop.example
//   [SMSService]
//   Encrypt = Verify
//
// Sections [Accounting] and [SMSService]; Encrypt is Default or Verify (a checked
// certificate), HostNameInCertificate the name the certificate must carry (only with
// Verify). Names and the values of Encrypt match without regard to letter case. A file that
// cannot be read, or holds anything else, throws kConnectionFailed naming the file and the
// line: a mistyped setting must not leave a connection unchecked.
EncryptionSettings ReadEncryptionSettings(const std::filesystem::path& file);

}  // namespace host

#endif  // MAV_HOST_ENCRYPTION_SETTINGS_H_
