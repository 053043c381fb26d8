// The ODBC driver: SQL Server through an installed SQL Server ODBC driver (unixODBC on Linux),
// or any data source an ODBC connection string names.
//
// Texts to and from SQL Server drivers travel as UTF-16 (the "W" calls and SQL_C_WCHAR):
// those drivers convert the server's text to UTF-16 themselves, while what they hand out as
// SQL_C_CHAR depends on the process locale and the driver's settings. The SQLite ODBC driver
// has no "W" calls (the driver manager would squeeze UTF-16 through the C locale, losing
// every non-ASCII letter); its narrow interface is UTF-8, SQLite's own encoding, so texts go
// to it unconverted. The agent's texts are UTF-8 on our side. SQL Server reads a plain 'text'
// literal in the catalog's code page, so literals holding characters outside ASCII are sent
// as N'text' (sql_server_literals.h), to SQL Server only: the Access driver, which also takes
// the agent's texts unrewritten, knows no N'...'.
//
// Failures are decided by return codes: drivers disagree on states (the SQLite driver
// reports everything as HY000), and FreeTDS puts the useful message in the second
// diagnostic record, so every record is collected into the error. The states only tell a
// lost connection from a refused statement: class 08 (connection exception) and the
// timeouts HYT00 / HYT01 in any record make the failure kConnectionLost.

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/agent_error.h"
#include "base/utf8.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/sql_dialect.h"
#include "data/sql_server_literals.h"

