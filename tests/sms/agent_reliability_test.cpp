// The agent's executable, headless, through the events of months unattended: kills at any
// moment of a SIM backlog, another program locking the catalog, a stop in a backlog.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "data/drivers.h"
#include "tests/host/agent_process.h"
#include "tests/sms/sms_fixture.h"

namespace sms_test {
namespace {

namespace fs = std::filesystem;

class AgentReliabilityTest : public SmsFixture {
 protected:
  void SetUp() override {
    SmsFixture::SetUp();
    date_ = AddTwoLoans();
    outbox_file_ = MakeOutbox();
    UseSimGateway(outbox_file_);
    program_.PointAt(catalog_);
    exe_ = program_.InstallExecutable();
  }

  std::unique_ptr<host_test::AgentProcess> Start(const std::string& name) {
    return std::make_unique<host_test::AgentProcess>(
        exe_, std::map<std::string, std::string>{{"DISPLAY", ""}, {"HOME", dir_.path().string()}},
        dir_.path(), std::vector<std::string>{}, name);
  }

  // SIM requests `first` to `last`, each from its own mobile number.
  void AddSimRequests(int first, int last) {
    catalog_.Exec("Begin Transaction");
    for (int sn = first; sn <= last; ++sn) {
      catalog_.Insert("LoanSMS", {{"SN", sn},
                                  {"Accode", sn % 2 == 0 ? 101 : 303},
                                  {"Mobile", "98420" + std::to_string(10000 + sn)},
                                  {"Date", date_},
                                  {"Reply", 0}});
    }
    catalog_.Exec("Commit");
  }

  // Waits until the agent has started (its label shows the catalog) and `done` holds. A
  // signal sent before the start would end the agent before it takes signals.
  bool WaitFor(host_test::AgentProcess& agent, const std::function<bool()>& done) {
    return agent.WaitFor([&] {
      return agent.Out().find(">> " + catalog_.name()) != std::string::npos;
    }) && agent.WaitFor(done);
  }

  // A count, or -1 while the catalog is busy.
  std::int64_t Count(const std::string& sql) {
    try {
      return catalog_.Scalar(sql).AsInt64();
    } catch (const base::AgentError&) {
      return -1;
    }
  }

  // Every request of 1 to `requests` answered, and each reply queued exactly once: the
  // duplicates and the lost replies found.
  void ExpectEachQueuedOnce(int requests) {
    auto outbox = data::OpenSqliteFile(outbox_file_, false);
    const std::int64_t duplicates =
        outbox
            ->Query(
                "Select count(*) from (Select Mobile from Send group by Mobile "
                "having count(*)>1)")
            .rows[0][0]
            .AsInt64();
    const std::int64_t queued =
        outbox->Query("Select count(distinct Mobile) from Send").rows[0][0].AsInt64();
    EXPECT_EQ(0, duplicates);
    EXPECT_EQ(requests, queued) << "replies lost";
    EXPECT_EQ(requests, Count("Select count(*) from LoanSMS where Reply=1"));
    // The queued text is the stored reply.
    const data::QueryResult sent = outbox->Query("Select Mobile,Msg from Send");
    for (const auto& row : sent.rows) {
      EXPECT_EQ(row[1], catalog_.Scalar("Select [Send] from LoanSMS where Mobile=" +
                                        data::SqlText(row[0].AsText())))
          << row[0].AsText();
    }
  }

  std::string Dump() {
    std::string out;
    for (const char* sql : {"Select SN,Reply,Mobile from LoanSMS where Reply<>1",
                            "Select SN from LoanStatement where Message_Reply is null",
                            "Select * from MAV_Claim", "Select * from MAV_Lease"}) {
      out += std::string(sql) + ":\n";
      for (const auto& row : catalog_.connection().Query(sql).rows) {
        for (const auto& v : row) out += v.AsText() + "|";
        out += "\n";
      }
    }
    return out;
  }

