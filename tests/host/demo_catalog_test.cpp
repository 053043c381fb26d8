// The demo program folder as the generator writes it, with the agent running in it.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "host/environment.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tools/catalog_generator.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using data::Value;

TEST(DemoCatalog, AgentUpgradesRepairsAndAnswersIt) {
  test_support::TempDir dir;
  const fs::path folder = dir.path() / "demo";
  fs::create_directories(folder / "home");
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char today_ad[16];
  std::strftime(today_ad, sizeof today_ad, "%Y/%m/%d", &local);
  const std::string today_bs = calendar::AdToBs(std::string(today_ad));

  tools::WriteSettingsFile(folder, folder, "MavDemo");
  tools::WriteSmsOutbox(folder / "SMSData.mdb");
  tools::CreateApplicationCatalog(folder / "MavDemo.db");
  tools::FillDemoCatalog(folder / "MavDemo.db", folder / "SMSData.mdb", today_ad, today_bs);
  fs::copy_file(MAV_SERVICES_EXE, folder / "mav-services");

  const auto scalar = [&](const fs::path& file, const std::string& sql) {
    try {
      const data::QueryResult r =
          data::OpenConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string())
              ->Query(sql);
      return r.rows.empty() ? Value() : r.rows.front().front();
    } catch (const base::AgentError&) {
      return Value();  // busy, or not yet upgraded
    }
  };
  const fs::path catalog = folder / "MavDemo.db";
  const Value zero(std::int64_t{0});
  // The demo shows the SMS work only where the machine counts as online.
  const bool online = NetworkInterfaceUp();
  // The work waiting for the agent, as its activity lines are to count it.
  const auto count = [&](const std::string& sql) { return scalar(catalog, sql).AsInt64(); };
  const std::int64_t sim = count("Select count(*) from LoanSMS Where Reply<>1");
  const std::int64_t statements =
      count("Select count(*) from LoanStatement Where Message_Reply is null");
  const std::int64_t transfer_dates = count(
      "Select count(*) from (Select distinct Date,eDate from Master Where Status like 'TRF%' "
      "and (Date is null or Date='0000/00/00'))");
  const std::int64_t vouchers =
      count("Select count(distinct VOUCHER_NO) from Master Where Fyear=4 and Status='LoanR'") +
      count("Select count(distinct VOUCHER_NO) from Master Where Fyear=4 and Status='Deposit'");
  ASSERT_GT(sim * statements * transfer_dates * vouchers, 0);

  host_test::AgentProcess agent(
      folder / "mav-services", {{"DISPLAY", ""}, {"HOME", (folder / "home").string()}}, dir.path());
  const bool done = agent.WaitFor([&] {
    return scalar(catalog,
                  "Select count(*) from Master Where Fyear=4 and (Status='LoanR' and "
                  "Acode is null or Status='Deposit' and iDate is null)") == zero &&
           (!online ||
            (scalar(catalog, "Select count(*) from LoanStatement Where Message_Reply is null") ==
                 zero &&
             scalar(catalog,
                    "Select count(*) from Master Where Status like 'TRF%' and Date is "
                    "null") == zero &&
             scalar(folder / "SMSData.mdb", "Select count(*) from Send") ==
                 Value(std::int64_t{3})));
  });
  const host_test::AgentExit exit = agent.Stop();
  ASSERT_TRUE(done) << exit.err;
  EXPECT_EQ(0, exit.status);
  EXPECT_EQ(">>Database\n>> MavDemo\n", exit.out);
  EXPECT_EQ("", host_test::WithoutActivity(exit.err));
  // The activity lines add up to the work done (the last one comes with the stop).
  const auto reported = [&](const char* one, const char* several) {
    return host_test::ActivityCount(exit.err, one, several);
  };
  EXPECT_EQ(online ? sim : 0, reported("SIM request answered", "SIM requests answered"));
  EXPECT_EQ(online ? sim : 0, reported("message queued", "messages queued"));
  EXPECT_EQ(online ? statements : 0,
            reported("loan statement request answered", "loan statement requests answered"));
  EXPECT_EQ(online ? transfer_dates : 0, reported("transfer date set", "transfer dates set"));
  // A voucher is repaired by a group of each pass whose accounts it touches: at least once.
  EXPECT_GE(reported("voucher repaired", "vouchers repaired"), vouchers);

  // The year before the one in use keeps its unrepaired rows.
  EXPECT_EQ(zero, scalar(catalog,
                         "Select count(*) from Master Where Fyear=3 and (Acode is not "
                         "null or iDate is not null)"));
  if (online) {
    EXPECT_EQ(zero, scalar(catalog,
                           "Select count(*) from LoanStatement Where Message_Reply "
                           "not like 'Dear %'"));
    EXPECT_EQ(zero, scalar(catalog, "Select count(*) from LoanSMS Where Reply<>1"));
    // The outbox keeps a mobile number as the whole number it is.
    EXPECT_EQ(Value(std::int64_t{9841000010}),
              scalar(folder / "SMSData.mdb", "Select Mobile from Send Where SN=1"));
  }
}

}  // namespace
}  // namespace host
