#ifndef MAV_LOANS_BALANCE_AGEING_H_
#define MAV_LOANS_BALANCE_AGEING_H_

#include <cstdint>
#include <string>

#include "data/record_set.h"
#include "loans/loan_state.h"

namespace loans {

// Simple interest on the account's whole ledger balance from the day after the date up to
// which interest is paid (from the first loan date itself when interest was never paid) up
// to and including `as_of`: |balance| x rate / 100 x days / LPeriod, all decimals kept.
// `rate` is percent per loan year. Returns an in-memory set with the fields, in this order,
// "Date" (text: the date interest runs from), "Current Balance" (text), "Ageing Days" (the
// balance), "Days", "Interest"; one row positioned on, or no row when the account has
// neither a paid-up-to date nor a first loan date. A paid-up-to date on or after `as_of`
// gives Days and Interest 0. Refreshes state.InterestPaidUpto; sets state.InterestDays to
// the days charged when any are. `as_of` is not modified.
data::RecordSet BuildBalanceAgeing(LoanState& state, std::int32_t accode, const std::string& as_of,
                                   double rate);

// The Interest of BuildBalanceAgeing's rows; 0 when it has none.
double GetAgeingInterest(LoanState& state, std::int32_t accode, const std::string& as_of,
                         double rate);

}  // namespace loans

#endif  // MAV_LOANS_BALANCE_AGEING_H_
