// What a failure in the middle of the SMS pass leaves behind: a crash between the writes of
// a SIM request, a lost connection in each stage, a mark that changes no row, a key that is
// not a whole number.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/drivers.h"
#include "data/reconnecting_connection.h"
#include "sms/reply_messages.h"
#include "sms/sms_service.h"
#include "tests/sms/sms_fixture.h"
#include "tests/support/faulty_connection.h"

namespace sms_test {
namespace {

using test_support::Fault;
using test_support::FaultPlan;
using test_support::FaultyConnection;
using test_support::SimulatedCrash;

class SmsFaultsTest : public SmsFixture {
 protected:
  void SetUp() override {
    SmsFixture::SetUp();
    date_ = AddTwoLoans();
    outbox_file_ = MakeOutbox();
    UseSimGateway(outbox_file_);
    outbox_ = data::OpenSqliteFile(outbox_file_, false);
  }

  void AddSimRequest(const data::Value& sn, std::int32_t accode, const std::string& mobile) {
    catalog_.Insert(
        "LoanSMS",
        {{"SN", sn}, {"Accode", accode}, {"Mobile", mobile}, {"Date", date_}, {"Reply", 0}});
  }

  // The agent as it starts afresh: no loan figures, no gateway state, the outbox opened by
  // the settings row.
  void Restart() {
    loans_ = loans::LoanState();
    loans_.MainConnection = &catalog_.connection();
    loans::LoadLoanSettings(loans_);
    sms_ = sms::SmsState();
    sms::SetSMSDatabase(context_);
    ASSERT_TRUE(sms_.SMSLocalReady);
  }

  // The outbox's connection, with faults as `plan` says.
  void FaultyOutbox(FaultPlan& plan) {
    sms_.SMSConnection = std::make_unique<FaultyConnection>(std::move(sms_.SMSConnection), plan);
  }

  // Every SIM request is answered and its reply queued exactly once.
  void ExpectEachQueuedOnce(int requests) {
    EXPECT_EQ(data::Value(requests), catalog_.Scalar("Select count(*) from LoanSMS where Reply=1"));
    const data::QueryResult sent = outbox_->Query("Select Mobile,Msg from Send order by SN");
    ASSERT_EQ(static_cast<std::size_t>(requests), sent.rows.size());
    for (const auto& row : sent.rows) {
      SCOPED_TRACE(row[0].AsText());
      EXPECT_EQ(row[1], catalog_.Scalar("Select [Send] from LoanSMS where Mobile=" +
                                        data::SqlText(row[0].AsText())));
    }
  }

