#ifndef MAV_LOANS_LOAN_SETTINGS_H_
#define MAV_LOANS_LOAN_SETTINGS_H_

#include "loans/loan_state.h"

namespace loans {

// Fills state.settings from the first row of OtherSetting on the main connection.
// p1..p3 become 0 and Basis "" first; when the table has a row whose first column is not
// Null, every setting is read with its Null replacement (0, false, "Installment" for Basis,
// "Interest" for MiStatus); otherwise the other settings keep the previous load's values.
// LPeriod 0 becomes 360 in every case. A failed read throws, leaving the settings read so
// far in place; a text in a numeric column throws kTypeMismatch, a 16-bit setting that
// does not fit throws kOverflow.
void LoadLoanSettings(LoanState& state);

}  // namespace loans

#endif  // MAV_LOANS_LOAN_SETTINGS_H_
