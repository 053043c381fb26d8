#ifndef MAV_HOST_LEDGER_FIXUPS_H_
#define MAV_HOST_LEDGER_FIXUPS_H_

#include <cstdint>

#include "data/connection.h"

namespace host {

// Repairs of Master rows that other programs leave incomplete, at most 100 groups per call
// (one call per pass per tick), only in fiscal year `CurFyear` (a YearSetting SN; 0 matches
// rows whose Fyear is 0). Each returns the number of groups it repaired; a voucher without
// a number is left alone. Throws AgentError on the first refused statement; updates made
// before it stay.

// Pass 1: every "LoanR" row of a repayment voucher that touches an account under "Loan
// Issued Ledger" and lacks Acode gets that account's ACCODE in ACode and its Mid in
// MasterCode (Null when the account has no Mid).
int FixLoanRepaymentCodes(data::Connection& main, std::int32_t CurFyear);

// Pass 2: every row of a voucher that touches an account under "Deposit Ledger" and lacks
// iDate gets the voucher's Date as iDate and "00:00:00" as dTime.
int FixDepositEntryDates(data::Connection& main, std::int32_t CurFyear);

}  // namespace host

#endif  // MAV_HOST_LEDGER_FIXUPS_H_
