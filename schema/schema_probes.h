#ifndef MAV_SCHEMA_SCHEMA_PROBES_H_
#define MAV_SCHEMA_SCHEMA_PROBES_H_

#include <functional>
#include <memory>
#include <string>

#include "data/connection.h"

// Questions about a catalog's schema. Names are plain identifiers (a bracketed name such as
// "[Master]" is accepted where a table is named). None of the probes treats a failing query
// as an answer: every failure throws the driver's AgentError.
namespace schema {

// Opens a fresh connection to the server's Master catalog.
using MasterOpener = std::function<std::unique_ptr<data::Connection>()>;

// True when a table (or view) of that name exists in the catalog of `connection`; the name
// compares as the server compares identifiers (without regard to case on the embedded driver).
bool TableExists(data::Connection& connection, const std::string& table);

// Opens a new Master connection with `open_master`, stores it in `master_connection` (it stays
// open for the caller, which creates the table through it) and asks TableExists there.
bool MasterTableExists(const MasterOpener& open_master,
                       std::unique_ptr<data::Connection>& master_connection,
                       const std::string& table);

// True when `table` has a column named `column`, compared in upper case. The column list comes
// from the result's description, so an empty table answers too. A missing table throws.
bool ColumnExists(data::Connection& connection, const std::string& table,
                  const std::string& column);

}  // namespace schema

#endif  // MAV_SCHEMA_SCHEMA_PROBES_H_
