// The embedded driver: an SQLite database file through libsqlite3's C API.
//
// Every statement is first rewritten from the agent's SQL Server text into SQLite's dialect
// (RewriteForSqlite). A rewritten text may hold several statements (a multi-column
// "Alter Table ... Add a ..., b ..." becomes one ALTER per column); they run as one unit, so
// either all of them take effect or none, as the single statement would on the server.
// A single statement is compiled once and kept; its whole numbers and texts are taken out
// as parameters first (ParameterizeForSqlite), because the agent sends the same statements
// with other values many times over and compiling one costs more than running it.
//
// Journal mode: write-ahead log (WAL). The catalog is shared with the accounting application
// and other programs that read and write it while the agent does. In WAL mode readers never
// block the writer and the writer never blocks readers; only writers wait for each other,
// and the busy timeout below makes them wait instead of failing at once. With the default
// rollback journal a commit must wait until no reader is active and shuts readers out while
// it writes, so a long report in the accounting application would stall the agent's updates
// (and the agent's updates would fail its readers with "database is locked" once the timeout
// ran out). WAL needs every user of the file on the same machine (it uses shared memory),
// which holds for a catalog folder on the local disk; the mode is stored in the file, so the
// other programs use it too.
//
// Cursors (OpenCursor) step their statement as rows are asked for. An unfinished statement
// keeps its read snapshot, so a cursor is meant to be read and let go within one unit of
// work; the connection finalizes the statements of the cursors still open when it closes.

#include <sqlite3.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/file_identity.h"
#include "data/sql_dialect.h"
#include "data/sql_parameters.h"

