#include "sms/reply_messages.h"

#include <gtest/gtest.h>

#include <string>

#include "base/numbers.h"
#include "tests/sms/sms_fixture.h"

namespace sms_test {
namespace {

TEST(FirstName, Rules) {
  const struct {
    const char* name;
    const char* want;
  } kCases[] = {
      {"Ram Bahadur Thapa", "Ram"},
      {"Sita", "Sita"},
      {"12 Hari Prasad", "Hari"},
      {"12Hari Prasad", "Hari"},
      {"  Gita Devi", "Gita"},
      {" ", ""},
      {"", ""},
      {"N/A", "N/A"},
      {"Ram's Shop", "Ram's"},
      {"0 Shyam", "0"},  // a leading 0 is no number to drop
      {"7", ""},
      // The characters dropped are as many as the number's decimal text has, not as many as
      // the name spends on it.
      {"1 2 Ram", "2"},    // blanks between digits still read as 12: two characters go
      {"  12 Ram", "12"},  // leading blanks count among the characters dropped
      {"-5 Ram", "Ram"},   // "-5"
      {"12.5x Ram", "x"},  // "12.5"
      {"12.50 Ram", "0"},  // still "12.5"
      {".5 Ram", "Ram"},   // "0.5"
      {"007 Bond", "07"},  // "7"
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("'") + c.name + "'");
    EXPECT_EQ(c.want, sms::FirstName(c.name));
  }
}

// The line of a reply that starts with `label`, without its line end.
std::string Line(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return "<no " + label + ">";
  const std::size_t end = text.find("\r\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Ageing interest on the whole balance, in whole rupees.
std::string AgeingInterest(double balance, double rate, std::int32_t days, int lperiod = 360) {
  return base::FormatAmount(base::RoundHalfEven(balance * rate / 100 * days / lperiod));
}

class ComposeTest : public SmsFixture {};

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

// Due 2081/02/01, 03/01, 04/01 by 2081/04/25: 3,000 lent back against 2,990 repaid; the
// 2081/04/01 installment is 10 short and 24 days late: penal 24 x 9,010 x 10% / 360.
TEST_F(ComposeTest, ReportOfAPartlyRepaidLoan) {
  AddLoan(101, "Ram Bahadur Thapa", 2990, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);

  EXPECT_EQ("2081/04/25", date);
  const std::string want = std::string("DEAR RAM (101)\r\n") +
                           "REPORT FROM: 2081/03/01\r\n"
                           "D.LOAN: 9010.00\r\n"
                           "P.LOAN: 10.00\r\n"
                           "D.INT: " +
                           AgeingInterest(9010, 12, Days("2081/03/01", "2081/04/25")) +
                           "\r\n"
                           "PENAL: 60.00\r\n"
                           "ON: 2081/04/25\r\n"
                           "-";
  EXPECT_EQ(want, text);
  EXPECT_EQ(1, loans_.OverdueInstallments);
}

TEST_F(ComposeTest, StatementOfAPartlyRepaidLoan) {
  AddLoan(101, "Ram Bahadur Thapa", 2990, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  const std::string text = sms::ComposeLoanSMS(loans_, 101, date);

  const std::string interest = AgeingInterest(9010, 12, Days("2081/03/01", "2081/04/25"));
  const std::string want = std::string("Dear Ram\r\n") +
                           "Last Payment Date: 2081/03/01\r\n"
                           "Loan Taken: 12000.00\r\n"
                           "Loan Paid: 2990.00\r\n"
                           "Due Loan: 9010.00\r\n"
                           "Payable Loan: 10.00\r\n"
                           "Interest Due: " +
                           interest +
                           "\r\n"
                           "Penal Due: 60.00\r\n"
                           "Till Date: 2081/04/25";
  EXPECT_EQ(want, text);
  EXPECT_EQ(base::ParseNumber(interest), loans_.InterestDue);
}

// 2,999.60 repaid leaves 0.40 payable, which rounds to nothing: the penal computed on the
// 9,000.40 outstanding is not shown.
TEST_F(ComposeTest, NothingPayableClearsThePenal) {
  AddLoan(101, "Ram", 2999.6, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
  EXPECT_EQ("P.LOAN: 0.00", Line(text, "P.LOAN: "));
  EXPECT_EQ("PENAL: 0.00", Line(text, "PENAL: "));
  EXPECT_EQ(0, loans_.PenalDue);
}

TEST_F(ComposeTest, AccountZeroIsNotApplicable) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  sms::ComposeReportSMS(loans_, sms_, 101, date);  // figures of another account first

  date = AdDateOf("2081/04/25");
  EXPECT_EQ(std::string("DEAR N/A (0)\r\n") +
                "REPORT FROM: 0000/00/00\r\n"
                "D.LOAN: 0.00\r\n"
                "P.LOAN: 0.00\r\n"
                "D.INT: 0.00\r\n"
                "PENAL: 0.00\r\n"
                "ON: 2081/04/25\r\n"
                "-",
            sms::ComposeReportSMS(loans_, sms_, 0, date));
}

TEST_F(ComposeTest, UnknownAccountShowsNoOtherAccountsFigures) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  sms::ComposeLoanSMS(loans_, 101, date);

  date = AdDateOf("2081/04/25");
  EXPECT_EQ(std::string("Dear \r\n") +
                "Last Payment Date: 0000/00/00\r\n"
                "Loan Taken: 0.00\r\n"
                "Loan Paid: 0.00\r\n"
                "Due Loan: 0.00\r\n"
                "Payable Loan: 0.00\r\n"
                "Interest Due: 0.00\r\n"
                "Penal Due: 0.00\r\n"
                "Till Date: 2081/04/25",
            sms::ComposeLoanSMS(loans_, 999, date));

  date = AdDateOf("2081/04/25");
  EXPECT_EQ("DEAR  (999)", Line(sms::ComposeReportSMS(loans_, sms_, 999, date), "DEAR"));
}

// An account with ledger rows but no Amortization row: no loan figures of its own.
TEST_F(ComposeTest, AccountWithoutScheduleShowsZeroTotals) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01");
  catalog_.Insert("Acc", {{"ACCODE", 202}, {"subCode", 7}, {"Name", "Hari"}});
  catalog_.Insert("Master", {{"Index_Rec", 90},
                             {"CODE", 202},
                             {"Date", "2081/02/01"},
                             {"Status", "Loan"},
                             {"Vtype", "Payment"},
                             {"PaidUpto", "0000/00/00"},
                             {"Debit", 5000.0},
                             {"Credit", 0.0}});
  std::string date = AdDateOf("2081/04/25");
  sms::ComposeLoanSMS(loans_, 101, date);
  date = AdDateOf("2081/04/25");
  const std::string text = sms::ComposeLoanSMS(loans_, 202, date);
  EXPECT_EQ("Loan Taken: 0.00", Line(text, "Loan Taken: "));
  EXPECT_EQ("Loan Paid: 0.00", Line(text, "Loan Paid: "));
  EXPECT_EQ("Due Loan: 0.00", Line(text, "Due Loan: "));
}

TEST_F(ComposeTest, ReportCapitalisesAccentedLettersOfLegacyFontNames) {
  // Legacy Nepali font texts use Latin-1 letters for glyphs; the report writes them in
  // capitals as the code page does, and leaves quotes and other signs as they are.
  AddLoan(101, "gdòÿgf' ùsf bahadur", 2990, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  const std::string report = sms::ComposeReportSMS(loans_, sms_, 101, date);
  EXPECT_EQ("DEAR GDÒŸGF' (101)", Line(report, "DEAR"));
  date = AdDateOf("2081/04/25");
  EXPECT_EQ("Dear gdòÿgf'", Line(sms::ComposeLoanSMS(loans_, 101, date), "Dear"));
}

// Names decode strictly and the replies leave their composer clean: an overlong form is no
// quote, backslash or NUL, and a NUL or escape in a name or the signature is left out.
TEST_F(ComposeTest, RepliesOfHostileNamesAreClean) {
  const struct {
    std::string name;
    const char* report;     // the report's first line
    const char* statement;  // the statement's first line
  } kCases[] = {
      {"R\xC0\xA7M\xC1\x9C", "DEAR R\uFFFD\uFFFDM\uFFFD\uFFFD (101)",
       "Dear R\uFFFD\uFFFDM\uFFFD\uFFFD"},
      {"r\xC0\x80m", "DEAR R\uFFFD\uFFFDM (101)", "Dear r\uFFFD\uFFFDm"},
      {std::string("Ra\0m\x1B[2J", 8), "DEAR RAM[2J (101)", "Dear Ram[2J"},
      {"\xE0\xA4\xB0\xE0\xA4\xBE\xE0\xA4\xAE", "DEAR \u0930\u093E\u092E (101)",
       "Dear \u0930\u093E\u092E"},
  };
  sms_.SMSSendBy = std::string("SAHA\0KARI\x07", 10);
  AddLoan(101, "x", 2990, "2081/03/01", "2081/03/01");
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    // Stored as the bytes are: SqlText would leave a NUL out.
    catalog_.Exec("Update Acc set Name=cast(x'" + Hex(c.name) + "' as text) where ACCODE=101");
    std::string date = AdDateOf("2081/04/25");
    const std::string report = sms::ComposeReportSMS(loans_, sms_, 101, date);
    EXPECT_EQ(c.report, Line(report, "DEAR"));
    EXPECT_EQ("\r\n-SAHAKARI", report.substr(report.size() - 11));
    date = AdDateOf("2081/04/25");
    EXPECT_EQ(c.statement, Line(sms::ComposeLoanSMS(loans_, 101, date), "Dear"));
  }
}

TEST_F(ComposeTest, SignatureLine) {
  AddLoan(101, "12 hari prasad", 2990, "2081/03/01", "2081/03/01");
  std::string date = AdDateOf("2081/04/25");
  std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
  EXPECT_EQ("DEAR HARI (101)", Line(text, "DEAR"));
  EXPECT_EQ("\r\n-", text.substr(text.size() - 3));

  sms_.SMSSendBy = "SAHAKARI";
  date = AdDateOf("2081/04/25");
  text = sms::ComposeReportSMS(loans_, sms_, 101, date);
  EXPECT_EQ("\r\n-SAHAKARI", text.substr(text.size() - 11));
}

// Interest paid up to 2081/03/01. The month rule counts whole months from there, unless the
// days since then stay within the previous month's length + 1 + MIGrace.
TEST_F(ComposeTest, OverdueMonthsRaiseTheRate) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01", "Normal", /*mi=*/true);
  // From 2081/03/01 to 2081/04/dd are len3 + dd - 1 days, len3 being the length of month 3;
  // the grace holds while that is at most len3 + 1 + MIGrace.
  const struct {
    const char* as_of;
    int mi_grace;
    double rate;
  } kCases[] = {
      {"2081/04/01", 0, 12},                         // one month, within its length + 1
      {"2081/04/02", 0, 12}, {"2081/04/03", 0, 13},  // one day more: one month overdue, + ir1
      {"2081/04/10", 8, 12}, {"2081/04/10", 7, 13}, {"2081/05/15", 0, 14},  // two months: + ir2
      {"2081/06/15", 0, 15},                                                // three: + ir3
      {"2081/08/15", 0, 30},  // five: 15, raised to the subledger's LLR of 30
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.as_of) + " grace " + std::to_string(c.mi_grace));
    Settings s;
    s.monthly_due = true;
    s.mi_grace = c.mi_grace;
    SetLoanSettings(s);
    std::string date = AdDateOf(c.as_of);
    const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
    EXPECT_EQ("D.INT: " + AgeingInterest(9010, c.rate, Days("2081/03/01", c.as_of)),
              Line(text, "D.INT: "));
  }
}

