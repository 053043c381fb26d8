#ifndef MAV_LOANS_LOOKUPS_H_
#define MAV_LOANS_LOOKUPS_H_

#include <cstdint>
#include <string>

#include "loans/loan_state.h"

// Single questions about one account, each answered by one query on the main connection
// (two for GetLoanPaidAndTaken). Only the first row of a result is read. Database failures
// throw AgentError.
namespace loans {

// Sets state.LoanPaidTotal to the account's credits (all ledger rows), then
// state.LoanTakenTotal to its debits on disbursement ("Loan") and opening-balance rows.
// A total with no rows is 0.
void GetLoanPaidAndTaken(LoanState& state, std::int32_t accode);

// The loan's rate, percent per loan year: 0 for a "Flat" loan whose Swith is Null or 0,
// otherwise its Interest; 0 when the account has no Amortization row. A Null Interest that
// is to be returned throws kInvalidUseOfNull.
double GetLoanInterestRate(LoanState& state, std::int32_t accode);

// The loan's Mi flag (monthly overdue rule); false when there is no row or it is Null.
bool GetAmortizationMi(LoanState& state, std::int32_t accode);

// The first column of `field` from `table` where `key_field` = key_value, as text:
// "N/A" without a query when key_value is 0, "" when no row, " " when the value is Null.
std::string LookupValue(LoanState& state, const std::string& table, const std::string& field,
                        const std::string& key_field, std::int32_t key_value);

// Credits minus debits over the account's ledger rows; 0 when it has none.
double GetAccountBalance(LoanState& state, std::int32_t accode);

// True when the loan's Calc is exactly "Flat".
bool IsFlatCalc(LoanState& state, std::int32_t accode);

// The subledger's LLR (percent); 0 when there is no row, kInvalidUseOfNull when Null.
double GetSubLedgerLLR(LoanState& state, std::int32_t subcode);

// The account's subledger code; 0 when there is no row or it is Null.
std::int32_t GetAccountSubcode(LoanState& state, std::int32_t accode);

}  // namespace loans

#endif  // MAV_LOANS_LOOKUPS_H_
