#ifndef MAV_TESTS_SUPPORT_FAULTY_CONNECTION_H_
#define MAV_TESTS_SUPPORT_FAULTY_CONNECTION_H_

// A connection that forwards every call to a real one and fails a chosen call, for tests of
// what a failure leaves behind:
//
//   test_support::FaultPlan plan;
//   plan.Fail(2, test_support::Fault::kConnectionLost, "Update LoanSMS");  // 2nd such call
//   test_support::FaultyConnection main(catalog.connection(), plan);

#include <cstdint>
#include <memory>
#include <string>

#include "base/agent_error.h"
#include "data/connection.h"

namespace test_support {

// Thrown for Fault::kCrash. It stands for the process ending at that moment: it is no
// std::exception, so no handler of the agent catches it and nothing after it runs.
struct SimulatedCrash {};

enum class Fault {
  kConnectionLost,  // AgentError kConnectionLost, before the statement runs
  kRefused,         // AgentError kDatabaseError, before the statement runs
  kZeroRows,        // Execute runs nothing and reports that no row changed
  kCrash,           // SimulatedCrash, after the statement ran
};

// Which call fails. Calls are counted from 1 among those whose SQL text holds `only`
// (every call when empty); Execute, ExecuteDurably, Query and QueryFirstRows count.
struct FaultPlan {
  int fail_at = 0;  // 0: none
  Fault fault = Fault::kRefused;
  std::string only;
  bool down = false;  // every call fails with kConnectionLost (the database is out of reach)
  int calls = 0;      // counted calls so far

  void Fail(int nth, Fault f, std::string containing = "") {
    fail_at = nth;
    fault = f;
    only = std::move(containing);
    calls = 0;
  }
};

class FaultyConnection : public data::Connection {
 public:
  // Forwards to `inner`, which must outlive this object.
  FaultyConnection(data::Connection& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
  // Forwards to `inner`, which it owns.
  FaultyConnection(std::unique_ptr<data::Connection> inner, FaultPlan& plan)
      : owned_(std::move(inner)), inner_(*owned_), plan_(plan) {}
  // Dropped (after a connection error) with a transaction open: as a closed connection's,
  // the transaction goes, also on a real connection the test goes on using.
  ~FaultyConnection() override {
    if (!transaction_open_) return;
    try {
      inner_.Rollback();
    } catch (const base::AgentError&) {
    }
  }

  std::int64_t Execute(const std::string& sql) override {
    return Call(sql, true, [&] { return inner_.Execute(sql); });
  }
  std::int64_t ExecuteDurably(const std::string& sql) override {
    return Call(sql, true, [&] { return inner_.ExecuteDurably(sql); });
  }
  data::QueryResult Query(const std::string& sql) override {
    return Call(sql, false, [&] { return inner_.Query(sql); });
  }
  data::QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override {
    return Call(sql, false, [&] { return inner_.QueryFirstRows(sql, max_rows); });
  }
  void BeginTransaction() override {
    inner_.BeginTransaction();
    transaction_open_ = true;
  }
  void Commit() override {
    inner_.Commit();
    transaction_open_ = false;
  }
  void Rollback() override {
    transaction_open_ = false;
    inner_.Rollback();
  }
  data::Dialect dialect() const override { return inner_.dialect(); }
  std::string Describe() const override { return "faulty " + inner_.Describe(); }
  bool Replaced() const override { return inner_.Replaced(); }

 private:
  template <typename Run>
  auto Call(const std::string& sql, bool execute, Run run) -> decltype(run()) {
    if (plan_.down) throw base::AgentError(base::kConnectionLost, "out of reach: " + sql);
    const bool counted = plan_.only.empty() || sql.find(plan_.only) != std::string::npos;
    if (!counted || plan_.fail_at == 0 || ++plan_.calls != plan_.fail_at) return run();
    switch (plan_.fault) {
      case Fault::kConnectionLost:
        throw base::AgentError(base::kConnectionLost, "connection lost in: " + sql);
      case Fault::kRefused:
        throw base::AgentError(base::kDatabaseError, "refused: " + sql);
      case Fault::kZeroRows:
        if (execute) return decltype(run()){};
        return run();
      case Fault::kCrash:
        run();
        throw SimulatedCrash{};
    }
    return run();
  }

  std::unique_ptr<data::Connection> owned_;
  data::Connection& inner_;
  FaultPlan& plan_;
  bool transaction_open_ = false;
};

}  // namespace test_support

#endif  // MAV_TESTS_SUPPORT_FAULTY_CONNECTION_H_