TEST_F(ComposeTest, LlrBelowTheRaisedRateIsIgnored) {
  catalog_.Exec("Update SubLedger set LLR=10 where SubCODE=7");
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01", "Normal", /*mi=*/true);
  Settings s;
  s.monthly_due = true;
  SetLoanSettings(s);
  std::string date = AdDateOf("2081/08/15");
  const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
  EXPECT_EQ("D.INT: " + AgeingInterest(9010, 15, Days("2081/03/01", "2081/08/15")),
            Line(text, "D.INT: "));
}

// Without the month rule, the installments overdue raise the rate under InsDue.
TEST_F(ComposeTest, OverdueInstallmentsRaiseTheRate) {
  const struct {
    double paid;
    const char* as_of;
    double rate;
  } kCases[] = {
      {2990, "2081/04/25", 13},  // one installment overdue
      {1500, "2081/04/25", 14},  // two
      {1000, "2081/05/25", 15},  // three
      {500, "2081/06/25", 30},   // four or more: at least the LLR
      {3000, "2081/04/25", 12},  // none
  };
  Settings s;
  s.ins_due = true;
  SetLoanSettings(s);
  std::int32_t accode = 300;
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.paid) + " by " + c.as_of);
    ++accode;
    AddLoan(accode, "Ram", c.paid, "2081/02/01", "2081/02/01");
    std::string date = AdDateOf(c.as_of);
    const std::string text = sms::ComposeReportSMS(loans_, sms_, accode, date);
    EXPECT_EQ("D.INT: " + AgeingInterest(12000 - c.paid, c.rate, Days("2081/02/01", c.as_of)),
              Line(text, "D.INT: "));
  }
}

