// The agent executable end to end, headless, in a temporary program folder.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "host/command_line.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using data::Value;
using host_test::AgentExit;
using host_test::AgentProcess;

// The connector file's encoding of a plain text: letters and the punctuation of the table
// become their code bytes, digits and everything else stay.
std::string Encode(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c + 63);
    } else if (c >= 'a' && c <= 'z') {
      out += static_cast<char>(c + 57);
    } else if (c == '/') {
      out += static_cast<char>(188);
    } else if (c == '-') {
      out += static_cast<char>(180);
    } else if (c == '.') {
      out += static_cast<char>(187);
    } else {
      out += c;
    }
  }
  return out;
}

std::string ConnectorFile(int lines, const std::string& server, const std::string& catalog) {
  std::string text;
  for (int n = 1; n <= lines; ++n) {
    if (n > 1) text += "\r\n";
    if (n == 11)
      text += Encode(server);
    else if (n == 12)
      text += Encode(catalog);
    else if (n == 13)
      text += Encode("sa");
    else if (n == 14)
      text += "";
    else
      text += "line " + std::to_string(n);
  }
  return text;
}

class AgentTest : public ::testing::Test {
 protected:
  AgentTest() { fs::create_directories(home_); }

  // Starts the agent with `args`, without a display and with `env` besides.
  std::unique_ptr<AgentProcess> Start(std::vector<std::string> args = {},
                                      std::map<std::string, std::string> env = {}) {
    const fs::path exe = program_.InstallExecutable();
    env.emplace("DISPLAY", "");
    env.emplace("HOME", home_.string());
    return std::make_unique<AgentProcess>(exe, env, dir_.path(), std::move(args));
  }

  // Runs the agent until it ends by itself (start-up failures, switches that only print).
  AgentExit RunToEnd(std::vector<std::string> args = {}) {
    auto agent = Start(std::move(args));
    EXPECT_TRUE(agent->started());
    return agent->Stop(0);
  }

  // A query's first value on a connection of its own (it sees the agent's schema changes),
  // or Null while the catalog is busy or not yet upgraded.
  Value Peek(const std::string& sql) {
    try {
      const data::QueryResult result =
          data::OpenConnection(catalog_.ConnectionString())->Query(sql);
      return result.rows.empty() ? Value() : result.rows.front().front();
    } catch (const base::AgentError& e) {
      last_peek_error_ = e.Report();
      return Value();
    }
  }

  void Chart() {
    catalog_.Insert("Ledger", {{"LCODE", 1}, {"NAME", "Loan Issued Ledger"}});
    catalog_.Insert("Ledger", {{"LCODE", 2}, {"NAME", "Deposit Ledger"}});
    catalog_.Insert("SubLedger", {{"LCODE", 1}, {"SubCODE", 10}});
    catalog_.Insert("SubLedger", {{"LCODE", 2}, {"SubCODE", 20}});
    catalog_.Insert("Acc", {{"ACCODE", 101}, {"subCode", 10}, {"Mid", 11}});
    catalog_.Insert("Acc", {{"ACCODE", 102}, {"subCode", 10}, {"Mid", 12}});
    catalog_.Insert("Acc", {{"ACCODE", 201}, {"subCode", 20}, {"Mid", 21}});
    catalog_.Insert("Acc", {{"ACCODE", 1}, {"subCode", 99}, {"Mid", 0}});
  }

  void Row(int code, int voucher, int fyear, const char* date, const char* status) {
    catalog_.Insert("Master", {{"Index_Rec", ++index_},
                               {"CODE", code},
                               {"VOUCHER_NO", voucher},
                               {"Fyear", fyear},
                               {"Date", date},
                               {"Status", status}});
  }

  void YearInUse(int sn) {
    catalog_.Insert("YearSetting", {{"SN", sn},
                                    {"Fyear", "2081/82"},
                                    {"Dfrom", "2081/04/01"},
                                    {"Dto", "2082/03/31"},
                                    {"Using", std::int64_t{1}}});
  }

  test_support::TempDir dir_;
  test_support::TestCatalog catalog_{dir_.path()};
  test_support::ProgramFolder program_{dir_.path() / "program"};
  fs::path home_ = dir_.path() / "home";
  int index_ = 0;
  std::string last_peek_error_;
};

