#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "data/connection_string.h"
#include "sms/sms_service.h"
#include "tests/sms/sms_fixture.h"

namespace sms_test {
namespace {

class GatewaySettingsTest : public SmsFixture {};

TEST_F(GatewaySettingsTest, CustomerIdOfFirstRow) {
  EXPECT_EQ(0, sms::GetSMSCustomerID(catalog_.connection()));
  catalog_.Insert("SMSDatabase", {{"SN", 1}, {"Customer_ID", 4711}});
  EXPECT_EQ(4711, sms::GetSMSCustomerID(catalog_.connection()));
  catalog_.Exec("Update SMSDatabase set Customer_ID=Null");
  EXPECT_THROW(sms::GetSMSCustomerID(catalog_.connection()), base::AgentError);
}

TEST_F(GatewaySettingsTest, EmptyTableChangesNothing) {
  sms_.SMSLocalReady = true;
  sms_.SMSGatewayType = "before";
  sms::SetSMSDatabase(context_);
  EXPECT_TRUE(sms_.SMSLocalReady);
  EXPECT_FALSE(sms_.SMSServerReady);
  EXPECT_EQ("before", sms_.SMSGatewayType);
}

TEST_F(GatewaySettingsTest, SimGatewayOpensTheOutbox) {
  const auto file = MakeOutbox();
  UseSimGateway(file);
  catalog_.Exec("Update SMSDatabase set BSMS=1,SMSRs=0.5,Msg='Greetings'");
  sms::SetSMSDatabase(context_);
  EXPECT_TRUE(sms_.SMSLocalReady);
  EXPECT_FALSE(sms_.SMSServerReady);
  ASSERT_NE(nullptr, sms_.SMSConnection);
  EXPECT_EQ(file.string(), sms_.SMSDatabaseName);
  EXPECT_EQ("x", sms_.SMSPassword);
  EXPECT_EQ(1, sms_.bSMS);
  EXPECT_EQ(0.5, sms_.SMSRate);
  EXPECT_EQ("Greetings", sms_.SMSBirthdayMessage);
  EXPECT_EQ("", sms_.SMSSendBy);
  EXPECT_EQ(1, sms::NextSerial(*sms_.SMSConnection, "Send", "SN"));
}

// The kind is compared in capitals; a Null kind is SIM; greeting defaults fill Nulls.
TEST_F(GatewaySettingsTest, KindAndDefaults) {
  const auto file = MakeOutbox();
  for (const char* kind : {"SIM", "sim", "Sim", ""}) {
    SCOPED_TRACE(kind);
    UseSimGateway(file);
    if (*kind == 0) {
      catalog_.Exec("Update SMSDatabase set dType=Null");
    } else {
      catalog_.Exec("Update SMSDatabase set dType=" + data::SqlText(kind));
    }
    sms_ = sms::SmsState();
    sms::SetSMSDatabase(context_);
    EXPECT_TRUE(sms_.SMSLocalReady);
    EXPECT_EQ(*kind == 0 ? "SIM" : kind, sms_.SMSGatewayType);
    EXPECT_EQ("HAPPY BIRTHDAY TO YOU AND WISH TO ALL THE BEST.", sms_.SMSBirthdayMessage);
    EXPECT_EQ(0, sms_.SMSRate);
  }
}

// The file must be named exactly SMSData.mdb as stored in its folder; a missing file or
// another spelling opens nothing and the SIM gateway is not ready.
TEST_F(GatewaySettingsTest, OutboxNameIsExact) {
  const struct {
    const char* stored;  // file made in the gateway folder ("" none)
    const char* named;   // file named by the settings row
    bool opens;
  } kCases[] = {
      {"SMSData.mdb", "SMSData.mdb", true},
      {"smsdata.mdb", "smsdata.mdb", false},
      {"SMSDATA.MDB", "SMSData.mdb", false},
      {"SMSData.mdb", "smsdata.mdb", true},  // found under its stored name
      {"", "SMSData.mdb", false},
      {"Outbox.mdb", "Outbox.mdb", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.stored) + " named " + c.named);
    sms_ = sms::SmsState();  // closes the outbox: an open file cannot be removed on Windows
    std::filesystem::remove_all(dir_.path() / "gateway");
    std::filesystem::create_directories(dir_.path() / "gateway");
    if (*c.stored != 0) MakeOutbox(c.stored);
    UseSimGateway(dir_.path() / "gateway" / c.named);
    for (bool before : {false, true}) {
      sms_ = sms::SmsState();
      sms_.SMSLocalReady = before;
      sms::SetSMSDatabase(context_);
      EXPECT_EQ(c.opens, sms_.SMSLocalReady);
      EXPECT_EQ(c.opens, sms_.SMSConnection != nullptr);
    }
  }
}

// A password naming another file cannot take the outbox's place past the file name check.
TEST_F(GatewaySettingsTest, PasswordCannotRedirectTheOutbox) {
  const auto file = MakeOutbox();
  const auto other = MakeOutbox("Other.mdb");
  data::OpenSqliteFile(other, false)->Execute("Insert into Send(SN,Msg) values(41,'x')");
  UseSimGateway(file);
  catalog_.Exec("Update SMSDatabase set Password=" +
                data::SqlText("x;Data Source=" + other.string()));
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSLocalReady);
  EXPECT_EQ(1, sms::NextSerial(*sms_.SMSConnection, "Send", "SN"));
}

