// The SIM outbox: the modem's table Send as the system has always written it (the next
// serial is the largest SN plus one, the mobile number goes in as a number, date and time as
// texts), or gammu-smsd's outbox; beside either, the agent's memory of what it queued.

#include "sms/outbox.h"

#include <string>

#include "data/record_set.h"
#include "sms/gammu_outbox.h"
#include "sms/sms_service.h"

namespace sms {

std::optional<SentMessage> Outbox::FindSent(const RequestKey& request) {
  return sms::FindSent(connection_, request);
}

std::optional<std::int64_t> Outbox::Queue(const RequestKey& request, const std::string& mobile,
                                          const std::string& text,
                                          std::chrono::system_clock::time_point when,
                                          const std::function<void()>& check) {
  // An SQLite outbox takes its write lock here, so the memory's answer, the serial and the
  // rows cannot be overtaken by another writer of the file.
  data::Transaction transaction(connection_);
  if (sms::FindSent(connection_, request)) return std::nullopt;
  if (check) check();
  const std::int64_t outbox_sn = InsertMessage(mobile, text, when);
  RecordSent(connection_, request, outbox_sn, text, when);
  transaction.Commit();
  return outbox_sn;
}

bool Outbox::Withdraw(const RequestKey& request, std::int64_t outbox_sn, const std::string& mobile,
                      const std::string& text) {
  data::Transaction transaction(connection_);
  if (!DeleteIfWaiting(outbox_sn, mobile, text)) return false;
  ForgetSent(connection_, request);
  transaction.Commit();
  return true;
}

namespace {

class SendTableOutbox : public Outbox {
 public:
  using Outbox::Outbox;

  std::string Destination(const data::Value& mobile) override { return MobileNumberText(mobile); }

 protected:
  std::int64_t InsertMessage(const std::string& mobile, const std::string& text,
                             std::chrono::system_clock::time_point when) override {
    const std::int32_t sn = NextSerial(connection_, "Send", "SN");
    connection_.Execute("Insert into Send(SN,Mobile,Msg,[Date],[Time]) values(" +
                        std::to_string(sn) + "," + mobile + "," + data::SqlText(text) + "," +
                        data::SqlText(OutboxDate(when)) + "," + data::SqlText(OutboxTime(when)) +
                        ")");
    return sn;
  }

  // A row still in Send waits: the modem software deletes (or moves) what it has sent.
  bool DeleteIfWaiting(std::int64_t outbox_sn, const std::string& mobile,
                       const std::string& text) override {
    return connection_.Execute("Delete from Send Where SN=" + std::to_string(outbox_sn) +
                               " and Mobile=" + mobile + " and Msg=" + data::SqlText(text)) > 0;
  }
};

// gammu-smsd's outbox; a message is taken back only while the daemon has not taken it.
class GammuTablesOutbox : public Outbox {
 public:
  GammuTablesOutbox(data::Connection& connection, std::int32_t version)
      : Outbox(connection), gammu_(connection, version) {}

  std::string Destination(const data::Value& mobile) override { return GammuDestination(mobile); }

 protected:
  std::int64_t InsertMessage(const std::string& mobile, const std::string& text,
                             std::chrono::system_clock::time_point when) override {
    return gammu_.InsertMessage(mobile, text, when);
  }

  bool DeleteIfWaiting(std::int64_t outbox_sn, const std::string& mobile,
                       const std::string& text) override {
    return gammu_.DeleteIfWaiting(outbox_sn, mobile, text);
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