namespace data {
namespace {

// A server that accepts the TCP connection but never answers the login would otherwise
// keep the agent waiting for ever. Seconds.
constexpr SQLULEN kLoginTimeoutSeconds = 15;

// How long one statement may run, waiting for a lock of the accounting application or for
// a peer that went silent, before it fails (HYT00) and the connection is reopened. Seconds.
constexpr SQLULEN kStatementTimeoutSeconds = 30;

// Size of one SQLGetData chunk for long texts and binaries. Bytes.
constexpr std::size_t kChunkBytes = 8192;

// The SQL Server drivers in order of preference (Microsoft's current, its previous one,
// FreeTDS as Debian registers it, the old Windows driver).
const char* const kSqlServerDrivers[] = {"ODBC Driver 18 for SQL Server",
                                         "ODBC Driver 17 for SQL Server", "FreeTDS", "SQL Server"};

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide texts are UTF-16 here");

// UTF-8 -> UTF-16 code units, strictly: an ill-formed sequence becomes U+FFFD, never the
// character an overlong form spells (C0 A7 would otherwise reach the server as a quote).
std::basic_string<SQLWCHAR> ToUtf16(std::string_view text) {
  const std::u16string units = base::Utf8ToUtf16(text);
  return std::basic_string<SQLWCHAR>(units.begin(), units.end());
}

// UTF-16 code units -> UTF-8. Unpaired surrogates become U+FFFD.
std::string ToUtf8(const SQLWCHAR* units, std::size_t count) {
  return base::Utf16ToUtf8(std::u16string(units, units + count));
}

// True for the SQLSTATEs of a connection that is gone or timed out.
bool IsConnectionState(const std::string& state) {
  return state.compare(0, 2, "08") == 0 || state == "HYT00" || state == "HYT01";
}

// A SQL Server failure that waiting mends: a deadlock victim (40001, native 1205), a lock
// request that timed out (native 1222).
bool IsBusyState(const std::string& state, SQLINTEGER native) {
  return state == "40001" || native == 1205 || native == 1222;
}

// A login the server refused: wrong user or password (28000, native 18456), or a catalog
// it does not have or will not open for this login (native 4060).
bool IsLoginState(const std::string& state, SQLINTEGER native) {
  return state == "28000" || native == 18456 || native == 4060;
}

// The error number that the diagnostic records of a failure call for: kConnectionLost when
// one record's state is a connection state, else kDatabaseBusy for a lock or deadlock, else
// kLoginRejected for a refused login, else `otherwise`.
struct FailureKind {
  bool lost = false, busy = false, login = false;
  int Number(int otherwise) const {
    return lost    ? base::kConnectionLost
           : busy  ? base::kDatabaseBusy
           : login ? base::kLoginRejected
                   : otherwise;
  }
};

// Every diagnostic record of a handle: "[08001] (native 20009) message; [...] ...".
// `kind`, when given, learns what the records say about the failure.
std::string Diagnostics(SQLSMALLINT handle_type, SQLHANDLE handle, FailureKind* kind = nullptr) {
  std::string out;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(handle_type, handle, record, state, &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRec(handle_type, handle, record, state, &native, message.data(),
                         static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!Succeeded(rc)) break;
    if (kind != nullptr) {
      const std::string code = reinterpret_cast<const char*>(state);
      kind->lost = kind->lost || IsConnectionState(code);
      kind->busy = kind->busy || IsBusyState(code, native);
      kind->login = kind->login || IsLoginState(code, native);
    }
    if (!out.empty()) out += "; ";
    out += "[" + std::string(reinterpret_cast<const char*>(state)) + "] (native " +
           std::to_string(native) + ") " + reinterpret_cast<const char*>(message.data());
  }
  if (out.empty()) out = "the driver gave no diagnostic";
  return out;
}

// A connection string fit for an error text: the value of PWD (any letter case) hidden.
std::string HidePassword(const std::string& connection_string) {
  std::string out;
  std::size_t pos = 0;
  while (pos <= connection_string.size()) {
    std::size_t end = pos;
    // A value in braces may hold ';' (doubled '}' stays inside the value).
    bool in_braces = false;
    while (end < connection_string.size()) {
      const char c = connection_string[end];
      if (in_braces) {
        if (c == '}') {
          if (end + 1 < connection_string.size() && connection_string[end + 1] == '}') {
            ++end;
          } else {
            in_braces = false;
          }
        }
      } else if (c == '{') {
        in_braces = true;
      } else if (c == ';') {
        break;
      }
      ++end;
    }
    std::string part = connection_string.substr(pos, end - pos);
    const std::size_t eq = part.find('=');
    if (eq != std::string::npos) {
      std::string key = part.substr(0, eq);
      key.erase(0, key.find_first_not_of(' '));
      key.erase(key.find_last_not_of(' ') + 1);
      std::transform(key.begin(), key.end(), key.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      if (key == "PWD" || key == "PASSWORD") part = part.substr(0, eq + 1) + "***";
    }
    out += part;
    if (end >= connection_string.size()) break;
    out += ';';
    pos = end + 1;
  }
  return out;
}

// Owns an ODBC handle.
struct HandleDeleter {
  SQLSMALLINT type;
  void operator()(void* handle) const {
    if (handle != nullptr) SQLFreeHandle(type, handle);
  }
};
using HandlePtr = std::unique_ptr<void, HandleDeleter>;

HandlePtr NewEnvironment() {
  SQLHANDLE env = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    throw base::AgentError(base::kConnectionFailed, "The ODBC driver manager could not be started");
  }
  HandlePtr owner(env, HandleDeleter{SQL_HANDLE_ENV});
  if (!Succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    throw base::AgentError(base::kConnectionFailed, "The ODBC driver manager refused version 3: " +
                                                        Diagnostics(SQL_HANDLE_ENV, env));
  }
  return owner;
}

// Splits an SQLite text into its statements (the SQLite driver runs one statement per call).
// sqlite3_complete knows where a statement ends: it skips literals, quoted names, comments
// and trigger bodies.
std::vector<std::string> SplitSqliteStatements(const std::string& text) {
  std::vector<std::string> statements;
  std::string current;
  for (char c : text) {
    current += c;
    if (c == ';' && sqlite3_complete(current.c_str()) != 0) {
      current.pop_back();
      if (current.find_first_not_of(" \t\r\n") != std::string::npos) {
        statements.push_back(current);
      }
      current.clear();
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) statements.push_back(current);
  return statements;
}

// True when the data source behind `dbc` is SQL Server itself, as its driver names the
// product (Microsoft's drivers and FreeTDS alike). The drivers of other engines that take
// SQL Server's dialect here (the Access driver on Windows) have no N'...' literals.
bool IsMicrosoftSqlServer(SQLHDBC dbc) {
  SQLCHAR name[64] = {};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length))) return false;
  return std::string(reinterpret_cast<const char*>(name)) == "Microsoft SQL Server";
}

