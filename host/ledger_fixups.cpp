#include "host/ledger_fixups.h"

#include <string>
#include <variant>

#include "base/numbers.h"
#include "data/record_set.h"

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

}  // namespace

int FixLoanRepaymentCodes(data::Connection& main, std::int32_t CurFyear) {
  data::RecordSet rs;
  rs.Open(main,
          "Select top 100 Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO,Master.Fyear from Ledger Inner "
          "Join SubLedger on Ledger.LCODE=SubLedger.LCODE Inner Join Acc on "
          "SubLedger.SubCODE=Acc.subCode Inner Join Master on Acc.ACCODE=Master.CODE Where "
          "Ledger.NAME='Loan Issued Ledger' and Master.Status='LoanR' and Master.Fyear=" +
              std::to_string(CurFyear) +
              " and Acode is null Group by Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO ,Master.Fyear "
              "Order by Master.Fyear,Master.VOUCHER_NO");
  int repaired = 0;
  for (; !rs.Eof(); rs.MoveNext()) {
    // A voucher without a number cannot be named in the update; left for the operator.
    if (rs.Field("VOUCHER_NO").IsNull()) continue;
    main.Execute("Update [Master] set ACode=" + SqlNumber(rs.Field("ACCODE")) +
                 ",MasterCode=" + SqlNumber(rs.Field("Mid")) +
                 " Where Voucher_No=" + SqlNumber(rs.Field("VOUCHER_NO")) +
                 " and Fyear=" + SqlNumber(rs.Field("Fyear")) + " and Status='LoanR'");
    ++repaired;
  }
  return repaired;
}

int FixDepositEntryDates(data::Connection& main, std::int32_t CurFyear) {
  data::RecordSet rs;
  rs.Open(main,
          "Select top 100 Master.VOUCHER_NO,Master.Date from Ledger Inner Join SubLedger on "
          "Ledger.LCODE=SubLedger.LCODE Inner Join Acc on SubLedger.SubCODE=Acc.subCode Inner "
          "Join Master on Acc.ACCODE=Master.CODE Where Ledger.NAME='Deposit Ledger' and "
          "Master.Fyear=" +
              std::to_string(CurFyear) +
              " and iDate is null Group by Master.VOUCHER_NO,Master.Date Order by "
              "Master.VOUCHER_NO,Master.Date");
  int repaired = 0;
  for (; !rs.Eof(); rs.MoveNext()) {
    if (rs.Field("VOUCHER_NO").IsNull()) continue;
    // A Null Date is written as the empty text: the rows then count as repaired.
    main.Execute("Update [Master] set iDate=" + data::SqlText(rs.Field("Date").AsText()) +
                 ",dTime='00:00:00' Where Voucher_No=" + SqlNumber(rs.Field("VOUCHER_NO")) +
                 " and Fyear=" + std::to_string(CurFyear));
    ++repaired;
  }
  return repaired;
}

}  // namespace host