// The Windows installation stores "C:\SMS\SMSData.mdb": here that is the program folder's
// SMSData.mdb. When that file is missing, one report says so, not one per tick.
TEST_F(GatewaySettingsTest, WindowsPathIsLookedUpInTheProgramFolder) {
  if constexpr (std::filesystem::path::preferred_separator == '\\') {
    GTEST_SKIP() << "on Windows the stored path is the file's path";
  }
  context_.program_folder = MakeOutbox().parent_path();
  for (const char* stored : {"C:\\SMS\\SMSData.mdb", "d:SMSData.mdb", "\\\\pc\\sms\\SMSData.mdb"}) {
    SCOPED_TRACE(stored);
    UseSimGateway(stored);
    sms_ = sms::SmsState();
    sms::SetSMSDatabase(context_);
    EXPECT_TRUE(sms_.SMSLocalReady);
    EXPECT_EQ(stored, sms_.SMSDatabaseName);
  }
  EXPECT_TRUE(notices_.empty());

  context_.program_folder = dir_.path();
  sms_ = sms::SmsState();
  for (int tick = 0; tick < 3; ++tick) sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSLocalReady);
  ASSERT_EQ(1u, notices_.size());
  EXPECT_NE(std::string::npos, notices_[0].find("SMSData.mdb (stored as")) << notices_[0];
}

TEST_F(GatewaySettingsTest, FolderNamedLikeTheOutboxIsNoFile) {
  std::filesystem::create_directories(dir_.path() / "gateway" / "SMSData.mdb");
  UseSimGateway(dir_.path() / "gateway" / "SMSData.mdb");
  sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSLocalReady);
  EXPECT_EQ(nullptr, sms_.SMSConnection);
}

// A failure lowers both flags; what was read before it stays.
TEST_F(GatewaySettingsTest, FailureLowersBothFlags) {
  UseSimGateway(MakeOutbox());
  catalog_.Exec("Update SMSDatabase set [Password]=Null");
  sms_.SMSLocalReady = true;
  sms_.SMSServerReady = true;
  sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSLocalReady);
  EXPECT_FALSE(sms_.SMSServerReady);
  EXPECT_EQ((dir_.path() / "gateway" / "SMSData.mdb").string(), sms_.SMSDatabaseName);

  // An outbox file that is no database fails at its opening.
  std::filesystem::remove(dir_.path() / "gateway" / "SMSData.mdb");
  {
    std::ofstream junk(dir_.path() / "gateway" / "SMSData.mdb");
    junk << "not a database";
  }
  catalog_.Exec("Update SMSDatabase set [Password]='x'");
  sms_.SMSLocalReady = true;
  sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSLocalReady);
}

TEST_F(GatewaySettingsTest, InternetGatewayFindsItsSignature) {
  UseInternetGateway(77, "MAV COOP");
  sms_.SMSCustomerID = sms::GetSMSCustomerID(catalog_.connection());
  sms::SetSMSDatabase(context_);
  EXPECT_TRUE(sms_.SMSServerReady);
  EXPECT_FALSE(sms_.SMSLocalReady);
  EXPECT_EQ(77, sms_.SMSCustomerID);
  EXPECT_EQ("MAV COOP", sms_.SMSSendBy);
  EXPECT_EQ("sa", sms_.SMSDbUser);
  EXPECT_EQ("INTERNET", sms_.SMSGatewayType);
  EXPECT_EQ(nullptr, sms_.SMSConnection);
}

