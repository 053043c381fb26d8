#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/drivers.h"
#include "sms/reply_messages.h"
#include "sms/sms_service.h"
#include "tests/sms/sms_fixture.h"

namespace sms_test {
namespace {

TEST(MobileNumberText, DigitsWithOptionalPlus) {
  const struct {
    data::Value mobile;
    const char* want;  // nullptr: not a number
  } kCases[] = {
      {"9841000001", "9841000001"},
      {"+9779841000002", "9779841000002"},
      {" 9841000003 ", "9841000003"},
      {"09841", "9841"},
      {"000", "0"},
      {"123456789012345", "123456789012345"},
      {"1234567890123456", nullptr},  // more digits than a number keeps
      {"98410 00001", nullptr},
      {"98-41", nullptr},
      {"+", nullptr},
      {"++9841", nullptr},
      {"9841+", nullptr},
      {"", nullptr},
      {"1e5", nullptr},
      {"9841); Delete from Send; --", nullptr},
      {std::int64_t{9841000004}, "9841000004"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mobile.AsText());
    if (c.want == nullptr) {
      EXPECT_THROW(sms::MobileNumberText(c.mobile), base::AgentError);
    } else {
      EXPECT_EQ(c.want, sms::MobileNumberText(c.mobile));
    }
  }
  EXPECT_THROW(sms::MobileNumberText(data::Value()), base::AgentError);
}

TEST(OutboxDateTime, LocalTimeInFixedWidth) {
  EXPECT_EQ("03/05/2025", sms::OutboxDate(LocalTime(2025, 3, 5, 7, 8, 9)));
  EXPECT_EQ("07:08:09", sms::OutboxTime(LocalTime(2025, 3, 5, 7, 8, 9)));
  EXPECT_EQ("12/31/2024", sms::OutboxDate(LocalTime(2024, 12, 31, 23, 59, 59)));
  EXPECT_EQ("23:59:59", sms::OutboxTime(LocalTime(2024, 12, 31, 23, 59, 59)));
  EXPECT_EQ("00:00:00", sms::OutboxTime(LocalTime(2025, 1, 1, 0, 0, 0)));
}

class NextSerialTest : public SmsFixture {};

TEST_F(NextSerialTest, LargestPlusOne) {
  auto outbox = data::OpenSqliteFile(MakeOutbox(), false);
  EXPECT_EQ(1, sms::NextSerial(*outbox, "Send", "SN"));
  outbox->Execute("Insert into Send(SN,Msg) values(Null,'a')");
  EXPECT_EQ(1, sms::NextSerial(*outbox, "Send", "SN"));
  outbox->Execute("Insert into Send(SN,Msg) values(41,'b')");
  outbox->Execute("Insert into Send(SN,Msg) values(7,'c')");
  EXPECT_EQ(42, sms::NextSerial(*outbox, "Send", "SN"));
  outbox->Execute("Insert into Send(SN,Msg) values(99.0,'d')");
  EXPECT_EQ(100, sms::NextSerial(*outbox, "Send", "SN"));
  outbox->Execute("Insert into Send(SN,Msg) values(2147483647,'e')");
  EXPECT_THROW(sms::NextSerial(*outbox, "Send", "SN"), base::AgentError);
  EXPECT_THROW(sms::NextSerial(*outbox, "NoSuchTable", "SN"), base::AgentError);
}

class CheckSmsTest : public SmsFixture {
 protected:
  void SetUp() override {
    SmsFixture::SetUp();
    request_date_ = AddTwoLoans();
  }

  void AddLoanSms(int sn, const data::Value& accode, const data::Value& mobile,
                  const data::Value& date, const data::Value& reply) {
    catalog_.Insert("LoanSMS", {{"SN", sn},
                                {"Accode", accode},
                                {"Mobile", mobile},
                                {"Date", date},
                                {"Receive", "LOAN"},
                                {"Reply", reply}});
  }

