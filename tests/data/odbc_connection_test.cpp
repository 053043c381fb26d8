// The ODBC driver, run for real through the SQLite ODBC driver ("SQLite3"), and the mapping of
// the system's SQL Server values to ODBC connection strings.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/record_set.h"
#include "tests/data/connection_contract.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/odbc_file_path.h"
#include "tests/support/test_catalog.h"

namespace {

using base::AgentError;
using data::RecordSet;
using data::Value;

std::unique_ptr<data::Connection> OpenSqliteThroughOdbc(const std::filesystem::path& file) {
  return data::OpenOdbc("Driver=SQLite3;Database=" + test_support::OdbcFilePath(file),
                        data::Dialect::kSqlite);
}

INSTANTIATE_TEST_SUITE_P(Odbc, ConnectionContract,
                         ::testing::Values(ConnectionFactory{"OdbcSqlite", OpenSqliteThroughOdbc}),
                         [](const auto& info) { return info.param.name; });

using test_support::ErrorOf;

class OdbcSqlite : public ::testing::Test {
 protected:
  void SetUp() override { connection_ = OpenSqliteThroughOdbc(dir_.path() / "odbc.db"); }
  data::Connection& connection() { return *connection_; }

  test_support::TempDir dir_;
  std::unique_ptr<data::Connection> connection_;
};

TEST_F(OdbcSqlite, SqliteErrorCarriesHy000NativeCodeAndStatement) {
  const base::AgentError error =
      ErrorOf([&] { connection().Query("Select Alias from NoSuchTable where CODE=7"); });
  EXPECT_EQ(base::kDatabaseError, error.number());
  const std::string& text = error.description();
  EXPECT_NE(std::string::npos, text.find("[HY000]")) << text;
  EXPECT_NE(std::string::npos, text.find("(native 1)")) << text;  // SQLITE_ERROR
  EXPECT_NE(std::string::npos, text.find("no such table")) << text;
  EXPECT_NE(std::string::npos, text.find("Select Alias from NoSuchTable where CODE=7")) << text;
}

TEST_F(OdbcSqlite, NonAsciiTextsRoundTripAsUtf8) {
  connection().Execute("Create Table Acc(ACCODE int, Name varchar(60))");
  const std::vector<std::string> names = {"£ 5", "राम बहादुर", "Ram's \"shop\"", " ", ""};
  for (std::size_t i = 0; i < names.size(); ++i) {
    connection().Execute("Insert Into Acc(ACCODE,Name) Values(" + std::to_string(i) + "," +
                         data::SqlText(names[i]) + ")");
  }
  RecordSet rs;
  rs.Open(connection(), "Select ACCODE,Name from Acc order by ACCODE");
  ASSERT_EQ(static_cast<std::int64_t>(names.size()), rs.RecordCount());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Value(name), rs.Field("Name"));
    RecordSet found;
    found.Open(connection(), "Select ACCODE from Acc where Name=" + data::SqlText(name));
    EXPECT_EQ(1, found.RecordCount());
    rs.MoveNext();
  }
}