TEST_F(GatewaySettingsTest, InternetGatewayNullSignatureAndQuotedCatalogName) {
  UseInternetGateway(77, data::Value());
  service_->Exec("Update DATABASE_SETTING set DATABASE_NAME='Coop''s Books'");
  context_.DbName = "Coop's Books";
  sms_.SMSCustomerID = 77;
  sms::SetSMSDatabase(context_);
  EXPECT_TRUE(sms_.SMSServerReady);
  EXPECT_EQ("...", sms_.SMSSendBy);
}

TEST_F(GatewaySettingsTest, InternetGatewayWithoutItsRowChangesNoFlag) {
  UseInternetGateway(77, "MAV COOP");
  sms_.SMSCustomerID = 78;  // another customer
  sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSServerReady);
  EXPECT_EQ("", sms_.SMSSendBy);

  // A missing service catalog is a failure.
  catalog_.Exec("Update SMSDatabase set [Database]='NoSuchCatalog'");
  sms_.SMSServerReady = true;
  sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSServerReady);
}

// Null columns of the internet settings take their defaults; those read before a failure
// keep their new values.
TEST_F(GatewaySettingsTest, InternetGatewayDefaultsSurviveAFailure) {
  UseInternetGateway(77, "MAV COOP");
  catalog_.Exec("Update SMSDatabase set [Password]=Null,DbUser=Null,Msg=Null,SMSRs=Null");
  sms_.SMSCustomerID = 77;
  sms_.SMSPassword = "old";
  sms_.SMSDbUser = "old";
  sms::SetSMSDatabase(context_);
  EXPECT_TRUE(sms_.SMSServerReady);
  EXPECT_EQ("...", sms_.SMSPassword);
  EXPECT_EQ("sa", sms_.SMSDbUser);
  EXPECT_EQ("HAPPY BIRTHDAY TO YOU AND WISH TO ALL THE BEST.", sms_.SMSBirthdayMessage);

  // No catalog: the service's "..." cannot be opened; both flags fall, the values stay.
  catalog_.Exec("Update SMSDatabase set [Database]=Null,DbUser='agent',Msg='Hi',SMSRs=2");
  sms_.SMSLocalReady = true;
  sms::SetSMSDatabase(context_);
  EXPECT_FALSE(sms_.SMSServerReady);
  EXPECT_FALSE(sms_.SMSLocalReady);
  EXPECT_EQ("agent", sms_.SMSDbUser);
  EXPECT_EQ("Hi", sms_.SMSBirthdayMessage);
  EXPECT_EQ(2, sms_.SMSRate);
  EXPECT_EQ("MAV COOP", sms_.SMSSendBy);
}

// The service's connection asks for what MAVEncryption.ini set at start (the embedded
// stand-in has nothing to encrypt); a changed setting opens it again.
TEST_F(GatewaySettingsTest, InternetGatewayCarriesItsEncryptionSetting) {
  UseInternetGateway(77, "MAV COOP");
  sms_.SMSCustomerID = 77;
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSServerReady);
  EXPECT_FALSE(
      data::ConnectionString::Parse(sms_.service_opened_as).Get("Use Encryption for Data"));

  sms_.service_tls = {true, "sms.example"};
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSServerReady);
  const auto opened = data::ConnectionString::Parse(sms_.service_opened_as);
  EXPECT_EQ("True", opened.GetOr("Use Encryption for Data", ""));
  EXPECT_EQ("False", opened.GetOr("Trust Server Certificate", ""));
  EXPECT_EQ("sms.example", opened.GetOr("Host Name In Certificate", ""));
}

// Switching from SIM to INTERNET during a run keeps the SIM flag raised.
TEST_F(GatewaySettingsTest, SimFlagSurvivesSwitchToInternet) {
  UseSimGateway(MakeOutbox());
  sms::SetSMSDatabase(context_);
  ASSERT_TRUE(sms_.SMSLocalReady);
  UseInternetGateway(77, "MAV COOP");
  sms_.SMSCustomerID = 77;
  sms::SetSMSDatabase(context_);
  EXPECT_TRUE(sms_.SMSLocalReady);
  EXPECT_TRUE(sms_.SMSServerReady);
}

}  // namespace
}  // namespace sms_test
