#include "loans/amortization.h"

#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "loans/loan_values.h"

namespace loans {

std::int16_t LoanTypeCode(const std::string& loan_type) {
  if (loan_type == "Monthly") return kMonthlyLoan;
  if (loan_type == "Yearly") return kYearlyLoan;
  return kOtherLoan;
}

namespace {

data::RecordSet NewSchedule() {
  data::RecordSet schedule;
  schedule.AppendField("SN", data::FieldType::kBigInt);
  schedule.AppendField("tDate", data::FieldType::kText);
  schedule.AppendField("BegBalance", data::FieldType::kDouble);
  schedule.AppendField("Installment", data::FieldType::kDouble);
  schedule.AppendField("Principal", data::FieldType::kDouble);
  schedule.AppendField("Interest", data::FieldType::kDouble);
  schedule.AppendField("EndingBalance", data::FieldType::kDouble);
  schedule.Open();
  return schedule;
}

// An amount as the plan keeps it: a whole number (halves to even) that went through its
// "0.00" text, so values beyond 15 significant digits keep only those.
double StoredAmount(double x) {
  return base::ParseNumber(base::FormatAmount(base::RoundHalfEven(x)));
}

void AppendRow(data::RecordSet& schedule, std::int64_t sn, const std::string& date, double beg,
               double installment, double principal, double interest, double ending) {
  schedule.AddNew();
  schedule.SetValue(0, data::Value(sn));
  schedule.SetValue(1, data::Value(date));
  schedule.SetValue(2, data::Value(StoredAmount(beg)));
  schedule.SetValue(3, data::Value(StoredAmount(installment)));
  schedule.SetValue(4, data::Value(StoredAmount(principal)));
  schedule.SetValue(5, data::Value(StoredAmount(interest)));
  schedule.SetValue(6, data::Value(StoredAmount(ending)));
  schedule.Update();
}

// The installment dates of a plan and the days of each interest period.
class InstallmentDates {
 public:
  InstallmentDates(std::int16_t nop, std::int16_t type_code, bool periodic,
                   const std::string& first_date, const std::string& start_date)
      : type_code_(type_code), current_(first_date), start_date_(start_date) {
    // Monthly loans count installments per year from nop months; the count must fit 16 bits.
    const std::int16_t n =
        type_code == kMonthlyLoan ? base::CheckedInt16(std::int64_t{nop} * 12) : nop;
    if (type_code == kMonthlyLoan) {
      step_ = 1;  // months
    } else if (type_code == kYearlyLoan) {
      step_ = base::ToInt16(Divide(12.0, n));  // months; nop 4 gives 3
    } else {
      step_ = periodic ? n : 1;  // days
    }
  }

  // Moves to the next installment date and returns the days of its period: from the
  // previous date to this one, both days counted for the first period. The day count puts
  // the two dates in order in place, so an installment date earlier than the previous date
  // becomes that previous date, and the plan steps on from there: a first installment
  // (Tfrom) before the loan's start date (tDate) is dated on the start date.
  std::int32_t Next() {
    std::string previous = current_;
    if (first_) {
      current_ = start_date_;
    } else if (type_code_ == kOtherLoan) {
      current_ = calendar::BsAddDays(current_, step_);
    } else {
      current_ = calendar::BsAddMonths(current_, step_);
    }
    const std::int32_t days = calendar::BsDaysBetween(previous, current_);
    if (first_) {
      first_ = false;
      return base::CheckedInt32(std::int64_t{days} + 1);
    }
    return days;
  }

  const std::string& date() const { return current_; }

