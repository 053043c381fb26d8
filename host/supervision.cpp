#include "host/supervision.h"

#include <utility>

#include "host/log_file.h"

namespace host {

bool ActivityCounts::Empty() const {
  return sim_answered == 0 && internet_answered == 0 && statements_answered == 0 &&
         messages_queued == 0 && vouchers_repaired == 0 && transfer_dates_set == 0;
}

ActivityCounts& ActivityCounts::operator+=(const ActivityCounts& more) {
  sim_answered += more.sim_answered;
  internet_answered += more.internet_answered;
  statements_answered += more.statements_answered;
  messages_queued += more.messages_queued;
  vouchers_repaired += more.vouchers_repaired;
  transfer_dates_set += more.transfer_dates_set;
  return *this;
}

ActivityCounts TakeActivity(AgentState& state) {
  sms::SmsActivity& sms = state.sms.activity;
  ActivityCounts counts;
  counts.sim_answered = sms.sim_answered;
  counts.internet_answered = sms.internet_answered;
  counts.statements_answered = sms.statements_answered;
  counts.messages_queued = sms.messages_queued;
  counts.transfer_dates_set = sms.transfer_dates_set;
  counts.vouchers_repaired = state.round.batch.repaired;
  sms = sms::SmsActivity();
  state.round.batch.repaired = 0;
  return counts;
}

std::string DescribeActivity(const ActivityCounts& counts) {
  const struct {
    std::int64_t count;
    const char* one;
    const char* many;
  } kParts[] = {
      {counts.sim_answered, "SIM request answered", "SIM requests answered"},
      {counts.internet_answered, "internet request answered", "internet requests answered"},
      {counts.statements_answered, "loan statement request answered",
       "loan statement requests answered"},
      {counts.messages_queued, "message queued", "messages queued"},
      {counts.vouchers_repaired, "voucher repaired", "vouchers repaired"},
      {counts.transfer_dates_set, "transfer date set", "transfer dates set"},
  };
  std::string text;
  for (const auto& part : kParts) {
    if (part.count == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(part.count) + " " + (part.count == 1 ? part.one : part.many);
  }
  return text;
}

Supervision::Supervision(AgentState& state, std::ostream& log, Notify notify)
    : state_(state), log_(log), notify_(std::move(notify)) {}

std::chrono::steady_clock::time_point Supervision::Clock() const {
  return state_.env.clock ? state_.env.clock() : std::chrono::steady_clock::now();
}

void Supervision::Send(const std::string& message) {
  if (notify_) notify_(message);
}

std::string Supervision::Status(const std::string& status_line) const {
  if (last_activity_.empty()) return status_line;
  return status_line + "; last activity " + last_activity_;
}

void Supervision::Started(const std::string& status_line) {
  started_ = Clock();
  last_alive_ = started_;
  TakeActivity(state_);  // start-up does no work of the kind the lines count
  status_sent_ = Status(status_line);
  Send("READY=1\nSTATUS=" + status_sent_);
}

void Supervision::WriteActivity(std::chrono::steady_clock::time_point now) {
  const std::string what = DescribeActivity(unreported_);
  log_ << "Activity: " << what << std::endl;
  const auto wall = state_.env.now ? state_.env.now() : std::chrono::system_clock::now();
  last_activity_ = LocalDateTime(wall) + ": " + what;
  reported_ += unreported_;
  unreported_ = ActivityCounts();
  last_line_ = now;
}

void Supervision::Ticked(const std::string& status_line) {
  const auto now = Clock();
  unreported_ += TakeActivity(state_);
  if (!unreported_.Empty() && (!last_line_ || now - *last_line_ >= kActivityInterval)) {
    WriteActivity(now);
  }
  if (now - last_alive_ >= kAliveInterval) {
    const auto days = std::chrono::duration_cast<std::chrono::hours>(now - started_).count() / 24;
    const std::string done = DescribeActivity(reported_);
    log_ << "Alive for " << days << (days == 1 ? " day" : " days")
         << "; in the last 24 hours: " << (done.empty() ? "no work" : done) << std::endl;
    reported_ = ActivityCounts();
    last_alive_ = now;
  }

  std::string message;
  if (!last_watchdog_ || now - *last_watchdog_ >= kWatchdogInterval) {
    message = "WATCHDOG=1";
    last_watchdog_ = now;
  }
  const std::string status = Status(status_line);
  if (status != status_sent_) {
    if (!message.empty()) message += '\n';
    message += "STATUS=";
    message += status;
    status_sent_ = status;
  }
  if (!message.empty()) Send(message);
}

void Supervision::Stopping() {
  unreported_ += TakeActivity(state_);
  if (!unreported_.Empty()) WriteActivity(Clock());
  Send("STOPPING=1");
}

}  // namespace host