// Values longer than one SQLGetData chunk (8 KB) arrive in parts and must be joined whole.
TEST_F(OdbcSqlite, LongTextsAndBlobsAreReadWhole) {
  connection().Execute("Create Table Notes(ID int, Body text, Data blob)");
  std::string body;
  for (int i = 0; body.size() < 50000; ++i) body += "line " + std::to_string(i) + " ग\n";
  std::string hex;
  std::string bytes;
  for (int i = 0; i < 20000; ++i) {
    const unsigned char b = static_cast<unsigned char>((i * 7) % 256);
    bytes += static_cast<char>(b);
    static const char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  connection().Execute("Insert Into Notes Values(1," + data::SqlText(body) + ",x'" + hex + "')");
  const data::QueryResult result = connection().Query("Select Body, Data from Notes");
  ASSERT_EQ(1u, result.rows.size());
  EXPECT_EQ(body.size(), result.rows[0][0].AsText().size());
  EXPECT_EQ(Value(body), result.rows[0][0]);
  EXPECT_EQ(Value(bytes), result.rows[0][1]);
}

TEST_F(OdbcSqlite, NumbersComeBackAsNumbers) {
  connection().Execute("Create Table Loan(ID int, Rate float)");
  connection().Execute("Insert Into Loan Values(3, 12.5)");
  connection().Execute("Insert Into Loan Values(-4, Null)");
  RecordSet rs;
  rs.Open(connection(), "Select max(ID) as MM, min(ID) as Low, sum(Rate) as Total from Loan");
  EXPECT_EQ(3, rs.Field("MM").AsInt32());
  EXPECT_EQ(-4, rs.Field("Low").AsInt32());
  EXPECT_DOUBLE_EQ(12.5, rs.Field("Total").AsDouble());
}

// A multi-column "Alter Table ... Add" runs as several SQLite statements: all or none.
TEST_F(OdbcSqlite, MultiColumnAddTakesEffectWholeOrNotAtAll) {
  connection().Execute("Create Table Acc(ACCODE int)");
  connection().Execute("Alter Table Acc Add Alias varchar(20), Mobile varchar(20)");
  connection().Execute("Insert Into Acc(ACCODE,Alias,Mobile) Values(1,'a','98')");

  EXPECT_EQ(base::kDatabaseError, ErrorOf([&] {
                                    connection().Execute(
                                        "Alter Table Acc Add Email varchar(20), "
                                        "Mobile varchar(20)");
                                  }).number());
  // Email, added before the failing Mobile, was taken back.
  EXPECT_THROW(connection().Query("Select Email from Acc"), base::AgentError);
  RecordSet rs;
  rs.Open(connection(), "Select Alias, Mobile from Acc");
  EXPECT_EQ(Value("98"), rs.Field("Mobile"));
}

TEST_F(OdbcSqlite, TransactionCallsOutOfOrderAreRefused) {
  EXPECT_THROW(connection().Commit(), base::AgentError);
  EXPECT_THROW(connection().Rollback(), base::AgentError);
  connection().BeginTransaction();
  EXPECT_THROW(connection().BeginTransaction(), base::AgentError);
  connection().Rollback();
}

TEST(OdbcConnect, UnreachableServerFailsWithEveryDiagnosticAndNoPassword) {
  // Port 1 on the loopback address: nothing listens, the connection is refused at once.
  const base::AgentError error = ErrorOf([] {
    data::OpenOdbc(
        "Driver=FreeTDS;Server=127.0.0.1;Port=1;Database=MavData;UID=sa;"
        "PWD=s3cret;TDS_Version=7.4",
        data::Dialect::kSqlServer);
  });
  EXPECT_EQ(base::kConnectionFailed, error.number());
  const std::string& text = error.description();
  EXPECT_NE(std::string::npos, text.find("[08001]")) << text;
  // FreeTDS gives two records; the first one says why.
  EXPECT_NE(std::string::npos, text.find("; [")) << text;
  EXPECT_NE(std::string::npos, text.find("127.0.0.1")) << text;
  EXPECT_EQ(std::string::npos, text.find("s3cret")) << text;
}

TEST(OdbcConnect, UnknownDriverFails) {
  const base::AgentError error =
      ErrorOf([] { data::OpenOdbc("Driver=No Such Driver;Server=x", data::Dialect::kSqlServer); });
  EXPECT_EQ(base::kConnectionFailed, error.number());
  EXPECT_NE(std::string::npos, error.description().find("No Such Driver"));
}

TEST(SqlServerOdbcString, PicksTheFirstInstalledSqlServerDriver) {
  const std::vector<std::string> installed = data::InstalledOdbcDrivers();
  const auto has = [&](const char* name) {
    return std::find(installed.begin(), installed.end(), name) != installed.end();
  };
  ASSERT_TRUE(has("SQLite3"));  // the driver manager is asked, not a fixed list
  if (has("ODBC Driver 18 for SQL Server") || has("ODBC Driver 17 for SQL Server")) {
    GTEST_SKIP() << "a Microsoft SQL Server driver is installed";
  }
  ASSERT_TRUE(has("FreeTDS"));
  EXPECT_EQ(
      "Driver={FreeTDS};Server={db1};Port=1433;Database={MavData2075};UID={sa};PWD={pw};"
      "TDS_Version=7.4;ClientCharset=UTF-8",
      data::SqlServerOdbcString("db1", "MavData2075", "sa", "pw"));
}

TEST(SqlServerOdbcString, MapsServerFormsAndQuotesValues) {
  const struct {
    const char* driver;
    const char* server;
    const char* password;
    const char* want;
  } kCases[] = {
      {"FreeTDS", "10.0.0.5,1500", "pw",
       "Driver={FreeTDS};Server={10.0.0.5};Port={1500};Database={Cat};UID={sa};PWD={pw};"
       "TDS_Version=7.4;ClientCharset=UTF-8"},
      {"FreeTDS", "HOST\\SQLEXPRESS", "pw",
       "Driver={FreeTDS};Server={HOST\\SQLEXPRESS};Database={Cat};UID={sa};PWD={pw};"
       "TDS_Version=7.4;ClientCharset=UTF-8"},
      {"FreeTDS", ".", "pw",
       "Driver={FreeTDS};Server={localhost};Port=1433;Database={Cat};UID={sa};PWD={pw};"
       "TDS_Version=7.4;ClientCharset=UTF-8"},
      {"FreeTDS", "(local)\\SQL2008", "a;b{c",
       "Driver={FreeTDS};Server={localhost\\SQL2008};Database={Cat};UID={sa};PWD={a;b{c};"
       "TDS_Version=7.4;ClientCharset=UTF-8"},
      {"ODBC Driver 18 for SQL Server", "db1,1500", "pw",
       "Driver={ODBC Driver 18 for SQL Server};Server={db1,1500};Database={Cat};UID={sa};PWD={pw};"
       "TrustServerCertificate=yes"},
      {"ODBC Driver 17 for SQL Server", "HOST\\SQLEXPRESS", "pw",
       "Driver={ODBC Driver 17 for SQL Server};Server={HOST\\SQLEXPRESS};Database={Cat};UID={sa};"
       "PWD={pw}"},
      {"SQL Server", ".", " pw",
       "Driver={SQL Server};Server={localhost};Database={Cat};UID={sa};PWD={ pw}"},
      {"SQL Server", "db1", "x;Driver={SQLite3}",
       "Driver={SQL Server};Server={db1};Database={Cat};UID={sa};PWD={x;Driver={SQLite3}}}"},
      {"SQL Server", "db1", "'a=b' ",
       "Driver={SQL Server};Server={db1};Database={Cat};UID={sa};PWD={'a=b' }"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.driver) + " " + c.server);
    EXPECT_EQ(c.want,
              data::SqlServerOdbcStringForDriver(c.driver, c.server, "Cat", "sa", c.password));
  }
}

