#include "data/sql_server_literals.h"

#include <gtest/gtest.h>

#include <string>

#include "data/connection.h"

namespace data {
namespace {

// Texts outside ASCII reach SQL Server as N'...'; everything else stays byte for byte.
TEST(NationalTextLiterals, PrefixesOnlyLiteralsOutsideAscii) {
  const struct {
    std::string sql;
    std::string want;
  } kCases[] = {
      {"Update LoanSMS set [Send]='DEAR RAM' Where SN=1",
       "Update LoanSMS set [Send]='DEAR RAM' Where SN=1"},
      {"Update LoanSMS set [Send]='DEAR राम' Where SN=1",
       "Update LoanSMS set [Send]=N'DEAR राम' Where SN=1"},
      {"Select 'a','é','b','ç'", "Select 'a',N'é','b',N'ç'"},
      {"Select N'राम', n'é'", "Select N'राम', n'é'"},   // national already
      {"Select 'Ram''s राम'", "Select N'Ram''s राम'"},  // a doubled quote inside
      {"Select 'it''s', 'é'", "Select 'it''s', N'é'"},
      {"Select [राम 'x'] from \"é'\" where a='é'", "Select [राम 'x'] from \"é'\" where a=N'é'"},
      {"Select [a]]'é] from t where a='é'", "Select [a]]'é] from t where a=N'é'"},
      {"Select 1 -- 'é'\nwhere a='é'", "Select 1 -- 'é'\nwhere a=N'é'"},
      {"Select /* 'é' /* 'x' */ 'é' */ 'é'", "Select /* 'é' /* 'x' */ 'é' */ N'é'"},
      {"Select x'é'", "Select x'é'"},  // after a name: left alone
      {"Select 'é", "Select 'é"},      // never closed
      {"Select /* 'é'", "Select /* 'é'"},
      {"", ""},
      {"Select '\xC0\xA7'", "Select N'\xC0\xA7'"},  // ill-formed: the driver makes it U+FFFD
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(c.want, NationalTextLiterals(c.sql));
  }
  // Whatever a text holds, SqlText makes one literal of it, and it stays one.
  for (const std::string text :
       {"राम's", "é'; Drop Table Acc --", "éN'x'", "é]]'\"", "é/*", "é--"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ("Select N" + SqlText(text) + ",'a'",
              NationalTextLiterals("Select " + SqlText(text) + ",'a'"));
  }
}

}  // namespace
}  // namespace data
