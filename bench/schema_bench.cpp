// Time of the schema upgrade at start on a large catalog.
//
// BM_UpgradeOldCatalog: an old catalog (the accounting application's tables only) with one
// million Master rows brought to the current level: every step runs, and the new Master
// columns are added and BranchID is filled on every row.
// BM_StartOnCurrentCatalog: the same catalog once upgraded; a start runs only the probes and
// the Nalias step.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "data/connection.h"
#include "schema/schema_upgrade.h"
#include "tests/support/test_catalog.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMasterRows = 1000000;
constexpr int kAccounts = 20000;

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : "";
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

// Fills the old catalog file with ledger rows, accounts and one settings row.
void FillLargeCatalog(const fs::path& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
    throw std::runtime_error("open");
  }
  Exec(db, "begin");
  Exec(db,
       "with recursive n(i) as (select 1 union all select i + 1 from n where i < 1000000) "
       "insert into Master(CODE, VOUCHER_NO, Fyear, Date, Status, Vtype, Debit, Credit, "
       "Index_Rec, Particular) "
       "select 1000 + i % 20000, i, 3, '2081/' || printf('%02d', 1 + i % 12) || '/15', "
       "'Posted', 'Loan Payment', i % 500, 0, i, 'Installment' from n");
  Exec(db,
       "with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
       "insert into Acc(ACCODE, Mid, subCode, Name, Alias, Nalias) "
       "select 1000 + i, i, 5, 'Member ' || i, 'M' || i, case when i % 2 = 0 then null else "
       "'N' || i end from n");
  Exec(db, "insert into OtherSetting(SN, p1, p2, p3) values(1, 12, 2, 1)");
  Exec(db, "commit");
  Exec(db, "pragma wal_checkpoint(truncate)");
  sqlite3_close(db);
}

// The template catalog, built once: <template>/MavData2075.db.
const fs::path& Template() {
  static const fs::path folder = [] {
    fs::path path = fs::temp_directory_path() / "mav-schema-bench-template";
    fs::remove_all(path);
    fs::create_directories(path);
    { test_support::TestCatalog catalog(path); }
    FillLargeCatalog(path / "MavData2075.db");
    return path;
  }();
  return folder;
}

// A copy of the template in a fresh folder.
void CopyTemplate(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  fs::copy_file(Template() / "MavData2075.db", folder / "MavData2075.db");
}

void Upgrade(const fs::path& folder) {
  const std::string server = "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;";
  auto main =
      data::OpenConnection(server + "Initial Catalog=MavData2075;Data Source=" + folder.string());
  std::unique_ptr<data::Connection> master;
  schema::UpgradeContext context;
  context.MainConnection = main.get();
  context.OpenMasterConnection = [&] {
    return data::OpenConnection(server + "Initial Catalog=Master;Data Source=" + folder.string());
  };
  context.MasterConnection = &master;
  context.FallbackStartDate = "2081/05/10";
  schema::RunUpgradeSteps(context, 1, 3);
  schema::RunUpgradeSteps(context, 4, schema::LastUpgradeStep());
}

void BM_UpgradeOldCatalog(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / "mav-schema-bench-run";
  for (auto _ : state) {
    state.PauseTiming();
    CopyTemplate(folder);
    state.ResumeTiming();
    Upgrade(folder);
  }
  state.counters["master_rows"] = kMasterRows;
  fs::remove_all(folder);
}
BENCHMARK(BM_UpgradeOldCatalog)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_StartOnCurrentCatalog(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / "mav-schema-bench-current";
  CopyTemplate(folder);
  Upgrade(folder);
  for (auto _ : state) {
    Upgrade(folder);
  }
  state.counters["accounts"] = kAccounts;
  fs::remove_all(folder);
}
BENCHMARK(BM_StartOnCurrentCatalog)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
