#include "host/database_connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/agent_error.h"
#include "data/connection_string.h"
#include "host/encryption_settings.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using data::Value;

TEST(ConnectionStrings, AreBuiltFromTheConnectionValues) {
  AgentState state;
  state.DbServer = "SRV\\SQL";
  state.DbUser = "sa";
  state.DbPassword = "pw";
  state.DbName = "MavData2075";
  EXPECT_EQ(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=\"sa\";pwd=\"pw\";Initial "
      "Catalog=\"MavData2075\";Data Source=\"SRV\\SQL\"",
      MainConnectionString(state));
  EXPECT_EQ(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=\"sa\";pwd=\"pw\";Initial "
      "Catalog=Master;Data Source=\"SRV\\SQL\"",
      MasterConnectionString(state));
  const fs::path folder = fs::path("opt") / "mav";
  EXPECT_EQ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + (folder / "mavdata.cdf").string() +
                "\";Persist Security Info=false;Jet OLEDB:Database Password=907qx",
            SettingsConnectionString(folder));
}

// Whatever a login, password or catalog name holds, it reaches the provider as that value.
TEST(ConnectionStrings, ValuesCannotAddOrReplaceKeys) {
  const char* const kTexts[] = {
      "p;w",
      "x;Data Source=/elsewhere.db",
      "x;Driver={SQLite3}",
      "a=b",
      "{br}ace}",
      "'quoted",
      "say \"hi\"",
      "  leading",
      "trailing  ",
      "",
  };
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    AgentState state;
    state.DbServer = "SRV";
    state.DbUser = text;
    state.DbPassword = text;
    state.DbName = text;
    for (const std::string& cs : {MainConnectionString(state), MasterConnectionString(state)}) {
      const data::ConnectionString parsed = data::ConnectionString::Parse(cs);
      EXPECT_EQ(6u, parsed.entries().size()) << cs;
      EXPECT_EQ(text, parsed.GetOr("User ID", "?"));
      EXPECT_EQ(text, parsed.GetOr("pwd", "?"));
      EXPECT_EQ("SRV", parsed.GetOr("Data Source", "?"));
      EXPECT_FALSE(parsed.Get("Driver"));
    }
    EXPECT_EQ(
        text,
        data::ConnectionString::Parse(MainConnectionString(state)).GetOr("Initial Catalog", "?"));
  }
}

class SetDatabaseTest : public ::testing::Test {
 protected:
  SetDatabaseTest() { state_.env.program_folder = program_.path(); }

  // Runs SetDatabase; the error number when it fails, 0 otherwise.
  int Run() {
    try {
      SetDatabase(state_);
      return 0;
    } catch (const base::AgentError& e) {
      return e.number();
    }
  }

  // A connector file naming `catalog` in the test server folder; login "sa", no password.
  void WriteConnector(const std::string& name, const std::string& catalog) {
    std::string text;
    for (int n = 1; n <= 10; ++n) text += "L" + std::to_string(n) + "\r\n";
    // Plain bytes below 128 stand for themselves (digits too), so a folder path made of
    // such characters needs no encoding, nor does a catalog name of small letters once
    // each letter is moved into the code range 154..179.
    text += dir_.path().string() + "\r\n";
    for (char c : catalog) text += static_cast<char>(c - 'a' + 154);
    text += "\r\n\xAC\x9A\r\n\r\n";
    program_.WriteFile(name, text);
  }

  test_support::TempDir dir_;
  test_support::TestCatalog catalog_{dir_.path()};  // MavData2075
  test_support::ProgramFolder program_{dir_.path() / "program"};
  AgentState state_;
};

TEST_F(SetDatabaseTest, NullColumnsTakeTheirDefaults) {
  test_support::SettingsRow row;
  row.ServerName = dir_.path().string();  // UserName, PassWord and Dbase stay Null
  program_.AddSettings(row);
  ASSERT_EQ(0, Run());
  EXPECT_TRUE(state_.DbConnected);
  ASSERT_NE(nullptr, state_.MainConnection);
  EXPECT_EQ("", state_.DbUser);
  EXPECT_EQ("", state_.DbPassword);
  EXPECT_EQ("MavData2075", state_.DbName);
  EXPECT_FALSE(state_.UseConnector);
}

// MAVEncryption.ini beside the settings file decides how both SQL Server connections are
// protected; one it cannot read in full ends the start.
TEST_F(SetDatabaseTest, EncryptionFileIsReadForBothConnections) {
  program_.PointAt(catalog_);
  program_.WriteFile(kEncryptionFileName, "[SMSService]\nEncrypt = Verify\n");
  ASSERT_EQ(0, Run());
  EXPECT_FALSE(state_.accounting_tls.verify);
  EXPECT_TRUE(state_.sms.service_tls.verify);
  EXPECT_FALSE(
      data::ConnectionString::Parse(MainConnectionString(state_)).Get("Use Encryption for Data"));

  // The accounting catalogs' strings carry it as the provider's keys (an embedded catalog
  // has nothing to encrypt).
  program_.WriteFile(kEncryptionFileName,
                     "[Accounting]\nEncrypt = Verify\nHostNameInCertificate = db;x=y\n");
  ASSERT_EQ(0, Run());
  for (const std::string& cs : {MainConnectionString(state_), MasterConnectionString(state_)}) {
    const data::ConnectionString parsed = data::ConnectionString::Parse(cs);
    EXPECT_EQ("True", parsed.GetOr("Use Encryption for Data", "")) << cs;
    EXPECT_EQ("False", parsed.GetOr("Trust Server Certificate", "")) << cs;
    EXPECT_EQ("db;x=y", parsed.GetOr("Host Name In Certificate", "")) << cs;
  }

  program_.WriteFile(kEncryptionFileName, "[Accounting]\nEncrypt = Yes\n");
  EXPECT_EQ(base::kConnectionFailed, Run());
}

