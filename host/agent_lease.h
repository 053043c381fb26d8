#ifndef MAV_HOST_AGENT_LEASE_H_
#define MAV_HOST_AGENT_LEASE_H_

// Several agents on one catalog (the accounting application on several PCs, each starting
// the agent; a standby run by an administrator): the catalog says which of them works.
//
// Each kind of work has a lease: a row of MAV_Lease that one agent holds. "Catalog" covers
// the loan statements, the internet requests, the transfer dates and the ledger repairs;
// "SIM" covers the SIM requests and is taken only by an agent whose SIM outbox is open, so
// that a PC with the modem answers them even when another PC does the rest. The holder
// renews its row every kRenewInterval (Beat grows by one). The others stand by: once a
// second they read the row, and they take it over when the holder let go (Holder ""), when
// the holder is a process of their own machine that no longer runs, or when Beat has not
// moved for kLeaseTimeout, measured by their own steady clock. No two machines' clocks are
// ever compared. Taking over is one update that names the holder and the beat seen, so of
// two standbys only one succeeds, and a holder that wakes from a freeze finds its renewal,
// and every write fenced by its lease, refused.
//
// Fenced writes: a write that answers a request carries Fence() in its own condition, so
// the check that this agent holds the lease and the write are one statement. A SIM reply
// is also queued in an outbox, another database: the request is claimed first, by a fenced
// insert (sms/claims.h).

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "data/connection.h"

namespace host {

// Who this agent is, as other agents see it.
struct AgentIdentity {
  std::string token;  // "<host>/<pid>/<random>": unique to this run of the agent
  std::string host;   // the machine's name
  std::int64_t pid = 0;
};

// How often the holder renews its lease, and how long a beat may stand still before a
// standby takes the lease over. A takeover comes within kLeaseTimeout plus one check.
inline constexpr std::chrono::seconds kRenewInterval{5};
inline constexpr std::chrono::seconds kLeaseTimeout{30};
inline constexpr std::chrono::seconds kStandbyCheckInterval{1};

class AgentLease {
 public:
  // `name`: "Catalog" or "SIM". `alive` tells whether a process of this machine runs.
  AgentLease(std::string name, AgentIdentity me, std::function<bool(std::int64_t pid)> alive);

  // One step, at every tick: renews the lease when it is held and due; lets go when `may_hold`
  // is false; otherwise, at most every kStandbyCheckInterval, reads the row and takes the
  // lease when it is free, its holder's process on this machine is gone, or its beat stood
  // still for kLeaseTimeout (or makes the row when there is none). Returns held(). Throws
  // the catalog's errors (the lease then counts as not held).
  bool Refresh(data::Connection& main, std::chrono::steady_clock::time_point now, bool may_hold);

  // Lets go of a held lease so that a standby takes it at its next check (at the agent's
  // end). Never throws.
  void Release(data::Connection& main) noexcept;

  // Forgets the lease without writing (the catalog connection was lost: another agent may
  // have taken it meanwhile); the next Refresh finds out.
  void Drop() { held_ = false; }

  bool held() const { return held_; }

  // An SQL condition that is true while this agent holds the lease:
  // "exists (Select 1 from MAV_Lease Where ...)".
  std::string Fence() const;

  // The holder last seen while standing by ("" when none): its host and process.
  const std::string& holder_host() const { return seen_host_; }
  std::int64_t holder_pid() const { return seen_pid_; }
  const std::string& holder_token() const { return seen_holder_; }
  const std::string& name() const { return name_; }
  const std::string& token() const { return me_.token; }

 private:
  bool TakeOver(data::Connection& main, std::chrono::steady_clock::time_point now);

  std::string name_;
  AgentIdentity me_;
  std::function<bool(std::int64_t)> alive_;
  bool held_ = false;
  std::chrono::steady_clock::time_point renewed_{};
  std::chrono::steady_clock::time_point next_check_{};
  // The row as last read while standing by, and since when its holder and beat are the same.
  bool seen_row_ = false;
  std::string seen_holder_;
  std::string seen_host_;
  std::int64_t seen_pid_ = 0;
  std::int64_t seen_beat_ = 0;
  std::chrono::steady_clock::time_point seen_since_{};
};

}  // namespace host

#endif  // MAV_HOST_AGENT_LEASE_H_
