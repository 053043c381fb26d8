#include "data/sql_parameters.h"

#include <gtest/gtest.h>

#include <string>

namespace data {
namespace {

// The values as one text: numbers as they are, texts in <>.
std::string Shown(const std::vector<Value>& values) {
  std::string shown;
  for (const Value& v : values) {
    if (!shown.empty()) shown += ",";
    if (v.IsText())
      shown.append("<").append(v.AsText()).append(">");
    else
      shown.append(v.AsText());
  }
  return shown;
}

TEST(ParameterizeForSqlite, TakesOutTheValuesButNotTheShape) {
  const struct {
    const char* sql;
    const char* text;
    const char* values;
  } cases[] = {
      {"Select Name from Acc Where Accode=100005", "Select Name from Acc Where Accode=?", "100005"},
      {"Select 5, 'x' as a from T where k='it''s' and n=-7",
       "Select 5, 'x' as a from T where k=? and n=-?", "<it's>,7"},
      {"Update T set a='b', n=3 Where k in (1,2)", "Update T set a=?, n=? Where k in (?,?)",
       "<b>,3,1,2"},
      {"Insert into T(a,b) values(1,'z')", "Insert into T(a,b) values(?,?)", "1,<z>"},
      // Result columns of a subquery before the Where, and what comes after Order By.
      {"Select (select max(x) from U where k=1) from T where k=2 order by 1 limit 5",
       "Select (select max(x) from U where k=1) from T where k=? order by 1 limit 5", "2"},
      {"Select a from T where b=1 group by a having count(*)>2",
       "Select a from T where b=? group by a having count(*)>2", "1"},
      // An alias ends at the next word; a type name's size stays.
      {"Select a as b from T where cast(c as varchar(10))='1' and d=substr(e,1,3)",
       "Select a as b from T where cast(c as varchar(10))=? and d=substr(e,?,?)", "<1>,1,3"},
      // Numbers SQLite reads with its own conversion, hexadecimal numbers, blobs, names.
      {"Select a from T where b=1.5 and c=1e3 and d=0x1F and e=X'0A' and [1]=\"2\"",
       "Select a from T where b=1.5 and c=1e3 and d=0x1F and e=X'0A' and [1]=\"2\"", ""},
      {"Select a from T where b=1234567890123456789", "Select a from T where b=1234567890123456789",
       ""},
      // The values of a condition an OR joins stay, inside parentheses or at the outer level,
      // at any depth below it; the others go.
      {"Select Min([Date]) from [Master] where code=5 and (Status='Loan' or Vtype='Opening')",
       "Select Min([Date]) from [Master] where code=? and (Status='Loan' or Vtype='Opening')", "5"},
      {"Select a from T where (b in('x','y') or (c=1 and d='z')) and e=substr(f,2,3) and g=4",
       "Select a from T where (b in('x','y') or (c=1 and d='z')) and e=substr(f,?,?) and g=?",
       "2,3,4"},
      {"Select a from T where b=1 or c='x'", "Select a from T where b=1 or c='x'", ""},
      {"Update T set a='o', b=(1) Where c=2 and (d=3 or e=4)",
       "Update T set a=?, b=(?) Where c=? and (d=3 or e=4)", "<o>,1,2"},
      {"Select a from T where [or]=1 and 'or'=b and \"x or y\"=2",
       "Select a from T where [or]=? and ?=b and \"x or y\"=?", "1,<or>,2"},
  };
  for (const auto& c : cases) {
    const ParameterizedSql p = ParameterizeForSqlite(c.sql);
    EXPECT_EQ(c.text, p.text) << c.sql;
    EXPECT_EQ(c.values, Shown(p.values)) << c.sql;
  }
}

TEST(ParameterizeForSqlite, LeavesWhatItDoesNotFollowAlone) {
  for (const char* sql : {
           "Create Table T(a int default 5)",
           "PRAGMA user_version=3",
           "Select a from T where b=? and c=1",
           "Select a from T where b=1 -- note",
           "Select a from T where b=1 /* note */",
           "Select a from T where b='open",
           "Select a from T where b=(1",
           "Select a from T where b=1; Select 2",
           "Select a from T where b=1abc",
       }) {
    const ParameterizedSql p = ParameterizeForSqlite(sql);
    EXPECT_EQ(sql, p.text);
    EXPECT_TRUE(p.values.empty()) << sql;
  }
}

}  // namespace
}  // namespace data
