// gammu-smsd's outbox: the GSM 7-bit default alphabet, the cutting of long texts into
// concatenated parts, and the rows the daemon reads.
//
// How the daemon reads the outbox (gammu-smsd 1.42 on SQLite): every loop it selects rows with
// SendingDateTime < datetime('now','localtime') and SendingTimeOut < the same, takes one by
// pushing its SendingTimeOut into the future (an UPDATE that only succeeds while the old value
// is still past), reads `outbox` and the `outbox_multipart` rows with SequencePosition 2, 3,
// ..., sends them, and replaces them by `sentitems` rows. When Text is Null it encodes
// TextDecoded (UTF-8) in the row's Coding; the UDH column carries the concatenation header.

#include "sms/gammu_outbox.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "base/utf8.h"
#include "data/connection.h"
#include "schema/schema_probes.h"

namespace sms {

namespace {

// The GSM 7-bit default alphabet (3GPP TS 23.038), by septet value. 0x1B is the escape to the
// extension table, not a character; U+001B never occurs in a reply.
constexpr std::array<char32_t, 128> kGsmBasic = {
    U'@', U'£', U'$', U'¥', U'è', U'é', U'ù', U'ì', U'ò', U'Ç',  U'\n', U'Ø', U'ø', U'\r', U'Å',
    U'å', U'Δ', U'_', U'Φ', U'Γ', U'Λ', U'Ω', U'Π', U'Ψ', U'Σ',  U'Θ',  U'Ξ', 0x1B, U'Æ',  U'æ',
    U'ß', U'É', U' ', U'!', U'"', U'#', U'¤', U'%', U'&', U'\'', U'(',  U')', U'*', U'+',  U',',
    U'-', U'.', U'/', U'0', U'1', U'2', U'3', U'4', U'5', U'6',  U'7',  U'8', U'9', U':',  U';',
    U'<', U'=', U'>', U'?', U'¡', U'A', U'B', U'C', U'D', U'E',  U'F',  U'G', U'H', U'I',  U'J',
    U'K', U'L', U'M', U'N', U'O', U'P', U'Q', U'R', U'S', U'T',  U'U',  U'V', U'W', U'X',  U'Y',
    U'Z', U'Ä', U'Ö', U'Ñ', U'Ü', U'§', U'¿', U'a', U'b', U'c',  U'd',  U'e', U'f', U'g',  U'h',
    U'i', U'j', U'k', U'l', U'm', U'n', U'o', U'p', U'q', U'r',  U's',  U't', U'u', U'v',  U'w',
    U'x', U'y', U'z', U'ä', U'ö', U'ñ', U'ü', U'à',
};

// The extension table: each is sent as the escape septet and one more.
constexpr std::array<char32_t, 10> kGsmExtension = {U'\f', U'^', U'{', U'}', U'\\',
                                                    U'[',  U'~', U']', U'|', U'€'};

// The text's characters; an ill-formed sequence is one U+FFFD.
std::vector<char32_t> DecodeUtf8(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out.push_back(base::DecodeUtf8At(text, &i));
  return out;
}

const char* Coding(const SmsParts& parts) {
  return parts.unicode ? "Unicode_No_Compression" : "Default_No_Compression";
}

std::string Decimal(std::int64_t n) { return std::to_string(n); }

}  // namespace

int GsmSeptets(char32_t c) {
  if (c == 0x1B) return 0;  // the escape itself is no character
  for (char32_t g : kGsmBasic) {
    if (g == c) return 1;
  }
  for (char32_t g : kGsmExtension) {
    if (g == c) return 2;
  }
  return 0;
}

std::optional<std::int32_t> GammuTablesVersion(data::Connection& connection) {
  // gammu-smsd keeps its database in SQLite. A file of another engine (Jet through the
  // Access driver on Windows) is never its database, and that engine's SQL has no
  // Information_Schema to ask.
  if (connection.dialect() != data::Dialect::kSqlite) return std::nullopt;
  if (!schema::TableExists(connection, "gammu")) return std::nullopt;
  std::int32_t version = 0;
  for (const auto& row : connection.Query("Select Version from gammu").rows) {
    if (!row.empty() && !row[0].IsNull()) version = row[0].AsInt32();
  }
  return version;
}

SmsParts SplitIntoSmsParts(std::string_view text) {
  // The characters the replies leave out are not counted either (a NUL would make a plain
  // text Unicode), so a reply and its clean form split the same.
  const std::vector<char32_t> chars = DecodeUtf8(base::CleanText(text));
  SmsParts parts;
  std::vector<int> sizes(chars.size());
  for (std::size_t i = 0; i < chars.size() && !parts.unicode; ++i) {
    sizes[i] = GsmSeptets(chars[i]);
    parts.unicode = sizes[i] == 0;
  }
  if (parts.unicode) {
    // UTF-16 units: two for a character written as a surrogate pair.
    for (std::size_t i = 0; i < chars.size(); ++i) sizes[i] = chars[i] > 0xFFFF ? 2 : 1;
  }
  int total = 0;
  for (int s : sizes) total += s;

  // Septets (GSM) or UTF-16 units (Unicode) of a single message and of one concatenated part.
  const int single = parts.unicode ? 70 : 160;
  const int part = parts.unicode ? 67 : 153;
  if (total <= single) {
    parts.texts.emplace_back();
    for (char32_t c : chars) base::AppendUtf8(parts.texts.back(), c);
    return parts;
  }
  int used = part;  // of the part being filled; full, so the first character opens a part
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (used + sizes[i] > part) {
      parts.texts.emplace_back();
      used = 0;
    }
    base::AppendUtf8(parts.texts.back(), chars[i]);
    used += sizes[i];
  }
  if (parts.texts.size() > 255) {
    throw base::AgentError(base::kOverflow, "A text of " + Decimal(total) +
                                                (parts.unicode ? " UTF-16 units" : " septets") +
                                                " needs more than 255 SMS parts");
  }
  return parts;
}

