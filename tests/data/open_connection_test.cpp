#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/odbc_file_path.h"
#include "tests/support/test_catalog.h"

namespace data {
namespace {

namespace fs = std::filesystem;

using test_support::ErrorOf;

std::string CatalogString(const fs::path& dir, const std::string& catalog) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial Catalog=" +
         catalog + ";Data Source=" + dir.string();
}

std::string JetString(const fs::path& file, const std::string& password) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string() +
         ";Persist Security Info=false;Jet OLEDB:Database Password=" + password;
}

TEST(OpenConnection, CatalogInADirectoryIsItsDbFile) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path(), "MavData2075");
  catalog.Insert("Acc", {{"ACCODE", 101}, {"Name", "Ram"}});

  auto c = OpenConnection(catalog.ConnectionString());
  EXPECT_EQ(Dialect::kSqlite, c->dialect());
  EXPECT_EQ("Ram", c->Query("Select Name from Acc Where ACCODE=101").rows.at(0).at(0).AsText());
  // The server does not care about the catalog name's letter case.
  auto lower = OpenConnection(CatalogString(dir.path(), "mavdata2075"));
  EXPECT_EQ(1, lower->Query("Select Count(*) from Acc").rows.at(0).at(0).AsInt32());
}

TEST(OpenConnection, MasterCatalogIsCreatedWhenMissing) {
  test_support::TempDir dir;
  for (const char* name : {"Master", "MASTER", "master"}) {
    SCOPED_TRACE(name);
    auto c = OpenConnection(CatalogString(dir.path(), name));
    c->Execute("Create Table If Not Exists LoginInfo(SN Int)");
    EXPECT_TRUE(fs::exists(dir.path() / "Master.db"));
  }
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()) -
                   (fs::exists(dir.path() / "Master.db-wal") ? 1 : 0) -
                   (fs::exists(dir.path() / "Master.db-shm") ? 1 : 0));
}

TEST(OpenConnection, MissingCatalogIsAnErrorNamingTheFile) {
  test_support::TempDir dir;
  const base::AgentError e = ErrorOf([&] { OpenConnection(CatalogString(dir.path(), "Nowhere")); });
  EXPECT_EQ(base::kLoginRejected, e.number());
  EXPECT_NE(std::string::npos, e.description().find("Nowhere")) << e.description();
  EXPECT_NE(std::string::npos, e.description().find((dir.path() / "Nowhere.db").string()));
  EXPECT_FALSE(fs::exists(dir.path() / "Nowhere.db"));
}

TEST(OpenConnection, CatalogWithoutNameIsAnError) {
  test_support::TempDir dir;
  EXPECT_EQ(base::kNotConfigured,
            ErrorOf([&] { OpenConnection(CatalogString(dir.path(), "")); }).number());
}

TEST(OpenConnection, SqliteFileUnderTheJetProviderIgnoresThePassword) {
  test_support::TempDir dir;
  const fs::path file = dir.path() / "SMSData.mdb";
  OpenSqliteFile(file, true, false)->Execute("Create Table Send(SN int,Mobile varchar(15))");

  for (const char* password : {"", "907qx", "wrong"}) {
    SCOPED_TRACE(password);
    auto c = OpenConnection(JetString(file, password));
    c->Execute("Insert Into Send(SN,Mobile) Values(1,'9841000000')");  // read and write
  }
  auto c = OpenConnection(JetString(file, ""));
  EXPECT_EQ(3, c->Query("Select Count(*) from Send").rows.at(0).at(0).AsInt32());
  // The file belongs to another program: its journal mode is left as that program set it.
  EXPECT_EQ("delete", c->Query("PRAGMA journal_mode").rows.at(0).at(0).AsText());
}

TEST(OpenConnection, MissingDatabaseFileIsAnErrorNamingTheFile) {
  test_support::TempDir dir;
  const fs::path file = dir.path() / "mavdata.cdf";
  const base::AgentError e = ErrorOf([&] { OpenConnection(JetString(file, "907qx")); });
  EXPECT_EQ(base::kConnectionFailed, e.number());
  EXPECT_NE(std::string::npos, e.description().find(file.string())) << e.description();
  EXPECT_FALSE(fs::exists(file));
}

TEST(OpenConnection, FileThatIsNoDatabaseIsAnErrorNamingTheFile) {
  test_support::TempDir dir;
  const fs::path file = dir.path() / "mavdata.cdf";
  std::ofstream(file) << "not a database";
  const base::AgentError e = ErrorOf([&] { OpenConnection(JetString(file, "907qx")); });
  EXPECT_NE(std::string::npos, e.description().find("mavdata.cdf")) << e.description();
}

TEST(OpenConnection, DotNamesTheLocalServerOtherDirectoriesHoldCatalogs) {
  // "." is the local server (the settings file's default), though it also names the current
  // directory; a catalog file there must not be taken for the server's catalog. A relative
  // directory other than that holds catalogs like an absolute one.
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path(), "MavData2075");
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  const base::AgentError e = ErrorOf([&] { OpenConnection(CatalogString(".", "MavData2075")); });
  fs::current_path(dir.path().parent_path());
  const std::string relative = dir.path().filename().string();
  auto c = OpenConnection(CatalogString(relative, "MavData2075"));
  fs::current_path(previous);
  EXPECT_EQ(base::kConnectionFailed, e.number());
  EXPECT_NE(std::string::npos, e.description().find("ODBC")) << e.description();
  EXPECT_EQ(Dialect::kSqlite, c->dialect());
}

TEST(OpenConnection, DriverStringGoesToOdbcUnchanged) {
  test_support::TempDir dir;
  const fs::path file = dir.path() / "odbc.db";
  OpenSqliteFile(file, true)->Execute("Create Table T(Name varchar(20))");
  auto c = OpenConnection("Driver=SQLite3;Database=" + test_support::OdbcFilePath(file));
  EXPECT_EQ(Dialect::kSqlite, c->dialect());
  c->Execute("Insert Into T(Name) Values(" + SqlText("it's") + ")");
  EXPECT_EQ("it's",
            OpenSqliteFile(file, false)->Query("Select Name from T").rows.at(0).at(0).AsText());
}

TEST(OpenConnection, UnknownOrMissingProviderIsAnError) {
  for (const char* text : {"Provider=MSDASQL.1;Data Source=x", "Data Source=x;User ID=sa", ""}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(base::kConnectionFailed, ErrorOf([&] { OpenConnection(text); }).number());
  }
  EXPECT_NE(std::string::npos,
            ErrorOf([&] { OpenConnection("Provider=MSDASQL.1"); }).description().find("MSDASQL.1"));
}

}  // namespace
}  // namespace data
