#include "schema/agent_tables.h"

#include "base/agent_error.h"
#include "schema/schema_probes.h"

namespace schema {

namespace {

void CreateTable(data::Connection& connection, const char* table, const char* create,
                 const char* index) {
  if (TableExists(connection, table)) return;
  try {
    data::Transaction transaction(connection);
    connection.Execute(create);
    connection.Execute(index);
    transaction.Commit();
  } catch (const base::AgentError& e) {
    // Another agent starting at the same moment made it first.
    if (base::WaitingMends(e.number()) || !TableExists(connection, table)) throw;
  }
}

}  // namespace

void CreateAgentTables(data::Connection& connection) {
  // One row per kind of work: Name "Catalog" or "SIM"; Holder the working agent's token
  // ("" once it let go); Host and Pid say who it is; Beat grows with every renewal.
  CreateTable(connection, "MAV_Lease",
              "Create Table MAV_Lease(Name Varchar(30),Holder Varchar(100),Host Varchar(100),"
              "Pid Int,Beat Int)",
              "Create Unique Index MAV_Lease_Name On MAV_Lease(Name)");
  CreateTable(connection, "MAV_Claim",
              "Create Table MAV_Claim(RequestTable Varchar(15),RequestSN Varchar(20),Mobile "
              "Varchar(30),Accode Varchar(20),RequestDate Varchar(30),Holder Varchar(100),"
              "OutboxId Varchar(40))",
              "Create Unique Index MAV_Claim_Request On MAV_Claim(RequestTable,RequestSN,Mobile,"
              "Accode,RequestDate)");
}

}  // namespace schema