class OdbcConnection : public Connection {
 public:
  OdbcConnection(HandlePtr env, HandlePtr dbc, Dialect dialect, std::string description)
      : env_(std::move(env)),
        dbc_(std::move(dbc)),
        dialect_(dialect),
        national_texts_(dialect == Dialect::kSqlServer && IsMicrosoftSqlServer(dbc_.get())),
        description_(std::move(description)) {}

  ~OdbcConnection() override {
    if (in_transaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    SQLDisconnect(dbc_.get());
  }

  std::int64_t Execute(const std::string& sql) override { return Run(sql, nullptr); }

  QueryResult Query(const std::string& sql) override {
    QueryResult result;
    Run(sql, &result);
    return result;
  }

  QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override {
    // The driver is asked to stop after max_rows (SQL Server then sends no more), and the
    // rows are read only that far, whatever the driver makes of the request.
    max_rows_ = max_rows > 0 ? max_rows : 0;
    QueryResult result;
    try {
      Run(sql, &result);
    } catch (...) {
      max_rows_ = 0;
      throw;
    }
    max_rows_ = 0;
    return result;
  }

  std::optional<std::string> DataVersion() override {
    // SQL Server counts, per index of the database (a heap is index 0), the statements that
    // changed it. The count moves while the statement runs, before its commit, and a reader
    // whose isolation passes uncommitted rows (read committed snapshot) would miss them under
    // the new count; so while a transaction that has written to the database is open, every
    // call gives a new version. The counts are read first: a transaction counted after
    // them is either still open when the open ones are read, or committed before the caller
    // reads, or counted by the next call. Both views take VIEW SERVER STATE; without it, and
    // for other ODBC sources, the version is the clock's second (kDataVersionLag).
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    if (dialect_ == Dialect::kSqlServer && usage_counts_) {
      try {
        QueryResult counts;
        // The agent's own tables (MAV_Lease, MAV_Claim) are left out: their writes are
        // bookkeeping (see ExecuteUncounted), and a claim goes with a reply's own writes.
        Run("Select count_big(*),sum(user_updates) from sys.dm_db_index_usage_stats Where "
            "database_id=db_id() and object_name(object_id) not like 'MAV[_]%'",
            &counts);
        QueryResult writing;
        Run("Select count_big(*) from sys.dm_tran_database_transactions Where "
            "database_id=db_id() and database_transaction_log_record_count>0",
            &writing);
        if (counts.rows.size() == 1 && counts.rows[0].size() == 2 && writing.rows.size() == 1 &&
            !writing.rows[0].empty()) {
          std::string version = "u" + counts.rows[0][0].AsText() + ":" + counts.rows[0][1].AsText();
          if (writing.rows[0][0].AsText() != "0") {
            version += "#" + std::to_string(++unsettled_);
          }
          return version;
        }
      } catch (const base::AgentError& e) {
        if (base::IsConnectionError(e.number())) throw;
      }
      usage_counts_ = false;  // not for this login: the clock alone from now on
    }
    return "t" + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count() /
                                kDataVersionLag.count());
  }

  void BeginTransaction() override {
    if (in_transaction_) {
      throw base::AgentError(base::kDatabaseError,
                             "A transaction is already open [" + Describe() + "]");
    }
    SetAutocommit(false, "begin a transaction");
    in_transaction_ = true;
  }

  void Commit() override { EndTransaction(SQL_COMMIT, "commit"); }

  void Rollback() override { EndTransaction(SQL_ROLLBACK, "roll back"); }

  Dialect dialect() const override { return dialect_; }

  std::string Describe() const override { return description_; }

 private:
  // UTF-16 calls for SQL Server drivers, UTF-8 narrow calls for the SQLite driver.
  bool wide() const { return dialect_ == Dialect::kSqlServer; }

  void SetAutocommit(bool on, const char* what) {
    const SQLRETURN rc = SQLSetConnectAttr(
        dbc_.get(), SQL_ATTR_AUTOCOMMIT,
        // NOLINTNEXTLINE(performance-no-int-to-ptr): ODBC passes integer attributes as pointers
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!Succeeded(rc)) FailOn(SQL_HANDLE_DBC, dbc_.get(), std::string("Cannot ") + what, "");
  }

