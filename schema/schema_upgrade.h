#ifndef MAV_SCHEMA_SCHEMA_UPGRADE_H_
#define MAV_SCHEMA_SCHEMA_UPGRADE_H_

#include <functional>
#include <memory>
#include <string>

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

// Runs upgrade steps first_step..last_step in order (start-up runs 1..3, then 4..last).
// The first failing step throws; every step is all-or-nothing.
void RunUpgradeSteps(UpgradeContext& context, int first_step, int last_step);

// Number of the last step.
int LastUpgradeStep();

}  // namespace schema

#endif  // MAV_SCHEMA_SCHEMA_UPGRADE_H_
