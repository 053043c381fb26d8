#ifndef MAV_DATA_CONNECTION_H_
#define MAV_DATA_CONNECTION_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/value.h"

namespace data {

// A query's whole result, read when the query is opened: column names in order and rows.
struct QueryResult {
  std::vector<std::string> columns;
  std::vector<std::vector<Value>> rows;
};

// The rows of a query, read one at a time and forward only, as a server-side cursor reads
// them: a long result is never held whole. While rows are left to read, a cursor may hold
// resources of its connection (on an embedded catalog a read snapshot, which keeps the
// write-ahead log from being folded back into the file), so it is read and let go within one
// unit of work. A cursor whose connection was closed fails its next read with
// kConnectionLost.
class Cursor {
 public:
  virtual ~Cursor() = default;

  // The result's column names, in order.
  const std::vector<std::string>& columns() const { return columns_; }

  // Reads the next row into `row` (its values replaced). False past the last row, after
  // which the cursor holds nothing of its connection. Throws AgentError as a query does.
  virtual bool Next(std::vector<Value>& row) = 0;

 protected:
  std::vector<std::string> columns_;
};

// How long after a commit a connection's DataVersion may still give the token of before it:
// 0 for embedded catalogs, at most this for servers that the agent can only poll.
inline constexpr std::chrono::seconds kDataVersionLag{1};

// Which SQL a connection speaks. The agent's SQL texts are SQL Server's; connections of
// another dialect rewrite them before they run (see sql_dialect.h).
enum class Dialect { kSqlServer, kSqlite };

// An open database connection. Every failure throws AgentError whose description names
// the statement and carries the driver's code and message. A failure of the connection
// itself (the file cannot be opened or read, the server is gone, a login or statement
// timed out) is kConnectionLost: the connection is then of no further use.
class Connection {
 public:
  virtual ~Connection() = default;

  // Runs a statement that returns no rows. It takes effect at once unless a transaction
  // is open on this connection. Returns the number of rows the statement inserted, updated
  // or deleted (rows changed by triggers not counted); 0 for other statements.
  virtual std::int64_t Execute(const std::string& sql) = 0;

  // Execute, and the change survives a power cut once this returns: a driver that lets
  // commits reach the disk later (the embedded catalogs' write-ahead log) writes this one
  // through at once.
  virtual std::int64_t ExecuteDurably(const std::string& sql) { return Execute(sql); }

  // Execute, for writes to the agent's own bookkeeping (the lease of several agents), which
  // no query whose result a caller keeps depends on: they are no change for DataVersion.
  virtual std::int64_t ExecuteUncounted(const std::string& sql) { return Execute(sql); }

  // Runs a query and reads its whole result.
  virtual QueryResult Query(const std::string& sql) = 0;

  // Runs a query and reads at most its first `max_rows` rows (all when max_rows <= 0), for
  // callers that look at the first rows only; a driver may stop reading early.
  virtual QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) {
    QueryResult result = Query(sql);
    if (max_rows > 0 && static_cast<std::int64_t>(result.rows.size()) > max_rows) {
      result.rows.resize(static_cast<std::size_t>(max_rows));
    }
    return result;
  }

  // Runs a query whose rows are read one at a time (see Cursor). This default reads the
  // whole result first; a driver that can hand rows out as it reads them does so.
  virtual std::unique_ptr<Cursor> OpenCursor(const std::string& sql);

  // A token for the state of the whole database's data, for callers that keep what a query
  // found until the data changes. Once a change of any row is committed, whoever made it
  // (this connection, another connection of this program, another program), the token
  // differs from the one returned before the change, within kDataVersionLag of the commit
  // at the latest; a new token does not always mean a change. std::nullopt when the driver
  // cannot tell: every call then counts as a change.
  virtual std::optional<std::string> DataVersion() { return std::nullopt; }

  // All-or-nothing groups of statements (used by the schema upgrade).
  virtual void BeginTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  virtual Dialect dialect() const = 0;

  // What this connection reaches, for error texts ("catalog file /x/MavData.db").
  virtual std::string Describe() const = 0;

  // True when the name this connection was opened by now leads to another database, or to
  // none: its file was replaced (another inode) or removed. Such a connection still works
  // on the old file, so it should be reopened. Servers are never replaced.
  virtual bool Replaced() const { return false; }
};

// How a connection to SQL Server is protected. The default is what servers accept today:
// each driver's own behaviour (ODBC Driver 18 encrypts without checking the server's
// certificate, the other drivers encrypt only when the server asks and check nothing), so
// whoever sits between the agent and the server can read and change the traffic, login
// included.
struct SqlServerTls {
  // Encrypted always, with the server's certificate checked: signed by a trusted authority
  // and made out to the server's name. A driver that cannot check it refuses to connect.
  bool verify = false;
  // The name the certificate must carry when it is not the server's name as written in the
  // Data Source (an address); "" for that name.
  std::string host_name_in_certificate;
};

// `tls` as keys of an SQL Server connection string of the OLE DB form below: "" for the
// default; otherwise ";Use Encryption for Data=True;Trust Server Certificate=False", and
// ";Host Name In Certificate=<name>" (quoted) when a name is given. These are the keywords of
// Microsoft's OLE DB driver for SQL Server; OpenConnection reads them back.
std::string SqlServerTlsKeys(const SqlServerTls& tls);

// Opens a connection from the system's connection strings (OLE DB form):
// - "Provider=SQLOLEDB.1;...;Initial Catalog=X;Data Source=S": when S names an existing
//   directory, the embedded catalog file S/X.db (S/Master.db is created when missing, any
//   other missing file is an error); otherwise SQL Server through ODBC, protected as the
//   keys of SqlServerTlsKeys say.
// - "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=F;...": the file F, SQLite or Jet format.
// - "Driver=...;..." : passed to ODBC unchanged.
// Throws AgentError kConnectionFailed with the reason.
std::unique_ptr<Connection> OpenConnection(const std::string& connection_string);

// Begins a transaction and rolls it back on destruction unless Commit() ran.
class Transaction {
 public:
  explicit Transaction(Connection& connection);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& connection_;
  bool done_ = false;
};

// A text as an SQL literal: between single quotes, every quote doubled. The stored value
// is `text` without its NUL bytes, which would cut the statement. Bytes that are not UTF-8
// stay; the drivers' conversions make them U+FFFD, never a quote (see base/utf8.h). Use it
// wherever a text is spliced into a statement. On SQL Server a literal holding a character
// outside ASCII travels as N'...' (the ODBC driver adds the N), so it keeps every character.
std::string SqlText(const std::string& text);

}  // namespace data

#endif  // MAV_DATA_CONNECTION_H_
