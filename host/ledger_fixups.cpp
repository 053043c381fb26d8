#include "host/ledger_fixups.h"

#include <optional>
#include <string>
#include <variant>

#include "base/numbers.h"

namespace host {
namespace {

// A numeric field as SQL text, written from its numeric value so that nothing but a number
// can reach the statement. Null gives "Null"; a text that is not a number throws
// kTypeMismatch.
std::string SqlNumber(const data::Value& value) {
  if (value.IsNull()) return "Null";
  if (const auto* whole = std::get_if<std::int64_t>(&value.raw())) return std::to_string(*whole);
  const double x = value.AsDouble();
  if (x == base::RoundHalfEven(x) && x >= -9e15 && x <= 9e15) {
    return std::to_string(static_cast<std::int64_t>(x));
  }
  return base::ShortestText(x);
}

// The queries of the two passes. "VOUCHER_NO is not null" keeps vouchers without a number
// out of the batch: they cannot be repaired, and leading the batch on every tick they would
// fill it and stop the pass for good.
std::string LoanRepaymentGroups(std::int32_t fyear) {
  return "Select top 100 Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO,Master.Fyear from Ledger Inner "
         "Join SubLedger on Ledger.LCODE=SubLedger.LCODE Inner Join Acc on "
         "SubLedger.SubCODE=Acc.subCode Inner Join Master on Acc.ACCODE=Master.CODE Where "
         "Ledger.NAME='Loan Issued Ledger' and Master.Status='LoanR' and Master.Fyear=" +
         std::to_string(fyear) +
         " and Acode is null and Master.VOUCHER_NO is not null Group by Acc.ACCODE ,Acc.Mid "
         ",Master.VOUCHER_NO ,Master.Fyear Order by Master.Fyear,Master.VOUCHER_NO";
}

std::string DepositEntryGroups(std::int32_t fyear) {
  return "Select top 100 Master.VOUCHER_NO,Master.Date from Ledger Inner Join SubLedger on "
         "Ledger.LCODE=SubLedger.LCODE Inner Join Acc on SubLedger.SubCODE=Acc.subCode Inner "
         "Join Master on Acc.ACCODE=Master.CODE Where Ledger.NAME='Deposit Ledger' and "
         "Master.Fyear=" +
         std::to_string(fyear) +
         " and iDate is null and Master.VOUCHER_NO is not null Group by "
         "Master.VOUCHER_NO,Master.Date Order by Master.VOUCHER_NO,Master.Date";
}

// The batch done or abandoned; what the passes found nothing under, and the count of
// repairs for the host to take, stay.
void EndBatch(FixupBatch& batch) {
  batch.open = false;
  batch.Fyear = 0;
  batch.groups.Close();
}

// Works a batch: `query` reads the groups of a new one, `repair` handles one group; `quiet`
// is what the pass last found nothing under (null: not remembered).
template <typename Query, typename Repair>
bool WorkBatch(data::Connection& main, std::int32_t CurFyear, FixupBatch& batch,
               std::optional<QuietPass>* quiet, const std::function<bool()>& out_of_time,
               Query query, Repair repair) {
  try {
    if (!batch.open) {
      if (out_of_time && out_of_time()) return false;
      // Taken before the query: a change committed after it gives another version.
      std::optional<std::string> version;
      if (quiet != nullptr) version = main.DataVersion();
      if (version && *quiet && (*quiet)->version == *version && (*quiet)->Fyear == CurFyear) {
        return true;
      }
      if (quiet != nullptr) quiet->reset();
      batch.Fyear = CurFyear;
      batch.groups.Open(main, query(CurFyear));
      batch.open = true;
      if (version && batch.groups.Eof()) *quiet = QuietPass{*version, CurFyear};
    }
    for (; !batch.groups.Eof(); batch.groups.MoveNext()) {
      if (out_of_time && out_of_time()) return false;
      repair(batch.groups, batch.Fyear);
      ++batch.repaired;
    }
  } catch (...) {
    EndBatch(batch);
    throw;
  }
  EndBatch(batch);
  return true;
}

void RepairLoanRepayment(data::Connection& main, const data::RecordSet& rs, std::int32_t) {
  main.Execute("Update [Master] set ACode=" + SqlNumber(rs.Field("ACCODE")) +
               ",MasterCode=" + SqlNumber(rs.Field("Mid")) +
               " Where Voucher_No=" + SqlNumber(rs.Field("VOUCHER_NO")) +
               " and Fyear=" + SqlNumber(rs.Field("Fyear")) + " and Status='LoanR'");
}

void RepairDepositEntry(data::Connection& main, const data::RecordSet& rs, std::int32_t fyear) {
  // A Null Date is written as the empty text: the rows then count as repaired.
  main.Execute("Update [Master] set iDate=" + data::SqlText(rs.Field("Date").AsText()) +
               ",dTime='00:00:00' Where Voucher_No=" + SqlNumber(rs.Field("VOUCHER_NO")) +
               " and Fyear=" + std::to_string(fyear));
}

}  // namespace

bool FixLoanRepaymentCodes(data::Connection& main, std::int32_t CurFyear, FixupBatch& batch,
                           const std::function<bool()>& out_of_time) {
  return WorkBatch(
      main, CurFyear, batch, &batch.quiet_loan_repayment, out_of_time, LoanRepaymentGroups,
      [&](const data::RecordSet& rs, std::int32_t fyear) { RepairLoanRepayment(main, rs, fyear); });
}

bool FixDepositEntryDates(data::Connection& main, std::int32_t CurFyear, FixupBatch& batch,
                          const std::function<bool()>& out_of_time) {
  return WorkBatch(
      main, CurFyear, batch, &batch.quiet_deposit_entry, out_of_time, DepositEntryGroups,
      [&](const data::RecordSet& rs, std::int32_t fyear) { RepairDepositEntry(main, rs, fyear); });
}

int FixLoanRepaymentCodes(data::Connection& main, std::int32_t CurFyear) {
  int repaired = 0;
  FixupBatch batch;
  WorkBatch(main, CurFyear, batch, nullptr, nullptr, LoanRepaymentGroups,
            [&](const data::RecordSet& rs, std::int32_t fyear) {
              RepairLoanRepayment(main, rs, fyear);
              ++repaired;
            });
  return repaired;
}

int FixDepositEntryDates(data::Connection& main, std::int32_t CurFyear) {
  int repaired = 0;
  FixupBatch batch;
  WorkBatch(main, CurFyear, batch, nullptr, nullptr, DepositEntryGroups,
            [&](const data::RecordSet& rs, std::int32_t fyear) {
              RepairDepositEntry(main, rs, fyear);
              ++repaired;
            });
  return repaired;
}

}  // namespace host