namespace data {
namespace {

// How long a statement waits for another program's write lock before it fails with
// "database is locked". Milliseconds.
constexpr int kBusyTimeoutMs = 5000;

// Compiled statements kept for reuse, most recently used first. A reply runs some of its
// queries twice and every query recurs for every reply with other values; compiling each
// once saves most of its cost.
constexpr std::size_t kCachedStatements = 64;
// Texts as sent whose shapes are remembered; all are forgotten when there are more.
constexpr std::size_t kRememberedTexts = 256;

// Result codes that mean the file itself is out of reach: it cannot be opened (removed,
// permissions), reading or writing it fails, or it is not a database (any more). Every
// later statement would fail the same way, so these end the work on the connection.
// A file moved or deleted while open (SQLITE_READONLY_DBMOVED) counts too: the connection
// writes into a file nobody else sees any more, so it is closed and the name opened again.
bool IsConnectionFailure(int extended_code) {
  const int primary = extended_code & 0xff;
  return primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR || primary == SQLITE_NOTADB ||
         extended_code == SQLITE_READONLY_DBMOVED || extended_code == SQLITE_READONLY_DIRECTORY;
}

// Another connection holds the lock this statement needed for longer than the busy timeout.
bool IsBusy(int extended_code) {
  const int primary = extended_code & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// "SQLite error 1 (SQL logic error): no such table: Foo".
std::string DriverMessage(sqlite3* db, int code) {
  const int extended = db != nullptr ? sqlite3_extended_errcode(db) : code;
  const char* message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return "SQLite error " + std::to_string(extended) + " (" + sqlite3_errstr(extended) +
         "): " + (message != nullptr ? message : "");
}

// Owns a prepared statement.
struct StatementDeleter {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

Value ColumnValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
      return Value(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      return Value(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
      return Value(bytes != nullptr ? std::string(bytes, size) : std::string());
    }
    default:
      return Value();  // SQLITE_NULL
  }
}

class SqliteCursor;

class SqliteConnection : public Connection {
 public:
  // `lazy_sync`: the file is in WAL mode with synchronous=NORMAL (see OpenSqliteFile).
  SqliteConnection(sqlite3* db, std::filesystem::path file, bool lazy_sync)
      : db_(db), file_(std::move(file)), identity_(IdentifyFile(file_)), lazy_sync_(lazy_sync) {}
  ~SqliteConnection() override {
    DetachCursors();
    cache_.clear();  // statements are finalized before their connection closes
    recent_.clear();
    // A file replaced under a connection in WAL mode leaves that connection's log behind
    // under the name the new file's log will have: SQLite keeps the log of a moved file when
    // it closes, and whoever opens the new file next would read the old file's pages from it.
    // Folding the log into the old file and emptying it first leaves nothing to read.
    if (Replaced()) {
      sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db_);
  }

  std::int64_t Execute(const std::string& sql) override { return Run(sql, nullptr); }

  std::int64_t ExecuteDurably(const std::string& sql) override {
    if (!lazy_sync_) return Execute(sql);
    // FULL makes this commit sync the log (and with it every commit before it).
    RunPlain("PRAGMA synchronous=FULL", nullptr);
    struct Restore {
      sqlite3* db;
      ~Restore() { sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr); }
    } restore{db_};
    return Execute(sql);
  }

  QueryResult Query(const std::string& sql) override {
    QueryResult result;
    Run(sql, &result);
    return result;
  }

  QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override {
    max_rows_ = max_rows;
    QueryResult result;
    try {
      // A single SELECT that sorts a long result only to have its first rows read is told
      // so: SQLite then keeps the top rows while it scans instead of sorting them all, and
      // an In list is read value by value (LimitForSqlite). The rewritten text runs as it
      // is (rewriting it again changes nothing). Without a limit the text goes straight to
      // the statement cache.
      std::string limited;
      if (max_rows > 0) {
        const std::string& rewritten = ShapeOf(sql).rewritten;
        if (IsPlainSelect(rewritten)) limited = LimitForSqlite(rewritten, max_rows);
      }
      Run(limited.empty() ? sql : limited, &result);
    } catch (...) {
      max_rows_ = 0;
      throw;
    }
    max_rows_ = 0;
    return result;
  }

  std::unique_ptr<Cursor> OpenCursor(const std::string& sql) override;

  std::optional<std::string> DataVersion() override {
    // data_version moves when another connection commits (in this process or another), never
    // for this connection's own commits, which the count of rows it changed tells instead;
    // schema_version moves with every change of the schema, whoever made it.
    QueryResult result;
    Run("SELECT data_version, schema_version FROM pragma_data_version, pragma_schema_version",
        &result);
    if (result.rows.size() != 1 || result.rows[0].size() != 2) return std::nullopt;
    return result.rows[0][0].AsText() + ":" + result.rows[0][1].AsText() + ":" +
           std::to_string(sqlite3_total_changes64(db_) - uncounted_changes_);
  }

  std::int64_t ExecuteUncounted(const std::string& sql) override {
    const sqlite3_int64 before = sqlite3_total_changes64(db_);
    struct Discount {
      sqlite3* db;
      sqlite3_int64 before;
      std::int64_t& uncounted;
      ~Discount() { uncounted += sqlite3_total_changes64(db) - before; }
    } discount{db_, before, uncounted_changes_};
    return Execute(sql);
  }

  void BeginTransaction() override {
    // IMMEDIATE takes the write lock now (waiting up to the busy timeout). A deferred
    // transaction that reads first and writes later fails at once with "database is locked"
    // when another program wrote in between, and no timeout can help it.
    RunPlain("BEGIN IMMEDIATE", nullptr);
  }

  void Commit() override { RunPlain("COMMIT", nullptr); }

  void Rollback() override {
    // Some failures (a full disk, an interrupted write) make SQLite roll back the whole
    // transaction itself; there is then nothing left to roll back.
    if (sqlite3_get_autocommit(db_) != 0) return;
    RunPlain("ROLLBACK", nullptr);
  }

  Dialect dialect() const override { return Dialect::kSqlite; }

  std::string Describe() const override { return "catalog file " + file_.string(); }

  bool Replaced() const override { return !identity_ || IdentifyFile(file_) != identity_; }

 private:
  friend class SqliteCursor;

  // A compiled single statement.
  struct CachedStatement {
    StatementPtr stmt;
    std::list<std::string>::iterator recent;  // its place in recent_
  };

  // A text as sent, rewritten; when it holds one statement, also with its values taken out.
  struct Shape {
    std::string rewritten;
    bool several = false;
    ParameterizedSql parameterized;
  };

  // Puts a statement back to its start, whatever way its run ended: a statement left
  // mid-way would keep its read snapshot (and its locks) open.
  struct ResetOnExit {
    sqlite3_stmt* stmt;
    ~ResetOnExit() {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
    }
  };

  // True for one SELECT statement without a LIMIT, comment or statement separator of its
  // own, to which a LIMIT clause can be appended.
  static bool IsPlainSelect(const std::string& sql) {
    std::string lower(sql);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t first = lower.find_first_not_of(" \t\r\n");
    return first != std::string::npos && lower.compare(first, 7, "select ") == 0 &&
           lower.find("limit") == std::string::npos && lower.find(';') == std::string::npos &&
           lower.find("--") == std::string::npos && lower.find("/*") == std::string::npos;
  }

  static std::string Context(const std::string& sql, const std::string& rewritten) {
    std::string context = "in statement: " + sql;
    if (rewritten != sql) context += " (run as: " + rewritten + ")";
    return context;
  }

  // Rewrites `sql` and runs every statement it holds. When `result` is given, it receives
  // the columns and rows of the first statement that has columns. A text that holds one
  // statement is compiled once and kept (SQLite compiles it again by itself when the
  // schema has changed since), with its values taken out as parameters, so that the texts
  // that differ only in their values share it. Returns the rows its statements changed.
  std::int64_t Run(const std::string& sql, QueryResult* result) {
    const Shape& shape = ShapeOf(sql);
    const std::string& rewritten = shape.rewritten;
    if (!shape.several) {
      const ParameterizedSql& p = shape.parameterized;
      auto hit = cache_.find(p.text);
      if (hit == cache_.end()) {
        StatementPtr stmt = Compile(p.text);
        if (!p.values.empty() && (stmt == nullptr || sqlite3_bind_parameter_count(stmt.get()) !=
                                                         static_cast<int>(p.values.size()))) {
          // Not the statement the values were taken out of: the text runs as it is, once,
          // and reports its own faults.
          stmt = Compile(rewritten);
          if (stmt == nullptr) Fail(sqlite3_errcode(db_), Context(sql, rewritten));
          ResetOnExit reset{stmt.get()};
          return Step(stmt.get(), result, sql, rewritten);
        }
        if (stmt == nullptr) {
          if (sqlite3_errcode(db_) != SQLITE_OK) {
            Fail(sqlite3_errcode(db_), Context(sql, rewritten));
          }
          return 0;  // blanks and semicolons only
        }
        if (cache_.size() >= kCachedStatements) {
          cache_.erase(recent_.back());
          recent_.pop_back();
        }
        recent_.push_front(p.text);
        hit = cache_.emplace(p.text, CachedStatement{std::move(stmt), recent_.begin()}).first;
      } else {
        recent_.splice(recent_.begin(), recent_, hit->second.recent);
      }
      return RunCached(hit->second.stmt.get(), p.values, sql, rewritten, result);
    }
    const std::string context = Context(sql, rewritten);
    // Several statements from one text: all or none. A savepoint works both inside and
    // outside a transaction the caller opened.
    RunAll("SAVEPOINT mav_statement", nullptr, context);
    std::int64_t changed = 0;
    try {
      changed = RunAll(rewritten, result, context);
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK TO mav_statement; RELEASE mav_statement", nullptr, nullptr,
                   nullptr);
      throw;
    }
    RunAll("RELEASE mav_statement", nullptr, context);
    return changed;
  }

