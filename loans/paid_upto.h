#ifndef MAV_LOANS_PAID_UPTO_H_
#define MAV_LOANS_PAID_UPTO_H_

#include <cstdint>
#include <string>

#include "loans/loan_state.h"

namespace loans {

// The date up to which the loan's interest is paid, from the account's ledger rows (and,
// when its loan rows carry none, from the rows of the interest-income account "Interest
// from Loan A/C"). Sets state.InterestPaidUpto and returns the ledger date of the row it
// came from; both are "0000/00/00" when nothing is found, never "". A Null Date or PaidUpto
// reads as "0000/00/00". Database failures throw, leaving InterestPaidUpto as last stored.
std::string GetInterestPaidUpto(LoanState& state, std::int32_t account_code);

// The code in `column` of the `table` row whose Name is `name`; a name holding the
// separator "ƒ" is matched against Name + " ƒ " + Alias. 0 when no row or Null.
std::int32_t LookupAccountCode(LoanState& state, const std::string& name, const std::string& table,
                               const std::string& column);

// The account's greatest Master.PaidUpto in the database's text order; "" when the
// account has no ledger row ("0000/00/00" when the greatest is Null).
std::string GetLastPaidUpto(LoanState& state, std::int32_t account_code);

}  // namespace loans

#endif  // MAV_LOANS_PAID_UPTO_H_
