// The Jet file driver (each open and each query runs a reader child that copies the tables
// the query names out of the file) and the ODBC driver (through the SQLite ODBC driver).
// The Jet figures add the reader children's processor time as the counter reader_cpu_us
// (microseconds per iteration): the benchmark's own CPU column counts this process only.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>
#include <memory>
#include <string>

#include "data/connection.h"
#include "data/drivers.h"
#include "tests/support/test_catalog.h"

namespace {

std::string JetConnectionString(const std::string& name) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
         (std::filesystem::path(MAV_TEST_DATA_DIR) / "jet" / name).string() +
         ";Persist Security Info=false;Jet OLEDB:Database Password=password";
}

// Processor time of the finished child processes so far, in microseconds.
double ChildrenCpuMicroseconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec +
         usage.ru_stime.tv_usec;
}

// Reports the children's processor time since `start` per iteration.
void CountReaderCpu(benchmark::State& state, double start) {
  state.counters["reader_cpu_us"] =
      benchmark::Counter(ChildrenCpuMicroseconds() - start, benchmark::Counter::kAvgIterations);
}

void BM_JetOpen(benchmark::State& state) {
  const std::string cs = JetConnectionString("V2003_with-password.mdb");
  const double start = ChildrenCpuMicroseconds();
  for (auto _ : state) benchmark::DoNotOptimize(data::OpenConnection(cs));
  CountReaderCpu(state, start);
}
BENCHMARK(BM_JetOpen)->Unit(benchmark::kMicrosecond);

// The outbox's "select max([SN]) as MM from [Send]", on a three-row table.
void BM_JetMaxQuery(benchmark::State& state) {
  auto connection = data::OpenConnection(JetConnectionString("V2003_with-password.mdb"));
  const double start = ChildrenCpuMicroseconds();
  for (auto _ : state) {
    benchmark::DoNotOptimize(connection->Query("select max([ID]) as MM from [Table1]"));
  }
  CountReaderCpu(state, start);
}
BENCHMARK(BM_JetMaxQuery)->Unit(benchmark::kMicrosecond);

// The settings file's "=true" filter, on a one-row table of 74 columns with memo and OLE data.
void BM_JetBooleanFilter(benchmark::State& state) {
  auto connection = data::OpenConnection(JetConnectionString("test2V2003.mdb"));
  const double start = ChildrenCpuMicroseconds();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        connection->Query("Select * from MSP_PROJECTS Where [PROJ_OPT_CALC_ACT_COSTS]=true"));
  }
  CountReaderCpu(state, start);
}
BENCHMARK(BM_JetBooleanFilter)->Unit(benchmark::kMicrosecond);

// One row by key from an indexed table of 100000 rows, through ODBC.
void BM_OdbcQueryByKey(benchmark::State& state) {
  test_support::TempDir dir;
  const std::string cs = "Driver=SQLite3;Database=" + (dir.path() / "odbc.db").string();
  auto connection = data::OpenOdbc(cs, data::Dialect::kSqlite);
  connection->Execute("Create Table Acc(ACCODE int primary key, Name varchar(60))");
  connection->BeginTransaction();
  for (int code = 1; code <= 100000; ++code) {
    connection->Execute("Insert Into Acc Values(" + std::to_string(code) + ",'Member " +
                        std::to_string(code) + "')");
  }
  connection->Commit();
  int code = 0;
  for (auto _ : state) {
    code = code % 100000 + 1;
    benchmark::DoNotOptimize(
        connection->Query("Select Name from Acc Where ACCODE=" + std::to_string(code)));
  }
}
BENCHMARK(BM_OdbcQueryByKey)->Unit(benchmark::kMicrosecond);

void BM_OdbcOpen(benchmark::State& state) {
  test_support::TempDir dir;
  const std::string cs = "Driver=SQLite3;Database=" + (dir.path() / "odbc.db").string();
  data::OpenOdbc(cs, data::Dialect::kSqlite)->Execute("Create Table T(A int)");
  for (auto _ : state) benchmark::DoNotOptimize(data::OpenOdbc(cs, data::Dialect::kSqlite));
}
BENCHMARK(BM_OdbcOpen)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
