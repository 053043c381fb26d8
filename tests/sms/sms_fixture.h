#ifndef MAV_TESTS_SMS_SMS_FIXTURE_H_
#define MAV_TESTS_SMS_SMS_FIXTURE_H_

// A current-schema accounting catalog with one loan account, the loan and SMS state wired to
// it, and helpers for the SMS gateways' databases.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/value.h"
#include "loans/loan_settings.h"
#include "loans/loan_state.h"
#include "sms/sms_state.h"
#include "tests/support/test_catalog.h"

namespace sms_test {

// The AD date "yyyy/mm/dd" of a BS date, found by walking AD days (2000 to 2045 AD).
inline std::string AdDateOf(const std::string& bs) {
  using namespace std::chrono;
  for (sys_days d = sys_days(year{2000} / 1 / 1); d < sys_days(year{2045} / 1 / 1); d += days{1}) {
    const year_month_day ymd(d);
    if (calendar::AdToBs(ymd) == bs) {
      char text[16];
      std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(ymd.year()),
                    static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
      return text;
    }
  }
  ADD_FAILURE() << "no AD date for " << bs;
  return "";
}

// Days from one BS date to another.
inline std::int32_t Days(std::string from, std::string to) {
  return calendar::BsDaysBetween(from, to);
}

// A local civil time as an instant (for the outbox's date and time).
inline std::chrono::system_clock::time_point LocalTime(int year, int month, int day, int hour,
                                                       int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

// The loan settings of OtherSetting used unless a test changes them: penal 10% on the
// outstanding principal with no grace, rate increments 1/2/3, no month or installment rule.
struct Settings {
  double p = 10;
  double ir1 = 1, ir2 = 2, ir3 = 3;
  bool monthly_due = false, ins_due = false;
  int mi_grace = 0, pl_grace = 0;
  int lperiod = 360;
  int pl_on = 1;  // penal base: 0 the interest due of the previous reply, 1 the outstanding
};

class SmsFixture : public ::testing::Test {
 protected:
  SmsFixture() : catalog_(dir_.path(), "MavData2075", test_support::CatalogLevel::kCurrent) {
    loans_.MainConnection = &catalog_.connection();
    context_.MainConnection = &catalog_.connection();
    context_.DbName = catalog_.name();
    context_.CurFyear = 1;
    context_.loans = &loans_;
    context_.sms = &sms_;
    context_.GeTCurYear = [this](const std::string& bs) -> std::int32_t {
      const data::Value sn =
          catalog_.Scalar("Select SN from YearSetting where Dfrom<=" + data::SqlText(bs) +
                          " and Dto>=" + data::SqlText(bs));
      return sn.IsNull() ? 0 : sn.AsInt32();
    };
    context_.now = [] { return LocalTime(2025, 3, 15, 14, 5, 9); };
    context_.clock = [this] { return clock_; };
    context_.report_error = [this](const base::AgentError& e) { errors_.push_back(e); };
    context_.notice = [this](const std::string& line) { notices_.push_back(line); };
  }

  // Moves the test's monotonic clock (retry delays) on.
  void Advance(std::chrono::steady_clock::duration by) { clock_ += by; }

  void SetUp() override {
    SetLoanSettings(Settings());
    catalog_.Insert("SubLedger", {{"LCODE", 1}, {"SubCODE", 7}, {"Name", "Loans"}, {"LLR", 30.0}});
  }

  void SetLoanSettings(const Settings& s) {
    catalog_.Exec("Delete from OtherSetting");
    catalog_.Insert("OtherSetting", {{"SN", 1},
                                     {"p1", s.p},
                                     {"p2", s.p},
                                     {"p3", s.p},
                                     {"IR1", s.ir1},
                                     {"IR2", s.ir2},
                                     {"IR3", s.ir3},
                                     {"AD1", 0.0},
                                     {"AD2", 0.0},
                                     {"Ag1", 0.0},
                                     {"Ag2", 0.0},
                                     {"Ag3", 0.0},
                                     {"MonthlyDue", s.monthly_due},
                                     {"InsDue", s.ins_due},
                                     {"PLOn", s.pl_on},
                                     {"MIGrace", static_cast<double>(s.mi_grace)},
                                     {"PLGrace", static_cast<double>(s.pl_grace)},
                                     {"LPeriod", s.lperiod},
                                     {"PFrom", 0}});
    loans::LoadLoanSettings(loans_);
  }

  // The two loans most SMS tests ask about, both partly repaid on 2081/03/01: 101 under a
  // plain name, 303 under a name with a quote. Returns the AD date they are asked about
  // (2081/04/25).
  std::string AddTwoLoans() {
    AddLoan(101, "Ram Bahadur Thapa", 2990, "2081/03/01", "2081/03/01");
    AddLoan(303, "Ram's Shop", 1500, "2081/03/01", "2081/03/01");
    return AdDateOf("2081/04/25");
  }

  // A monthly fixed-principal loan of `loan` lent on 2081/01/01 with 1,000 repaid on the
  // first of every month from 2081/02/01; `paid` repaid on `paid_date`, interest paid up to
  // `paid_upto` (no repayment row when `paid` is 0).
  void AddLoan(std::int32_t accode, const std::string& name, double paid,
               const std::string& paid_date, const std::string& paid_upto,
               const std::string& calc = "Normal", bool mi = false, double loan = 12000) {
    catalog_.Insert("Acc", {{"ACCODE", accode}, {"subCode", 7}, {"Name", name}});
    catalog_.Insert("Amortization", {{"Accode", accode},
                                     {"Loan", loan},
                                     {"Interest", 12.0},
                                     {"Nop", 1},
                                     {"Period", 12.0},
                                     {"Tdate", "2081/01/01"},
                                     {"Tfrom", "2081/02/01"},
                                     {"Payment", loan / 12},
                                     {"LoanType", "Monthly"},
                                     {"Fixedby", "Principal"},
                                     {"Calc", calc},
                                     {"Swith", 1},
                                     {"Mi", mi}});
    catalog_.Insert("Master", {{"Index_Rec", next_index_++},
                               {"CODE", accode},
                               {"VOUCHER_NO", 1},
                               {"Fyear", 1},
                               {"Date", "2081/01/01"},
                               {"Status", "Loan"},
                               {"Vtype", "Payment"},
                               {"PaidUpto", "0000/00/00"},
                               {"Debit", loan},
                               {"Credit", 0.0}});
    if (paid != 0) {
      catalog_.Insert("Master", {{"Index_Rec", next_index_++},
                                 {"CODE", accode},
                                 {"VOUCHER_NO", 2},
                                 {"Fyear", 1},
                                 {"Date", paid_date},
                                 {"Status", "LoanR"},
                                 {"Vtype", "Receipt"},
                                 {"PaidUpto", paid_upto},
                                 {"Debit", 0.0},
                                 {"Credit", paid}});
    }
  }

  // An SQLite-format outbox file with the gateway's Send table.
  std::filesystem::path MakeOutbox(const std::string& file_name = "SMSData.mdb") {
    const std::filesystem::path folder = dir_.path() / "gateway";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / file_name;
    auto outbox = data::OpenSqliteFile(file, true);
    outbox->Execute(
        "Create Table Send(SN Int,Mobile Varchar(30),Msg Varchar(255),[Date] Varchar(10),"
        "[Time] Varchar(10))");
    return file;
  }

  // The SIM gateway's settings row naming `file`.
  void UseSimGateway(const std::filesystem::path& file) {
    catalog_.Exec("Delete from SMSDatabase");
    catalog_.Insert("SMSDatabase", {{"SN", 1},
                                    {"Database", file.string()},
                                    {"Password", "x"},
                                    {"dType", "SIM"},
                                    {"Customer_ID", 0}});
  }

  // The internet service's catalog (an embedded catalog beside the accounting one) with the
  // DATABASE_SETTING row of this catalog, and the settings row naming it.
  void UseInternetGateway(std::int32_t customer, const data::Value& send_by) {
    if (!service_) {
      service_ = std::make_unique<test_support::TestCatalog>(dir_.path(), "SmsGate");
      service_->Exec(
          "Create Table DATABASE_SETTING(DATABASE_NAME Varchar(100),Customer_ID Int,"
          "Send_By Varchar(100))");
    }
    service_->Insert(
        "DATABASE_SETTING",
        {{"DATABASE_NAME", catalog_.name()}, {"Customer_ID", customer}, {"Send_By", send_by}});
    catalog_.Exec("Delete from SMSDatabase");
    catalog_.Insert("SMSDatabase", {{"SN", 1},
                                    {"Database", "SmsGate"},
                                    {"Password", ""},
                                    {"Server", dir_.path().string()},
                                    {"DBUser", "sa"},
                                    {"dType", "INTERNET"},
                                    {"Customer_ID", customer}});
  }

  test_support::TempDir dir_;
  test_support::TestCatalog catalog_;
  std::unique_ptr<test_support::TestCatalog> service_;
  loans::LoanState loans_;
  sms::SmsState sms_;
  sms::SmsContext context_;
  std::vector<base::AgentError> errors_;
  std::vector<std::string> notices_;
  std::chrono::steady_clock::time_point clock_{};
  int next_index_ = 1;
};

}  // namespace sms_test

#endif  // MAV_TESTS_SMS_SMS_FIXTURE_H_
