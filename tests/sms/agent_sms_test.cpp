// The SMS pass through the agent's executable, headless, in a temporary program folder.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "data/drivers.h"
#include "sms/reply_messages.h"
#include "tests/host/agent_process.h"
#include "tests/sms/sms_fixture.h"

namespace sms_test {
namespace {

namespace fs = std::filesystem;

class AgentSmsTest : public SmsFixture {
 protected:
  data::Value Peek(const std::string& sql) {
    try {
      return catalog_.Scalar(sql);
    } catch (const base::AgentError&) {
      return data::Value();  // the agent holds the catalog for a moment
    }
  }

  test_support::ProgramFolder program_{dir_.path() / "program"};
};

TEST_F(AgentSmsTest, AnswersPendingRequestsOnItsTicks) {
  if (!host_test::MachineOnline())
    GTEST_SKIP() << "no network interface is up: the agent stays offline";
  const std::string date = AddTwoLoans();
  catalog_.Insert("YearSetting", {{"SN", 3},
                                  {"Fyear", "2081/82"},
                                  {"Dfrom", "2081/04/01"},
                                  {"Dto", "2082/03/31"},
                                  {"Using", true}});
  const fs::path outbox_file = MakeOutbox();
  UseSimGateway(outbox_file);

  const struct {
    int sn;
    data::Value accode;
    const char* mobile;
    data::Value date;
    bool good;
  } kSim[] = {
      {1, 101, "9841000001", date, true},
      {2, 303, "+9779841000002", date, true},
      {3, 101, "98x41", date, false},
      {4, data::Value(), "9841000004", date, false},
      {5, 101, "9841000005", "2024/02/30", false},
  };
  for (const auto& r : kSim) {
    catalog_.Insert(
        "LoanSMS",
        {{"SN", r.sn}, {"Accode", r.accode}, {"Mobile", r.mobile}, {"Date", r.date}, {"Reply", 0}});
  }
  catalog_.Insert("LoanSMS", {{"SN", 6}, {"Accode", 101}, {"Mobile", "1"}, {"Date", date}});
  catalog_.Insert("LoanStatement", {{"SN", 1}, {"Accode", 303}, {"Date", date}});
  catalog_.Insert("LoanStatement", {{"SN", 2}, {"Accode", 101}, {"Date", "someday"}});
  catalog_.Insert("Master", {{"Index_Rec", 500},
                             {"CODE", 9},
                             {"Fyear", 1},
                             {"eDate", AdDateOf("2081/04/10")},
                             {"Status", "TrfIn"},
                             {"Debit", 1.0},
                             {"Credit", 0.0}});
  program_.PointAt(catalog_);

  const fs::path exe = program_.InstallExecutable();
  host_test::AgentProcess agent(exe, {{"DISPLAY", ""}, {"HOME", (dir_.path() / "home").string()}},
                                dir_.path());
  ASSERT_TRUE(agent.started());
  auto outbox = data::OpenSqliteFile(outbox_file, false);
  auto answered = [&] {
    return Peek("Select count(*) from LoanSMS where Reply=1") == data::Value(2) &&
           !Peek("Select Message_Reply from LoanStatement where SN=1").IsNull() &&
           Peek("Select Date from Master where Index_Rec=500") == data::Value("2081/04/10");
  };
  ASSERT_TRUE(agent.WaitFor(answered)) << agent.Out();
  // A few more ticks: the requests that cannot be answered are retried, never doubled.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const host_test::AgentExit exit = agent.Stop(SIGTERM);
  EXPECT_EQ(0, exit.status) << exit.err;

  const data::QueryResult sent =
      outbox->Query("Select SN,Mobile,Msg,[Date],[Time] from Send order by SN");
  ASSERT_EQ(2u, sent.rows.size());
  EXPECT_EQ(data::Value(1), sent.rows[0][0]);
  EXPECT_EQ("9841000001", sent.rows[0][1].AsText());
  EXPECT_EQ(data::Value(2), sent.rows[1][0]);
  EXPECT_EQ("9779841000002", sent.rows[1][1].AsText());
  EXPECT_TRUE(std::regex_match(sent.rows[0][3].AsText(), std::regex(R"(\d\d/\d\d/\d\d\d\d)")));
  EXPECT_TRUE(std::regex_match(sent.rows[0][4].AsText(), std::regex(R"(\d\d:\d\d:\d\d)")));

  loans::LoadLoanSettings(loans_);
  std::string d = date;
  const std::string report_101 = sms::ComposeReportSMS(loans_, sms_, 101, d);
  d = date;
  const std::string report_303 = sms::ComposeReportSMS(loans_, sms_, 303, d);
  d = date;
  const std::string statement_303 = sms::ComposeLoanSMS(loans_, 303, d);
  EXPECT_EQ(report_101, sent.rows[0][2].AsText());
  EXPECT_EQ(report_303, sent.rows[1][2].AsText());
  EXPECT_EQ(report_101, Peek("Select [Send] from LoanSMS where SN=1").AsText());
  EXPECT_EQ(report_303, Peek("Select [Send] from LoanSMS where SN=2").AsText());
  EXPECT_EQ(statement_303, Peek("Select Message_Reply from LoanStatement where SN=1").AsText());

  for (int sn : {3, 4, 5}) {
    SCOPED_TRACE(sn);
    EXPECT_EQ(data::Value(0), Peek("Select Reply from LoanSMS where SN=" + std::to_string(sn)));
  }
  EXPECT_TRUE(Peek("Select Reply from LoanSMS where SN=6").IsNull());
  EXPECT_TRUE(Peek("Select Message_Reply from LoanStatement where SN=2").IsNull());
  EXPECT_EQ(data::Value(3), Peek("Select Fyear from Master where Index_Rec=500"));
}

}  // namespace
}  // namespace sms_test