  void AddStatementRequest(int sn, const data::Value& accode, const data::Value& date,
                           const data::Value& reply = data::Value()) {
    catalog_.Insert("LoanStatement", {{"SN", sn},
                                      {"Accode", accode},
                                      {"Date", date},
                                      {"Mobile", "9841000009"},
                                      {"Request", "LOAN"},
                                      {"Message_Reply", reply}});
  }

  // The texts the composers give for the test's request date.
  std::string Report(std::int32_t accode) {
    std::string date = request_date_;
    return sms::ComposeReportSMS(loans_, sms_, accode, date);
  }
  std::string Statement(std::int32_t accode) {
    std::string date = request_date_;
    return sms::ComposeLoanSMS(loans_, accode, date);
  }

  // Opens the SIM outbox through the settings row.
  std::unique_ptr<data::Connection> OpenSimGateway() {
    const auto file = MakeOutbox();
    UseSimGateway(file);
    sms::SetSMSDatabase(context_);
    EXPECT_TRUE(sms_.SMSLocalReady);
    return data::OpenSqliteFile(file, false);
  }

  data::Value Scalar(const std::string& sql) { return catalog_.Scalar(sql); }

  std::string request_date_;
};

TEST_F(CheckSmsTest, SimRequestsAreQueuedInTheOutbox) {
  auto outbox = OpenSimGateway();
  outbox->Execute("Insert into Send(SN,Mobile,Msg) values(41,'9800000000','earlier')");
  AddLoanSms(1, 101, "9841000001", request_date_, 0);
  AddLoanSms(2, 303, "+9779841000002", request_date_, 5);
  AddLoanSms(3, 101, "9841000003", request_date_, data::Value());  // Null: not selected
  AddLoanSms(4, 101, "9841000004", request_date_, 1);              // answered before
  context_.CurFyear = 6;

  sms::CheckSMS(context_);
  EXPECT_TRUE(errors_.empty());

  const std::string report_101 = Report(101);
  const std::string report_303 = Report(303);
  ASSERT_EQ(0u, report_101.find("DEAR RAM (101)\r\n"));
  ASSERT_EQ(0u, report_303.find("DEAR RAM'S (303)\r\n"));

  const data::QueryResult sent =
      outbox->Query("Select SN,Mobile,Msg,[Date],[Time] from Send order by SN");
  ASSERT_EQ(3u, sent.rows.size());
  EXPECT_EQ(data::Value(42), sent.rows[1][0]);
  EXPECT_EQ("9841000001", sent.rows[1][1].AsText());
  EXPECT_EQ(report_101, sent.rows[1][2].AsText());
  EXPECT_EQ("03/15/2025", sent.rows[1][3].AsText());
  EXPECT_EQ("14:05:09", sent.rows[1][4].AsText());
  EXPECT_EQ(data::Value(43), sent.rows[2][0]);
  EXPECT_EQ("9779841000002", sent.rows[2][1].AsText());
  EXPECT_EQ(report_303, sent.rows[2][2].AsText());

  EXPECT_EQ(report_101, Scalar("Select [Send] from LoanSMS where SN=1").AsText());
  EXPECT_EQ(report_303, Scalar("Select [Send] from LoanSMS where SN=2").AsText());
  EXPECT_EQ(data::Value(6), Scalar("Select Fyear from LoanSMS where SN=2"));
  EXPECT_EQ(data::Value(1), Scalar("Select Reply from LoanSMS where SN=2"));
  EXPECT_TRUE(Scalar("Select Reply from LoanSMS where SN=3").IsNull());
  EXPECT_TRUE(Scalar("Select [Send] from LoanSMS where SN=4").IsNull());

  EXPECT_EQ(2, sms_.activity.sim_answered);
  EXPECT_EQ(2, sms_.activity.messages_queued);

  // Nothing is pending any more: a second pass queues nothing.
  sms::CheckSMS(context_);
  EXPECT_EQ(data::Value(3), outbox->Query("Select count(*) from Send").rows[0][0]);
  EXPECT_EQ(2, sms_.activity.sim_answered);
}

TEST_F(CheckSmsTest, InternetRequestsAreAnsweredInPlace) {
  UseInternetGateway(77, "MAV COOP");
  sms_.SMSCustomerID = sms::GetSMSCustomerID(catalog_.connection());
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSServerReady);
  auto add = [&](int sn, const data::Value& customer, const data::Value& reply) {
    catalog_.Insert("SMSService", {{"SN", sn},
                                   {"Date", request_date_},
                                   {"Customer_ID", customer},
                                   {"Mobile", "9841000001"},
                                   {"Request", "BAL"},
                                   {"Reply", reply}});
  };
  add(1, 101, data::Value());
  add(2, 303, "");  // an empty reply counts as answered
  add(3, 303, data::Value());

