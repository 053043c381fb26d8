#ifndef MAV_DATA_DRIVERS_H_
#define MAV_DATA_DRIVERS_H_

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"

// The drivers behind OpenConnection. Callers outside data/ use OpenConnection.
namespace data {

// An SQLite database file. `create`: make the file when it is missing (otherwise a missing
// file is kConnectionFailed). Statements are rewritten with RewriteForSqlite.
// `write_ahead_log`: switch the file to WAL journaling (catalogs shared by several programs);
// false keeps the journal mode the file has (files that belong to another program).
std::unique_ptr<Connection> OpenSqliteFile(const std::filesystem::path& file, bool create,
                                           bool write_ahead_log = true);

// An ODBC connection string ("Driver=...;..."), statements passed unchanged.
std::unique_ptr<Connection> OpenOdbc(const std::string& odbc_connection_string, Dialect dialect);

// The ODBC connection string for SQL Server through the first installed driver among
// "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS" and
// "SQL Server", from the OLE DB values Data Source, Initial Catalog, User ID and pwd, and the
// protection `tls` asks for. Throws AgentError kConnectionFailed when none of them is
// installed, when a value cannot be carried (SqlServerOdbcStringForDriver), and when a
// checked certificate is asked of FreeTDS but its configuration names no CA file.
std::string SqlServerOdbcString(const std::string& server, const std::string& catalog,
                                const std::string& user, const std::string& password,
                                const SqlServerTls& tls = {});

// The same for a given driver name: Server (FreeTDS: with Port, from "host,port"; 1433 when
// no port or instance is given), Database, UID, PWD, every value in braces. `tls.verify`
// maps to Encrypt=yes and TrustServerCertificate=no (ODBC Driver 18 and 17; 18 also takes
// HostNameInCertificate) and to Encryption=require (FreeTDS). By default Driver 18 gets
// TrustServerCertificate=yes, the others nothing.
// Throws kConnectionFailed, naming the key: for a value holding NUL (any driver) or "}"
// (FreeTDS, which reads a braced value only up to the first "};"); and when `tls` asks what
// the driver cannot check (a host name other than the server's on Driver 17 or FreeTDS; any
// check on "SQL Server").
std::string SqlServerOdbcStringForDriver(const std::string& driver, const std::string& server,
                                         const std::string& catalog, const std::string& user,
                                         const std::string& password, const SqlServerTls& tls = {});

// The configuration files FreeTDS reads, in its order: the file named by FREETDSCONF (or
// FREETDS), ~/.freetds.conf, and Debian's /etc/freetds/freetds.conf.
std::vector<std::filesystem::path> FreeTdsConfigFiles();

// The CA file ("ca file") FreeTDS checks certificates of `server` against, read from `files`
// as FreeTDS reads them: the [global] section of each readable file in turn, up to and
// including the first file with a section for `server` (names without regard to letter
// case), later values replacing earlier ones. std::nullopt when none is set: FreeTDS then
// takes any certificate.
std::optional<std::string> FreeTdsCaFile(const std::vector<std::filesystem::path>& files,
                                         const std::string& server);

// The names of the ODBC drivers the driver manager knows.
std::vector<std::string> InstalledOdbcDrivers();

// A Jet 4 database file. On Linux it is read through mdbtools and writes are refused; on
// Windows it is read and written through the system's ODBC driver "Microsoft Access Driver
// (*.mdb, *.accdb)", and where that driver is missing, opening fails with kConnectionFailed
// naming the driver and the file.
std::unique_ptr<Connection> OpenJetFile(const std::filesystem::path& file,
                                        const std::string& password);

}  // namespace data

#endif  // MAV_DATA_DRIVERS_H_
