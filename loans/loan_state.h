#ifndef MAV_LOANS_LOAN_STATE_H_
#define MAV_LOANS_LOAN_STATE_H_

#include <cstdint>
#include <string>

#include "data/connection.h"

namespace loans {

// The cooperative's loan rules, from the single row of OtherSetting. Rates are percent per
// loan year of LPeriod days; day limits and graces are days.
struct LoanSettings {
  double p1 = 0, p2 = 0, p3 = 0;     // penal rate with 1, 2, 3+ installments overdue
  std::string Basis;                 // not used by the computations
  double ir1 = 0, ir2 = 0, ir3 = 0;  // rate added with 1, 2, 3+ months/installments overdue
  double Ag1 = 0, Ag2 = 0, Ag3 = 0;  // penal rate after maturity, by days past it
  double AD1 = 0, AD2 = 0;           // limits of days past maturity for Ag1 / Ag2
  bool MonthlyDue = false;           // report dues by months overdue
  bool InsDue = false;               // report dues by installments overdue
  std::int16_t PLOn = 0;     // penal base: 0 interest due, 1 outstanding principal, else overdue
  std::string MiStatus;      // "Interest": month-interest supplement on the interest due
  std::int16_t MIGrace = 0;  // days added to a month's length before it counts as overdue
  std::int16_t PLGrace = 0;  // days before penal applies
  std::int16_t LPeriod = 0;  // days in a loan year; 0 is replaced by 360 when loaded
  std::int16_t PFrom = 0;    // 1: penal days run from the penal-from date
  double MI1 = 0, MI2 = 0, MI3 = 0;  // month-interest supplement rates for 1, 2, 3+ months
};

// The loan figures of the account being answered and the settings they are computed with.
// Each computation overwrites them; callers read them right after the call, and some carry
// over to the next computation (InterestDue is the penal base of the next reply when PLOn 0).
struct LoanState {
  data::Connection* MainConnection = nullptr;  // the accounting catalog; owned by the host

  LoanSettings settings;

  double LoanTakenTotal = 0;  // amount lent (debits of disbursement and opening rows)
  double LoanPaidTotal = 0;   // principal repaid (all credits)
  std::int32_t OverdueInstallments = 0;
  double PenalDue = 0;
  std::int32_t InterestDays = 0;  // days from InterestPaidUpto to the as-of date
  std::string InterestPaidUpto;   // BS date; "0000/00/00" when none
  double InterestDue = 0;         // interest due of the last composed reply

  // MainConnection; throws when it was never opened.
  data::Connection& main() const;  // NOLINT(bugprone-exception-escape): not the program entry
};

}  // namespace loans

#endif  // MAV_LOANS_LOAN_STATE_H_
