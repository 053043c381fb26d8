#ifndef MAV_TESTS_SCHEMA_SCHEMA_TEST_UTIL_H_
#define MAV_TESTS_SCHEMA_SCHEMA_TEST_UTIL_H_

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// Reads and changes an embedded catalog file straight through SQLite, beside the agent's own
// connection, so the checks do not depend on the code they check.
namespace schema_test {

class RawCatalog {
 public:
  explicit RawCatalog(const std::filesystem::path& file) {
    if (sqlite3_open_v2(file.string().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + file.string());
    }
    sqlite3_busy_timeout(db_, 5000);
  }
  ~RawCatalog() { sqlite3_close_v2(db_); }
  RawCatalog(const RawCatalog&) = delete;
  RawCatalog& operator=(const RawCatalog&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message != nullptr ? message : "";
      sqlite3_free(message);
      throw std::runtime_error(text + " in: " + sql);
    }
  }

  // Every row of a query, each value as text ("<null>" for Null).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    }
    std::vector<std::vector<std::string>> rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        row.push_back(sqlite3_column_type(stmt, i) == SQLITE_NULL
                          ? "<null>"
                          : std::string(text, sqlite3_column_bytes(stmt, i)));
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
  }

  // The first value of a query's first row.
  std::string Scalar(const std::string& sql) {
    const auto rows = Rows(sql);
    if (rows.empty() || rows.front().empty()) {
      throw std::runtime_error("no row: " + sql);
    }
    return rows.front().front();
  }

  bool HasTable(const std::string& table) {
    return Scalar(
               "select count(*) from sqlite_master where type in ('table','view') and "
               "lower(name)=lower('" +
               table + "')") != "0";
  }

  // Column names of a table in declaration order.
  std::vector<std::string> Columns(const std::string& table) {
    std::vector<std::string> names;
    for (const auto& row : Rows("select name from pragma_table_info('" + table + "')")) {
      names.push_back(row.front());
    }
    return names;
  }

  bool HasColumn(const std::string& table, const std::string& column) {
    return Scalar("select count(*) from pragma_table_info('" + table +
                  "') where lower(name)=lower('" + column + "')") != "0";
  }

  // The whole catalog as text: every table's definition and rows in rowid order.
  std::string Dump() {
    std::string out;
    for (const auto& table :
         Rows("select name, sql from sqlite_master where type='table' order by name")) {
      out += table[1] + "\n";
      for (const auto& row : Rows("select * from [" + table[0] + "] order by rowid")) {
        for (const auto& value : row) {
          out += value + "|";
        }
        out += "\n";
      }
    }
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace schema_test

#endif  // MAV_TESTS_SCHEMA_SCHEMA_TEST_UTIL_H_
