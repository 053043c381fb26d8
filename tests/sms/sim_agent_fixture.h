#ifndef MAV_TESTS_SMS_SIM_AGENT_FIXTURE_H_
#define MAV_TESTS_SMS_SIM_AGENT_FIXTURE_H_

// The agent's executable, headless, on a catalog with SIM requests: program folders, the
// requests, counts that tolerate a moment's lock, and the gateways that take messages out of
// the outbox (gammu-smsd with its dummy phone, a stand-in for modem software).

#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "data/drivers.h"
#include "tests/host/agent_process.h"
#include "tests/sms/sms_fixture.h"

namespace sms_test {

// Modem software as it runs on Windows beside the outbox file: every `period` it sends what
// stands in Send and deletes it, keeping what it sent in a table Sent of its own.
class StandInModem {
 public:
  StandInModem(const std::filesystem::path& outbox, std::chrono::milliseconds period)
      : db_(data::OpenSqliteFile(outbox, false)), thread_([this, period] { Run(period); }) {}
  ~StandInModem() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run(std::chrono::milliseconds period) {
    try {
      db_->Execute("Create Table If Not Exists Sent(SN Int,Mobile Varchar(30),Msg Text)");
    } catch (const base::AgentError&) {
    }
    while (!stop_) {
      try {
        data::Transaction transaction(*db_);
        db_->Execute("Insert into Sent(SN,Mobile,Msg) Select SN,Mobile,Msg from Send");
        db_->Execute("Delete from Send");
        transaction.Commit();
      } catch (const base::AgentError&) {
        // The agent holds the file's lock a moment: sent at the next round.
      }
      std::this_thread::sleep_for(period);
    }
  }

  std::unique_ptr<data::Connection> db_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class SimAgentFixture : public SmsFixture {
 protected:
  void SetUp() override {
    SmsFixture::SetUp();
    date_ = AddTwoLoans();
  }

  // An agent's program folder pointing at the catalog, with the executable.
  std::filesystem::path InstallAgent(const std::string& name) {
    test_support::ProgramFolder program(dir_.path() / name);
    program.PointAt(catalog_);
    return program.InstallExecutable();
  }

  std::unique_ptr<host_test::AgentProcess> Start(const std::filesystem::path& exe,
                                                 const std::string& log_name) {
    return std::make_unique<host_test::AgentProcess>(
        exe,
        std::map<std::string, std::string>{{"DISPLAY", ""},
                                           {"HOME", (dir_.path() / "home").string()}},
        dir_.path(), std::vector<std::string>{}, log_name);
  }

  // SIM request `sn`, from mobile 98420<10000 + sn>.
  void AddSimRequest(int sn) {
    catalog_.Insert("LoanSMS", {{"SN", sn},
                                {"Accode", sn % 2 == 0 ? 101 : 303},
                                {"Mobile", Mobile(sn)},
                                {"Date", date_},
                                {"Reply", 0}});
  }
  static std::string Mobile(int sn) { return "98420" + std::to_string(10000 + sn); }

  // A count on a file other programs write; -1 while it is busy.
  static std::int64_t Count(data::Connection& db, const std::string& sql) {
    try {
      return db.Query(sql).rows.at(0).at(0).AsInt64();
    } catch (const base::AgentError&) {
      return -1;
    }
  }
  std::int64_t Count(const std::string& sql) { return Count(catalog_.connection(), sql); }
  std::int64_t Answered() { return Count("Select count(*) from LoanSMS where Reply=1"); }

  // Waits until `done` holds (polled every 20 ms), at most `limit`.
  static bool WaitUntil(const std::function<bool()>& done,
                        std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
  }

  std::string date_;
};

}  // namespace sms_test

#endif  // MAV_TESTS_SMS_SIM_AGENT_FIXTURE_H_