  std::string date_;
  std::filesystem::path outbox_file_;
  std::unique_ptr<data::Connection> outbox_;
};

// The agent dies in the middle of a SIM request and starts again. With the penal resting on
// the interest due of the reply before it, the second reply composed after the restart
// differs from the one composed before: only the outbox's record of the text it sent lets
// the request be marked with it.
TEST_F(SmsFaultsTest, CrashBetweenTheWritesOfASimRequestQueuesItOnce) {
  Settings s;
  s.pl_on = 0;
  SetLoanSettings(s);
  const struct {
    const char* name;
    bool on_outbox;
    const char* statement;
  } kCrashes[] = {
      {"while the message is queued", true, "Insert into Send"},
      {"after the message is queued", false, "Update LoanSMS set Reply=1"},
  };
  int requests = 0;
  for (const auto& c : kCrashes) {
    SCOPED_TRACE(c.name);
    for (std::int32_t accode : {101, 303}) {
      ++requests;
      AddSimRequest(requests, accode, "98410000" + std::to_string(requests));
    }
    Restart();
    FaultPlan plan;
    plan.Fail(2, Fault::kCrash, c.statement);  // the second request of this round
    FaultyConnection main(catalog_.connection(), plan);
    context_.MainConnection = &main;
    if (c.on_outbox) FaultyOutbox(plan);
    EXPECT_THROW(sms::CheckSMS(context_), SimulatedCrash);
    context_.MainConnection = &catalog_.connection();

    Restart();
    EXPECT_TRUE(sms::CheckSMS(context_));
    EXPECT_TRUE(errors_.empty());
    ExpectEachQueuedOnce(requests);
  }
}

// A lost connection ends its stage at once: no row after it is tried, no row is blamed, the
// later stages run. The catalog is reached again after the retry delay; the outbox is
// opened again by the gateway settings after theirs. Then everything is answered once.
TEST_F(SmsFaultsTest, LostConnectionEndsTheStageAndRecovers) {
  const struct {
    const char* name;
    bool on_outbox;
    const char* statement;
    const char* pending;  // counts the rows of the stage that lost its connection
  } kLosses[] = {
      {"catalog, reading the SIM requests", false, "from LoanSMS",
       "Select count(*) from LoanSMS where Reply<>1"},
      {"catalog, marking a SIM request", false, "Update LoanSMS set Reply=1",
       "Select count(*) from LoanSMS where Reply<>1"},
      {"outbox, queuing", true, "Insert into Send", "Select count(*) from LoanSMS where Reply<>1"},
      {"catalog, answering a statement", false, "Update LoanStatement",
       "Select count(*) from LoanStatement where Message_Reply is null"},
      {"catalog, repairing a transfer date", false, "Update Master",
       "Select count(*) from Master where Date is null"},
  };
  catalog_.Insert("YearSetting", {{"SN", 3},
                                  {"Fyear", "2081/82"},
                                  {"Dfrom", "2081/04/01"},
                                  {"Dto", "2082/03/31"},
                                  {"Using", true}});
  int requests = 0;
  for (const auto& c : kLosses) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 2; ++i) {
      ++requests;
      AddSimRequest(requests, 101, "98410000" + std::to_string(requests));
      catalog_.Insert("LoanStatement", {{"SN", requests}, {"Accode", 303}, {"Date", date_}});
      catalog_.Insert("Master", {{"Index_Rec", 1000 + requests},
                                 {"CODE", 9},
                                 {"Fyear", 1},
                                 {"eDate", AdDateOf("2081/04/" + std::to_string(10 + requests))},
                                 {"Status", "TrfIn"},
                                 {"Debit", 1.0},
                                 {"Credit", 0.0}});
    }
    Restart();
    FaultPlan plan;
    plan.Fail(1, Fault::kConnectionLost, c.statement);
    FaultPlan healthy;
    data::ReconnectingConnection main(
        std::make_unique<FaultyConnection>(catalog_.connection(), plan),
        [&] { return std::make_unique<FaultyConnection>(catalog_.connection(), healthy); },
        context_.clock, context_.notice);
    context_.MainConnection = &main;
    if (c.on_outbox) FaultyOutbox(plan);
    notices_.clear();

    EXPECT_TRUE(sms::CheckSMS(context_));
    EXPECT_TRUE(errors_.empty()) << errors_.front().Report();
    EXPECT_EQ(1u, notices_.size());
    EXPECT_EQ(data::Value(2), catalog_.Scalar(c.pending));
    if (c.on_outbox) {
      EXPECT_FALSE(sms_.SMSLocalReady);
      EXPECT_EQ(data::Value(0),  // the later stages ran
                catalog_.Scalar("Select count(*) from LoanStatement where Message_Reply is null"));
    } else {
      EXPECT_FALSE(main.connected());
    }

    // Before the delay has passed nothing is tried: not the catalog, not the outbox.
    sms::SetSMSDatabase(context_);
    EXPECT_TRUE(sms::CheckSMS(context_));
    EXPECT_EQ(0, healthy.calls);
    Advance(std::chrono::seconds(1));
    sms::SetSMSDatabase(context_);
    ASSERT_TRUE(sms_.SMSLocalReady);
    EXPECT_TRUE(sms::CheckSMS(context_));
    EXPECT_EQ(2u, notices_.size()) << notices_.back();  // lost, then back
    EXPECT_TRUE(errors_.empty());
    ExpectEachQueuedOnce(requests);
    EXPECT_EQ(data::Value(0),
              catalog_.Scalar("Select count(*) from LoanStatement where Message_Reply is null"));
    EXPECT_EQ(data::Value(0), catalog_.Scalar("Select count(*) from Master where Date is null"));
    context_.MainConnection = &catalog_.connection();
  }
}