// A checked certificate in each driver's keys; what a driver cannot check is refused.
TEST(SqlServerOdbcString, MapsACheckedCertificateOntoEachDriver) {
  const struct {
    const char* driver;
    const char* host_name;
    const char* want_tail;  // after PWD={pw}; "" when refused
  } kCases[] = {
      {"ODBC Driver 18 for SQL Server", "", ";Encrypt=yes;TrustServerCertificate=no"},
      {"ODBC Driver 18 for SQL Server", "db.coop.example",
       ";Encrypt=yes;TrustServerCertificate=no;HostNameInCertificate={db.coop.example}"},
      {"ODBC Driver 17 for SQL Server", "", ";Encrypt=yes;TrustServerCertificate=no"},
      {"ODBC Driver 17 for SQL Server", "db.coop.example", ""},
      {"FreeTDS", "", ";TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require"},
      {"FreeTDS", "db.coop.example", ""},
      {"SQL Server", "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.driver) + " " + c.host_name);
    const data::SqlServerTls tls{true, c.host_name};
    const auto build = [&] {
      return data::SqlServerOdbcStringForDriver(c.driver, "db1", "Cat", "sa", "pw", tls);
    };
    if (*c.want_tail == '\0') {
      const base::AgentError error = ErrorOf(build);
      EXPECT_EQ(base::kConnectionFailed, error.number());
      EXPECT_NE(std::string::npos, error.description().find("checked certificate"));
      continue;
    }
    const std::string got = build();
    EXPECT_EQ(c.want_tail, got.substr(got.find("PWD={pw}") + 8));
  }
}

// FreeTDS ends a braced value at its first "};" ("a};Port={9" would set the port), so it gets
// no value holding "}"; no driver gets a NUL, which would end the string. The error names the
// key, never the value.
TEST(SqlServerOdbcString, RefusesValuesADriverCannotCarry) {
  const struct {
    const char* driver;
    std::string server, catalog, user, password;
    const char* key;
  } kCases[] = {
      {"FreeTDS", "db1", "Cat", "sa", "a};Port={9", "PWD"},
      {"FreeTDS", "db1", "Cat", "sa", "a};Encryption={off", "PWD"},
      {"FreeTDS", "db1", "Cat", "s}a", "pw", "UID"},
      {"FreeTDS", "db1", "C}at", "sa", "pw", "Database"},
      {"FreeTDS", "db}1,1433", "Cat", "sa", "pw", "Server"},
      {"FreeTDS", "db1,14}33", "Cat", "sa", "pw", "Port"},
      {"ODBC Driver 18 for SQL Server", "db1", "Cat", "sa", std::string("p\0w;x", 5), "PWD"},
      {"SQL Server", "db1", std::string("C\0", 2), "sa", "pw", "Database"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.driver) + " " + c.key);
    const base::AgentError error = ErrorOf([&] {
      data::SqlServerOdbcStringForDriver(c.driver, c.server, c.catalog, c.user, c.password);
    });
    EXPECT_EQ(base::kConnectionFailed, error.number());
    EXPECT_NE(std::string::npos, error.description().find(std::string("value of ") + c.key + " "))
        << error.description();
    EXPECT_EQ(std::string::npos, error.description().find(c.password)) << error.description();
  }
  // The other drivers read "}}" as one "}".
  EXPECT_EQ(
      "Driver={ODBC Driver 17 for SQL Server};Server={db1};Database={Cat};UID={sa};"
      "PWD={a}};Port={9}",
      data::SqlServerOdbcStringForDriver("ODBC Driver 17 for SQL Server", "db1", "Cat", "sa",
                                         "a};Port={9"));
}

