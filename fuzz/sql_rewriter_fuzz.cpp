// The SQL Server to SQLite rewriter on any text, its output prepared by an in-memory SQLite
// that holds the tables the agent's statements name, so that SQLite's parser sees what the
// rewriter makes of them.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/sql_dialect.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string rewritten = data::RewriteForSqlite(fuzz::Text(data, size));
  sqlite3* db = Database();
  const char* tail = rewritten.c_str();
  const char* const end = tail + rewritten.size();
  while (tail < end) {
    sqlite3_stmt* stmt = nullptr;
    const char* next = nullptr;
    sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &stmt, &next);
    sqlite3_finalize(stmt);
    if (next == nullptr || next <= tail) break;
    tail = next;
  }
  return 0;
}
