// SMS reply texts on any bytes (a member's name, a signature, a whole reply): cleaning,
// capitals, the cutting into SMS parts and the quoting for SQL.
// - CleanText gives valid UTF-8 with no control but CR and LF, and leaves clean text as it is.
// - Capitals decodes strictly: it gives what it gives for the text's valid form, and valid
//   UTF-8 itself (an overlong form never becomes a quote or a NUL).
// - The SMS parts of a text are those of its clean form; they join to it, no part exceeds its
//   size (160 or 153 septets, 70 or 67 UTF-16 units), and only a text longer than one message
//   has several.
// - SqlText of the clean text reads back as one literal equal to it, and so does the literal
//   as SQL Server gets it (N'...' when it holds a character outside ASCII).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/agent_error.h"
#include "base/utf8.h"
#include "data/connection.h"
#include "data/sql_server_literals.h"
#include "fuzz/fuzz_util.h"
#include "sms/gammu_outbox.h"
#include "sms/reply_messages.h"

namespace {

// The text of the quoted literal at the start of `sql`, its quotes doubled inside; `end`
// receives the offset past it. std::nullopt when `sql` does not start with one.
std::optional<std::string> ReadLiteral(std::string_view sql, std::size_t* end) {
  if (sql.empty() || sql[0] != '\'') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < sql.size(); ++i) {
    if (sql[i] != '\'') {
      text += sql[i];
    } else if (i + 1 < sql.size() && sql[i + 1] == '\'') {
      text += '\'';
      ++i;
    } else {
      *end = i + 1;
      return text;
    }
  }
  return std::nullopt;
}

bool IsClean(const std::string& text) {
  if (base::ValidUtf8(text) != text) return false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') return false;
  }
  return true;
}

void CheckParts(const std::string& clean, const std::string& raw) {
  sms::SmsParts parts;
  try {
    parts = sms::SplitIntoSmsParts(clean);
  } catch (const base::AgentError&) {
    return;  // more than 255 parts
  }
  const sms::SmsParts from_raw = sms::SplitIntoSmsParts(raw);
  fuzz::Check(from_raw.texts == parts.texts && from_raw.unicode == parts.unicode,
              "a text splits otherwise than its clean form");
  std::string joined;
  int total = 0;
  for (const std::string& part : parts.texts) {
    joined += part;
    int size = 0;
    if (parts.unicode) {
      size = static_cast<int>(base::Utf8ToUtf16(part).size());
    } else {
      for (std::size_t pos = 0; pos < part.size();) {
        const int septets = sms::GsmSeptets(base::DecodeUtf8At(part, &pos));
        fuzz::Check(septets > 0, "a GSM part holds a character outside the alphabet");
        size += septets;
      }
    }
    total += size;
    const int limit =
        parts.texts.size() == 1 ? (parts.unicode ? 70 : 160) : (parts.unicode ? 67 : 153);
    fuzz::Check(size <= limit, "an SMS part exceeds its size");
  }
  fuzz::Check(joined == clean, "the SMS parts do not join to the text");
  fuzz::Check(parts.texts.size() == 1 || total > (parts.unicode ? 70 : 160),
              "a text that fits one message was cut");
}

void CheckLiteral(const std::string& clean) {
  const std::string literal = data::SqlText(clean);
  std::size_t end = 0;
  const std::optional<std::string> read = ReadLiteral(literal, &end);
  fuzz::Check(read == clean && end == literal.size(), "SqlText does not read back as the text");

  const std::string sql = data::NationalTextLiterals("Select " + literal + ",'a'");
  const bool ascii = std::all_of(clean.begin(), clean.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::string_view rest(sql);
  fuzz::Check(rest.substr(0, 7) == "Select ", "the statement's start changed");
  rest.remove_prefix(7);
  if (!ascii) {
    fuzz::Check(!rest.empty() && rest[0] == 'N', "a text outside ASCII is no N'...' literal");
    rest.remove_prefix(1);
  }
  const std::optional<std::string> national = ReadLiteral(rest, &end);
  fuzz::Check(national == clean, "the literal for SQL Server does not read back as the text");
  fuzz::Check(rest.substr(end) == ",'a'", "the literal for SQL Server took in what follows");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw = fuzz::Text(data, size);

  const std::string clean = base::CleanText(raw);
  fuzz::Check(IsClean(clean), "CleanText left a control or an ill-formed sequence");
  fuzz::Check(base::CleanText(clean) == clean, "CleanText changed a clean text");

  const std::string capitals = sms::Capitals(raw);
  fuzz::Check(base::ValidUtf8(capitals) == capitals, "Capitals gave ill-formed UTF-8");
  fuzz::Check(capitals == sms::Capitals(base::ValidUtf8(raw)),
              "Capitals read an ill-formed sequence as a character");

  CheckParts(clean, raw);
  CheckLiteral(clean);
  return 0;
}