  sms::CheckSMS(context_);
  EXPECT_TRUE(errors_.empty());
  const std::string report_101 = Report(101);
  EXPECT_EQ("\r\n-MAV COOP", report_101.substr(report_101.size() - 11));
  EXPECT_EQ(report_101, Scalar("Select Reply from SMSService where SN=1").AsText());
  EXPECT_EQ(data::Value(""), Scalar("Select Reply from SMSService where SN=2"));
  EXPECT_EQ(Report(303), Scalar("Select Reply from SMSService where SN=3").AsText());
  EXPECT_EQ(2, sms_.activity.internet_answered);
}

TEST_F(CheckSmsTest, LoanStatementsAreAnsweredPerAccount) {
  AddStatementRequest(1, 101, request_date_);
  AddStatementRequest(1, 303, request_date_);  // the same serial for another account
  AddStatementRequest(2, 101, request_date_, "");
  AddStatementRequest(3, 101, request_date_, "answered");

  sms::CheckSMS(context_);
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(Statement(101),
            Scalar("Select Message_Reply from LoanStatement where SN=1 and Accode=101").AsText());
  EXPECT_EQ(Statement(303),
            Scalar("Select Message_Reply from LoanStatement where SN=1 and Accode=303").AsText());
  EXPECT_EQ(data::Value(""), Scalar("Select Message_Reply from LoanStatement where SN=2"));
  EXPECT_EQ(data::Value("answered"), Scalar("Select Message_Reply from LoanStatement where SN=3"));
  EXPECT_EQ(2, sms_.activity.statements_answered);
}

// A NUL stored in a member's name would cut the reply's UPDATE short on every pass.
TEST_F(CheckSmsTest, NulInAStoredNameIsLeftOutOfTheReply) {
  AddLoan(505, "Sita", 1500, "2081/03/01", "2081/03/01");
  catalog_.Exec("Update Acc set Name='Sita' || char(0) || ' Devi' where ACCODE=505");
  ASSERT_EQ(std::string("Sita\0 Devi", 10),
            Scalar("Select Name from Acc where ACCODE=505").AsText());
  AddStatementRequest(1, 505, request_date_);
  sms::CheckSMS(context_);
  EXPECT_TRUE(errors_.empty());
  std::string want = Statement(505);
  std::erase(want, '\0');
  EXPECT_NE(std::string::npos, want.find("Sita"));
  EXPECT_EQ(want, Scalar("Select Message_Reply from LoanStatement where SN=1").AsText());
}

TEST_F(CheckSmsTest, StagesByReadyFlags) {
  auto outbox = OpenSimGateway();
  AddLoanSms(1, 101, "9841000001", request_date_, 0);
  catalog_.Insert(
      "SMSService",
      {{"SN", 1}, {"Date", request_date_}, {"Customer_ID", 101}, {"Reply", data::Value()}});
  AddStatementRequest(1, 101, request_date_);

  // Neither gateway: only the statements.
  sms_.SMSLocalReady = false;
  sms_.SMSServerReady = false;
  sms::CheckSMS(context_);
  EXPECT_EQ(data::Value(0), Scalar("Select Reply from LoanSMS where SN=1"));
  EXPECT_TRUE(Scalar("Select Reply from SMSService where SN=1").IsNull());
  EXPECT_FALSE(Scalar("Select Message_Reply from LoanStatement where SN=1").IsNull());

  // Both: the SIM stage only.
  sms_.SMSLocalReady = true;
  sms_.SMSServerReady = true;
  sms::CheckSMS(context_);
  EXPECT_EQ(data::Value(1), Scalar("Select Reply from LoanSMS where SN=1"));
  EXPECT_TRUE(Scalar("Select Reply from SMSService where SN=1").IsNull());
  EXPECT_TRUE(errors_.empty());
}

// The SIM and internet stages load the loan settings afresh; the statements use whatever
// was loaded last.
TEST_F(CheckSmsTest, SettingsAreReloadedByTheGatewayStagesOnly) {
  auto outbox = OpenSimGateway();
  sms_.SMSLocalReady = false;
  const std::string before_365 = Statement(101);
  catalog_.Exec("Update OtherSetting set LPeriod=365");
  AddStatementRequest(1, 101, request_date_);
  sms::CheckSMS(context_);
  EXPECT_EQ(before_365, Scalar("Select Message_Reply from LoanStatement where SN=1").AsText());
  EXPECT_EQ(360, loans_.settings.LPeriod);

  sms_.SMSLocalReady = true;
  AddLoanSms(1, 101, "9841000001", request_date_, 0);
  AddStatementRequest(2, 101, request_date_);
  sms::CheckSMS(context_);
  ASSERT_EQ(365, loans_.settings.LPeriod);
  const std::string after = Statement(101);
  EXPECT_NE(before_365, after);
  EXPECT_EQ(after, Scalar("Select Message_Reply from LoanStatement where SN=2").AsText());
  EXPECT_EQ(Report(101), Scalar("Select [Send] from LoanSMS where SN=1").AsText());
}

// Transfer rows without a BS date take the one of their AD date, with its fiscal year when
// there is one. Every row of that AD date is updated; a status in other letters is a transfer.
TEST_F(CheckSmsTest, TransferDatesAreRepaired) {
  catalog_.Insert("YearSetting", {{"SN", 3},
                                  {"Fyear", "2081/82"},
                                  {"Dfrom", "2081/04/01"},
                                  {"Dto", "2082/03/31"},
                                  {"Using", true}});
  const std::string in_year = AdDateOf("2081/04/10");
  const std::string no_year = AdDateOf("2080/12/10");
  const std::string other = AdDateOf("2081/05/01");
  const struct {
    int index;
    const char* status;
    data::Value date;
    data::Value e_date;
    const char* want_date;  // nullptr: unchanged
    int want_fyear;
  } kRows[] = {
      {101, "TrfIn", data::Value(), in_year, "2081/04/10", 3},
      {102, "TRFOUT", "0000/00/00", in_year, "2081/04/10", 3},
      {103, "Deposit", data::Value(), in_year, "2081/04/10", 3},  // same AD date
      {104, "trf", data::Value(), no_year, "2080/12/10", 1},      // no fiscal year
      {105, "TRF", data::Value(), data::Value(), nullptr, 1},     // no AD date
      {106, "Deposit", data::Value(), other, nullptr, 1},         // not a transfer
      {107, "TRF", data::Value(), "31/31/2024", nullptr, 1},      // not a date
      {108, "Tr", data::Value(), other, nullptr, 1},
  };
  for (const auto& r : kRows) {
    catalog_.Insert("Master", {{"Index_Rec", r.index},
                               {"CODE", 9},
                               {"Fyear", 1},
                               {"Date", r.date},
                               {"eDate", r.e_date},
                               {"Status", r.status},
                               {"Debit", 1.0},
                               {"Credit", 0.0}});
  }
  sms::CheckSMS(context_);
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.index);
    const std::string where = " from Master where Index_Rec=" + std::to_string(r.index);
    if (r.want_date == nullptr) {
      EXPECT_EQ(r.date, Scalar("Select Date" + where));
    } else {
      EXPECT_EQ(data::Value(r.want_date), Scalar("Select Date" + where));
    }
    EXPECT_EQ(data::Value(r.want_fyear), Scalar("Select Fyear" + where));
  }
  ASSERT_EQ(1u, errors_.size());
  EXPECT_NE(std::string::npos, errors_[0].description().find("31/31/2024"));
  // One per group of the query: in_year twice (a Null and a "0000/00/00" date), no_year.
  EXPECT_EQ(3, sms_.activity.transfer_dates_set);

  // The bad date stays pending and is not reported again.
  sms::CheckSMS(context_);
  EXPECT_EQ(1u, errors_.size());
}