// PLGrace clears the installments overdue when interest is recent enough, so InsDue does not
// raise the rate.
TEST_F(ComposeTest, PenalGraceClearsOverdueInstallments) {
  AddLoan(101, "Ram", 1500, "2081/03/01", "2081/03/01", "Normal", /*mi=*/true);
  for (int pl_grace : {0, 20}) {
    SCOPED_TRACE(pl_grace);
    Settings s;
    s.monthly_due = true;
    s.ins_due = true;
    s.mi_grace = 10;
    s.pl_grace = pl_grace;
    SetLoanSettings(s);
    std::string date = AdDateOf("2081/04/10");
    const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
    const double rate = pl_grace == 0 ? 14 : 12;
    EXPECT_EQ("D.INT: " + AgeingInterest(10500, rate, Days("2081/03/01", "2081/04/10")),
              Line(text, "D.INT: "));
  }
}

// A request in month 1 measures the grace with month 12 of the year before.
TEST_F(ComposeTest, RequestInFirstMonthUsesLastMonthOfPreviousYear) {
  AddLoan(101, "Ram", 8000, "2081/12/05", "2081/12/05", "Normal", /*mi=*/true);
  Settings s;
  s.monthly_due = true;
  SetLoanSettings(s);
  const std::int32_t len12 = calendar::BsMonthDays(2081, 12);
  // InterestDays = len12 - 5 + day; the grace holds while it is at most len12 + 1.
  for (int day : {6, 7}) {
    SCOPED_TRACE(day);
    const std::string as_of = "2082/01/0" + std::to_string(day);
    std::string date = AdDateOf(as_of);
    const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
    ASSERT_EQ(len12 - 5 + day, loans_.InterestDays);
    const double rate = day == 6 ? 12 : 13;
    EXPECT_EQ("D.INT: " + AgeingInterest(4000, rate, Days("2081/12/05", as_of)),
              Line(text, "D.INT: "));
  }
}