// FreeTDS reads its CA file from its configuration files only: [global] of each file in turn,
// then the server's own section of the first file that has one.
TEST(FreeTdsCaFile, ReadsTheConfigurationAsFreeTdsDoes) {
  test_support::TempDir dir;
  const auto write = [&](const char* name, const std::string& text) {
    std::ofstream(dir.path() / name) << text;
    return dir.path() / name;
  };
  const auto user =
      write("user.conf", "[global]\n  CA  File = /user/ca.pem\n[other]\nca file = x\n");
  const auto system = write(
      "system.conf", "; comment\n[global]\n\ttds version = auto\n[DB1]\n\tca file = /db1/ca.pem\n");
  const auto empty = write("empty.conf", "[global]\n# ca file = /commented.pem\n[db2]\n");
  const auto missing = dir.path() / "missing.conf";
  const struct {
    std::vector<std::filesystem::path> files;
    const char* server;
    std::optional<std::string> want;
  } kCases[] = {
      {{user, system}, "db1", "/db1/ca.pem"},  // the server's section comes last
      {{user, system}, "db9", "/user/ca.pem"}, {{missing, system}, "db9", std::nullopt},
      {{empty, system}, "db2", std::nullopt},  // empty.conf has db2: system.conf is not read
      {{empty, system}, "db1", "/db1/ca.pem"}, {{}, "db1", std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.server) + " " + std::to_string(c.files.size()));
    EXPECT_EQ(c.want, data::FreeTdsCaFile(c.files, c.server));
  }
}

// SQLite's driver speaks SQL Server's dialect here as the Access driver does on Windows:
// neither knows N'...', so only SQL Server itself gets it.
TEST(OdbcConnect, OnlySqlServerGetsNationalLiterals) {
  test_support::TempDir dir;
  auto connection =
      data::OpenOdbc("Driver=SQLite3;Database=" + test_support::OdbcFilePath(dir.path() / "n.db"),
                     data::Dialect::kSqlServer);
  connection->Execute("Create Table Acc(Name varchar(60))");
  connection->Execute("Insert Into Acc(Name) Values('Ram'),(" + data::SqlText("é राम") + ")");
  EXPECT_EQ(Value(2), connection->Query("Select count(*) from Acc").rows.at(0).at(0));
}

TEST(SqlServerOdbcString, OpenConnectionReachesSqlServerThroughOdbc) {
  // A Data Source that is not a directory names a server; nothing listens on port 1.
  const base::AgentError error = ErrorOf([] {
    data::OpenConnection(
        "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
        "pwd=s3cret;Initial Catalog=MavData2075;Data Source=127.0.0.1,1");
  });
  EXPECT_EQ(base::kConnectionFailed, error.number());
  EXPECT_NE(std::string::npos, error.description().find("Database={MavData2075}"))
      << error.description();
  EXPECT_EQ(std::string::npos, error.description().find("s3cret")) << error.description();
}

}  // namespace
