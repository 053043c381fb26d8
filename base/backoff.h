#ifndef MAV_BASE_BACKOFF_H_
#define MAV_BASE_BACKOFF_H_

#include <chrono>
#include <functional>

namespace base {

// The monotonic clock of tick budgets and retry delays. Tests pass their own.
using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// Retry delays that double after every failure: first, 2 × first, 4 × first, ... up to
// `limit`, and start from `first` again after a success. Times come from the caller, so a
// test drives it with an invented clock.
//
//   base::Backoff retry(std::chrono::seconds(1), std::chrono::minutes(1));
//   if (retry.Ready(now)) { try { Reopen(); retry.Succeeded(); } catch (...) { retry.Failed(now); }
//   }
class Backoff {
 public:
  using Duration = std::chrono::steady_clock::duration;
  using TimePoint = std::chrono::steady_clock::time_point;

  Backoff(Duration first, Duration limit) : first_(first), limit_(limit) {}

  // True when no failure is waiting out its delay at `now`.
  bool Ready(TimePoint now) const { return failures_ == 0 || now >= next_attempt_; }

  // Records a failure at `now`: the next attempt is due one delay later, and the delay
  // after that is twice as long (at most `limit`).
  void Failed(TimePoint now);

  // Forgets the failures: the next failure waits `first` again.
  void Succeeded() { failures_ = 0; }

  // Failures since the last success.
  int failures() const { return failures_; }

  // When the next attempt is due; meaningful while failures() > 0.
  TimePoint next_attempt() const { return next_attempt_; }

 private:
  Duration first_;
  Duration limit_;
  int failures_ = 0;
  TimePoint next_attempt_{};
};

// The delays of the agent: a request row that keeps failing, and a database connection
// that cannot be reopened.
inline Backoff RowBackoff() { return Backoff(std::chrono::seconds(1), std::chrono::minutes(10)); }
inline Backoff ConnectionBackoff() {
  return Backoff(std::chrono::seconds(1), std::chrono::minutes(1));
}

}  // namespace base

#endif  // MAV_BASE_BACKOFF_H_
