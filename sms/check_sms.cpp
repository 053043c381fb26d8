// The SMS pass of every online tick: pending requests answered with the composed replies,
// and transfer rows given their BS date.

#include <cmath>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "data/record_set.h"
#include "loans/loan_settings.h"
#include "sms/outbox.h"
#include "sms/reply_messages.h"
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

// Runs the work of one request row (or one eDate group). A failure leaves the row pending;
// it is reported the first time it happens, not on every retry, and the row is tried again
// only once its delay has passed. A connection error is no fault of the row: it travels on
// and ends the stage.
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
    if (base::IsConnectionError(e.number())) throw;
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

std::string RowKey(const char* table, const data::RecordSet& rs, const char* column) {
  const data::Value& v = rs.Field(column);
  return std::string(table) + ":" + (v.IsNull() ? std::string("Null") : v.AsText());
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

// One SIM request: its reply stored in LoanSMS and queued once in the modem's outbox.
//
// Exactly once. The request lives in the catalog, its message in another file, and no
// transaction spans both; the agent may die between any two writes (a kill, a power cut), and
// a mark may fail after the message was queued. So the writes come in this order, each on
// the disk before the next begins (ExecuteDurably; the outbox syncs every commit):
//   1. the reply is composed, and written into the request's [Send] while the request stays
//      pending (Reply<>1): the text that may be about to be queued is on record;
//   2. the message is queued in the outbox;
//   3. the request is marked answered (Reply=1).
// A request still pending with a reply in [Send] may have been queued by an attempt that
// did not get to its mark. Before anything else, such a request looks for that text to its
// number waiting in the outbox: when it is there, the request is only marked, with that
// text. The recorded text is what makes this work: a reply composed again might differ
// (the penal may rest on the interest due of the reply before it). When it is not there,
// nothing was queued (or it was withdrawn), and the request is answered afresh.
// A member who asks twice gets two replies, since a fresh request has no recorded reply;
// the one exception is a crash of the second request's attempt while an identical text to
// the same number is still waiting: that one message answers both.
// A mark that fails, or changes no row, takes the message back (step 2 undone) unless the
// request, read again, shows it was marked after all; the message is withdrawn by serial,
// number and text, so that nothing else is. A connection lost during the mark leaves the
// outcome unknown: the message stays and the retry above settles it.
void AnswerSimRequest(SmsContext& context, const data::RecordSet& rs) {
  data::Connection& main = Main(context);
  const std::string mark_prefix = "Update LoanSMS set Reply=1,[Send]=";
  const std::string mark_suffix = ",Fyear=" + std::to_string(context.CurFyear) + " Where sn=";

  const data::Value& recorded = rs.Field("Send");
  if (!recorded.IsNull() && !recorded.AsText().empty()) {
    const std::unique_ptr<Outbox> outbox =
        MakeOutbox(*context.sms->SMSConnection, context.sms->gammu_version);
    std::string mobile;
    try {
      mobile = outbox->Destination(rs.Field("Mobile"));
    } catch (const base::AgentError&) {
      // Not a number: nothing can have been queued for it; the fresh attempt reports it.
    }
    if (!mobile.empty()) {
      const std::string text = recorded.AsText();
      const std::int32_t sn = WholeKey(rs, "SN");
      if (OnOutbox(context, [&] { return outbox->FindQueued(mobile, text); })) {
        if (main.ExecuteDurably(mark_prefix + data::SqlText(text) + mark_suffix +
                                std::to_string(sn)) == 0) {
          throw base::AgentError(base::kDatabaseError,
                                 "Update LoanSMS marked no row for SN " + std::to_string(sn));
        }
        ++context.sms->activity.sim_answered;
        return;
      }
    }
  }

  // The reply is composed before anything else of the row is read: a composition leaves
  // the loan figures behind (InterestDue is the next reply's penal base), also when the row
  // then fails.
  std::int32_t accode = RequiredInt32(rs, "Accode");
  std::string date = RequiredText(rs, "Date");
  const std::string reply = ComposeReportSMS(*context.loans, *context.sms, accode, date);
  const std::unique_ptr<Outbox> outbox =
      MakeOutbox(*context.sms->SMSConnection, context.sms->gammu_version);
  const std::string mobile = outbox->Destination(rs.Field("Mobile"));
  const std::int32_t sn = WholeKey(rs, "SN");
  const std::string where_sn = " Where sn=" + std::to_string(sn);

  if (main.ExecuteDurably("Update LoanSMS set [Send]=" + data::SqlText(reply) + where_sn +
                          " and Reply<>1") == 0) {
    throw base::AgentError(base::kDatabaseError,
                           "LoanSMS has no pending row of SN " + std::to_string(sn));
  }
  const std::int64_t send_sn =
      OnOutbox(context, [&] { return outbox->Queue(mobile, reply, Now(context)); });
  ++context.sms->activity.messages_queued;

  // Takes the message back unless the request turns out to be marked with it.
  auto withdraw = [&] {
    try {
      const data::QueryResult again = main.Query("Select Reply,[Send] from LoanSMS" + where_sn);
      for (const auto& row : again.rows) {
        if (row[0] == data::Value(1) && row[1] == data::Value(reply)) return;
      }
      outbox->Withdraw(send_sn, mobile, reply);
    } catch (const std::exception&) {
      // The message stays; the retry finds it waiting and only marks the request.
    }
  };
  std::int64_t marked = 0;
  try {
    marked =
        main.ExecuteDurably(mark_prefix + data::SqlText(reply) + mark_suffix + std::to_string(sn));
  } catch (const base::AgentError& e) {
    if (!base::IsConnectionError(e.number())) withdraw();
    throw;
  }
  if (marked == 0) {
    withdraw();
    throw base::AgentError(base::kDatabaseError,
                           "Update LoanSMS marked no row for SN " + std::to_string(sn));
  }
  ++context.sms->activity.sim_answered;
}

// The stages of a pass. Each opens its pending rows the first time it runs and works them
// off in order, over as many calls as the budget needs.

void OpenSimRequests(SmsContext& context, data::RecordSet& rs) {
  loans::LoadLoanSettings(*context.loans);
  rs.Open(Main(context), "Select * from LoanSMS Where Reply<>1");
}

void OpenInternetRequests(SmsContext& context, data::RecordSet& rs) {
  loans::LoadLoanSettings(*context.loans);
  rs.Open(Main(context), "Select * from SMSService Where Reply is null");
}

void AnswerInternetRequest(SmsContext& context, const data::RecordSet& rs) {
  std::int32_t accode = RequiredInt32(rs, "Customer_ID");
  std::string date = RequiredText(rs, "Date");
  const std::string reply = ComposeReportSMS(*context.loans, *context.sms, accode, date);
  if (reply.empty()) return;
  const std::int32_t sn = WholeKey(rs, "SN");
  if (Main(context).Execute("Update SMSService set Reply=" + data::SqlText(reply) +
                            " Where SN=" + std::to_string(sn)) == 0) {
    throw base::AgentError(base::kDatabaseError,
                           "Update SMSService marked no row for SN " + std::to_string(sn));
  }
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
  const std::int32_t sn = WholeKey(rs, "SN");
  if (Main(context).Execute("Update LoanStatement set Message_Reply=" + data::SqlText(reply) +
                            " Where SN=" + std::to_string(sn) +
                            " and Accode=" + std::to_string(accode)) == 0) {
    throw base::AgentError(base::kDatabaseError, "Update LoanStatement marked no row for SN " +
                                                     std::to_string(sn) + " and Accode " +
                                                     std::to_string(accode));
  }
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
    if (!base::IsConnectionError(e.number())) throw;
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
  if (!pass.in_progress) {
    pass = SmsPass();
    pass.in_progress = true;
    pass.gateway = sms.SMSLocalReady    ? SmsPass::Gateway::kSim
                   : sms.SMSServerReady ? SmsPass::Gateway::kInternet
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
          ForOneRow(c, RowKey("LoanSMS", rs, "SN"), [&] { AnswerSimRequest(c, rs); });
        });
      } else if (pass.gateway == SmsPass::Gateway::kInternet) {
        done =
            RunStage(context, OpenInternetRequests, [](SmsContext& c, const data::RecordSet& rs) {
              ForOneRow(c, RowKey("SMSService", rs, "SN"), [&] { AnswerInternetRequest(c, rs); });
            });
      }
      if (!done) return false;
      pass.stage = SmsPass::Stage::kStatements;
    }
    if (pass.stage == SmsPass::Stage::kStatements) {
      // Serials repeat across accounts here: a request is its serial and account.
      if (!RunStage(context, OpenLoanStatements, [](SmsContext& c, const data::RecordSet& rs) {
            ForOneRow(c, RowKey("LoanStatement", rs, "SN") + "/" + rs.Field("Accode").AsText(),
                      [&] { AnswerLoanStatement(c, rs); });
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
