// Number texts and amount formatting: any text through the strict and the lenient reader,
// any double through the formats and the fixed-width conversions.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "fuzz/fuzz_util.h"

namespace {

void Format(double x) {
  const std::string amount = base::FormatAmount(x);
  fuzz::Check(!amount.empty(), "FormatAmount gave an empty text");
  base::ShortestText(x);
  base::RoundHalfEven(x);
  base::RoundHalfEven(x, 2);
  try {
    base::RoundTrip15(x);  // kOverflow where 15 digits round past the largest double
  } catch (const base::AgentError&) {
  }
  try {
    base::ToInt32(x);
  } catch (const base::AgentError&) {
  }
  try {
    base::ToInt16(x);
  } catch (const base::AgentError&) {
  }
  if (std::isfinite(x)) base::FormatTwoDigits(static_cast<std::int64_t>(std::fmod(x, 1e15)));
  // A finite amount's text reads back as a number.
  if (std::isfinite(x) && std::fabs(x) < 1e15) {
    try {
      base::ParseNumber(amount);
    } catch (const base::AgentError&) {
      fuzz::Check(false, "the text of an amount is not a number");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Text(data, size);
  try {
    Format(base::ParseNumber(text));
  } catch (const base::AgentError&) {
  }
  try {
    Format(base::LeadingNumber(text));
  } catch (const base::AgentError&) {  // kOverflow past the largest double ("1e328")
  }
  if (size >= sizeof(double)) {
    double x = 0;
    std::memcpy(&x, data, sizeof x);
    Format(x);
  }
  return 0;
}
