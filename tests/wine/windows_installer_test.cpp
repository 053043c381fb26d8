// The Windows installer under Wine: silent installs and uninstalls, the installed agent on
// the demo catalog, and the icon compiled into the executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "host/app_icon.h"
#include "host/command_line.h"
#include "host/environment.h"
#include "tests/host/agent_process.h"
#include "tests/support/test_catalog.h"
#include "tests/wine/wine_agent.h"
#include "tools/catalog_generator.h"

namespace {

namespace fs = std::filesystem;
using host_test::AgentExit;
using host_test::AgentProcess;

constexpr const char* kUninstallKey =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MAV Services";

// Runs a Windows program under Wine in the tests' prefix until it ends (at most 2 min).
AgentExit RunWindows(const fs::path& log_folder, std::vector<std::string> args,
                     const std::string& name) {
  AgentProcess process(MAV_WINE, wine_test::WineEnvironment({{"DISPLAY", ""}}), log_folder,
                       std::move(args), name);
  return process.Stop(0, std::chrono::seconds(120));
}

// An uninstaller copies itself to a temporary folder and works from there, so the program
// started returns at once: this waits until every program of the prefix has ended.
void WaitForWinePrograms() {
  std::string command;
  for (const auto& [name, value] : wine_test::WineEnvironment()) {
    command += name + "='" + value + "' ";
  }
  std::system((command + "wineserver -w >/dev/null 2>&1").c_str());
}

// A value of the installer's Programs and Features entry, as `reg query` prints it; "" when
// the entry or the value is missing.
std::string UninstallValue(const fs::path& log_folder, const std::string& value) {
  const AgentExit exit =
      RunWindows(log_folder, {"reg", "query", kUninstallKey, "/v", value}, "reg");
  const std::size_t at = exit.out.find("REG_");
  if (exit.status != 0 || at == std::string::npos) return "";
  std::string text = exit.out.substr(exit.out.find_first_of(" \t", at));
  text.erase(0, text.find_first_not_of(" \t"));
  return text.substr(0, text.find_first_of("\r\n"));
}

fs::path StartupShortcut() {
  return fs::path(MAV_WINE_PREFIX) / "drive_c" / "ProgramData" / "Microsoft" / "Windows" /
         "Start Menu" / "Programs" / "StartUp" / "MAV Services.lnk";
}

std::vector<unsigned char> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The images of an icon file, as IconFile writes them: windres copies each into the
// executable's resources as it is.
std::vector<std::vector<unsigned char>> IconImages(const std::vector<unsigned char>& ico) {
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::size_t>(ico[at] | ico[at + 1] << 8 | ico[at + 2] << 16);
  };
  std::vector<std::vector<unsigned char>> images;
  for (std::size_t entry = 6; entry < 6 + 16 * static_cast<std::size_t>(ico[4]); entry += 16) {
    images.emplace_back(ico.begin() + u32(entry + 12),
                        ico.begin() + u32(entry + 12) + u32(entry + 8));
  }
  return images;
}

// The demo program folder in `folder`, as the accounting installation would leave it: its
// settings file names the catalog and outbox by their Windows paths.
void WriteDemoFolder(const fs::path& folder) {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char today_ad[16];
  std::strftime(today_ad, sizeof today_ad, "%Y/%m/%d", &local);
  fs::create_directories(folder);
  tools::WriteSettingsFile(folder, wine_test::WindowsPath(folder), "MavDemo");
  tools::WriteSmsOutbox(folder / "SMSData.mdb");
  tools::CreateApplicationCatalog(folder / "MavDemo.db");
  tools::FillDemoCatalog(folder / "MavDemo.db", wine_test::WindowsPath(folder / "SMSData.mdb"),
                         today_ad, calendar::AdToBs(std::string(today_ad)));
}

// Zero once the agent has done the demo catalog's work (the SMS work only when online);
// -1 while the files are busy or not yet upgraded.
std::int64_t Pending(const fs::path& folder, bool online) {
  try {
    const auto open = [](const fs::path& file) {
      return data::OpenConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string());
    };
    std::int64_t left =
        open(folder / "MavDemo.db")
            ->Query(std::string("Select (Select count(*) from Master Where Fyear=4 and "
                                "(Status='LoanR' and Acode is null or Status='Deposit' and iDate "
                                "is null))") +
                    (online ? " + (Select count(*) from LoanStatement Where Message_Reply is "
                              "null) + (Select count(*) from LoanSMS Where Reply<>1)"
                            : ""))
            .rows.at(0)
            .at(0)
            .AsInt64();
    if (online) {
      left += 3 - open(folder / "SMSData.mdb")
                      ->Query("Select count(*) from Send")
                      .rows.at(0)
                      .at(0)
                      .AsInt64();
    }
    return left;
  } catch (const base::AgentError&) {
    return -1;
  }
}

