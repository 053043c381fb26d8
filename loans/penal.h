#ifndef MAV_LOANS_PENAL_H_
#define MAV_LOANS_PENAL_H_

#include <cstdint>
#include <string>

#include "data/record_set.h"
#include "loans/loan_state.h"

namespace loans {

// The penal due on a loan at `as_of`, from its plan (positioned on its first row; fields as
// BuildPrincipalSchedule's) and the principal lent and repaid:
// - the main penal: penal days of the oldest unpaid installment (past PLGrace) x base x
//   p1/p2/p3 (by the number of unpaid installments) / LPeriod / 100, the base being chosen by
//   PLOn (0 state.InterestDue, 1 the outstanding principal, else the unpaid installments);
// - plus, past the maturity date, days past it x Ag1/Ag2/Ag3 (by AD1, AD2) x outstanding
//   principal / 100 / LPeriod;
// - plus the month-interest supplement of loans whose Mi flag is set.
// Writes state.PenalDue, state.InterestPaidUpto (GetInterestPaidUpto; moved back to `as_of`
// when it lies after it) and state.InterestDays (days from InterestPaidUpto, or from the
// first loan date when interest was never paid, to `as_of`; 0 when neither date exists).
// `as_of` is not modified. Database, calendar and arithmetic failures throw; PenalDue then
// holds what was stored before.
void CalcPenalDue(LoanState& state, data::RecordSet& schedule, double taken_total,
                  double paid_total, const std::string& as_of, std::int32_t account_code);

// The account's earliest disbursement or opening-balance ledger date; "" when none.
std::string GetFirstLoanDate(LoanState& state, std::int32_t account_code);

}  // namespace loans

#endif  // MAV_LOANS_PENAL_H_
