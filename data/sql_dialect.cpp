#include "data/sql_dialect.h"

namespace data {

std::string RewriteForSqlite(std::string_view sql) { return std::string(sql); }

}  // namespace data
