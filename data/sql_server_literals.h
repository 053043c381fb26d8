#ifndef MAV_DATA_SQL_SERVER_LITERALS_H_
#define MAV_DATA_SQL_SERVER_LITERALS_H_

#include <string>
#include <string_view>

namespace data {

// `sql`, one text in SQL Server's dialect, with every 'text' literal that holds a character
// outside ASCII written N'text'. SQL Server reads a plain literal in the catalog's code page,
// so a Devanagari name stored into an nvarchar column from 'text' arrives as "?"; N'text' is
// read as UTF-16 and keeps every character.
// Stays as it is: an ASCII literal, a literal already written N'...', a literal right after a
// name character (no prefix of SQL Server's), quoted names ("..." and [...]) and comments
// (-- to the end of the line, /* */ nested). A text this reader cannot follow to its end (a
// quote or comment never closed) comes back unchanged, and so, byte for byte, does a text
// without a literal to change.
std::string NationalTextLiterals(std::string_view sql);

}  // namespace data

#endif  // MAV_DATA_SQL_SERVER_LITERALS_H_
