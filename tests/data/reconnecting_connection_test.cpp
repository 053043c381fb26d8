#include "data/reconnecting_connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/drivers.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/faulty_connection.h"
#include "tests/support/test_catalog.h"

namespace data {
namespace {

using test_support::ErrorOf;

// A catalog file replaced by a copy is reopened before the next statement, which then works
// on the copy; a removed file makes the connection lost until the file is back.
TEST(ReconnectingConnection, ReopensAReplacedFile) {
  test_support::TempDir dir;
  const auto file = dir.path() / "MavData.db";
  OpenSqliteFile(file, true)->Execute("Create Table T(x int)");
  std::chrono::steady_clock::time_point now{};
  std::vector<std::string> notices;
  ReconnectingConnection c(
      OpenSqliteFile(file, false), [&] { return OpenSqliteFile(file, false); }, [&] { return now; },
      [&](const std::string& line) { notices.push_back(line); });
  c.Execute("Insert Into T(x) Values(1)");

  auto copy = OpenSqliteFile(dir.path() / "copy.db", true);
  copy->Execute("Create Table T(x int)");
  copy->Execute("Insert Into T(x) Values(2)");
  copy.reset();
  std::filesystem::rename(dir.path() / "copy.db", file);
  c.ReopenIfReplaced();
  EXPECT_EQ(Value(2), c.Query("Select max(x) from T").rows.at(0).at(0));
  EXPECT_EQ(1u, notices.size());

  std::filesystem::rename(file, dir.path() / "away.db");
  c.ReopenIfReplaced();
  EXPECT_FALSE(c.connected());
  EXPECT_EQ(base::kConnectionLost, ErrorOf([&] { c.Query("Select 1"); }).number());
  std::filesystem::rename(dir.path() / "away.db", file);
  EXPECT_EQ(base::kConnectionLost, ErrorOf([&] { c.Query("Select 1"); }).number());  // waits
  now += std::chrono::seconds(1);
  EXPECT_EQ(Value(2), c.Query("Select max(x) from T").rows.at(0).at(0));
  EXPECT_EQ(4u, notices.size());  // replaced, replaced, lost, restored
}

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

}  // namespace
}  // namespace data