  void EndTransaction(SQLSMALLINT completion, const char* what) {
    if (!in_transaction_) {
      throw base::AgentError(
          base::kDatabaseError,
          std::string("Cannot ") + what + ": no transaction is open [" + Describe() + "]");
    }
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), completion);
    if (!Succeeded(rc)) {
      // The transaction stays open on the server: the caller may still roll it back.
      FailOn(SQL_HANDLE_DBC, dbc_.get(), std::string("Cannot ") + what, "");
    }
    in_transaction_ = false;
    SetAutocommit(true, "return to autocommit");
  }

  // Returns the rows the statements changed.
  std::int64_t Run(const std::string& sql, QueryResult* result) {
    if (dialect_ == Dialect::kSqlServer) {
      if (national_texts_) return RunOne(NationalTextLiterals(sql), sql, result);
      return RunOne(sql, sql, result);
    }
    const std::string rewritten = RewriteForSqlite(sql);
    const std::vector<std::string> statements = SplitSqliteStatements(rewritten);
    if (statements.size() <= 1) {
      return RunOne(statements.empty() ? rewritten : statements.front(), sql, result);
    }
    // One text of the agent's became several statements: all of them or none.
    std::int64_t changed = 0;
    if (in_transaction_) {
      for (const auto& statement : statements) changed += RunOne(statement, sql, result);
      return changed;
    }
    BeginTransaction();
    try {
      for (const auto& statement : statements) changed += RunOne(statement, sql, result);
    } catch (...) {
      try {
        Rollback();
      } catch (...) {
        // The statement's own error is the one to report.
      }
      throw;
    }
    Commit();
    return changed;
  }

  // Runs one statement; `original` is the agent's text, for error messages. Returns the
  // rows it changed: the sum of the counts its results report (a batch reports one per
  // statement; -1, "not known", counts as none).
  std::int64_t RunOne(const std::string& statement, const std::string& original,
                      QueryResult* result) {
    std::string context = "in statement: " + original;
    if (statement != original) context += " (run as: " + statement + ")";

    SQLHANDLE raw = SQL_NULL_HANDLE;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_.get(), &raw))) {
      FailOn(SQL_HANDLE_DBC, dbc_.get(), "Cannot allocate a statement", context);
    }
    HandlePtr stmt(raw, HandleDeleter{SQL_HANDLE_STMT});
    // A driver without timeouts (the SQLite driver) refuses the attribute; its statements
    // then wait as long as its own busy handling lets them.
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                   // NOLINTNEXTLINE(performance-no-int-to-ptr)
                   reinterpret_cast<SQLPOINTER>(kStatementTimeoutSeconds), 0);
    if (max_rows_ > 0) {
      // Best effort: a driver that refuses it still stops being read at the limit.
      SQLSetStmtAttr(stmt.get(), SQL_ATTR_MAX_ROWS,
                     // NOLINTNEXTLINE(performance-no-int-to-ptr)
                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(max_rows_)), 0);
    }

    SQLRETURN rc = SQL_ERROR;
    if (wide()) {
      std::basic_string<SQLWCHAR> text = ToUtf16(statement);
      rc = SQLExecDirectW(stmt.get(), text.data(), SQL_NTS);
    } else {
      std::vector<SQLCHAR> text(statement.begin(), statement.end());
      text.push_back(0);
      rc = SQLExecDirect(stmt.get(), text.data(), SQL_NTS);
    }
    // SQL_NO_DATA: a searched UPDATE or DELETE that matched no row.
    if (!Succeeded(rc) && rc != SQL_NO_DATA) FailOn(SQL_HANDLE_STMT, stmt.get(), "", context);

    // A batch may hold several results; the first one with columns is the query's.
    std::int64_t changed = 0;
    for (;;) {
      SQLSMALLINT columns = 0;
      if (!Succeeded(SQLNumResultCols(stmt.get(), &columns))) {
        FailOn(SQL_HANDLE_STMT, stmt.get(), "", context);
      }
      if (columns > 0) {
        if (result != nullptr && result->columns.empty()) {
          ReadResult(stmt.get(), columns, *result, context);
          if (max_rows_ > 0) SQLCloseCursor(stmt.get());  // the rows past the limit go unread
        } else {
          SQLCloseCursor(stmt.get());
        }
      } else {
        SQLLEN rows = 0;
        if (Succeeded(SQLRowCount(stmt.get(), &rows)) && rows > 0) changed += rows;
      }
      const SQLRETURN more = SQLMoreResults(stmt.get());
      if (more == SQL_NO_DATA) break;
      if (!Succeeded(more)) FailOn(SQL_HANDLE_STMT, stmt.get(), "", context);
    }
    return changed;
  }

  void ReadResult(SQLHANDLE stmt, SQLSMALLINT columns, QueryResult& result,
                  const std::string& context) {
    std::vector<SQLSMALLINT> types(columns);
    result.columns.reserve(columns);
    for (SQLSMALLINT i = 0; i < columns; ++i) {
      constexpr SQLSMALLINT kNameUnits = 512;
      SQLSMALLINT name_length = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      SQLRETURN rc = SQL_ERROR;
      if (wide()) {
        SQLWCHAR name[kNameUnits];
        rc = SQLDescribeColW(stmt, i + 1, name, kNameUnits, &name_length, &types[i], &size, &digits,
                             &nullable);
        const auto units = std::clamp<SQLSMALLINT>(name_length, 0, kNameUnits - 1);
        if (Succeeded(rc)) result.columns.push_back(ToUtf8(name, units));
      } else {
        SQLCHAR name[kNameUnits];
        rc = SQLDescribeCol(stmt, i + 1, name, kNameUnits, &name_length, &types[i], &size, &digits,
                            &nullable);
        const auto bytes = std::clamp<SQLSMALLINT>(name_length, 0, kNameUnits - 1);
        if (Succeeded(rc)) result.columns.emplace_back(reinterpret_cast<char*>(name), bytes);
      }
      if (!Succeeded(rc)) FailOn(SQL_HANDLE_STMT, stmt, "", context);
    }
    for (;;) {
      if (max_rows_ > 0 && static_cast<std::int64_t>(result.rows.size()) >= max_rows_) break;
      const SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_NO_DATA) break;
      if (!Succeeded(rc)) FailOn(SQL_HANDLE_STMT, stmt, "", context);
      std::vector<Value> row;
      row.reserve(columns);
      for (SQLSMALLINT i = 0; i < columns; ++i) {
        row.push_back(ReadValue(stmt, i + 1, types[i], context));
      }
      result.rows.push_back(std::move(row));
    }
  }

  Value ReadValue(SQLHANDLE stmt, SQLUSMALLINT column, SQLSMALLINT type,
                  const std::string& context) {
    SQLLEN indicator = 0;
    switch (type) {
      case SQL_BIT: {
        unsigned char bit = 0;
        GetData(stmt, column, SQL_C_BIT, &bit, sizeof bit, &indicator, context);
        if (indicator == SQL_NULL_DATA) return Value();
        return Value(bit != 0);
      }
      case SQL_TINYINT:
      case SQL_SMALLINT:
      case SQL_INTEGER:
      case SQL_BIGINT: {
        SQLBIGINT number = 0;
        GetData(stmt, column, SQL_C_SBIGINT, &number, sizeof number, &indicator, context);
        if (indicator == SQL_NULL_DATA) return Value();
        return Value(static_cast<std::int64_t>(number));
      }
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
      case SQL_DECIMAL:
      case SQL_NUMERIC: {
        double number = 0;
        GetData(stmt, column, SQL_C_DOUBLE, &number, sizeof number, &indicator, context);
        if (indicator == SQL_NULL_DATA) return Value();
        return Value(number);
      }
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        return ReadBinary(stmt, column, context);
      default:
        // Character types, dates and times, GUIDs, and whatever else: as the driver's text.
        return ReadText(stmt, column, context);
    }
  }

  Value ReadText(SQLHANDLE stmt, SQLUSMALLINT column, const std::string& context) {
    if (wide()) {
      std::optional<std::basic_string<SQLWCHAR>> text =
          ReadChunks<SQLWCHAR>(stmt, column, SQL_C_WCHAR, context);
      if (!text) return Value();
      return Value(ToUtf8(text->data(), text->size()));
    }
    std::optional<std::basic_string<char>> text =
        ReadChunks<char>(stmt, column, SQL_C_CHAR, context);
    if (!text) return Value();
    return Value(std::move(*text));
  }

  // Reads a long text in chunks, each SQLGetData call returning the next part; std::nullopt
  // for Null. Each part ends with a terminator, so a part that filled the buffer was cut
  // (SQLSTATE 01004) and more follows.
  template <typename Unit>
  std::optional<std::basic_string<Unit>> ReadChunks(SQLHANDLE stmt, SQLUSMALLINT column,
                                                    SQLSMALLINT c_type,
                                                    const std::string& context) {
    constexpr std::size_t kUnits = kChunkBytes / sizeof(Unit);
    Unit buffer[kUnits];
    std::basic_string<Unit> text;
    for (bool first = true;; first = false) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(stmt, column, c_type, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!Succeeded(rc)) FailOn(SQL_HANDLE_STMT, stmt, "", context);
      if (indicator == SQL_NULL_DATA) {
        if (first) return std::nullopt;
        break;
      }
      const bool cut = indicator == SQL_NO_TOTAL ||
                       static_cast<std::size_t>(indicator) >= sizeof buffer - sizeof(Unit);
      const std::size_t units =
          cut ? kUnits - 1 : static_cast<std::size_t>(indicator) / sizeof(Unit);
      text.append(buffer, units);
      if (rc == SQL_SUCCESS || !cut) break;
    }
    return text;
  }

  Value ReadBinary(SQLHANDLE stmt, SQLUSMALLINT column, const std::string& context) {
    char buffer[kChunkBytes];
    std::string bytes;
    for (bool first = true;; first = false) {
      SQLLEN indicator = 0;
      const SQLRETURN rc =
          SQLGetData(stmt, column, SQL_C_BINARY, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!Succeeded(rc)) FailOn(SQL_HANDLE_STMT, stmt, "", context);
      if (indicator == SQL_NULL_DATA) {
        if (first) return Value();
        break;
      }
      const bool cut =
          indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > sizeof buffer;
      bytes.append(buffer, cut ? sizeof buffer : static_cast<std::size_t>(indicator));
      if (rc == SQL_SUCCESS || !cut) break;
    }
    return Value(std::move(bytes));
  }

  void GetData(SQLHANDLE stmt, SQLUSMALLINT column, SQLSMALLINT c_type, void* target, SQLLEN size,
               SQLLEN* indicator, const std::string& context) {
    if (!Succeeded(SQLGetData(stmt, column, c_type, target, size, indicator))) {
      FailOn(SQL_HANDLE_STMT, stmt, "", context);
    }
  }

  // Throws kDatabaseError with every diagnostic record of `handle`, the statement and the
  // data source.
  [[noreturn]] void FailOn(SQLSMALLINT handle_type, SQLHANDLE handle, const std::string& what,
                           const std::string& context) {
    FailureKind kind;
    std::string description = "ODBC error " + Diagnostics(handle_type, handle, &kind);
    if (!what.empty()) description = what + ": " + description;
    if (!context.empty()) description += " " + context;
    description += " [" + Describe() + "]";
    throw base::AgentError(kind.Number(base::kDatabaseError), description);
  }

  HandlePtr env_;
  HandlePtr dbc_;
  Dialect dialect_;
  bool national_texts_;  // texts outside ASCII are spliced N'...' (SQL Server only)
  std::string description_;
  bool in_transaction_ = false;
  std::int64_t max_rows_ = 0;    // rows a query reads at most; 0: all
  bool usage_counts_ = true;     // DataVersion may read the index usage counts
  std::uint64_t unsettled_ = 0;  // versions given while a writing transaction was open
};

