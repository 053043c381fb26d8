#ifndef MAV_DATA_SQL_DIALECT_H_
#define MAV_DATA_SQL_DIALECT_H_

#include <string>
#include <string_view>

namespace data {

// Rewrites one of the agent's SQL Server statements into SQLite's dialect: TOP n, multi-column
// ALTER TABLE ADD, Information_Schema.tables, "+" text concatenation, "=true"/"=false",
// left(s, n), bracketed type names; text columns it creates compare without regard to case.
// String literals, bracketed names and comments pass through unchanged.
std::string RewriteForSqlite(std::string_view sql);

}  // namespace data

#endif  // MAV_DATA_SQL_DIALECT_H_
