// Exactly once from the request to the member's phone, with a gateway that takes messages out
// of the outbox within a second: the agent killed after queuing and before marking, a backup
// of the catalog put back, another program's lock at start.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/sms/sim_agent_fixture.h"
#include "tests/sms/worst_moment.h"
#include "tests/support/gammu_smsd.h"
#include "tools/catalog_generator.h"

namespace sms_test {
namespace {

namespace fs = std::filesystem;

class ExactlyOnceTest : public SimAgentFixture {
 protected:
  void SetUp() override {
    SimAgentFixture::SetUp();
    if (!host_test::MachineOnline()) GTEST_SKIP() << "no network interface is up: no replies";
    exe_ = InstallAgent("program");
  }

  // Kills the agent at the worst moment for request `sn` (see worst_moment.h), once `taken`
  // says the gateway has the message. True when the kill came at that moment.
  bool KillAfterQueuingBeforeMarking(host_test::AgentProcess& agent, const fs::path& outbox_file,
                                     data::Connection& outbox, int sn,
                                     const std::function<bool()>& taken) {
    AddSimRequest(sn);
    if (!FreezeAfterQueuingBeforeMarking(
            agent, sn, [&](const std::string& sql) { return Count(sql); },
            [&](const std::string& sql) { return Count(outbox, sql); }, outbox_file)) {
      return false;
    }
    // A gateway that found the outbox busy at its try takes the message up again only at its
    // next rounds, which a loaded machine makes slow.
    EXPECT_TRUE(WaitUntil(taken, std::chrono::seconds(90)));
    agent.Stop(SIGKILL);
    return true;
  }

  // Kills at the worst moment until `wanted` of them, restarting the agent after each; then
  // every request is answered.
  void KillRepeatedly(const fs::path& outbox_file, data::Connection& outbox,
                      const std::function<bool(int sn)>& taken, int wanted) {
    int sn = 0, worst = 0;
    auto agent = Start(exe_, "agent");
    while (worst < wanted && sn < 40) {
      ++sn;
      if (KillAfterQueuingBeforeMarking(*agent, outbox_file, outbox, sn,
                                        [&] { return taken(sn); })) {
        ++worst;
        agent = Start(exe_, "agent");
      }
    }
    EXPECT_EQ(wanted, worst) << "the worst moment was not met often enough";
    ASSERT_TRUE(WaitUntil([&] { return Answered() == sn; })) << agent->Err();
    requests_ = sn;
    EXPECT_EQ(0, agent->Stop(SIGTERM).status);
  }

