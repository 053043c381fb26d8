#include "loans/lookups.h"

#include "data/record_set.h"
#include "loans/loan_values.h"

namespace loans {

namespace {

// The first column of the first row of a query, Null when there is no row.
data::Value FirstValue(LoanState& state, const std::string& sql) {
  data::RecordSet rs;
  rs.Open(state.main(), sql);
  if (!HasRow(rs)) return data::Value();
  return rs.Field(0);
}

}  // namespace

void GetLoanPaidAndTaken(LoanState& state, std::int32_t accode) {
  const std::string code = Decimal(accode);
  state.LoanPaidTotal =
      NumberOrZero(FirstValue(state, "Select Sum(Credit) as Paid from Master where Code=" + code));
  state.LoanTakenTotal =
      NumberOrZero(FirstValue(state, "Select Sum(Debit) as Loan from Master where Code=" + code +
                                         " and (Status='Loan' or Vtype='Opening Balance')"));
}

double GetLoanInterestRate(LoanState& state, std::int32_t accode) {
  data::RecordSet rs;
  rs.Open(state.main(),
          "Select Interest,Calc,Swith from Amortization where Accode=" + Decimal(accode));
  if (!HasRow(rs)) return 0;
  const data::Value& calc = rs.Field("Calc");
  if (!calc.IsNull() && calc.AsText() == "Flat") {
    // A flat-rate loan charges interest only when its switch is on.
    const data::Value& swith = rs.Field("Swith");
    if (swith.IsNull() || swith.AsDouble() == 0) return 0;
  }
  return rs.Field("Interest").AsDouble();
}

bool GetAmortizationMi(LoanState& state, std::int32_t accode) {
  const data::Value mi =
      FirstValue(state, "Select Mi from Amortization Where Accode=" + Decimal(accode));
  return mi.IsNull() ? false : mi.AsBool();
}

std::string LookupValue(LoanState& state, const std::string& table, const std::string& field,
                        const std::string& key_field, std::int32_t key_value) {
  if (key_value == 0) return "N/A";
  data::RecordSet rs;
  rs.Open(state.main(),
          "Select " + field + " from " + table + " Where " + key_field + "=" + Decimal(key_value));
  if (!HasRow(rs)) return "";
  const data::Value& value = rs.Field(0);
  return value.IsNull() ? " " : value.AsText();
}

double GetAccountBalance(LoanState& state, std::int32_t accode) {
  return NumberOrZero(FirstValue(
      state,
      "Select sum(credit)-sum(debit) as balance from [Master] where code=" + Decimal(accode)));
}

bool IsFlatCalc(LoanState& state, std::int32_t accode) {
  const data::Value calc =
      FirstValue(state, "Select Calc from Amortization where Accode=" + Decimal(accode));
  return !calc.IsNull() && calc.AsText() == "Flat";
}

double GetSubLedgerLLR(LoanState& state, std::int32_t subcode) {
  data::RecordSet rs;
  rs.Open(state.main(), "Select LLR from SubLedger Where SubCode=" + Decimal(subcode));
  if (!HasRow(rs)) return 0;
  return rs.Field(0).AsDouble();
}

std::int32_t GetAccountSubcode(LoanState& state, std::int32_t accode) {
  const data::Value subcode =
      FirstValue(state, "Select Subcode from Acc where Accode=" + Decimal(accode));
  return subcode.IsNull() ? 0 : subcode.AsInt32();
}

}  // namespace loans
