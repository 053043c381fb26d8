// Writes the demo program folder or a large benchmark catalog.
//
//   mav-demo-catalog demo <folder> [gammu]
//       <folder>/mavdata.cdf (settings naming the catalog MavDemo in <folder>),
//       <folder>/MavDemo.db (a sample cooperative before the agent's upgrade) and
//       <folder>/SMSData.mdb (the SIM gateway's empty outbox: a Send table, or with "gammu"
//       gammu-smsd's database).
//   mav-demo-catalog large <file> [loans] [ledger rows]
//       a catalog with 10,000 loans and one million ledger rows unless told otherwise.
//   mav-demo-catalog history <file> [loans]
//       years of history added to such a catalog (of 10,000 loans unless told otherwise):
//       100,000 "LoanR" rows no repair can complete, 1,000,000 answered SIM requests and
//       500,000 answered loan statement requests.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "tools/catalog_generator.h"

namespace {

std::chrono::year_month_day LocalToday() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                     std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                     std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

int Usage() {
  std::cerr << "usage: mav-demo-catalog demo <folder> [gammu]\n"
               "       mav-demo-catalog large <file> [loans] [ledger rows]\n"
               "       mav-demo-catalog history <file> [loans]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const std::chrono::year_month_day today = LocalToday();
  char today_ad[16];
  std::snprintf(today_ad, sizeof today_ad, "%04d/%02u/%02u", static_cast<int>(today.year()),
                static_cast<unsigned>(today.month()), static_cast<unsigned>(today.day()));
  try {
    const std::string today_bs = calendar::AdToBs(today);
    if (mode == "demo") {
      const std::filesystem::path folder = std::filesystem::absolute(argv[2]);
      std::filesystem::create_directories(folder);
      tools::WriteSettingsFile(folder, folder, "MavDemo");
      if (argc > 3 && std::string(argv[3]) == "gammu") {
        tools::WriteGammuOutbox(folder / "SMSData.mdb");
      } else {
        tools::WriteSmsOutbox(folder / "SMSData.mdb");
      }
      tools::CreateApplicationCatalog(folder / "MavDemo.db");
      tools::FillDemoCatalog(folder / "MavDemo.db", folder / "SMSData.mdb", today_ad, today_bs);
      std::cout << "Demo program folder " << folder.string() << " (today is BS " << today_bs
                << ")\n";
      return 0;
    }
    if (mode == "large") {
      tools::LargeCatalog size;
      if (argc > 3) size.loans = std::stoi(argv[3]);
      if (argc > 4) size.ledger_rows = std::stoll(argv[4]);
      tools::WriteLargeCatalog(argv[2], size, today_bs);
      std::cout << "Large catalog " << argv[2] << "\n";
      return 0;
    }
    if (mode == "history") {
      const int loans = argc > 3 ? std::stoi(argv[3]) : tools::LargeCatalog{}.loans;
      tools::AddHistory(argv[2], tools::History{}, loans, 20000000, today_bs);
      std::cout << "History added to " << argv[2] << "\n";
      return 0;
    }
  } catch (const base::AgentError& e) {
    std::cerr << e.Report() << "\n";
    return 1;
  }
  return Usage();
}