// Flat-rate interest: on the amount lent, for the days from the paid-up date to the as-of
// date counted inclusively, with all its decimals.
TEST_F(ComposeTest, FlatRateInterest) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01", "Flat");
  std::string date = AdDateOf("2081/04/25");
  const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
  const std::int32_t days = Days("2081/03/01", "2081/04/25") + 1;
  EXPECT_EQ("D.INT: " + base::FormatAmount(12000.0 * days * 12 / 100 / 360), Line(text, "D.INT: "));
}

// Interest never paid: the days run from the first loan date.
TEST_F(ComposeTest, FlatRateInterestNeverPaidCountsFromTheLoan) {
  AddLoan(101, "Ram", 0, "", "", "Flat");
  std::string date = AdDateOf("2081/01/20");
  const std::string text = sms::ComposeReportSMS(loans_, sms_, 101, date);
  EXPECT_EQ("REPORT FROM: 0000/00/00", Line(text, "REPORT FROM: "));
  const std::int32_t days = Days("2081/01/01", "2081/01/20") + 1;
  EXPECT_EQ("D.INT: " + base::FormatAmount(12000.0 * days * 12 / 100 / 360), Line(text, "D.INT: "));
}

TEST_F(ComposeTest, DateThatIsNotAnAdDateFails) {
  AddLoan(101, "Ram", 2990, "2081/03/01", "2081/03/01");
  for (const char* bad : {"", "2024/13/45", "tomorrow"}) {
    SCOPED_TRACE(bad);
    std::string date = bad;
    EXPECT_THROW(sms::ComposeLoanSMS(loans_, 101, date), base::AgentError);
  }
}

}  // namespace
}  // namespace sms_test
