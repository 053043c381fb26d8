// The SMS pass of every online tick: pending requests answered with the composed replies,
// and transfer rows given their BS date.

#include <ctime>
#include <exception>
#include <functional>
#include <string>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "data/record_set.h"
#include "loans/loan_settings.h"
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

data::Connection& Outbox(SmsContext& context) {
  if (!context.sms->SMSConnection) {
    throw base::AgentError(base::kConnectionFailed, "The SMS outbox is not open");
  }
  return *context.sms->SMSConnection;
}

std::int32_t RequiredInt32(const data::RecordSet& rs, const char* column) {
  const data::Value& value = rs.Field(column);
  if (value.IsNull()) {
    throw base::AgentError(base::kInvalidUseOfNull, std::string(column) + " is Null");
  }
  return value.AsInt32();
}

std::string RequiredText(const data::RecordSet& rs, const char* column) {
  const data::Value& value = rs.Field(column);
  if (value.IsNull()) {
    throw base::AgentError(base::kInvalidUseOfNull, std::string(column) + " is Null");
  }
  return value.AsText();
}

// Runs the work of one request row (or one eDate group). A failure leaves the row pending
// for a later pass; it is reported the first time it happens, not on every retry.
void ForOneRow(SmsContext& context, const std::string& key, const std::function<void()>& work) {
  int number = base::kDatabaseError;
  std::string description;
  try {
    work();
    context.sms->failed_rows.erase(key);
    return;
  } catch (const base::AgentError& e) {
    number = e.number();
    description = e.description();
  } catch (const std::exception& e) {
    description = e.what();
  }
  const std::string what = std::to_string(number) + ": " + description;
  auto [it, added] = context.sms->failed_rows.try_emplace(key, what);
  if (!added && it->second == what) return;
  it->second = what;
  if (context.report_error)
    context.report_error(base::AgentError(number, key + ": " + description));
}

std::string RowKey(const char* table, const data::RecordSet& rs, const char* column) {
  const data::Value& v = rs.Field(column);
  return std::string(table) + ":" + (v.IsNull() ? std::string("Null") : v.AsText());
}

std::chrono::system_clock::time_point Now(const SmsContext& context) {
  return context.now ? context.now() : std::chrono::system_clock::now();
}

// Stage 1: requests received through the SIM gateway, answered in LoanSMS and queued in the
// modem's outbox.
void AnswerSimRequests(SmsContext& context) {
  data::Connection& main = Main(context);
  loans::LoadLoanSettings(*context.loans);
  data::RecordSet rs;
  rs.Open(main, "Select * from LoanSMS Where Reply<>1");
  for (; !rs.Eof(); rs.MoveNext()) {
    ForOneRow(context, RowKey("LoanSMS", rs, "SN"), [&] {
      // The reply is composed before anything else of the row is read: a composition
      // leaves the loan figures behind (InterestDue is the next reply's penal base), also
      // when the row then fails.
      std::int32_t accode = RequiredInt32(rs, "Accode");
      std::string date = RequiredText(rs, "Date");
      const std::string reply = ComposeReportSMS(*context.loans, *context.sms, accode, date);

      data::Connection& outbox = Outbox(context);
      const std::int32_t send_sn = NextSerial(outbox, "Send", "SN");
      const auto now = Now(context);
      const std::string mobile = MobileNumberText(rs.Field("Mobile"));
      const std::int32_t sn = RequiredInt32(rs, "SN");
      outbox.Execute("Insert into Send(SN,Mobile,Msg,[Date],[Time]) values(" +
                     std::to_string(send_sn) + "," + mobile + "," + data::SqlText(reply) + "," +
                     data::SqlText(OutboxDate(now)) + "," + data::SqlText(OutboxTime(now)) + ")");
      try {
        main.Execute("Update LoanSMS set Reply=1,[Send]=" + data::SqlText(reply) + ",Fyear=" +
                     std::to_string(context.CurFyear) + " Where sn=" + std::to_string(sn));
      } catch (...) {
        // The request stays pending and will be queued again; the message queued for this
        // attempt is withdrawn so that the member gets it once.
        try {
          outbox.Execute("Delete from Send Where SN=" + std::to_string(send_sn));
        } catch (...) {
          // The original failure is the one to report.
        }
        throw;
      }
    });
  }
}

