#include "loans/balance_ageing.h"

#include <gtest/gtest.h>

#include "tests/loans/loan_catalog.h"

namespace {

using loans_test::LedgerRow;
using loans_test::LoanCatalogTest;

constexpr char kAsOf[] = "2081/04/10";

// 36.5 percent a year of 365 days: 0.1 percent a day, 10 a day on 10,000.
class AgeingTest : public LoanCatalogTest {
 protected:
  void SetUp() override {
    LoanCatalogTest::SetUp();
    state_.settings.LPeriod = 365;
  }

  // A loan of 10,000 paid out on `date`; the disbursement row is paid up to its own date.
  void Disburse(const std::string& date) {
    AddLedger({.date = date, .status = "Loan", .debit = 10000, .paid_upto = date});
  }
};

TEST_F(AgeingTest, NoDatesNoRow) {
  state_.InterestDays = 42;
  data::RecordSet ageing = loans::BuildBalanceAgeing(state_, 501, kAsOf, 36.5);
  ASSERT_EQ(5, ageing.FieldCount());
  const char* const kFields[] = {"Date", "Current Balance", "Ageing Days", "Days", "Interest"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(kFields[i], ageing.FieldName(i));
  EXPECT_EQ(0, ageing.RecordCount());
  EXPECT_EQ(0, loans::GetAgeingInterest(state_, 501, kAsOf, 36.5));
  EXPECT_EQ(42, state_.InterestDays);
}

TEST_F(AgeingTest, NeverPaidCountsTheLoanDay) {
  const struct {
    const char* loan_date;
    const char* as_of;
    double days;
  } kCases[] = {
      {"2081/04/10", "2081/04/10", 1},  // taken on the as-of date
      {"2081/04/01", "2081/04/10", 10},
      {"2081/04/15", "2081/04/10", 6},  // the request precedes the loan
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.loan_date);
    catalog().Exec("Delete From Master");
    Disburse(c.loan_date);
    const std::string as_of = c.as_of;
    data::RecordSet ageing = loans::BuildBalanceAgeing(state_, 501, as_of, 36.5);
    EXPECT_EQ(c.as_of, as_of);
    ASSERT_EQ(1, ageing.RecordCount());
    EXPECT_EQ(c.loan_date, ageing.Field("Date").AsText());
    EXPECT_EQ(c.days, ageing.Field("Days").AsDouble());
    EXPECT_EQ(c.days, state_.InterestDays);
    EXPECT_EQ(10 * c.days, ageing.Field("Interest").AsDouble());
    EXPECT_EQ(10 * c.days, loans::GetAgeingInterest(state_, 501, as_of, 36.5));
  }
}

TEST_F(AgeingTest, FromTheDayAfterThePaidUptoDate) {
  Disburse("2081/01/01");
  AddLedger({.date = "2081/04/09", .status = "LoanR", .credit = 2000, .paid_upto = "2081/04/09"});
  data::RecordSet ageing = loans::BuildBalanceAgeing(state_, 501, kAsOf, 12);
  ASSERT_EQ(1, ageing.RecordCount());
  EXPECT_EQ("2081/04/10", ageing.Field("Date").AsText());
  EXPECT_EQ("-8000", ageing.Field("Current Balance").AsText());
  EXPECT_EQ(-8000, ageing.Field("Ageing Days").AsDouble());
  EXPECT_EQ(1, ageing.Field("Days").AsDouble());
  // 8,000 x 12% for one day of 365, all decimals kept.
  EXPECT_NEAR(2.6301369863, ageing.Field("Interest").AsDouble(), 1e-9);
}

TEST_F(AgeingTest, PaidUpToTheAsOfDateOrBeyond) {
  Disburse("2081/01/01");
  for (const char* paid : {kAsOf, "2081/04/20"}) {
    SCOPED_TRACE(paid);
    catalog().Exec("Delete From Master Where Status='LoanR'");
    AddLedger({.date = "2081/04/01", .status = "LoanR", .credit = 500, .paid_upto = paid});
    state_.InterestDays = 42;
    data::RecordSet ageing = loans::BuildBalanceAgeing(state_, 501, kAsOf, 36.5);
    ASSERT_EQ(1, ageing.RecordCount());
    EXPECT_EQ(0, ageing.Field("Days").AsDouble());
    EXPECT_EQ(0, ageing.Field("Interest").AsDouble());
    EXPECT_EQ(42, state_.InterestDays);
  }
}

TEST_F(AgeingTest, InterestOnTheSizeOfTheBalance) {
  AddLedger({.date = "2081/04/01", .status = "Loan", .credit = 10000, .paid_upto = "2081/04/01"});
  EXPECT_EQ(100, loans::GetAgeingInterest(state_, 501, kAsOf, 36.5));  // 10 days, credit
  data::RecordSet ageing = loans::BuildBalanceAgeing(state_, 501, kAsOf, 0);
  ASSERT_EQ(1, ageing.RecordCount());
  EXPECT_EQ(10, ageing.Field("Days").AsDouble());
  EXPECT_EQ(0, ageing.Field("Interest").AsDouble());
}

}  // namespace
