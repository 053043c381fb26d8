// The agent on a large embedded catalog: 10,000 loans, one million ledger rows, with only the
// keys and codes of an accounting database (the agent creates its own indexes at start-up).
// - BM_StartUp: a cold start on that catalog, as it was generated: connection, schema upgrade,
//   the agent's indexes, loan settings.
// - BM_IdleTick: one tick with nothing to do, offline and online.
// - BM_RepairBacklog: ticks working off vouchers without loan codes or entry dates.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "calendar/bs_date.h"
#include "host/agent_state.h"
#include "host/service_form.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;

// The large catalog, generated once, and an agent started on it (schema upgraded, settings
// loaded), shared by the benchmarks of this program.
struct LargeAgent {
  LargeAgent() {
    today = calendar::TodayBs(std::chrono::system_clock::now());
    generated = dir.path() / "MavBench.generated";
    file = dir.path() / "MavBench.db";
    const auto begin = std::chrono::steady_clock::now();
    tools::WriteLargeCatalog(generated, tools::LargeCatalog{}, today);
    fs::copy_file(generated, file);
    const auto made = std::chrono::steady_clock::now();
    std::cerr << "generated " << file << " in "
              << std::chrono::duration<double>(made - begin).count() << " s\n";
    tools::WriteSettingsFile(dir.path(), dir.path(), "MavBench");
    state.env.program_folder = dir.path();
    state.env.online = [this] { return online; };
    state.env.now = [] { return std::chrono::system_clock::now(); };
    form = std::make_unique<host::ServiceForm>(state, log);
    form->Form_Load();
    std::cerr << "started in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - made).count()
              << " s\n";
  }

  test_support::TempDir dir;
  fs::path generated;  // the catalog as generated, before any start of the agent
  fs::path file;       // the catalog of the agent below
  std::string today;
  bool online = false;
  std::ostringstream log;
  host::AgentState state;
  std::unique_ptr<host::ServiceForm> form;
  std::int64_t next_voucher = 10000000;
};

LargeAgent& Agent() {
  static LargeAgent agent;  // built on first use, read-only in shape afterwards
  return agent;
}

// A start of the agent on a fresh copy of the generated catalog. Most of it is the creation of
// the agent's indexes on Master.
void BM_StartUp(benchmark::State& s) {
  LargeAgent& agent = Agent();
  const fs::path folder = agent.dir.path() / "start";
  for (auto _ : s) {
    s.PauseTiming();
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(agent.generated, folder / "MavStart.db");
    tools::WriteSettingsFile(folder, folder, "MavStart");
    {
      host::AgentState state;
      state.env.program_folder = folder;
      state.env.online = [] { return false; };
      state.env.now = [] { return std::chrono::system_clock::now(); };
      std::ostringstream log;
      host::ServiceForm form(state, log);
      s.ResumeTiming();
      form.Form_Load();
      s.PauseTiming();
      if (!log.str().empty()) s.SkipWithError(log.str().c_str());
    }
    s.ResumeTiming();
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_StartUp)->Iterations(2)->Unit(benchmark::kSecond);

// One tick with nothing to repair and no pending request. Offline: the label and the two
// repair passes; online: the SMS stages as well (gateway settings, request queues, transfer
// rows).
void BM_IdleTick(benchmark::State& s) {
  LargeAgent& agent = Agent();
  agent.online = s.range(0) != 0;
  for (auto _ : s) agent.form->Timer1_Timer();
  agent.online = false;
  if (!agent.log.str().empty()) s.SkipWithError(agent.log.str().c_str());
  s.SetLabel(s.range(0) != 0 ? "online" : "offline");
}
BENCHMARK(BM_IdleTick)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// A backlog of `vouchers` repayment vouchers (3 rows each) and as many deposit vouchers (2
// rows each) worked off by ticks; the rate counts ledger rows repaired per second.
void BM_RepairBacklog(benchmark::State& s) {
  LargeAgent& agent = Agent();
  const int vouchers = static_cast<int>(s.range(0));
  std::int64_t rows = 0, ticks = 0;
  for (auto _ : s) {
    s.PauseTiming();
    tools::AddRepairBacklog(agent.file, vouchers, agent.next_voucher, agent.today);
    agent.next_voucher += 2 * vouchers;
    s.ResumeTiming();
    // Each tick repairs up to 100 vouchers per pass.
    for (int tick = 0; tick < (vouchers + 99) / 100; ++tick) {
      agent.form->Timer1_Timer();
      ++ticks;
    }
    s.PauseTiming();
    const data::QueryResult left = agent.state.MainConnection->Query(
        "Select count(*) from Master Where Fyear=4 and (Status='LoanR' and Acode is null or "
        "Status='Deposit' and iDate is null)");
    if (left.rows.front().front().AsInt64() != 0) s.SkipWithError("backlog left after the ticks");
    s.ResumeTiming();
    rows += 5 * static_cast<std::int64_t>(vouchers);
  }
  s.counters["rows_per_s"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  s.counters["ticks"] = static_cast<double>(ticks) / s.iterations();
  if (!agent.log.str().empty()) s.SkipWithError(agent.log.str().c_str());
}
BENCHMARK(BM_RepairBacklog)->Arg(1000)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
