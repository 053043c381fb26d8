#include "loans/paid_upto.h"

#include <gtest/gtest.h>

#include <sstream>

#include "schema/agent_indexes.h"
#include "tests/loans/loan_catalog.h"

namespace {

using loans_test::LedgerRow;
using loans_test::LoanCatalogTest;

constexpr std::int32_t kInterestIncome = 90;

// On a catalog with the accounting application's key on Acc(ACCODE) and the agent's indexes,
// through which the loan rows of an account come latest first without sorting them all.
class PaidUptoTest : public LoanCatalogTest {
 protected:
  static void SetUpTestSuite() {
    LoanCatalogTest::SetUpTestSuite();
    catalog().Exec("Create Unique Index Acc_ACCODE On Acc(ACCODE)");
    std::ostringstream log;
    schema::CreateAgentIndexes(*connection_, log);
    ASSERT_EQ("", log.str());
  }

  void SetUp() override {
    LoanCatalogTest::SetUp();
    AddAccount(501, "Ram Bahadur", "RB");
    AddAccount(kInterestIncome, "Interest from Loan A/C");
  }
};

TEST_F(PaidUptoTest, LaterPaidUptoOnAnyLedgerRowWins) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 10000});
  AddLedger({.date = "2081/04/02", .status = "LoanR", .credit = 1000, .paid_upto = "2081/03/30"});
  // An interest receipt (not a loan status) carries the later date.
  AddLedger({.date = "2081/03/20", .status = "Receipt", .credit = 300, .paid_upto = "2081/05/15"});
  EXPECT_EQ("2081/04/02", loans::GetInterestPaidUpto(state_, 501));
  EXPECT_EQ("2081/05/15", state_.InterestPaidUpto);
}

TEST_F(PaidUptoTest, NothingPaidAnywhere) {
  // Loan rows without amounts, and no row of the interest-income account.
  AddLedger({.date = "2081/01/01", .status = "Loan"});
  AddLedger({.date = "2081/02/01", .status = "LoanR"});
  state_.InterestPaidUpto = "2080/01/01";
  EXPECT_EQ("0000/00/00", loans::GetInterestPaidUpto(state_, 501));
  EXPECT_EQ("0000/00/00", state_.InterestPaidUpto);

  // An account without any ledger row.
  EXPECT_EQ("0000/00/00", loans::GetInterestPaidUpto(state_, 502));
  EXPECT_EQ("0000/00/00", state_.InterestPaidUpto);
}

TEST_F(PaidUptoTest, WithoutLoanDatesTheWholeLedgerIsAsked) {
  // The loan rows carry no paid-up-to date: the walk ends on the earliest loan row, and
  // the greatest PaidUpto of the account and the interest-income account then gives both
  // values.
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 10000});
  AddLedger({.date = "2081/02/01", .status = "LoanR", .credit = 500});
  AddLedger({.code = kInterestIncome,
             .date = "2081/02/01",
             .status = "Journal",
             .credit = 120,
             .paid_upto = "2081/01/31"});
  EXPECT_EQ("2081/01/31", loans::GetInterestPaidUpto(state_, 501));
  EXPECT_EQ("2081/01/31", state_.InterestPaidUpto);
}

TEST_F(PaidUptoTest, AccountWithoutLoanRowsTakesTheLedgerRowDate) {
  AddLedger({.date = "2081/06/05", .status = "Receipt", .credit = 200, .paid_upto = "2081/06/01"});
  EXPECT_EQ("2081/06/05", loans::GetInterestPaidUpto(state_, 501));
  EXPECT_EQ("2081/06/01", state_.InterestPaidUpto);
}

TEST_F(PaidUptoTest, NullDatesReadAsNoDate) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 10000, .paid_upto = data::Value()});
  catalog().Exec(
      "Insert Into Master(CODE,Date,Status,Vtype,PaidUpto,Debit,Credit,Index_Rec) "
      "Values(501,Null,'LoanR','Journal','2081/02/15',0,700,77)");
  // The row without a date sorts last in the descending date order; the latest row's
  // PaidUpto is Null, and the account's greatest PaidUpto is 2081/02/15.
  EXPECT_EQ("2081/01/01", loans::GetInterestPaidUpto(state_, 501));
  EXPECT_EQ("2081/02/15", state_.InterestPaidUpto);
}

TEST_F(PaidUptoTest, RowsOfOneDateComeInRecordNumberOrder) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 10000});
  AddLedger({.date = "2081/04/02", .status = "LoanR", .credit = 100, .paid_upto = "2081/03/30"});
  AddLedger({.date = "2081/04/02", .status = "LoanR", .credit = 50});
  AddLedger({.date = "2081/04/03", .status = "LoanR", .credit = 70, .paid_upto = "2081/04/01"});
  catalog().Exec("Update Master Set Date=Null Where Index_Rec=4");  // sorts last
  catalog().Exec("Update Master Set Index_Rec=Null Where Index_Rec In(3,4)");
  AddLedger({.code = kInterestIncome,
             .date = "2081/05/02",
             .status = "Journal",
             .credit = 120,
             .paid_upto = "2081/05/01"});
  // Of the two rows of the latest date, the one without a record number comes first: the
  // loan rows count as having none, and both dates come from the greatest PaidUpto of the
  // account and the interest-income account.
  EXPECT_EQ("2081/05/02", loans::GetInterestPaidUpto(state_, 501));
  EXPECT_EQ("2081/05/01", state_.InterestPaidUpto);
}

TEST_F(PaidUptoTest, LastPaidUpto) {
  EXPECT_EQ("", loans::GetLastPaidUpto(state_, 501));
  AddLedger({.date = "2081/01/01", .paid_upto = "2081/01/30"});
  AddLedger({.date = "2081/03/01", .paid_upto = "2081/02/28"});
  AddLedger({.date = "2081/02/01", .paid_upto = "0000/00/00"});
  EXPECT_EQ("2081/02/28", loans::GetLastPaidUpto(state_, 501));
}

TEST_F(PaidUptoTest, AccountCodeByNameOrNameAndAlias) {
  AddAccount(502, "O'Neil");
  const struct {
    const char* name;
    std::int32_t want;
  } kCases[] = {
      {"Ram Bahadur", 501},
      {"Ram Bahadur \xC6\x92 RB", 501},  // name, blank, separator, blank, alias
      {"Ram Bahadur \xC6\x92 XX", 0},
      {"O'Neil", 502},  // the quote is doubled in the statement
      {"Nobody", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.want, loans::LookupAccountCode(state_, c.name, "Acc", "Accode"));
  }
}

}  // namespace