// A silent install into the folder given with /D= (the accounting application's, with its
// settings and catalog), the installed agent answering the demo catalog and writing its log
// beside itself, and a silent uninstall that removes what the installer and the agent
// wrote, and nothing of the accounting application's.
TEST(WindowsInstaller, InstallsIntoTheGivenFolderRunsAndUninstalls) {
  ASSERT_TRUE(fs::exists(MAV_WINDOWS_INSTALLER)) << "scripts/windows builds the installer";
  test_support::TempDir dir;
  const fs::path folder = dir.path() / "accounting";
  WriteDemoFolder(folder);

  const AgentExit setup = RunWindows(
      dir.path(), {MAV_WINDOWS_INSTALLER, "/S", "/D=" + wine_test::WindowsPath(folder)}, "setup");
  ASSERT_EQ(0, setup.status) << setup.err;
  const char* const kInstalled[] = {"mav-services.exe", "README.txt", "LICENSES.txt",
                                    "uninstall-mav-services.exe"};
  for (const char* file : kInstalled) EXPECT_TRUE(fs::exists(folder / file)) << file;
  EXPECT_TRUE(fs::exists(StartupShortcut()));
  EXPECT_EQ(host::AgentVersion(), UninstallValue(dir.path(), "DisplayVersion"));
  const std::string uninstaller = wine_test::WindowsPath(folder / "uninstall-mav-services.exe");
  EXPECT_EQ("\"" + uninstaller + "\"", UninstallValue(dir.path(), "UninstallString"));

  // The executable carries the application icon, image for image.
  const std::vector<unsigned char> exe_bytes = ReadBytes(folder / "mav-services.exe");
  for (const auto& image : IconImages(host::IconFile(host::kIconFileSizes))) {
    EXPECT_NE(exe_bytes.end(),
              std::search(exe_bytes.begin(), exe_bytes.end(), image.begin(), image.end()))
        << image.size();
  }

  const std::string exe = wine_test::WindowsPath(folder / "mav-services.exe");
  const AgentExit version = RunWindows(dir.path(), {exe, "--version"}, "version");
  EXPECT_EQ(0, version.status);
  EXPECT_EQ(std::string("mav-services ") + host::AgentVersion(),
            version.out.substr(0, version.out.find_first_of("\r\n")));
  EXPECT_EQ(2, RunWindows(dir.path(), {exe, "--unknown"}, "unknown").status);

  const bool online = host::NetworkInterfaceUp();
  {
    AgentProcess agent(MAV_WINE, wine_test::WineEnvironment({{"DISPLAY", ""}}), dir.path(),
                       {exe, "--headless"}, "agent");
    const bool done =
        agent.WaitFor([&] { return Pending(folder, online) == 0; }, std::chrono::seconds(120));
    // Wine gives a desktop program no Ctrl-C: it is stopped as a power cut would stop it.
    const AgentExit exit = agent.Stop(SIGKILL);
    ASSERT_TRUE(done) << exit.err;
  }
  std::ifstream log_file(folder / "mav-services.log");
  std::string first_line;
  std::getline(log_file, first_line);
  EXPECT_TRUE(std::regex_match(first_line, std::regex("[-0-9]{10} [:0-9]{8} Activity: .*"
                                                      "vouchers repaired.*\r")))
      << first_line;

  RunWindows(dir.path(), {wine_test::WindowsPath(folder / "uninstall-mav-services.exe"), "/S"},
             "uninstall");
  WaitForWinePrograms();
  for (const char* file : kInstalled) EXPECT_FALSE(fs::exists(folder / file)) << file;
  EXPECT_FALSE(fs::exists(folder / "mav-services.log"));
  EXPECT_FALSE(fs::exists(StartupShortcut()));
  EXPECT_EQ("", UninstallValue(dir.path(), "DisplayVersion"));
  for (const char* file : {"mavdata.cdf", "MavDemo.db", "SMSData.mdb"}) {
    EXPECT_TRUE(fs::exists(folder / file)) << file;
  }
}

// Without /D= the installer chooses the accounting application's folder: a folder under
// Program Files, one level down, that holds its settings file.
TEST(WindowsInstaller, ChoosesTheAccountingApplicationsFolder) {
  ASSERT_TRUE(fs::exists(MAV_WINDOWS_INSTALLER)) << "scripts/windows builds the installer";
  test_support::TempDir dir;
  const fs::path program_files = fs::path(MAV_WINE_PREFIX) / "drive_c" / "Program Files";
  const fs::path vendor = program_files / "Cooperative Software";
  const fs::path folder = vendor / "Accounts";
  fs::create_directories(folder);
  tools::WriteSettingsFile(folder, "Z:\\nowhere", "MavDemo");
  // The folder of an earlier installation would come first.
  RunWindows(dir.path(), {"reg", "delete", "HKLM\\Software\\MAV Services", "/f"}, "reg");

  const AgentExit setup = RunWindows(dir.path(), {MAV_WINDOWS_INSTALLER, "/S"}, "setup");
  EXPECT_EQ(0, setup.status) << setup.err;
  EXPECT_TRUE(fs::exists(folder / "mav-services.exe"));
  EXPECT_FALSE(fs::exists(program_files / "MAV Services"));
  // Uninstalled from wherever it went, so that a failure leaves the prefix as it was.
  for (const fs::path& place : {folder, program_files / "MAV Services"}) {
    if (!fs::exists(place / "uninstall-mav-services.exe")) continue;
    RunWindows(dir.path(), {wine_test::WindowsPath(place / "uninstall-mav-services.exe"), "/S"},
               "uninstall");
    WaitForWinePrograms();
  }
  fs::remove_all(vendor);
}

}  // namespace
