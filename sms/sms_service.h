#ifndef MAV_SMS_SMS_SERVICE_H_
#define MAV_SMS_SMS_SERVICE_H_

#include <cstdint>

#include "data/connection.h"
#include "sms/sms_state.h"

namespace sms {

// Customer_ID of the first SMSDatabase row, 0 when the table is empty.
// Throws on a failing query or a Null Customer_ID.
std::int32_t GetSMSCustomerID(data::Connection& main);

// Refreshes the gateway values of context.sms and opens the gateway's database.
// Traps every error: on failure both ready flags become false.
void SetSMSDatabase(SmsContext& context);

// Answers pending SMS requests and repairs the dates of transfer rows.
void CheckSMS(SmsContext& context);

}  // namespace sms

#endif  // MAV_SMS_SMS_SERVICE_H_
