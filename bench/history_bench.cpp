// The agent on a catalog with years of history: the large catalog (10,000 loans, one million
// ledger rows, only the keys of an accounting database) with 100,000 "LoanR" rows of the year
// in use that no repair can complete, 1,000,000 answered SIM requests and 500,000 answered
// loan statement requests, the SIM gateway online (tools::AddHistory).
// - BM_IdleTick: one tick with nothing pending and nothing repairable: customer number,
//   gateway settings, the SMS stages, both repair passes. CPU time per tick.
// - BM_NewWork: another program adds an interest receipt's rows (unrepairable), the agent
//   ticks every 100 ms, then the voucher's loan row follows: seconds until the agent repaired
//   the voucher (repair_s) and the ticks it took; then a new SIM request: ticks until it is
//   answered (answer_ticks).
// - BM_InterestAccountRequest: a loan statement request naming the interest-income account
//   (about 400,000 ledger rows); the tick that answers it. Counters: extra_peak_MB, the
//   resident memory at the peak of the tick above what it was before; kept_MB, what stays
//   resident after it.
// - BM_StatementBacklog: 10,000 pending loan statement requests, one per loan, answered by
//   ticks back to back; items per second are replies per second.
// - BM_AgentExecutable: the executable itself on a copy of the catalog: start-up (the agent's
//   indexes), 10,000 statement requests and one for the interest-income account, 1,000
//   repayment and 1,000 deposit vouchers to repair. peak_MB is its peak resident memory
//   (VmHWM), agent_cpu_s its processor time until all was done.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/process_usage.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "host/agent_state.h"
#include "host/service_form.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;
using bench_support::CpuSeconds;
using bench_support::StatusMegabytes;

constexpr int kLoans = 10000;
constexpr std::int32_t kFirstLoan = 100000;          // loan account codes of the generator
constexpr std::int32_t kInterestAccount = 2;         // "Interest from Loan A/C"
constexpr std::int64_t kHistoryVouchers = 20000000;  // first voucher number of the history
constexpr char kCatalog[] = "MavHistory";
constexpr std::chrono::milliseconds kTickPeriod{100};

std::string TodayAd() {
  const auto day = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const std::chrono::year_month_day ymd{day};
  char text[16];
  std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return text;
}

std::string ConnectionString(const fs::path& folder) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial Catalog=" +
         std::string(kCatalog) + ";Data Source=" + folder.string();
}

std::int64_t Count(data::Connection& connection, const std::string& sql) {
  return connection.Query(sql).rows.at(0).at(0).AsInt64();
}

// The catalog with its history, made once; the SIM gateway's outbox is "SMSData.mdb" in the
// folder of whichever agent runs on a copy (a Windows path is looked up there).
struct Site {
  Site() {
    today_bs = calendar::TodayBs(std::chrono::system_clock::now());
    today_ad = TodayAd();
    const auto begin = std::chrono::steady_clock::now();
    fs::create_directories(pristine());
    const fs::path file = pristine() / (std::string(kCatalog) + ".db");
    tools::WriteLargeCatalog(file, tools::LargeCatalog{kLoans, 1000000}, today_bs);
    tools::AddHistory(file, tools::History{}, kLoans, kHistoryVouchers, today_bs);
    auto main = data::OpenConnection(ConnectionString(pristine()));
    main->Execute(
        "Insert into SMSDatabase(SN,[Database],[Password],dType,Customer_ID) values(1,"
        "'C:\\SMS\\SMSData.mdb','','SIM',0)");
    main->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    std::cerr << "catalog with history made in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count()
              << " s\n";
  }

  fs::path pristine() const { return dir.path() / "pristine"; }

  // A program folder `name` with a fresh copy of the catalog, its settings file and an empty
  // SIM outbox.
  fs::path Folder(const std::string& name) const {
    const fs::path folder = dir.path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(pristine() / (std::string(kCatalog) + ".db"),
                  folder / (std::string(kCatalog) + ".db"));
    tools::WriteSettingsFile(folder, folder, kCatalog);
    tools::WriteSmsOutbox(folder / "SMSData.mdb");
    return folder;
  }

  test_support::TempDir dir;
  std::string today_bs, today_ad;
};

const Site& TheSite() {
  static const Site* const site = new Site();  // built once for the process
  return *site;
}

// An agent started in-process on its own copy of the catalog, online; `other` is a second
// connection to the same catalog, as another program of the cooperative holds one.
struct Agent {
  Agent() : folder(TheSite().Folder("agent")) {
    state.env.program_folder = folder;
    state.env.online = [] { return true; };
    state.env.now = [] { return std::chrono::system_clock::now(); };
    form = std::make_unique<host::ServiceForm>(state, log);
    const auto begin = std::chrono::steady_clock::now();
    form->Form_Load();
    std::cerr << "agent started in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count()
              << " s\n";
    other = data::OpenConnection(ConnectionString(folder));
    next_index = Count(*other, "Select max(Index_Rec) from Master") + 1;
    next_sim = Count(*other, "Select max(SN) from LoanSMS") + 1;
    next_statement = Count(*other, "Select max(SN) from LoanStatement") + 1;
    form->Timer1_Timer();
  }

