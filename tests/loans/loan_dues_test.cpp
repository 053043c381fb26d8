#include "loans/loan_dues.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"
#include "tests/loans/loan_catalog.h"

namespace {

using loans_test::LedgerRow;
using loans_test::LoanCatalogTest;
using loans_test::LoanRow;

// Four monthly installments of 1,000 due 2081/02/01 to 2081/05/01, planned without interest.
LoanRow FourInstallments() {
  LoanRow row;
  row.Loan = 4000.0;
  row.Period = 4.0;
  return row;
}

TEST_F(LoanCatalogTest, AccountWithoutPlanOwesNothing) {
  state_.PenalDue = 7;
  state_.OverdueInstallments = 5;
  EXPECT_EQ(0, loans::CalcLoanDues(state_, 501, "2081/04/10", 12));
  EXPECT_EQ(0, state_.PenalDue);
  EXPECT_EQ(5, state_.OverdueInstallments);
}

TEST_F(LoanCatalogTest, InstallmentDueOnTheAsOfDateIsOwedButNotOverdue) {
  AddLoan(FourInstallments());
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 4000});
  AddLedger({.date = "2081/04/01", .status = "LoanR", .credit = 2500, .paid_upto = "2081/04/01"});
  state_.settings.LPeriod = 365;
  state_.settings.PLOn = 1;
  state_.settings.p1 = 36.5;
  state_.OverdueInstallments = 0;
  const std::string as_of = "2081/05/01";
  EXPECT_EQ(1500, loans::CalcLoanDues(state_, 501, as_of, 0));
  EXPECT_EQ("2081/05/01", as_of);
  EXPECT_EQ(1, state_.OverdueInstallments);  // the third; the fourth is due today
  EXPECT_EQ(4000, state_.LoanTakenTotal);
  EXPECT_EQ(2500, state_.LoanPaidTotal);
  // Penal: 500 of the 2081/04/01 installment unpaid for Shrawan's 32 days, on the 1,500
  // outstanding: 32 x 1,500 x 36.5 / 365 / 100 = 48.
  EXPECT_EQ(48, state_.PenalDue);
  EXPECT_EQ("2081/04/01", state_.InterestPaidUpto);
  EXPECT_EQ(32, state_.InterestDays);
}

TEST_F(LoanCatalogTest, RepaidInstallmentsAreNotOverdue) {
  AddLoan(FourInstallments());
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 4000});
  AddLedger({.date = "2081/03/20", .status = "LoanR", .credit = 3000});
  state_.OverdueInstallments = 2;  // counted on, never reset here
  EXPECT_EQ(0, loans::CalcLoanDues(state_, 501, "2081/04/15", 0));
  EXPECT_EQ(2, state_.OverdueInstallments);
  EXPECT_EQ(0, state_.PenalDue);
}

// The plan of a loan with rate 0 is built on the loan plus, when Swith is 1, its flat
// interest (term in years x Loan x Interest / 100, to the even whole). One installment
// repays it all, so the overdue principal after it shows the principal planned.
TEST_F(LoanCatalogTest, FlatInterestInThePlannedPrincipal) {
  const struct {
    const char* name;
    data::Value loan_type, period, nop, loan, interest, swith;
    double rate;
    double want;
  } kCases[] = {
      {"monthly, 12 months", "Monthly", 12.0, std::int64_t{1}, 100000.0, 12.0, std::int64_t{1}, 0,
       112000},
      {"small letters: 12 days", "monthly", 12.0, std::int64_t{1}, 100000.0, 12.0, std::int64_t{1},
       0, 100400},
      {"yearly, 1 year", "Yearly", 1.0, std::int64_t{1}, 100000.0, 12.0, std::int64_t{1}, 0,
       112000},
      {"periodic, 12 x 30 days", "Periodic", 12.0, std::int64_t{30}, 100000.0, 12.0,
       std::int64_t{1}, 0, 112000},
      {"other, 360 days", "Daily", 360.0, std::int64_t{1}, 100000.0, 12.0, std::int64_t{1}, 0,
       112000},
      {"12,000.5 goes to 12,000", "Yearly", 1.0, std::int64_t{1}, 24001.0, 50.0, std::int64_t{1}, 0,
       36001},
      {"12,001.5 goes to 12,002", "Yearly", 1.0, std::int64_t{1}, 24003.0, 50.0, std::int64_t{1}, 0,
       36005},
      {"switch 0", "Monthly", 12.0, std::int64_t{1}, 100000.0, 12.0, std::int64_t{0}, 0, 100000},
      {"switch Null", "Monthly", 12.0, std::int64_t{1}, 100000.0, 12.0, data::Value(), 0, 100000},
      {"with a rate", "Monthly", 12.0, std::int64_t{1}, 100000.0, 12.0, std::int64_t{1}, 12,
       100000},
      {"texts of numbers", "Monthly", "12", "1", "100000", "12", std::int64_t{1}, 0, 112000},
      // (100 / 360) x 80,760 x 13.5 / 100 lies just above 3,028.5 in this order: 3,029.
      {"term first, then loan, then rate", "Daily", 100.0, std::int64_t{1}, 80760.0, 13.5,
       std::int64_t{1}, 0, 83789},
  };
  std::int32_t accode = 600;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LoanRow row;
    row.accode = ++accode;
    row.LoanType = c.loan_type;
    row.Period = c.period;
    row.Nop = c.nop;
    row.Loan = c.loan;
    row.Interest = c.interest;
    row.Swith = c.swith;
    row.Payment = 1e6;
    AddLoan(row);
    EXPECT_EQ(c.want, loans::CalcLoanDues(state_, accode, "2081/03/01", c.rate));
  }
}

TEST_F(LoanCatalogTest, InstallmentLoanWithInterest) {
  LoanRow row;
  row.Loan = 10000.0;
  row.Payment = 2000.0;
  row.Fixedby = "Kista";
  AddLoan(row);
  // Principal due by 2081/03/15: 1,893 + 1,914.
  state_.OverdueInstallments = 0;
  EXPECT_EQ(3807, loans::CalcLoanDues(state_, 501, "2081/03/15", 12));
  EXPECT_EQ(2, state_.OverdueInstallments);
}

TEST_F(LoanCatalogTest, NullAmountFailsAfterTheTotalsAreRefreshed) {
  LoanRow row = FourInstallments();
  row.Payment = data::Value();
  AddLoan(row);
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 4000});
  state_.PenalDue = 9;
  try {
    loans::CalcLoanDues(state_, 501, "2081/05/01", 0);
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kInvalidUseOfNull, e.number());
  }
  EXPECT_EQ(0, state_.PenalDue);
  EXPECT_EQ(4000, state_.LoanTakenTotal);
}

}  // namespace
