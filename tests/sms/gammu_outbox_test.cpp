// gammu-smsd's outbox on its SQLite database, without the daemon (see gammu_smsd_test.cpp for
// the daemon sending what the agent queues).
#include "sms/gammu_outbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "sms/outbox.h"
#include "sms/reply_messages.h"
#include "sms/sms_service.h"
#include "tests/sms/sms_fixture.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/odbc_file_path.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace sms_test {
namespace {

using test_support::ErrorOf;

std::string Repeat(const std::string& unit, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += unit;
  return out;
}

TEST(SplitIntoSmsParts, LimitsOfTheAlphabets) {
  const std::string a160 = Repeat("a", 160);
  const struct {
    const char* name;
    std::string text;
    bool unicode;
    std::vector<std::string> parts;
  } kCases[] = {
      {"empty", "", false, {""}},
      {"160 septets", a160, false, {a160}},
      {"161 septets", a160 + "b", false, {Repeat("a", 153), "aaaaaaab"}},
      {"escape counts two", Repeat("a", 158) + "{", false, {Repeat("a", 158) + "{"}},
      {"escape not cut",
       Repeat("a", 152) + "€" + Repeat("b", 10),
       false,
       {Repeat("a", 152), "€" + Repeat("b", 10)}},
      {"accented letters of the alphabet", Repeat("é", 160), false, {Repeat("é", 160)}},
      {"line ends",
       "DEAR RAM (101)\r\nD.LOAN: 0.00\r\n-",
       false,
       {"DEAR RAM (101)\r\nD.LOAN: 0.00\r\n-"}},
      {"backquote is not GSM", "`", true, {"`"}},
      {"70 units", "á" + Repeat("a", 69), true, {"á" + Repeat("a", 69)}},
      {"71 units", "á" + Repeat("a", 70), true, {"á" + Repeat("a", 66), "aaaa"}},
      {"surrogate pair not cut",
       Repeat("क", 66) + "😀" + Repeat("a", 5),
       true,
       {Repeat("क", 66), "😀" + Repeat("a", 5)}},
      {"bytes that are not UTF-8", "ab\xFF\xC3", true, {"ab\uFFFD\uFFFD"}},
      // Left out as replies leave them out: a NUL neither makes a text Unicode nor counts.
      {"NUL and controls",
       std::string("DEAR R\0AM\x1B", 10) + Repeat("a", 152),
       false,
       {"DEAR RAM" + Repeat("a", 152)}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const sms::SmsParts got = sms::SplitIntoSmsParts(c.text);
    EXPECT_EQ(c.unicode, got.unicode);
    EXPECT_EQ(c.parts, got.texts);
  }
}

TEST(GammuDestination, KeepsThePlusAndLeadingZeros) {
  EXPECT_EQ("9841000001", sms::GammuDestination("9841000001"));
  EXPECT_EQ("+9779841000002", sms::GammuDestination(" +9779841000002 "));
  EXPECT_EQ("009779841000003", sms::GammuDestination("009779841000003"));
  EXPECT_EQ("9841000004", sms::GammuDestination(data::Value(std::int64_t{9841000004})));
  for (const char* bad : {"", "+", "98x41", "+977 9841", "123456789012345678901"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(base::kTypeMismatch, ErrorOf([&] { sms::GammuDestination(bad); }).number());
  }
  EXPECT_EQ(base::kInvalidUseOfNull,
            ErrorOf([] { sms::GammuDestination(data::Value()); }).number());
}

class GammuOutboxTest : public ::testing::Test {
 protected:
  GammuOutboxTest() {
    tools::WriteGammuOutbox(file_);
    // Opened as the SIM gateway opens it.
    db_ = data::OpenConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file_.string() +
                               ";Persist Security Info=false;Jet OLEDB:Database Password=x");
  }

  data::QueryResult Query(const std::string& sql) { return db_->Query(sql); }

  test_support::TempDir dir_;
  std::filesystem::path file_ = dir_.path() / "SMSData.mdb";
  std::unique_ptr<data::Connection> db_;
  std::chrono::system_clock::time_point now_ = LocalTime(2025, 3, 15, 14, 5, 9);
};

TEST_F(GammuOutboxTest, RecognisedByItsGammuTable) {
  EXPECT_EQ(std::optional<std::int32_t>(17), sms::GammuTablesVersion(*db_));
  db_->Execute("Update gammu set Version=16");
  EXPECT_EQ(std::optional<std::int32_t>(16), sms::GammuTablesVersion(*db_));
  const base::AgentError error = ErrorOf([&] { sms::GammuOutbox(*db_, 16); });
  EXPECT_NE(std::string::npos, error.description().find("version 16")) << error.description();

  // The modem software's outboxes: SQLite, and Jet as the Windows installation writes it.
  const std::filesystem::path send_table = dir_.path() / "Send.mdb";
  tools::WriteSmsOutbox(send_table);
  EXPECT_EQ(std::nullopt, sms::GammuTablesVersion(*data::OpenSqliteFile(send_table, false)));
  const std::filesystem::path jet =
      std::filesystem::path(MAV_TEST_DATA_DIR) / "jet" / "V2003_no-password.mdb";
  EXPECT_EQ(std::nullopt, sms::GammuTablesVersion(*data::OpenJetFile(jet, "")));
  // A connection speaking SQL Server's dialect (Jet through the Access driver on Windows) is
  // not asked: its SQL has no Information_Schema.
  const auto other_dialect = data::OpenOdbc(
      "Driver=SQLite3;Database=" + test_support::OdbcFilePath(file_), data::Dialect::kSqlServer);
  EXPECT_EQ(std::nullopt, sms::GammuTablesVersion(*other_dialect));
}

TEST_F(GammuOutboxTest, ShortTextIsOneRowDueNowInLocalTime) {
  sms::GammuOutbox outbox(*db_, 17);
  const std::int64_t id = outbox.Queue("+9779841000001", "D.LOAN: 0.00\r\n-", now_);
  const data::QueryResult row = Query(
      "Select ID,DestinationNumber,TextDecoded,Coding,CreatorID,MultiPart,UDH,SendingDateTime,"
      "SendingTimeOut,InsertIntoDB,Text from outbox");
  ASSERT_EQ(1u, row.rows.size());
  const std::vector<data::Value> want = {id,
                                         "+9779841000001",
                                         "D.LOAN: 0.00\r\n-",
                                         "Default_No_Compression",
                                         "MAV Services",
                                         "false",
                                         data::Value(),
                                         "2025-03-15 14:05:09",
                                         "2025-03-15 14:05:09",
                                         "2025-03-15 14:05:09",
                                         data::Value()};
  EXPECT_EQ(want, row.rows[0]);
  EXPECT_EQ(data::Value(0), Query("Select count(*) from outbox_multipart").rows[0][0]);
}

// The part rows carry the message's own ID, not the last-insert id of the row before them.
TEST_F(GammuOutboxTest, LongTextPartsShareTheMessageId) {
  sms::GammuOutbox outbox(*db_, 17);
  outbox.Queue("9841000001", "first", now_);
  const std::string text = Repeat("नमस्ते ", 25);  // 175 UTF-16 units: 67 + 67 + 41
  const std::int64_t id = outbox.Queue("9841000002", text, now_);
  ASSERT_EQ(2, id);

  const data::QueryResult first =
      Query("Select TextDecoded,Coding,MultiPart,UDH from outbox Where ID=2");
  ASSERT_EQ(1u, first.rows.size());
  EXPECT_EQ(data::Value("Unicode_No_Compression"), first.rows[0][1]);
  EXPECT_EQ(data::Value("true"), first.rows[0][2]);
  EXPECT_EQ(data::Value("050003020301"), first.rows[0][3]);
  const data::QueryResult rest = Query(
      "Select ID,SequencePosition,Coding,UDH,TextDecoded from outbox_multipart "
      "Order by SequencePosition");
  ASSERT_EQ(2u, rest.rows.size());
  std::string joined = first.rows[0][0].AsText();
  for (std::size_t i = 0; i < rest.rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(data::Value(id), rest.rows[i][0]);
    EXPECT_EQ(data::Value(static_cast<int>(i) + 2), rest.rows[i][1]);
    EXPECT_EQ(data::Value("Unicode_No_Compression"), rest.rows[i][2]);
    EXPECT_EQ(data::Value("05000302030" + std::to_string(i + 2)), rest.rows[i][3]);
    joined += rest.rows[i][4].AsText();
  }
  EXPECT_EQ(text, joined);
}

TEST_F(GammuOutboxTest, FailedPartLeavesNothingQueued) {
  db_->Execute(
      "Create Trigger refuse_part Before Insert On outbox_multipart When new.SequencePosition=3 "
      "Begin Select Raise(Abort,'disk full'); End");
  sms::GammuOutbox outbox(*db_, 17);
  EXPECT_THROW(outbox.Queue("9841000001", Repeat("a", 400), now_), base::AgentError);
  EXPECT_EQ(data::Value(0), Query("Select count(*) from outbox").rows[0][0]);
  EXPECT_EQ(data::Value(0), Query("Select count(*) from outbox_multipart").rows[0][0]);
}

TEST_F(GammuOutboxTest, WithdrawnOnlyUntilTheDaemonTakesIt) {
  sms::GammuOutbox outbox(*db_, 17);
  const std::string text = Repeat("a", 160) + "end";
  const std::int64_t id = outbox.Queue("9841000001", text, now_);
  EXPECT_FALSE(outbox.Withdraw(id, "9841000001", "another text"));
  EXPECT_FALSE(outbox.Withdraw(id, "9841000009", text));

  EXPECT_TRUE(outbox.Withdraw(id, "9841000001", text));
  EXPECT_EQ(data::Value(0), Query("Select count(*) from outbox").rows[0][0]);
  EXPECT_EQ(data::Value(0), Query("Select count(*) from outbox_multipart").rows[0][0]);
  EXPECT_FALSE(outbox.Withdraw(id, "9841000001", text));

  // The daemon takes a message by moving its SendingTimeOut on; it will be sent.
  const std::int64_t taken = outbox.Queue("9841000001", text, now_);
  db_->Execute("Update outbox set SendingTimeOut=datetime('now','+60 seconds','localtime')");
  EXPECT_FALSE(outbox.Withdraw(taken, "9841000001", text));
  EXPECT_EQ(data::Value(1), Query("Select count(*) from outbox").rows[0][0]);
  EXPECT_EQ(data::Value(1), Query("Select count(*) from outbox_multipart").rows[0][0]);
}

// The SIM stage on gammu-smsd's database: recognised through the settings row, replies queued
// in its outbox, a message still waiting counts as queued.
class GammuSimStageTest : public SmsFixture {};

TEST_F(GammuSimStageTest, RepliesAreQueuedOnceInTheOutbox) {
  AddLoan(101, "Ram Bahadur Thapa", 2990, "2081/03/01", "2081/03/01");
  const std::filesystem::path file = dir_.path() / "gateway" / "SMSData.mdb";
  std::filesystem::create_directories(file.parent_path());
  tools::WriteGammuOutbox(file);
  UseSimGateway(file);
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSLocalReady);
  ASSERT_EQ(std::optional<std::int32_t>(17), sms_.gammu_version);
  const std::string date = AdDateOf("2081/04/25");
  // The agent stopped after queuing the reply of request 1 and before marking the request
  // answered.
  std::string as_of = date;
  const std::string reply = sms::ComposeReportSMS(loans_, sms_, 101, as_of);
  const sms::RequestKey first{
      "LoanSMS", {{"SN", 1}, {"Mobile", "+9779841000001"}, {"Accode", 101}, {"Date", date}}};
  sms::MakeOutbox(*sms_.SMSConnection, 17)->Queue(first, "+9779841000001", reply, context_.now());
  catalog_.Insert(
      "LoanSMS",
      {{"SN", 1}, {"Accode", 101}, {"Mobile", "+9779841000001"}, {"Date", date}, {"Reply", 0}});
  catalog_.Insert(
      "LoanSMS",
      {{"SN", 2}, {"Accode", 101}, {"Mobile", "9841000002"}, {"Date", date}, {"Reply", 0}});
  catalog_.Exec(
      "Create Trigger refuse_mark Before Update On LoanSMS When old.SN=2 and new.Reply=1 "
      "Begin Select Raise(Abort,'update refused'); End");

  sms::CheckSMS(context_);
  ASSERT_EQ(1u, errors_.size());
  auto outbox = data::OpenSqliteFile(file, false);
  const data::QueryResult queued =
      outbox->Query("Select DestinationNumber,TextDecoded,SendingDateTime from outbox");
  ASSERT_EQ(1u, queued.rows.size());
  EXPECT_EQ("+9779841000001", queued.rows[0][0].AsText());
  EXPECT_EQ(reply, queued.rows[0][1].AsText());
  EXPECT_EQ(data::Value(reply), catalog_.Scalar("Select [Send] from LoanSMS where SN=1"));
  EXPECT_EQ("2025-03-15 14:05:09", queued.rows[0][2].AsText());

  // The message of the refused request was withdrawn; once it can be marked it goes out once.
  catalog_.Exec("Drop Trigger refuse_mark");
  Advance(std::chrono::seconds(1));  // the failed request's retry delay
  sms::CheckSMS(context_);
  sms::CheckSMS(context_);
  EXPECT_EQ(data::Value(2), outbox->Query("Select count(*) from outbox").rows[0][0]);
  EXPECT_EQ(data::Value(1), catalog_.Scalar("Select Reply from LoanSMS where SN=2"));
}

// A NUL in a member's name: the reply goes out as plain GSM text in one part, and the text
// recorded in [Send] is the one queued, so after a stop before the mark the queued message is
// recognised and not queued a second time.
TEST_F(GammuSimStageTest, NulInANameNeitherChangesTheCodingNorRepeatsTheMessage) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01");
  catalog_.Exec("Update Acc set Name='Ra' || char(0) || 'm Bahadur' where ACCODE=101");
  const std::filesystem::path file = dir_.path() / "gateway" / "SMSData.mdb";
  std::filesystem::create_directories(file.parent_path());
  tools::WriteGammuOutbox(file);
  UseSimGateway(file);
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSLocalReady);
  catalog_.Insert("LoanSMS", {{"SN", 1},
                              {"Accode", 101},
                              {"Mobile", "9841000001"},
                              {"Date", AdDateOf("2081/04/25")},
                              {"Reply", 0}});

  sms::CheckSMS(context_);
  auto outbox = data::OpenSqliteFile(file, false);
  const auto queued = [&] {
    return outbox->Query("Select TextDecoded,Coding,MultiPart from outbox").rows;
  };
  ASSERT_EQ(1u, queued().size());
  const std::string sent = queued()[0][0].AsText();
  EXPECT_EQ("DEAR RAM (101)", sent.substr(0, sent.find('\r')));
  EXPECT_EQ(data::Value("Default_No_Compression"), queued()[0][1]);
  EXPECT_EQ(data::Value("false"), queued()[0][2]);
  EXPECT_EQ(data::Value(sent), catalog_.Scalar("Select [Send] from LoanSMS where SN=1"));

  // Stopped after queuing, before the mark: the request is pending with its recorded reply.
  catalog_.Exec("Update LoanSMS set Reply=0 where SN=1");
  sms::CheckSMS(context_);
  EXPECT_EQ(1u, queued().size());
  EXPECT_EQ(data::Value(1), catalog_.Scalar("Select Reply from LoanSMS where SN=1"));
}

}  // namespace
}  // namespace sms_test