// Rows that cannot be answered stay pending and are reported once; the rows beside them are
// answered, and nothing is queued twice.
TEST_F(CheckSmsTest, PoisonRowsDoNotStopThePass) {
  auto outbox = OpenSimGateway();
  AddLoanSms(1, 101, "98x41", request_date_, 0);  // not a number
  AddLoanSms(2, 101, "9841000002", request_date_, 0);
  AddLoanSms(3, data::Value(), "9841000003", request_date_, 0);
  AddLoanSms(4, 101, "9841000004", data::Value(), 0);
  AddLoanSms(5, 303, "9841000005", request_date_, 0);  // a name with a quote
  AddLoanSms(6, 101, "9841000006", "2024/02/30", 0);   // not a date
  AddStatementRequest(1, data::Value(), request_date_);
  AddStatementRequest(2, 101, "someday");
  AddStatementRequest(2, 303, "2024/13/01");  // the same serial for another account
  AddStatementRequest(3, 101, request_date_);
  AddStatementRequest(4, 303, request_date_);

  for (int pass = 0; pass < 3; ++pass) {
    SCOPED_TRACE(pass);
    sms::CheckSMS(context_);
    EXPECT_EQ(7u, errors_.size());
    const data::QueryResult sent = outbox->Query("Select SN,Mobile from Send order by SN");
    ASSERT_EQ(2u, sent.rows.size());
    EXPECT_EQ("9841000002", sent.rows[0][1].AsText());
    EXPECT_EQ("9841000005", sent.rows[1][1].AsText());
    EXPECT_EQ(data::Value(2), sent.rows[1][0]);
  }
  for (int sn : {1, 3, 4, 6}) {
    SCOPED_TRACE(sn);
    EXPECT_EQ(data::Value(0), Scalar("Select Reply from LoanSMS where SN=" + std::to_string(sn)));
  }
  EXPECT_EQ(Report(303), Scalar("Select [Send] from LoanSMS where SN=5").AsText());
  EXPECT_EQ(Report(101), Scalar("Select [Send] from LoanSMS where SN=2").AsText());
  EXPECT_TRUE(Scalar("Select Message_Reply from LoanStatement where SN=1").IsNull());
  EXPECT_EQ(data::Value(0), Scalar("Select count(*) from LoanStatement where SN=2 and "
                                   "Message_Reply is not null"));
  EXPECT_EQ(Statement(101), Scalar("Select Message_Reply from LoanStatement where SN=3").AsText());
  EXPECT_EQ(Statement(303), Scalar("Select Message_Reply from LoanStatement where SN=4").AsText());

  // Once repaired, a row is answered like any other, when its retry is due.
  catalog_.Exec("Update LoanSMS set Mobile='9841000001' where SN=1");
  Advance(std::chrono::minutes(10));
  sms::CheckSMS(context_);
  EXPECT_EQ(data::Value(1), Scalar("Select Reply from LoanSMS where SN=1"));
  EXPECT_EQ(data::Value(3), outbox->Query("Select count(*) from Send").rows[0][0]);
  EXPECT_EQ(7u, errors_.size());
}

