// The SMS pass of every online tick: pending requests answered with the composed replies,
// and transfer rows given their BS date.

#include <cmath>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "data/record_set.h"
#include "loans/loan_settings.h"
#include "sms/claims.h"
#include "sms/gammu_outbox.h"
#include "sms/outbox.h"
#include "sms/outbox_memory.h"
#include "sms/reply_messages.h"
#include "sms/request_key.h"
#include "sms/sms_service.h"

namespace sms {

namespace {

data::Connection& Main(SmsContext& context) {
  if (context.MainConnection == nullptr) {
    throw base::AgentError(base::kConnectionFailed, "The accounting catalog is not open");
  }
  return *context.MainConnection;
}

std::chrono::system_clock::time_point Now(const SmsContext& context) {
  return context.now ? context.now() : std::chrono::system_clock::now();
}

std::chrono::steady_clock::time_point Clock(const SmsContext& context) {
  return context.clock ? context.clock() : std::chrono::steady_clock::now();
}

std::string RequiredText(const data::RecordSet& rs, const char* column) {
  const data::Value& value = rs.Field(column);
  if (value.IsNull()) {
    throw base::AgentError(base::kInvalidUseOfNull, std::string(column) + " is Null");
  }
  return value.AsText();
}

// An account code handed to a composer: rounded to a whole number, as the system always
// converted it.
std::int32_t RequiredInt32(const data::RecordSet& rs, const char* column) {
  const data::Value& value = rs.Field(column);
  if (value.IsNull()) {
    throw base::AgentError(base::kInvalidUseOfNull, std::string(column) + " is Null");
  }
  return value.AsInt32();
}

// A key that a statement names its row by. It is never rounded: a serial stored as 1.5
// would otherwise mark the row of serial 2. Throws kTypeMismatch for a value that is not a
// whole number.
std::int32_t WholeKey(const data::RecordSet& rs, const char* column) {
  const data::Value& value = rs.Field(column);
  if (value.IsNull()) {
    throw base::AgentError(base::kInvalidUseOfNull, std::string(column) + " is Null");
  }
  if (const auto* whole = std::get_if<std::int64_t>(&value.raw())) {
    return base::CheckedInt32(*whole);
  }
  const double x = value.AsDouble();
  if (x != std::trunc(x)) {
    throw base::AgentError(base::kTypeMismatch,
                           std::string(column) + " " + value.AsText() + " is not a whole number");
  }
  return base::ToInt32(x);
}

// A lost connection, or the work taken over by another agent: no row after it can succeed.
bool EndsTheStage(int number) {
  return base::IsConnectionError(number) || number == base::kWorkLost;
}

// Runs the work of one request row (or one eDate group). A failure leaves the row pending;
// it is reported the first time it happens, not on every retry, and the row is tried again
// only once its delay has passed. A connection error, or the work lost to another agent, is
// no fault of the row: it travels on and ends the stage.
void ForOneRow(SmsContext& context, const std::string& key, const std::function<void()>& work) {
  auto failed = context.sms->failed_rows.find(key);
  if (failed != context.sms->failed_rows.end() && !failed->second.retry.Ready(Clock(context))) {
    return;
  }
  int number = base::kDatabaseError;
  std::string description;
  try {
    work();
    if (failed != context.sms->failed_rows.end()) context.sms->failed_rows.erase(failed);
    return;
  } catch (const base::AgentError& e) {
    if (EndsTheStage(e.number())) throw;
    number = e.number();
    description = e.description();
  } catch (const std::exception& e) {
    description = e.what();
  }
  const std::string what = std::to_string(number) + ": " + description;
  if (failed == context.sms->failed_rows.end()) {
    failed = context.sms->failed_rows.try_emplace(key).first;
  }
  failed->second.retry.Failed(Clock(context));
  if (failed->second.error == what) return;
  failed->second.error = what;
  if (context.report_error) {
    context.report_error(base::AgentError(number, key + ": " + description));
  }
}

// The SIM outbox, closed after it was lost: SMSLocalReady stays down until SetSMSDatabase
// has opened it again, after the retry delay.
void LoseOutbox(SmsContext& context, const base::AgentError& e) {
  SmsState& sms = *context.sms;
  sms.SMSConnection.reset();
  sms.SMSLocalReady = false;
  sms.outbox_retry.Failed(Clock(context));
  const std::string why = "SMS outbox lost: " + sms.SMSDatabaseName + ": " + e.Report();
  if (sms.outbox_down.empty() && context.notice) context.notice(why);
  sms.outbox_down = why;
}

// An outbox operation; a lost outbox is closed before the error travels on.
template <typename Operation>
auto OnOutbox(SmsContext& context, Operation operation) {
  try {
    return operation();
  } catch (const base::AgentError& e) {
    if (base::IsConnectionError(e.number())) LoseOutbox(context, e);
    throw;
  }
}

// SIM requests: each reply queued once in the modem's outbox and stored in LoanSMS.
//
// Exactly once. The request lives in the catalog, its message in the outbox, another
// database, and no transaction spans both; the agent may die between any two writes (a kill,
// a power cut), a write may fail, and the gateway takes messages out of the outbox within a
// second (gammu-smsd moves them to sentitems, modem software deletes what it sent). So the
// outbox remembers what it was given: the transaction that queues a message also records,
// in the outbox's own file, which request it answers and its text (outbox_memory.h). Then:
//   1. a pending request whose record is in the outbox was answered by an earlier attempt
//      that did not get to its mark, or before a backup of the catalog was put back: it is
//      only marked, with the text that went out, whatever became of the message;
//   2. otherwise the reply is composed and queued with its record, then the request marked.
// The record is on the disk before the mark begins (the outbox syncs every commit), so the
// mark itself need not be: a mark undone by a power cut is made again by step 1. A member
// who asks twice makes a new request row, which has no record, and gets two replies.
// A mark that fails, or does not change exactly one row, takes the message back (with its
// record) while it still waits unsent, unless the request, read again, shows it was marked
// with it after all. A connection lost during the mark leaves the outcome unknown: the
// message stays and step 1 settles it.
//
// Several agents (see claims.h): between the compose and the queue the request is claimed
// in the catalog, by an insert fenced by the SIM lease; the queue's transaction checks that
// the claim and the lease are still this agent's before it writes; the mark changes the row
// only while the claim is this agent's. A request claimed by another agent is left to it,
// unless that agent queues in this agent's outbox (then the outbox's memory tells what it
// did) or its claim has stood for kForeignClaimGrace.

std::string Pending(const std::string& where) { return where + " and Reply<>1"; }

base::AgentError ManyRows(const RequestKey& key, std::int64_t rows) {
  return base::AgentError(base::kDatabaseError, key.Describe() + " names " + std::to_string(rows) +
                                                    " pending rows: none of them is answered");
}

// True while `fence` (an SQL condition: this agent holds some work) holds; "" always does.
bool Holds(data::Connection& main, const std::string& fence) {
  return fence.empty() || !main.QueryFirstRows("Select 1 as Held Where " + fence, 1).rows.empty();
}

// Marks the request `where` names with `text`, in one transaction: the row changes only while
// it is pending and `guard` holds, exactly one row must change, and this agent's claim on it
// goes. Returns the rows the update changed; nothing is committed unless it is 1.
std::int64_t MarkSimRequest(SmsContext& context, const RequestKey& key, const std::string& where,
                            const std::string& text, const std::string& guard) {
  data::Connection& main = Main(context);
  data::Transaction transaction(main);
  const std::int64_t marked =
      main.Execute("Update LoanSMS set Reply=1,[Send]=" + data::SqlText(text) +
                   ",Fyear=" + std::to_string(context.CurFyear) + " Where " + Pending(where) +
                   (guard.empty() ? "" : " and " + guard));
  if (marked != 1) return marked;
  if (!context.work.holder.empty()) DeleteClaim(main, key, context.work.holder);
  transaction.Commit();
  return marked;
}

// Step 1: the request's message went out earlier; the request is marked with its text,
// unless another agent claims it (that one settles it).
void SettleSimRequest(SmsContext& context, const RequestKey& key, const std::string& where,
                      const std::string& text) {
  const std::string& me = context.work.holder;
  const std::int64_t marked = MarkSimRequest(context, key, where, text,
                                             me.empty() ? "" : "not " + ClaimedByAnother(key, me));
  if (marked == 1) {
    ++context.sms->activity.sim_answered;
    return;
  }
  if (marked > 1) throw ManyRows(key, marked);
  if (!me.empty()) {
    const std::optional<Claim> claim = FindClaim(Main(context), key);
    if (claim && claim->holder != me) return;
  }
  throw base::AgentError(base::kDatabaseError,
                         "Update LoanSMS marked no row for " + key.Describe());
}

// What this agent may do with a request, as the claims stood when the stage began.
enum class ClaimStep { kClaim, kOwn, kTakeOver, kLeave };

// No claim: claim it. This agent's: go on. Another agent's claim is taken over when that
// agent queues in this agent's outbox (it does not hold the SIM work now, or this agent
// would not, and the outbox's memory settles what it did), or when it has stood for
// kForeignClaimGrace; otherwise the request waits for its claimant.
ClaimStep StepFor(SmsContext& context, const RequestKey& key, std::string* holder) {
  SmsState& sms = *context.sms;
  const std::vector<std::string> texts = key.Texts();
  const auto claim = sms.pass.claims.find(texts);
  if (claim == sms.pass.claims.end()) return ClaimStep::kClaim;
  *holder = claim->second.holder;
  if (claim->second.holder == context.work.holder) return ClaimStep::kOwn;
  if (claim->second.outbox_id == sms.outbox_id) return ClaimStep::kTakeOver;
  const auto now = Clock(context);
  const auto seen = sms.foreign_claims.try_emplace(texts, now).first;
  return now - seen->second >= kForeignClaimGrace ? ClaimStep::kTakeOver : ClaimStep::kLeave;
}

void AnswerSimRequest(SmsContext& context, const data::RecordSet& rs) {
  SmsState& sms = *context.sms;
  data::Connection& main = Main(context);
  const std::string& me = context.work.holder;
  const RequestKey key = SimRequestKey(rs);
  const std::string where = key.Where();
  const std::unique_ptr<Outbox> outbox = MakeOutbox(*sms.SMSConnection, sms.gammu_version);

  std::string claimant;
  ClaimStep step = me.empty() ? ClaimStep::kOwn : StepFor(context, key, &claimant);
  if (step == ClaimStep::kLeave) return;
  if (step == ClaimStep::kTakeOver) {
    if (!TakeOverClaim(main, key, claimant, Claim{me, sms.outbox_id}, context.work.sim_fence)) {
      if (!Holds(main, context.work.sim_fence)) {
        throw base::AgentError(base::kWorkLost, "Another agent took the SIM requests over");
      }
      return;  // the claim changed hands since the stage began
    }
    sms.foreign_claims.erase(key.Texts());
    step = ClaimStep::kOwn;
  }

  if (const auto sent = OnOutbox(context, [&] { return outbox->FindSent(key); })) {
    SettleSimRequest(context, key, where, sent->text);
    return;
  }

  // The reply is composed before anything else of the row is read: a composition leaves
  // the loan figures behind (InterestDue is the next reply's penal base), also when the row
  // then fails.
  std::int32_t accode = RequiredInt32(rs, "Accode");
  std::string date = RequiredText(rs, "Date");
  const std::string reply = ComposeReportSMS(*context.loans, sms, accode, date);
  const std::string mobile = outbox->Destination(rs.Field("Mobile"));

  // One request, one row: a key that names several pending rows answers none of them.
  const std::int64_t rows =
      main.Query("Select count(*) from LoanSMS Where " + Pending(where)).rows.at(0).at(0).AsInt64();
  if (rows > 1) throw ManyRows(key, rows);
  if (rows == 0) return;  // answered since the stage read it

  if (step == ClaimStep::kClaim &&
      !InsertClaim(main, key, Claim{me, sms.outbox_id}, context.work.sim_fence)) {
    if (!Holds(main, context.work.sim_fence)) {
      throw base::AgentError(base::kWorkLost, "Another agent took the SIM requests over");
    }
    return;  // claimed by another agent since the stage began: it answers
  }

  // Inside the outbox's transaction, right before it writes: still this agent's request.
  const auto still_ours = [&] {
    if (!me.empty() && !HoldsClaim(main, key, me, context.work.sim_fence)) {
      throw base::AgentError(base::kWorkLost,
                             key.Describe() + " is no longer this agent's to answer");
    }
  };
  std::optional<std::int64_t> queued;
  try {
    queued = OnOutbox(context,
                      [&] { return outbox->Queue(key, mobile, reply, Now(context), still_ours); });
  } catch (const base::AgentError& e) {
    // Nothing was queued: the claim goes, so that whoever works next answers the request.
    if (e.number() == base::kWorkLost && !me.empty()) DeleteClaim(main, key, me);
    throw;
  }
  if (queued) ++sms.activity.messages_queued;
  if (!queued) {
    // An agent that shares this outbox queued it meanwhile.
    if (const auto sent = outbox->FindSent(key)) SettleSimRequest(context, key, where, sent->text);
    return;
  }

  // Takes the message back unless the request turns out to be marked with it.
  auto withdraw = [&] {
    try {
      const data::QueryResult again = main.Query("Select Reply,[Send] from LoanSMS Where " + where);
      for (const auto& row : again.rows) {
        if (row[0] == data::Value(1) && row[1] == data::Value(reply)) return;
      }
      outbox->Withdraw(key, *queued, mobile, reply);
      if (!me.empty()) DeleteClaim(main, key, me);
    } catch (const std::exception&) {
      // The message stays; the next attempt finds its record and only marks the request.
    }
  };
  std::int64_t marked = 0;
  try {
    marked = MarkSimRequest(context, key, where, reply, me.empty() ? "" : ClaimedBy(key, me));
  } catch (const base::AgentError& e) {
    if (!base::IsConnectionError(e.number())) withdraw();
    throw;
  }
  if (marked == 1) {
    ++sms.activity.sim_answered;
    return;
  }
  withdraw();
  if (marked > 1) throw ManyRows(key, marked);
  throw base::AgentError(base::kDatabaseError,
                         "Update LoanSMS marked no row for " + key.Describe());
}

// The stages of a pass. Each opens its pending rows the first time it runs and works them
// off in order, over as many calls as the budget needs.

void OpenSimRequests(SmsContext& context, data::RecordSet& rs) {
  SmsState& sms = *context.sms;
  loans::LoadLoanSettings(*context.loans);
  rs.Open(Main(context), "Select * from LoanSMS Where Reply<>1");
  sms.pass.claims.clear();
  if (!context.work.holder.empty()) sms.pass.claims = ReadClaims(Main(context), "LoanSMS");
  // Once a day the outbox's memory lets go of the records older than any pending request.
  const std::string today = GammuLocalTime(Now(context)).substr(0, 10);
  if (sms.pruned_on != today && sms.SMSConnection) {
    OnOutbox(context, [&] { PruneSent(*sms.SMSConnection, Now(context) - kSentRecordLifetime); });
    sms.pruned_on = today;
  }
}

void OpenInternetRequests(SmsContext& context, data::RecordSet& rs) {
  loans::LoadLoanSettings(*context.loans);
  rs.Open(Main(context), "Select * from SMSService Where Reply is null");
}

// Stores the reply of an internet request or a loan statement: `set` names the column, the
// row is named by its key and changes only while it is pending (`pending`) and this agent
// holds the catalog work, in one statement; exactly one row must change (otherwise nothing
// is, and the row stays pending).
void StoreReply(SmsContext& context, const RequestKey& key, const std::string& set,
                const std::string& pending, const std::string& reply) {
  data::Connection& main = Main(context);
  const std::string where = key.Where();
  const std::string& fence = context.work.catalog_fence;
  data::Transaction transaction(main);
  const std::int64_t changed =
      main.Execute("Update " + key.table + " set " + set + "=" + data::SqlText(reply) + " Where " +
                   where + " and " + pending + (fence.empty() ? "" : " and " + fence));
  if (changed == 1) {
    transaction.Commit();
    return;
  }
  if (changed > 1) {
    throw base::AgentError(base::kDatabaseError, key.Describe() + " names " +
                                                     std::to_string(changed) +
                                                     " pending rows: none of them is answered");
  }
  if (!Holds(main, fence)) {
    throw base::AgentError(base::kWorkLost, "Another agent took the catalog's requests over");
  }
  throw base::AgentError(base::kDatabaseError,
                         "Update " + key.table + " marked no row for " + key.Describe());
}

void AnswerInternetRequest(SmsContext& context, const data::RecordSet& rs) {
  std::int32_t accode = RequiredInt32(rs, "Customer_ID");
  std::string date = RequiredText(rs, "Date");
  const std::string reply = ComposeReportSMS(*context.loans, *context.sms, accode, date);
  if (reply.empty()) return;
  StoreReply(context, InternetRequestKey(rs), "Reply", "Reply is null", reply);
  ++context.sms->activity.internet_answered;
}

// Loan statement requests, whichever gateway is in use. The stage does not reload the loan
// settings: it uses those loaded at start or by the stage before it.
void OpenLoanStatements(SmsContext& context, data::RecordSet& rs) {
  rs.Open(Main(context), "Select * from LoanStatement Where Message_Reply is null");
}

void AnswerLoanStatement(SmsContext& context, const data::RecordSet& rs) {
  std::int32_t accode = WholeKey(rs, "Accode");
  std::string date = RequiredText(rs, "Date");
  const std::string reply = ComposeLoanSMS(*context.loans, accode, date);
  if (reply.empty()) return;
  StoreReply(context, StatementRequestKey(rs), "Message_Reply", "Message_Reply is null", reply);
  ++context.sms->activity.statements_answered;
}

// Transfer rows left without a BS date get the one of their AD date. The status test
// ignores letter case under the accounting server's default collation ("TrfIn" is a
// transfer); the embedded catalogs compare left() results the same way.
void OpenTransferDates(SmsContext& context, data::RecordSet& rs) {
  rs.Open(Main(context),
          "Select Date,eDate from master Where (date is null or date='0000/00/00') and "
          "left(Status,3)='TRF' Group by Date,eDate");
}

void RepairTransferDate(SmsContext& context, const std::string& ad) {
  data::Connection& main = Main(context);
  const std::string bs = calendar::AdToBs(ad);
  if (!context.GeTCurYear) {
    throw base::AgentError(base::kDatabaseError, "No fiscal year lookup");
  }
  const std::int32_t fy = context.GeTCurYear(bs);
  if (fy > 0) {
    main.Execute("Update Master set Date=" + data::SqlText(bs) + ",Fyear=" + std::to_string(fy) +
                 " Where eDate=" + data::SqlText(ad));
  } else {
    main.Execute("Update Master set Date=" + data::SqlText(bs) +
                 " Where eDate=" + data::SqlText(ad));
  }
  ++context.sms->activity.transfer_dates_set;
}

// Works the current stage's rows from where the last call stopped: `open` fills the rows
// when the stage begins, `row` handles one. Returns false when the time ran out first (the
// rows stay open for the next call), true when the stage has ended. A connection error ends
// the stage: its rows stay pending for a later pass.
template <typename Open, typename Row>
bool RunStage(SmsContext& context, Open open, Row row) {
  SmsPass& pass = context.sms->pass;
  try {
    if (!pass.rows_open) {
      if (context.out_of_time && context.out_of_time()) return false;
      open(context, pass.rows);
      pass.rows_open = true;
    }
    for (; !pass.rows.Eof(); pass.rows.MoveNext()) {
      if (context.out_of_time && context.out_of_time()) return false;
      row(context, pass.rows);
    }
  } catch (const base::AgentError& e) {
    pass.rows.Close();
    pass.rows_open = false;
    if (!EndsTheStage(e.number())) throw;
    return true;
  }
  pass.rows.Close();
  pass.rows_open = false;
  return true;
}

std::string FormatLocal(std::chrono::system_clock::time_point when, const char* pattern) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
  return std::string(buffer, n);
}

}  // namespace