TEST_F(AgentTest, ShowsTheCatalogAndEndsCleanlyOnASignal) {
  program_.PointAt(catalog_);
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    auto agent = Start();
    ASSERT_TRUE(
        agent->WaitFor([&] { return agent->Out().find(">> MavData2075\n") != std::string::npos; }));
    const AgentExit exit = agent->Stop(signal);
    EXPECT_EQ(0, exit.status);
    // What the window shows: the running line, then the database label's text once before
    // the first tick and once when it changed, not per tick.
    EXPECT_EQ(">>Database\n>> MavData2075\n", exit.out);
  }
}

// Two agents started at the same moment on a catalog of the older schema (the application
// on two PCs switched on together): both upgrade steps race, neither ends on the other's
// objects, one works and the other stands by.
TEST_F(AgentTest, TwoAgentsStartingTogetherOnAnOldCatalogBothRun) {
  program_.PointAt(catalog_);
  const fs::path exe = program_.InstallExecutable();
  const std::map<std::string, std::string> env = {{"DISPLAY", ""}, {"HOME", home_.string()}};
  AgentProcess first(exe, env, dir_.path(), {}, "first");
  AgentProcess second(exe, env, dir_.path(), {}, "second");
  const auto running = [](AgentProcess& agent, const char* label) {
    return agent.WaitFor([&] { return agent.Out().find(label) != std::string::npos; });
  };
  ASSERT_TRUE(running(first, ">> MavData2075")) << first.Err();
  ASSERT_TRUE(running(second, ">> MavData2075")) << second.Err();
  ASSERT_TRUE(first.WaitFor([&] {
    return (first.Out() + second.Out()).find("(standby for ") != std::string::npos;
  })) << first.Out()
      << second.Out();
  for (AgentProcess* agent : {&first, &second}) {
    const AgentExit exit = agent->Stop(SIGTERM);
    EXPECT_EQ(0, exit.status);
    EXPECT_EQ(std::string::npos, exit.err.find("Error ")) << exit.err;
  }
}

TEST_F(AgentTest, RepairsTheBacklogOfTheYearInUseAcrossTicks) {
  Chart();
  YearInUse(3);
  catalog_.Exec("Begin Transaction");
  for (int v = 1; v <= 230; ++v) {  // more than two ticks' worth of groups per pass
    Row(101, v, 3, "2081/05/01", "LoanR");
    Row(1, v, 3, "2081/05/01", "LoanR");
    Row(201, 1000 + v, 3, "2081/05/02", "Deposit");
    Row(1, 1000 + v, 3, "2081/05/02", "Deposit");
  }
  Row(101, 500, 3, "2081/06/01", "LoanR");  // one voucher repaying two loans
  Row(102, 500, 3, "2081/06/01", "LoanR");
  Row(201, 2000, 3, "2081/06/03", "Deposit");  // one deposit voucher with two dates
  Row(201, 2000, 3, "2081/06/04", "Deposit");
  Row(101, 7, 2, "2080/05/01", "LoanR");  // the year before: never touched
  Row(201, 7, 2, "2080/05/01", "Deposit");
  catalog_.Exec("Commit");
  program_.PointAt(catalog_);

  auto agent = Start();
  const bool done = agent->WaitFor([&] {
    return Peek(
               "Select count(*) from Master Where Fyear=3 and (Status='LoanR' and "
               "Acode is null or Status='Deposit' and iDate is null)") == Value(std::int64_t{0});
  });
  const AgentExit exit = agent->Stop();
  ASSERT_TRUE(done) << exit.err << last_peek_error_;
  EXPECT_EQ(0, exit.status);

  EXPECT_EQ(Value(std::int64_t{460}),
            Peek("Select count(*) from Master Where Fyear=3 and VOUCHER_NO<=230 "
                 "and Acode=101 and MasterCode=11"));
  EXPECT_EQ(Value(std::int64_t{1}),
            Peek("Select count(distinct Acode) from Master Where VOUCHER_NO=500"));
  EXPECT_EQ(Value(std::int64_t{460}),
            Peek("Select count(*) from Master Where VOUCHER_NO>1000 and "
                 "VOUCHER_NO<2000 and iDate='2081/05/02' and dTime='00:00:00'"));
  EXPECT_EQ(Value(std::int64_t{2}), Peek("Select count(*) from Master Where VOUCHER_NO=2000 and "
                                         "iDate='2081/06/04'"));
  EXPECT_EQ(Value(std::int64_t{2}),
            Peek("Select count(*) from Master Where Fyear=2 and Acode is null and "
                 "iDate is null"));
}