  // The compiled statement of `text`; null when it holds none (blanks and semicolons) or
  // does not compile (sqlite3_errcode then tells why). A statement that groups and sorts its
  // rows is compiled to group them in the order of its sorting (GroupInSortOrderForSqlite):
  // the same rows in the same order, which an index can then deliver. That is done here,
  // once per compiled statement, and not by RewriteForSqlite, which runs for every text with
  // other values.
  StatementPtr Compile(const std::string& text) {
    const std::string ordered = GroupInSortOrderForSqlite(text);
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db_, ordered.c_str(), static_cast<int>(ordered.size()),
                                      SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    StatementPtr stmt(raw);
    return rc == SQLITE_OK ? std::move(stmt) : nullptr;
  }

  // What a text as sent becomes; rewriting depends on the text alone, so a text sent again
  // (the statements of every tick) is not rewritten again.
  const Shape& ShapeOf(const std::string& sql) {
    if (const auto known = shapes_.find(sql); known != shapes_.end()) return known->second;
    if (shapes_.size() >= kRememberedTexts) shapes_.clear();
    Shape shape;
    shape.rewritten = RewriteForSqlite(sql);
    shape.several = HoldsSeveral(shape.rewritten);
    if (!shape.several) shape.parameterized = ParameterizeForSqlite(shape.rewritten);
    return shapes_.emplace(sql, std::move(shape)).first->second;
  }

  // Binds `values` to the kept statement's parameters and runs it; `sql` and `rewritten`
  // name it in an error.
  std::int64_t RunCached(sqlite3_stmt* stmt, const std::vector<Value>& values,
                         const std::string& sql, const std::string& rewritten,
                         QueryResult* result) {
    ResetOnExit reset{stmt};
    Bind(stmt, values, sql, rewritten);
    return Step(stmt, result, sql, rewritten);
  }