// A mark that reaches no row fails its request: the message is taken back, the request is
// tried again only after its delay (1 s, then 2 s), and answered once when the mark works.
TEST_F(SmsFaultsTest, MarkThatChangesNoRowFailsTheRowAndWaits) {
  AddSimRequest(1, 101, "9841000001");
  Restart();
  FaultPlan plan;
  FaultyConnection main(catalog_.connection(), plan);
  context_.MainConnection = &main;
  plan.Fail(1, Fault::kZeroRows, "Update LoanSMS set Reply=1");
  sms::CheckSMS(context_);
  ASSERT_EQ(1u, errors_.size());
  EXPECT_NE(std::string::npos, errors_[0].description().find("marked no row"));
  EXPECT_EQ(data::Value(0), outbox_->Query("Select count(*) from Send").rows[0][0]);

  plan.fail_at = 2;  // the first retry's mark changes no row either
  const struct {
    std::chrono::milliseconds advance;
    int tries;  // marks of the SIM request attempted so far
  } kSteps[] = {{std::chrono::milliseconds(999), 1},
                {std::chrono::milliseconds(1), 2},
                {std::chrono::milliseconds(1999), 2},
                {std::chrono::milliseconds(1), 3}};
  for (const auto& step : kSteps) {
    Advance(step.advance);
    sms::CheckSMS(context_);
    EXPECT_EQ(step.tries, plan.calls);
  }
  EXPECT_EQ(1u, errors_.size());  // reported once
  ExpectEachQueuedOnce(1);

  catalog_.Insert("LoanStatement", {{"SN", 1}, {"Accode", 303}, {"Date", date_}});
  plan.Fail(1, Fault::kZeroRows, "Update LoanStatement");
  sms::CheckSMS(context_);
  ASSERT_EQ(2u, errors_.size());
  EXPECT_NE(std::string::npos, errors_[1].description().find("marked no row"));
  context_.MainConnection = &catalog_.connection();
}

// A key that is not a whole number fails its row; it never marks the row of the rounded key.
TEST_F(SmsFaultsTest, KeyThatIsNotWholeFailsTheRow) {
  AddSimRequest(1.5, 101, "9841000001");
  AddSimRequest(2, 101, "9841000002");
  catalog_.Insert("LoanStatement", {{"SN", 2.5}, {"Accode", 303}, {"Date", date_}});
  catalog_.Insert("LoanStatement", {{"SN", 4}, {"Accode", 303.5}, {"Date", date_}});
  catalog_.Insert("LoanStatement", {{"SN", 2}, {"Accode", 303}, {"Date", date_}});
  catalog_.Insert("LoanStatement", {{"SN", 4}, {"Accode", 304}, {"Date", date_}});
  Restart();
  sms::CheckSMS(context_);
  EXPECT_EQ(3u, errors_.size());
  EXPECT_EQ(data::Value(0), catalog_.Scalar("Select Reply from LoanSMS where SN=1.5"));
  EXPECT_EQ(data::Value(1), catalog_.Scalar("Select Reply from LoanSMS where SN=2"));
  EXPECT_EQ(data::Value(1), outbox_->Query("Select count(*) from Send").rows[0][0]);
  EXPECT_EQ(data::Value(2), catalog_.Scalar("Select count(*) from LoanStatement where "
                                            "Message_Reply is null and SN in (2.5,4)"));
  EXPECT_FALSE(catalog_.Scalar("Select Message_Reply from LoanStatement where SN=2 and Accode=303")
                   .IsNull());
}

}  // namespace
}  // namespace sms_test