// A request that fails after its reply was composed has still computed that reply's interest,
// which is the penal base of the next reply when the penal runs on the interest due.
TEST_F(CheckSmsTest, FailedRequestStillSetsTheNextPenalBase) {
  Settings s;
  s.pl_on = 0;
  SetLoanSettings(s);
  auto outbox = OpenSimGateway();
  AddLoanSms(1, 101, "98x41", request_date_, 0);  // composed, then refused for its mobile
  AddLoanSms(2, 303, "9841000002", request_date_, 0);

  sms::CheckSMS(context_);
  ASSERT_EQ(1u, errors_.size());
  loans_.InterestDue = 0;
  Report(101);
  const std::string want = Report(303);
  EXPECT_NE("PENAL: 0.00", want.substr(want.find("PENAL: "), 11));
  EXPECT_EQ(want, Scalar("Select [Send] from LoanSMS where SN=2").AsText());
}

// When the request cannot be marked after its message was queued, the message is taken back,
// so that the retry queues it once.
TEST_F(CheckSmsTest, RefusedMarkingWithdrawsTheQueuedMessage) {
  auto outbox = OpenSimGateway();
  AddLoanSms(1, 101, "9841000001", request_date_, 0);
  AddLoanSms(2, 303, "9841000002", request_date_, 0);
  catalog_.Exec(
      "Create Trigger refuse_sms Before Update On LoanSMS When old.SN=1 and new.Reply=1 "
      "Begin Select Raise(Abort,'update refused'); End");

  sms::CheckSMS(context_);
  ASSERT_EQ(1u, errors_.size());
  data::QueryResult sent = outbox->Query("Select Mobile from Send");
  ASSERT_EQ(1u, sent.rows.size());
  EXPECT_EQ("9841000002", sent.rows[0][0].AsText());
  EXPECT_EQ(data::Value(0), Scalar("Select Reply from LoanSMS where SN=1"));

  catalog_.Exec("Drop Trigger refuse_sms");
  Advance(std::chrono::seconds(1));
  sms::CheckSMS(context_);
  sent = outbox->Query("Select Mobile from Send order by SN");
  ASSERT_EQ(2u, sent.rows.size());
  EXPECT_EQ("9841000001", sent.rows[1][0].AsText());
}

