// Opening a one-row query by key through the embedded driver: the agent's commonest access
// (an account's settings, its subledger, its loan row), on an accounts table of one million
// rows with an index on the key. The figure includes the dialect rewrite, statement
// compilation, the index lookup and the materialised record set.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "data/connection.h"
#include "data/record_set.h"
#include "tests/support/test_catalog.h"

namespace {

constexpr std::int64_t kAccounts = 1'000'000;

// One catalog for all runs of the process: filling it takes a few seconds.
struct BigCatalog {
  BigCatalog() : catalog(dir.path(), "Bench") {
    // Filled with one statement on the raw file: a million separate inserts through the
    // driver would measure nothing of interest and take far longer.
    sqlite3* db = nullptr;
    if (sqlite3_open((dir.path() / "Bench.db").string().c_str(), &db) != SQLITE_OK) {
      throw std::runtime_error("cannot open the bench catalog");
    }
    const char* fill =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
        "INSERT INTO Acc(ACCODE,Mid,subCode,Name,Alias,Nalias,OpenDate,Status) "
        "SELECT i, i % 5000, 100 + i % 40, 'Member ' || i, 'M' || i, '===', '2075/04/01', "
        "'Active' FROM n;"
        "CREATE INDEX AccByCode ON Acc(ACCODE);";
    char* error = nullptr;
    if (sqlite3_exec(db, fill, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : "";
      sqlite3_free(error);
      sqlite3_close(db);
      throw std::runtime_error("cannot fill the bench catalog: " + message);
    }
    sqlite3_close(db);
    connection = data::OpenConnection(catalog.ConnectionString());
  }

  test_support::TempDir dir;
  test_support::TestCatalog catalog;
  std::unique_ptr<data::Connection> connection;
};

BigCatalog& Catalog() {
  static BigCatalog* const catalog = new BigCatalog();  // built once, kept for the process
  return *catalog;
}

// "Select Subcode from Acc where Accode=" + accode, as the account lookups run it.
void BM_OpenOneRowByKey(benchmark::State& state) {
  data::Connection& connection = *Catalog().connection;
  std::mt19937_64 random(42);
  std::uniform_int_distribution<std::int64_t> key(1, kAccounts);
  std::int64_t sum = 0;
  for (auto _ : state) {
    data::RecordSet rs;
    rs.Open(connection, "Select Subcode from Acc where Accode=" + std::to_string(key(random)));
    if (!rs.Eof()) sum += rs.Field(0).AsInt32();
    rs.Close();
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_OpenOneRowByKey)->Unit(benchmark::kMicrosecond);

// The whole row ("Select * from ..."), as the loan routines read their Amortization row.
void BM_OpenWholeRowByKey(benchmark::State& state) {
  data::Connection& connection = *Catalog().connection;
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::int64_t> key(1, kAccounts);
  for (auto _ : state) {
    data::RecordSet rs;
    rs.Open(connection, "Select * from Acc where Accode=" + std::to_string(key(random)));
    benchmark::DoNotOptimize(rs.Field("Name").AsText());
  }
}
BENCHMARK(BM_OpenWholeRowByKey)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
