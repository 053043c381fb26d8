#ifndef MAV_DATA_SQL_DIALECT_H_
#define MAV_DATA_SQL_DIALECT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace data {

// Rewrites the agent's SQL Server statements into SQLite's dialect. Only these constructs
// change; everything else, and anything inside 'literals', [names], "names" and comments,
// comes back byte for byte:
// - SELECT [DISTINCT] TOP n ... -> SELECT ... LIMIT n, placed after the last token of that
//   SELECT (after its ORDER BY; before the ")" of a subquery).
// - ALTER TABLE t ADD a type, b type -> "ALTER TABLE t ADD a type; ALTER TABLE t ADD b type".
//   THE RESULT MAY HOLD SEVERAL STATEMENTS separated by ";": a driver must run them all
//   (sqlite3_prepare_v2 over the tail), as one unit, so that a column that already exists
//   refuses the whole statement as the server does.
// - ALTER TABLE t ALTER COLUMN c type -> "SELECT c FROM t WHERE 0": SQLite does not enforce
//   declared lengths, so only the check that the table and column exist remains.
// - Information_Schema.tables / .columns -> subqueries over sqlite_master with the same
//   column names (TABLE_NAME, TABLE_TYPE 'BASE TABLE' or 'VIEW'; COLUMN_NAME,
//   ORDINAL_POSITION, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH as declared); names compare
//   without regard to case.
// - a + 'text' + b (a sum with a literal text among its terms) -> (a || 'text' || b)
//   COLLATE NOCASE. Sums of columns and numbers stay numeric.
// - x=true -> (x<>0), x=false -> x=0: Jet stores true as -1, other programs as 1, and both
//   must count. In the SET list of an UPDATE, x=true stores -1.
// - left(s, n) -> substr(s, 1, n) COLLATE NOCASE (LEFT is a keyword in SQLite). LEFT JOIN
//   stays.
// - Column definitions of CREATE TABLE and ALTER TABLE ADD: brackets around type names go
//   ([varchar](20) -> varchar(20)), varchar(max) -> varchar, names that are
//   SQLite keywords (Limit) are quoted, and text columns (char, varchar, nchar, nvarchar,
//   text, ntext) get COLLATE NOCASE unless they name a collation, so that '=', GROUP BY and
//   ORDER BY compare them as SQL Server's default collation does.
// - column<>number (or !=) -> (column<number or column>number), where the column is the whole
//   left operand and the number the whole right one, so that an index on the column serves
//   it; the value is the same for every row, Null included.
// - N'text' -> 'text'.
// Never fails: a text it cannot read (an unterminated literal, unpaired parentheses) is
// passed on as far as it is not understood, for SQLite to report.
std::string RewriteForSqlite(std::string_view sql);

// A statement in SQLite's dialect (its values may be parameters) that groups its rows in the
// order of its sorting, so that an index can hand them over in that order:
// SELECT ... [WHERE c] GROUP BY g1, ..., gn ORDER BY o1 [DESC], ..., ok, where the o are some
// of the g (all of them table.column names) -> SELECT ... WHERE (c) and o1 IS o1 GROUP BY
// o1, ..., ok, <the other g> ORDER BY o1 [DESC], ..., ok, <the other g>. The same groups in
// the same order: SQLite orders the rows that tie on the o by the g, and the text now says so.
// An index on (..., o1, ..., ok, the other g) whose condition is "o1 IS o1" (a mark no other
// statement carries) then delivers the first groups without the others being grouped and
// sorted. Any other text (DISTINCT, TOP, LIMIT, HAVING, a compound, other terms) comes back
// as it is.
std::string GroupInSortOrderForSqlite(std::string_view select);

// A text that reads the first `max_rows` rows (max_rows > 0) of `select`, one SELECT already
// in SQLite's dialect without a LIMIT of its own: `select` followed by LIMIT max_rows.
// When `select` reads one table, its columns are * or plain names, its Where holds
// "column In(whole numbers)" among conditions joined by And at the top level, and it ends in
// an Order By of result columns, the text is instead one ordered, limited sub-select per
// listed value, merged under the same Order By and limit. An index on (column, sort
// columns) then serves each value's first rows, where In would read every row of every
// value and sort them all. The rows are the same, in the same order (rows that tie on the
// sort columns may come in another order, as SQL leaves it open).
std::string LimitForSqlite(std::string_view select, std::int64_t max_rows);

// The collation by which SQLite compares `column` (any letter case) of the table that the
// CREATE TABLE text `create_table` (as sqlite_master keeps it) declares: the name after the
// column's COLLATE as written, "BINARY" when it names none, "" when there is no such column.
std::string DeclaredCollation(std::string_view create_table, std::string_view column);

}  // namespace data

#endif  // MAV_DATA_SQL_DIALECT_H_
