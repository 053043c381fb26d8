// The modem's outbox table Send, as the system has always written it: the next serial is
// the largest SN plus one, the mobile number goes in as a number, date and time as texts.

#include "sms/outbox.h"

#include <string>

#include "data/record_set.h"
#include "sms/sms_service.h"

namespace sms {
namespace {

class SendTableOutbox : public Outbox {
 public:
  explicit SendTableOutbox(data::Connection& connection) : connection_(connection) {}

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

}  // namespace

std::unique_ptr<Outbox> MakeOutbox(data::Connection& connection) {
  return std::make_unique<SendTableOutbox>(connection);
}

}  // namespace sms
