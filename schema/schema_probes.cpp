#include "schema/schema_probes.h"

#include <algorithm>
#include <cctype>

#include "base/agent_error.h"

namespace schema {

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

bool TableExists(data::Connection& connection, const std::string& table) {
  const data::QueryResult result = connection.Query(
      "Select * from Information_Schema.tables Where [Table_Name]=" + data::SqlText(table));
  return !result.rows.empty();
}

bool MasterTableExists(const MasterOpener& open_master,
                       std::unique_ptr<data::Connection>& master_connection,
                       const std::string& table) {
  if (!open_master) {
    throw base::AgentError(base::kConnectionFailed, "No way to open the Master catalog was given");
  }
  master_connection = open_master();
  if (!master_connection) {
    throw base::AgentError(base::kConnectionFailed, "The Master catalog could not be opened");
  }
  return TableExists(*master_connection, table);
}

bool ColumnExists(data::Connection& connection, const std::string& table,
                  const std::string& column) {
  // The table name goes in unbracketed, as callers write it ("Master" or "[Master]").
  const data::QueryResult result = connection.Query("Select Top 1 * from " + table);
  const std::string wanted = Upper(column);
  return std::any_of(result.columns.begin(), result.columns.end(),
                     [&](const std::string& name) { return Upper(name) == wanted; });
}

}  // namespace schema
