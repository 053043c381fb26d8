#include "sms/reply_messages.h"

#include <optional>
#include <string>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "base/utf8.h"
#include "calendar/bs_date.h"
#include "data/record_set.h"
#include "loans/balance_ageing.h"
#include "loans/loan_dues.h"
#include "loans/lookups.h"
#include "loans/penal.h"

namespace sms {

namespace {

constexpr const char* kLineEnd = "\r\n";

// What both replies print, for one account as of one BS date.
struct ReplyFigures {
  double payable = 0;   // overdue principal, whole rupees
  double interest = 0;  // interest due; whole rupees unless flat-rate
  std::string first_name;
};

bool IsMissingDate(const std::string& date) { return date.empty() || date == "0000/00/00"; }

// The rate raised by the overdue count (months or installments): +ir1, +ir2, +ir3, and from
// four on at least the subledger's LLR.
double OverdueRate(loans::LoanState& loans, std::int32_t accode, double base_rate, double overdue) {
  const loans::LoanSettings& s = loans.settings;
  if (overdue == 1) return base_rate + s.ir1;
  if (overdue == 2) return base_rate + s.ir2;
  if (overdue == 3) return base_rate + s.ir3;
  if (overdue > 3) {
    double rate = base_rate + s.ir3;
    const double llr = loans::GetSubLedgerLLR(loans, loans::GetAccountSubcode(loans, accode));
    if (llr > rate) rate = llr;
    return rate;
  }
  return base_rate;
}

// The amount lent to a flat-rate loan account, when the ledger has one.
std::optional<double> FlatPrincipal(loans::LoanState& loans, std::int32_t accode) {
  data::RecordSet rs;
  rs.Open(loans.main(),
          "Select Sum(Debit) as Debit from Master where Code=" + std::to_string(accode) +
              " and (Status='Loan' or Vtype='Opening Balance')");
  if (rs.Eof() || rs.Field(0).IsNull()) return std::nullopt;
  return rs.Field("Debit").AsDouble();
}

// Flat-rate interest: principal x days x rate / 100 / LPeriod, all decimals kept, days
// counted inclusively from the paid-up-to date (from the first loan date when interest was
// never paid) to the as-of date. 0 without a principal, a positive rate or a start date.
double FlatInterest(loans::LoanState& loans, std::int32_t accode, const std::string& as_of,
                    double rate) {
  const std::optional<double> principal = FlatPrincipal(loans, accode);
  if (!principal || !(rate > 0)) return 0;
  std::string from = loans.InterestPaidUpto;
  if (IsMissingDate(from)) from = loans::GetFirstLoanDate(loans, accode);
  if (IsMissingDate(from)) return 0;
  std::string to = as_of;
  const double days = static_cast<double>(calendar::BsDaysBetween(from, to)) + 1;
  if (loans.settings.LPeriod == 0) {
    throw base::AgentError(base::kDivisionByZero, "LPeriod is 0");
  }
  return *principal * days * rate / 100 / loans.settings.LPeriod;
}

// Steps shared by both replies. `date` comes in as the request's AD date text and leaves as
// the BS as-of date.
ReplyFigures ComputeFigures(loans::LoanState& loans, std::int32_t accode, std::string& date) {
  const loans::LoanSettings& s = loans.settings;
  ReplyFigures out;

  double rate = loans::GetLoanInterestRate(loans, accode);
  loans.OverdueInstallments = 0;
  date = calendar::AdToBs(date);

  // CalcLoanDues refreshes the totals only for an account with an Amortization row; an
  // account without one prints 0, never the figures of the account answered before it.
  loans.LoanTakenTotal = 0;
  loans.LoanPaidTotal = 0;
  out.payable = base::RoundHalfEven(loans::CalcLoanDues(loans, accode, date, rate));
  const double base_rate = rate;
  const bool mi = loans::GetAmortizationMi(loans, accode);

  // Days of the month before the as-of month, plus one: month 1 follows month 12 of the
  // previous year.
  const int year = std::stoi(date.substr(0, 4));
  const int month = std::stoi(date.substr(5, 2));
  const int prev_year = month == 1 ? year - 1 : year;
  const int prev_month = month == 1 ? 12 : month - 1;
  const std::int32_t prev_days = calendar::BsMonthDays(prev_year, prev_month) + 1;

  double months = 0;
  if (s.MonthlyDue && mi) {
    months = calendar::BsMonthsBetween(loans.InterestPaidUpto, date);
    if (loans.InterestDays <= prev_days + s.MIGrace) months = 0;
    rate = OverdueRate(loans, accode, base_rate, months);
    if (loans.InterestDays <= prev_days + s.PLGrace) loans.OverdueInstallments = 0;
  }
  if (months < loans.OverdueInstallments && s.InsDue) {
    rate = OverdueRate(loans, accode, base_rate, loans.OverdueInstallments);
  }

  if (loans::IsFlatCalc(loans, accode)) {
    out.interest = FlatInterest(loans, accode, date, rate);
  } else {
    out.interest = base::RoundHalfEven(loans::GetAgeingInterest(loans, accode, date, rate));
  }
  loans.InterestDue = out.interest;
  if (out.payable == 0) loans.PenalDue = 0;

  out.first_name = FirstName(loans::LookupValue(loans, "Acc", "Name", "Accode", accode));
  return out;
}

// Capital of one character of the Windows Latin-1 letters: a-z, the accented small letters
// U+00E0..U+00FE (not U+00F7, the division sign), and the four small letters the code page
// has elsewhere. Names in legacy Nepali fonts use these characters for Devanagari glyphs.
char32_t CapitalOf(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0xFF:
      return 0x178;  // y with diaeresis
    case 0x161:
      return 0x160;  // s with caron
    case 0x153:
      return 0x152;  // oe
    case 0x17E:
      return 0x17D;  // z with caron
    default:
      return c;
  }
}

}  // namespace

