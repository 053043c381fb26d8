// Ticks that stop after their budget: a backlog worked off over many short ticks ends as one
// long tick leaves it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "data/drivers.h"
#include "host/agent_state.h"
#include "host/service_form.h"
#include "tests/sms/sms_fixture.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTodayAd = "2026/12/08";

// The rows of a result as texts "a|b|c" ("Null" for Null), for readable differences.
std::vector<std::string> Rows(const data::QueryResult& result) {
  std::vector<std::string> rows;
  for (const auto& row : result.rows) {
    std::string text;
    for (const data::Value& v : row) text += (v.IsNull() ? "Null" : v.AsText()) + "|";
    rows.push_back(text);
  }
  return rows;
}

// The demo cooperative with a backlog of SIM requests and loan statements, the penal resting
// on the interest due of the reply before, and an agent started on it whose clock moves on
// by `step` at every reading (0: a tick never runs out of time).
struct DemoAgent {
  DemoAgent(const fs::path& folder, std::chrono::milliseconds step) : step(step) {
    fs::create_directories(folder);
    const std::string today_bs = calendar::AdToBs(std::string(kTodayAd));
    tools::WriteSettingsFile(folder, folder, "MavDemo");
    tools::WriteSmsOutbox(folder / "SMSData.mdb");
    tools::CreateApplicationCatalog(folder / "MavDemo.db");
    tools::FillDemoCatalog(folder / "MavDemo.db", folder / "SMSData.mdb", kTodayAd, today_bs);
    auto db = data::OpenSqliteFile(folder / "MavDemo.db", false);
    for (int i = 4; i < 40; ++i) {
      const std::string n = std::to_string(i);
      db->Execute("Insert into LoanSMS(SN,Accode,Mobile,Date,Reply) values(" + n + "," +
                  std::to_string(1001 + i % 8) + ",'98410001" + n + "','" + kTodayAd + "',0)");
      db->Execute("Insert into LoanStatement(SN,Accode,Date) values(" + n + "," +
                  std::to_string(1001 + i * 3 % 8) + ",'" + kTodayAd + "')");
    }
    state.env.program_folder = folder;
    state.env.online = [] { return true; };
    state.env.now = [] { return sms_test::LocalTime(2026, 12, 8, 10, 30, 0); };
    state.env.clock = [this] { return now += this->step; };
    form = std::make_unique<ServiceForm>(state, log);
    form->Form_Load();
    state.MainConnection->Execute("Update OtherSetting set PLOn=0");
  }

  bool Done() {
    const auto count = [&](const std::string& sql) {
      return state.MainConnection->Query(sql).rows.at(0).at(0).AsInt64();
    };
    return state.round.step == TickRound::Step::kSms &&
           count("Select count(*) from LoanSMS where Reply<>1") == 0 &&
           count("Select count(*) from LoanStatement where Message_Reply is null") == 0 &&
           count(
               "Select count(*) from Master where Fyear=4 and (Status='LoanR' and Acode is "
               "null or Status='Deposit' and iDate is null)") == 0;
  }

  // Ticks until the backlog is gone; the number of ticks.
  int Run() {
    int ticks = 0;
    while (!Done() && ticks < 10000) {
      form->Timer1_Timer();
      ++ticks;
    }
    return ticks;
  }

  std::chrono::milliseconds step;
  std::chrono::steady_clock::time_point now{};
  std::ostringstream log;
  AgentState state;
  std::unique_ptr<ServiceForm> form;
};

TEST(BoundedTick, BacklogOverManyTicksEndsAsOneLongTickLeavesIt) {
  test_support::TempDir dir;
  DemoAgent long_tick(dir.path() / "long", std::chrono::milliseconds(0));
  DemoAgent short_ticks(dir.path() / "short", std::chrono::milliseconds(70));
  const int long_ticks = long_tick.Run();
  const int many = short_ticks.Run();
  EXPECT_GT(many, 10 * long_ticks);
  EXPECT_EQ("", long_tick.log.str());
  EXPECT_EQ("", short_ticks.log.str());

  const char* const kResults[] = {
      "Select SN,Reply,[Send],Fyear from LoanSMS order by SN",
      "Select SN,Accode,Message_Reply from LoanStatement order by SN,Accode",
      "Select Index_Rec,Acode,MasterCode,iDate,dTime,Date,Fyear from Master order by Index_Rec",
  };
  for (const char* sql : kResults) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(Rows(long_tick.state.MainConnection->Query(sql)),
              Rows(short_ticks.state.MainConnection->Query(sql)));
  }
  const std::string sent = "Select SN,Mobile,Msg,[Date],[Time] from Send order by SN";
  const auto want =
      Rows(data::OpenSqliteFile(dir.path() / "long" / "SMSData.mdb", false)->Query(sent));
  ASSERT_EQ(39u, want.size());
  EXPECT_EQ(want,
            Rows(data::OpenSqliteFile(dir.path() / "short" / "SMSData.mdb", false)->Query(sent)));
}

}  // namespace
}  // namespace host
