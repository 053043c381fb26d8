#ifndef MAV_SMS_SMS_STATE_H_
#define MAV_SMS_SMS_STATE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "base/agent_error.h"
#include "data/connection.h"
#include "loans/loan_state.h"

namespace sms {

// The SMS gateway values, refreshed from SMSDatabase on every online tick.
struct SmsState {
  std::string SMSGatewayType;      // "SIM" or "INTERNET" as stored (compared in capitals)
  std::string SMSDatabaseName;     // SIM: path of the modem's outbox file
  std::string SMSPassword;         // password of the gateway database
  std::string SMSDbUser;           // INTERNET: SQL Server login
  std::string SMSBirthdayMessage;  // greeting text (kept, never sent by the agent)
  std::int32_t bSMS = 0;           // greeting switch (kept, never used)
  double SMSRate = 0;              // charge per message
  std::int32_t SMSCustomerID = 0;  // the cooperative's number at the internet service
  std::string SMSSendBy;           // signature of the report; "" until an internet stage read it
  std::unique_ptr<data::Connection> SMSConnection;  // the SIM outbox
  bool SMSLocalReady = false;                       // the SIM outbox is open
  bool SMSServerReady = false;  // the internet service answered for this catalog

  // Request rows (and transfer eDate groups) whose last attempt failed, keyed by
  // "<table>:<key>", with the error text then reported. A row that keeps failing on every
  // tick is reported once; a different error, or a failure after a success, is new.
  std::map<std::string, std::string> failed_rows;
};

// What the SMS work needs from the rest of the agent, passed explicitly.
struct SmsContext {
  data::Connection* MainConnection = nullptr;  // the accounting catalog
  std::string DbName;                          // the accounting catalog's name
  std::int32_t CurFyear = 0;                   // fiscal year in use (YearSetting.SN)
  loans::LoanState* loans = nullptr;
  SmsState* sms = nullptr;
  // The fiscal year (YearSetting.SN) containing a BS date, 0 when none.
  std::function<std::int32_t(const std::string& bs_date)> GeTCurYear;
  // The platform's clock (local time is used for the outbox's date and time).
  std::function<std::chrono::system_clock::time_point()> now;
  // Receives the failure of one request row (the row stays pending and the pass goes on).
  // Optional: without it such failures are only kept in SmsState::failed_rows.
  std::function<void(const base::AgentError&)> report_error;
};

}  // namespace sms

#endif  // MAV_SMS_SMS_STATE_H_
