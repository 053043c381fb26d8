#ifndef MAV_SMS_REPLY_MESSAGES_H_
#define MAV_SMS_REPLY_MESSAGES_H_

#include <cstdint>
#include <string>

#include "loans/loan_state.h"
#include "sms/sms_state.h"

// The reply texts of SMS requests: one loan account's position as of the request date.
// Lines are separated by "\r\n"; amounts are written "0.00"; dates are BS "yyyy/mm/dd".
namespace sms {

// The member's first name from an Acc.Name text: a leading number is dropped (as many
// characters as the number's decimal text has), then leading blanks; the first word is the
// name ("" for a blank name).
std::string FirstName(const std::string& name);

// The short report of SIM and internet requests ("DEAR <NAME> (<accode>)" ... "-<SMSSendBy>").
// `date` is the request's AD date text; it holds the BS as-of date on return.
// Overwrites the figures of `loans` (OverdueInstallments, PenalDue, InterestDue, ...).
// Throws kTypeMismatch when `date` is not an AD date, and any failure of the lookups.
std::string ComposeReportSMS(loans::LoanState& loans, const SmsState& sms, std::int32_t accode,
                             std::string& date);

// The loan statement of LoanStatement requests ("Dear <Name>" ... "Till Date: <date>").
// Same arguments, effects and failures as ComposeReportSMS.
std::string ComposeLoanSMS(loans::LoanState& loans, std::int32_t accode, std::string& date);

}  // namespace sms

#endif  // MAV_SMS_REPLY_MESSAGES_H_
