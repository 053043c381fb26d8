#include "sms/claims.h"

#include "base/agent_error.h"

namespace sms {

namespace {

std::string ClaimWhere(const RequestKey& request) {
  const std::vector<std::string> texts = request.Texts();
  if (texts.size() != 4) {
    throw base::AgentError(base::kDatabaseError,
                           "Only SIM requests are claimed: " + request.Describe());
  }
  return "MAV_Claim.RequestTable=" + data::SqlText(request.table) +
         " and MAV_Claim.RequestSN=" + data::SqlText(texts[0]) +
         " and MAV_Claim.Mobile=" + data::SqlText(texts[1]) +
         " and MAV_Claim.Accode=" + data::SqlText(texts[2]) +
         " and MAV_Claim.RequestDate=" + data::SqlText(texts[3]);
}

std::string Fenced(const std::string& fence) { return fence.empty() ? "" : " and " + fence; }

}  // namespace

std::map<std::vector<std::string>, Claim> ReadClaims(data::Connection& main,
                                                     const std::string& table) {
  std::map<std::vector<std::string>, Claim> claims;
  const data::QueryResult rows = main.Query(
      "Select RequestSN,Mobile,Accode,RequestDate,Holder,OutboxId from MAV_Claim Where "
      "RequestTable=" +
      data::SqlText(table));
  for (const auto& row : rows.rows) {
    std::vector<std::string> texts;
    for (int i = 0; i < 4; ++i) texts.push_back(row[i].AsText());
    claims[texts] = Claim{row[4].AsText(), row[5].AsText()};
  }
  return claims;
}

std::optional<Claim> FindClaim(data::Connection& main, const RequestKey& request) {
  const data::QueryResult found =
      main.QueryFirstRows("Select Holder,OutboxId from MAV_Claim Where " + ClaimWhere(request), 1);
  if (found.rows.empty()) return std::nullopt;
  return Claim{found.rows[0][0].AsText(), found.rows[0][1].AsText()};
}

bool HoldsClaim(data::Connection& main, const RequestKey& request, const std::string& holder,
                const std::string& fence) {
  return main.Query("Select count(*) from MAV_Claim Where " + ClaimWhere(request) +
                    " and MAV_Claim.Holder=" + data::SqlText(holder) + Fenced(fence))
             .rows.at(0)
             .at(0)
             .AsInt64() > 0;
}

bool InsertClaim(data::Connection& main, const RequestKey& request, const Claim& claim,
                 const std::string& fence) {
  const std::vector<std::string> texts = request.Texts();
  // Insert ... Select without From: the row goes in only when the conditions hold, all in
  // one statement. The unique index makes a second claim fail even where two agents test
  // "not exists" at the same moment.
  return main.Execute(
             "Insert into MAV_Claim(RequestTable,RequestSN,Mobile,Accode,RequestDate,Holder,"
             "OutboxId) Select " +
             data::SqlText(request.table) + "," + data::SqlText(texts.at(0)) + "," +
             data::SqlText(texts.at(1)) + "," + data::SqlText(texts.at(2)) + "," +
             data::SqlText(texts.at(3)) + "," + data::SqlText(claim.holder) + "," +
             data::SqlText(claim.outbox_id) + " Where not exists (Select 1 from MAV_Claim Where " +
             ClaimWhere(request) + ")" + Fenced(fence)) == 1;
}

bool TakeOverClaim(data::Connection& main, const RequestKey& request, const std::string& old_holder,
                   const Claim& claim, const std::string& fence) {
  return main.Execute("Update MAV_Claim set Holder=" + data::SqlText(claim.holder) + ",OutboxId=" +
                      data::SqlText(claim.outbox_id) + " Where " + ClaimWhere(request) +
                      " and MAV_Claim.Holder=" + data::SqlText(old_holder) + Fenced(fence)) == 1;
}

bool DeleteClaim(data::Connection& main, const RequestKey& request, const std::string& holder) {
  return main.Execute("Delete from MAV_Claim Where " + ClaimWhere(request) +
                      " and MAV_Claim.Holder=" + data::SqlText(holder)) > 0;
}

std::string ClaimedBy(const RequestKey& request, const std::string& holder) {
  return "exists (Select 1 from MAV_Claim Where " + ClaimWhere(request) +
         " and MAV_Claim.Holder=" + data::SqlText(holder) + ")";
}

std::string ClaimedByAnother(const RequestKey& request, const std::string& holder) {
  return "exists (Select 1 from MAV_Claim Where " + ClaimWhere(request) +
         " and MAV_Claim.Holder<>" + data::SqlText(holder) + ")";
}

}  // namespace sms
