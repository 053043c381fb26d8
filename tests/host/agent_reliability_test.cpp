// The agent's executable, headless, through changes of its catalog while it runs: the file
// replaced by a copy, the fiscal year's end.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/drivers.h"
#include "tests/host/agent_process.h"
#include "tests/sms/sms_fixture.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using data::Value;

// A catalog with a deposit ledger, made and closed before the agent starts: while the agent
// runs, the test reaches it only through connections of a moment, so that the agent is the
// one program holding it open (a file must not be replaced under other programs' feet).
class AgentReliabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(home_);
    test_support::TestCatalog catalog(dir_.path(), "MavData2075",
                                      test_support::CatalogLevel::kCurrent);
    catalog.Insert("Ledger", {{"LCODE", 2}, {"NAME", "Deposit Ledger"}});
    catalog.Insert("SubLedger", {{"LCODE", 2}, {"SubCODE", 20}});
    catalog.Insert("Acc", {{"ACCODE", 201}, {"subCode", 20}, {"Mid", 21}});
    program_.PointAt(catalog);
    file_ = catalog.file();
  }

  std::unique_ptr<host_test::AgentProcess> Start(std::map<std::string, std::string> env = {}) {
    env["DISPLAY"] = "";
    env["HOME"] = home_.string();
    return std::make_unique<host_test::AgentProcess>(program_.InstallExecutable(), env,
                                                     dir_.path());
  }

  void Exec(const fs::path& file, const std::string& sql) {
    data::OpenSqliteFile(file, false)->Execute(sql);
  }

  // A deposit voucher of year `fyear` whose rows lack their entry date.
  void AddDeposit(const fs::path& file, int voucher, int fyear, const std::string& date) {
    Exec(file, "Insert into Master(Index_Rec,CODE,VOUCHER_NO,Fyear,Date,Status) values(" +
                   std::to_string(voucher) + ",201," + std::to_string(voucher) + "," +
                   std::to_string(fyear) + ",'" + date + "','Deposit')");
  }

  // The voucher's entry date, Null while it is missing or the catalog is busy.
  Value EntryDate(int voucher) {
    try {
      const data::QueryResult r =
          data::OpenSqliteFile(file_, false)
              ->Query("Select iDate from Master where VOUCHER_NO=" + std::to_string(voucher));
      return r.rows.empty() ? Value() : r.rows[0][0];
    } catch (const base::AgentError&) {
      return Value();
    }
  }

  test_support::TempDir dir_;
  fs::path home_ = dir_.path() / "home";
  test_support::ProgramFolder program_{dir_.path() / "program"};
  fs::path file_;
};

// The catalog file replaced by a copy (a backup put back, say) while the agent runs: the
// agent goes on with the copy, not with the file it had open.
TEST_F(AgentReliabilityTest, CatalogReplacedByACopyIsWorkedOn) {
  Exec(file_,
       "Insert into YearSetting(SN,Fyear,Dfrom,Dto,[Using]) values(3,'2081/82','2081/04/01',"
       "'2082/03/31',1)");
  AddDeposit(file_, 1, 3, "2081/05/01");
  auto agent = Start();
  ASSERT_TRUE(agent->WaitFor([&] { return !EntryDate(1).IsNull(); }));

  const fs::path copy = dir_.path() / "copy.db";
  Exec(file_, "VACUUM INTO '" + copy.string() + "'");
  AddDeposit(copy, 2, 3, "2081/05/02");
  fs::rename(copy, file_);
  // Until the agent has let go of the old file, the log the old file left under the shared
  // name would show its pages to anyone opening the new one: the test looks only after.
  ASSERT_TRUE(agent->WaitFor(
      [&] { return agent->Err().find("the file was replaced") != std::string::npos; }));
  ASSERT_TRUE(agent->WaitFor([&] { return !EntryDate(2).IsNull(); }));
  EXPECT_EQ(Value("2081/05/02"), EntryDate(2));
  EXPECT_EQ(0, agent->Stop(SIGTERM).status);
}

