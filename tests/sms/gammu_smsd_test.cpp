// The agent and the real gammu-smsd (with gammu's dummy phone) on the same SMSData.mdb: the
// replies to SIM requests leave through the daemon, each once and whole.
#include "tests/support/gammu_smsd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "data/connection.h"
#include "data/drivers.h"
#include "tests/host/agent_process.h"
#include "tests/sms/sms_fixture.h"
#include "tools/catalog_generator.h"

namespace sms_test {
namespace {

namespace fs = std::filesystem;

class GammuSmsdTest : public SmsFixture {
 protected:
  // A query on a file both programs write; a moment's lock counts as "not yet".
  static data::QueryResult Peek(data::Connection& db, const std::string& sql) {
    try {
      return db.Query(sql);
    } catch (const base::AgentError&) {
      return {};
    }
  }
};

TEST_F(GammuSmsdTest, RepliesLeaveThroughTheDaemonOnceAndWhole) {
  const fs::path smsd = test_support::FindGammuSmsd();
  if (smsd.empty()) GTEST_SKIP() << test_support::kNoGammuSmsd;
  if (!host_test::MachineOnline())
    GTEST_SKIP() << "no network interface is up: the agent stays offline";

  AddLoan(101, "Ram Bahadur Thapa", 2990, "2081/03/01", "2081/03/01");
  AddLoan(202, std::string(120, 'B') + " Long", 1500, "2081/03/01", "2081/03/01");
  AddLoan(303, "रामबहादुर थापा", 1500, "2081/03/01", "2081/03/01");
  const std::string date = AdDateOf("2081/04/25");
  const std::map<int, std::string> kMobiles = {
      {1, "9841000001"}, {2, "+9779841000002"}, {3, "9841000003"}};
  for (const auto& [sn, mobile] : kMobiles) {
    catalog_.Insert(
        "LoanSMS",
        {{"SN", sn}, {"Accode", sn * 101}, {"Mobile", mobile}, {"Date", date}, {"Reply", 0}});
  }
  const fs::path outbox_file = dir_.path() / "gateway" / "SMSData.mdb";
  fs::create_directories(outbox_file.parent_path());
  tools::WriteGammuOutbox(outbox_file);
  UseSimGateway(outbox_file);

  test_support::ProgramFolder program(dir_.path() / "program");
  program.PointAt(catalog_);
  const fs::path config = test_support::WriteGammuSmsdConfig(dir_.path() / "smsd", outbox_file);
  // Both run five hours behind UTC: a row stamped with the schema's UTC defaults would wait
  // there five hours before the daemon sends it.
  const std::string zone = "EST5";
  host_test::AgentProcess daemon(smsd, {{"TZ", zone}}, dir_.path() / "smsd",
                                 {"-c", config.string()}, "smsd");
  host_test::AgentProcess agent(
      program.InstallExecutable(),
      {{"DISPLAY", ""}, {"HOME", (dir_.path() / "home").string()}, {"TZ", zone}}, dir_.path());
  ASSERT_TRUE(daemon.started());
  ASSERT_TRUE(agent.started());

  auto db = data::OpenSqliteFile(outbox_file, false);
  auto all_sent = [&] {
    const data::QueryResult sent = Peek(*db,
                                        "Select (Select count(distinct ID) from sentitems),"
                                        "(Select count(*) from outbox)");
    return !sent.rows.empty() && sent.rows[0][0] == data::Value(3) &&
           sent.rows[0][1] == data::Value(0);
  };
  const bool done = agent.WaitFor(all_sent, std::chrono::seconds(90));
  // A few more ticks and daemon loops: nothing is queued or sent a second time.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const host_test::AgentExit agent_exit = agent.Stop(SIGTERM);
  const host_test::AgentExit daemon_exit = daemon.Stop(SIGTERM);
  ASSERT_TRUE(done) << agent_exit.err << daemon_exit.err;
  EXPECT_EQ(0, agent_exit.status) << agent_exit.err;

  EXPECT_EQ(data::Value(0), db->Query("Select count(*) from outbox_multipart").rows[0][0]);
  for (const auto& [sn, mobile] : kMobiles) {
    SCOPED_TRACE(mobile);
    const std::string reply =
        catalog_.Scalar("Select [Send] from LoanSMS where Reply=1 and SN=" + std::to_string(sn))
            .AsText();
    const data::QueryResult parts = db->Query(
        "Select ID,SequencePosition,Status,CreatorID,TextDecoded,Coding from sentitems "
        "Where DestinationNumber=" +
        data::SqlText(mobile) + " Order by SequencePosition");
    ASSERT_FALSE(parts.rows.empty());
    std::string joined;
    for (std::size_t i = 0; i < parts.rows.size(); ++i) {
      EXPECT_EQ(parts.rows[0][0], parts.rows[i][0]);  // one message
      EXPECT_EQ(data::Value(static_cast<int>(i) + 1), parts.rows[i][1]);
      EXPECT_EQ("SendingOKNoReport", parts.rows[i][2].AsText());
      EXPECT_EQ("MAV Services", parts.rows[i][3].AsText());
      joined += parts.rows[i][4].AsText();
    }
    EXPECT_EQ(reply, joined);
    if (sn == 1) EXPECT_EQ(1u, parts.rows.size());
    if (sn == 2) {
      EXPECT_GT(reply.size(), 160u);
      EXPECT_EQ(2u, parts.rows.size());
    }
    if (sn == 3) EXPECT_EQ("Unicode_No_Compression", parts.rows[0][5].AsText());
  }
}

}  // namespace
}  // namespace sms_test
