#ifndef MAV_SMS_CLAIMS_H_
#define MAV_SMS_CLAIMS_H_

// Claims on SIM requests, in the accounting catalog, for several agents on one catalog.
//
// A SIM reply is written in two databases: queued in the outbox of the agent's PC, then the
// request marked in the catalog. No transaction spans both, and another agent cannot see an
// outbox that is not its own. So before it queues, the agent that works on SIM requests
// claims the request in the catalog: the claim is inserted only while the agent holds the
// SIM work (the lease's condition is part of the insert), and the mark only while the claim
// is the agent's (part of the update). An agent that finds a request claimed by another
// leaves it alone; the claimant, or an agent that can look into the claimant's outbox,
// settles it (see the SIM stage in check_sms.cpp).
//
//   MAV_Claim(RequestTable, RequestSN, Mobile, Accode, RequestDate, Holder, OutboxId)
//     the request's fields as the outbox's memory stores them (unique together); Holder the
//     claiming agent's token; OutboxId the Id of the outbox it queues in (outbox_memory.h)

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "sms/request_key.h"

namespace sms {

struct Claim {
  std::string holder;     // token of the claiming agent
  std::string outbox_id;  // the outbox it queues in
};

// The claims on requests of `table`, by the request's field texts (RequestKey::Texts).
std::map<std::vector<std::string>, Claim> ReadClaims(data::Connection& main,
                                                     const std::string& table);

// The claim on `request`, std::nullopt when there is none.
std::optional<Claim> FindClaim(data::Connection& main, const RequestKey& request);

// True when `holder` holds the claim on `request` and `fence` is true (one query).
bool HoldsClaim(data::Connection& main, const RequestKey& request, const std::string& holder,
                const std::string& fence);

// Claims `request` for `claim`, provided nobody holds a claim on it and `fence` (an SQL
// condition: this agent holds the work) is true, in one statement. True when claimed.
bool InsertClaim(data::Connection& main, const RequestKey& request, const Claim& claim,
                 const std::string& fence);

// Takes the claim on `request` over from `old_holder`, provided it is still theirs and
// `fence` is true, in one statement. True when taken.
bool TakeOverClaim(data::Connection& main, const RequestKey& request, const std::string& old_holder,
                   const Claim& claim, const std::string& fence);

// Removes the claim on `request` when `holder` holds it; true when one was removed.
bool DeleteClaim(data::Connection& main, const RequestKey& request, const std::string& holder);

// SQL conditions on `request`'s claim: held by `holder`; held by someone other than
// `holder`.
std::string ClaimedBy(const RequestKey& request, const std::string& holder);
std::string ClaimedByAnother(const RequestKey& request, const std::string& holder);

}  // namespace sms

#endif  // MAV_SMS_CLAIMS_H_
