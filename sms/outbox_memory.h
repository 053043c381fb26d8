#ifndef MAV_SMS_OUTBOX_MEMORY_H_
#define MAV_SMS_OUTBOX_MEMORY_H_

// What the SIM outbox remembers of the messages the agent queued in it: for each message, the
// request it answers and the text that went out. The memory lives in the outbox's own file,
// in tables of the agent's own that the modem software and gammu-smsd never touch, and each
// record is written in the transaction that queues its message. So it outlasts the message
// (sent, moved to sentitems, deleted by the modem software), a crash of the agent between
// queuing and marking the request, and a backup of the accounting catalog put back: a
// request found pending whose record is here was answered, and is only marked.
//
//   MAV_Sent(RequestTable, RequestSN, Mobile, Accode, RequestDate, OutboxSN, Msg, Queued)
//     one row per queued message; the request's fields as texts, unique together;
//     OutboxSN the message's serial (Send.SN, gammu's ID); Queued local "yyyy-mm-dd HH:MM:SS"
//   MAV_Outbox(Id)
//     one row: a random name of this outbox file, which tells the agents on several PCs
//     whether they share one outbox (see claims.h)

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "data/connection.h"
#include "sms/request_key.h"

namespace sms {

// A message the outbox's memory holds.
struct SentMessage {
  std::int64_t outbox_sn = 0;  // its serial in the outbox
  std::string text;            // as queued
};

// Creates the memory's tables in the outbox of `connection` when they are missing, and
// returns the outbox's Id (made when the tables are made). Throws when the file cannot take
// them (a read-only or Jet file without a writer): such an outbox cannot be used.
std::string PrepareOutboxMemory(data::Connection& connection);

// The record of `request` (a LoanSMS key: SN, Mobile, Accode, Date), std::nullopt when the
// outbox never held a message for it (or the record was pruned or withdrawn).
std::optional<SentMessage> FindSent(data::Connection& connection, const RequestKey& request);

// Records the message `outbox_sn` with `text` queued for `request` at local time `when`.
// Meant to run inside the transaction that queues the message.
void RecordSent(data::Connection& connection, const RequestKey& request, std::int64_t outbox_sn,
                const std::string& text, std::chrono::system_clock::time_point when);

// Removes the record of `request` (inside the transaction that withdraws its message).
void ForgetSent(data::Connection& connection, const RequestKey& request);

// Removes the records of messages queued before `cutoff`; returns how many.
std::int64_t PruneSent(data::Connection& connection, std::chrono::system_clock::time_point cutoff);

// How long a record is kept: far longer than any request stays pending.
inline constexpr std::chrono::hours kSentRecordLifetime{24 * 400};

}  // namespace sms

#endif  // MAV_SMS_OUTBOX_MEMORY_H_
