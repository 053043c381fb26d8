#ifndef MAV_HOST_AGENT_STATE_H_
#define MAV_HOST_AGENT_STATE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "data/connection.h"
#include "loans/loan_state.h"
#include "sms/sms_state.h"

namespace host {

// Where the agent lives and what it asks of the platform; tests replace these.
struct Environment {
  std::filesystem::path program_folder;     // folder of the executable
  std::filesystem::path print_copy_target;  // where ChPrint.mdb is copied at start
  std::function<bool()> online;             // the online test of every tick
  std::function<std::chrono::system_clock::time_point()> now;
};

// Every program-wide value of the agent. main() owns the one instance.
struct AgentState {
  Environment env;

  std::unique_ptr<data::Connection> JetConnection;     // the local settings file
  std::unique_ptr<data::Connection> MainConnection;    // the accounting catalog
  std::unique_ptr<data::Connection> MasterConnection;  // the server's Master catalog

  std::string DbServer, DbUser, DbPassword, DbName;
  std::string CnServer, CnDatabase, CnUser, CnPassword;  // from the connector file
  bool UseConnector = false;
  bool DbConnected = false;
  std::int32_t CurFyear = 0;  // YearSetting.SN of the year in use; 0 when none

  loans::LoanState loans;
  sms::SmsState sms;
};

}  // namespace host

#endif  // MAV_HOST_AGENT_STATE_H_
