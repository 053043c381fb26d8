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
//   hexadecimal numbers, whole numbers of more than 18 digits, and blob literals;
// - the values of a condition that an OR joins: inside parentheses that hold an OR at their
//   own level, or anywhere after a WHERE that does ("(Status='Loan' or Vtype='Opening
//   Balance')"). SQLite chooses a partial index only for a condition that is the index's own
//   condition value for value, and it can compare a parameter with the index's value only
//   by compiling the statement again each time the parameter is bound. The agent's values
//   in such conditions are fixed, so the statement is compiled once all the same.
// A text with a comment, a parameter of its own, several statements or anything this reader
// does not follow comes back unchanged with no values.
ParameterizedSql ParameterizeForSqlite(std::string_view sql);

}  // namespace data

#endif  // MAV_DATA_SQL_PARAMETERS_H_
