#ifndef MAV_SMS_REQUEST_KEY_H_
#define MAV_SMS_REQUEST_KEY_H_

#include <string>
#include <utility>
#include <vector>

#include "data/record_set.h"
#include "data/value.h"

namespace sms {

// One request row named by its own fields: its serial together with the member's mobile,
// the account and the date it asks about. Serials repeat (two members' requests, a table
// refilled after a backup was put back), so the serial alone may name several rows; the
// statements that answer a request name it by all of these.
struct RequestKey {
  std::string table;  // "LoanSMS", "SMSService", "LoanStatement"
  // The fields as read from the row: column name and value, the serial first.
  std::vector<std::pair<std::string, data::Value>> fields;

  // The condition that matches the row: "[SN]=3 and [Mobile]='9841000001' and ..." (a Null
  // field: "[Mobile] is null"). Throws kTypeMismatch for a serial that is not a whole number.
  std::string Where() const;

  // The field values as texts ("" for Null), in the order of `fields`: how the outbox's
  // memory and the claims store the request.
  std::vector<std::string> Texts() const;

  // "LoanSMS SN 3 (9841000001, 101, 2024/07/09)", for the log.
  std::string Describe() const;
};

// The keys of the three request tables: LoanSMS (SN, Mobile, Accode, Date), SMSService
// (SN, Customer_ID, Mobile, Date), LoanStatement (SN, Accode, Mobile, Date); a column the
// row does not have is left out, except SN (kFieldNotFound).
RequestKey SimRequestKey(const data::RecordSet& row);
RequestKey InternetRequestKey(const data::RecordSet& row);
RequestKey StatementRequestKey(const data::RecordSet& row);

// A value as it is compared in a key condition: a text quoted, a number in plain decimal
// (every digit of a whole number; 17 significant digits otherwise), a boolean 1 / 0.
std::string KeyLiteral(const data::Value& value);

}  // namespace sms

#endif  // MAV_SMS_REQUEST_KEY_H_