// A server that refuses a reply longer than its column fails that row only; stored replies are
// whole.
TEST_F(CheckSmsTest, RefusedLongReplyFailsOnlyItsRow) {
  AddLoan(909, std::string(150, 'B') + " Long", 29900, "2081/03/01", "2081/03/01", "Normal", false,
          120000);
  catalog_.Exec(
      "Create Trigger refuse_long Before Update On LoanStatement "
      "When length(new.Message_Reply)>200 Begin Select Raise(Abort,'would be truncated'); End");
  AddStatementRequest(1, 909, request_date_);
  AddStatementRequest(2, 101, request_date_);

  sms::CheckSMS(context_);
  ASSERT_EQ(1u, errors_.size());
  EXPECT_NE(std::string::npos, errors_[0].description().find("LoanStatement SN 1 ("));
  EXPECT_TRUE(Scalar("Select Message_Reply from LoanStatement where SN=1").IsNull());
  EXPECT_EQ(Statement(101), Scalar("Select Message_Reply from LoanStatement where SN=2").AsText());

  catalog_.Exec("Drop Trigger refuse_long");
  Advance(std::chrono::seconds(1));
  sms::CheckSMS(context_);
  const std::string statement = Statement(909);
  EXPECT_GT(statement.size(), 200u);
  EXPECT_EQ(statement, Scalar("Select Message_Reply from LoanStatement where SN=1").AsText());
}

}  // namespace
}  // namespace sms_test
