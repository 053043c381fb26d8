// The connector file's line decoder and the text conversions under it: whatever bytes a line
// holds, the decoded text is well-formed UTF-8, and UTF-8 to UTF-16 and back gives the input
// with each ill-formed sequence made U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/utf8.h"
#include "fuzz/fuzz_util.h"
#include "host/connector_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = fuzz::Text(data, size);
  const std::string line = host::DecodeConnectorLine(bytes);
  fuzz::Check(base::ValidUtf8(line) == line, "a decoded connector line is not UTF-8");

  const std::string valid = base::ValidUtf8(bytes);
  fuzz::Check(base::ValidUtf8(valid) == valid, "ValidUtf8 is not idempotent");
  fuzz::Check(base::Utf16ToUtf8(base::Utf8ToUtf16(bytes)) == valid,
              "UTF-16 round trip differs from ValidUtf8");
  // A quote reaches UTF-16 only where the input holds the byte 0x27.
  std::size_t quotes = 0;
  for (char c : bytes) quotes += c == '\'';
  std::size_t converted = 0;
  for (char16_t unit : base::Utf8ToUtf16(bytes)) converted += unit == u'\'';
  fuzz::Check(quotes == converted, "a byte sequence became a quote");
  return 0;
}