constexpr const char* kFreeTds = "FreeTDS";
constexpr const char* kDriver17 = "ODBC Driver 17 for SQL Server";
constexpr const char* kDriver18 = "ODBC Driver 18 for SQL Server";

// One value of an ODBC connection string for `driver`, in braces: whatever the text holds
// (";", "=", "{", a quote, blanks at either end), the driver reads it as this one value and
// it cannot add or replace a key. Microsoft's drivers read "}}" inside braces as one "}".
// FreeTDS ignores that escape and ends a braced value at the first "};" (a password
// "a};Port={9" would set the port), so a "}" is refused there. A NUL would end the whole
// string early for every driver (and drop the keys after it). `key` names the value in the
// error, never the value itself (it may be a password).
std::string OdbcValue(const std::string& driver, const char* key, const std::string& value) {
  if (value.find('\0') != std::string::npos) {
    throw base::AgentError(base::kConnectionFailed,
                           std::string("Cannot connect to SQL Server: the value of ") + key +
                               " holds a NUL character, which no connection string can carry");
  }
  if (driver == kFreeTds && value.find('}') != std::string::npos) {
    throw base::AgentError(base::kConnectionFailed,
                           std::string("Cannot connect to SQL Server through FreeTDS: the value "
                                       "of ") +
                               key +
                               " holds \"}\", which FreeTDS cannot take in a connection "
                               "string (it would end the value there)");
  }
  std::string out = "{";
  for (char c : value) {
    if (c == '}') out += '}';
    out += c;
  }
  out += '}';
  return out;
}

