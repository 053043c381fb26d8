#ifndef MAV_SCHEMA_AGENT_TABLES_H_
#define MAV_SCHEMA_AGENT_TABLES_H_

#include "data/connection.h"

// The agent's own tables in the accounting catalog, by which several agents on one catalog
// share the work: MAV_Lease (who works, see host/agent_lease.h) and MAV_Claim (who answers
// a SIM request, see sms/claims.h). Their names begin with MAV_, like the agent's indexes.
namespace schema {

// Creates MAV_Lease and MAV_Claim, each with its unique index, when missing. Throws
// AgentError when the catalog cannot be read or refuses them; start-up then ends (or waits,
// for a lock).
void CreateAgentTables(data::Connection& connection);

}  // namespace schema

#endif  // MAV_SCHEMA_AGENT_TABLES_H_