std::int32_t NextSerial(data::Connection& connection, const std::string& table,
                        const std::string& column) {
  data::RecordSet rs;
  rs.Open(connection, "select max([" + column + "]) as MM from [" + table + "]");
  std::int32_t next = 1;
  if (!rs.Eof() && !rs.Field(0).IsNull()) {
    const data::Value& mm = rs.Field(0);
    if (const auto* whole = std::get_if<std::int64_t>(&mm.raw())) {
      next = base::CheckedInt32(*whole + 1);
    } else {
      next = base::ToInt32(mm.AsDouble() + 1);
    }
  }
  rs.Close();
  return next;
}

std::string MobileNumberText(const data::Value& mobile) {
  if (mobile.IsNull()) throw base::AgentError(base::kInvalidUseOfNull, "Mobile is Null");
  const std::string text = mobile.AsText();
  const std::size_t first = text.find_first_not_of(' ');
  const std::size_t last = text.find_last_not_of(' ');
  std::string digits =
      first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  if (!digits.empty() && digits.front() == '+') digits.erase(0, 1);
  const bool all_digits =
      !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
  if (all_digits) {
    const std::size_t nonzero = digits.find_first_not_of('0');
    digits = nonzero == std::string::npos ? "0" : digits.substr(nonzero);
  }
  // More than 15 digits would not survive as a number in the outbox.
  if (!all_digits || digits.size() > 15) {
    throw base::AgentError(base::kTypeMismatch, "Mobile '" + text + "' is not a number");
  }
  return digits;
}

