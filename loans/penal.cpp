#include "loans/penal.h"

#include <vector>

#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "loans/amortization.h"
#include "loans/loan_values.h"
#include "loans/lookups.h"
#include "loans/paid_upto.h"

namespace loans {

namespace {

// An installment not covered by the principal repaid: its due date and unpaid amount.
struct UnpaidInstallment {
  std::string date;
  double amount;
};

// The unpaid installments of the plan from its current row on, in plan order: the one the
// repayments reach into (partly repaid; listed whatever its date), then every installment
// due before `as_of` that the repayments do not reach.
std::vector<UnpaidInstallment> ListUnpaid(data::RecordSet& schedule, double outstanding,
                                          const std::string& as_of) {
  std::vector<UnpaidInstallment> unpaid;
  while (!schedule.Eof()) {
    const std::string date = schedule.Field(1).AsText();
    const double beg = NumberOfText(schedule.Field(2));
    const double end = NumberOfText(schedule.Field(6));
    const double principal = schedule.Field(4).AsDouble();
    if (end < outstanding && outstanding < beg) {
      unpaid.push_back({date, principal - (beg - outstanding)});
    } else if (end < outstanding && date < as_of) {
      unpaid.push_back({date, principal});
    }
    schedule.MoveNext();
  }
  return unpaid;
}

// The first loan date, read once per computation and only when needed; "" when the account
// has none ("0000/00/00" counts as none).
class FirstLoanDate {
 public:
  FirstLoanDate(LoanState& state, std::int32_t account_code)
      : state_(state), account_code_(account_code) {}

  const std::string& Get() {
    if (!read_) {
      date_ = GetFirstLoanDate(state_, account_code_);
      if (IsMissingDate(date_)) date_.clear();
      read_ = true;
    }
    return date_;
  }

