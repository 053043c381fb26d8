#ifndef MAV_SMS_SMS_STATE_H_
#define MAV_SMS_SMS_STATE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "base/backoff.h"
#include "data/connection.h"
#include "data/record_set.h"
#include "loans/loan_state.h"
#include "sms/claims.h"

namespace sms {

// Where a pass of CheckSMS stands when a tick's time ran out before its end: the next call
// goes on from there, so a backlog worked off over many ticks is answered in the order, and
// with the texts, of one long pass.
struct SmsPass {
  enum class Stage { kGateway, kStatements, kTransfers };
  enum class Gateway { kNone, kSim, kInternet };

  bool in_progress = false;
  Stage stage = Stage::kGateway;
  Gateway gateway = Gateway::kNone;  // the request queue chosen when the pass began
  bool sim_work = true;              // SmsWork::sim and ::catalog when the pass began
  bool catalog_work = true;
  bool rows_open = false;  // `rows` holds the current stage's pending rows
  data::RecordSet rows;    // positioned at the next row to handle
  // The SIM stage's claims as read when it began, by the request's field texts.
  std::map<std::vector<std::string>, Claim> claims;
};

// A request row (or transfer eDate group) whose last attempt failed.
struct FailedRow {
  std::string error;  // as reported: "<number>: <description>"
  base::Backoff retry = base::RowBackoff();
};

// What the SMS pass did since the host last took the counts for its activity line.
struct SmsActivity {
  std::int64_t sim_answered = 0;         // LoanSMS requests marked answered
  std::int64_t internet_answered = 0;    // SMSService requests given their reply
  std::int64_t statements_answered = 0;  // LoanStatement requests given their reply
  std::int64_t messages_queued = 0;      // messages queued in the SIM outbox
  std::int64_t transfer_dates_set = 0;   // AD dates whose transfer rows got their BS date
};

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
  // Set when the SIM outbox file is gammu-smsd's database: the Version of its tables.
  std::optional<std::int32_t> gammu_version;
  std::string outbox_id;        // the open outbox's own Id (MAV_Outbox), "" while none is open
  bool SMSLocalReady = false;   // the SIM outbox is open
  bool SMSServerReady = false;  // the internet service answered for this catalog

  // The SIM outbox is kept open while its file stays the same. `outbox_opened_as`: path and
  // password it was opened with; `outbox_down`: why it is not open, as last logged ("" when
  // it is, or never was tried).
  std::string outbox_opened_as;
  std::string outbox_down;
  base::Backoff outbox_retry = base::ConnectionBackoff();

  // The internet service's database, kept open while it answers. Its DATABASE_SETTING row is
  // looked up again at most every kServiceLookupInterval, or when the settings change.
  std::unique_ptr<data::Connection> service_connection;
  std::string service_opened_as;   // its connection string
  data::SqlServerTls service_tls;  // how it is reached (MAVEncryption.ini, read at start)
  std::string service_lookup;      // the last lookup's query
  std::chrono::steady_clock::time_point service_looked_up{};
  std::string service_down;  // as outbox_down
  base::Backoff service_retry = base::ConnectionBackoff();

  // Request rows (and transfer eDate groups) whose last attempt failed, keyed by
  // "<table>:<key>". A row is tried again only once its delay has passed (1 s, doubling up
  // to 10 min). A row that keeps failing the same way is reported once; a different error,
  // or a failure after a success, is new.
  std::map<std::string, FailedRow> failed_rows;

  SmsPass pass;  // CheckSMS's place in a pass cut short

  SmsActivity activity;  // counted by CheckSMS, taken and set back to 0 by the host

  // SIM requests claimed by another agent that queues in another outbox, by the request's
  // field texts: when this agent first found each claim standing (see kForeignClaimGrace).
  std::map<std::vector<std::string>, std::chrono::steady_clock::time_point> foreign_claims;

  // The local date ("yyyy-mm-dd") on which the outbox's memory was last pruned.
  std::string pruned_on;
};

// How long a claim on a SIM request by an agent that no longer works, and whose outbox this
// agent cannot look into, stands before this agent answers the request itself. The claimant
// settles it meanwhile when it comes back (a restart by the service manager takes 30 s); past
// this, a member waiting for an answer counts more than the small chance that the claimant
// queued the reply before it died.
inline constexpr std::chrono::seconds kForeignClaimGrace{60};

// This agent's share of the work when several agents serve one catalog (host/agent_lease.h).
// The defaults, all work and no fences, are those of an agent alone.
struct SmsWork {
  bool sim = true;      // answers SIM requests (holds the SIM lease)
  bool catalog = true;  // answers internet requests and loan statements, repairs transfer dates
  std::string holder;   // this agent's token; "" leaves SIM requests unclaimed
  // SQL conditions, true while this agent holds the SIM work and the catalog work ("": none).
  std::string sim_fence;
  std::string catalog_fence;
};

// How old the internet service's DATABASE_SETTING lookup may be before it is made again.
inline constexpr std::chrono::seconds kServiceLookupInterval{30};

// What the SMS work needs from the rest of the agent, passed explicitly.
struct SmsContext {
  data::Connection* MainConnection = nullptr;  // the accounting catalog
  std::string DbName;                          // the accounting catalog's name
  std::filesystem::path program_folder;        // folder of the agent's executable
  std::int32_t CurFyear = 0;                   // fiscal year in use (YearSetting.SN)
  loans::LoanState* loans = nullptr;
  SmsState* sms = nullptr;
  // The fiscal year (YearSetting.SN) containing a BS date, 0 when none.
  std::function<std::int32_t(const std::string& bs_date)> GeTCurYear;
  // The platform's clock (local time is used for the outbox's date and time).
  std::function<std::chrono::system_clock::time_point()> now;
  // The monotonic clock of retry delays (the steady clock when empty).
  base::SteadyClock clock;
  // True once the tick's time is up or the agent is stopping: CheckSMS then returns before
  // its next row and goes on from there at its next call. Empty: the pass runs to its end.
  std::function<bool()> out_of_time;
  // Receives the failure of one request row (the row stays pending and the pass goes on).
  // Optional: without it such failures are only kept in SmsState::failed_rows.
  std::function<void(const base::AgentError&)> report_error;
  // Receives the log's lines on the gateways' databases: lost, missing, back (optional).
  std::function<void(const std::string& line)> notice;
  SmsWork work;
};

}  // namespace sms

#endif  // MAV_SMS_SMS_STATE_H_