TEST_F(SetDatabaseTest, NullServerIsTheLocalServer) {
  program_.AddSettings(test_support::SettingsRow{});
  Run();  // no server "." here: the connection itself may fail
  EXPECT_EQ(".", state_.DbServer);
  EXPECT_EQ("MavData2075", state_.DbName);
}

TEST_F(SetDatabaseTest, EmptyTextsAreUsedUnchanged) {
  test_support::SettingsRow row;
  row.ServerName = dir_.path().string();
  row.UserName = "";
  row.PassWord = "";
  row.Dbase = "";
  program_.AddSettings(row);
  EXPECT_NE(0, Run());  // no catalog of an empty name
  EXPECT_EQ("", state_.DbName);
  EXPECT_FALSE(state_.DbConnected);
}

TEST_F(SetDatabaseTest, FirstActiveRowDecides) {
  test_support::SettingsRow inactive;
  inactive.Using = std::int64_t{0};
  inactive.ServerName = "elsewhere";
  program_.AddSettings(inactive);
  test_support::SettingsRow first;
  first.ServerName = dir_.path().string();
  first.UserName = "sa";
  program_.AddSettings(first);
  test_support::SettingsRow second;
  second.ServerName = dir_.path().string();
  second.Dbase = "Other";
  program_.AddSettings(second);
  ASSERT_EQ(0, Run());
  EXPECT_EQ("sa", state_.DbUser);
  EXPECT_EQ("MavData2075", state_.DbName);
}

TEST_F(SetDatabaseTest, PasswordNamingAnotherCatalogStaysAPassword) {
  test_support::TestCatalog other(dir_.path(), "other");
  test_support::SettingsRow row;
  row.ServerName = dir_.path().string();
  row.PassWord = "x;Initial Catalog=other";
  program_.AddSettings(row);
  ASSERT_EQ(0, Run());
  EXPECT_NE(std::string::npos, state_.MainConnection->Describe().find("MavData2075.db"))
      << state_.MainConnection->Describe();
}

TEST_F(SetDatabaseTest, NoActiveRowReturnsUnconnected) {
  test_support::SettingsRow row;
  row.Using = std::int64_t{0};
  row.ServerName = dir_.path().string();
  program_.AddSettings(row);
  ASSERT_EQ(0, Run());
  EXPECT_FALSE(state_.DbConnected);
  EXPECT_EQ(nullptr, state_.MainConnection);
  EXPECT_NE(nullptr, state_.JetConnection);
}

TEST_F(SetDatabaseTest, ConnectorFileReplacesTheSettingsTable) {
  test_support::TestCatalog other(dir_.path(), "other");
  // Without its Settings table the settings file still opens; the connector decides.
  data::OpenConnection(program_.SettingsConnectionString())->Execute("Drop Table Settings");
  WriteConnector("MAVConnector.xml", "other");
  ASSERT_EQ(0, Run());
  EXPECT_TRUE(state_.UseConnector);
  EXPECT_EQ("other", state_.DbName);
  EXPECT_EQ("sa", state_.DbUser);
  EXPECT_EQ("", state_.DbPassword);
  EXPECT_EQ(dir_.path().string(), state_.DbServer);
}

TEST_F(SetDatabaseTest, SettingsFileIsOpenedBeforeTheConnectorIsRead) {
  WriteConnector("MAVConnector.xml", "other");
  fs::remove(program_.SettingsFile());
  EXPECT_NE(0, Run());
  EXPECT_FALSE(state_.UseConnector);
  EXPECT_EQ("", state_.CnDatabase);
  EXPECT_FALSE(state_.DbConnected);
}

TEST_F(SetDatabaseTest, ConnectorNameIsMatchedWithItsLetterCase) {
  for (const char* name : {"mavconnector.xml", "MAVCONNECTOR.XML", "MAVConnector.XML"}) {
    SCOPED_TRACE(name);
    fs::remove_all(program_.path());
    program_ = test_support::ProgramFolder(dir_.path() / "program");
    test_support::SettingsRow row;
    row.ServerName = dir_.path().string();
    program_.AddSettings(row);
    WriteConnector(name, "other");
    state_ = AgentState{};
    state_.env.program_folder = program_.path();
    ASSERT_EQ(0, Run());
    EXPECT_FALSE(state_.UseConnector);
    EXPECT_EQ("MavData2075", state_.DbName);
  }
}

}  // namespace
}  // namespace host
