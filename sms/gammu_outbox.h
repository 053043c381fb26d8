#ifndef MAV_SMS_GAMMU_OUTBOX_H_
#define MAV_SMS_GAMMU_OUTBOX_H_

// The SIM gateway on Linux: gammu-smsd's SQL outbox in the SQLite file the agent and the daemon
// share. The daemon sends what stands in `outbox` (parts 2 to n of a long message in
// `outbox_multipart`), then moves it to `sentitems`.
//
//   if (const auto version = GammuTablesVersion(connection)) {
//     GammuOutbox outbox(connection, *version);   // throws for a version the agent cannot write
//     const std::int64_t id = outbox.Queue(GammuDestination(mobile), reply, now);
//   }

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/connection.h"
#include "data/value.h"

namespace sms {

// The version of gammu-smsd's tables (the `gammu` table's Version) whose outbox the agent
// writes: the one Debian 12's gammu-smsd creates and expects.
inline constexpr std::int32_t kGammuTablesVersion = 17;

// CreatorID of the messages the agent queues: the agent's name.
inline constexpr const char* kGammuCreatorID = "MAV Services";

// The Version of gammu-smsd's tables when the database of `connection` is an SQLite database
// with a `gammu` table (0 when that table holds no version), std::nullopt otherwise: then it
// is not gammu-smsd's database. Throws the driver's error when the probe fails.
std::optional<std::int32_t> GammuTablesVersion(data::Connection& connection);

// Septets a character takes in the GSM 7-bit default alphabet: 1, 2 for a character of its
// extension table ("{", "€", ...), 0 for a character it does not have.
int GsmSeptets(char32_t c);

// A text cut into the parts of one SMS message, each part sent as its own SMS and joined
// again by the phone.
struct SmsParts {
  // Unicode_No_Compression (UCS-2): some character has no place in the GSM 7-bit default
  // alphabet. Otherwise Default_No_Compression.
  bool unicode = false;
  std::vector<std::string> texts;  // UTF-8, in order; their concatenation is the text
};

// Splits a UTF-8 text. GSM: up to 160 septets are one part, a longer text goes in parts of at
// most 153 (the concatenation header takes the rest); a character of the alphabet's extension
// table ("{", "€", ...) takes two septets and is never cut from its escape. Unicode: 70 and 67
// UTF-16 units; a character beyond U+FFFF takes two and is never cut. The parts are those of
// base::CleanText(text), the form replies have: a byte that is not UTF-8 stands for U+FFFD
// (and is written as it), and NUL and the other controls but CR and LF are left out.
// "" is one empty part.
// Throws kOverflow for a text that needs more than 255 parts.
SmsParts SplitIntoSmsParts(std::string_view text);

// The user data header that joins part `number` (from 1) of `count`: "050003" followed by
// `reference`, `count` and `number`, two upper-case hexadecimal digits each (0 to 255).
std::string ConcatenationHeader(int reference, int count, int number);

// A mobile number as gammu-smsd dials it: the text without surrounding blanks, an optional "+"
// then 1 to 20 digits, kept as written (the "+" and leading zeros choose how the network
// reads it). Throws kInvalidUseOfNull for Null and kTypeMismatch for anything else.
std::string GammuDestination(const data::Value& mobile);

// Local time "yyyy-mm-dd HH:MM:SS": gammu-smsd compares the outbox's times with SQLite's
// datetime('now', 'localtime'), as texts.
std::string GammuLocalTime(std::chrono::system_clock::time_point when);

// The outbox of gammu-smsd's database on a connection the caller keeps open. Every write is
// one short transaction: the daemon sets no busy timeout, so it fails (and retries a second
// later) whenever it meets the agent's write lock.
class GammuOutbox {
 public:
  // Throws kDatabaseError when `version` is not kGammuTablesVersion.
  GammuOutbox(data::Connection& connection, std::int32_t version);

  // Queues `text` for `destination` (as GammuDestination gives it) to be sent at once: one
  // `outbox` row (part 1) and `outbox_multipart` rows for parts 2 to n, in one transaction,
  // all of them bound to the new row's ID; the parts of a long text share the ID's low byte
  // as their concatenation reference. SendingDateTime, SendingTimeOut and InsertIntoDB are
  // `now` in local time. Returns the ID. A failing statement throws and queues nothing.
  std::int64_t Queue(const std::string& destination, const std::string& text,
                     std::chrono::system_clock::time_point now);

  // Removes message `id` (queued to `destination` with `text`) with all its parts, unless the
  // daemon has taken it for sending. True when removed; false when it is no longer in the
  // outbox or the daemon has it (it is then sent, or being sent).
  bool Withdraw(std::int64_t id, const std::string& destination, const std::string& text);

  // Queue and Withdraw without their transaction, for a caller that holds one on the
  // connection (and so the write lock: the daemon cannot take the message in between).
  std::int64_t InsertMessage(const std::string& destination, const std::string& text,
                             std::chrono::system_clock::time_point now);
  bool DeleteIfWaiting(std::int64_t id, const std::string& destination, const std::string& text);

 private:
  data::Connection& connection_;
};

}  // namespace sms

#endif  // MAV_SMS_GAMMU_OUTBOX_H_
