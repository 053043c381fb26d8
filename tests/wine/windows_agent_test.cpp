// The Windows executable headless under Wine on the demo catalog, beside this Linux build on
// an identical catalog: the same replies, outbox rows and ledger repairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "host/environment.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tests/wine/wine_agent.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;

std::unique_ptr<data::Connection> Open(const fs::path& file) {
  return data::OpenConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string());
}

// Every row of a query as one line, columns separated by "|".
std::vector<std::string> Rows(const fs::path& file, const std::string& sql) {
  std::vector<std::string> lines;
  for (const auto& row : Open(file)->Query(sql).rows) {
    std::string line;
    for (const data::Value& v : row) line += (v.IsNull() ? "Null" : v.AsText()) + "|";
    lines.push_back(line);
  }
  return lines;
}

// Zero when the agent in `folder` has done all its work on the demo catalog: the repairs of
// the year in use, every request answered, the three SIM replies queued. Null while the files
// are busy or not yet upgraded.
data::Value Pending(const fs::path& folder) {
  try {
    return Open(folder / "MavDemo.db")
        ->Query(
            "Select (Select count(*) from Master Where Fyear=4 and (Status='LoanR' and Acode is "
            "null or Status='Deposit' and iDate is null)) + (Select count(*) from Master Where "
            "Status like 'TRF%' and Date is null) + (Select count(*) from LoanStatement Where "
            "Message_Reply is null) + (Select count(*) from LoanSMS Where Reply<>1)")
        .rows.at(0)
        .at(0);
  } catch (const base::AgentError&) {
    return data::Value();
  }
}

std::int64_t OutboxRows(const fs::path& folder) {
  try {
    return Open(folder / "SMSData.mdb")
        ->Query("Select count(*) from Send")
        .rows.at(0)
        .at(0)
        .AsInt64();
  } catch (const base::AgentError&) {
    return -1;
  }
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

TEST(WindowsAgent, AnswersTheDemoCatalogAsTheLinuxBuild) {
  // Both builds do the SMS work only where the machine counts as online.
  if (!host::NetworkInterfaceUp()) GTEST_SKIP() << "no network interface is up: no SMS work";

  test_support::TempDir dir;
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char today_ad[16];
  std::strftime(today_ad, sizeof today_ad, "%Y/%m/%d", &local);
  const std::string today_bs = calendar::AdToBs(std::string(today_ad));

  // The same demo program folder twice; the Windows one names its folder as Windows does.
  const fs::path linux_folder = dir.path() / "linux", windows_folder = dir.path() / "windows";
  for (const fs::path& folder : {linux_folder, windows_folder}) {
    const bool windows = folder == windows_folder;
    fs::create_directories(folder / "home");
    const fs::path server = windows ? fs::path(wine_test::WindowsPath(folder)) : folder;
    const fs::path outbox =
        windows ? fs::path(wine_test::WindowsPath(folder / "SMSData.mdb")) : folder / "SMSData.mdb";
    tools::WriteSettingsFile(folder, server, "MavDemo");
    tools::WriteSmsOutbox(folder / "SMSData.mdb");
    tools::CreateApplicationCatalog(folder / "MavDemo.db");
    tools::FillDemoCatalog(folder / "MavDemo.db", outbox, today_ad, today_bs);
  }
  fs::copy_file(MAV_SERVICES_EXE, linux_folder / "mav-services");

  host_test::AgentProcess linux_agent(linux_folder / "mav-services",
                                      {{"DISPLAY", ""}, {"HOME", (linux_folder / "home").string()}},
                                      dir.path(), {}, "linux-agent");
  wine_test::WineAgent windows_agent(windows_folder, {{"DISPLAY", ""}}, dir.path(), {"--headless"});
  const data::Value zero(std::int64_t{0});
  const auto done = [&](const fs::path& folder) {
    return Pending(folder) == zero && OutboxRows(folder) == 3;
  };
  const bool linux_done = linux_agent.WaitFor([&] { return done(linux_folder); });
  const bool windows_done = windows_agent.process().WaitFor([&] { return done(windows_folder); },
                                                            std::chrono::seconds(120));
  const host_test::AgentExit linux_exit = linux_agent.Stop();
  // Wine gives a desktop program no Ctrl-C (SIGINT reaches console programs only): the
  // agent is stopped as a power cut would stop it.
  const host_test::AgentExit windows_exit = windows_agent.process().Stop(SIGKILL);
  ASSERT_TRUE(linux_done) << linux_exit.err;
  ASSERT_TRUE(windows_done) << windows_exit.err;
  EXPECT_EQ(">>Database\n>> MavDemo\n", WithoutCarriageReturns(windows_exit.out));
  EXPECT_EQ("", host_test::WithoutActivity(WithoutCarriageReturns(windows_exit.err)));

  // Rows written by the agent: the replies, the outbox (its Time is the clock's second),
  // the repaired ledger rows.
  const char* const kQueries[] = {
      "Select SN,Accode,Message_Reply from LoanStatement Order By SN",
      "Select SN,Accode,Reply,[Send],Fyear from LoanSMS Order By SN",
      "Select SN,Customer_ID,Mobile,Reply,Process_Status from SMSService Order By SN",
      "Select VOUCHER_NO,CODE,Status,Fyear,Date,iDate,dTime,Acode,MasterCode from Master Order By "
      "VOUCHER_NO,CODE,Status,Debit,Credit",
  };
  for (const char* sql : kQueries) {
    SCOPED_TRACE(sql);
    const std::vector<std::string> want = Rows(linux_folder / "MavDemo.db", sql);
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(want, Rows(windows_folder / "MavDemo.db", sql));
  }
  const std::string outbox = "Select SN,Mobile,Msg,[Date] from Send Order By SN";
  EXPECT_EQ(Rows(linux_folder / "SMSData.mdb", outbox),
            Rows(windows_folder / "SMSData.mdb", outbox));
}

}  // namespace
