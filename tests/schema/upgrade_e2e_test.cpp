// The schema upgrade as start-up runs it: the agent's executable, headless, on an old catalog.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/schema/schema_test_util.h"
#include "tests/support/test_catalog.h"

namespace {

using schema_test::RawCatalog;

// Runs `exe` without a display, its standard output into a pipe and its errors into
// `error_file`. Returns the child's id and the pipe's reading end.
pid_t Start(const std::filesystem::path& exe, const std::filesystem::path& home,
            const std::filesystem::path& error_file, int* out_fd) {
  int fds[2];
  if (pipe(fds) != 0) {
    return -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    const int err = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) {
      dup2(err, STDERR_FILENO);
    }
    close(fds[0]);
    close(fds[1]);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("HOME", home.c_str(), 1);  // where the print database copy would go
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  *out_fd = fds[0];
  return pid;
}

// The first line the child writes (its status line, shown once start-up is over), or "" when it
// closes its output first (or never writes: the wait is a safety limit for a hung start-up, not a
// speed check).
std::string FirstLine(int fd) {
  std::string line;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < give_up) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) {
      continue;
    }
    char c;
    if (read(fd, &c, 1) != 1) {
      return "";
    }
    if (c == '\n') {
      return line;
    }
    line += c;
  }
  return "";
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(UpgradeThroughTheAgent, OldCatalogIsAtTheCurrentLevelAfterStart) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path());
  catalog.Insert("YearSetting", {{"SN", 3},
                                 {"Fyear", "2081/82"},
                                 {"Dfrom", "2081/04/01"},
                                 {"Dto", "2082/03/31"},
                                 {"Using", true}});
  catalog.Insert("OtherSetting", {{"SN", 1}, {"p1", 12.0}, {"p2", 2.0}, {"p3", 1.0}});
  catalog.Insert("Acc", {{"ACCODE", 501}, {"Name", "Sita"}, {"Nalias", data::Value()}});
  catalog.Insert("Master", {{"CODE", 501}, {"VOUCHER_NO", 1}, {"Fyear", 3}});
  test_support::ProgramFolder program(dir.path() / "program");
  program.PointAt(catalog);
  const std::filesystem::path exe = program.InstallExecutable();
  const std::filesystem::path errors = dir.path() / "errors.txt";

  int out = -1;
  const pid_t pid = Start(exe, dir.path(), errors, &out);
  ASSERT_GT(pid, 0);
  const std::string first = FirstLine(out);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  close(out);

  ASSERT_NE("", first) << "start-up ended: " << ReadFile(errors);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(errors);

  RawCatalog raw(catalog.file());
  for (const char* table : {"MsgRoom", "CheckRepair", "District", "SMSSetting", "LoanStatement",
                            "PRSetting", "Security", "Activation"}) {
    EXPECT_TRUE(raw.HasTable(table)) << table;
  }
  EXPECT_TRUE(RawCatalog(dir.path() / "Master.db").HasTable("LoginInfo"));
  EXPECT_EQ("76", raw.Scalar("select count(*) from District"));
  EXPECT_TRUE(raw.HasColumn("OtherSetting", "Basis"));
  EXPECT_TRUE(raw.HasColumn("OtherSetting", "NoInterest"));
  EXPECT_EQ("1", raw.Scalar("select BranchID from Master"));
  EXPECT_EQ("===", raw.Scalar("select Nalias from Acc"));
}

}  // namespace