  std::string date_;
  fs::path outbox_file_;
  test_support::ProgramFolder program_{dir_.path() / "program"};
  fs::path exe_;
};

// Killed at random moments of a SIM backlog and started again, twenty times: every request
// is answered and queued exactly once. The seed is printed so that a failure can be replayed.
TEST_F(AgentReliabilityTest, KillsDuringASimBacklogQueueEveryRequestOnce) {
  if (!host_test::MachineOnline())
    GTEST_SKIP() << "no network interface is up: the agent stays offline";
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  int requests = 60;
  AddSimRequests(1, requests);
  constexpr int kKills = 20;
  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill));
    AddSimRequests(requests + 1, requests + 5);  // members keep asking
    requests += 5;
    const std::int64_t before = Count("Select count(*) from LoanSMS where Reply=1");
    auto agent = Start("killed");
    ASSERT_TRUE(agent->started());
    // Most kills come while replies are being written, some during the start.
    if (random() % 4 != 0) {
      agent->WaitFor([&] { return Count("Select count(*) from LoanSMS where Reply=1") > before; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    agent->Stop(SIGKILL);
  }
  auto agent = Start("last");
  ASSERT_TRUE(WaitFor(
      *agent, [&] { return Count("Select count(*) from LoanSMS where Reply=1") == requests; }));
  const host_test::AgentExit exit = agent->Stop(SIGTERM);
  EXPECT_EQ(0, exit.status) << exit.err;
  EXPECT_EQ("", host_test::WithoutActivity(exit.err));
  ExpectEachQueuedOnce(requests);
}

// Another program holds the catalog's write lock for 10 seconds in the middle of a backlog.
// The agent ends at once on SIGTERM though it is waiting for the lock, and once the lock is
// gone every request is answered once.
TEST_F(AgentReliabilityTest, WriterHoldingTheCatalogLockedLosesAndDoublesNothing) {
  if (!host_test::MachineOnline())
    GTEST_SKIP() << "no network interface is up: the agent stays offline";
  constexpr int kRequests = 40;
  AddSimRequests(1, kRequests);
  catalog_.Exec("Begin Transaction");
  for (int sn = 1; sn <= kRequests; ++sn) {
    catalog_.Insert("LoanStatement", {{"SN", sn}, {"Accode", 101}, {"Date", date_}});
  }
  catalog_.Exec("Commit");

  auto agent = Start("locked");
  ASSERT_TRUE(
      agent->WaitFor([&] { return Count("Select count(*) from LoanSMS where Reply=1") > 0; }));
  auto writer = data::OpenSqliteFile(catalog_.file(), false);
  writer->BeginTransaction();  // takes the write lock
  writer->Execute("Update OtherSetting set p1=p1");
  const auto locked = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  // A generous limit for what takes under a second: past it, Stop kills the agent and the
  // status is -1.
  const host_test::AgentExit stopped = agent->Stop(SIGTERM, std::chrono::seconds(5));
  EXPECT_EQ(0, stopped.status) << stopped.err;
  std::this_thread::sleep_until(locked + std::chrono::seconds(10));
  writer->Commit();

  agent = Start("unlocked");
  ASSERT_TRUE(
      WaitFor(*agent,
              [&] {
                return Count("Select count(*) from LoanSMS where Reply=1") == kRequests &&
                       Count("Select count(*) from LoanStatement where Message_Reply is null") == 0;
              }))
      << agent->Out() << agent->Err() << Dump();
  EXPECT_EQ(0, agent->Stop(SIGTERM).status);
  ExpectEachQueuedOnce(kRequests);
}

// SIGTERM in the middle of a long backlog ends the agent before the backlog is done; the
// agent started again answers the rest.
TEST_F(AgentReliabilityTest, StopsInTheMiddleOfABacklog) {
  if (!host_test::MachineOnline())
    GTEST_SKIP() << "no network interface is up: the agent stays offline";
  constexpr int kRequests = 1500;
  catalog_.Exec("Begin Transaction");
  for (int sn = 1; sn <= kRequests; ++sn) {
    catalog_.Insert("LoanStatement",
                    {{"SN", sn}, {"Accode", sn % 2 == 0 ? 101 : 303}, {"Date", date_}});
  }
  catalog_.Exec("Commit");
  const std::string pending = "Select count(*) from LoanStatement where Message_Reply is null";

  auto agent = Start("stopped");
  ASSERT_TRUE(agent->WaitFor([&] {
    const std::int64_t left = Count(pending);
    return left >= 0 && left < kRequests;
  }));
  const host_test::AgentExit stopped = agent->Stop(SIGTERM);
  EXPECT_EQ(0, stopped.status);
  EXPECT_EQ("", host_test::WithoutActivity(stopped.err));
  EXPECT_GT(Count(pending), 0);

  agent = Start("rest");
  ASSERT_TRUE(WaitFor(*agent, [&] { return Count(pending) == 0; }));
  EXPECT_EQ(0, agent->Stop(SIGTERM).status);
}

}  // namespace
}  // namespace sms_test
