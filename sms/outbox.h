#ifndef MAV_SMS_OUTBOX_H_
#define MAV_SMS_OUTBOX_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "data/connection.h"
#include "data/value.h"

namespace sms {

// The SIM gateway's outbox: the table in which a reply waits until the modem's software
// sends it. The SIM stage of CheckSMS writes it only through this interface, so that an
// outbox of another layout can take its place. Mobile numbers are texts as Destination
// gives them. Every call throws AgentError on failure; a connection error
// (base::IsConnectionError) means the outbox's file is out of reach.
class Outbox {
 public:
  virtual ~Outbox() = default;

  // A request's Mobile as this outbox writes it (the Send table: MobileNumberText; gammu:
  // GammuDestination). Throws kInvalidUseOfNull for Null, kTypeMismatch for a text that is no
  // phone number.
  virtual std::string Destination(const data::Value& mobile) = 0;

  // True when a message to `mobile` with exactly `text` is waiting to be sent.
  virtual bool FindQueued(const std::string& mobile, const std::string& text) = 0;

  // Queues a message to `mobile` with `text`, stamped with the local date and time of
  // `when`, and returns its serial number in the outbox. The message is on the disk when
  // this returns (a power cut does not take it back).
  virtual std::int64_t Queue(const std::string& mobile, const std::string& text,
                             std::chrono::system_clock::time_point when) = 0;

  // Takes back the message queued as `sn` when it is still waiting with this number and
  // text; anything else with that serial (a later message after the gateway sent this one)
  // stays.
  virtual void Withdraw(std::int64_t sn, const std::string& mobile, const std::string& text) = 0;
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
