#ifndef MAV_LOANS_AMORTIZATION_H_
#define MAV_LOANS_AMORTIZATION_H_

#include <cstdint>
#include <string>

#include "data/record_set.h"
#include "loans/loan_state.h"

namespace loans {

// Loan type codes derived from Amortization.LoanType (exact, case-sensitive).
constexpr std::int16_t kMonthlyLoan = 1;  // "Monthly"
constexpr std::int16_t kYearlyLoan = 2;   // "Yearly"
constexpr std::int16_t kOtherLoan = 3;    // "Periodic" and anything else

std::int16_t LoanTypeCode(const std::string& loan_type);

// A repayment plan: an in-memory record set with the fields, in this order,
// 0 "SN" (64-bit, 1, 2, ...), 1 "tDate" (BS date of the installment), 2 "BegBalance",
// 3 "Installment" (principal plus interest), 4 "Principal", 5 "Interest", 6 "EndingBalance".
// One row per installment in date order; every amount is a whole number. On return it is
// positioned on its first row.
//
// Arguments of both builders:
// - loan: amount lent; rate: percent per loan year of LPeriod days (0: no interest);
// - nop: installments per year for yearly loans, days between installments for periodic
//   ones; period: the loan's term, not used;
// - first_date: the loan's start date, where the first interest period begins (the first
//   period counts its first and last day); start_date: the first installment's date. Each
//   period's day count puts its two dates in order and the plan goes on from the later one,
//   so a start_date before first_date dates the first installment first_date;
// - payment: in/out, the fixed principal (BuildPrincipalSchedule) or the fixed installment
//   (BuildInstallmentSchedule); left 0 on return;
// - type_code: kMonthlyLoan steps one month, kYearlyLoan 12 / nop months (halves to even),
//   kOtherLoan nop days when periodic, else one day. Each date steps from the previous one.
// Interest per installment = balance x rate / 100 x days / LPeriod, to a whole number.
// Throws kMissingDate when a date is missing, kDivisionByZero for a yearly loan with nop 0,
// kSubscriptOutOfRange when the dates leave the calendar, kOverflow for 16-bit overflow.

// Fixed principal per installment. LPeriod 0 is set to 360 first. The installment where the
// balance is at most the payment (the first one when the payment is 0 or less) is the last:
// its principal is the whole remaining balance.
data::RecordSet BuildPrincipalSchedule(LoanState& state, double loan, double rate, std::int16_t nop,
                                       std::int16_t period, const std::string& first_date,
                                       double& payment, std::int16_t type_code,
                                       const std::string& start_date, bool periodic);

// Fixed installment (principal plus interest). The installment where the balance is below
// the payment is the last and repays the whole balance; when an installment does not exceed
// its interest the plan ends before it.
data::RecordSet BuildInstallmentSchedule(LoanState& state, double loan, double rate,
                                         std::int16_t nop, std::int16_t period,
                                         const std::string& first_date, double& payment,
                                         std::int16_t type_code, const std::string& start_date,
                                         bool periodic);

// The date of the last installment of the account's plan, built from its Amortization row;
// "" when the account has no row, the row's Fixedby is neither "Kista" nor "Principal", or
// the plan is empty. Swith is a byte (halves to even, so 0.5 reads 0 and 1.5 reads 2).
// Throws kInvalidUseOfNull for a Null column other than Swith, kOverflow for a Swith outside
// 0 to 255.
std::string GetLoanMaturityDate(LoanState& state, std::int32_t account_code);

}  // namespace loans

#endif  // MAV_LOANS_AMORTIZATION_H_
