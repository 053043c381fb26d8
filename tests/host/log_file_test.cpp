#include "host/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/sms/sms_fixture.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Lines of 10 bytes with their CR LF in files of at most 36 bytes, three files kept: the
// newest lines survive, in order, each file within the cap.
TEST(RotatingLogFile, KeepsTheNewestLinesInCappedFiles) {
  test_support::TempDir dir;
  const fs::path path = dir.path() / "agent.log";
  {
    std::ofstream(path, std::ios::binary) << "old line\r\n";  // 10 bytes from an earlier run
  }
  std::string all = "old line\r\n";
  {
    RotatingLogFile log(path, 36, 3);
    ASSERT_TRUE(log.is_open());
    EXPECT_EQ(dir.path() / "agent.2.log", log.Numbered(2));
    for (int i = 10; i < 30; ++i) {
      const std::string line = "line " + std::to_string(i) + ".";
      log.Append(line);
      all += line + "\r\n";
    }
  }
  const std::string kept =
      Read(dir.path() / "agent.2.log") + Read(dir.path() / "agent.1.log") + Read(path);
  EXPECT_EQ(all.substr(all.size() - kept.size()), kept);
  EXPECT_EQ(90u, kept.size());  // three full files of three lines
  for (const char* name : {"agent.log", "agent.1.log", "agent.2.log"}) {
    EXPECT_LE(fs::file_size(dir.path() / name), 36u) << name;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "agent.3.log"));
}

// A line longer than the cap still goes into an empty file rather than being lost.
TEST(RotatingLogFile, LineLongerThanTheCapIsKept) {
  test_support::TempDir dir;
  RotatingLogFile log(dir.path() / "agent.log", 8, 2);
  log.Append("a long line");
  log.Append("next");
  EXPECT_EQ("a long line\r\n", Read(dir.path() / "agent.1.log"));
  EXPECT_EQ("next\r\n", Read(dir.path() / "agent.log"));
}

// The first folder where the file can be written: one that cannot be made (a file stands
// in its place) is passed over, a missing one is created.
TEST(OpenLogFile, FirstWritableFolder) {
  test_support::TempDir dir;
  std::ofstream(dir.path() / "blocked") << "x";
  const fs::path fallback = dir.path() / "Local" / "MAV Services";
  const auto file = OpenLogFile({dir.path() / "blocked", fallback});
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(fallback / "mav-services.log", file->path());
  EXPECT_EQ(nullptr, OpenLogFile({dir.path() / "blocked"}));
  EXPECT_EQ(nullptr, OpenLogFile({}));
}

// Complete lines go to the console as they are and to the file with the local date and
// time. A console that cannot be written (a desktop program on Windows has none) keeps
// nothing from the file.
TEST(LogBuffer, LinesToConsoleAndTimestampedToTheFile) {
  test_support::TempDir dir;
  const auto at = [] { return sms_test::LocalTime(2026, 12, 8, 14, 5, 9); };
  std::ostringstream console;
  {
    LogBuffer buffer(console, std::make_unique<RotatingLogFile>(dir.path() / "agent.log"), at);
    std::ostream log(&buffer);
    log << "Tick error in SMS: Error " << 94 << ": x" << std::endl;
    log << "half";
    EXPECT_EQ("Tick error in SMS: Error 94: x\n", console.str());
    log << " a line\nlast" << std::endl;
  }
  EXPECT_EQ("Tick error in SMS: Error 94: x\nhalf a line\nlast\n", console.str());
  {
    std::ostream no_console(nullptr);
    LogBuffer buffer(no_console, std::make_unique<RotatingLogFile>(dir.path() / "agent.log"), at);
    std::ostream log(&buffer);
    log << "Activity: 1 voucher repaired" << std::endl;
    log << "Activity: 2 vouchers repaired" << std::endl;
  }
  EXPECT_EQ(
      "2026-12-08 14:05:09 Tick error in SMS: Error 94: x\r\n"
      "2026-12-08 14:05:09 half a line\r\n"
      "2026-12-08 14:05:09 last\r\n"
      "2026-12-08 14:05:09 Activity: 1 voucher repaired\r\n"
      "2026-12-08 14:05:09 Activity: 2 vouchers repaired\r\n",
      Read(dir.path() / "agent.log"));
}

}  // namespace
}  // namespace host