TEST_F(AgentTest, WithoutAYearInUseOnlyYearZeroRowsAreRepaired) {
  Chart();
  Row(101, 1, 0, "2081/05/01", "LoanR");
  Row(201, 2, 0, "2081/05/01", "Deposit");
  Row(101, 3, 3, "2081/05/01", "LoanR");
  Row(201, 4, 3, "2081/05/01", "Deposit");
  program_.PointAt(catalog_);
  auto agent = Start();
  const bool done = agent->WaitFor([&] {
    return Peek(
               "Select count(*) from Master Where Fyear=0 and (Status='LoanR' and "
               "Acode is null or Status='Deposit' and iDate is null)") == Value(std::int64_t{0});
  });
  // Further ticks change nothing in the other year.
  agent->WaitFor([&] { return agent->Out().find(">> MavData2075") != std::string::npos; });
  const AgentExit exit = agent->Stop();
  ASSERT_TRUE(done) << exit.err << last_peek_error_;
  EXPECT_EQ(Value(std::int64_t{2}),
            Peek("Select count(*) from Master Where Fyear=3 and Acode is null and "
                 "iDate is null"));
}

class ConnectorTest : public AgentTest {
 protected:
  ConnectorTest() { program_.PointAt(catalog_); }
  test_support::TestCatalog other_{dir_.path(), "Other"};
};

TEST_F(ConnectorTest, ConnectorFileTakesPrecedenceOverTheSettings) {
  const struct {
    const char* name;
    int lines;
    const char* label;
  } kCases[] = {
      {"MAVConnector.xml", 14, ">> Other\n"},
      {"MAVConnector.xml", 17, ">> Other\n"},
      {"mavconnector.xml", 14, ">> MavData2075\n"},  // another letter case: not the file
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.lines));
    for (const char* stale : {"MAVConnector.xml", "mavconnector.xml"}) {
      fs::remove(program_.path() / stale);
    }
    program_.WriteFile(c.name, ConnectorFile(c.lines, dir_.path().string(), "Other"));
    auto agent = Start();
    agent->WaitFor([&] { return agent->Out().find("\n>> ") != std::string::npos; });
    const AgentExit exit = agent->Stop();
    EXPECT_EQ(0, exit.status) << exit.err;
    EXPECT_EQ(std::string(">>Database\n") + c.label, exit.out);
  }
}

TEST_F(ConnectorTest, ShortConnectorFileEndsStartUp) {
  // Eleven lines: the server but no catalog name.
  program_.WriteFile("MAVConnector.xml", ConnectorFile(11, dir_.path().string(), "Other"));
  const AgentExit exit = RunToEnd();
  EXPECT_EQ(1, exit.status);
  EXPECT_TRUE(std::regex_search(exit.err, std::regex("^Error [0-9]+: .+\n"))) << exit.err;
  EXPECT_EQ("", exit.out);
}

// A catalog already at the current level, for failures that the upgrade would not let in.
class FailingTickTest : public AgentTest {
 protected:
  test_support::TestCatalog current_{dir_.path(), "Current", test_support::CatalogLevel::kCurrent};
};

