// The SQL Server to SQLite rewriter on any text, its output prepared by an in-memory SQLite
// that holds the tables the agent's statements name, so that SQLite's parser sees what the
// rewriter makes of them; then the same for the rewritten text with its values taken out
// as parameters, and for that text with its groups in the order of its sorting, as the
// driver compiles it.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/sql_dialect.h"
#include "data/sql_parameters.h"
#include "fuzz/fuzz_util.h"

namespace {

sqlite3* Database() {
  static sqlite3* const db = [] {
    sqlite3* d = nullptr;
    sqlite3_open(":memory:", &d);
    sqlite3_exec(d,
                 "CREATE TABLE Master(Acode INT, Status TEXT, Fyear INT, iDate TEXT, Date TEXT,"
                 " eDate TEXT, VOUCHER_NO INT, CODE INT, PaidUpto TEXT, Dr REAL, Cr REAL);"
                 "CREATE TABLE Acc(ACCODE INT, subCode INT, Name TEXT, Alias TEXT);"
                 "CREATE TABLE LoanSMS(SN INT, Accode INT, Mobile TEXT, Date TEXT, Reply INT,"
                 " Send TEXT, Fyear INT);"
                 "CREATE TABLE Settings(Using BOOLEAN, ServerName TEXT, Dbase TEXT);",
                 nullptr, nullptr, nullptr);
    return d;
  }();
  return db;
}

void PrepareAll(sqlite3* db, const std::string& sql) {
  const char* tail = sql.c_str();
  const char* const end = tail + sql.size();
  while (tail < end) {
    sqlite3_stmt* stmt = nullptr;
    const char* next = nullptr;
    sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &stmt, &next);
    sqlite3_finalize(stmt);
    if (next == nullptr || next <= tail) break;
    tail = next;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string rewritten = data::RewriteForSqlite(fuzz::Text(data, size));
  PrepareAll(Database(), rewritten);
  const std::string parameterized = data::ParameterizeForSqlite(rewritten).text;
  PrepareAll(Database(), parameterized);
  PrepareAll(Database(), data::GroupInSortOrderForSqlite(parameterized));
  return 0;
}