std::string ConcatenationHeader(int reference, int count, int number) {
  char udh[16];
  std::snprintf(udh, sizeof udh, "050003%02X%02X%02X", reference & 0xFF, count & 0xFF,
                number & 0xFF);
  return udh;
}

std::string GammuDestination(const data::Value& mobile) {
  if (mobile.IsNull()) throw base::AgentError(base::kInvalidUseOfNull, "Mobile is Null");
  const std::string text = mobile.AsText();
  const std::size_t first = text.find_first_not_of(' ');
  const std::size_t last = text.find_last_not_of(' ');
  const std::string number =
      first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  const std::size_t digits = number.empty() || number[0] != '+' ? 0 : 1;
  const std::size_t count = number.size() - digits;
  if (count < 1 || count > 20 ||
      number.find_first_not_of("0123456789", digits) != std::string::npos) {
    throw base::AgentError(base::kTypeMismatch, "Mobile '" + text + "' is not a phone number");
  }
  return number;
}

std::string GammuLocalTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, n);
}

GammuOutbox::GammuOutbox(data::Connection& connection, std::int32_t version)
    : connection_(connection) {
  if (version != kGammuTablesVersion) {
    throw base::AgentError(base::kDatabaseError,
                           "The SMS outbox " + connection.Describe() +
                               " holds gammu-smsd's tables of version " + Decimal(version) +
                               "; the agent writes version " + Decimal(kGammuTablesVersion));
  }
}

std::int64_t GammuOutbox::Queue(const std::string& destination, const std::string& text,
                                std::chrono::system_clock::time_point now) {
  data::Transaction transaction(connection_);
  const std::int64_t id = InsertMessage(destination, text, now);
  transaction.Commit();
  return id;
}

bool GammuOutbox::Withdraw(std::int64_t id, const std::string& destination,
                           const std::string& text) {
  data::Transaction transaction(connection_);
  if (!DeleteIfWaiting(id, destination, text)) return false;
  transaction.Commit();
  return true;
}

std::int64_t GammuOutbox::InsertMessage(const std::string& destination, const std::string& text,
                                        std::chrono::system_clock::time_point now) {
  const SmsParts parts = SplitIntoSmsParts(text);
  const std::size_t count = parts.texts.size();
  const std::string coding = data::SqlText(Coding(parts));
  const std::string stamp = data::SqlText(GammuLocalTime(now));

  connection_.Execute(
      "Insert into outbox(DestinationNumber,TextDecoded,Coding,CreatorID,MultiPart,"
      "SendingDateTime,SendingTimeOut,InsertIntoDB) values(" +
      data::SqlText(destination) + "," + data::SqlText(parts.texts[0]) + "," + coding + "," +
      data::SqlText(kGammuCreatorID) + "," + (count > 1 ? "'true'" : "'false'") + "," + stamp +
      "," + stamp + "," + stamp + ")");
  // Read once: every insert below changes the connection's last-insert id.
  const data::QueryResult inserted = connection_.Query("Select last_insert_rowid()");
  const std::int64_t id = inserted.rows.at(0).at(0).AsInt64();
  if (count > 1) {
    const int reference = static_cast<int>(id & 0xFF);
    const int parts_count = static_cast<int>(count);
    connection_.Execute(
        "Update outbox set UDH=" + data::SqlText(ConcatenationHeader(reference, parts_count, 1)) +
        " Where ID=" + Decimal(id));
    for (std::size_t i = 1; i < count; ++i) {
      const int number = static_cast<int>(i + 1);
      connection_.Execute(
          "Insert into outbox_multipart(ID,SequencePosition,TextDecoded,Coding,UDH) values(" +
          Decimal(id) + "," + Decimal(number) + "," + data::SqlText(parts.texts[i]) + "," + coding +
          "," + data::SqlText(ConcatenationHeader(reference, parts_count, number)) + ")");
    }
  }
  return id;
}

bool GammuOutbox::DeleteIfWaiting(std::int64_t id, const std::string& destination,
                                  const std::string& text) {
  const SmsParts parts = SplitIntoSmsParts(text);
  // Queue writes SendingTimeOut equal to SendingDateTime and the daemon takes a message by
  // moving SendingTimeOut on, so equal times mean not taken. The caller's transaction holds
  // the write lock from this check to the delete.
  const data::QueryResult waiting = connection_.Query(
      "Select count(*) from outbox Where ID=" + Decimal(id) + " and CreatorID=" +
      data::SqlText(kGammuCreatorID) + " and DestinationNumber=" + data::SqlText(destination) +
      " and TextDecoded=" + data::SqlText(parts.texts[0]) + " and SendingTimeOut=SendingDateTime");
  if (waiting.rows.at(0).at(0).AsInt64() == 0) return false;
  connection_.Execute("Delete from outbox_multipart Where ID=" + Decimal(id));
  connection_.Execute("Delete from outbox Where ID=" + Decimal(id));
  return true;
}

}  // namespace sms