TEST_F(FailingTickTest, EachUnitFailsAloneAndIsLoggedOnce) {
  data::Connection& c = current_.connection();
  c.Execute("Insert into Ledger(LCODE,NAME) Values(1,'Loan Issued Ledger')");
  c.Execute("Insert into Ledger(LCODE,NAME) Values(2,'Deposit Ledger')");
  c.Execute("Insert into SubLedger(LCODE,SubCODE) Values(1,10)");
  c.Execute("Insert into SubLedger(LCODE,SubCODE) Values(2,20)");
  // A member code that is not a number: pass 1 fails on every tick.
  c.Execute("Insert into Acc(ACCODE,subCode,Mid) Values(101,10,'M-11')");
  c.Execute("Insert into Acc(ACCODE,subCode,Mid) Values(201,20,21)");
  // A gateway row without a customer number: the SMS work fails on every tick.
  c.Execute("Insert into SMSDatabase(SN,Customer_ID) Values(1,Null)");
  c.Execute(
      "Insert into Master(CODE,VOUCHER_NO,Fyear,Date,Status) Values(101,1,0,'2081/05/01',"
      "'LoanR')");
  c.Execute(
      "Insert into Master(CODE,VOUCHER_NO,Fyear,Date,Status) Values(201,2,0,'2081/05/02',"
      "'Deposit')");
  test_support::SettingsRow row;
  row.ServerName = dir_.path().string();
  row.Dbase = "Current";
  program_.AddSettings(row);

  auto agent = Start();
  const auto repaired = [&](int voucher) {
    try {
      return data::OpenConnection(current_.ConnectionString())
                 ->Query("Select count(*) from Master Where iDate is not null and VOUCHER_NO=" +
                         std::to_string(voucher))
                 .rows.front()
                 .front() == Value(std::int64_t{1});
    } catch (const base::AgentError&) {
      return false;
    }
  };
  // Pass 2 runs although the SMS work and pass 1 fail before it; a voucher added later is
  // repaired by a later tick.
  EXPECT_TRUE(agent->WaitFor([&] { return repaired(2); }));
  c.Execute(
      "Insert into Master(CODE,VOUCHER_NO,Fyear,Date,Status) Values(201,3,0,'2081/05/03',"
      "'Deposit')");
  EXPECT_TRUE(agent->WaitFor([&] { return repaired(3); }));
  // Let the failures repeat for some more ticks.
  agent->WaitFor([] { return false; }, std::chrono::seconds(2));
  const AgentExit exit = agent->Stop();
  EXPECT_EQ(0, exit.status);

  std::istringstream lines(host_test::WithoutActivity(exit.err));
  int sms_first = 0, pass1_first = 0, other = 0, total = 0;
  for (std::string line; std::getline(lines, line); ++total) {
    const bool summary = line.find("(repeated ") != std::string::npos;
    if (line.rfind("Tick error in SMS: Error 94: ", 0) == 0) {
      sms_first += !summary;
    } else if (line.rfind("Tick error in loan repayment codes: Error 13: ", 0) == 0) {
      pass1_first += !summary;
    } else {
      ++other;
    }
  }
  EXPECT_EQ(1, sms_first) << exit.err;
  EXPECT_EQ(1, pass1_first) << exit.err;
  EXPECT_EQ(0, other) << exit.err;
  // Two errors on every one of more than twenty ticks: first lines and a few summaries.
  EXPECT_LE(total, 8) << exit.err;
  EXPECT_EQ(Value(std::int64_t{0}),
            current_.Scalar("Select count(*) from Master Where Acode is not null"));
}

