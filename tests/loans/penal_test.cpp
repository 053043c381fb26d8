#include "loans/penal.h"

#include <gtest/gtest.h>

#include "tests/loans/loan_catalog.h"

namespace {

using loans_test::LedgerRow;
using loans_test::LoanCatalogTest;
using loans_test::LoanRow;
using loans_test::MakePlan;

constexpr char kAsOf[] = "2081/04/10";

// Rates are chosen so that 36.5 percent a year of 365 days is 0.1 percent a day: the penal
// on 1,000 is the number of penal days.
class PenalTest : public LoanCatalogTest {
 protected:
  void SetUp() override {
    LoanCatalogTest::SetUp();
    state_.settings.LPeriod = 365;
    state_.settings.PLOn = 2;
    state_.settings.p1 = 36.5;
    state_.settings.p2 = 36.5;
    state_.settings.p3 = 36.5;
  }

  double Penal(data::RecordSet plan, double taken, double paid, const std::string& as_of = kAsOf) {
    const std::string before = as_of;
    loans::CalcPenalDue(state_, plan, taken, paid, as_of, 501);
    EXPECT_EQ(before, as_of);
    return state_.PenalDue;
  }
};

TEST_F(PenalTest, ThreeUnpaidInstallmentsRunFromTheDayAfterTheOldest) {
  state_.settings.PLGrace = 10;
  state_.settings.p3 = 18;
  // 4,000 lent, 1,600 repaid: 2,400 outstanding, of which 400 of the 2081/01/15 installment.
  data::RecordSet plan = MakePlan({{"2080/12/15", 4000, 1000, 3000},
                                   {"2081/01/15", 3000, 1000, 2000},
                                   {"2081/02/15", 2000, 1000, 1000},
                                   {"2081/03/15", 1000, 1000, 0}});
  // D: 2081/01/16 to 2081/04/10 is 88 days; 88 x 2,400 x 18 / 365 / 100 = 104.15.
  EXPECT_EQ(104, Penal(std::move(plan), 4000, 1600));
  EXPECT_EQ("0000/00/00", state_.InterestPaidUpto);
  EXPECT_EQ(0, state_.InterestDays);  // neither a paid-up-to date nor a first loan date
}

TEST_F(PenalTest, GraceDaysAndPenalDays) {
  const struct {
    const char* name;
    std::int16_t grace;
    std::vector<const char*> due;  // unpaid installments of 1,000 / count each
    double want;
  } kCases[] = {
      {"5 days late, grace 5", 5, {"2081/04/05"}, 5},
      {"4 days late, grace 5", 5, {"2081/04/06"}, 0},
      {"30 days late", 10, {"2081/03/11"}, 30},
      {"30 days late, grace 0", 0, {"2081/03/11"}, 30},
      {"two unpaid, oldest 30 days late", 10, {"2081/03/11", "2081/04/01"}, 29},
      {"three unpaid, oldest 30 days late", 0, {"2081/03/11", "2081/03/20", "2081/04/01"}, 29},
      {"two unpaid within the grace", 10, {"2081/04/01", "2081/04/05"}, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    state_.settings.PLGrace = c.grace;
    // Equal installments adding up to 1,000, none repaid.
    const double each = 1000.0 / c.due.size();
    data::RecordSet plan;
    if (c.due.size() == 1) {
      plan = MakePlan({{c.due[0], 1000, 1000, 0}});
    } else if (c.due.size() == 2) {
      plan = MakePlan({{c.due[0], 1000, each, 1000 - each}, {c.due[1], 1000 - each, each, 0}});
    } else {
      plan = MakePlan({{c.due[0], 1000, each, 1000 - each},
                       {c.due[1], 1000 - each, each, 1000 - 2 * each},
                       {c.due[2], 1000 - 2 * each, each, 0}});
    }
    EXPECT_EQ(c.want, Penal(std::move(plan), 1000, 0));
  }
}

TEST_F(PenalTest, RateTierFollowsTheUnpaidCount) {
  state_.settings.p1 = 36.5;
  state_.settings.p2 = 73;
  state_.settings.p3 = 109.5;
  // 30 days late from 2081/03/11 (29 penal days with later ones unpaid), 1,000 in all.
  EXPECT_EQ(30, Penal(MakePlan({{"2081/03/11", 1000, 1000, 0}}), 1000, 0));
  EXPECT_EQ(
      58, Penal(MakePlan({{"2081/03/11", 1000, 500, 500}, {"2081/04/01", 500, 500, 0}}), 1000, 0));
  EXPECT_EQ(87, Penal(MakePlan({{"2081/03/11", 1000, 400, 600},
                                {"2081/03/20", 600, 300, 300},
                                {"2081/04/01", 300, 300, 0}}),
                      1000, 0));
}

TEST_F(PenalTest, BaseChosenBySetting) {
  // 600 of one installment unpaid 30 days, 2,000 outstanding, interest due 500.
  state_.InterestDue = 500;
  const struct {
    std::int16_t plon;
    double want;
  } kCases[] = {{0, 15}, {1, 60}, {2, 18}, {7, 18}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.plon);
    state_.settings.PLOn = c.plon;
    EXPECT_EQ(c.want, Penal(MakePlan({{"2081/03/11", 2400, 1000, 1400}}), 3000, 1000));
  }
  state_.settings.PLOn = 0;
  state_.InterestDue = 0;  // before any reply
  EXPECT_EQ(0, Penal(MakePlan({{"2081/03/11", 1000, 1000, 0}}), 1000, 0));
}

TEST_F(PenalTest, NothingUnpaidOrNotYetDue) {
  // Repaid up to the installment due on the as-of date; nothing listed.
  EXPECT_EQ(
      0, Penal(MakePlan({{"2081/03/10", 2000, 1000, 1000}, {kAsOf, 1000, 1000, 0}}), 2000, 1000));
  // The repayments reach into an installment that falls due later: listed, no penal.
  EXPECT_EQ(0, Penal(MakePlan({{"2081/03/10", 2000, 1000, 1000}, {"2081/05/10", 1000, 1000, 0}}),
                     2000, 1600));
}

TEST_F(PenalTest, PenalAfterMaturityByDaysPast) {
  AddLoan(LoanRow{});  // last installment 2082/01/01
  state_.settings.AD1 = 30;
  state_.settings.AD2 = 60;
  state_.settings.Ag1 = 36.5;
  state_.settings.Ag2 = 73;
  state_.settings.Ag3 = 109.5;
  // 10,000 outstanding: 10, 20 or 30 a day past maturity.
  const struct {
    const char* as_of;
    double want;
  } kCases[] = {
      {"2082/01/01", 0},     // the maturity date itself
      {"2081/12/15", 0},     // before it
      {"2082/01/02", 10},    // 1 day: Ag1
      {"2082/01/31", 300},   // 30 days: Ag1
      {"2082/02/01", 620},   // 31 days: Ag2
      {"2082/03/01", 1860},  // 62 days: Ag3
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.as_of);
    EXPECT_EQ(c.want, Penal(MakePlan({}), 12000, 2000, c.as_of));
  }
}

