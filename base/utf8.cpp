#include "base/utf8.h"

namespace base {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Windows-1252 bytes 0x80..0x9F; the rest of the page is Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

}  // namespace

char32_t DecodeUtf8At(std::string_view text, std::size_t* pos) {
  const auto lead = static_cast<unsigned char>(text[*pos]);
  ++*pos;
  if (lead < 0x80) return lead;
  // The lead byte fixes the length and the range the second byte must fall in; the narrow
  // ranges after E0, ED, F0 and F4 are what excludes overlong forms, surrogates and values
  // above U+10FFFF (Unicode 15, table 3-7).
  int extra = 0;
  char32_t cp = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // below: overlong
    if (lead == 0xED) high = 0x9F;  // above: surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // below: overlong
    if (lead == 0xF4) high = 0x8F;  // above: past U+10FFFF
  } else {
    return kReplacementCharacter;  // C0, C1, F5..FF, or a continuation byte without a lead
  }
  for (int k = 0; k < extra; ++k) {
    if (*pos >= text.size()) return kReplacementCharacter;  // truncated
    const auto byte = static_cast<unsigned char>(text[*pos]);
    if (k == 0 ? (byte < low || byte > high) : !IsContinuation(byte)) {
      return kReplacementCharacter;  // the byte starts the next character
    }
    cp = (cp << 6) | (byte & 0x3F);
    ++*pos;
  }
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

// The text with every ill-formed sequence replaced by U+FFFD; with `drop_controls`, the C0
// controls other than CR and LF left out as well. Well-formed sequences are copied as they are.
std::string RepairedUtf8(std::string_view text, bool drop_controls) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t cp = DecodeUtf8At(text, &pos);
    if (drop_controls && cp < 0x20 && cp != U'\r' && cp != U'\n') continue;
    if (cp == kReplacementCharacter && text.compare(start, pos - start, "\xEF\xBF\xBD") != 0) {
      AppendUtf8(out, cp);
    } else {
      out.append(text, start, pos - start);
    }
  }
  return out;
}

}  // namespace

std::string ValidUtf8(std::string_view text) { return RepairedUtf8(text, false); }

std::string CleanText(std::string_view text) { return RepairedUtf8(text, true); }

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = DecodeUtf8At(text, &pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;  // [0, 0xFFFFF]: 10 bits in each half of the pair
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, cp);  // a lone surrogate becomes U+FFFD there
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    const char32_t cp = byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace base
