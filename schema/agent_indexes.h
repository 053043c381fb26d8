#ifndef MAV_SCHEMA_AGENT_INDEXES_H_
#define MAV_SCHEMA_AGENT_INDEXES_H_

#include <ostream>
#include <string>
#include <vector>

#include "data/connection.h"

// The indexes that the agent's statements rely on to stay fast on a large catalog (the
// repair passes, the SMS request queues, the loan lookups of every reply, the transfer date
// repair), made sure of at start-up after the schema upgrade.
namespace schema {

// One index: `columns` of `table`, in this order; a column written "Date DESC" is sorted
// descending.
struct AgentIndex {
  const char* table;
  std::vector<const char*> columns;
  // The condition of a partial index (the rows it holds), as SQLite reads it; null for an
  // index of every row. Only on embedded catalogs.
  const char* where = nullptr;
  // The name it is created under; null for "MAV_<table>_<column>_<column>...". The prefix
  // tells an administrator which indexes are the agent's.
  const char* name = nullptr;
  // Made on embedded catalogs only: it serves a statement as the SQLite rewrite reads it.
  bool embedded_only = false;

  std::string Name() const;
};

// Every index the agent relies on.
const std::vector<AgentIndex>& AgentIndexes();

// True when some index of `table` has `columns` as its leading key columns, in that order
// (names in any letter case), whatever its own name and further columns. An index that
// covers only some rows (filtered, partial) does not count, nor, on SQLite, one whose
// collation for these columns differs from the columns' own: the agent's comparisons use
// the columns' collation and could not use it. Throws AgentError when the catalog's index
// list cannot be read.
bool HasIndexOn(data::Connection& connection, const std::string& table,
                const std::vector<std::string>& columns);

// The same for one of the agent's indexes: its leading key columns as above, each sorted as
// listed when `index` sorts a column descending, and for a partial `index` an index of the
// same condition (the same text but for blanks and letter case outside quotes).
bool HasIndexOn(data::Connection& connection, const AgentIndex& index);

// Creates each index of AgentIndexes() that the catalog lacks (see HasIndexOn) under its
// Name(); on SQL Server only those not marked embedded_only. Never throws: a failure to read
// a table's indexes or to create one (no permission, a lock held too long, a missing table)
// writes one line to `log`, and the agent goes on without that index. Returns the number of
// indexes created.
int CreateAgentIndexes(data::Connection& connection, std::ostream& log);

}  // namespace schema

#endif  // MAV_SCHEMA_AGENT_INDEXES_H_
