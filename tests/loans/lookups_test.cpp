#include "loans/lookups.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"
#include "tests/loans/loan_catalog.h"

namespace {

using loans_test::LedgerRow;
using loans_test::LoanCatalogTest;
using loans_test::LoanRow;

TEST_F(LoanCatalogTest, TotalsOfAnAccountWithoutLedgerRowsAreZero) {
  state_.LoanPaidTotal = 5;
  state_.LoanTakenTotal = 6;
  loans::GetLoanPaidAndTaken(state_, 501);
  EXPECT_EQ(0, state_.LoanPaidTotal);
  EXPECT_EQ(0, state_.LoanTakenTotal);
  EXPECT_EQ(0, loans::GetAccountBalance(state_, 501));
}

TEST_F(LoanCatalogTest, PaidCoversAllCreditsTakenOnlyLoanAndOpeningRows) {
  AddLedger({.date = "2081/01/01", .status = "Loan", .debit = 10000});
  AddLedger({.date = "2080/12/01", .status = "Journal", .debit = 2500, .vtype = "Opening Balance"});
  AddLedger({.date = "2081/02/01", .status = "LoanR", .debit = 150, .credit = 1000});
  AddLedger({.date = "2081/03/01", .status = "LoanR", .credit = 1200.5});
  AddLedger({.code = 777, .date = "2081/03/01", .status = "Loan", .debit = 99});
  loans::GetLoanPaidAndTaken(state_, 501);
  EXPECT_EQ(2200.5, state_.LoanPaidTotal);
  EXPECT_EQ(12500, state_.LoanTakenTotal);
  EXPECT_EQ(2200.5 - 12650, loans::GetAccountBalance(state_, 501));

  // Credits without any loan row.
  AddLedger({.code = 601, .date = "2081/03/01", .status = "LoanR", .credit = 300});
  loans::GetLoanPaidAndTaken(state_, 601);
  EXPECT_EQ(300, state_.LoanPaidTotal);
  EXPECT_EQ(0, state_.LoanTakenTotal);
}

TEST_F(LoanCatalogTest, InterestRateOfFlatAndOtherLoans) {
  const struct {
    const char* name;
    data::Value calc, swith;
    double want;
  } kCases[] = {
      {"flat, switch 0", "Flat", std::int64_t{0}, 0},
      {"flat, switch Null", "Flat", data::Value(), 0},
      {"flat, switch 1", "Flat", std::int64_t{1}, 14},
      {"flat in small letters", "flat", std::int64_t{0}, 14},
      {"declining", "Declining", std::int64_t{0}, 14},
      {"Null calc", data::Value(), data::Value(), 14},
  };
  std::int32_t accode = 700;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LoanRow row;
    row.accode = ++accode;
    row.Interest = 14.0;
    row.Calc = c.calc;
    row.Swith = c.swith;
    AddLoan(row);
    EXPECT_EQ(c.want, loans::GetLoanInterestRate(state_, accode));
    EXPECT_EQ(c.calc == data::Value("Flat"), loans::IsFlatCalc(state_, accode));
  }
  EXPECT_EQ(0, loans::GetLoanInterestRate(state_, 999));
  EXPECT_FALSE(loans::IsFlatCalc(state_, 999));
}

TEST_F(LoanCatalogTest, NullRateThatIsReturnedFails) {
  LoanRow flat_off;
  flat_off.Interest = data::Value();
  flat_off.Calc = "Flat";
  flat_off.Swith = std::int64_t{0};
  AddLoan(flat_off);
  EXPECT_EQ(0, loans::GetLoanInterestRate(state_, 501));  // not returned, not read

  LoanRow declining;
  declining.accode = 502;
  declining.Interest = data::Value();
  AddLoan(declining);
  try {
    loans::GetLoanInterestRate(state_, 502);
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kInvalidUseOfNull, e.number());
  }
}

TEST_F(LoanCatalogTest, MiFlag) {
  const struct {
    std::int32_t accode;
    data::Value mi;
    bool want;
  } kCases[] = {{801, true, true}, {802, false, false}, {803, data::Value(), false}};
  for (const auto& c : kCases) {
    LoanRow row;
    row.accode = c.accode;
    row.Mi = c.mi;
    AddLoan(row);
  }
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.accode);
    EXPECT_EQ(c.want, loans::GetAmortizationMi(state_, c.accode));
  }
  EXPECT_FALSE(loans::GetAmortizationMi(state_, 999));
}

TEST_F(LoanCatalogTest, LookupValueNoRowNullRowAndZeroKey) {
  AddAccount(501, "Ram Bahadur");
  AddAccount(502, "O'Neil");
  catalog().Exec("Insert Into Acc(ACCODE) Values(503)");
  EXPECT_EQ("Ram Bahadur", loans::LookupValue(state_, "Acc", "Name", "Accode", 501));
  EXPECT_EQ("O'Neil", loans::LookupValue(state_, "Acc", "Name", "Accode", 502));
  EXPECT_EQ(" ", loans::LookupValue(state_, "Acc", "Name", "Accode", 503));
  EXPECT_EQ("", loans::LookupValue(state_, "Acc", "Name", "Accode", 504));
  // Key 0 is answered without a query: a missing table would otherwise fail.
  EXPECT_EQ("N/A", loans::LookupValue(state_, "NoSuchTable", "Name", "Accode", 0));
  EXPECT_THROW(loans::LookupValue(state_, "NoSuchTable", "Name", "Accode", 1), base::AgentError);
}

TEST_F(LoanCatalogTest, SubledgerAndItsLeastRate) {
  AddAccount(501, "Ram", data::Value(), std::int64_t{40});
  AddAccount(502, "Sita");
  catalog().Insert("SubLedger", {{"SubCODE", 40}, {"LLR", 16.5}});
  catalog().Insert("SubLedger", {{"SubCODE", 41}, {"LLR", data::Value()}});
  EXPECT_EQ(40, loans::GetAccountSubcode(state_, 501));
  EXPECT_EQ(0, loans::GetAccountSubcode(state_, 502));  // Null
  EXPECT_EQ(0, loans::GetAccountSubcode(state_, 503));  // no row
  EXPECT_EQ(16.5, loans::GetSubLedgerLLR(state_, 40));
  EXPECT_EQ(0, loans::GetSubLedgerLLR(state_, 42));
  try {
    loans::GetSubLedgerLLR(state_, 41);
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kInvalidUseOfNull, e.number());
  }
}

TEST(LoanState, LookupsWithoutConnectionFail) {
  loans::LoanState state;
  EXPECT_THROW(loans::GetAccountBalance(state, 1), base::AgentError);
}

}  // namespace
