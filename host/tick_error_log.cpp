#include "host/tick_error_log.h"

namespace host {

void TickErrorLog::Record(const std::string& unit, int number, const std::string& description) {
  const Key key{unit, number, description};
  Entry& entry = entries_[key];
  ++entry.count;
  if (entry.count == 1) {
    out_ << "Tick error in " << unit << ": Error " << number << ": " << description << std::endl;
    return;
  }
  if (entry.count == entry.next_summary) {
    WriteSummary(key, entry);
    entry.next_summary = (entry.next_summary - 1) * 10 + 1;  // after 10, 100, 1000 repeats
  }
}

void TickErrorLog::WriteSummary(const Key& key, Entry& entry) {
  const std::int64_t repeats = entry.count - 1;
  out_ << "Tick error in " << std::get<0>(key) << ": Error " << std::get<1>(key) << ": "
       << std::get<2>(key) << " (repeated " << repeats << (repeats == 1 ? " time)" : " times)")
       << std::endl;
  entry.reported = entry.count;
}

void TickErrorLog::Note(const std::string& line) { out_ << line << std::endl; }

void TickErrorLog::Summarise() {
  for (auto& [key, entry] : entries_) {
    if (entry.count > entry.reported) WriteSummary(key, entry);
  }
}

std::int64_t TickErrorLog::Count(const std::string& unit, int number,
                                 const std::string& description) const {
  const auto it = entries_.find(Key{unit, number, description});
  return it == entries_.end() ? 0 : it->second.count;
}

}  // namespace host