  // Binds `values` (whole numbers and texts) to the statement's parameters in order.
  void Bind(sqlite3_stmt* stmt, const std::vector<Value>& values, const std::string& sql,
            const std::string& rewritten) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i) + 1;
      const int rc =
          values[i].IsText()
              ? sqlite3_bind_text64(stmt, index, std::get<std::string>(values[i].raw()).data(),
                                    std::get<std::string>(values[i].raw()).size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8)
              : sqlite3_bind_int64(stmt, index, std::get<std::int64_t>(values[i].raw()));
      if (rc != SQLITE_OK) Fail(rc, Context(sql, rewritten));
    }
  }

  // The kept statement of the text `key` taken out of the cache for a cursor's own use; null
  // when none is kept. A text run while its statement is out compiles another one.
  StatementPtr TakeCached(const std::string& key) {
    const auto hit = cache_.find(key);
    if (hit == cache_.end()) return nullptr;
    StatementPtr stmt = std::move(hit->second.stmt);
    recent_.erase(hit->second.recent);
    cache_.erase(hit);
    return stmt;
  }

  // A cursor's statement, reset, kept again under `key` unless another statement of that
  // text is kept meanwhile or `key` is empty (a text that runs as it is).
  void ReturnStatement(const std::string& key, StatementPtr stmt) {
    if (key.empty() || cache_.count(key) != 0) return;
    if (cache_.size() >= kCachedStatements) {
      cache_.erase(recent_.back());
      recent_.pop_back();
    }
    recent_.push_front(key);
    cache_.emplace(key, CachedStatement{std::move(stmt), recent_.begin()});
  }

  void DetachCursors();

  // Runs a fixed statement of this driver's own, not rewritten.
  void RunPlain(const std::string& sql, QueryResult* result) {
    RunAll(sql, result, "in statement: " + sql);
  }

  // True when something other than blanks and semicolons follows the first statement's
  // semicolon (a comment counts too: the check only decides whether a savepoint is needed).
  static bool HoldsSeveral(const std::string& sql) {
    const std::size_t first_end = FirstStatementEnd(sql);
    return sql.find_first_not_of(" \t\r\n;", first_end) != std::string::npos;
  }

  // Offset just past the first statement of `sql`, as SQLite splits it.
  static std::size_t FirstStatementEnd(const std::string& sql) {
    for (std::size_t i = sql.find(';'); i != std::string::npos; i = sql.find(';', i + 1)) {
      if (sqlite3_complete(sql.substr(0, i + 1).c_str())) return i + 1;
    }
    return sql.size();
  }

  // Compiles and runs the statements of `sql` one after the other (a statement may depend
  // on the tables the one before it created). Blank texts and comments compile to nothing.
  std::int64_t RunAll(const std::string& sql, QueryResult* result, const std::string& context) {
    const char* tail = sql.c_str();
    const char* const end = sql.c_str() + sql.size();
    std::int64_t changed = 0;
    while (tail < end) {
      sqlite3_stmt* raw = nullptr;
      const char* next = nullptr;
      const int rc = sqlite3_prepare_v2(db_, tail, static_cast<int>(end - tail), &raw, &next);
      StatementPtr stmt(raw);
      if (rc != SQLITE_OK) Fail(rc, context);
      if (stmt != nullptr) changed += Step(stmt.get(), result, context, context);
      if (next == nullptr || next <= tail) break;
      tail = next;
    }
    return changed;
  }

  // `sql` and `rewritten` name the statement in an error (built only when one occurs);
  // callers that already hold a context text pass it as both. Returns the rows the
  // statement changed.
  std::int64_t Step(sqlite3_stmt* stmt, QueryResult* result, const std::string& sql,
                    const std::string& rewritten) {
    // sqlite3_changes64 keeps the count of the last INSERT, UPDATE or DELETE, also across
    // later statements of other kinds; the total tells whether this statement changed any
    // row at all (the total counts trigger changes too, so it is not the count itself).
    const sqlite3_int64 total_before = sqlite3_total_changes64(db_);
    // The columns are read after the first step: a kept statement whose tables changed
    // since it was compiled is compiled again inside that step, with its new columns.
    int rc = sqlite3_step(stmt);
    const int columns = sqlite3_column_count(stmt);
    const bool collect = result != nullptr && columns > 0 && result->columns.empty();
    if (collect) {
      result->columns.reserve(columns);
      for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        result->columns.emplace_back(name != nullptr ? name : "");
      }
    }
    for (;; rc = sqlite3_step(stmt)) {
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail(rc, &sql == &rewritten ? sql : Context(sql, rewritten));
      if (!collect) continue;
      if (max_rows_ > 0 && static_cast<std::int64_t>(result->rows.size()) >= max_rows_) break;
      std::vector<Value> row;
      row.reserve(columns);
      for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(stmt, i));
      result->rows.push_back(std::move(row));
    }
    if (sqlite3_total_changes64(db_) == total_before) return 0;
    return sqlite3_changes64(db_);
  }

  [[noreturn]] void Fail(int rc, const std::string& context) { throw Error(rc, context); }

  // The error of a failed call whose result code was `rc`, as the connection reports it now.
  base::AgentError Error(int rc, const std::string& context) const {
    const int extended = sqlite3_extended_errcode(db_);
    const int code = extended != SQLITE_OK ? extended : rc;
    const int number = IsConnectionFailure(code) ? base::kConnectionLost
                       : IsBusy(code)            ? base::kDatabaseBusy
                                                 : base::kDatabaseError;
    return base::AgentError(number,
                            DriverMessage(db_, rc) + " " + context + " [" + Describe() + "]");
  }

  sqlite3* db_;
  std::filesystem::path file_;
  std::optional<FileIdentity> identity_;  // of the file when it was opened
  bool lazy_sync_;
  std::int64_t max_rows_ = 0;           // rows a query reads at most; 0: all
  std::int64_t uncounted_changes_ = 0;  // rows changed by ExecuteUncounted
  std::list<std::string> recent_;       // keys of cache_, most recently used first
  std::unordered_map<std::string, CachedStatement> cache_;  // by the text compiled
  std::unordered_map<std::string, Shape> shapes_;           // by the text as sent
  std::vector<SqliteCursor*> cursors_;                      // open, their statement not done
};

