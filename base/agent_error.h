#ifndef MAV_BASE_AGENT_ERROR_H_
#define MAV_BASE_AGENT_ERROR_H_

#include <stdexcept>
#include <string>

namespace base {

// Error numbers shown to people ("Error <number>: <description>"). The values are
// persisted in logs and reports: add new ones, never renumber.
enum ErrorNumber : int {
  kOverflow = 6,             // a value does not fit its fixed-width integer type
  kSubscriptOutOfRange = 9,  // a table index (BS year or month) outside its range
  kDivisionByZero = 11,
  kTypeMismatch = 13,           // text that is not a number or not a date
  kInvalidUseOfNull = 94,       // a Null where a value is required
  kFileNotFound = 53,           // a file the agent must open is missing
  kMissingDate = 1001,          // a day count asked of "" or "0000/00/00"
  kDatabaseError = 3000,        // generic database failure (no native number known)
  kConnectionFailed = 3001,     // a provider, file, server or catalog that cannot be opened
  kConnectionLost = 3002,       // an open connection that no longer reaches its database
  kDatabaseBusy = 3003,         // another program holds a lock the statement waited for in
                                // vain, or the server is too busy (a deadlock victim)
  kLoginRejected = 3004,        // the server refused the login (user or password, catalog)
  kNotConfigured = 3005,        // the settings name no catalog (no active Settings row)
  kWorkLost = 3006,             // another agent on the same catalog took this agent's work
  kFieldNotFound = 3265,        // a record set has no field of that name or position
  kNoCurrentRecord = 3021,      // a field read at the end or the beginning of a record set
  kOperationNotAllowed = 3219,  // a move a record set's cursor does not offer (backward on
                                // a forward-only set)
};

// True for the failures of a connection rather than of one statement: the database cannot
// be opened or reached any more (kConnectionFailed, kConnectionLost). Every later statement
// on that connection would fail the same way, so work on it stops and it is reopened.
constexpr bool IsConnectionError(int number) {
  return number == kConnectionFailed || number == kConnectionLost;
}

// True for the failures that go away by themselves: a database out of reach, a lock another
// program holds, a busy server. Start-up waits these out instead of ending; every other
// failure (a missing settings file, a rejected login, a statement refused for its syntax or
// for want of permission) stays until someone mends it.
constexpr bool WaitingMends(int number) {
  return IsConnectionError(number) || number == kDatabaseBusy;
}

// The one exception type of the agent: a number and a description.
class AgentError : public std::runtime_error {
 public:
  AgentError(int number, std::string description);

  int number() const { return number_; }
  const std::string& description() const { return description_; }

  // "Error <number>: <description>", as start-up reports it.
  std::string Report() const;

 private:
  int number_;
  std::string description_;
};

}  // namespace base

#endif  // MAV_BASE_AGENT_ERROR_H_
