#include "host/agent_lease.h"

#include <exception>
#include <utility>

#include "base/agent_error.h"

namespace host {

AgentLease::AgentLease(std::string name, AgentIdentity me,
                       std::function<bool(std::int64_t pid)> alive)
    : name_(std::move(name)), me_(std::move(me)), alive_(std::move(alive)) {}

std::string AgentLease::Fence() const {
  return "exists (Select 1 from MAV_Lease Where MAV_Lease.Name=" + data::SqlText(name_) +
         " and MAV_Lease.Holder=" + data::SqlText(me_.token) + ")";
}

bool AgentLease::Refresh(data::Connection& main, std::chrono::steady_clock::time_point now,
                         bool may_hold) {
  const std::string row = " Where Name=" + data::SqlText(name_);
  if (held_) {
    if (!may_hold) {
      Release(main);
      return false;
    }
    if (now - renewed_ < kRenewInterval) return true;
    held_ = false;  // until the renewal says otherwise
    if (main.ExecuteUncounted("Update MAV_Lease set Beat=coalesce(Beat,0)+1" + row +
                              " and Holder=" + data::SqlText(me_.token)) != 1) {
      next_check_ = now;  // taken over: see by whom at once
      return false;
    }
    held_ = true;
    renewed_ = now;
    return true;
  }
  if (now < next_check_) return false;
  next_check_ = now + kStandbyCheckInterval;

  const data::QueryResult lease =
      main.QueryFirstRows("Select Holder,Host,Pid,Beat from MAV_Lease" + row, 1);
  if (lease.rows.empty()) {
    seen_row_ = false;
    seen_holder_.clear();
    seen_host_.clear();
    seen_pid_ = 0;
    if (!may_hold) return false;
    // The first agent makes the row. Of two that try at once, the unique index refuses one.
    try {
      held_ =
          main.ExecuteUncounted("Insert into MAV_Lease(Name,Holder,Host,Pid,Beat) Select " +
                                data::SqlText(name_) + "," + data::SqlText(me_.token) + "," +
                                data::SqlText(me_.host) + "," + std::to_string(me_.pid) +
                                ",1 Where not exists (Select 1 from MAV_Lease" + row + ")") == 1;
    } catch (const base::AgentError& e) {
      if (base::IsConnectionError(e.number())) throw;
      held_ = false;
    }
    if (held_) renewed_ = now;
    return held_;
  }

  const std::vector<data::Value>& r = lease.rows[0];
  const std::string holder = r[0].Text().value_or("");
  const std::int64_t beat = r[3].IsNull() ? -1 : r[3].AsInt64();  // -1: Null
  if (!seen_row_ || holder != seen_holder_ || beat != seen_beat_) {
    seen_row_ = true;
    seen_holder_ = holder;
    seen_beat_ = beat;
    seen_since_ = now;
  }
  seen_host_ = r[1].Text().value_or("");
  seen_pid_ = r[2].IsNull() ? 0 : r[2].AsInt64();
  if (holder == me_.token) {
    // Still ours after a lost connection: renew at once.
    held_ = true;
    renewed_ = now - kRenewInterval;
    return Refresh(main, now, may_hold);
  }
  if (!may_hold) return false;
  // A process of this machine that no longer runs holds nothing (the agent killed and
  // started again); a process number now used by this agent belonged to an earlier run.
  const bool gone = !holder.empty() && seen_host_ == me_.host &&
                    (seen_pid_ == me_.pid || (alive_ && !alive_(seen_pid_)));
  if (holder.empty() || gone || now - seen_since_ >= kLeaseTimeout) return TakeOver(main, now);
  return false;
}

bool AgentLease::TakeOver(data::Connection& main, std::chrono::steady_clock::time_point now) {
  const std::string beat = seen_beat_ < 0 ? " is null" : "=" + std::to_string(seen_beat_);
  held_ =
      main.ExecuteUncounted("Update MAV_Lease set Holder=" + data::SqlText(me_.token) +
                            ",Host=" + data::SqlText(me_.host) + ",Pid=" + std::to_string(me_.pid) +
                            ",Beat=coalesce(Beat,0)+1 Where Name=" + data::SqlText(name_) +
                            " and Holder=" + data::SqlText(seen_holder_) + " and Beat" + beat) == 1;
  if (held_) renewed_ = now;
  return held_;
}

void AgentLease::Release(data::Connection& main) noexcept {
  if (!held_) return;
  held_ = false;
  try {
    main.ExecuteUncounted("Update MAV_Lease set Holder='',Beat=coalesce(Beat,0)+1 Where Name=" +
                          data::SqlText(name_) + " and Holder=" + data::SqlText(me_.token));
  } catch (const std::exception&) {
    // The others take over once the beat has stood still long enough.
  }
}

}  // namespace host
