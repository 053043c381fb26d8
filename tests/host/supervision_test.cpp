#include "host/supervision.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sms/sms_fixture.h"

namespace host {
namespace {

using std::chrono::milliseconds;

class SupervisionTest : public ::testing::Test {
 protected:
  SupervisionTest() {
    state_.env.clock = [this] { return now_; };
    state_.env.now = [] { return sms_test::LocalTime(2025, 3, 15, 14, 5, 9); };
  }

  // Moves the clock to `at` after start-up and runs a tick's supervision.
  void TickAt(milliseconds at) {
    now_ = start_ + at;
    supervision_.Ticked(">> Cat");
  }

  // The log's lines written since the last call.
  std::string NewLines() {
    const std::string all = log_.str();
    const std::string fresh = all.substr(seen_);
    seen_ = all.size();
    return fresh;
  }

  AgentState state_;
  std::ostringstream log_;
  std::vector<std::string> sent_;
  Supervision supervision_{state_, log_, [this](const std::string& m) { sent_.push_back(m); }};
  std::chrono::steady_clock::time_point start_{std::chrono::hours(1000)};
  std::chrono::steady_clock::time_point now_ = start_;
  std::size_t seen_ = 0;
};

// Work is reported at once after a quiet spell, then at most once a minute; a day without
// work still gets its line, and the work not yet reported is reported at the stop.
TEST_F(SupervisionTest, ActivityLinesAtMostOnceAMinuteAndADailyAliveLine) {
  supervision_.Started(">> Cat");
  constexpr auto kDay = std::chrono::hours(24);
  const struct {
    milliseconds at;
    int sim, statements, vouchers, transfers;
    const char* want;
  } kSteps[] = {
      {milliseconds(100), 0, 0, 0, 0, ""},
      {milliseconds(200), 2, 0, 0, 0, "Activity: 2 SIM requests answered, 2 messages queued\n"},
      {milliseconds(30'000), 0, 0, 7, 0, ""},
      {milliseconds(50'000), 0, 1, 0, 0, ""},
      {milliseconds(60'199), 0, 0, 0, 0, ""},
      {milliseconds(60'200), 0, 0, 0, 0,
       "Activity: 1 loan statement request answered, 7 vouchers repaired\n"},
      {milliseconds(60'300), 1, 0, 0, 0, ""},
      {kDay - milliseconds(1), 0, 0, 0, 0, "Activity: 1 SIM request answered, 1 message queued\n"},
      {kDay, 0, 0, 0, 0,
       "Alive for 1 day; in the last 24 hours: 3 SIM requests answered, 1 loan statement "
       "request answered, 3 messages queued, 7 vouchers repaired\n"},
      {2 * kDay, 0, 0, 0, 0, "Alive for 2 days; in the last 24 hours: no work\n"},
      {2 * kDay + milliseconds(100), 0, 0, 0, 1, "Activity: 1 transfer date set\n"},
      {2 * kDay + milliseconds(200), 0, 0, 0, 2, ""},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(std::to_string(step.at.count()) + " ms");
    state_.sms.activity.sim_answered += step.sim;
    state_.sms.activity.messages_queued += step.sim;
    state_.sms.activity.statements_answered += step.statements;
    state_.round.batch.repaired += step.vouchers;
    state_.sms.activity.transfer_dates_set += step.transfers;
    TickAt(step.at);
    EXPECT_EQ(step.want, NewLines());
    // The host took the counts.
    EXPECT_EQ(0, state_.sms.activity.sim_answered + state_.sms.activity.transfer_dates_set);
    EXPECT_EQ(0, state_.round.batch.repaired);
  }
  supervision_.Stopping();
  EXPECT_EQ("Activity: 2 transfer dates set\n", NewLines());
}

// READY after start-up, WATCHDOG from the ticks once a second, STATUS when its text changes,
// STOPPING at the end.
TEST_F(SupervisionTest, NotificationsFollowTheRun) {
  supervision_.Started(">>Database");
  for (int tick = 1; tick <= 30; ++tick) {
    if (tick == 12) state_.sms.activity.statements_answered = 1;
    now_ = start_ + milliseconds(100 * tick);
    supervision_.Ticked(">> Cat");
  }
  supervision_.Stopping();
  const std::vector<std::string> want = {
      "READY=1\nSTATUS=>>Database",
      "WATCHDOG=1\nSTATUS=>> Cat",
      "WATCHDOG=1",
      "STATUS=>> Cat; last activity 2025-03-15 14:05:09: 1 loan statement request answered",
      "WATCHDOG=1",
      "STOPPING=1",
  };
  EXPECT_EQ(want, sent_);
}

}  // namespace
}  // namespace host
