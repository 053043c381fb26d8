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

// One index: `columns` of `table`, in this order.
struct AgentIndex {
  const char* table;
  std::vector<const char*> columns;

  // The name the agent creates it under: "MAV_<table>_<column>_<column>...". The prefix
  // tells an administrator which indexes are the agent's.
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

// Creates each index of AgentIndexes() that the catalog lacks (see HasIndexOn) under its
// Name(). Never throws: a failure to read a table's indexes or to create one (no permission,
// a lock held too long, a missing table) writes one line to `log`, and the agent goes on
// without that index. Returns the number of indexes created.
int CreateAgentIndexes(data::Connection& connection, std::ostream& log);

}  // namespace schema

#endif  // MAV_SCHEMA_AGENT_INDEXES_H_
