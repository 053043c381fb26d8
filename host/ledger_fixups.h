#ifndef MAV_HOST_LEDGER_FIXUPS_H_
#define MAV_HOST_LEDGER_FIXUPS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "data/connection.h"
#include "data/record_set.h"

namespace host {

// Repairs of Master rows that other programs leave incomplete, at most 100 groups per batch
// (one batch per pass per round of ticks), only in fiscal year `CurFyear` (a YearSetting SN;
// 0 matches rows whose Fyear is 0). A voucher without a number cannot be named by the update:
// it is left out of the batch, so that such vouchers never keep the others from their turn.
// Throws AgentError on the first refused statement; updates made before it stay.

// A pass's query that found no group: the catalog's data version (Connection::DataVersion)
// taken before it ran, and the fiscal year it was read for. While both stay the same the
// query would find none again, so it is not run: rows no repair can complete (a repayment
// voucher without a loan row) then cost nothing per tick, however many pile up. Any change
// of the catalog's data, the agent's own writes included, runs it again.
struct QuietPass {
  std::string version;
  std::int32_t Fyear = 0;
};

// The repair passes' place: the batch in progress (the groups a pass's query found, worked
// off over as many ticks as the tick's budget needs, for the fiscal year it was read for),
// and what each pass last found nothing under.
struct FixupBatch {
  bool open = false;
  std::int32_t Fyear = 0;
  data::RecordSet groups;  // positioned at the next group
  // Groups (vouchers) repaired through this object since the host last took the count for
  // its activity line; kept when a batch ends and the next one begins.
  std::int64_t repaired = 0;
  std::optional<QuietPass> quiet_loan_repayment;
  std::optional<QuietPass> quiet_deposit_entry;
};

// Pass 1: every "LoanR" row of a repayment voucher that touches an account under "Loan
// Issued Ledger" and lacks Acode gets that account's ACCODE in ACode and its Mid in
// MasterCode (Null when the account has no Mid).
// Works `batch` (reading a new one for `CurFyear` when none is open, unless the last one
// found nothing and the catalog has not changed since: see QuietPass) until `out_of_time`
// says stop (asked before each group; empty: never). Returns true when the batch is done,
// false when it stopped early (the batch stays open for the next call).
bool FixLoanRepaymentCodes(data::Connection& main, std::int32_t CurFyear, FixupBatch& batch,
                           const std::function<bool()>& out_of_time);

// Pass 2: every row of a voucher that touches an account under "Deposit Ledger" and lacks
// iDate gets the voucher's Date as iDate and "00:00:00" as dTime. Works as pass 1.
bool FixDepositEntryDates(data::Connection& main, std::int32_t CurFyear, FixupBatch& batch,
                          const std::function<bool()>& out_of_time);

// One whole batch of each pass; the number of groups repaired.
int FixLoanRepaymentCodes(data::Connection& main, std::int32_t CurFyear);
int FixDepositEntryDates(data::Connection& main, std::int32_t CurFyear);

}  // namespace host

#endif  // MAV_HOST_LEDGER_FIXUPS_H_
