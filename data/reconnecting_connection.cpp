#include "data/reconnecting_connection.h"

#include <exception>
#include <memory>
#include <utility>

#include "base/agent_error.h"

namespace data {

ReconnectingConnection::ReconnectingConnection(std::unique_ptr<Connection> connection, Opener open,
                                               base::SteadyClock clock, Notice notice)
    : connection_(std::move(connection)),
      open_(std::move(open)),
      clock_(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      notice_(std::move(notice)) {
  if (connection_) {
    dialect_ = connection_->dialect();
    description_ = connection_->Describe();
    opened_ = 1;
  }
}

Connection& ReconnectingConnection::Current() {
  if (connection_) return *connection_;
  const auto now = clock_();
  if (!retry_.Ready(now)) {
    throw base::AgentError(base::kConnectionLost, lost_reason_.empty()
                                                      ? "The connection is closed"
                                                      : "Not connected: " + lost_reason_);
  }
  try {
    connection_ = open_();
  } catch (const base::AgentError& e) {
    retry_.Failed(now);
    lost_reason_ = e.Report();
    throw base::AgentError(base::kConnectionLost, "Not connected: " + lost_reason_);
  } catch (const std::exception& e) {
    retry_.Failed(now);
    lost_reason_ = e.what();
    throw base::AgentError(base::kConnectionLost, "Not connected: " + lost_reason_);
  }
  ++opened_;
  dialect_ = connection_->dialect();
  description_ = connection_->Describe();
  if (retry_.failures() > 0 || !lost_reason_.empty()) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - lost_at_);
    if (notice_) {
      notice_("Connection restored: " + description_ + " (out of reach for " +
              std::to_string(seconds.count()) + " s)");
    }
  }
  retry_.Succeeded();
  lost_reason_.clear();
  return *connection_;
}

void ReconnectingConnection::Lose(const std::string& reason) {
  const std::string what = description_.empty() ? "a database" : description_;
  connection_.reset();
  transaction_lost_ = transaction_open_;
  transaction_open_ = false;
  lost_at_ = clock_();
  retry_.Failed(lost_at_);
  lost_reason_ = reason;
  if (notice_) {
    notice_("Connection lost: " + what + ": " + reason +
            " (reopened with growing delays, from 1 s up to 1 min)");
  }
}

template <typename Call>
auto ReconnectingConnection::Use(Call call) {
  Connection& connection = Current();
  try {
    return call(connection);
  } catch (const base::AgentError& e) {
    if (base::IsConnectionError(e.number())) Lose(e.Report());
    throw;
  }
}

std::int64_t ReconnectingConnection::Execute(const std::string& sql) {
  return Use([&](Connection& c) { return c.Execute(sql); });
}

std::int64_t ReconnectingConnection::ExecuteDurably(const std::string& sql) {
  return Use([&](Connection& c) { return c.ExecuteDurably(sql); });
}

std::int64_t ReconnectingConnection::ExecuteUncounted(const std::string& sql) {
  return Use([&](Connection& c) { return c.ExecuteUncounted(sql); });
}

QueryResult ReconnectingConnection::Query(const std::string& sql) {
  return Use([&](Connection& c) { return c.Query(sql); });
}

QueryResult ReconnectingConnection::QueryFirstRows(const std::string& sql, std::int64_t max_rows) {
  return Use([&](Connection& c) { return c.QueryFirstRows(sql, max_rows); });
}

// A cursor of the connection that was open when it was opened: a connection error while it
// reads ends that connection, unless it was replaced meanwhile.
class ReconnectingConnection::WatchedCursor : public Cursor {
 public:
  WatchedCursor(ReconnectingConnection& owner, std::unique_ptr<Cursor> inner)
      : owner_(owner), inner_(std::move(inner)), opened_(owner.opened_) {
    columns_ = inner_->columns();
  }

  bool Next(std::vector<Value>& row) override {
    try {
      return inner_->Next(row);
    } catch (const base::AgentError& e) {
      if (base::IsConnectionError(e.number()) && owner_.connection_ && owner_.opened_ == opened_) {
        owner_.Lose(e.Report());
      }
      throw;
    }
  }

 private:
  ReconnectingConnection& owner_;
  std::unique_ptr<Cursor> inner_;
  std::uint64_t opened_;  // the owner's connection the cursor reads from
};

std::unique_ptr<Cursor> ReconnectingConnection::OpenCursor(const std::string& sql) {
  std::unique_ptr<Cursor> inner = Use([&](Connection& c) { return c.OpenCursor(sql); });
  return std::make_unique<WatchedCursor>(*this, std::move(inner));
}

std::optional<std::string> ReconnectingConnection::DataVersion() {
  const std::optional<std::string> version = Use([&](Connection& c) { return c.DataVersion(); });
  if (!version) return std::nullopt;
  return std::to_string(opened_) + "/" + *version;
}

void ReconnectingConnection::BeginTransaction() {
  Use([&](Connection& c) { c.BeginTransaction(); });
  transaction_open_ = true;
  transaction_lost_ = false;
}

void ReconnectingConnection::Commit() {
  if (transaction_lost_) {
    transaction_lost_ = false;
    throw base::AgentError(
        base::kConnectionLost,
        "Cannot commit: the transaction ended with the lost connection (" + lost_reason_ + ")");
  }
  Use([&](Connection& c) { c.Commit(); });
  transaction_open_ = false;
}

void ReconnectingConnection::Rollback() {
  transaction_lost_ = false;
  if (!connection_) return;  // the server rolled it back when the connection went
  Use([&](Connection& c) { c.Rollback(); });
  transaction_open_ = false;
}

std::string ReconnectingConnection::Describe() const {
  return connection_ ? connection_->Describe() : description_;
}

void ReconnectingConnection::ReopenIfReplaced() {
  if (!connection_ || !connection_->Replaced()) return;
  // The old connection goes first: closing the last connection of a file in WAL mode folds
  // its log into the old file and removes the log, which must not be read into the new one.
  connection_.reset();
  transaction_open_ = false;
  // Said only now that the old file is let go: a program that opens the new file while the
  // old connection still holds the shared log's index would read the old file's pages.
  if (notice_) notice_("Reopening " + description_ + ": the file was replaced or removed");
  try {
    Current();
  } catch (const base::AgentError&) {
    lost_at_ = clock_();
    if (notice_) {
      notice_("Connection lost: " + description_ + ": " + lost_reason_ +
              " (reopened with growing delays, from 1 s up to 1 min)");
    }
  }
}

}  // namespace data
