// Jet files on Windows, through the system's Access ODBC driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/test_catalog.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kAccessDriver = "Microsoft Access Driver (*.mdb, *.accdb)";

bool AccessDriverInstalled() {
  const std::vector<std::string> installed = data::InstalledOdbcDrivers();
  return std::find(installed.begin(), installed.end(), kAccessDriver) != installed.end();
}

// A copy of a real Jet 4 file written by Access; the test may change it.
fs::path CopyOfJetFile(const fs::path& folder) {
  const fs::path file = folder / "outbox.mdb";
  fs::copy_file(fs::path(MAV_TEST_DATA_DIR) / "jet" / "V2003_no-password.mdb", file);
  return file;
}

std::string JetConnectionString(const fs::path& file) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string() +
         ";Persist Security Info=false;Jet OLEDB:Database Password=";
}

TEST(JetFileWindows, MissingAccessDriverIsAnErrorNamingDriverAndFile) {
  if (AccessDriverInstalled()) GTEST_SKIP() << kAccessDriver << " is installed";
  test_support::TempDir dir;
  const fs::path file = CopyOfJetFile(dir.path());
  const base::AgentError error =
      test_support::ErrorOf([&] { data::OpenConnection(JetConnectionString(file)); });
  EXPECT_EQ(base::kConnectionFailed, error.number());
  EXPECT_NE(std::string::npos, error.description().find(kAccessDriver)) << error.description();
  EXPECT_NE(std::string::npos, error.description().find(file.string())) << error.description();
}

TEST(JetFileWindows, WritesAndReadsBackThroughTheAccessDriver) {
  if (!AccessDriverInstalled()) GTEST_SKIP() << kAccessDriver << " is not installed";
  test_support::TempDir dir;
  const fs::path file = CopyOfJetFile(dir.path());
  auto jet = data::OpenConnection(JetConnectionString(file));
  jet->Execute("Insert into Table1(ID,Data) values(4,'Four ä')");
  const data::QueryResult r = jet->Query("Select max([ID]) as MM, count(*) from [Table1]");
  EXPECT_EQ(4, r.rows.at(0).at(0).AsInt64());
  EXPECT_EQ(4, r.rows.at(0).at(1).AsInt64());
  EXPECT_EQ("Four ä", data::OpenConnection(JetConnectionString(file))
                          ->Query("Select Data from Table1 Where ID=4")
                          .rows.at(0)
                          .at(0)
                          .AsText());
}

}  // namespace
