#ifndef MAV_TESTS_DATA_CONNECTION_CONTRACT_H_
#define MAV_TESTS_DATA_CONNECTION_CONTRACT_H_

// The behaviour every driver owes the rest of the system (connections, record sets on
// queries, Null, errors, transactions, quoting), written once and run on each driver.
// A driver joins by instantiating the suite with a factory:
//
//   INSTANTIATE_TEST_SUITE_P(
//       Odbc, ConnectionContract,
//       ::testing::Values(ConnectionFactory{"OdbcSqlite", [](const std::filesystem::path& f) {
//         return data::OpenOdbc("Driver=SQLite3;Database=" + f.string(), data::Dialect::kSqlite);
//       }}),
//       [](const auto& info) { return info.param.name; });

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "data/connection.h"
#include "tests/support/test_catalog.h"

struct ConnectionFactory {
  std::string name;  // test name suffix: letters and digits only
  // Opens a connection on the SQLite database file `file` (which does not exist yet; the
  // factory creates it). The file lies in a fresh temporary folder.
  std::function<std::unique_ptr<data::Connection>(const std::filesystem::path& file)> open;
};

inline void PrintTo(const ConnectionFactory& factory, std::ostream* os) { *os << factory.name; }

// Each test gets its own database file and connection.
class ConnectionContract : public ::testing::TestWithParam<ConnectionFactory> {
 protected:
  void SetUp() override {
    file_ = dir_.path() / "contract.db";
    connection_ = GetParam().open(file_);
  }

  data::Connection& connection() { return *connection_; }
  const std::filesystem::path& file() const { return file_; }

  // A second, independent connection on the same file.
  std::unique_ptr<data::Connection> OpenAnother() { return GetParam().open(file_); }

 private:
  test_support::TempDir dir_;
  std::filesystem::path file_;
  std::unique_ptr<data::Connection> connection_;
};

#endif  // MAV_TESTS_DATA_CONNECTION_CONTRACT_H_
