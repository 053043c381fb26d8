#ifndef MAV_HOST_AGENT_STATE_H_
#define MAV_HOST_AGENT_STATE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/backoff.h"
#include "data/connection.h"
#include "host/agent_lease.h"
#include "host/ledger_fixups.h"
#include "loans/loan_state.h"
#include "sms/sms_state.h"

namespace host {

// Where the agent lives and what it asks of the platform; tests replace these.
struct Environment {
  std::filesystem::path program_folder;     // folder of the executable
  std::filesystem::path print_copy_target;  // where ChPrint.mdb is copied at start
  std::function<bool()> online;             // the online test of every tick
  std::function<std::chrono::system_clock::time_point()> now;
  base::SteadyClock clock;  // monotonic: tick budgets and retry delays (steady clock if empty)
  std::string host_name;    // this machine's name, as other agents of the catalog see it
  std::int64_t process_id = 0;
  std::function<bool(std::int64_t pid)> process_alive;  // a process of this machine runs
};

// The work of one long tick (the SMS pass, then repair passes 1 and 2), spread over as many
// ticks as their budget needs: where it stands. Each part goes on where the last tick
// stopped; a new round begins when all three are done.
struct TickRound {
  enum class Step { kSms, kLoanRepaymentCodes, kDepositEntryDates };
  Step step = Step::kSms;
  FixupBatch batch;  // of the repair pass in progress
};

// Every program-wide value of the agent. main() owns the one instance.
struct AgentState {
  Environment env;

  std::unique_ptr<data::Connection> JetConnection;     // the local settings file
  std::unique_ptr<data::Connection> MainConnection;    // the accounting catalog
  std::unique_ptr<data::Connection> MasterConnection;  // the server's Master catalog

  std::string DbServer, DbUser, DbPassword, DbName;
  // How the accounting and Master catalogs are reached on SQL Server (MAVEncryption.ini).
  data::SqlServerTls accounting_tls;
  std::string CnServer, CnDatabase, CnUser, CnPassword;  // from the connector file
  bool UseConnector = false;
  bool DbConnected = false;
  std::int32_t CurFyear = 0;  // YearSetting.SN of the year in use; 0 when none
  std::string CurFyearDate;   // BS date ("yyyy/mm/dd") on which CurFyear was last read

  TickRound round;

  // Who works when several agents serve the catalog (agent_lease.h): the catalog's work and
  // the SIM requests. Made once start-up has the catalog's tables; null before.
  std::unique_ptr<AgentLease> catalog_lease;
  std::unique_ptr<AgentLease> sim_lease;

  loans::LoanState loans;
  sms::SmsState sms;
};

}  // namespace host

#endif  // MAV_HOST_AGENT_STATE_H_
