// One loan's figures for an SMS reply: CalcLoanDues (plan, overdue principal, penal, paid-up-to
// date) plus GetAgeingInterest (interest on the ledger balance), on the large generated
// catalog: 10,000 loans and one million Master rows, through the embedded driver, with the
// indexes the agent creates at start-up. Each iteration takes the next loan, so the figure is
// not one account's cached pages. The counters give the queries one loan issues.
// - BM_LoanFigures: loans that are being repaid.
// - BM_NeverPaidLoanFigures: loans never repaid (a tenth of the catalog's), whose paid-up-to
//   date comes from the first rows of the loan's and the interest-income account's ledgers
//   together (about 380,000 rows).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "data/connection.h"
#include "loans/balance_ageing.h"
#include "loans/loan_dues.h"
#include "loans/loan_state.h"
#include "schema/agent_indexes.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace {

constexpr int kLoans = 10000;
constexpr std::int32_t kFirstLoan = 100000;  // loan account codes of the generator
constexpr char kToday[] = "2081/06/15";

// Passes statements through and counts them.
class CountingConnection : public data::Connection {
 public:
  explicit CountingConnection(std::unique_ptr<data::Connection> inner) : inner_(std::move(inner)) {}

  std::int64_t Execute(const std::string& sql) override {
    ++statements;
    return inner_->Execute(sql);
  }
  data::QueryResult Query(const std::string& sql) override {
    ++statements;
    return inner_->Query(sql);
  }
  data::QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override {
    ++statements;
    return inner_->QueryFirstRows(sql, max_rows);
  }
  std::unique_ptr<data::Cursor> OpenCursor(const std::string& sql) override {
    ++statements;
    return inner_->OpenCursor(sql);
  }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  data::Dialect dialect() const override { return inner_->dialect(); }
  std::string Describe() const override { return inner_->Describe(); }

  std::int64_t statements = 0;

 private:
  std::unique_ptr<data::Connection> inner_;
};

struct LargeCatalog {
  LargeCatalog() {
    const std::filesystem::path file = dir.path() / "Large.db";
    tools::WriteLargeCatalog(file, tools::LargeCatalog{kLoans, 1000000}, kToday);
    connection = std::make_unique<CountingConnection>(data::OpenConnection(
        "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial Catalog=Large;"
        "Data Source=" +
        dir.path().string()));
    schema::CreateAgentIndexes(*connection, std::cerr);
  }

  test_support::TempDir dir;
  std::unique_ptr<CountingConnection> connection;
};

LargeCatalog& Catalog() {
  static LargeCatalog* const catalog = new LargeCatalog();  // built once for the process
  return *catalog;
}

void BM_LoanFigures(benchmark::State& state) {
  LargeCatalog& catalog = Catalog();
  loans::LoanState loan_state;
  loan_state.MainConnection = catalog.connection.get();
  loan_state.settings.LPeriod = 365;
  loan_state.settings.p1 = 2;
  loan_state.settings.p2 = 3;
  loan_state.settings.p3 = 4;
  loan_state.settings.PLOn = 1;
  loan_state.settings.PLGrace = 5;
  const std::string as_of = kToday;
  const std::int64_t statements_before = catalog.connection->statements;
  std::int64_t loans = 0, next = 0;
  double total = 0;
  for (auto _ : state) {
    // Loans i % 10 == 9 were never repaid: the next benchmark's.
    std::int32_t i = static_cast<std::int32_t>(next++ % kLoans);
    if (i % 10 == 9) i = static_cast<std::int32_t>(next++ % kLoans);
    ++loans;
    const std::int32_t accode = kFirstLoan + i;
    loan_state.OverdueInstallments = 0;
    total += loans::CalcLoanDues(loan_state, accode, as_of, 14);
    total += loans::GetAgeingInterest(loan_state, accode, as_of, 14);
  }
  benchmark::DoNotOptimize(total);
  state.counters["queries_per_loan"] =
      static_cast<double>(catalog.connection->statements - statements_before) /
      static_cast<double>(loans);
}
BENCHMARK(BM_LoanFigures)->Unit(benchmark::kMicrosecond);

void BM_NeverPaidLoanFigures(benchmark::State& state) {
  LargeCatalog& catalog = Catalog();
  loans::LoanState loan_state;
  loan_state.MainConnection = catalog.connection.get();
  loan_state.settings.LPeriod = 365;
  const std::string as_of = kToday;
  const std::int64_t statements_before = catalog.connection->statements;
  std::int64_t loans = 0;
  double total = 0;
  for (auto _ : state) {
    const std::int32_t accode =
        kFirstLoan + 9 + 10 * static_cast<std::int32_t>(loans++ % (kLoans / 10));
    total += loans::CalcLoanDues(loan_state, accode, as_of, 14);
    total += loans::GetAgeingInterest(loan_state, accode, as_of, 14);
  }
  benchmark::DoNotOptimize(total);
  state.counters["queries_per_loan"] =
      static_cast<double>(catalog.connection->statements - statements_before) /
      static_cast<double>(loans);
}
BENCHMARK(BM_NeverPaidLoanFigures)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