std::string OutboxDate(std::chrono::system_clock::time_point when) {
  return FormatLocal(when, "%m/%d/%Y");
}

std::string OutboxTime(std::chrono::system_clock::time_point when) {
  return FormatLocal(when, "%H:%M:%S");
}

bool CheckSMS(SmsContext& context) {
  SmsState& sms = *context.sms;
  SmsPass& pass = sms.pass;
  // Work half done when this agent's share changed belongs to the agent that has it now.
  if (pass.in_progress &&
      (pass.sim_work != context.work.sim || pass.catalog_work != context.work.catalog)) {
    pass = SmsPass();
  }
  if (!pass.in_progress) {
    pass = SmsPass();
    pass.in_progress = true;
    pass.sim_work = context.work.sim;
    pass.catalog_work = context.work.catalog;
    // An agent whose outbox is open serves the SIM queue or, when another agent holds the
    // SIM work, none: the gateway is the catalog's choice, not this agent's.
    const SmsWork& work = context.work;
    pass.gateway = sms.SMSLocalReady ? (work.sim ? SmsPass::Gateway::kSim : SmsPass::Gateway::kNone)
                   : sms.SMSServerReady && work.catalog ? SmsPass::Gateway::kInternet
                                                        : SmsPass::Gateway::kNone;
  }
  try {
    if (pass.stage == SmsPass::Stage::kGateway) {
      bool done = true;
      if (pass.gateway == SmsPass::Gateway::kSim) {
        done = RunStage(context, OpenSimRequests, [](SmsContext& c, const data::RecordSet& rs) {
          // The outbox may have been lost, or found missing, since the stage began.
          if (!c.sms->SMSLocalReady || !c.sms->SMSConnection) {
            throw base::AgentError(base::kConnectionLost, "The SMS outbox is not open");
          }
          ForOneRow(c, SimRequestKey(rs).Describe(), [&] { AnswerSimRequest(c, rs); });
        });
      } else if (pass.gateway == SmsPass::Gateway::kInternet) {
        done =
            RunStage(context, OpenInternetRequests, [](SmsContext& c, const data::RecordSet& rs) {
              ForOneRow(c, InternetRequestKey(rs).Describe(),
                        [&] { AnswerInternetRequest(c, rs); });
            });
      }
      if (!done) return false;
      pass.stage = SmsPass::Stage::kStatements;
      // The loan statements and the transfer dates belong to the catalog's work.
      if (!context.work.catalog) {
        pass = SmsPass();
        return true;
      }
    }
    if (pass.stage == SmsPass::Stage::kStatements) {
      if (!RunStage(context, OpenLoanStatements, [](SmsContext& c, const data::RecordSet& rs) {
            ForOneRow(c, StatementRequestKey(rs).Describe(), [&] { AnswerLoanStatement(c, rs); });
          })) {
        return false;
      }
      pass.stage = SmsPass::Stage::kTransfers;
    }
    if (!RunStage(context, OpenTransferDates, [](SmsContext& c, const data::RecordSet& rs) {
          const data::Value& e_date = rs.Field("eDate");
          if (e_date.IsNull()) return;
          const std::string ad = e_date.AsText();
          ForOneRow(c, "Master eDate:" + ad, [&] { RepairTransferDate(c, ad); });
        })) {
      return false;
    }
  } catch (...) {
    pass = SmsPass();
    throw;
  }
  pass = SmsPass();
  return true;
}

}  // namespace sms
