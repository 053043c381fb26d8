// The modem's outbox table Send, as the system has always written it: the next serial is
// the largest SN plus one, the mobile number goes in as a number, date and time as texts.

#include "sms/outbox.h"

#include <string>

#include "data/record_set.h"
#include "sms/gammu_outbox.h"
#include "sms/sms_service.h"

namespace sms {
namespace {

class SendTableOutbox : public Outbox {
 public:
  explicit SendTableOutbox(data::Connection& connection) : connection_(connection) {}

  std::string Destination(const data::Value& mobile) override { return MobileNumberText(mobile); }

  bool FindQueued(const std::string& mobile, const std::string& text) override {
    data::RecordSet rs;
    rs.SetMaxRecords(1);
    rs.Open(connection_,
            "Select SN from Send Where Mobile=" + mobile + " and Msg=" + data::SqlText(text));
    return !rs.Eof();
  }

  std::int64_t Queue(const std::string& mobile, const std::string& text,
                     std::chrono::system_clock::time_point when) override {
    const std::int32_t sn = NextSerial(connection_, "Send", "SN");
    connection_.ExecuteDurably("Insert into Send(SN,Mobile,Msg,[Date],[Time]) values(" +
                               std::to_string(sn) + "," + mobile + "," + data::SqlText(text) + "," +
                               data::SqlText(OutboxDate(when)) + "," +
                               data::SqlText(OutboxTime(when)) + ")");
    return sn;
  }

  void Withdraw(std::int64_t sn, const std::string& mobile, const std::string& text) override {
    connection_.ExecuteDurably("Delete from Send Where SN=" + std::to_string(sn) +
                               " and Mobile=" + mobile + " and Msg=" + data::SqlText(text));
  }

 private:
  data::Connection& connection_;
};

// gammu-smsd's outbox; a message counts as waiting while it stands in `outbox`, also once the
// daemon has taken it, and is withdrawn only while the daemon has not.
class GammuTablesOutbox : public Outbox {
 public:
  GammuTablesOutbox(data::Connection& connection, std::int32_t version)
      : gammu_(connection, version) {}

  std::string Destination(const data::Value& mobile) override { return GammuDestination(mobile); }

  bool FindQueued(const std::string& mobile, const std::string& text) override {
    return gammu_.FindQueued(mobile, text).has_value();
  }

  std::int64_t Queue(const std::string& mobile, const std::string& text,
                     std::chrono::system_clock::time_point when) override {
    return gammu_.Queue(mobile, text, when);
  }

  void Withdraw(std::int64_t sn, const std::string& mobile, const std::string& text) override {
    gammu_.Withdraw(sn, mobile, text);
  }

 private:
  GammuOutbox gammu_;
};

}  // namespace

std::unique_ptr<Outbox> MakeOutbox(data::Connection& connection,
                                   std::optional<std::int32_t> gammu_version) {
  if (gammu_version) return std::make_unique<GammuTablesOutbox>(connection, *gammu_version);
  return std::make_unique<SendTableOutbox>(connection);
}

}  // namespace sms
