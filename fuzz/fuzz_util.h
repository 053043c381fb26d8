#ifndef MAV_FUZZ_FUZZ_UTIL_H_
#define MAV_FUZZ_FUZZ_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Shared by the libFuzzer targets of this folder. Each target feeds one input to the code
// under test; AgentError is an expected outcome (bad input), anything else that goes wrong
// (a sanitizer report, a broken property checked with Check) is a finding.
namespace fuzz {

// Stops the run with a message when a property of the code under test does not hold.
inline void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

inline std::string Text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzz

#endif  // MAV_FUZZ_FUZZ_UTIL_H_
