#ifndef MAV_LOANS_LOAN_DUES_H_
#define MAV_LOANS_LOAN_DUES_H_

#include <cstdint>
#include <string>

#include "loans/loan_state.h"

namespace loans {

// The principal of the loan `account_code` that has fallen due by `as_of` (installments dated
// on or before it, from the plan rebuilt from its Amortization row) and is not repaid; 0 or
// more. `rate` is the loan's effective rate: 0 builds the plan without interest (a flat loan
// whose Swith is 1 then carries its whole flat interest in its principal).
// Effects: PenalDue is set to 0 first; LoanTakenTotal and LoanPaidTotal are refreshed;
// OverdueInstallments grows by the installments past due (not those due on `as_of`) that
// the repayments do not cover; CalcPenalDue sets PenalDue, InterestDays and
// InterestPaidUpto. An account without an Amortization row gives 0 and nothing else.
// Throws kInvalidUseOfNull for a Null Loan, Interest, Nop, Period, Tdate or Payment, and
// whatever the plan, the queries or the penal computation throw; effects stored before the
// failure stay.
double CalcLoanDues(LoanState& state, std::int32_t account_code, const std::string& as_of,
                    double rate);

}  // namespace loans

#endif  // MAV_LOANS_LOAN_DUES_H_
