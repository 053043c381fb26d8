#ifndef MAV_TESTS_SUPPORT_GAMMU_SMSD_H_
#define MAV_TESTS_SUPPORT_GAMMU_SMSD_H_

// gammu-smsd beside the agent for end-to-end tests and benchmarks, with gammu's dummy phone:
// no modem, every message "sent" at once with status SendingOKNoReport.
//
//   const std::filesystem::path smsd = test_support::FindGammuSmsd();
//   if (smsd.empty()) GTEST_SKIP() << test_support::kNoGammuSmsd;
//   const auto config = test_support::WriteGammuSmsdConfig(dir / "smsd", outbox_file);
//   host_test::AgentProcess daemon(smsd, {}, dir / "smsd", {"-c", config.string()}, "smsd");

#include <filesystem>

namespace test_support {

inline constexpr const char* kNoGammuSmsd =
    "gammu-smsd is not installed (Debian packages gammu-smsd and libdbd-sqlite3; "
    "scripts/setup installs them)";

// The gammu-smsd executable on PATH (or in /usr/bin or /usr/sbin); empty when there is none.
std::filesystem::path FindGammuSmsd();

// Writes `folder`/smsdrc (the folder is created): the dummy phone in `folder`/phone, the SQL
// service on the SQLite file `database` (driver sqlite3, dbdir its folder), one-second
// communication timeout and loop, the log in `folder`/smsd.log. Returns the file's path.
std::filesystem::path WriteGammuSmsdConfig(const std::filesystem::path& folder,
                                           const std::filesystem::path& database);

}  // namespace test_support

#endif  // MAV_TESTS_SUPPORT_GAMMU_SMSD_H_
