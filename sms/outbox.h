#ifndef MAV_SMS_OUTBOX_H_
#define MAV_SMS_OUTBOX_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/connection.h"
#include "data/value.h"
#include "sms/outbox_memory.h"
#include "sms/request_key.h"

namespace sms {

// The SIM gateway's outbox: the table in which a reply waits until the modem's software
// sends it, and the outbox's memory of what the agent queued (outbox_memory.h). The SIM
// stage of CheckSMS writes it only through this interface, so that an outbox of another
// layout can take its place. Mobile numbers are texts as Destination gives them. Every call
// throws AgentError on failure; a connection error (base::IsConnectionError) means the
// outbox's file is out of reach. The memory's tables must exist (PrepareOutboxMemory).
class Outbox {
 public:
  explicit Outbox(data::Connection& connection) : connection_(connection) {}
  virtual ~Outbox() = default;

  // A request's Mobile as this outbox writes it (the Send table: MobileNumberText; gammu:
  // GammuDestination). Throws kInvalidUseOfNull for Null, kTypeMismatch for a text that is no
  // phone number.
  virtual std::string Destination(const data::Value& mobile) = 0;

  // The message queued for `request` (a LoanSMS key), whether it still waits, was sent,
  // moved or deleted since; std::nullopt when none was (or it was taken back).
  std::optional<SentMessage> FindSent(const RequestKey& request);

  // Queues a message to `mobile` with `text` for `request`, stamped with the local date and
  // time of `when`, and records it in the memory: one write transaction, which also takes
  // the next serial, on the disk when this returns. `check`, when given, runs inside the
  // transaction before anything is written and throws to queue nothing. Returns the
  // message's serial; std::nullopt, queuing nothing, when the memory already holds a message
  // for `request` (queued by another agent that shares this outbox).
  std::optional<std::int64_t> Queue(const RequestKey& request, const std::string& mobile,
                                    const std::string& text,
                                    std::chrono::system_clock::time_point when,
                                    const std::function<void()>& check = nullptr);

  // Takes back message `outbox_sn`, queued for `request` to `mobile` with `text`, and its
  // record, while it still waits unsent. True when taken back; false when it is gone or the
  // gateway has taken it (it is then sent, or being sent, and the record stays).
  bool Withdraw(const RequestKey& request, std::int64_t outbox_sn, const std::string& mobile,
                const std::string& text);

 protected:
  // The outbox's own rows, written inside the transaction of Queue and Withdraw.
  virtual std::int64_t InsertMessage(const std::string& mobile, const std::string& text,
                                     std::chrono::system_clock::time_point when) = 0;
  virtual bool DeleteIfWaiting(std::int64_t outbox_sn, const std::string& mobile,
                               const std::string& text) = 0;

  data::Connection& connection_;
};

// The outbox that `connection` reaches: the table Send(SN, Mobile, Msg, [Date], [Time]) of
// the modem's file "SMSData.mdb", or, when `gammu_version` is given, the outbox of
// gammu-smsd's database with tables of that version (see gammu_outbox.h; a version the agent
// cannot write throws kDatabaseError). The outbox works on the connection, which must
// outlive it.
std::unique_ptr<Outbox> MakeOutbox(data::Connection& connection,
                                   std::optional<std::int32_t> gammu_version = std::nullopt);

}  // namespace sms

#endif  // MAV_SMS_OUTBOX_H_