// Both penals are rounded as computed in their own order: the main penal as
// D x base x rate / LPeriod / 100 (9 x 2,500 x 21.9 / 365 / 100 falls just below 13.5: 13),
// the maturity penal as P x rate x outstanding / 100 / LPeriod (exactly 13.5: the even 14).
TEST_F(PenalTest, HalfWayPenalsRoundInTheirComputedOrder) {
  AddLoan(LoanRow{});  // last installment 2082/01/01
  state_.settings.PLOn = 1;
  state_.settings.p1 = 21.9;
  EXPECT_EQ(13, Penal(MakePlan({{"2081/04/01", 2500, 2500, 0}}), 2500, 0));
  state_.settings.p1 = 0;
  state_.settings.AD1 = 30;
  state_.settings.Ag1 = 21.9;
  EXPECT_EQ(14, Penal(MakePlan({}), 2500, 0, "2082/01/10"));
}

TEST_F(PenalTest, PaidUptoAfterTheAsOfDateIsBroughtBack) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 1000});
  AddLedger({.date = "2081/04/05", .status = "LoanR", .credit = 100, .paid_upto = "2081/05/01"});
  Penal(MakePlan({}), 1000, 100);
  EXPECT_EQ(kAsOf, state_.InterestPaidUpto);
  EXPECT_EQ(23, state_.InterestDays);  // the days it was ahead
}

TEST_F(PenalTest, InterestDaysFromTheFirstLoanDateWhenNeverPaid) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 1000});
  state_.InterestDays = 99;
  Penal(MakePlan({}), 1000, 0);
  EXPECT_EQ("0000/00/00", state_.InterestPaidUpto);
  EXPECT_EQ(103, state_.InterestDays);
}

TEST_F(PenalTest, EntriesAreRaisedToThePaidUptoDate) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 1000});
  AddLedger({.date = "2081/03/21", .status = "LoanR", .credit = 10, .paid_upto = "2081/03/20"});
  // 30 days late, but interest is paid up to 2081/03/20: 21 penal days.
  EXPECT_EQ(21, Penal(MakePlan({{"2081/03/11", 1000, 1000, 0}}), 1000, 0));
  EXPECT_EQ(21, state_.InterestDays);
}

