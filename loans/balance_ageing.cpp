#include "loans/balance_ageing.h"

#include <cmath>

#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "loans/loan_values.h"
#include "loans/lookups.h"
#include "loans/paid_upto.h"
#include "loans/penal.h"

namespace loans {

data::RecordSet BuildBalanceAgeing(LoanState& state, std::int32_t accode, const std::string& as_of,
                                   double rate) {
  data::RecordSet ageing;
  ageing.AppendField("Date", data::FieldType::kText);
  ageing.AppendField("Current Balance", data::FieldType::kText);
  ageing.AppendField("Ageing Days", data::FieldType::kDouble);
  ageing.AppendField("Days", data::FieldType::kDouble);
  ageing.AppendField("Interest", data::FieldType::kDouble);
  ageing.Open();

  // Credits minus debits: negative for a loan account; the interest takes its size.
  const double balance = GetAccountBalance(state, accode);
  std::string paid = GetInterestPaidUpto(state, accode);
  const std::string first = GetFirstLoanDate(state, accode);

  // When the paid-up-to row is the disbursement itself, interest was never paid and runs
  // from the loan date, that day included.
  bool never_paid;
  if (paid == first) {
    never_paid = true;
    if (state.InterestPaidUpto > paid) {
      paid = state.InterestPaidUpto;
      never_paid = false;
    }
  } else {
    paid = state.InterestPaidUpto;
    never_paid = false;
  }
  if (IsMissingDate(paid)) paid = first;
  if (IsMissingDate(paid)) return ageing;

  ageing.AddNew();
  ageing.SetValue("Date", never_paid ? paid : calendar::BsAddDays(paid, 1));
  ageing.SetValue("Current Balance", data::Value(balance).AsText());
  ageing.SetValue("Ageing Days", balance);

  std::int32_t days;  // charged, both ends included
  if (as_of > paid || never_paid) {
    days = DaysBetween(paid, as_of);
    if (never_paid) days = base::CheckedInt32(std::int64_t{days} + 1);
  } else {
    // Interest is paid up to the as-of date or beyond it.
    ageing.SetValue("Days", 0.0);
    ageing.SetValue("Interest", 0.0);
    ageing.Update();
    ageing.MoveFirst();
    return ageing;
  }
  ageing.SetValue("Days", static_cast<double>(days));
  state.InterestDays = days;
  ageing.SetValue("Interest",
                  std::fabs(Divide(Finite(balance * rate / 100 * days), state.settings.LPeriod)));
  ageing.Update();
  ageing.MoveFirst();
  return ageing;
}

double GetAgeingInterest(LoanState& state, std::int32_t accode, const std::string& as_of,
                         double rate) {
  data::RecordSet ageing = BuildBalanceAgeing(state, accode, as_of, rate);
  double total = 0;
  while (!ageing.Eof()) {
    total += ageing.Field("Interest").AsDouble();
    ageing.MoveNext();
  }
  return total;
}

}  // namespace loans