// The accounting application switches the year in use on the last evening of the fiscal
// year; when the date turns, the agent repairs the new year's vouchers. The clock is the
// platform's, faked by libfaketime from a file the test rewrites.
TEST_F(AgentReliabilityTest, YearEndSwitchWhileRunning) {
  // Debian keeps the library under the folder of the machine's architecture.
  fs::path faketime;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib", ec)) {
    if (fs::exists(entry.path() / "faketime" / "libfaketime.so.1")) {
      faketime = entry.path() / "faketime" / "libfaketime.so.1";
    }
  }
  if (faketime.empty()) GTEST_SKIP() << "libfaketime is not installed (scripts/setup)";
  const std::string first_day = "2083/04/01";  // of year 4
  const std::string last_day = calendar::BsAddDays(first_day, -1);
  Exec(file_,
       "Insert into YearSetting(SN,Fyear,Dfrom,Dto,[Using]) values(3,'2082/83',"
       "'2082/04/01','" +
           last_day + "',1)");
  Exec(file_, "Insert into YearSetting(SN,Fyear,Dfrom,Dto,[Using]) values(4,'2083/84','" +
                  first_day + "','2084/03/30',0)");
  AddDeposit(file_, 1, 3, last_day);
  AddDeposit(file_, 2, 4, first_day);
  // libfaketime's absolute form "YYYY-MM-DD hh:mm:ss" stands the clock still at that time.
  const auto at = [](const std::string& bs, const char* time) {
    std::string ad = sms_test::AdDateOf(bs);
    for (char& c : ad) c = c == '/' ? '-' : c;
    return ad + " " + time;
  };
  const fs::path clock = dir_.path() / "clock";
  std::ofstream(clock) << at(last_day, "23:59:00") << "\n";
  auto agent = Start({{"LD_PRELOAD", faketime.string()},
                      {"FAKETIME_TIMESTAMP_FILE", clock.string()},
                      {"FAKETIME_NO_CACHE", "1"},
                      {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                      // A sanitizer build wants its runtime first; the preloaded clock is not
                      // part of what it checks.
                      {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
  ASSERT_TRUE(agent->WaitFor([&] { return !EntryDate(1).IsNull(); }));

  Exec(file_, "Update YearSetting set [Using]=0 where SN=3");
  Exec(file_, "Update YearSetting set [Using]=1 where SN=4");
  std::ofstream(clock) << at(first_day, "00:00:05") << "\n";
  ASSERT_TRUE(agent->WaitFor([&] { return !EntryDate(2).IsNull(); }));
  EXPECT_EQ(Value(first_day), EntryDate(2));
  const host_test::AgentExit exit = agent->Stop(SIGTERM);
  EXPECT_EQ(0, exit.status);
  EXPECT_EQ("Fiscal year in use: 4 (was 3)\n", host_test::WithoutActivity(exit.err));
}

// The processes whose parent is `pid`, from /proc.
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold blanks, so read after its ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    char state = 0;
    pid_t parent = 0;
    if (rest >> state >> parent && parent == pid) {
      children.push_back(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
    }
  }
  return children;
}

// True while `pid` runs (a zombie, waiting for whoever took it over to reap it, has ended).
bool Running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  std::istringstream rest(line.substr(line.rfind(')') + 1));
  char state = 0;
  return rest >> state && state != 'Z' && state != 'X';
}

// A stop while a reader child is busy with a file on which its reader loops: the agent ends
// within a second, and so does the child, though it would loop for seconds more.
TEST_F(AgentReliabilityTest, StopLeavesNoReaderChildBehind) {
  fs::copy_file(fs::path(MAV_TEST_DATA_DIR) / "jet" / "damaged" / "catalog-properties-loop.mdb",
                program_.SettingsFile(), fs::copy_options::overwrite_existing);
  auto agent = Start();
  std::vector<pid_t> children;
  ASSERT_TRUE(agent->WaitFor([&] { return !(children = ChildrenOf(agent->pid())).empty(); },
                             std::chrono::seconds(10)));
  const auto stopped = std::chrono::steady_clock::now();
  const host_test::AgentExit exit = agent->Stop(SIGTERM, std::chrono::seconds(1));
  EXPECT_NE(-1, exit.status) << "still running 1 s after SIGTERM";
  while (std::chrono::steady_clock::now() - stopped < std::chrono::seconds(1)) {
    bool any = false;
    for (pid_t child : children) any = any || Running(child);
    if (!any) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (pid_t child : children) EXPECT_FALSE(Running(child)) << "reader child " << child;
}

}  // namespace
}  // namespace host
