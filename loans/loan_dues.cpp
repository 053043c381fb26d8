#include "loans/loan_dues.h"

#include "base/numbers.h"
#include "data/record_set.h"
#include "loans/amortization.h"
#include "loans/loan_values.h"
#include "loans/lookups.h"
#include "loans/penal.h"

namespace loans {

double CalcLoanDues(LoanState& state, std::int32_t account_code, const std::string& as_of,
                    double rate) {
  state.PenalDue = 0;
  data::RecordSet rs;
  rs.Open(state.main(), "Select * from Amortization where Accode=" + Decimal(account_code));
  if (!HasRow(rs)) return 0;

  const data::Value& loan_type_value = rs.Field("LoanType");
  const std::string loan_type = loan_type_value.IsNull() ? "" : loan_type_value.AsText();
  const std::int16_t type_code = LoanTypeCode(loan_type);
  const bool periodic = loan_type == "Periodic";

  // Term of the loan in years.
  const double period = NumberOfText(rs.Field("Period"));
  double years;
  if (loan_type == "Monthly") {
    years = period / 12;
  } else if (loan_type == "Yearly") {
    years = period;
  } else if (periodic) {
    years = Divide(Finite(period * NumberOfText(rs.Field("Nop"))), state.settings.LPeriod);
  } else {
    years = Divide(period, state.settings.LPeriod);
  }

  const double swith = NumberOrZero(rs.Field("Swith"));
  const double loan = NumberOfText(rs.Field("Loan"));
  const double interest = NumberOfText(rs.Field("Interest"));
  const double flat_interest = base::RoundHalfEven(Finite(years * loan * interest / 100));

  GetLoanPaidAndTaken(state, account_code);

  double principal = loan;
  double annual_rate = interest;
  if (rate == 0) {
    annual_rate = 0;
    // A flat loan with its switch on repays its whole flat interest with the principal.
    if (swith == 1) principal = loan + flat_interest;
  }
  const std::int16_t nop = base::ToInt16(NumberOfText(rs.Field("Nop")));
  const std::int16_t period16 = base::ToInt16(period);
  const std::string first_date = RequiredText(rs.Field("Tdate"));
  const data::Value& tfrom = rs.Field("Tfrom");
  const std::string start_date = tfrom.IsNull() ? first_date : tfrom.AsText();
  double payment = NumberOfText(rs.Field("Payment"));  // the builder's working copy

  data::RecordSet schedule =
      rs.Field("Fixedby").AsText() == "Kista"
          ? BuildInstallmentSchedule(state, principal, annual_rate, nop, period16, first_date,
                                     payment, type_code, start_date, periodic)
          : BuildPrincipalSchedule(state, principal, annual_rate, nop, period16, first_date,
                                   payment, type_code, start_date, periodic);

  // Walk the whole plan: principal scheduled by the as-of date against the principal repaid.
  double scheduled = 0;
  if (schedule.RecordCount() > 0) schedule.MoveFirst();
  while (!schedule.Eof()) {
    const std::string date = schedule.Field("tDate").AsText();
    if (date <= as_of) {
      scheduled += schedule.Field("Principal").AsDouble();
      // An installment due on the as-of date is owed but not yet overdue.
      if (scheduled > state.LoanPaidTotal && date != as_of) {
        state.OverdueInstallments = base::CheckedInt32(std::int64_t{state.OverdueInstallments} + 1);
      }
    }
    schedule.MoveNext();
  }
  const double overdue = scheduled > state.LoanPaidTotal ? scheduled - state.LoanPaidTotal : 0;

  if (schedule.RecordCount() > 0) schedule.MoveFirst();
  CalcPenalDue(state, schedule, base::RoundTrip15(state.LoanTakenTotal),
               base::RoundTrip15(state.LoanPaidTotal), as_of, account_code);
  return overdue;
}

}  // namespace loans
