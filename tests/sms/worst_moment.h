#ifndef MAV_TESTS_SMS_WORST_MOMENT_H_
#define MAV_TESTS_SMS_WORST_MOMENT_H_

// The worst moment to kill the agent, found from outside: its message queued in the outbox,
// the request not yet marked.

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/host/agent_process.h"

namespace sms_test {

// A count on the catalog or the outbox (-1 while the file is busy).
using CountOf = std::function<std::int64_t(const std::string& sql)>;

// Whether a writer could begin on the SQLite file now, without waiting: false while another
// connection holds its write lock.
inline bool WriteLockFree(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  bool free = false;
  if (sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    free = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (free) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  sqlite3_close(db);
  return free;
}

// Once a claim on request `sn` stands in the catalog, lets the agent run in steps of a
// fraction of a millisecond, frozen between them, until the outbox holds the record of the
// request's message while the request is still pending and the agent no longer holds the
// outbox's write lock (SQLite makes a commit visible a moment before it lets the lock go; a
// gateway could not take the message from an agent frozen in between): then it stays frozen
// and this returns true. The outbox's commit waits for the disk, and the agent stops right
// after it.
// False (the agent running again) when the request was marked first, or no claim came
// within 20 s.
inline bool FreezeAfterQueuingBeforeMarking(host_test::AgentProcess& agent, int sn,
                                            const CountOf& catalog, const CountOf& outbox,
                                            const std::filesystem::path& outbox_file) {
  const std::string id = std::to_string(sn);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (catalog("Select count(*) from MAV_Claim where RequestSN='" + id + "'") <= 0) {
    if (std::chrono::steady_clock::now() > end) return false;
  }
  agent.Freeze();
  for (int step = 0; step < 2000; ++step) {
    const bool queued = outbox("Select count(*) from MAV_Sent where RequestSN='" + id + "'") == 1;
    const bool pending = catalog("Select count(*) from LoanSMS where Reply<>1 and SN=" + id) == 1;
    if (queued && pending && WriteLockFree(outbox_file)) return true;
    if (!pending) break;
    agent.Thaw();
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    agent.Freeze();
  }
  agent.Thaw();
  return false;
}

}  // namespace sms_test

#endif  // MAV_TESTS_SMS_WORST_MOMENT_H_
