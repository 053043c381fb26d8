#include "data/connection_string.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"

namespace data {
namespace {

TEST(ConnectionString, ReadsTheSystemsStrings) {
  const ConnectionString cs = ConnectionString::Parse(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial "
      "Catalog=MavData2075;Data Source=.");
  EXPECT_EQ("SQLOLEDB.1", cs.GetOr("Provider", ""));
  EXPECT_EQ("sa", cs.GetOr("user id", ""));
  EXPECT_EQ(std::optional<std::string>(""), cs.Get("PWD"));  // present, empty
  EXPECT_EQ("MavData2075", cs.GetOr("INITIAL CATALOG", ""));
  EXPECT_EQ(".", cs.GetOr("Data Source", ""));
  EXPECT_EQ(std::nullopt, cs.Get("Password"));
  EXPECT_EQ("fallback", cs.GetOr("Password", "fallback"));
  ASSERT_EQ(6u, cs.entries().size());
  EXPECT_EQ("Persist Security Info", cs.entries()[1].first);
}

TEST(ConnectionString, Values) {
  const struct {
    const char* text;
    const char* key;
    const char* want;
  } kCases[] = {
      {"Jet OLEDB:Database Password=907qx", "jet oledb:database password", "907qx"},
      {"pwd=a=b==c;x=1", "pwd", "a=b==c"},  // only the first "=" separates
      {"Data Source=C:\\Program Files\\MAV\\mavdata.cdf", "Data Source",
       "C:\\Program Files\\MAV\\mavdata.cdf"},
      {"  Data Source = /srv/mav data ; x=1", "data source", "/srv/mav data"},
      {"pwd=\"a;b\";x=1", "pwd", "a;b"},
      {"pwd='it''s';x=1", "pwd", "it's"},
      {"pwd=\"\"", "pwd", ""},
      {"a=1;;b=2;", "b", "2"},
      {"a=1;A=2", "a", "2"},  // the last value counts
      {"Driver=SQLite3;Database=/tmp/x.db", "database", "/tmp/x.db"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(std::optional<std::string>(c.want), ConnectionString::Parse(c.text).Get(c.key));
  }
}

TEST(ConnectionString, MalformedStringsFailWithoutShowingTheirText) {
  for (const char* text :
       {"Provider=SQLOLEDB.1;secret", "=value", "pwd=\"unclosed;x=1", "pwd='a'b;x=1"}) {
    SCOPED_TRACE(text);
    try {
      ConnectionString::Parse(text);
      ADD_FAILURE() << "accepted";
    } catch (const base::AgentError& e) {
      EXPECT_EQ(base::kConnectionFailed, e.number());
      EXPECT_EQ(std::string::npos, e.description().find("secret"));
      EXPECT_EQ(std::string::npos, e.description().find("unclosed"));
    }
  }
}

TEST(ConnectionString, EmptyTextHasNoEntries) {
  EXPECT_TRUE(ConnectionString::Parse("").entries().empty());
  EXPECT_TRUE(ConnectionString::Parse(" ; ;").entries().empty());
}

}  // namespace
}  // namespace data
