#include "data/reconnecting_connection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/agent_error.h"
#include "data/drivers.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/faulty_connection.h"
#include "tests/support/test_catalog.h"

namespace data {
namespace {

using test_support::ErrorOf;

// A transaction open when the connection went is gone with it: its commit fails rather than
// commit nothing on the new connection.
TEST(ReconnectingConnection, TransactionDoesNotOutliveTheConnection) {
  test_support::TempDir dir;
  const auto file = dir.path() / "MavData.db";
  OpenSqliteFile(file, true)->Execute("Create Table T(x int)");
  test_support::FaultPlan plan;
  std::chrono::steady_clock::time_point now{};
  ReconnectingConnection c(
      std::make_unique<test_support::FaultyConnection>(OpenSqliteFile(file, false), plan),
      [&] { return OpenSqliteFile(file, false); }, [&] { return now; }, nullptr);
  c.BeginTransaction();
  c.Execute("Insert Into T(x) Values(1)");
  plan.Fail(1, test_support::Fault::kConnectionLost);
  EXPECT_EQ(base::kConnectionLost,
            ErrorOf([&] { c.Execute("Insert Into T(x) Values(2)"); }).number());
  now += std::chrono::seconds(1);
  EXPECT_EQ(base::kConnectionLost, ErrorOf([&] { c.Commit(); }).number());
  EXPECT_EQ(Value(0), c.Query("Select count(*) from T").rows.at(0).at(0));
}

// A connection opened again counts its data versions from the start: a catalog put back
// from a backup, with other rows, must give another version than the one before.
TEST(ReconnectingConnection, DataVersionOfAReopenedConnectionIsNew) {
  if constexpr (std::filesystem::path::preferred_separator == '\\') {
    GTEST_SKIP() << "Windows replaces no file that a program holds open";
  }
  test_support::TempDir dir;
  const auto file = dir.path() / "MavData.db";
  const auto backup = dir.path() / "Backup.db";
  OpenSqliteFile(file, true)->Execute("Create Table T(x int)");
  {
    auto b = OpenSqliteFile(backup, true);
    b->Execute("Create Table T(x int)");
    b->Execute("Insert Into T(x) Values(1)");
    b->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  ReconnectingConnection c(
      OpenSqliteFile(file, false), [&] { return OpenSqliteFile(file, false); }, nullptr, nullptr);
  const std::optional<std::string> before = c.DataVersion();
  ASSERT_TRUE(before.has_value());
  std::filesystem::rename(backup, file);
  c.ReopenIfReplaced();
  EXPECT_EQ(Value(1), c.Query("Select count(*) from T").rows.at(0).at(0));
  EXPECT_NE(before, c.DataVersion());
}

}  // namespace
}  // namespace data
