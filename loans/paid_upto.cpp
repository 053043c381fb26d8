#include "loans/paid_upto.h"

#include "data/connection.h"
#include "data/record_set.h"
#include "loans/loan_values.h"

namespace loans {

namespace {

constexpr char kNoDate[] = "0000/00/00";

// The separator the accounting application shows between an account's name and its alias
// (U+0192, in UTF-8).
constexpr char kAliasSeparator[] = "\xC6\x92";

}  // namespace

std::int32_t LookupAccountCode(LoanState& state, const std::string& name, const std::string& table,
                               const std::string& column) {
  std::string condition;
  if (name.find(kAliasSeparator) != std::string::npos) {
    condition = std::string("] Where ([Name] + ' ") + kAliasSeparator +
                " '+ [Alias])=" + data::SqlText(name);
  } else {
    condition = "] Where Name=" + data::SqlText(name);
  }
  data::RecordSet rs;
  rs.Open(state.main(), "Select " + column + " from [" + table + condition);
  if (!HasRow(rs) || rs.Field(0).IsNull()) return 0;
  return rs.Field(0).AsInt32();
}

std::string GetLastPaidUpto(LoanState& state, std::int32_t account_code) {
  data::RecordSet rs;
  rs.SetMaxRecords(1);  // only the first row is looked at; an account's ledger may be long
  rs.Open(state.main(), "Select PaidUpto from master Where Code=" + Decimal(account_code) +
                            " order by PaidUpto Desc");
  if (rs.RecordCount() > 0) return DateOrNone(rs.Field("PaidUpto"));
  return "";
}

std::string GetInterestPaidUpto(LoanState& state, std::int32_t account_code) {
  const std::int32_t interest_account =
      LookupAccountCode(state, "Interest from Loan A/C", "Acc", "Accode");
  state.InterestPaidUpto.clear();
  std::string result;

  // The provider's default cursor: server-side and forward-only. The rows are read as the
  // walk below goes, mostly one, never the whole ledger of a long account.
  data::RecordSet rs;
  rs.SetCursorLocation(data::CursorLocation::kServer);
  rs.Open(state.main(),
          "SELECT MASTER.Index_Rec,Acc.ACCODE, MASTER.DATE,Master.PaidUpto,Master.Vtype, "
          "MASTER.VOUCHER_NO,Master.BillNo,Master.Fyear,Master.Status,Master.Particular,"
          "Sum(Master.Debit) as Debit,Sum(Master.Credit) as Credit FROM Acc INNER JOIN MASTER "
          "ON Acc.ACCODE = MASTER.CODE WHERE Acc.ACCODE=" +
              Decimal(account_code) +
              " and (Master.Status in('LoanR','Loan','Billing','Journal','...','IntPosting',"
              "'DLCollection','Loan') or Vtype='Opening Balance') Group by Master.Index_Rec,"
              "Acc.Accode, Master.Date, Master.PaidUpto,Master.Voucher_No,Master.Vtype,"
              "Master.BillNo,Master.Fyear,Master.Status,Master.Particular ORDER BY MASTER.DATE "
              "Desc");
  // Rows are the account's loan rows, latest ledger date first.
  if (HasRow(rs) && !rs.Field("Index_Rec").IsNull()) {
    result = DateOrNone(rs.Field("Date"));
    state.InterestPaidUpto = DateOrNone(rs.Field("PaidUpto"));
    // A later paid-up-to date on any ledger row of the loan (an interest receipt) wins.
    const std::string latest = GetLastPaidUpto(state, rs.Field("Accode").AsInt32());
    if (latest > state.InterestPaidUpto) state.InterestPaidUpto = latest;
    if (state.InterestPaidUpto == kNoDate) {
      // The latest loan row with a paid-up-to date; the last row when none has one.
      while (!rs.Eof()) {
        state.InterestPaidUpto = DateOrNone(rs.Field("PaidUpto"));
        result = DateOrNone(rs.Field("Date"));
        if (state.InterestPaidUpto != kNoDate) break;
        rs.MoveNext();
      }
    }
  }
  rs.Close();  // lets the query's cursor go before the next one

  if (IsMissingDate(state.InterestPaidUpto)) {
    data::RecordSet wide;
    wide.SetMaxRecords(
        1);  // only the first row is looked at; the interest account's ledger is long
    wide.Open(state.main(), "Select Date,PaidUpto,Vtype from [Master] Where Code In(" +
                                Decimal(account_code) + "," + Decimal(interest_account) +
                                ") and (Debit+Credit)>0 order by [Paidupto] DESC");
    if (!HasRow(wide)) {
      result = kNoDate;
      state.InterestPaidUpto = kNoDate;
    } else if (!wide.Field("PaidUpto").IsNull()) {
      const std::string paid_upto = wide.Field("PaidUpto").AsText();
      result = result.empty() ? DateOrNone(wide.Field("Date")) : paid_upto;
      state.InterestPaidUpto = paid_upto;
    }
  }

  if (result.empty()) result = kNoDate;
  if (state.InterestPaidUpto.empty()) state.InterestPaidUpto = kNoDate;
  return result;
}

}  // namespace loans
