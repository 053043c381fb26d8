// The SMS pass on the large generated catalog (10,000 loans, one million Master rows) through
// the embedded driver, after the agent's own start-up (schema upgrade, the agent's indexes,
// loan settings):
// - BM_LoanStatementBacklog: one CheckSMS pass answering 10,000 pending LoanStatement
//   requests, one per loan, a tenth of them for loans never repaid; items per second are
//   replies per second.
// - BM_IdleTick: one tick of the agent (SMS customer number, gateway settings with the SIM
//   outbox open, CheckSMS with nothing pending, both ledger fix-up passes).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "calendar/bs_date.h"
#include "data/connection.h"
#include "host/agent_state.h"
#include "host/service_form.h"
#include "sms/sms_service.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

// Passes statements through and counts them.
class CountingConnection : public data::Connection {
 public:
  explicit CountingConnection(data::Connection& inner) : inner_(inner) {}
  std::int64_t Execute(const std::string& sql) override {
    ++statements;
    return inner_.Execute(sql);
  }
  data::QueryResult Query(const std::string& sql) override {
    ++statements;
    return inner_.Query(sql);
  }
  // Record sets read through here; forwarding keeps the driver's early stop and its
  // forward-only cursors.
  data::QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override {
    ++statements;
    return inner_.QueryFirstRows(sql, max_rows);
  }
  std::unique_ptr<data::Cursor> OpenCursor(const std::string& sql) override {
    ++statements;
    return inner_.OpenCursor(sql);
  }
  void BeginTransaction() override { inner_.BeginTransaction(); }
  void Commit() override { inner_.Commit(); }
  void Rollback() override { inner_.Rollback(); }
  data::Dialect dialect() const override { return inner_.dialect(); }
  std::string Describe() const override { return inner_.Describe(); }

  std::int64_t statements = 0;

 private:
  data::Connection& inner_;
};

constexpr int kLoans = 10000;
constexpr std::int32_t kFirstLoan = 100000;  // loan account codes of the generator
constexpr char kToday[] = "2081/06/15";
constexpr char kRequestDate[] = "2024/10/01";  // an AD date in BS 2081/06

struct Agent {
  Agent() {
    const std::filesystem::path folder = dir.path();
    tools::WriteLargeCatalog(folder / "Large.db", tools::LargeCatalog{kLoans, 1000000}, kToday);
    tools::WriteSmsOutbox(folder / "SMSData.mdb");
    tools::WriteSettingsFile(folder, folder, "Large");

    state.env.program_folder = folder;
    state.env.online = [] { return true; };
    state.env.now = [] { return std::chrono::system_clock::now(); };
    form = std::make_unique<host::ServiceForm>(state, log);
    form->Form_Load();

    data::Connection& main = *state.MainConnection;
    main.Execute("Delete from SMSDatabase");
    main.Execute("Insert into SMSDatabase(SN,[Database],[Password],dType,Customer_ID) values(1," +
                 data::SqlText((folder / "SMSData.mdb").string()) + ",'','SIM',0)");
    main.Execute("Delete from LoanStatement");
    data::Transaction requests(main);
    for (int i = 0; i < kLoans; ++i) {
      main.Execute("Insert into LoanStatement(SN,Accode,Date,Mobile,Request) values(" +
                   std::to_string(i + 1) + "," + std::to_string(kFirstLoan + i) + ",'" +
                   kRequestDate + "','9841000000','LS')");
    }
    requests.Commit();
  }

  sms::SmsContext Context() {
    sms::SmsContext c;
    c.MainConnection = state.MainConnection.get();
    c.DbName = state.DbName;
    c.CurFyear = state.CurFyear;
    c.loans = &state.loans;
    c.sms = &state.sms;
    c.GeTCurYear = [this](const std::string& date) { return form->GeTCurYear(date); };
    c.now = state.env.now;
    return c;
  }

  test_support::TempDir dir;
  host::AgentState state;
  std::ostringstream log;
  std::unique_ptr<host::ServiceForm> form;
};

Agent& TheAgent() {
  static Agent* const agent = new Agent();  // built once for the process
  return *agent;
}

void BM_LoanStatementBacklog(benchmark::State& state) {
  Agent& agent = TheAgent();
  sms::SmsContext context = agent.Context();
  data::Connection& main = *agent.state.MainConnection;
  std::int64_t replies = 0;
  CountingConnection counting(main);
  context.MainConnection = &counting;
  agent.state.loans.MainConnection = &counting;
  for (auto _ : state) {
    state.PauseTiming();
    main.Execute("Update LoanStatement set Message_Reply=Null");
    state.ResumeTiming();
    sms::CheckSMS(context);
    replies += kLoans;
  }
  const data::QueryResult left =
      main.Query("Select count(*) from LoanStatement where Message_Reply is null");
  if (left.rows[0][0].AsInt64() != 0) state.SkipWithError("requests left unanswered");
  state.SetItemsProcessed(replies);
  agent.state.loans.MainConnection = &main;
  state.counters["statements_per_reply"] =
      static_cast<double>(counting.statements) / static_cast<double>(replies);
}
BENCHMARK(BM_LoanStatementBacklog)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_IdleTick(benchmark::State& state) {
  Agent& agent = TheAgent();
  agent.form->Timer1_Timer();  // answers whatever is still pending
  for (auto _ : state) agent.form->Timer1_Timer();
  if (!agent.state.sms.SMSLocalReady) state.SkipWithError("the SIM outbox did not open");
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
