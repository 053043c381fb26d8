#ifndef MAV_SMS_SMS_SERVICE_H_
#define MAV_SMS_SMS_SERVICE_H_

#include <chrono>
#include <cstdint>
#include <string>

#include "data/connection.h"
#include "data/value.h"
#include "sms/sms_state.h"

namespace sms {

// The name the SIM gateway's outbox file must have, letter case included.
inline constexpr const char* kSimOutboxFileName = "SMSData.mdb";

// Customer_ID of the first SMSDatabase row, 0 when the table is empty.
// Throws on a failing query or a Null Customer_ID.
std::int32_t GetSMSCustomerID(data::Connection& main);

// Refreshes the gateway values of context.sms from the first SMSDatabase row and opens the
// gateway's database: SIM raises SMSLocalReady once the outbox file is open, INTERNET raises
// SMSServerReady once the service's DATABASE_SETTING row for this catalog and customer is
// found. A failure of any kind lowers both flags.
// Both databases are kept open while they work. The SIM outbox is reopened when its file
// was replaced; when the file is missing (or not named "SMSData.mdb") the outbox is closed
// and SMSLocalReady lowered until it is back. The service's row is looked up again at most
// every kServiceLookupInterval. After a failure to open either, the next attempt waits
// 1 s, doubling up to 1 min. Each outage is written once to context.notice, and so is the
// recovery. Traps every error.
void SetSMSDatabase(SmsContext& context);

// Answers pending SMS requests and repairs the dates of transfer rows, in three stages: SIM
// requests (LoanSMS) when SMSLocalReady, else internet requests (SMSService) when
// SMSServerReady; then loan statements (LoanStatement); then the transfer date repair.
// A request row (or an eDate group of the repair) that fails stays pending, is reported once
// through context.report_error, and is tried again only after a delay (1 s, doubling up to
// 10 min); the pass goes on. A connection error ends the stage at once (the rows stay
// pending) and the next stage begins; a lost SIM outbox is closed and SMSLocalReady
// lowered. When context.out_of_time says so, returns false before the next row, and the
// next call goes on from that row; returns true when the pass has ended. Throws when a stage
// cannot read its pending rows for another reason (the pass then ends: the next call begins
// a new one).
bool CheckSMS(SmsContext& context);

// The next free serial of `table`.`column` on `connection`: its largest value plus one, 1
// for an empty table or an all-Null column. The names are spliced in unchanged.
// Throws on a failing query, kOverflow past 32 bits.
std::int32_t NextSerial(data::Connection& connection, const std::string& table,
                        const std::string& column);

// A mobile number as the plain decimal text of a number: optional blanks around, an
// optional leading "+", then 1 to 15 significant digits ("+977 9841" is not a number).
// Leading zeros are dropped ("09841" -> "9841"). Throws kInvalidUseOfNull for Null and
// kTypeMismatch for any other text.
std::string MobileNumberText(const data::Value& mobile);

// The outbox's date "mm/dd/yyyy" and time "HH:MM:SS" (24-hour) of an instant, in local time.
std::string OutboxDate(std::chrono::system_clock::time_point when);
std::string OutboxTime(std::chrono::system_clock::time_point when);

}  // namespace sms

#endif  // MAV_SMS_SMS_SERVICE_H_
