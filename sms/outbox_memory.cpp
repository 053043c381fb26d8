#include "sms/outbox_memory.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "sms/gammu_outbox.h"

namespace sms {

namespace {

// True when `table` can be read. A connection error travels on: the file is out of reach,
// which says nothing of its tables.
bool HasTable(data::Connection& connection, const std::string& table) {
  try {
    connection.QueryFirstRows("Select * from " + table + " Where 1=0", 1);
    return true;
  } catch (const base::AgentError& e) {
    if (base::IsConnectionError(e.number())) throw;
    return false;
  }
}

// 128 random bits in hexadecimal.
std::string RandomName() {
  std::random_device random;
  std::string name;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    name += part;
  }
  return name;
}

// "RequestTable='LoanSMS' and RequestSN='3' and Mobile=... and Accode=... and RequestDate=...".
std::string RecordWhere(const RequestKey& request) {
  const std::vector<std::string> texts = request.Texts();
  if (texts.size() != 4) {
    throw base::AgentError(base::kDatabaseError,
                           "The outbox remembers SIM requests only: " + request.Describe());
  }
  return "RequestTable=" + data::SqlText(request.table) +
         " and RequestSN=" + data::SqlText(texts[0]) + " and Mobile=" + data::SqlText(texts[1]) +
         " and Accode=" + data::SqlText(texts[2]) + " and RequestDate=" + data::SqlText(texts[3]);
}

}  // namespace

std::string PrepareOutboxMemory(data::Connection& connection) {
  if (!HasTable(connection, "MAV_Sent")) {
    data::Transaction transaction(connection);
    // The widths hold every request field (LoanSMS.Mobile and SMSService.Date are
    // Varchar(30), serials and codes 32-bit numbers) and keep the unique key within Jet's
    // 255 characters; LongText is Jet's memo and any text on SQLite.
    connection.Execute(
        "Create Table MAV_Sent(RequestTable Varchar(15),RequestSN Varchar(20),Mobile "
        "Varchar(30),Accode Varchar(20),RequestDate Varchar(30),OutboxSN Int,Msg LongText,"
        "Queued Varchar(19))");
    connection.Execute(
        "Create Unique Index MAV_Sent_Request On MAV_Sent(RequestTable,RequestSN,Mobile,Accode,"
        "RequestDate)");
    transaction.Commit();
  }
  if (!HasTable(connection, "MAV_Outbox")) {
    data::Transaction transaction(connection);
    connection.Execute("Create Table MAV_Outbox(Id Varchar(40))");
    connection.Execute("Insert into MAV_Outbox(Id) values(" + data::SqlText(RandomName()) + ")");
    transaction.Commit();
  }
  const data::QueryResult id = connection.QueryFirstRows("Select Id from MAV_Outbox", 1);
  if (id.rows.empty() || id.rows[0][0].IsNull() || id.rows[0][0].AsText().empty()) {
    throw base::AgentError(base::kDatabaseError,
                           "The SMS outbox " + connection.Describe() + " has no MAV_Outbox Id");
  }
  return id.rows[0][0].AsText();
}

std::optional<SentMessage> FindSent(data::Connection& connection, const RequestKey& request) {
  const data::QueryResult found = connection.QueryFirstRows(
      "Select OutboxSN,Msg from MAV_Sent Where " + RecordWhere(request), 1);
  if (found.rows.empty()) return std::nullopt;
  SentMessage sent;
  sent.outbox_sn = found.rows[0][0].IsNull() ? 0 : found.rows[0][0].AsInt64();
  sent.text = found.rows[0][1].AsText();
  return sent;
}

void RecordSent(data::Connection& connection, const RequestKey& request, std::int64_t outbox_sn,
                const std::string& text, std::chrono::system_clock::time_point when) {
  RecordWhere(request);  // a key of another table throws here
  const std::vector<std::string> texts = request.Texts();
  connection.Execute(
      "Insert into MAV_Sent(RequestTable,RequestSN,Mobile,Accode,RequestDate,OutboxSN,Msg,"
      "Queued) values(" +
      data::SqlText(request.table) + "," + data::SqlText(texts[0]) + "," + data::SqlText(texts[1]) +
      "," + data::SqlText(texts[2]) + "," + data::SqlText(texts[3]) + "," +
      std::to_string(outbox_sn) + "," + data::SqlText(text) + "," +
      data::SqlText(GammuLocalTime(when)) + ")");
}

void ForgetSent(data::Connection& connection, const RequestKey& request) {
  connection.Execute("Delete from MAV_Sent Where " + RecordWhere(request));
}

std::int64_t PruneSent(data::Connection& connection, std::chrono::system_clock::time_point cutoff) {
  return connection.Execute("Delete from MAV_Sent Where Queued<" +
                            data::SqlText(GammuLocalTime(cutoff)));
}

}  // namespace sms
