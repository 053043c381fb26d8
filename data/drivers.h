#ifndef MAV_DATA_DRIVERS_H_
#define MAV_DATA_DRIVERS_H_

#include <filesystem>
#include <memory>
#include <string>

#include "data/connection.h"

// The drivers behind OpenConnection. Callers outside data/ use OpenConnection.
namespace data {

// An SQLite database file. `create`: make the file when it is missing (otherwise a missing
// file is kConnectionFailed). Statements are rewritten with RewriteForSqlite.
std::unique_ptr<Connection> OpenSqliteFile(const std::filesystem::path& file, bool create);

// An ODBC connection string ("Driver=...;..."), statements passed unchanged.
std::unique_ptr<Connection> OpenOdbc(const std::string& odbc_connection_string,
                                     Dialect dialect);

// A Jet 4 database file (read through mdbtools; writes are refused).
std::unique_ptr<Connection> OpenJetFile(const std::filesystem::path& file,
                                        const std::string& password);

}  // namespace data

#endif  // MAV_DATA_DRIVERS_H_