// A statement stepped as its rows are asked for. It holds its statement (taken from its
// connection's cache, or compiled for it) until the last row has been read or the cursor
// goes away, and then hands it back reset, which ends its read snapshot.
class SqliteCursor : public Cursor {
 public:
  SqliteCursor(SqliteConnection& owner, std::string key, StatementPtr stmt, std::string context)
      : owner_(&owner), key_(std::move(key)), stmt_(std::move(stmt)), context_(std::move(context)) {
    owner_->cursors_.push_back(this);
  }
  ~SqliteCursor() override { Release(); }
  SqliteCursor(const SqliteCursor&) = delete;
  SqliteCursor& operator=(const SqliteCursor&) = delete;

  // Steps to the first row; the columns are read after it, as a kept statement whose tables
  // changed is compiled again inside its first step. Throws as a query does.
  void Start() {
    const int rc = sqlite3_step(stmt_.get());
    const int columns = sqlite3_column_count(stmt_.get());
    columns_.reserve(columns);
    for (int i = 0; i < columns; ++i) {
      const char* name = sqlite3_column_name(stmt_.get(), i);
      columns_.emplace_back(name != nullptr ? name : "");
    }
    Settle(rc);
  }

  bool Next(std::vector<Value>& row) override {
    if (owner_ == nullptr) {
      if (detached_) {
        throw base::AgentError(base::kConnectionLost,
                               "The connection was closed before all rows were read " + context_);
      }
      return false;
    }
    if (!pending_) Settle(sqlite3_step(stmt_.get()));
    if (!pending_) return false;
    pending_ = false;
    const int columns = sqlite3_column_count(stmt_.get());
    row.clear();
    row.reserve(columns);
    for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(stmt_.get(), i));
    return true;
  }

  // The connection closes: the statement is finalized with it, and a later read fails.
  void Detach() {
    stmt_.reset();
    owner_ = nullptr;
    detached_ = true;
  }

 private:
  // After a step: a row waits to be read, or the statement is done (and handed back) or
  // failed (handed back, then the error thrown).
  void Settle(int rc) {
    if (rc == SQLITE_ROW) {
      pending_ = true;
      return;
    }
    if (rc == SQLITE_DONE) {
      Release();
      return;
    }
    const base::AgentError error = owner_->Error(rc, context_);
    Release();
    throw error;
  }

  void Release() {
    if (owner_ == nullptr) return;
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
    std::erase(owner_->cursors_, this);
    owner_->ReturnStatement(key_, std::move(stmt_));
    owner_ = nullptr;
    pending_ = false;
  }

  SqliteConnection* owner_;  // null once done, failed or detached
  std::string key_;          // the text the statement is kept under; "" when it is not kept
  StatementPtr stmt_;
  std::string context_;   // names the statement in an error
  bool pending_ = false;  // the current step's row has not been read yet
  bool detached_ = false;
};

