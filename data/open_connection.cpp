// OpenConnection: from the system's OLE DB connection strings to a driver.
//
// Provider "SQLOLEDB.1" names an SQL Server catalog. When its "Data Source" names an
// existing directory (absolute, or relative to the current directory), the catalogs are
// embedded SQLite files in that directory, one file "<Initial Catalog>.db" per catalog.
// Names like "(local)" or "HOST\SQLEXPRESS" are server names and go to SQL Server through
// ODBC, and so does "." (the local server, the default of the settings file), although it
// names the current directory too.
//
// Provider "Microsoft.Jet.OLEDB.4.0" names a database file: an SQLite file (recognised by
// its header) opens with the embedded driver, anything else as a Jet file.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/connection_string.h"
#include "data/drivers.h"

namespace data {
namespace {

namespace fs = std::filesystem;

// The first 16 bytes of every SQLite database file.
constexpr char kSqliteHeader[16] = "SQLite format 3";  // with its terminating NUL

bool StartsWithSqliteHeader(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char header[sizeof kSqliteHeader] = {};
  if (!in.read(header, sizeof header)) return false;
  return std::memcmp(header, kSqliteHeader, sizeof header) == 0;
}

// The catalog file <directory>/<catalog>.db. Catalog names are not case-sensitive on the
// server, so when no file has exactly that name a file whose name differs only in letter
// case is taken.
fs::path CatalogFile(const fs::path& directory, const std::string& catalog) {
  fs::path exact = directory / (catalog + ".db");
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  const std::string wanted = catalog + ".db";
  for (const auto& entry : fs::directory_iterator(directory, ec)) {
    if (EqualsIgnoreCase(entry.path().filename().string(), wanted)) return entry.path();
  }
  return exact;
}

bool IsTrue(const ConnectionString& cs, std::string_view key) {
  const std::string value = cs.GetOr(key, "");
  return EqualsIgnoreCase(value, "True") || EqualsIgnoreCase(value, "yes") ||
         EqualsIgnoreCase(value, "Mandatory");
}

// The protection SqlServerTlsKeys writes: encryption asked for and the certificate not
// trusted blindly means a checked certificate.
SqlServerTls TlsOf(const ConnectionString& cs) {
  SqlServerTls tls;
  tls.verify = IsTrue(cs, "Use Encryption for Data") && !IsTrue(cs, "Trust Server Certificate");
  if (tls.verify) tls.host_name_in_certificate = cs.GetOr("Host Name In Certificate", "");
  return tls;
}

std::unique_ptr<Connection> OpenSqlServerCatalog(const ConnectionString& cs) {
  const std::string source = cs.GetOr("Data Source", "");
  const fs::path directory(source);
  std::error_code ec;
  // "." (the settings file's default) is the local server, though it also names the current
  // directory; any other Data Source naming an existing directory holds embedded catalogs.
  const bool local_server = source == "." || source == "..";
  if (source.empty() || local_server || !fs::is_directory(directory, ec)) {
    // OLE DB takes "UID" and "Password" as synonyms of the keys the system writes.
    const std::string user = cs.GetOr("User ID", cs.GetOr("UID", ""));
    const std::string password = cs.GetOr("pwd", cs.GetOr("Password", ""));
    return OpenOdbc(
        SqlServerOdbcString(source, cs.GetOr("Initial Catalog", ""), user, password, TlsOf(cs)),
        Dialect::kSqlServer);
  }
  const std::string catalog = cs.GetOr("Initial Catalog", "");
  if (catalog.empty()) {
    throw base::AgentError(base::kNotConfigured,
                           "Cannot open the catalog: no Initial Catalog given for " + source);
  }
  const bool is_master = EqualsIgnoreCase(catalog, "Master");
  const fs::path file = CatalogFile(directory, is_master ? "Master" : catalog);
  if (!is_master && !fs::exists(file, ec)) {
    // As SQL Server refuses a login to a catalog it does not have.
    throw base::AgentError(base::kLoginRejected, "Cannot open database \"" + catalog +
                                                     "\" requested by the login: no catalog file " +
                                                     file.string());
  }
  // The server always has its Master catalog; here it is made on first use.
  return OpenSqliteFile(file, is_master);
}

std::unique_ptr<Connection> OpenDatabaseFile(const ConnectionString& cs) {
  const std::string source = cs.GetOr("Data Source", "");
  if (source.empty()) {
    throw base::AgentError(base::kConnectionFailed,
                           "Cannot open the database file: no Data Source given");
  }
  const fs::path file(source);
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    throw base::AgentError(base::kConnectionFailed, "Could not find file '" + source + "'");
  }
  // An SQLite file carries no password: the one given is accepted and not checked. These
  // files belong to other programs (the settings file, the SMS modem's outbox), so their
  // journal mode stays as those programs chose it.
  if (StartsWithSqliteHeader(file)) {
    return OpenSqliteFile(file, /*create=*/false, /*write_ahead_log=*/false);
  }
  return OpenJetFile(file, cs.GetOr("Jet OLEDB:Database Password", ""));
}

}  // namespace

std::string SqlServerTlsKeys(const SqlServerTls& tls) {
  if (!tls.verify) return "";
  std::string keys = ";Use Encryption for Data=True;Trust Server Certificate=False";
  if (!tls.host_name_in_certificate.empty()) {
    keys += ";Host Name In Certificate=" + QuotedValue(tls.host_name_in_certificate);
  }
  return keys;
}

std::unique_ptr<Connection> OpenConnection(const std::string& connection_string) {
  const ConnectionString cs = ConnectionString::Parse(connection_string);
  if (const auto driver = cs.Get("Driver")) {
    // An SQLite ODBC driver speaks SQLite's dialect; the agent's texts are rewritten for it.
    const bool sqlite =
        driver->find("SQLite") != std::string::npos || driver->find("sqlite") != std::string::npos;
    return OpenOdbc(connection_string, sqlite ? Dialect::kSqlite : Dialect::kSqlServer);
  }

  const std::string provider = cs.GetOr("Provider", "");
  if (EqualsIgnoreCase(provider, "SQLOLEDB.1") || EqualsIgnoreCase(provider, "SQLOLEDB")) {
    return OpenSqlServerCatalog(cs);
  }
  if (EqualsIgnoreCase(provider, "Microsoft.Jet.OLEDB.4.0")) return OpenDatabaseFile(cs);
  if (provider.empty()) {
    throw base::AgentError(base::kConnectionFailed,
                           "Connection string names no Provider and no Driver");
  }
  throw base::AgentError(base::kConnectionFailed, "Provider cannot be found: " + provider);
}

}  // namespace data