// The host part of an SQL Server name as the drivers take it: "." and "(local)" are SQL
// Server's names for the default instance on this machine, "localhost" for the drivers.
std::string OdbcHost(const std::string& server) {
  std::string host = server;
  std::string lowered = server;
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lowered == "." || lowered == "(local)" || lowered == "(localdb)") host = "localhost";
  for (const char* prefix : {".\\", "(local)\\"}) {
    const std::size_t length = std::string(prefix).size();
    if (lowered.compare(0, length, prefix) == 0) host = "localhost\\" + server.substr(length);
  }
  return host;
}

// The server's name as FreeTDS looks it up (in freetds.conf, and for the certificate): the
// host without ",port" or "\instance".
std::string FreeTdsServerName(const std::string& host) {
  return host.substr(0, host.find_first_of(",\\"));
}

}  // namespace

std::unique_ptr<Connection> OpenOdbc(const std::string& odbc_connection_string, Dialect dialect) {
  const std::string shown = HidePassword(odbc_connection_string);
  HandlePtr env = NewEnvironment();

  SQLHANDLE raw = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &raw))) {
    throw base::AgentError(
        base::kConnectionFailed,
        "Cannot connect through ODBC (" + shown + "): " + Diagnostics(SQL_HANDLE_ENV, env.get()));
  }
  HandlePtr dbc(raw, HandleDeleter{SQL_HANDLE_DBC});

  if (!Succeeded(SQLSetConnectAttr(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                   // NOLINTNEXTLINE(performance-no-int-to-ptr)
                                   reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0))) {
    throw base::AgentError(
        base::kConnectionFailed,
        "Cannot set the login timeout (" + shown + "): " + Diagnostics(SQL_HANDLE_DBC, dbc.get()));
  }

  std::vector<SQLCHAR> text(odbc_connection_string.begin(), odbc_connection_string.end());
  text.push_back(0);
  SQLCHAR completed[1024];
  SQLSMALLINT completed_length = 0;
  const SQLRETURN rc = SQLDriverConnect(dbc.get(), nullptr, text.data(), SQL_NTS, completed,
                                        sizeof completed, &completed_length, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) {
    // A refused login stays refused; a server out of reach or busy may come back.
    FailureKind kind;
    const std::string why = Diagnostics(SQL_HANDLE_DBC, dbc.get(), &kind);
    throw base::AgentError(
        kind.login && !kind.lost ? base::kLoginRejected : base::kConnectionFailed,
        "Cannot connect through ODBC (" + shown + "): " + why);
  }
  return std::make_unique<OdbcConnection>(std::move(env), std::move(dbc), dialect,
                                          "ODBC data source " + shown);
}