std::unique_ptr<Cursor> SqliteConnection::OpenCursor(const std::string& sql) {
  const Shape& shape = ShapeOf(sql);
  // A text that became several statements is read whole, as they run as one unit.
  if (shape.several) return Connection::OpenCursor(sql);
  const std::string context = Context(sql, shape.rewritten);
  const ParameterizedSql& p = shape.parameterized;
  std::string key = p.text;
  const std::vector<Value>* values = &p.values;
  StatementPtr stmt = TakeCached(key);
  if (stmt == nullptr) {
    stmt = Compile(p.text);
    if (!p.values.empty() && (stmt == nullptr || sqlite3_bind_parameter_count(stmt.get()) !=
                                                     static_cast<int>(p.values.size()))) {
      // As in Run: the text runs as it is and is not kept.
      static const std::vector<Value> kNoValues;
      stmt = Compile(shape.rewritten);
      key.clear();
      values = &kNoValues;
    }
    if (stmt == nullptr) {
      if (sqlite3_errcode(db_) != SQLITE_OK) Fail(sqlite3_errcode(db_), context);
      return Connection::OpenCursor(sql);  // blanks and semicolons only: no rows
    }
  }
  try {
    Bind(stmt.get(), *values, sql, shape.rewritten);
  } catch (...) {
    sqlite3_clear_bindings(stmt.get());
    ReturnStatement(key, std::move(stmt));
    throw;
  }
  auto cursor = std::make_unique<SqliteCursor>(*this, std::move(key), std::move(stmt), context);
  cursor->Start();
  return cursor;
}

void SqliteConnection::DetachCursors() {
  for (SqliteCursor* cursor : cursors_) cursor->Detach();
  cursors_.clear();
}

}  // namespace

std::unique_ptr<Connection> OpenSqliteFile(const std::filesystem::path& file, bool create,
                                           bool write_ahead_log) {
  std::error_code ec;
  if (!create && !std::filesystem::is_regular_file(file, ec)) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the file does not exist");
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(file.string().c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = DriverMessage(db, rc);
    sqlite3_close_v2(db);
    throw base::AgentError(base::kConnectionFailed,
                           "Cannot open database file " + file.string() + ": " + message);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // Plans that do not look at the values bound to parameters. The agent binds values only to
  // share one compiled statement among texts that differ in their values; a plan that
  // depended on them would be compiled again at every run. It would for every statement that
  // compares a column with a parameter where a partial index's condition compares the same
  // column with a value ("Status=?" beside the index of rows with Status='Loan'), while
  // such an index serves the statements that hold its condition as text all the same (see
  // ParameterizeForSqlite).
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_QPSG, 1, nullptr);

  // The first read of the schema checks the file header: a file that is not a database
  // fails here, at open, rather than at the first query.
  char* error = nullptr;
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) !=
      SQLITE_OK) {
    const std::string message = DriverMessage(db, sqlite3_errcode(db));
    sqlite3_free(error);
    sqlite3_close_v2(db);
    throw base::AgentError(base::kConnectionFailed,
                           "Cannot open database file " + file.string() + ": " + message);
  }
  bool lazy_sync = false;
  if (write_ahead_log) {
    // Best effort: a read-only file, or one another program holds in an exclusive lock,
    // keeps the journal mode it has and still works.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    // Under WAL, NORMAL syncs at checkpoints, not at every commit: the file cannot be
    // corrupted, and a power cut can undo only the last commits before it. What the agent
    // writes is derived again on the next tick or start (a reply whose row is still pending
    // is composed again; upgrade steps probe again), so per-commit syncs would cost
    // milliseconds per statement for nothing; the few writes that must not be undone use
    // ExecuteDurably. A file in another journal mode keeps FULL, and so do the files of
    // other programs (the SMS outbox): a message queued there must stay queued.
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      lazy_sync = mode != nullptr && std::string(mode) == "wal";
    }
    sqlite3_finalize(stmt);
    if (lazy_sync) sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  }
  return std::make_unique<SqliteConnection>(db, file, lazy_sync);
}

}  // namespace data
