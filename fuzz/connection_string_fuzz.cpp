// The connection-string parser on any text, and the quoting of values: every value parsed,
// written back quoted, parses to itself and adds no key.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/agent_error.h"
#include "data/connection_string.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Text(data, size);
  // Any text is also a value: a password as someone typed it.
  const data::ConnectionString one = data::ConnectionString::Parse(
      "Provider=SQLOLEDB.1;pwd=" + data::QuotedValue(text) + ";Data Source=S");
  fuzz::Check(one.entries().size() == 3, "a quoted value added a key");
  fuzz::Check(one.GetOr("pwd", "") == text, "a quoted value did not parse to itself");
  fuzz::Check(one.GetOr("Data Source", "") == "S", "a quoted value replaced a key");
  try {
    const data::ConnectionString parsed = data::ConnectionString::Parse(text);
    std::string rebuilt;
    for (const auto& [key, value] : parsed.entries()) {
      if (key.find_first_of(";=\"'") != std::string::npos) continue;
      rebuilt += key + "=" + data::QuotedValue(value) + ";";
    }
    const data::ConnectionString again = data::ConnectionString::Parse(rebuilt);
    for (const auto& [key, value] : again.entries()) {
      fuzz::Check(parsed.Get(key) == value, "a rebuilt string reads differently");
    }
  } catch (const base::AgentError&) {
    // A text that is no connection string.
  }
  return 0;
}