 private:
  LoanState& state_;
  std::int32_t account_code_;
  bool read_ = false;
  std::string date_;
};

// Days of the BS month before the month of `date`.
int PreviousMonthDays(const std::string& date) {
  const int year = static_cast<int>(base::LeadingNumber(date.substr(0, 4)));
  const int month = static_cast<int>(base::LeadingNumber(date.size() > 5 ? date.substr(5, 2) : ""));
  return month == 1 ? calendar::BsMonthDays(year - 1, 12) : calendar::BsMonthDays(year, month - 1);
}

}  // namespace

std::string GetFirstLoanDate(LoanState& state, std::int32_t account_code) {
  data::RecordSet rs;
  rs.Open(state.main(),
          "Select Min([Date]) LDate from [Master] where code=" + Decimal(account_code) +
              " and (Status='Loan' or Vtype='Opening Balance')");
  if (!HasRow(rs) || rs.Field(0).IsNull()) return "";
  return rs.Field(0).AsText();
}

void CalcPenalDue(LoanState& state, data::RecordSet& schedule, double taken_total,
                  double paid_total, const std::string& as_of, std::int32_t account_code) {
  const LoanSettings& s = state.settings;
  const std::string maturity = GetLoanMaturityDate(state, account_code);
  GetInterestPaidUpto(state, account_code);
  FirstLoanDate first_loan_date(state, account_code);

  const double outstanding = taken_total - paid_total;
  std::int32_t past_maturity = 0;  // days
  if (!IsMissingDate(maturity) && as_of > maturity) past_maturity = DaysBetween(as_of, maturity);

  // Penal never runs from before the date up to which interest is paid (the first loan date
  // when interest was never paid), and that date is at most the as-of date. "" when neither
  // date exists: then entry dates are taken as they are.
  std::string penal_from = state.InterestPaidUpto;
  if (IsMissingDate(penal_from)) penal_from = first_loan_date.Get();
  if (!penal_from.empty() && penal_from > as_of) penal_from = as_of;

  const std::vector<UnpaidInstallment> unpaid = ListUnpaid(schedule, outstanding, as_of);

  std::int32_t count = 0;          // unpaid installments that count for the rate tier
  std::string late_date;           // due date of the installment penal runs from
  std::string penal_start;         // penal days count from the day after it
  double total = 0;                // unpaid amount of all listed installments
  std::int32_t day_count = 0;      // days from the current entry's date to as_of
  std::int32_t previous_days = 0;  // the previous entry's day_count
  std::string last_date;           // the last entry's date, raised to penal_from
  for (std::size_t i = 0; i < unpaid.size(); ++i) {
    std::string date = unpaid[i].date;
    if (!penal_from.empty() && date < penal_from) date = penal_from;
    const bool counts = i == 0 || date < as_of;
    if (counts) count = base::CheckedInt32(std::int64_t{count} + 1);
    day_count = DaysBetween(as_of, date);
    const bool sets_late =
        i == 0 ? day_count > s.PLGrace : counts && late_date.empty() && previous_days > s.PLGrace;
    if (sets_late) {
      late_date = date;
      if (s.PFrom == 1 && !penal_from.empty()) {
        penal_start = penal_from;
        day_count = DaysBetween(penal_from, as_of);
      } else {
        penal_start = EarlierDate(as_of, date);
      }
    }
    total += unpaid[i].amount;
    previous_days = day_count;
    last_date = date;
  }
  const std::string last_earlier = unpaid.empty() ? "" : EarlierDate(as_of, last_date);

  // Penal days: from the day after the penal start when later installments are unpaid too,
  // otherwise the last entry's own lateness; none within the grace.
  std::int32_t penal_days = day_count;
  if (!late_date.empty() && last_earlier > late_date) {
    penal_days = DaysBetween(calendar::BsAddDays(penal_start, 1), as_of);
  }
  if (penal_days <= base::CheckedInt16(std::int64_t{s.PLGrace} - 1)) penal_days = 0;

  double main_penal = 0;
  if (count >= 1) {
    const double rate = count == 1 ? s.p1 : count == 2 ? s.p2 : s.p3;
    const double base = s.PLOn == 0 ? state.InterestDue : s.PLOn == 1 ? outstanding : total;
    main_penal = Divide(Divide(Finite(penal_days * base * rate), s.LPeriod), 100);
  }
  // A partly repaid installment that is not yet due carries no penal.
  state.PenalDue = !last_date.empty() && last_date > as_of ? 0.0 : base::RoundHalfEven(main_penal);

  if (past_maturity >= 1) {
    const double rate = past_maturity <= s.AD1 ? s.Ag1 : past_maturity <= s.AD2 ? s.Ag2 : s.Ag3;
    state.PenalDue +=
        base::RoundHalfEven(Divide(Finite(past_maturity * rate * outstanding) / 100, s.LPeriod));
  }

  // Days of interest due. A paid-up-to date past the as-of date is brought back to it; when
  // interest was never paid the days run from the first loan date.
  if (!IsMissingDate(state.InterestPaidUpto)) {
    state.InterestDays = DaysBetween(state.InterestPaidUpto, as_of);
    if (state.InterestPaidUpto > as_of) state.InterestPaidUpto = as_of;
  } else {
    const std::string& first = first_loan_date.Get();
    state.InterestDays = first.empty() ? 0 : DaysBetween(first, as_of);
  }

  // Month-interest supplement: interest unpaid for more than a whole month (the month before
  // the as-of month, plus MIGrace days) adds its own penal on loans that carry the Mi flag.
  // The months that pick the rate count from the date InterestDays counts from; without one
  // there is no supplement. The month length is read last, only for flagged loans, since the
  // month before the as-of month may lie outside the calendar.
  const std::string months_from =
      IsMissingDate(state.InterestPaidUpto) ? first_loan_date.Get() : state.InterestPaidUpto;
  if (months_from.empty()) return;
  const double months = calendar::BsMonthsBetween(months_from, as_of);
  if (months < 1 || !GetAmortizationMi(state, account_code)) return;
  const int month_days = PreviousMonthDays(as_of);
  if (!(state.InterestDays > month_days + 1 + s.MIGrace)) return;
  const double rate = months < 2 ? s.MI1 : months < 3 ? s.MI2 : s.MI3;
  const double base = s.MiStatus == "Interest" ? state.InterestDue : outstanding;
  state.PenalDue += base::RoundHalfEven(
      Divide(Finite((state.InterestDays - month_days - 1) * base * rate) / 100, s.LPeriod));
  state.PenalDue = base::RoundHalfEven(state.PenalDue, 2);
}

}  // namespace loans