// Stage 2: requests received through the internet gateway, answered in SMSService.
void AnswerInternetRequests(SmsContext& context) {
  data::Connection& main = Main(context);
  loans::LoadLoanSettings(*context.loans);
  data::RecordSet rs;
  rs.Open(main, "Select * from SMSService Where Reply is null");
  for (; !rs.Eof(); rs.MoveNext()) {
    ForOneRow(context, RowKey("SMSService", rs, "SN"), [&] {
      std::int32_t accode = RequiredInt32(rs, "Customer_ID");
      std::string date = RequiredText(rs, "Date");
      const std::string reply = ComposeReportSMS(*context.loans, *context.sms, accode, date);
      if (reply.empty()) return;
      const std::int32_t sn = RequiredInt32(rs, "SN");
      main.Execute("Update SMSService set Reply=" + data::SqlText(reply) +
                   " Where SN=" + std::to_string(sn));
    });
  }
}

// Stage 3: loan statement requests, whichever gateway is in use.
void AnswerLoanStatements(SmsContext& context) {
  data::Connection& main = Main(context);
  data::RecordSet rs;
  rs.Open(main, "Select * from LoanStatement Where Message_Reply is null");
  for (; !rs.Eof(); rs.MoveNext()) {
    // Serials repeat across accounts here: a request is its serial and account.
    ForOneRow(context, RowKey("LoanStatement", rs, "SN") + "/" + rs.Field("Accode").AsText(), [&] {
      std::int32_t accode = RequiredInt32(rs, "Accode");
      std::string date = RequiredText(rs, "Date");
      const std::string reply = ComposeLoanSMS(*context.loans, accode, date);
      if (reply.empty()) return;
      const std::int32_t sn = RequiredInt32(rs, "SN");
      main.Execute("Update LoanStatement set Message_Reply=" + data::SqlText(reply) +
                   " Where SN=" + std::to_string(sn) + " and Accode=" + std::to_string(accode));
    });
  }
}

// Stage 4: transfer rows left without a BS date get the one of their AD date. The status
// test ignores letter case under the accounting server's default collation ("TrfIn" is a
// transfer); the embedded catalogs compare left() results the same way.
void RepairTransferDates(SmsContext& context) {
  data::Connection& main = Main(context);
  data::RecordSet rs;
  rs.Open(main,
          "Select Date,eDate from master Where (date is null or date='0000/00/00') and "
          "left(Status,3)='TRF' Group by Date,eDate");
  for (; !rs.Eof(); rs.MoveNext()) {
    const data::Value& e_date = rs.Field("eDate");
    if (e_date.IsNull()) continue;
    const std::string ad = e_date.AsText();
    ForOneRow(context, "Master eDate:" + ad, [&] {
      const std::string bs = calendar::AdToBs(ad);
      if (!context.GeTCurYear) {
        throw base::AgentError(base::kDatabaseError, "No fiscal year lookup");
      }
      const std::int32_t fy = context.GeTCurYear(bs);
      if (fy > 0) {
        main.Execute("Update Master set Date=" + data::SqlText(bs) +
                     ",Fyear=" + std::to_string(fy) + " Where eDate=" + data::SqlText(ad));
      } else {
        main.Execute("Update Master set Date=" + data::SqlText(bs) +
                     " Where eDate=" + data::SqlText(ad));
      }
    });
  }
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

void CheckSMS(SmsContext& context) {
  SmsState& sms = *context.sms;
  if (sms.SMSLocalReady) {
    AnswerSimRequests(context);
  } else if (sms.SMSServerReady) {
    AnswerInternetRequests(context);
  }
  AnswerLoanStatements(context);
  RepairTransferDates(context);
}

}  // namespace sms
