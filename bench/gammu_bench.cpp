// The agent's executable and gammu-smsd with gammu's dummy phone (one-second loops) on the
// demo catalog and a gammu outbox SMSData.mdb, both running as a cooperative would run them:
// - BM_RequestToSent: one LoanSMS request written while both run, until its message stands in
//   sentitems; the time is per request.
// - BM_Backlog/n: n requests written at once, until all of them stand in sentitems; items per
//   second times 60 are messages per minute.
// - BM_QueueReply/parts: GammuOutbox::Queue alone on a gammu outbox in WAL mode, no daemon: how
//   long the agent holds the database's write lock for one reply of 1 or 2 parts.
// The first two need gammu-smsd (scripts/setup installs it).

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "sms/gammu_outbox.h"
#include "tests/host/agent_process.h"
#include "tests/support/gammu_smsd.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;

std::string TodayAd() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y/%m/%d", &local);
  return text;
}

struct Pipeline {
  Pipeline() {
    const fs::path folder = dir.path() / "program";
    fs::create_directories(folder);
    const std::string today_ad = TodayAd();
    const std::string today_bs = calendar::AdToBs(today_ad);
    outbox = folder / "SMSData.mdb";
    catalog = folder / "MavDemo.db";
    tools::WriteSettingsFile(folder, folder, "MavDemo");
    tools::WriteGammuOutbox(outbox);
    tools::CreateApplicationCatalog(catalog);
    tools::FillDemoCatalog(catalog, outbox, today_ad, today_bs);
    request_date = today_ad;

    const fs::path exe = folder / "mav-services";
    fs::copy_file(MAV_SERVICES_EXE, exe, fs::copy_options::overwrite_existing);
    const fs::path config = test_support::WriteGammuSmsdConfig(dir.path() / "smsd", outbox);
    daemon = std::make_unique<host_test::AgentProcess>(
        smsd, std::map<std::string, std::string>{}, dir.path() / "smsd",
        std::vector<std::string>{"-c", config.string()}, "smsd");
    agent = std::make_unique<host_test::AgentProcess>(
        exe,
        std::map<std::string, std::string>{{"DISPLAY", ""},
                                           {"HOME", (dir.path() / "home").string()}},
        dir.path());
    db = data::OpenSqliteFile(outbox, false);
    main = data::OpenSqliteFile(catalog, false);
    // The demo's own three requests.
    WaitForSent(3);
  }

  ~Pipeline() {
    agent->Stop(SIGTERM);
    daemon->Stop(SIGTERM);
  }

  std::int64_t Sent() {
    try {
      return db->Query("Select count(distinct ID) from sentitems").rows.at(0).at(0).AsInt64();
    } catch (const base::AgentError&) {
      return -1;  // the file is being written this moment
    }
  }

  bool WaitForSent(std::int64_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (std::chrono::steady_clock::now() < end) {
      if (Sent() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Writes `count` pending SIM requests for the demo's loan 1001, each to its own number.
  void AddRequests(int count) {
    data::Transaction requests(*main);
    for (int i = 0; i < count; ++i) {
      const std::int64_t sn = ++last_sn;
      main->Execute("Insert into LoanSMS(SN,Accode,Mobile,Date,Receive,Reply) values(" +
                    std::to_string(sn) + ",1001,'98420" + std::to_string(100000 + sn) + "','" +
                    request_date + "','LOAN',0)");
    }
    requests.Commit();
  }

  const fs::path smsd = test_support::FindGammuSmsd();
  test_support::TempDir dir;
  fs::path outbox, catalog;
  std::string request_date;
  std::unique_ptr<host_test::AgentProcess> daemon, agent;
  std::unique_ptr<data::Connection> db, main;
  std::int64_t last_sn = 100;
  std::int64_t expected = 3;  // messages in sentitems so far
};

Pipeline* ThePipeline(benchmark::State& state) {
  if (test_support::FindGammuSmsd().empty()) {
    state.SkipWithError(test_support::kNoGammuSmsd);
    return nullptr;
  }
  static Pipeline pipeline;  // both programs run until the benchmarks end
  return &pipeline;
}

void Measure(benchmark::State& state, int requests) {
  Pipeline* p = ThePipeline(state);
  if (p == nullptr) return;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    p->AddRequests(requests);
    p->expected += requests;
    if (!p->WaitForSent(p->expected)) {
      state.SkipWithError("the requests did not reach sentitems");
      return;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations() * requests);
}

void BM_RequestToSent(benchmark::State& state) { Measure(state, 1); }
BENCHMARK(BM_RequestToSent)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Backlog(benchmark::State& state) { Measure(state, static_cast<int>(state.range(0))); }
BENCHMARK(BM_Backlog)->Arg(60)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_QueueReply(benchmark::State& state) {
  test_support::TempDir dir;
  const fs::path file = dir.path() / "SMSData.mdb";
  tools::WriteGammuOutbox(file);
  const std::unique_ptr<data::Connection> db =
      data::OpenConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string() +
                           ";Jet OLEDB:Database "
                           "Password=x");
  sms::GammuOutbox outbox(*db, sms::kGammuTablesVersion);
  const std::string text(state.range(0) == 1 ? 150 : 300, 'A');
  const auto now = std::chrono::system_clock::now();
  for (auto _ : state) outbox.Queue("9841000001", text, now);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueueReply)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
