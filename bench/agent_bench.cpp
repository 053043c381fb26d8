// The agent's executable on the large generated catalog (10,000 loans, one million ledger
// rows, only the keys and codes of an accounting database), headless, as a cooperative runs
// it: a cold start (schema upgrade, the agent's indexes, loan settings), then ticks that
// answer 10,000 pending loan statement requests, one per loan and a tenth of them for loans
// never repaid, and repair 1,000 repayment and 1,000 deposit vouchers. Counters:
// - start_s: from launch to the status line, which the agent prints once started;
// - work_s: from then until no request is pending and no voucher is left to repair;
// - agent_cpu_s: user and system time of the agent process over both;
// - peak_MB: the agent's peak resident memory (VmHWM).
// The iteration time is start_s + work_s, wall clock.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/process_usage.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;
using bench_support::CpuSeconds;
using bench_support::StatusMegabytes;

constexpr int kLoans = 10000;
constexpr std::int32_t kFirstLoan = 100000;  // loan account codes of the generator
constexpr int kRepairVouchers = 1000;

std::string ConnectionString(const fs::path& folder) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial "
         "Catalog=MavBench;Data Source=" +
         folder.string();
}

// The site as the agent finds it, made once: <template>/MavBench.db with its pending work,
// the SIM outbox and the settings file naming the catalog in the folder the agent runs in.
struct Site {
  Site() {
    const std::string today = calendar::TodayBs(std::chrono::system_clock::now());
    const std::string today_ad = [] {
      const auto day = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
      const std::chrono::year_month_day ymd{day};
      char text[16];
      std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(ymd.year()),
                    static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
      return std::string(text);
    }();
    fs::create_directories(pristine());
    tools::WriteLargeCatalog(pristine() / "MavBench.db", tools::LargeCatalog{kLoans, 1000000},
                             today);
    tools::AddRepairBacklog(pristine() / "MavBench.db", kRepairVouchers, 10000000, today);
    auto main = data::OpenConnection(ConnectionString(pristine()));
    main->Execute("Insert into SMSDatabase(SN,[Database],[Password],dType,Customer_ID) values(1," +
                  data::SqlText((run() / "SMSData.mdb").string()) + ",'','SIM',0)");
    data::Transaction requests(*main);
    for (int i = 0; i < kLoans; ++i) {
      main->Execute("Insert into LoanStatement(SN,Accode,Date,Mobile,Request) values(" +
                    std::to_string(i + 1) + "," + std::to_string(kFirstLoan + i) + ",'" + today_ad +
                    "','9841000000','LS')");
    }
    requests.Commit();
    main->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
  }

  fs::path pristine() const { return dir.path() / "pristine"; }
  fs::path run() const { return dir.path() / "run"; }

  // A fresh copy of the site in run(), with the agent's executable.
  fs::path Prepare() const {
    fs::remove_all(run());
    fs::create_directories(run() / "home");
    fs::copy_file(pristine() / "MavBench.db", run() / "MavBench.db");
    const fs::path exe = test_support::ProgramFolder(run()).InstallExecutable();
    tools::WriteSmsOutbox(run() / "SMSData.mdb");
    tools::WriteSettingsFile(run(), run(), "MavBench");  // replaces the folder's empty one
    return exe;
  }

  test_support::TempDir dir;
};

void BM_AgentOnLargeCatalog(benchmark::State& s) {
  static const Site the_site;  // built once; its folder goes when the program ends
  const Site* const site = &the_site;
  using Clock = std::chrono::steady_clock;
  for (auto _ : s) {
    const fs::path exe = site->Prepare();
    const auto launched = Clock::now();
    host_test::AgentProcess agent(exe, {{"DISPLAY", ""}, {"HOME", (site->run() / "home").string()}},
                                  site->run());
    if (!agent.started()) {
      s.SkipWithError("the agent did not start");
      break;
    }
    const bool started = agent.WaitFor([&] { return agent.Out().find(">>") != std::string::npos; },
                                       std::chrono::seconds(120));
    const auto up = Clock::now();
    auto main = data::OpenConnection(ConnectionString(site->run()));
    const auto left = [&] {
      const std::int64_t pending =
          main->Query("Select count(*) from LoanStatement Where Message_Reply is null")
              .rows[0][0]
              .AsInt64();
      const std::int64_t unrepaired =
          main->Query(
                  "Select count(*) from Master Where Acode is null and Status='LoanR' and "
                  "Fyear=4")
              .rows[0][0]
              .AsInt64() +
          main->Query(
                  "Select count(*) from Master Where iDate is null and Fyear=4 and "
                  "Status='Deposit'")
              .rows[0][0]
              .AsInt64();
      return pending + unrepaired;
    };
    const bool done =
        started && agent.WaitFor([&] { return left() == 0; }, std::chrono::seconds(600));
    const auto finished = Clock::now();
    const double peak = StatusMegabytes(std::to_string(agent.pid()), "VmHWM:") * 1024;
    const double cpu = CpuSeconds(agent.pid());
    const host_test::AgentExit exit = agent.Stop(SIGTERM);
    if (!done || !host_test::WithoutActivity(exit.err).empty()) {
      s.SkipWithError(("the agent did not finish: " + exit.err).c_str());
      break;
    }
    const double start_s = std::chrono::duration<double>(up - launched).count();
    const double work_s = std::chrono::duration<double>(finished - up).count();
    s.SetIterationTime(start_s + work_s);
    s.counters["start_s"] = start_s;
    s.counters["work_s"] = work_s;
    s.counters["agent_cpu_s"] = cpu;
    s.counters["peak_MB"] = peak / 1024;
  }
  fs::remove_all(site->run());
}
BENCHMARK(BM_AgentOnLargeCatalog)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
