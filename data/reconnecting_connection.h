#ifndef MAV_DATA_RECONNECTING_CONNECTION_H_
#define MAV_DATA_RECONNECTING_CONNECTION_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/backoff.h"
#include "data/connection.h"

namespace data {

// A connection that outlives the loss of its database, for connections the agent keeps for
// months (the accounting catalog): a server restart or a network break must not need a
// restart of the agent.
//
// When a statement fails with a connection error (base::IsConnectionError), the connection
// is dropped and the error travels on to the caller, which stops the work that needed it.
// From then on every call fails at once with kConnectionLost, without touching the network,
// until the retry delay has passed (1 s, doubling up to 1 min); the next call then opens the
// connection again. The loss is reported once through `notice`, and so is the recovery.
// A transaction that was open when the connection was lost is gone: Commit fails and
// Rollback does nothing.
class ReconnectingConnection : public Connection {
 public:
  using Opener = std::function<std::unique_ptr<Connection>()>;
  using Notice = std::function<void(const std::string& line)>;

  // `connection` is the one the caller opened (null: opened at the first call). `open`
  // opens it again, throwing on failure. `clock` times the retries (the steady clock when
  // empty); `notice` receives the lines for the log (may be empty).
  ReconnectingConnection(std::unique_ptr<Connection> connection, Opener open,
                         base::SteadyClock clock, Notice notice);

  std::int64_t Execute(const std::string& sql) override;
  std::int64_t ExecuteDurably(const std::string& sql) override;
  std::int64_t ExecuteUncounted(const std::string& sql) override;
  QueryResult Query(const std::string& sql) override;
  QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override;
  // A connection error while the cursor reads counts as a loss, as for any statement.
  std::unique_ptr<Cursor> OpenCursor(const std::string& sql) override;
  // The open connection's version, marked with the number of times it was opened: a
  // connection opened again starts a new series.
  std::optional<std::string> DataVersion() override;
  void BeginTransaction() override;
  void Commit() override;
  void Rollback() override;
  Dialect dialect() const override { return dialect_; }  // of the last open connection
  std::string Describe() const override;

  // Opens the connection again at once when its file was replaced or removed (see
  // Connection::Replaced); a failure counts as a loss. Never throws. Meant for the start of
  // every tick: a replaced catalog file is never seen by a statement.
  void ReopenIfReplaced();

  bool connected() const { return connection_ != nullptr; }

 private:
  class WatchedCursor;

  Connection& Current();
  void Lose(const std::string& reason);
  template <typename Call>
  auto Use(Call call);

  std::unique_ptr<Connection> connection_;
  Opener open_;
  base::SteadyClock clock_;
  Notice notice_;
  Dialect dialect_ = Dialect::kSqlServer;
  std::string description_;  // Describe() of the last open connection
  base::Backoff retry_ = base::ConnectionBackoff();
  std::chrono::steady_clock::time_point lost_at_{};
  std::string lost_reason_;  // the error that ended the connection, for the calls after it
  bool transaction_open_ = false;
  bool transaction_lost_ = false;  // a transaction was open when the connection went
  std::uint64_t opened_ = 0;       // connections opened so far, the first one included
};

}  // namespace data

#endif  // MAV_DATA_RECONNECTING_CONNECTION_H_
