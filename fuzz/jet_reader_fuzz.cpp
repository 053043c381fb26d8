// The Jet reader, in this process, on any file (seeded with the test files): the file is
// opened and every user table copied into an in-memory SQLite database. AgentError is the
// expected outcome for a damaged file. mdbtools' own faults show up here too; the agent
// meets them only in its reader child (data/jet_file.cpp).

#include <sqlite3.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/agent_error.h"
#include "data/jet_reader.h"

// mdbtools writes warnings to stderr, on a damaged catalog in an endless loop. libFuzzer's
// timeout is a signal whose handler writes to stderr too: arriving inside one of those
// warnings, it waited for ever on the stream's lock that the warning held, and the run never
// ended. Without the lock the handler reports the timeout and ends the run; at worst its
// report is mixed into the interrupted warning.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __fsetlocking(stderr, FSETLOCKING_BYCALLER);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // mdbtools opens files by name: the input is a memory file named through /proc.
  const int fd = memfd_create("jet", MFD_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  try {
    data::JetReader reader("/proc/self/fd/" + std::to_string(fd));
    for (const std::string& table : reader.TableNames()) {
      try {
        reader.CopyTable(table, db);
      } catch (const base::AgentError&) {
      }
    }
  } catch (const base::AgentError&) {
  }
  sqlite3_close(db);
  close(fd);
  return 0;
}
