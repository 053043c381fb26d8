#include "loans/loan_settings.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"
#include "tests/loans/loan_catalog.h"

namespace {

using loans_test::LoanCatalogTest;

TEST_F(LoanCatalogTest, SettingsAreReadWithTheirNullReplacements) {
  catalog().Insert("OtherSetting", {{"SN", 1},
                                    {"p1", 12.0},
                                    {"p2", data::Value()},
                                    {"p3", 18.5},
                                    {"Basis", data::Value()},
                                    {"IR1", 1.0},
                                    {"IR2", 2.0},
                                    {"IR3", 3.0},
                                    {"Ag1", 4.0},
                                    {"Ag2", data::Value()},
                                    {"Ag3", 6.0},
                                    {"AD1", 30.0},
                                    {"AD2", 90.0},
                                    {"MonthlyDue", true},
                                    {"InsDue", data::Value()},
                                    {"PLOn", 2},
                                    {"MiStatus", data::Value()},
                                    {"MIGrace", 2.5},
                                    {"PLGrace", data::Value()},
                                    {"Lperiod", 365},
                                    {"PFrom", 1},
                                    {"MI1", 7.0},
                                    {"MI2", data::Value()},
                                    {"MI3", 9.0}});
  state_.settings.PLGrace = 9;  // a Null overwrites the previous load's value
  loans::LoadLoanSettings(state_);
  const loans::LoanSettings& s = state_.settings;
  EXPECT_EQ(12, s.p1);
  EXPECT_EQ(0, s.p2);
  EXPECT_EQ(18.5, s.p3);
  EXPECT_EQ("Installment", s.Basis);
  EXPECT_EQ(1, s.ir1);
  EXPECT_EQ(2, s.ir2);
  EXPECT_EQ(3, s.ir3);
  EXPECT_EQ(4, s.Ag1);
  EXPECT_EQ(0, s.Ag2);
  EXPECT_EQ(6, s.Ag3);
  EXPECT_EQ(30, s.AD1);
  EXPECT_EQ(90, s.AD2);
  EXPECT_TRUE(s.MonthlyDue);
  EXPECT_FALSE(s.InsDue);
  EXPECT_EQ(2, s.PLOn);
  EXPECT_EQ("Interest", s.MiStatus);
  EXPECT_EQ(2, s.MIGrace);  // 2.5 goes to the even 2
  EXPECT_EQ(0, s.PLGrace);
  EXPECT_EQ(365, s.LPeriod);
  EXPECT_EQ(1, s.PFrom);
  EXPECT_EQ(7, s.MI1);
  EXPECT_EQ(0, s.MI2);
  EXPECT_EQ(9, s.MI3);
}

TEST_F(LoanCatalogTest, UnsetLoanYearIs360) {
  const data::Value kCases[] = {data::Value(0), data::Value()};
  for (const data::Value& lperiod : kCases) {
    SCOPED_TRACE(lperiod.IsNull() ? "Null" : "0");
    catalog().Exec("Delete From OtherSetting");
    catalog().Insert("OtherSetting", {{"SN", 1}, {"Lperiod", lperiod}});
    state_.settings.LPeriod = 365;
    loans::LoadLoanSettings(state_);
    EXPECT_EQ(360, state_.settings.LPeriod);
  }
}

TEST_F(LoanCatalogTest, EmptySettingsTableKeepsThePreviousLoad) {
  loans::LoanState fresh;
  fresh.MainConnection = state_.MainConnection;
  fresh.settings.p1 = 5;
  fresh.settings.Basis = "Installment";
  loans::LoadLoanSettings(fresh);
  EXPECT_EQ(0, fresh.settings.p1);
  EXPECT_EQ("", fresh.settings.Basis);
  EXPECT_EQ(360, fresh.settings.LPeriod);

  fresh.settings.Ag1 = 4;
  fresh.settings.LPeriod = 365;
  fresh.settings.MiStatus = "Principal";
  loans::LoadLoanSettings(fresh);
  EXPECT_EQ(4, fresh.settings.Ag1);
  EXPECT_EQ(365, fresh.settings.LPeriod);
  EXPECT_EQ("Principal", fresh.settings.MiStatus);
}

TEST_F(LoanCatalogTest, RowWithNullFirstColumnIsNotRead) {
  catalog().Insert("OtherSetting", {{"SN", data::Value()}, {"p1", 12.0}, {"Ag1", 3.0}});
  state_.settings.p1 = 7;
  loans::LoadLoanSettings(state_);
  EXPECT_EQ(0, state_.settings.p1);
  EXPECT_EQ(0, state_.settings.Ag1);
}

TEST_F(LoanCatalogTest, FailedSettingsReadKeepsWhatWasRead) {
  catalog().Insert("OtherSetting", {{"SN", 1}, {"p1", 12.0}, {"PLOn", 40000}, {"Lperiod", 365}});
  state_.settings.LPeriod = 300;
  try {
    loans::LoadLoanSettings(state_);
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kOverflow, e.number());  // PLOn is a 16-bit setting
  }
  EXPECT_EQ(12, state_.settings.p1);
  EXPECT_EQ(300, state_.settings.LPeriod);
}

}  // namespace
