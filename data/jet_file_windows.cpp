// The Jet driver on Windows: a Jet database file (the settings file, the SIM gateway's outbox)
// through the system's Access ODBC driver, for reading and writing. The modem software reads
// the outbox's Send table as that driver writes it.
//
// Jet SQL takes the agent's statements as they are ("[Using]=true", max(), TOP, bracketed
// names), so they are not rewritten. Texts travel through the driver's UTF-16 calls.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"

namespace data {
namespace {

// The driver of the Access Database Engine and of Office (the older Jet-only driver,
// "Microsoft Access Driver (*.mdb)", is 32-bit only).
constexpr const char* kAccessDriver = "Microsoft Access Driver (*.mdb, *.accdb)";

// A value for an ODBC connection string, in braces when it holds a character that would end
// or open a value there.
std::string OdbcValue(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos &&
      (value.empty() || (value.front() != ' ' && value.back() != ' '))) {
    return value;
  }
  std::string out = "{";
  for (char c : value) {
    if (c == '}') out += '}';
    out += c;
  }
  return out + "}";
}

}  // namespace

std::unique_ptr<Connection> OpenJetFile(const std::filesystem::path& file,
                                        const std::string& password) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the file does not exist");
  }
  const std::vector<std::string> installed = InstalledOdbcDrivers();
  if (std::find(installed.begin(), installed.end(), kAccessDriver) == installed.end()) {
    throw base::AgentError(base::kConnectionFailed,
                           "Cannot open database file " + file.string() + ": the ODBC driver \"" +
                               kAccessDriver +
                               "\" is not installed (it comes with the Microsoft Access "
                               "Database Engine)");
  }
  std::string text = std::string("Driver={") + kAccessDriver + "};Dbq=" + OdbcValue(file.string());
  if (!password.empty()) text += ";PWD=" + OdbcValue(password);
  return OpenOdbc(text, Dialect::kSqlServer);
}

}  // namespace data
