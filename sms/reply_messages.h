#ifndef MAV_SMS_REPLY_MESSAGES_H_
#define MAV_SMS_REPLY_MESSAGES_H_

#include <cstdint>
#include <string>

#include "loans/loan_state.h"
#include "sms/sms_state.h"

// The reply texts of SMS requests: one loan account's position as of the request date.
// Lines are separated by "\r\n"; amounts are written "0.00"; dates are BS "yyyy/mm/dd".
//
// A reply leaves its composer clean (base::CleanText): strict UTF-8 without NUL or other
// controls but CR and LF, whatever the names and the signature it quotes hold. What follows
// (splitting into SMS parts, recording in the request row, queuing, finding it again in the
// outbox) sees that one text, so the text recorded and the text queued are the same.
namespace sms {

// `text` in capitals: a-z, the accented small letters U+00E0..U+00FE (not U+00F7) and the
// four small letters Windows-1252 has elsewhere (names in legacy Nepali fonts use these for
// Devanagari glyphs); every other character stays. Decoded strictly: an ill-formed sequence
// (an overlong "C0 A7") becomes U+FFFD, never the character it spells.
std::string Capitals(const std::string& text);

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