std::string Capitals(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    base::AppendUtf8(out, CapitalOf(base::DecodeUtf8At(text, &pos)));
  }
  return out;
}

std::string FirstName(const std::string& name) {
  std::string rest = name;
  const double number = base::LeadingNumber(rest);
  if (number != 0) {
    const std::size_t k = base::ShortestText(number).size();
    rest = k < rest.size() ? rest.substr(k) : std::string();
  }
  const std::size_t start = rest.find_first_not_of(' ');
  rest = start == std::string::npos ? std::string() : rest.substr(start);
  const std::size_t blank = rest.find(' ');
  return blank == std::string::npos ? rest : rest.substr(0, blank);
}

std::string ComposeReportSMS(loans::LoanState& loans, const SmsState& sms, std::int32_t accode,
                             std::string& date) {
  const ReplyFigures f = ComputeFigures(loans, accode, date);
  std::string text;
  text += "DEAR " + Capitals(f.first_name) + " (" + std::to_string(accode) + ")" + kLineEnd;
  text += "REPORT FROM: " + loans.InterestPaidUpto + kLineEnd;
  text += "D.LOAN: " + base::FormatAmount(loans.LoanTakenTotal - loans.LoanPaidTotal) + kLineEnd;
  text += "P.LOAN: " + base::FormatAmount(f.payable) + kLineEnd;
  text += "D.INT: " + base::FormatAmount(f.interest) + kLineEnd;
  text += "PENAL: " + base::FormatAmount(loans.PenalDue) + kLineEnd;
  text += "ON: " + date + kLineEnd;
  text += "-" + sms.SMSSendBy;
  return base::CleanText(text);
}

std::string ComposeLoanSMS(loans::LoanState& loans, std::int32_t accode, std::string& date) {
  const ReplyFigures f = ComputeFigures(loans, accode, date);
  std::string text;
  text += "Dear " + f.first_name + kLineEnd;
  text += "Last Payment Date: " + loans.InterestPaidUpto + kLineEnd;
  text += "Loan Taken: " + base::FormatAmount(loans.LoanTakenTotal) + kLineEnd;
  text += "Loan Paid: " + base::FormatAmount(loans.LoanPaidTotal) + kLineEnd;
  text += "Due Loan: " + base::FormatAmount(loans.LoanTakenTotal - loans.LoanPaidTotal) + kLineEnd;
  text += "Payable Loan: " + base::FormatAmount(f.payable) + kLineEnd;
  text += "Interest Due: " + base::FormatAmount(f.interest) + kLineEnd;
  text += "Penal Due: " + base::FormatAmount(loans.PenalDue) + kLineEnd;
  text += "Till Date: " + date;
  return base::CleanText(text);
}

}  // namespace sms