TEST_F(PenalTest, PenalFromThePaidUptoDate) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 1000});
  AddLedger({.date = "2081/03/06", .status = "LoanR", .credit = 10, .paid_upto = "2081/03/05"});
  const struct {
    std::int16_t pfrom;
    int unpaid;
    double want;
  } kCases[] = {
      {0, 1, 30},  // from the due date 2081/03/11
      {1, 1, 36},  // from 2081/03/05
      {0, 2, 29},  // from 2081/03/12
      {1, 2, 35},  // from 2081/03/06
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.pfrom) + " / " + std::to_string(c.unpaid));
    state_.settings.PFrom = c.pfrom;
    data::RecordSet plan =
        c.unpaid == 1 ? MakePlan({{"2081/03/11", 1000, 1000, 0}})
                      : MakePlan({{"2081/03/11", 1000, 500, 500}, {"2081/04/01", 500, 500, 0}});
    EXPECT_EQ(c.want, Penal(std::move(plan), 1000, 0));
  }
}

TEST_F(PenalTest, MonthInterestSupplement) {
  LoanRow loan;
  loan.Mi = true;
  AddLoan(loan);
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 12000});
  AddLedger({.date = "2081/02/06", .status = "LoanR", .credit = 10, .paid_upto = "2081/02/05"});
  state_.InterestDue = 1000;
  state_.settings.MiStatus = "Interest";
  state_.settings.MI1 = 1;
  state_.settings.MI2 = 36.5;
  state_.settings.MI3 = 3;
  // 68 days from 2081/02/05, two whole months; Asar 2081 has 31 days:
  // (68 - 31 - 1) x 1,000 x 36.5 / 100 / 365 = 36.
  EXPECT_EQ(36, Penal(MakePlan({}), 12000, 0));
  EXPECT_EQ(68, state_.InterestDays);

  state_.settings.MiStatus = "Principal";  // on the 12,000 outstanding
  EXPECT_EQ(432, Penal(MakePlan({}), 12000, 0));

  state_.settings.MIGrace = 36;  // 68 is not above 31 + 1 + 36
  EXPECT_EQ(0, Penal(MakePlan({}), 12000, 0));
  state_.settings.MIGrace = 35;
  EXPECT_EQ(432, Penal(MakePlan({}), 12000, 0));

  state_.settings.MI2 = 0;  // unset rates add nothing
  EXPECT_EQ(0, Penal(MakePlan({}), 12000, 0));
}

TEST_F(PenalTest, MonthInterestWhenInterestWasNeverPaid) {
  LoanRow loan;
  loan.Mi = true;
  AddLoan(loan);
  AddLedger({.date = "2081/02/01", .status = "Loan", .debit = 12000});
  state_.InterestDue = 1000;
  state_.settings.MiStatus = "Interest";
  state_.settings.MI1 = 1;
  state_.settings.MI2 = 36.5;
  state_.settings.MI3 = 73;
  // Days and months both run from the first loan date: 72 days to 2081/04/10, two whole
  // months, so the rate is MI2: (72 - 31 - 1) x 1,000 x 36.5 / 100 / 365 = 40.
  EXPECT_EQ(40, Penal(MakePlan({}), 12000, 0));
  EXPECT_EQ("0000/00/00", state_.InterestPaidUpto);
  EXPECT_EQ(72, state_.InterestDays);

  // Neither date: no supplement, even with a grace that every day count exceeds.
  catalog().Exec("Delete From [Master]");
  state_.settings.MIGrace = -40;
  EXPECT_EQ(0, Penal(MakePlan({}), 12000, 0));
}

TEST_F(PenalTest, NoMonthInterestWithoutTheFlag) {
  AddLoan(LoanRow{});  // Mi Null
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 12000});
  AddLedger({.date = "2081/02/06", .status = "LoanR", .credit = 10, .paid_upto = "2081/02/05"});
  state_.InterestDue = 1000;
  state_.settings.MiStatus = "Interest";
  state_.settings.MI2 = 36.5;
  EXPECT_EQ(0, Penal(MakePlan({}), 12000, 0));
  // The month before 1500/01 lies outside the calendar; it is not needed without the flag.
  EXPECT_EQ(0, Penal(MakePlan({}), 12000, 0, "1500/01/10"));
}

TEST_F(LoanCatalogTest, FirstLoanDate) {
  EXPECT_EQ("", loans::GetFirstLoanDate(state_, 501));
  AddLedger({.date = "2081/02/01", .status = "Loan", .debit = 500});
  AddLedger({.date = "2081/01/20", .status = "LoanR", .credit = 10});
  EXPECT_EQ("2081/02/01", loans::GetFirstLoanDate(state_, 501));
  AddLedger({.date = "2080/04/01", .status = "Journal", .debit = 100, .vtype = "Opening Balance"});
  EXPECT_EQ("2080/04/01", loans::GetFirstLoanDate(state_, 501));
}

}  // namespace
