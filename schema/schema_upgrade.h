#ifndef MAV_SCHEMA_SCHEMA_UPGRADE_H_
#define MAV_SCHEMA_SCHEMA_UPGRADE_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/connection.h"

namespace schema {

// What the upgrade steps work on.
struct UpgradeContext {
  data::Connection* MainConnection = nullptr;  // the accounting catalog
  // Opens a fresh connection to the server's Master catalog (same server and login).
  std::function<std::unique_ptr<data::Connection>()> OpenMasterConnection;
  // Receives the Master connection the probe opened; it stays open for the run.
  std::unique_ptr<data::Connection>* MasterConnection = nullptr;
  // Start date for SMSSetting rows without a date: today's BS date.
  std::string FallbackStartDate;
};

// How a step decides whether it has work to do.
enum class Probe {
  kTable,         // runs when `table` is missing from the accounting catalog
  kMasterTable,   // runs when `table` is missing from the Master catalog; statements go there
  kColumn,        // runs when `table` lacks `column`
  kNarrowColumn,  // runs when the text column `table`.`column` holds fewer than `width`
                  // characters (SQL Server only: the embedded driver does not enforce lengths)
  kNullRows,      // runs when some row of `table` has a Null `column` (the step fills them):
                  // a step that would change nothing writes nothing, so that a start under
                  // another program's write lock needs no lock
};

// What a step does after its statements.
enum class Fill {
  kNone,
  kDistricts,  // one District row per name of the district list, SN 1, 2, 3, ...
  kDateTo,     // SMSSetting.DateTo = 365 days after each row's Date (or the fallback date)
};

// One upgrade step: a probe and the SQL Server statements that create or extend its object
// and give the new columns their starting values.
struct UpgradeStep {
  Probe probe;
  const char* table;
  const char* column;  // kColumn, kNarrowColumn, kNullRows; otherwise ""
  std::vector<const char*> statements;
  Fill fill = Fill::kNone;
  int width = 0;  // characters; kNarrowColumn only
};

// The steps in order; step n is element n - 1.
const std::vector<UpgradeStep>& UpgradeSteps();

// Number of the last step.
int LastUpgradeStep();

// The district names of the District table, in SN order, joined by "_".
extern const char kDistrictList[];

// Runs upgrade steps first_step..last_step in order (start-up runs 1..3 right after the
// connection, then 4..LastUpgradeStep() after the fiscal year). A step whose probe finds its
// object runs nothing. A step that runs is all-or-nothing: its statements and fill run in one
// transaction, and an ALTER TABLE ... ADD adds only the columns still missing; a column it
// found already there gets its starting value only in rows where it is Null, also when the
// step's Update has a Where clause, so stored values stay. The first failing step throws
// AgentError ("Schema upgrade step n: ...") and leaves the catalog as before that step; the
// steps before it stay done.
void RunUpgradeSteps(UpgradeContext& context, int first_step, int last_step);

}  // namespace schema

#endif  // MAV_SCHEMA_SCHEMA_UPGRADE_H_
