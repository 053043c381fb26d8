#include "base/backoff.h"

#include <gtest/gtest.h>

#include <vector>

namespace base {
namespace {

using std::chrono::seconds;

// The delays after each failure in a row, for the two kinds the agent uses; a success
// starts them again from the first.
TEST(Backoff, DoublesUpToItsLimitAndRestartsAfterSuccess) {
  const struct {
    const char* kind;
    Backoff backoff;
    std::vector<int> delays;  // seconds after the 1st, 2nd, ... failure
  } kCases[] = {
      {"row", RowBackoff(), {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 600, 600, 600}},
      {"connection", ConnectionBackoff(), {1, 2, 4, 8, 16, 32, 60, 60, 60}},
  };
  for (auto c : kCases) {
    SCOPED_TRACE(c.kind);
    std::chrono::steady_clock::time_point now{};  // the test's own clock
    EXPECT_TRUE(c.backoff.Ready(now));
    for (int delay : c.delays) {
      SCOPED_TRACE(delay);
      c.backoff.Failed(now);
      EXPECT_FALSE(c.backoff.Ready(now + seconds(delay) - std::chrono::milliseconds(1)));
      now += seconds(delay);
      EXPECT_TRUE(c.backoff.Ready(now));
    }
    c.backoff.Succeeded();
    c.backoff.Failed(now);
    EXPECT_EQ(now + seconds(1), c.backoff.next_attempt());
  }
}

}  // namespace
}  // namespace base
