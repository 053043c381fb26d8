#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

// Each ill-formed sequence becomes U+FFFD per maximal subpart; well-formed text is kept.
TEST(ValidUtf8, ReplacesEveryIllFormedSequence) {
  const struct {
    std::string text;
    std::string want;
  } kCases[] = {
      {"Ram \xE0\xA4\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "Ram \xE0\xA4\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},                  // U+FFFD itself
      {"\xC0\xA7", "\uFFFD\uFFFD"},                      // overlong "'"
      {"\xE0\x80\xA7", "\uFFFD\uFFFD\uFFFD"},            // overlong "'"
      {"\xF0\x80\x80\xA7", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong "'"
      {"\xC0\x80", "\uFFFD\uFFFD"},                      // overlong NUL
      {"\xC1\xBF", "\uFFFD\uFFFD"},                      // overlong U+007F
      {"\xE0\x9F\xBF", "\uFFFD\uFFFD\uFFFD"},            // overlong U+07FF
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // surrogate U+D800
      {"\xED\xBF\xBF", "\uFFFD\uFFFD\uFFFD"},            // surrogate U+DFFF
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // U+110000
      {"\xF5\x80\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past any plane
      {"a\xE2\x82", "a\uFFFD"},                          // truncated at the end
      {"\xE2\x82'", "\uFFFD'"},                          // truncated by a quote
      {"\xF0\x9F\x98", "\uFFFD"},                        // truncated 4-byte form
      {"\x80\xBF", "\uFFFD\uFFFD"},                      // continuations alone
      {"\xFE\xFF", "\uFFFD\uFFFD"},
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},  // U+10FFFF, the last
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(c.want, ValidUtf8(c.text));
    // The UTF-16 conversion decodes the same way, and back gives the valid text.
    EXPECT_EQ(c.want, Utf16ToUtf8(Utf8ToUtf16(c.text)));
  }
}

TEST(Utf16ToUtf8, PairsJoinAndLoneSurrogatesAreReplaced) {
  EXPECT_EQ("\xF0\x9F\x98\x80", Utf16ToUtf8(u"\xD83D\xDE00"));
  EXPECT_EQ("\uFFFDa", Utf16ToUtf8(std::u16string{0xD83D, 'a'}));
  EXPECT_EQ("a\uFFFD", Utf16ToUtf8(std::u16string{'a', 0xDE00}));
  EXPECT_EQ("\uFFFD\uFFFD", Utf16ToUtf8(std::u16string{0xDE00, 0xD83D}));
}

TEST(Windows1252ToUtf8, EveryByteBecomesItsCharacter) {
  const struct {
    std::string bytes;
    std::string want;
  } kCases[] = {
      {"sa", "sa"},       {"\x80", "\u20AC"}, {"\x9F", "\u0178"}, {"\x81", "\u0081"},
      {"\xA0", "\u00A0"}, {"\xE9", "\u00E9"}, {"\xFF", "\u00FF"}, {"'\x92", "'\u2019"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(c.want, Windows1252ToUtf8(c.bytes));
  }
  for (int byte = 0; byte < 256; ++byte) {
    const std::string text = Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
    EXPECT_EQ(text, ValidUtf8(text)) << byte;
  }
}

// What people are sent: no NUL or other C0 control but the line breaks, strictly decoded.
TEST(CleanText, LeavesOutControlsButLineBreaksAndReplacesIllFormedBytes) {
  const struct {
    std::string text;
    std::string want;
  } kCases[] = {
      {"DEAR RAM\r\nON: 2083/08/22\r\n-", "DEAR RAM\r\nON: 2083/08/22\r\n-"},
      {std::string("Ra\0m", 4), "Ram"},
      {"a\tb\x1B[0m\x0C\x01\x1F", "ab[0m"},
      {"\x7F\u0085\u0900", "\x7F\u0085\u0900"},  // DEL, a C1 control and Devanagari stay
      {"\xC0\x80", "\uFFFD\uFFFD"},              // an overlong NUL is no NUL
      {"R\xC0\xA7M", "R\uFFFD\uFFFDM"},
      {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(c.want, CleanText(c.text));
    EXPECT_EQ(c.want, CleanText(c.want));
  }
}

}  // namespace
}  // namespace base
