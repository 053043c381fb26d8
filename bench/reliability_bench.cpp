// How the agent stops and recovers:
// - BM_StopMidBacklog: the executable, headless, on the large catalog (10,000 loans, one
//   million ledger rows) with 20,000 pending loan statements and 2,000 vouchers to repair;
//   once it is answering, SIGTERM; the time until the process has ended.
// - BM_IdleTickWhileCatalogDown: one tick while the catalog cannot be reached (its file is
//   gone), on the demo catalog.
// - BM_RecoveryAfterOutage: the catalog out of reach for N seconds, the agent ticking every
//   100 ms; the time from the catalog's return to the first request answered.

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "calendar/bs_date.h"
#include "data/drivers.h"
#include "host/agent_state.h"
#include "host/service_form.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;

// A count from the catalog on a connection of a moment; -1 while it is busy.
std::int64_t Count(const fs::path& file, const std::string& sql) {
  try {
    return data::OpenSqliteFile(file, false)->Query(sql).rows.at(0).at(0).AsInt64();
  } catch (const base::AgentError&) {
    return -1;
  }
}

void BM_StopMidBacklog(benchmark::State& state) {
  test_support::TempDir dir;
  const fs::path folder = dir.path();
  const std::string today = calendar::TodayBs(std::chrono::system_clock::now());
  const fs::path file = folder / "Large.db";
  tools::WriteLargeCatalog(file, tools::LargeCatalog{}, today);
  tools::AddRepairBacklog(file, 1000, 10000000, today);
  {
    auto main = data::OpenSqliteFile(file, false);
    data::Transaction requests(*main);
    for (int i = 0; i < 20000; ++i) {
      main->Execute("Insert into LoanStatement(SN,Accode,Date,Mobile,Request) values(" +
                    std::to_string(i + 1) + "," + std::to_string(100000 + i % 10000) +
                    ",'2024/10/01','9841000000','LS')");
    }
    requests.Commit();
  }
  tools::WriteSettingsFile(folder, folder, "Large");
  fs::create_directories(folder / "home");
  fs::copy_file(MAV_SERVICES_EXE, folder / "mav-services");
  const std::string pending = "Select count(*) from LoanStatement Where Message_Reply is null";

  double slowest = 0;
  for (auto _ : state) {
    const std::int64_t before = Count(file, pending);
    host_test::AgentProcess agent(folder / "mav-services",
                                  {{"DISPLAY", ""}, {"HOME", (folder / "home").string()}}, folder);
    // Mid-backlog: replies are being written.
    if (!agent.WaitFor([&] {
          const std::int64_t left = Count(file, pending);
          return left >= 0 && left < before;
        })) {
      state.SkipWithError("the agent answered nothing (is the machine offline?)");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto signalled = std::chrono::steady_clock::now();
    const host_test::AgentExit exit = agent.Stop(SIGTERM);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    state.SetIterationTime(seconds);
    slowest = std::max(slowest, seconds);
    if (exit.status != 0) state.SkipWithError(("exit status " + exit.err).c_str());
  }
  state.counters["slowest_ms"] = slowest * 1000;
}
BENCHMARK(BM_StopMidBacklog)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// The demo catalog with an agent started on it whose catalog can be taken away.
struct DemoAgent {
  DemoAgent() {
    const std::string today_bs = calendar::TodayBs(std::chrono::system_clock::now());
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char today_ad[16];
    std::strftime(today_ad, sizeof today_ad, "%Y/%m/%d", &local);
    tools::WriteSettingsFile(dir.path(), dir.path(), "MavDemo");
    tools::WriteSmsOutbox(dir.path() / "SMSData.mdb");
    tools::CreateApplicationCatalog(file);
    tools::FillDemoCatalog(file, dir.path() / "SMSData.mdb", today_ad, today_bs);
    state.env.program_folder = dir.path();
    state.env.online = [] { return true; };
    form = std::make_unique<host::ServiceForm>(state, log);
    form->Form_Load();
    for (int i = 0; i < 20; ++i) form->Timer1_Timer();  // the demo's backlog
  }

  // Takes the catalog file away and lets the agent find it gone.
  void TakeAway() {
    fs::rename(file, away);
    form->Timer1_Timer();
  }

  test_support::TempDir dir;
  fs::path file = dir.path() / "MavDemo.db";
  fs::path away = dir.path() / "elsewhere.db";
  std::ostringstream log;
  host::AgentState state;
  std::unique_ptr<host::ServiceForm> form;
};

void BM_IdleTickWhileCatalogDown(benchmark::State& state) {
  DemoAgent agent;
  agent.TakeAway();
  for (auto _ : state) agent.form->Timer1_Timer();
  state.SetLabel(agent.log.str().substr(0, 60));
}
BENCHMARK(BM_IdleTickWhileCatalogDown)->Unit(benchmark::kMicrosecond);

void BM_RecoveryAfterOutage(benchmark::State& state) {
  const auto outage = std::chrono::seconds(state.range(0));
  for (auto _ : state) {
    DemoAgent agent;
    agent.TakeAway();
    const auto down = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - down < outage) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      agent.form->Timer1_Timer();
    }
    // A request that came while the catalog was away.
    data::OpenSqliteFile(agent.away, false)
        ->Execute("Insert into LoanStatement(SN,Accode,Date) values(99,1005,'2024/10/01')");
    fs::rename(agent.away, agent.file);
    const auto back = std::chrono::steady_clock::now();
    const std::string answered =
        "Select count(*) from LoanStatement Where SN=99 and Message_Reply is not null";
    while (Count(agent.file, answered) != 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      agent.form->Timer1_Timer();
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - back).count());
  }
}
BENCHMARK(BM_RecoveryAfterOutage)
    ->Arg(3)
    ->Arg(10)
    ->Arg(30)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
