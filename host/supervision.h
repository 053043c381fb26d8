#ifndef MAV_HOST_SUPERVISION_H_
#define MAV_HOST_SUPERVISION_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "host/agent_state.h"

namespace host {

// What the agent did: the counts of an activity line.
struct ActivityCounts {
  std::int64_t sim_answered = 0;         // LoanSMS requests
  std::int64_t internet_answered = 0;    // SMSService requests
  std::int64_t statements_answered = 0;  // LoanStatement requests
  std::int64_t messages_queued = 0;      // in the SIM outbox
  std::int64_t vouchers_repaired = 0;    // groups of the two repair passes
  std::int64_t transfer_dates_set = 0;   // AD dates whose transfer rows got their BS date

  bool Empty() const;
  ActivityCounts& operator+=(const ActivityCounts& more);
};

// The counts the tick's work left in the state (the SMS pass's, the repair passes'), which
// are set back to 0.
ActivityCounts TakeActivity(AgentState& state);

// The counts that are not 0, in the order of the struct: "3 SIM requests answered,
// 1 message queued, 183 vouchers repaired"; "" when all are 0.
std::string DescribeActivity(const ActivityCounts& counts);

// Activity lines come at most this often, a line that the agent is alive at least this often.
inline constexpr std::chrono::minutes kActivityInterval{1};
inline constexpr std::chrono::hours kAliveInterval{24};
// WATCHDOG=1 goes at most this often (systemd's WatchdogSec is far longer).
inline constexpr std::chrono::seconds kWatchdogInterval{1};

// What the agent makes known while it runs, beside its work: the activity lines of its log
// and the notifications of the service manager that runs it (systemd). The run loop (the
// window's timer or the headless loop) calls Started() once start-up has finished, Ticked()
// after every tick and Stopping() when it ends. Times come from the state's clocks.
//
// Log lines:
//   "Activity: <DescribeActivity>" when there was work, at most once per kActivityInterval:
//   the first work after a quiet minute is reported at once, later work waits until the
//   interval since the last line has passed; work not yet reported when the agent stops is
//   reported then.
//   "Alive for <n> day(s); in the last 24 hours: <what the activity lines reported>" (or
//   "no work"), once per kAliveInterval since start-up.
// Notifications: "READY=1" and the status at Started(); "WATCHDOG=1" at most once per
// kWatchdogInterval from Ticked(), so that only ticks that really run keep the watchdog
// quiet; "STATUS=<status line>" followed by "; last activity <date time>: <what>" once
// there was some, whenever that text changes; "STOPPING=1" at Stopping().
class Supervision {
 public:
  using Notify = std::function<void(const std::string& message)>;

  Supervision(AgentState& state, std::ostream& log, Notify notify);

  void Started(const std::string& status_line);
  void Ticked(const std::string& status_line);
  void Stopping();

  // What STATUS= says now.
  std::string Status(const std::string& status_line) const;

 private:
  std::chrono::steady_clock::time_point Clock() const;
  void WriteActivity(std::chrono::steady_clock::time_point now);
  void Send(const std::string& message);

  AgentState& state_;
  std::ostream& log_;
  Notify notify_;
  std::chrono::steady_clock::time_point started_{};
  std::optional<std::chrono::steady_clock::time_point> last_line_;  // the last activity line
  std::chrono::steady_clock::time_point last_alive_{};  // the last alive line, or start-up
  std::optional<std::chrono::steady_clock::time_point> last_watchdog_;
  ActivityCounts unreported_;  // taken from the state, not yet in a line
  ActivityCounts reported_;    // in the activity lines since the last alive line
  std::string last_activity_;  // "<date time>: <what>" of the last activity line
  std::string status_sent_;    // the last STATUS= text sent
};

}  // namespace host

#endif  // MAV_HOST_SUPERVISION_H_