  // One ledger row written by another program: "LoanR", no loan codes yet.
  void AddLoanRRow(std::int64_t code, std::int64_t voucher, double debit, double credit) {
    const std::string day = TheSite().today_bs;
    other->Execute(
        "Insert into Master(Index_Rec,CODE,VOUCHER_NO,Fyear,Date,Vtype,Status,PaidUpto,Debit,"
        "Credit,BillNo,Particular,iDate,dTime) values(" +
        std::to_string(next_index++) + "," + std::to_string(code) + "," + std::to_string(voucher) +
        ",4,'" + day + "','Receipt','LoanR','" + day + "'," + std::to_string(debit) + "," +
        std::to_string(credit) + ",'" + std::to_string(voucher) + "','Received','" + day +
        "','00:00:00')");
  }

  // Ticks at the agent's pace until `done` holds or `limit` ticks have run; the ticks run.
  template <typename Done>
  int TickUntil(Done done, int limit) {
    auto next = std::chrono::steady_clock::now();
    for (int ticks = 1; ticks <= limit; ++ticks) {
      std::this_thread::sleep_until(next);
      next += kTickPeriod;
      form->Timer1_Timer();
      if (done()) return ticks;
    }
    return -1;
  }

  fs::path folder;
  host::AgentState state;
  std::ostringstream log;
  std::unique_ptr<host::ServiceForm> form;
  std::unique_ptr<data::Connection> other;
  std::int64_t next_index = 0, next_sim = 0, next_statement = 0;
  std::int64_t next_voucher = 30000000;
};

Agent& TheAgent() {
  static Agent* const agent = new Agent();  // built on first use, kept for the process
  return *agent;
}

void BM_IdleTick(benchmark::State& s) {
  Agent& agent = TheAgent();
  for (auto _ : s) agent.form->Timer1_Timer();
  if (!agent.state.sms.SMSLocalReady) s.SkipWithError("the SIM outbox did not open");
  if (!agent.log.str().empty()) s.SkipWithError(agent.log.str().c_str());
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

void BM_NewWork(benchmark::State& s) {
  Agent& agent = TheAgent();
  double repair_s = 0, repair_ticks = 0, answer_ticks = 0;
  for (auto _ : s) {
    const std::int64_t voucher = agent.next_voucher++;
    const std::int64_t loan = kFirstLoan + voucher % (kLoans - 1);
    agent.AddLoanRRow(1, voucher, 1150, 0);                // cash
    agent.AddLoanRRow(kInterestAccount, voucher, 0, 150);  // interest
    agent.TickUntil([] { return false; }, 5);              // nothing repairable yet
    agent.AddLoanRRow(loan, voucher, 0, 1000);             // the loan row comes later
    const auto added = std::chrono::steady_clock::now();
    const std::string left =
        "Select count(*) from Master Where VOUCHER_NO=" + std::to_string(voucher) +
        " and Fyear=4 and Acode is null";
    const int ticks = agent.TickUntil([&] { return Count(*agent.other, left) == 0; }, 100);
    if (ticks < 0) {
      s.SkipWithError("the voucher was not repaired within 10 s");
      break;
    }
    repair_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - added).count();
    repair_ticks += ticks;

    const std::int64_t sn = agent.next_sim++;
    agent.other->Execute("Insert into LoanSMS(SN,Accode,Mobile,Date,[Receive],Reply) values(" +
                         std::to_string(sn) + "," + std::to_string(loan) + ",'9841000000','" +
                         TheSite().today_ad + "','LOAN',0)");
    const int answered = agent.TickUntil(
        [&] {
          return Count(*agent.other, "Select count(*) from LoanSMS Where SN=" + std::to_string(sn) +
                                         " and Reply=1") == 1;
        },
        100);
    if (answered < 0) {
      s.SkipWithError("the SIM request was not answered within 10 s");
      break;
    }
    answer_ticks += answered;
  }
  s.counters["repair_s"] = repair_s / s.iterations();
  s.counters["repair_ticks"] = repair_ticks / s.iterations();
  s.counters["answer_ticks"] = answer_ticks / s.iterations();
  if (!agent.log.str().empty()) s.SkipWithError(agent.log.str().c_str());
}
BENCHMARK(BM_NewWork)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

