#ifndef MAV_DATA_CONNECTION_H_
#define MAV_DATA_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/value.h"

namespace data {

// A query's whole result, read when the query is opened: column names in order and rows.
struct QueryResult {
  std::vector<std::string> columns;
  std::vector<std::vector<Value>> rows;
};

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
