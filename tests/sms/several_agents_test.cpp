// Two agents on one catalog, each with its own program folder and its own SIM outbox, as on
// two PCs with a modem each: every request is answered by one of them, once; when the working
// agent dies or freezes, the other takes over.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/sms/sim_agent_fixture.h"

namespace sms_test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SeveralAgentsTest : public SimAgentFixture {
 protected:
  void SetUp() override {
    SimAgentFixture::SetUp();
    if (!host_test::MachineOnline()) GTEST_SKIP() << "no network interface is up: no replies";
    // A Windows path names the outbox of that name in each agent's own folder.
    catalog_.Insert("SMSDatabase", {{"SN", 1},
                                    {"Database", "C:\\SMS\\SMSData.mdb"},
                                    {"Password", "x"},
                                    {"dType", "SIM"},
                                    {"Customer_ID", 0}});
    for (const char* name : {"first", "second"}) {
      exe_[name] = InstallAgent(name);
      auto outbox = data::OpenSqliteFile(dir_.path() / name / "SMSData.mdb", true);
      outbox->Execute(
          "Create Table Send(SN Int,Mobile Varchar(30),Msg Varchar(255),[Date] Varchar(10),"
          "[Time] Varchar(10))");
    }
  }

  // Requests `first` to `last`: a SIM request and a loan statement each.
  void AddRequests(int first, int last) {
    for (int sn = first; sn <= last; ++sn) {
      AddSimRequest(sn);
      catalog_.Insert("LoanStatement", {{"SN", sn}, {"Accode", 101}, {"Date", date_}});
    }
  }

  bool AllAnswered(int requests) {
    return Answered() == requests &&
           Count("Select count(*) from LoanStatement where Message_Reply is null") == 0;
  }

  // The process number of the agent that holds the catalog's work, 0 when none.
  std::int64_t Worker() {
    return Count("Select Pid from MAV_Lease where Name='Catalog' and Holder<>''");
  }

  // Every SIM request 1 to `requests` queued exactly once across both outboxes, with the
  // text stored as its reply.
  void ExpectEachQueuedOnce(int requests) {
    std::map<std::string, int> queued;
    for (const char* name : {"first", "second"}) {
      auto outbox = data::OpenSqliteFile(dir_.path() / name / "SMSData.mdb", false);
      for (const auto& row : outbox->Query("Select Mobile,Msg from Send").rows) {
        ++queued[row[0].AsText()];
        EXPECT_EQ(row[1], catalog_.Scalar("Select [Send] from LoanSMS where Mobile=" +
                                          data::SqlText(row[0].AsText())));
      }
    }
    for (int sn = 1; sn <= requests; ++sn) {
      // The outbox stores the number without its leading zeros.
      EXPECT_EQ(1, queued[Mobile(sn)]) << "request " << sn;
    }
    EXPECT_EQ(static_cast<std::size_t>(requests), queued.size());
  }

  std::map<std::string, fs::path> exe_;
};

// A backlog, requests arriving while both run, and the working agent killed: the other takes
// over at once (the dead process was on its own machine) and nothing is queued twice.
TEST_F(SeveralAgentsTest, EachRequestQueuedOnceAcrossBothOutboxes) {
  AddRequests(1, 20);
  auto first = Start(exe_["first"], "first");
  auto second = Start(exe_["second"], "second");
  int requests = 20;
  for (; requests < 35; ++requests) {
    AddRequests(requests + 1, requests + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(requests); })) << first->Err() << second->Err();
  const std::int64_t worker = Worker();
  auto& working = worker == first->pid() ? first : second;
  auto& standing = worker == first->pid() ? second : first;
  ASSERT_EQ(worker, working->pid());
  EXPECT_NE(std::string::npos, standing->Out().find("(standby for ")) << standing->Out();

  working->Stop(SIGKILL);
  const auto killed = Clock::now();
  AddRequests(requests + 1, requests + 5);
  requests += 5;
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(requests); }, std::chrono::seconds(60)))
      << standing->Err();
  EXPECT_LT(Clock::now() - killed, std::chrono::seconds(60));
  EXPECT_EQ(standing->pid(), Worker());
  EXPECT_EQ(0, standing->Stop(SIGTERM).status);
  ExpectEachQueuedOnce(requests);
}

// The working agent frozen for 75 s (a suspended laptop) while requests arrive: the other
// answers them within the pause; thawed, the first finds its work taken, stands by and
// queues nothing twice.
TEST_F(SeveralAgentsTest, FrozenWorkerIsTakenOverAndQueuesNothingTwice) {
  AddRequests(1, 5);
  auto first = Start(exe_["first"], "first");
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(5); })) << first->Err();
  auto second = Start(exe_["second"], "second");
  ASSERT_TRUE(
      second->WaitFor([&] { return second->Out().find("(standby for ") != std::string::npos; }));

  kill(first->pid(), SIGSTOP);
  const auto frozen = Clock::now();
  int requests = 5;
  for (int i = 0; i < 6; ++i) {
    AddRequests(requests + 1, requests + 1);
    ++requests;
    std::this_thread::sleep_for(std::chrono::seconds(5));
  }
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(requests); }, std::chrono::seconds(65)))
      << second->Err();
  EXPECT_LT(Clock::now() - frozen, std::chrono::seconds(75)) << "not answered within the pause";
  EXPECT_EQ(second->pid(), Worker());
  std::this_thread::sleep_until(frozen + std::chrono::seconds(75));
  kill(first->pid(), SIGCONT);

  AddRequests(requests + 1, requests + 2);
  requests += 2;
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(requests); })) << second->Err();
  ASSERT_TRUE(
      first->WaitFor([&] { return first->Out().find("(standby for ") != std::string::npos; },
                     std::chrono::seconds(10)))
      << first->Out();
  EXPECT_EQ(0, first->Stop(SIGTERM).status);
  EXPECT_EQ(0, second->Stop(SIGTERM).status);
  ExpectEachQueuedOnce(requests);
}

}  // namespace
}  // namespace sms_test