void BM_InterestAccountRequest(benchmark::State& s) {
  Agent& agent = TheAgent();
  const std::string pid = std::to_string(getpid());
  double extra_peak = 0, kept = 0;
  for (auto _ : s) {
    s.PauseTiming();
    const std::int64_t sn = agent.next_statement++;
    agent.other->Execute("Insert into LoanStatement(SN,Accode,Date,Mobile,Request) values(" +
                         std::to_string(sn) + "," + std::to_string(kInterestAccount) + ",'" +
                         TheSite().today_ad + "','9841000000','LS')");
    const std::string pending =
        "Select count(*) from LoanStatement Where SN=" + std::to_string(sn) +
        " and Message_Reply is null";
    // Writing 5 to clear_refs sets the peak resident size back to the current one.
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = StatusMegabytes("self", "VmRSS:");
    s.ResumeTiming();
    int ticks = 0;
    do {
      agent.form->Timer1_Timer();
    } while (Count(*agent.other, pending) != 0 && ++ticks < 50);
    s.PauseTiming();
    extra_peak += StatusMegabytes("self", "VmHWM:") - before;
    kept += StatusMegabytes("self", "VmRSS:") - before;
    if (ticks >= 50) s.SkipWithError("the request was not answered");
    s.ResumeTiming();
  }
  s.counters["extra_peak_MB"] = extra_peak / s.iterations();
  s.counters["kept_MB"] = kept / s.iterations();
  if (!agent.log.str().empty()) s.SkipWithError(agent.log.str().c_str());
}
BENCHMARK(BM_InterestAccountRequest)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_StatementBacklog(benchmark::State& s) {
  Agent& agent = TheAgent();
  std::int64_t replies = 0;
  for (auto _ : s) {
    s.PauseTiming();
    {
      data::Transaction requests(*agent.other);
      for (int i = 0; i < kLoans; ++i) {
        agent.other->Execute("Insert into LoanStatement(SN,Accode,Date,Mobile,Request) values(" +
                             std::to_string(agent.next_statement++) + "," +
                             std::to_string(kFirstLoan + i) + ",'" + TheSite().today_ad +
                             "','9841000000','LS')");
      }
      requests.Commit();
    }
    s.ResumeTiming();
    while (Count(*agent.other, "Select count(*) from LoanStatement Where Message_Reply is null") !=
           0) {
      agent.form->Timer1_Timer();
    }
    replies += kLoans;
  }
  s.SetItemsProcessed(replies);
  if (!agent.log.str().empty()) s.SkipWithError(agent.log.str().c_str());
}
BENCHMARK(BM_StatementBacklog)->Iterations(2)->UseRealTime()->Unit(benchmark::kSecond);

void BM_AgentExecutable(benchmark::State& s) {
  const Site& site = TheSite();
  for (auto _ : s) {
    const fs::path folder = site.Folder("run");
    tools::AddRepairBacklog(folder / (std::string(kCatalog) + ".db"), 1000, 10000000,
                            site.today_bs);
    {
      auto main = data::OpenConnection(ConnectionString(folder));
      std::int64_t sn = Count(*main, "Select max(SN) from LoanStatement") + 1;
      data::Transaction requests(*main);
      for (int i = 0; i <= kLoans; ++i) {
        const std::int32_t accode = i < kLoans ? kFirstLoan + i : kInterestAccount;
        main->Execute("Insert into LoanStatement(SN,Accode,Date,Mobile,Request) values(" +
                      std::to_string(sn++) + "," + std::to_string(accode) + ",'" + site.today_ad +
                      "','9841000000','LS')");
      }
      requests.Commit();
    }
    fs::create_directories(folder / "home");
    const fs::path exe = test_support::ProgramFolder(folder).InstallExecutable();
    tools::WriteSettingsFile(folder, folder, kCatalog);  // replaces the folder's empty one
    host_test::AgentProcess agent(exe, {{"DISPLAY", ""}, {"HOME", (folder / "home").string()}},
                                  folder);
    if (!agent.started()) {
      s.SkipWithError("the agent did not start");
      break;
    }
    const auto launched = std::chrono::steady_clock::now();
    auto main = data::OpenConnection(ConnectionString(folder));
    const auto left = [&] {
      return Count(*main, "Select count(*) from LoanStatement Where Message_Reply is null") +
             Count(*main,
                   "Select count(*) from Master Where VOUCHER_NO>=10000000 and "
                   "VOUCHER_NO<20000000 and (Status='LoanR' and Acode is null or "
                   "Status='Deposit' and iDate is null)");
    };
    const bool done = agent.WaitFor([&] { return left() == 0; }, std::chrono::seconds(900));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - launched).count();
    const double peak = StatusMegabytes(std::to_string(agent.pid()), "VmHWM:");
    const double cpu = CpuSeconds(agent.pid());
    const host_test::AgentExit exit = agent.Stop(SIGTERM);
    if (!done || !host_test::WithoutActivity(exit.err).empty()) {
      s.SkipWithError(("the agent did not finish: " + exit.err).c_str());
      break;
    }
    s.SetIterationTime(seconds);
    s.counters["agent_cpu_s"] = cpu;
    s.counters["peak_MB"] = peak;
  }
  fs::remove_all(site.dir.path() / "run");
}
BENCHMARK(BM_AgentExecutable)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
