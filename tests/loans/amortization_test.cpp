#include "loans/amortization.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/agent_error.h"
#include "tests/loans/loan_catalog.h"
#include "tests/support/agent_error_of.h"

namespace {

using loans_test::LoanCatalogTest;
using loans_test::LoanRow;

struct ExpectedRow {
  std::int64_t sn;
  const char* date;
  double beg, installment, principal, interest, ending;
};

void ExpectPlan(data::RecordSet& plan, const std::vector<ExpectedRow>& want) {
  ASSERT_EQ(static_cast<std::int64_t>(want.size()), plan.RecordCount());
  ASSERT_EQ(7, plan.FieldCount());
  const char* const kFields[] = {"SN",        "tDate",    "BegBalance",   "Installment",
                                 "Principal", "Interest", "EndingBalance"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(kFields[i], plan.FieldName(i));
  plan.MoveFirst();
  for (const ExpectedRow& row : want) {
    SCOPED_TRACE("installment " + std::to_string(row.sn));
    ASSERT_FALSE(plan.Eof());
    EXPECT_EQ(row.sn, plan.Field(0).AsInt64());
    EXPECT_EQ(row.date, plan.Field(1).AsText());
    EXPECT_EQ(row.beg, plan.Field(2).AsDouble());
    EXPECT_EQ(row.installment, plan.Field(3).AsDouble());
    EXPECT_EQ(row.principal, plan.Field(4).AsDouble());
    EXPECT_EQ(row.interest, plan.Field(5).AsDouble());
    EXPECT_EQ(row.ending, plan.Field(6).AsDouble());
    plan.MoveNext();
  }
}

class ScheduleTest : public ::testing::Test {
 protected:
  ScheduleTest() { state_.settings.LPeriod = 360; }
  loans::LoanState state_;  // the builders read only the settings
};

// Interest periods of 2081 from 2081/01/01 to each month's first day (the first period counts
// both ends): 32, then the lengths of Jestha 2081 to Chaitra 2081.
TEST_F(ScheduleTest, FixedPrincipalMonthlyLoan) {
  double payment = 1000;
  data::RecordSet plan = loans::BuildPrincipalSchedule(
      state_, 12000, 12, 1, 12, "2081/01/01", payment, loans::kMonthlyLoan, "2081/02/01", false);
  EXPECT_EQ(0, payment);
  EXPECT_EQ(1, plan.Field("SN").AsInt64());  // handed back on its first row
  ExpectPlan(plan, {
                       {1, "2081/02/01", 12000, 1128, 1000, 128, 11000},
                       {2, "2081/03/01", 11000, 1117, 1000, 117, 10000},
                       {3, "2081/04/01", 10000, 1103, 1000, 103, 9000},
                       {4, "2081/05/01", 9000, 1096, 1000, 96, 8000},
                       {5, "2081/06/01", 8000, 1083, 1000, 83, 7000},
                       {6, "2081/07/01", 7000, 1070, 1000, 70, 6000},
                       {7, "2081/08/01", 6000, 1060, 1000, 60, 5000},
                       {8, "2081/09/01", 5000, 1050, 1000, 50, 4000},
                       {9, "2081/10/01", 4000, 1039, 1000, 39, 3000},
                       {10, "2081/11/01", 3000, 1030, 1000, 30, 2000},
                       {11, "2081/12/01", 2000, 1019, 1000, 19, 1000},
                       {12, "2082/01/01", 1000, 1010, 1000, 10, 0},
                   });
}

TEST_F(ScheduleTest, FixedInstallmentMonthlyLoan) {
  double payment = 2000;
  data::RecordSet plan = loans::BuildInstallmentSchedule(
      state_, 10000, 12, 1, 6, "2081/01/01", payment, loans::kMonthlyLoan, "2081/02/01", false);
  EXPECT_EQ(0, payment);
  ExpectPlan(plan, {
                       {1, "2081/02/01", 10000, 2000, 1893, 107, 8107},
                       {2, "2081/03/01", 8107, 2000, 1914, 86, 6193},
                       {3, "2081/04/01", 6193, 2000, 1936, 64, 4257},
                       {4, "2081/05/01", 4257, 2000, 1955, 45, 2302},
                       {5, "2081/06/01", 2302, 2000, 1976, 24, 326},
                       {6, "2081/07/01", 326, 329, 326, 3, 0},
                   });
}

// Quarterly: 12 / 4 = 3 months. The second period's interest is exactly 139.5 (4,500 x 12%
// x 93 days / 360) and goes to the even 140.
TEST_F(ScheduleTest, YearlyLoanWithFourInstallmentsStepsThreeMonths) {
  double payment = 1500;
  data::RecordSet plan = loans::BuildPrincipalSchedule(
      state_, 6000, 12, 4, 1, "2081/01/01", payment, loans::kYearlyLoan, "2081/04/01", false);
  ExpectPlan(plan, {
                       {1, "2081/04/01", 6000, 1690, 1500, 190, 4500},
                       {2, "2081/07/01", 4500, 1640, 1500, 140, 3000},
                       {3, "2081/10/01", 3000, 1589, 1500, 89, 1500},
                       {4, "2082/01/01", 1500, 1545, 1500, 45, 0},
                   });
}

// Interest is (balance x rate / 100) x days / LPeriod in that order: 1,500 at 21.9% for 15
// days of a 365-day year is exactly 13.5 this way and goes to the even 14 (taken as
// balance x rate x days / 100 / LPeriod it would fall just below the half, to 13).
TEST_F(ScheduleTest, InterestHalfGoesToEvenInComputedOrder) {
  state_.settings.LPeriod = 365;
  for (bool fixed_principal : {true, false}) {
    SCOPED_TRACE(fixed_principal ? "fixed principal" : "fixed installment");
    double payment = 2000;
    data::RecordSet plan =
        fixed_principal
            ? loans::BuildPrincipalSchedule(state_, 1500, 21.9, 1, 1, "2081/01/01", payment,
                                            loans::kMonthlyLoan, "2081/01/15", false)
            : loans::BuildInstallmentSchedule(state_, 1500, 21.9, 1, 1, "2081/01/01", payment,
                                              loans::kMonthlyLoan, "2081/01/15", false);
    ExpectPlan(plan, {{1, "2081/01/15", 1500, 1514, 1500, 14, 0}});
  }
}

// A first installment date (2081/01/15) before the loan's start date (2081/02/01): the day
// count puts the two in order, so the first installment falls on the start date after
// 17 + 1 days and the next one a month later.
TEST_F(ScheduleTest, FirstInstallmentBeforeTheStartDateFallsOnIt) {
  double payment = 1000;
  data::RecordSet plan = loans::BuildPrincipalSchedule(
      state_, 2000, 12, 1, 2, "2081/02/01", payment, loans::kMonthlyLoan, "2081/01/15", false);
  ExpectPlan(plan, {
                       {1, "2081/02/01", 2000, 1012, 1000, 12, 1000},
                       {2, "2081/03/01", 1000, 1011, 1000, 11, 0},
                   });
}

TEST_F(ScheduleTest, DayStepsOfPeriodicAndOtherLoans) {
  const struct {
    bool periodic;
    const char* second;
    const char* third;
  } kCases[] = {
      {true, "2081/02/31", "2081/03/29"},   // 30 days: Jestha has 32
      {false, "2081/02/02", "2081/02/03"},  // any other type: one day
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.periodic ? "periodic" : "other");
    double payment = 100;
    data::RecordSet plan = loans::BuildPrincipalSchedule(
        state_, 300, 0, 30, 3, "2081/01/01", payment, loans::kOtherLoan, "2081/02/01", c.periodic);
    ASSERT_EQ(3, plan.RecordCount());
    plan.MoveNext();
    EXPECT_EQ(c.second, plan.Field("tDate").AsText());
    plan.MoveNext();
    EXPECT_EQ(c.third, plan.Field("tDate").AsText());
  }
}

TEST_F(ScheduleTest, ZeroRateGivesNoInterest) {
  double payment = 5000;
  data::RecordSet plan = loans::BuildInstallmentSchedule(
      state_, 10000, 0, 1, 2, "2081/01/01", payment, loans::kMonthlyLoan, "2081/02/01", false);
  ExpectPlan(plan, {
                       {1, "2081/02/01", 10000, 5000, 5000, 0, 5000},
                       {2, "2081/03/01", 5000, 5000, 5000, 0, 0},
                   });
}

TEST_F(ScheduleTest, PrincipalPlanSetsUnsetLoanYear) {
  state_.settings.LPeriod = 0;
  double payment = 12000;
  data::RecordSet plan = loans::BuildPrincipalSchedule(
      state_, 12000, 12, 1, 1, "2081/01/01", payment, loans::kMonthlyLoan, "2081/02/01", false);
  EXPECT_EQ(360, state_.settings.LPeriod);
  EXPECT_EQ(128, plan.Field("Interest").AsDouble());
}

TEST_F(ScheduleTest, PrincipalPlansAlwaysEnd) {
  const struct {
    const char* name;
    double loan, payment;
    std::vector<double> principals;
  } kCases[] = {
      {"payment 0: one installment", 5000, 0, {5000}},
      {"negative payment: one installment", 5000, -10, {5000}},
      // 2,500.4 - 1,000 - 1,000 leaves 500.4: the last principal is the whole 500.4,
      // kept as 500.
      {"fractional balance", 2500.4, 1000, {1000, 1000, 500}},
      // A fractional payment: 1,000.5 twice leaves 999, the last installment.
      {"fractional payment", 3000, 1000.5, {1000, 1000, 999}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    double payment = c.payment;
    data::RecordSet plan = loans::BuildPrincipalSchedule(
        state_, c.loan, 0, 1, 1, "2081/01/01", payment, loans::kMonthlyLoan, "2081/02/01", false);
    ASSERT_EQ(static_cast<std::int64_t>(c.principals.size()), plan.RecordCount());
    for (double principal : c.principals) {
      EXPECT_EQ(principal, plan.Field("Principal").AsDouble());
      plan.MoveNext();
    }
    plan.MoveLast();
    EXPECT_EQ(0, plan.Field("EndingBalance").AsDouble());
    EXPECT_EQ(0, payment);
  }
}

TEST_F(ScheduleTest, InstallmentNotAboveInterestEndsThePlan) {
  // 100,000 at 12% for 32 days is 1,067 of interest: an installment of 1,000 never repays.
  double payment = 1000;
  data::RecordSet plan = loans::BuildInstallmentSchedule(
      state_, 100000, 12, 1, 12, "2081/01/01", payment, loans::kMonthlyLoan, "2081/02/01", false);
  EXPECT_EQ(0, plan.RecordCount());
  EXPECT_TRUE(plan.Eof());
  EXPECT_EQ(0, payment);

  // A two-day first period (67 of interest) lets 1,050 repay 983; the 32 days of Jestha then
  // charge 1,056 on the 99,017 left, more than the installment.
  payment = 1050;
  plan = loans::BuildInstallmentSchedule(state_, 100000, 12, 1, 12, "2081/01/31", payment,
                                         loans::kMonthlyLoan, "2081/02/01", false);
  ASSERT_EQ(1, plan.RecordCount());
  EXPECT_EQ(67, plan.Field("Interest").AsDouble());
  EXPECT_EQ(983, plan.Field("Principal").AsDouble());
  EXPECT_EQ(99017, plan.Field("EndingBalance").AsDouble());
}

TEST_F(ScheduleTest, YearlyLoanWithoutInstallmentsFails) {
  double payment = 1000;
  try {
    loans::BuildPrincipalSchedule(state_, 6000, 12, 0, 1, "2081/01/01", payment, loans::kYearlyLoan,
                                  "2081/04/01", false);
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kDivisionByZero, e.number());
  }
}

TEST_F(ScheduleTest, MissingStartDateFails) {
  double payment = 1000;
  EXPECT_THROW(loans::BuildPrincipalSchedule(state_, 6000, 12, 1, 1, "0000/00/00", payment,
                                             loans::kMonthlyLoan, "2081/02/01", false),
               base::AgentError);
}

TEST_F(LoanCatalogTest, MaturityDateIsTheLastInstallment) {
  AddLoan(LoanRow{});
  EXPECT_EQ("2082/01/01", loans::GetLoanMaturityDate(state_, 501));
}

TEST_F(LoanCatalogTest, MaturityDateOfInstallmentLoanAndFlatLoan) {
  LoanRow kista;
  kista.accode = 502;
  kista.Loan = 10000.0;
  kista.Payment = 2000.0;
  kista.Fixedby = "Kista";
  AddLoan(kista);
  EXPECT_EQ("2081/07/01", loans::GetLoanMaturityDate(state_, 502));

  // A flat loan without its switch is planned without interest: 2,000 a month repays
  // 10,000 in five months.
  kista.accode = 503;
  kista.Calc = "Flat";
  kista.Swith = std::int64_t{0};
  AddLoan(kista);
  EXPECT_EQ("2081/06/01", loans::GetLoanMaturityDate(state_, 503));
}

// Swith is a byte: only a value that rounds (halves to even) to 1 plans a flat loan with
// its interest (six months instead of five); one outside 0 to 255 is an overflow.
TEST_F(LoanCatalogTest, MaturityDateReadsSwithAsAByte) {
  const struct {
    double swith;
    const char* want;  // "" for the overflow error
  } kCases[] = {
      {0.5, "2081/06/01"}, {0.6, "2081/07/01"}, {1.4, "2081/07/01"},
      {1.5, "2081/06/01"}, {256, ""},           {-1, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.swith);
    catalog().Exec("Delete From Amortization");
    LoanRow flat;
    flat.Loan = 10000.0;
    flat.Payment = 2000.0;
    flat.Fixedby = "Kista";
    flat.Calc = "Flat";
    flat.Swith = c.swith;
    AddLoan(flat);
    if (*c.want != '\0') {
      EXPECT_EQ(c.want, loans::GetLoanMaturityDate(state_, 501));
    } else {
      EXPECT_EQ(base::kOverflow,
                test_support::ErrorOf([&] { loans::GetLoanMaturityDate(state_, 501); }).number());
    }
  }
}

TEST_F(LoanCatalogTest, MaturityDateWithoutAPlanIsEmpty) {
  LoanRow other;
  other.accode = 504;
  other.Fixedby = "Other";
  AddLoan(other);
  EXPECT_EQ("", loans::GetLoanMaturityDate(state_, 504));  // neither Kista nor Principal
  EXPECT_EQ("", loans::GetLoanMaturityDate(state_, 999));  // no row
}

TEST_F(LoanCatalogTest, MaturityDateNeedsEveryColumnButSwith) {
  LoanRow row;
  row.Calc = data::Value();
  AddLoan(row);
  try {
    loans::GetLoanMaturityDate(state_, 501);
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kInvalidUseOfNull, e.number());
  }
}

}  // namespace
