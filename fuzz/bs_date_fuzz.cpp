// The date routines on any text and count: AD date texts to BS, BS day and month arithmetic.
// Failures are AgentErrors; adding n days and then -n days gives the date back.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::int32_t count = 0;
  std::memcpy(&count, data, sizeof count);
  if (count == std::numeric_limits<std::int32_t>::min()) return 0;  // its negation does not fit
  const std::string text = fuzz::Text(data + 4, size - 4);
  try {
    calendar::AdToBs(text);
  } catch (const base::AgentError&) {
  }
  try {
    const std::string later = calendar::BsAddDays(text, count);
    // A date that came out of the calendar's own arithmetic is a proper date.
    const std::string back = calendar::BsAddDays(later, -count);
    std::string a = back;
    std::string b = later;
    const std::int32_t days = calendar::BsDaysBetween(a, b);
    fuzz::Check(days == (count < 0 ? -static_cast<std::int64_t>(count) : count),
                "BsDaysBetween differs from the days added");
    fuzz::Check(calendar::BsAddDays(back, 0) == back, "adding 0 days changed a date");
  } catch (const base::AgentError&) {
  }
  try {
    calendar::BsAddMonths(text, count);
  } catch (const base::AgentError&) {
  }
  try {
    std::string a = text;
    std::string b = text.size() > 10 ? text.substr(10) : std::string("2080/01/01");
    calendar::BsDaysBetween(a, b);
    calendar::BsMonthsBetween(a, b);
  } catch (const base::AgentError&) {
  }
  return 0;
}
