#ifndef MAV_DATA_SQL_PARAMETERS_H_
#define MAV_DATA_SQL_PARAMETERS_H_

#include <string>
#include <string_view>
#include <vector>

#include "data/value.h"

namespace data {

// A statement with some of its literal values taken out as "?" parameters, and those values
// in the order of the parameters.
struct ParameterizedSql {
  std::string text;
  std::vector<Value> values;  // whole numbers (std::int64_t) and texts
};

// Takes the whole-number and 'text' literals out of one SQLite SELECT, UPDATE, DELETE or
// INSERT statement, so that statements that differ only in their values share one compiled
// form: compiling a statement costs more than running it on an index. A literal and a
// parameter bound to the same value mean the same in SQLite (neither has an affinity or a
// collation), except where the literal is part of the statement's shape; those stay:
// - everything before the statement's first WHERE, SET or VALUES outside parentheses (the
//   result columns, whose names are their texts, and the tables);
// - everything from the first GROUP, ORDER, LIMIT, HAVING, WINDOW, RETURNING, CONFLICT,
//   UNION, EXCEPT or INTERSECT on (ORDER BY 1 names a column);
// - type names after AS (CAST(x AS varchar(10)));
// - numbers with a fraction or an exponent (SQLite reads those with its own conversion),
//   hexadecimal numbers, whole numbers of more than 18 digits, and blob literals.
// A text with a comment, a parameter of its own, several statements or anything this reader
// does not follow comes back unchanged with no values.
ParameterizedSql ParameterizeForSqlite(std::string_view sql);

}  // namespace data

#endif  // MAV_DATA_SQL_PARAMETERS_H_