  fs::path exe_;
  int requests_ = 0;
};

TEST_F(ExactlyOnceTest, KillsBeforeTheMarkSendNothingTwiceThroughGammuSmsd) {
  const fs::path smsd = test_support::FindGammuSmsd();
  if (smsd.empty()) GTEST_SKIP() << test_support::kNoGammuSmsd;
  const fs::path outbox_file = dir_.path() / "gateway" / "SMSData.mdb";
  fs::create_directories(outbox_file.parent_path());
  tools::WriteGammuOutbox(outbox_file);
  UseSimGateway(outbox_file);
  const fs::path config = test_support::WriteGammuSmsdConfig(dir_.path() / "smsd", outbox_file);
  host_test::AgentProcess daemon(smsd, {}, dir_.path() / "smsd", {"-c", config.string()}, "smsd");
  auto outbox = data::OpenSqliteFile(outbox_file, false);

  KillRepeatedly(
      outbox_file, *outbox,
      [&](int sn) {
        return Count(*outbox, "Select count(*) from sentitems where DestinationNumber='" +
                                  Mobile(sn) + "'") > 0;
      },
      3);
  ASSERT_TRUE(WaitUntil([&] { return Count(*outbox, "Select count(*) from outbox") == 0; }));
  daemon.Stop(SIGTERM);
  EXPECT_EQ(requests_, Count(*outbox, "Select count(distinct DestinationNumber) from sentitems"));
  EXPECT_EQ(requests_, Count(*outbox, "Select count(*) from sentitems"));
}

TEST_F(ExactlyOnceTest, KillsBeforeTheMarkSendNothingTwiceThroughModemSoftware) {
  const fs::path outbox_file = MakeOutbox();
  UseSimGateway(outbox_file);
  auto outbox = data::OpenSqliteFile(outbox_file, false);
  {
    StandInModem modem(outbox_file, std::chrono::milliseconds(300));
    KillRepeatedly(
        outbox_file, *outbox,
        [&](int sn) {
          return Count(*outbox, "Select count(*) from Sent where Mobile='" + Mobile(sn) + "'") > 0;
        },
        3);
    ASSERT_TRUE(WaitUntil([&] { return Count(*outbox, "Select count(*) from Send") == 0; }));
  }
  EXPECT_EQ(requests_, Count(*outbox, "Select count(distinct Mobile) from Sent"));
  EXPECT_EQ(requests_, Count(*outbox, "Select count(*) from Sent"));
}

// A copy of the catalog taken before 15 requests were answered is put back: the requests
// are pending again, and are only marked, with the texts that went out.
TEST_F(ExactlyOnceTest, RestoredCatalogSendsNothingTwice) {
  const fs::path outbox_file = MakeOutbox();
  UseSimGateway(outbox_file);
  constexpr int kRequests = 15;
  for (int sn = 1; sn <= kRequests; ++sn) AddSimRequest(sn);
  const fs::path backup = dir_.path() / "backup.db";
  catalog_.CopyTo(backup);

  auto outbox = data::OpenSqliteFile(outbox_file, false);
  StandInModem modem(outbox_file, std::chrono::milliseconds(300));
  auto agent = Start(exe_, "before");
  ASSERT_TRUE(WaitUntil([&] { return Answered() == kRequests; })) << agent->Err();
  EXPECT_EQ(0, agent->Stop(SIGTERM).status);
  const data::QueryResult replies =
      catalog_.connection().Query("Select SN,[Send] from LoanSMS order by SN");

  catalog_.PutBack(backup);
  ASSERT_EQ(0, Answered());
  agent = Start(exe_, "after");
  ASSERT_TRUE(WaitUntil([&] { return Answered() == kRequests; })) << agent->Err();
  EXPECT_EQ(0, agent->Stop(SIGTERM).status);
  ASSERT_TRUE(WaitUntil([&] { return Count(*outbox, "Select count(*) from Send") == 0; }));
  EXPECT_EQ(kRequests, Count(*outbox, "Select count(*) from Sent"));
  EXPECT_EQ(replies.rows,
            catalog_.connection().Query("Select SN,[Send] from LoanSMS order by SN").rows);
}

// Another program holds the catalog's write lock when the agent starts: the agent says that
// it waits, and answers once the lock is gone.
TEST_F(ExactlyOnceTest, LockHeldAtStartIsWaitedOut) {
  UseSimGateway(MakeOutbox());
  AddSimRequest(1);
  auto writer = data::OpenSqliteFile(catalog_.file(), false);
  writer->BeginTransaction();
  writer->Execute("Update OtherSetting set p1=p1");
  auto agent = Start(exe_, "agent");
  ASSERT_TRUE(agent->WaitFor(
      [&] { return agent->Out().find(">>Waiting for the database") != std::string::npos; },
      std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::seconds(3));
  writer->Commit();
  ASSERT_TRUE(WaitUntil([&] { return Answered() == 1; })) << agent->Out() << agent->Err();
  const host_test::AgentExit exit = agent->Stop(SIGTERM);
  EXPECT_EQ(0, exit.status);
  EXPECT_NE(std::string::npos, exit.err.find("Start-up waits: Error 3003")) << exit.err;
}

}  // namespace
}  // namespace sms_test