std::vector<std::string> InstalledOdbcDrivers() {
  HandlePtr env = NewEnvironment();
  std::vector<std::string> drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[256];
    SQLSMALLINT name_length = 0;
    SQLCHAR attributes[1024];
    SQLSMALLINT attributes_length = 0;
    const SQLRETURN rc = SQLDrivers(env.get(), direction, name, sizeof name, &name_length,
                                    attributes, sizeof attributes, &attributes_length);
    if (!Succeeded(rc)) break;
    drivers.emplace_back(reinterpret_cast<const char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

std::string SqlServerOdbcStringForDriver(const std::string& driver, const std::string& server,
                                         const std::string& catalog, const std::string& user,
                                         const std::string& password, const SqlServerTls& tls) {
  const std::string host = OdbcHost(server);
  std::string out = "Driver={" + driver + "};";
  if (driver == kFreeTds) {
    // FreeTDS takes the port as its own key; "host,port" and "host\instance" are SQL
    // Server's forms (an instance is found through the SQL Server Browser, without a port).
    const std::size_t comma = host.find(',');
    if (comma != std::string::npos) {
      out += "Server=" + OdbcValue(driver, "Server", FreeTdsServerName(host)) +
             ";Port=" + OdbcValue(driver, "Port", host.substr(comma + 1)) + ";";
    } else if (host.find('\\') != std::string::npos) {
      out += "Server=" + OdbcValue(driver, "Server", host) + ";";
    } else {
      out += "Server=" + OdbcValue(driver, "Server", host) + ";Port=1433;";
    }
    out += "Database=" + OdbcValue(driver, "Database", catalog) +
           ";UID=" + OdbcValue(driver, "UID", user) + ";PWD=" + OdbcValue(driver, "PWD", password) +
           ";TDS_Version=7.4;ClientCharset=UTF-8";
  } else {
    out += "Server=" + OdbcValue(driver, "Server", host) +
           ";Database=" + OdbcValue(driver, "Database", catalog) +
           ";UID=" + OdbcValue(driver, "UID", user) + ";PWD=" + OdbcValue(driver, "PWD", password);
  }
  if (!tls.verify) {
    // Version 18 encrypts by default and refuses the self-signed certificate most servers
    // of a cooperative have; the others encrypt when the server asks, unchecked.
    if (driver == kDriver18) out += ";TrustServerCertificate=yes";
    return out;
  }
  const std::string& name = tls.host_name_in_certificate;
  const auto refuse = [&](const std::string& why) {
    throw base::AgentError(base::kConnectionFailed, "Cannot connect to SQL Server " + server +
                                                        " with a checked certificate: " + why);
  };
  if (driver == kDriver18) {
    out += ";Encrypt=yes;TrustServerCertificate=no";
    if (!name.empty()) {
      out += ";HostNameInCertificate=" + OdbcValue(driver, "HostNameInCertificate", name);
    }
  } else if (driver == kDriver17) {
    if (!name.empty()) {
      refuse("\"" + driver +
             "\" checks the certificate against the server's name only (HostNameInCertificate "
             "needs ODBC Driver 18)");
    }
    out += ";Encrypt=yes;TrustServerCertificate=no";
  } else if (driver == kFreeTds) {
    // FreeTDS checks the certificate against the "ca file" of its configuration and the
    // server's name (SqlServerOdbcString makes sure a CA file is configured).
    if (!name.empty()) refuse("FreeTDS checks the certificate against the server's name only");
    out += ";Encryption=require";
  } else {
    refuse("the driver \"" + driver +
           "\" cannot be asked to check the server's certificate (install ODBC Driver 18 for SQL "
           "Server)");
  }
  return out;
}

std::string SqlServerOdbcString(const std::string& server, const std::string& catalog,
                                const std::string& user, const std::string& password,
                                const SqlServerTls& tls) {
  const std::vector<std::string> installed = InstalledOdbcDrivers();
  for (const char* driver : kSqlServerDrivers) {
    if (std::find(installed.begin(), installed.end(), driver) == installed.end()) continue;
    std::string text = SqlServerOdbcStringForDriver(driver, server, catalog, user, password, tls);
    const std::string name = FreeTdsServerName(OdbcHost(server));
    if (tls.verify && driver == std::string(kFreeTds) &&
        !FreeTdsCaFile(FreeTdsConfigFiles(), name)) {
      // Without a CA file FreeTDS encrypts but takes any certificate.
      throw base::AgentError(
          base::kConnectionFailed,
          "Cannot connect to SQL Server " + server +
              " with a checked certificate: FreeTDS checks certificates only against the \"ca "
              "file\" of its configuration, and none is set for " +
              name +
              " (add \"ca file = <file of trusted certificates>\" to the [global] section of "
              "freetds.conf)");
    }
    return text;
  }
  std::string wanted;
  for (const char* driver : kSqlServerDrivers) {
    if (!wanted.empty()) wanted += ", ";
    wanted += std::string("\"") + driver + "\"";
  }
  throw base::AgentError(base::kConnectionFailed,
                         "Cannot reach SQL Server " + server +
                             ": no SQL Server ODBC driver is installed (looked for " + wanted +
                             ")");
}

}  // namespace data