 private:
  std::int16_t type_code_;
  std::int32_t step_ = 0;
  std::string current_;
  std::string start_date_;
  bool first_ = true;
};

double PeriodInterest(double balance, double rate, std::int32_t days, std::int16_t lperiod) {
  return base::RoundHalfEven(Divide(Finite(balance * rate / 100 * days), lperiod));
}

}  // namespace

data::RecordSet BuildPrincipalSchedule(LoanState& state, double loan, double rate, std::int16_t nop,
                                       std::int16_t /*period*/, const std::string& first_date,
                                       double& payment, std::int16_t type_code,
                                       const std::string& start_date, bool periodic) {
  data::RecordSet schedule = NewSchedule();
  InstallmentDates dates(nop, type_code, periodic, first_date, start_date);
  calendar::EnsureCalendarTables();
  if (state.settings.LPeriod == 0) state.settings.LPeriod = 360;

  const double fixed = payment;  // the fixed principal
  double balance = loan;
  std::int64_t sn = 1;
  for (;;) {
    const std::int32_t days = dates.Next();
    const double interest = PeriodInterest(balance, rate, days, state.settings.LPeriod);
    double installment;
    double principal;
    if (fixed <= 0 || balance <= fixed) {
      // The last installment repays the whole balance, so the plan always ends here.
      principal = balance;
      installment = base::RoundHalfEven(interest + principal, 2);
    } else {
      principal = fixed;
      installment = base::RoundHalfEven(fixed) + interest;
    }
    const double ending = base::RoundHalfEven(balance - principal, 2);
    AppendRow(schedule, sn, dates.date(), balance, installment, principal, interest, ending);
    balance = ending;
    if (ending == 0) break;
    ++sn;
  }
  schedule.MoveFirst();
  payment = 0;
  return schedule;
}

data::RecordSet BuildInstallmentSchedule(LoanState& state, double loan, double rate,
                                         std::int16_t nop, std::int16_t /*period*/,
                                         const std::string& first_date, double& payment,
                                         std::int16_t type_code, const std::string& start_date,
                                         bool periodic) {
  data::RecordSet schedule = NewSchedule();
  InstallmentDates dates(nop, type_code, periodic, first_date, start_date);
  calendar::EnsureCalendarTables();

  double balance = loan;
  std::int64_t sn = 1;
  for (;;) {
    const std::int32_t days = dates.Next();
    const double interest = PeriodInterest(balance, rate, days, state.settings.LPeriod);
    double principal = payment - interest;
    // An installment that does not exceed its interest never repays the loan: the plan ends.
    if (principal <= 0) break;
    if (balance < payment) {
      // The last installment: the remaining balance and its interest.
      payment = base::RoundHalfEven(interest, 2) + base::RoundHalfEven(balance, 2);
      principal = base::RoundHalfEven(balance);
    }
    const double ending = base::RoundHalfEven(balance) - principal;
    AppendRow(schedule, sn, dates.date(), balance, payment, principal, interest, ending);
    balance = base::RoundHalfEven(ending);
    if (!(balance > 0)) break;
    ++sn;
  }
  if (schedule.RecordCount() > 0) schedule.MoveFirst();
  payment = 0;
  return schedule;
}

std::string GetLoanMaturityDate(LoanState& state, std::int32_t account_code) {
  data::RecordSet rs;
  rs.Open(state.main(), "Select * from Amortization where Accode=" + Decimal(account_code));
  if (!HasRow(rs) || rs.Field("Accode").IsNull()) return "";

  const double loan = rs.Field("Loan").AsDouble();
  const double interest = rs.Field("Interest").AsDouble();
  const std::int16_t nop = rs.Field("Nop").AsInt16();
  const std::int16_t period = rs.Field("Period").AsInt16();
  const std::string first_date = RequiredText(rs.Field("tDate"));
  const std::string start_date = RequiredText(rs.Field("Tfrom"));
  double payment = rs.Field("Payment").AsDouble();
  const std::string loan_type = RequiredText(rs.Field("LoanType"));
  const std::string fixed_by = RequiredText(rs.Field("Fixedby"));
  const std::string calc = RequiredText(rs.Field("CalC"));
  const std::uint8_t swith = base::ToByte(NumberOrZero(rs.Field("Swith")));

  const std::int16_t type_code = LoanTypeCode(loan_type);
  const bool periodic = loan_type == "Periodic";
  // A flat-rate loan without its switch carries no interest in its plan.
  const double rate = calc == "Flat" && swith != 1 ? 0.0 : interest;

  data::RecordSet plan;
  if (fixed_by == "Kista") {
    plan = BuildInstallmentSchedule(state, loan, rate, nop, period, first_date, payment, type_code,
                                    start_date, periodic);
  } else if (fixed_by == "Principal") {
    plan = BuildPrincipalSchedule(state, loan, rate, nop, period, first_date, payment, type_code,
                                  start_date, periodic);
  }
  std::string maturity;
  if (plan.RecordCount() > 0) {
    plan.MoveLast();
    maturity = plan.Field("tDate").AsText();
  }
  return maturity;
}

}  // namespace loans