TEST_F(AgentTest, StartUpFailuresEndWithTheErrorLine) {
  const fs::path server = dir_.path();
  const struct {
    const char* what;
    std::function<void(test_support::ProgramFolder&)> prepare;
  } kCases[] = {
      {"missing settings file",
       [](test_support::ProgramFolder& p) { fs::remove(p.SettingsFile()); }},
      {"no active row",
       [&](test_support::ProgramFolder& p) {
         test_support::SettingsRow row;
         row.Using = std::int64_t{0};
         row.ServerName = server.string();
         row.Dbase = "MavData2075";
         p.AddSettings(row);
       }},
      {"missing catalog",
       [&](test_support::ProgramFolder& p) {
         test_support::SettingsRow row;
         row.ServerName = server.string();
         row.Dbase = "NoSuchCatalog";
         p.AddSettings(row);
       }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    test_support::TempDir folder;
    program_ = test_support::ProgramFolder(folder.path());
    c.prepare(program_);
    const AgentExit exit = RunToEnd();
    EXPECT_EQ(1, exit.status);
    EXPECT_TRUE(std::regex_search(exit.err, std::regex("^Error [0-9]+: .+\n"))) << exit.err;
    EXPECT_EQ("", exit.out);
  }
}

TEST_F(AgentTest, StartUpReadsTheYearBetweenTheFirstUpgradeStepsAndTheRest) {
  // Without YearSetting the year lookup fails: what ran before it stays, nothing after it ran.
  catalog_.Exec("Drop Table YearSetting");
  program_.PointAt(catalog_);
  program_.WriteFile("ChPrint.mdb", "print layouts");
  const AgentExit exit = RunToEnd();
  EXPECT_EQ(1, exit.status);
  EXPECT_TRUE(std::regex_search(exit.err, std::regex("^Error [0-9]+: .+\n"))) << exit.err;
  EXPECT_EQ("", exit.out);
  EXPECT_TRUE(catalog_.HasTable("MsgRoom"));
  EXPECT_TRUE(catalog_.HasTable("CheckRepair"));
  EXPECT_TRUE(fs::exists(home_ / "ChPrint.mdb"));
  EXPECT_FALSE(catalog_.HasTable("District"));
  EXPECT_FALSE(catalog_.HasColumn("Master", "iDate"));
}

TEST_F(AgentTest, CopiesThePrintDatabaseOnlyWhenMissing) {
  program_.PointAt(catalog_);
  program_.WriteFile("chprint.MDB", "print layouts");
  const fs::path target = home_ / "ChPrint.mdb";
  for (const char* want : {"print layouts", "print layouts"}) {
    auto agent = Start();
    agent->WaitFor([&] { return agent->Out().find(">> MavData2075") != std::string::npos; });
    EXPECT_EQ(0, agent->Stop().status);
    std::ifstream in(target);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(want, text);
  }
  // A file already there is kept as it is.
  std::ofstream(target) << "changed";
  auto agent = Start();
  agent->WaitFor([&] { return agent->Out().find(">> MavData2075") != std::string::npos; });
  agent->Stop();
  std::ifstream in(target);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ("changed", text);
}

// --help and --version print and end without starting the agent (this folder has no
// settings: a start would fail with status 1); a switch it does not know ends it with 2.
TEST_F(AgentTest, SwitchesThatOnlyPrint) {
  const AgentExit version = RunToEnd({"--version"});
  EXPECT_EQ(0, version.status);
  EXPECT_EQ(std::string("mav-services ") + AgentVersion() + "\n", version.out);
  EXPECT_EQ("", version.err);
  const AgentExit help = RunToEnd({"--headless", "--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_EQ(HelpText(), help.out);
  const AgentExit unknown = RunToEnd({"--headless", "--verbose"});
  EXPECT_EQ(2, unknown.status);
  EXPECT_EQ("", unknown.out);
  EXPECT_EQ("mav-services: unknown switch '--verbose'\n" + UsageLine() + "\n", unknown.err);
}

// systemd's end of the notifications: a datagram socket named by NOTIFY_SOCKET.
class NotifySocket {
 public:
  explicit NotifySocket(const fs::path& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~NotifySocket() { close(fd_); }

  bool bound() const { return bound_; }
  const fs::path& path() const { return path_; }

  // Every message received so far.
  const std::vector<std::string>& Messages() {
    char buffer[4096];
    for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) >= 0;) {
      messages_.emplace_back(buffer, static_cast<std::size_t>(n));
    }
    return messages_;
  }

  std::size_t Count(const std::string& message) {
    const auto& all = Messages();
    return std::count_if(all.begin(), all.end(), [&](const std::string& m) {
      return m.find(message) != std::string::npos;
    });
  }

 private:
  fs::path path_;
  int fd_ = -1;
  bool bound_ = false;
  std::vector<std::string> messages_;
};

// Under systemd the agent says when it is ready, keeps the watchdog quiet while it ticks,
// shows its status line and last activity, and says when it stops.
TEST_F(AgentTest, NotifiesTheServiceManager) {
#if !MAV_HAVE_LIBSYSTEMD
  GTEST_SKIP() << "built without libsystemd: the agent sends no notifications";
#endif
  program_.PointAt(catalog_);
  Chart();
  YearInUse(3);
  Row(201, 7, 3, "2081/06/01", "Deposit");
  NotifySocket systemd(dir_.path() / "notify");
  ASSERT_TRUE(systemd.bound());
  auto agent = Start({"--headless"}, {{"NOTIFY_SOCKET", systemd.path().string()}});
  EXPECT_TRUE(agent->WaitFor([&] {
    return systemd.Count("WATCHDOG=1") >= 2 && systemd.Count("1 voucher repaired") >= 1;
  }));
  const AgentExit exit = agent->Stop(SIGTERM);
  EXPECT_EQ(0, exit.status);
  EXPECT_EQ("Activity: 1 voucher repaired\n", exit.err);

  const std::vector<std::string> messages = systemd.Messages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ("READY=1\nSTATUS=>>Database", messages.front());
  EXPECT_EQ("STOPPING=1", messages.back());
  const std::regex status(
      "STATUS=>> MavData2075; last activity [-0-9]{10} [:0-9]{8}: "
      "1 voucher repaired$");
  EXPECT_EQ(1, std::count_if(messages.begin(), messages.end(),
                             [&](const std::string& m) { return std::regex_search(m, status); }));
}

}  // namespace
}  // namespace host
