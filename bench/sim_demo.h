#ifndef MAV_BENCH_SIM_DEMO_H_
#define MAV_BENCH_SIM_DEMO_H_

// The demo cooperative for the benchmarks of SIM replies with the real executable: a catalog
// in a folder, program folders pointing at it (each with its own outbox, or one outbox for
// all), SIM requests for the demo's loans.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/drivers.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace bench_support {

namespace fs = std::filesystem;

class SimDemo {
 public:
  enum class Outbox { kSendTable, kGammu };

  // The catalog in <dir>/catalog, its SIM outbox of `kind` in <dir>/catalog/SMSData.mdb.
  explicit SimDemo(Outbox kind) {
    const std::string today_bs = calendar::TodayBs(std::chrono::system_clock::now());
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char today_ad[16];
    std::strftime(today_ad, sizeof today_ad, "%Y/%m/%d", &local);
    today_ad_ = today_ad;
    fs::create_directories(catalog_folder_);
    if (kind == Outbox::kGammu) {
      tools::WriteGammuOutbox(outbox_);
    } else {
      tools::WriteSmsOutbox(outbox_);
    }
    tools::CreateApplicationCatalog(catalog_);
    tools::FillDemoCatalog(catalog_, outbox_, today_ad, today_bs);
    fs::create_directories(dir_.path() / "home");
  }

  const fs::path& dir() const { return dir_.path(); }
  const fs::path& catalog() const { return catalog_; }
  const fs::path& outbox() const { return outbox_; }

  // Every agent queues in the outbox of its own program folder (as on PCs with a modem each):
  // the settings row names the outbox by a Windows path.
  void OutboxPerAgent() {
    Execute(catalog_, "Update SMSDatabase set [Database]='C:\\SMS\\SMSData.mdb'");
  }

  // A program folder <dir>/<name> pointing at the catalog; with `own_outbox`, an empty outbox
  // of the Send kind in it. Returns the executable's path.
  fs::path InstallAgent(const std::string& name, bool own_outbox = false) {
    const fs::path folder = dir_.path() / name;
    fs::create_directories(folder);
    tools::WriteSettingsFile(folder, catalog_folder_, "MavDemo");
    if (own_outbox) tools::WriteSmsOutbox(folder / "SMSData.mdb");
    fs::copy_file(MAV_SERVICES_EXE, folder / "mav-services", fs::copy_options::overwrite_existing);
    return folder / "mav-services";
  }

  std::unique_ptr<host_test::AgentProcess> Start(const fs::path& exe, const std::string& name) {
    return std::make_unique<host_test::AgentProcess>(
        exe,
        std::map<std::string, std::string>{{"DISPLAY", ""}, {"HOME", (dir() / "home").string()}},
        dir(), std::vector<std::string>{}, name);
  }

  // SIM requests `first` to `last` for the demo's loans, request n from mobile Mobile(n).
  void AddRequests(int first, int last) {
    auto db = data::OpenSqliteFile(catalog_, false);
    data::Transaction transaction(*db);
    for (int sn = first; sn <= last; ++sn) {
      db->Execute("Insert into LoanSMS(SN,Accode,Mobile,Date,Reply) values(" +
                  std::to_string(1000 + sn) + "," + std::to_string(1001 + sn % 8) + ",'" +
                  Mobile(sn) + "','" + today_ad_ + "',0)");
    }
    transaction.Commit();
  }
  static std::string Mobile(int sn) { return "98430" + std::to_string(10000 + sn); }

  // A count on a file other programs write, on a connection of a moment; -1 while it is busy.
  static std::int64_t Count(const fs::path& file, const std::string& sql) {
    try {
      return data::OpenSqliteFile(file, false)->Query(sql).rows.at(0).at(0).AsInt64();
    } catch (const base::AgentError&) {
      return -1;
    }
  }
  static void Execute(const fs::path& file, const std::string& sql) {
    data::OpenSqliteFile(file, false)->Execute(sql);
  }

  // The demo's own SIM requests (3) and those added with AddRequests that are answered.
  std::int64_t Answered() const {
    return Count(catalog_, "Select count(*) from LoanSMS where Reply=1 and SN>1000");
  }

 private:
  test_support::TempDir dir_;
  fs::path catalog_folder_ = dir_.path() / "catalog";
  fs::path catalog_ = catalog_folder_ / "MavDemo.db";
  fs::path outbox_ = catalog_folder_ / "SMSData.mdb";
  std::string today_ad_;
};

// Waits until `done` holds (polled every 20 ms), at most `limit`.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// How often each request went out, by mobile number, against `requests` requests 1..n.
struct Deliveries {
  std::map<std::string, std::int64_t> by_mobile;
  std::int64_t Twice(int requests) const {
    std::int64_t twice = 0;
    for (int sn = 1; sn <= requests; ++sn) {
      const auto it = by_mobile.find(SimDemo::Mobile(sn));
      if (it != by_mobile.end() && it->second > 1) twice += it->second - 1;
    }
    return twice;
  }
  std::int64_t Lost(int requests) const {
    std::int64_t lost = 0;
    for (int sn = 1; sn <= requests; ++sn) lost += by_mobile.count(SimDemo::Mobile(sn)) == 0;
    return lost;
  }
  void Add(const fs::path& file, const std::string& sql) {
    for (const auto& row : data::OpenSqliteFile(file, false)->Query(sql).rows) {
      by_mobile[row[0].AsText()] += row[1].AsInt64();
    }
  }
};

}  // namespace bench_support

#endif  // MAV_BENCH_SIM_DEMO_H_
