#ifndef MAV_HOST_TICK_ERROR_LOG_H_
#define MAV_HOST_TICK_ERROR_LOG_H_

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <tuple>

namespace host {

// Errors trapped by the tick, written so that a failure repeating on every tick (ten times
// a second) neither floods the log nor goes unseen: the first occurrence of each distinct
// error of each unit of work is one line; repeats are counted and summarised after 10, 100,
// 1000, ... repeats and once more by Summarise().
class TickErrorLog {
 public:
  explicit TickErrorLog(std::ostream& out) : out_(out) {}

  // `unit` names the unit of work that failed ("SMS", "loan repayment codes", ...).
  void Record(const std::string& unit, int number, const std::string& description);

  // Writes the repeats not yet reported.
  void Summarise();

  // Writes one line as it is: an event the tick observed (a connection lost or restored, a
  // new fiscal year), written once by whoever observed it.
  void Note(const std::string& line);

  // Occurrences of one error so far (0 when never seen).
  std::int64_t Count(const std::string& unit, int number, const std::string& description) const;

 private:
  struct Entry {
    std::int64_t count = 0;          // occurrences, the first included
    std::int64_t reported = 1;       // occurrences already written out
    std::int64_t next_summary = 11;  // count at which the next summary line is written
  };
  using Key = std::tuple<std::string, int, std::string>;

  void WriteSummary(const Key& key, Entry& entry);

  std::ostream& out_;
  std::map<Key, Entry> entries_;
};

}  // namespace host

#endif  // MAV_HOST_TICK_ERROR_LOG_H_
