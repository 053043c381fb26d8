#ifndef MAV_BASE_UTF8_H_
#define MAV_BASE_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text conversions. The agent's texts are UTF-8; bytes that other programs wrote arrive in
// UTF-16 (SQL Server, Jet) or in the Windows ANSI code page (the connector file).
//
// Every decoder here is strict: an overlong form ("C0 A7" for "'"), a surrogate code point
// (U+D800..U+DFFF) written in UTF-8, a value above U+10FFFF, a stray continuation byte, a
// truncated sequence and an unpaired UTF-16 surrogate each become one U+FFFD. So a text
// checked or quoted as UTF-8 cannot turn into another character (a quote, a NUL) when it is
// converted later.
namespace base {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point starting at text[*pos], which moves past the bytes it took (at least one).
// An ill-formed sequence yields U+FFFD and consumes its longest well-formed prefix, at least
// one byte (the W3C/Unicode "maximal subpart" rule).
char32_t DecodeUtf8At(std::string_view text, std::size_t* pos);

// Appends the UTF-8 form of `cp` (U+FFFD for a surrogate or a value above U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// `text` with every ill-formed sequence replaced by U+FFFD; well-formed text is unchanged.
std::string ValidUtf8(std::string_view text);

// `text` as the agent sends it to people (SMS replies): ill-formed sequences replaced by
// U+FFFD as ValidUtf8 does, and the C0 controls U+0000..U+001F left out except CR and LF.
// A NUL would cut the text in one program and not in another, and an escape or form feed
// means something else to a phone. Clean text is unchanged.
std::string CleanText(std::string_view text);

// UTF-8 to UTF-16 code units and back.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view units);

// Windows-1252 ("ANSI" on Western and South Asian Windows) bytes as UTF-8. The five bytes
// the code page leaves unassigned (81, 8D, 8F, 90, 9D) map to the C1 controls of the same
// value, as Windows' own conversion does.
std::string Windows1252ToUtf8(std::string_view bytes);

}  // namespace base

#endif  // MAV_BASE_UTF8_H_
