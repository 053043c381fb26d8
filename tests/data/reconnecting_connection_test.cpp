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

}  // namespace
}  // namespace data
