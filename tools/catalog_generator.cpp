#include "tools/catalog_generator.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "calendar/bs_date.h"
#include "data/sql_dialect.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

using Cell = std::variant<std::nullptr_t, std::int64_t, double, std::string>;

// A prepared statement bound cell by cell.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) Fail(sql);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Run(const std::vector<Cell>& cells) {
    sqlite3_reset(stmt_);
    int i = 1;
    for (const Cell& cell : cells) {
      if (std::holds_alternative<std::nullptr_t>(cell)) {
        sqlite3_bind_null(stmt_, i);
      } else if (const auto* n = std::get_if<std::int64_t>(&cell)) {
        sqlite3_bind_int64(stmt_, i, *n);
      } else if (const auto* d = std::get_if<double>(&cell)) {
        sqlite3_bind_double(stmt_, i, *d);
      } else {
        const std::string& s = std::get<std::string>(cell);
        sqlite3_bind_text(stmt_, i, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      }
      ++i;
    }
    if (sqlite3_step(stmt_) != SQLITE_DONE) Fail("insert");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw base::AgentError(base::kDatabaseError,
                           what + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "no database"));
  }
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// An SQLite file opened for writing; `replace` deletes an existing file first.
class Database {
 public:
  Database(const fs::path& file, bool replace) {
    std::error_code ec;
    if (replace) fs::remove(file, ec);
    if (sqlite3_open_v2(file.string().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
      const std::string message = sqlite3_errmsg(db_);
      sqlite3_close(db_);
      throw base::AgentError(base::kConnectionFailed,
                             "Cannot create " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, 5000);  // milliseconds; the agent may be writing
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : "unknown error";
      sqlite3_free(error);
      throw base::AgentError(base::kDatabaseError, sql + ": " + message);
    }
  }
  // Runs an SQL Server CREATE TABLE text as the embedded driver would.
  void Create(const std::string& sql) { Exec(data::RewriteForSqlite(sql)); }
  sqlite3* get() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// The keys and codes an accounting database has, and no more: the agent creates the indexes
// it needs for its own statements at start-up.
void CreateApplicationKeys(Database& db) {
  db.Exec("Create Index Master_CODE On Master(CODE)");
  db.Exec("Create Index Master_Voucher On Master(VOUCHER_NO,Fyear)");
  db.Exec("Create Unique Index Master_Index_Rec On Master(Index_Rec)");
  db.Exec("Create Unique Index Acc_ACCODE On Acc(ACCODE)");
  db.Exec("Create Index Amortization_Accode On Amortization(Accode)");
  db.Exec("Create Index SubLedger_SubCODE On SubLedger(SubCODE)");
  db.Exec("Create Index LoanStatement_SN On LoanStatement(SN)");
  db.Exec("Create Index SMSService_SN On SMSService(SN)");
}

constexpr std::int64_t kCashAccount = 1;
constexpr std::int64_t kInterestAccount = 2;  // "Interest from Loan A/C"
constexpr const char* kNoDate = "0000/00/00";

int YearOf(const std::string& bs) { return std::stoi(bs.substr(0, 4)); }
int MonthOf(const std::string& bs) { return std::stoi(bs.substr(5, 2)); }

std::string BsDate(int year, int month, int day) {
  char text[40];  // room for any three ints, so that nothing is cut
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", year, month, day);
  return text;
}

// Days from `from` to `to` (negative when `to` is earlier).
std::int32_t DaysFrom(const std::string& from, const std::string& to) {
  std::string a = from, b = to;
  const std::int32_t days = calendar::BsDaysBetween(a, b);
  return a == from ? days : -days;
}

std::chrono::sys_days ParseAd(const std::string& ad) {
  return std::chrono::sys_days{std::chrono::year{std::stoi(ad.substr(0, 4))} /
                               std::stoi(ad.substr(5, 2)) / std::stoi(ad.substr(8, 2))};
}

std::string FormatAd(std::chrono::sys_days day) {
  const std::chrono::year_month_day ymd{day};
  char text[16];
  std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return text;
}

// The accounting application's tables, declared as its SQL Server statements declare them
// and rewritten as the embedded driver runs them: text columns compare without regard to
// case, as on the server.
void CreateTables(Database& db, bool repaired_master) {
  db.Create("Create Table Ledger(LCODE Int,NAME Varchar(100))");
  db.Create("Create Table SubLedger(LCODE Int,SubCODE Int,Name Varchar(100))");
  db.Create(
      "Create Table Acc(ACCODE Int,subCode Int,Mid Int,Name Varchar(100),Alias Varchar(50),"
      "Nalias Varchar(50))");
  db.Create(
      std::string("Create Table Master(Index_Rec Int,CODE Int,VOUCHER_NO Int,Fyear Int,") +
      "Date Varchar(10),Vtype Varchar(30),Status Varchar(15),PaidUpto Varchar(10),Debit "
      "Float,Credit Float,BillNo Varchar(20),Particular Varchar(200),eDate Varchar(10)" +
      (repaired_master ? ",iDate Varchar(10),dTime Varchar(8),Acode Int,MasterCode Int" : "") +
      ")");
  db.Create(
      "Create Table MasterAc(Mcode Int,Name Varchar(100),Address Varchar(100),Mobile "
      "Varchar(30))");
  db.Create("Create Table OtherSetting(p1 Float,p2 Float,p3 Float)");
  db.Create("Create Table SavingSetting(SN Int,Name Varchar(50))");
  db.Create(
      "Create Table Amortization(Accode Int,Loan Float,Interest Float,Nop Int,Period Float,"
      "Tdate Varchar(10),Tfrom Varchar(10),Payment Float,LoanType Varchar(20),Fixedby "
      "Varchar(20),Calc Varchar(20),Swith Int,Mi Float)");
  db.Create(
      "Create Table AmDetails(Accode Int,SN Int,Date Varchar(10),Principal Float,Interest "
      "Float)");
  db.Create("Create Table LocalGroup(SN Int,Name Varchar(50))");
  db.Create("Create Table VDC(SN Int,Name Varchar(50))");
  db.Create("Create Table Tole(SN Int,Name Varchar(50))");
  db.Create("Create Table LoanDemandForm(SN Int,Mcode Int,Amount Float)");
  db.Create("Create Table VRemarks(SN Int,Remarks Varchar(200))");
  db.Create("Create Table Company(SN Int,Name Varchar(100),Address Varchar(100))");
  db.Create(
      "Create Table YearSetting(SN Int,Fyear Varchar(10),Dfrom Varchar(10),Dto Varchar(10),"
      "[Using] Int)");
  // The SMS tables as the agent's upgrade creates and extends them, so the upgrade keeps them.
  db.Create(
      "Create Table SMSDatabase (SN Int,[Database] Varchar(255),[Password] Varchar(30),BSMS "
      "Int,SMSRs Float,Msg Varchar(160),Server Varchar(60),Customer_ID Int,dType Varchar(30),"
      "DBUser varchar(30),SMSRsLoan Float)");
  db.Create(
      "Create Table LoanSMS(SN Int,Accode Int,Mobile Varchar(30),Date Varchar(10),[Receive] "
      "Varchar(255),[Send] Varchar(600),Reply Int, Fyear Int)");
  db.Create(
      "Create Table SMSService(SN Int,Date Varchar(30),BranchID Int,Customer_ID Int,Mobile "
      "Varchar(15),Request Varchar(30),Reply Varchar(255),Process_Status Int)");
  db.Create(
      "Create Table LoanStatement(SN Int,Accode int,Date Varchar(10),Mobile Varchar(15),Request "
      "Varchar(5),Message_Reply Varchar(200))");
}

void WriteFiscalYears(Database& db, const std::string& today_bs) {
  const int first = YearOf(FiscalYearsAround(today_bs).current_from) - 3;
  Statement insert(db.get(), "Insert into YearSetting values(?,?,?,?,?)");
  for (int sn = 1; sn <= 5; ++sn) {
    const int y = first + sn - 1;
    char name[16];
    std::snprintf(name, sizeof name, "%04d/%02d", y, (y + 1) % 100);
    insert.Run({std::int64_t{sn}, std::string(name), BsDate(y, 4, 1),
                BsDate(y + 1, 3, calendar::BsMonthDays(y + 1, 3)), std::int64_t{sn == 4 ? 1 : 0}});
  }
}

void WriteChart(Database& db) {
  db.Exec(
      "Insert into Ledger values(1,'Loan Issued Ledger'),(2,'Deposit Ledger'),(3,'Cash "
      "Ledger'),(4,'Income Ledger')");
  db.Exec(
      "Insert into SubLedger values(1,101,'Agriculture Loan'),(1,102,'Business Loan'),"
      "(2,201,'Saving Deposit'),(2,202,'Fixed Deposit'),(3,301,'Cash in Hand'),"
      "(4,401,'Interest Income')");
  db.Exec(
      "Insert into Acc values(1,301,0,'Cash in Hand','Cash',Null),"
      "(2,401,0,'Interest from Loan A/C','Interest',Null)");
  db.Exec("Insert into OtherSetting values(2,3,4)");
  db.Exec("Insert into Company values(1,'Demo Saving and Credit Cooperative Ltd.','Kathmandu')");
  db.Exec("Insert into SavingSetting values(1,'Saving')");
}

// Writes Master rows with consecutive Index_Rec values.
class LedgerWriter {
 public:
  LedgerWriter(Database& db, bool repaired, std::int64_t last_index = 0)
      : repaired_(repaired),
        index_(last_index),
        insert_(db.get(), repaired ? "Insert into Master(Index_Rec,CODE,VOUCHER_NO,Fyear,Date,"
                                     "Vtype,Status,PaidUpto,Debit,Credit,BillNo,Particular,eDate,"
                                     "iDate,dTime,Acode,MasterCode) values(?,?,?,?,?,?,?,?,?,?,?,"
                                     "?,?,?,?,?,?)"
                                   : "Insert into Master(Index_Rec,CODE,VOUCHER_NO,Fyear,Date,"
                                     "Vtype,Status,PaidUpto,Debit,Credit,BillNo,Particular,eDate) "
                                     "values(?,?,?,?,?,?,?,?,?,?,?,?,?)") {}

  // One row; `date` "" is written as Null. In a repaired Master the row also gets its entry
  // date and, when `acode` is given, its loan codes.
  void Row(std::int64_t code, std::int64_t voucher, std::int64_t fyear, const std::string& date,
           const char* vtype, const char* status, const std::string& paid_upto, double debit,
           double credit, const std::string& particular, Cell edate = nullptr, Cell acode = nullptr,
           Cell master_code = nullptr, bool repaired_row = true) {
    std::vector<Cell> cells = {++index_,
                               code,
                               voucher,
                               fyear,
                               date.empty() ? Cell(nullptr) : Cell(date),
                               std::string(vtype),
                               std::string(status),
                               paid_upto,
                               debit,
                               credit,
                               std::to_string(voucher),
                               particular,
                               std::move(edate)};
    if (repaired_) {
      const bool done = repaired_row;
      cells.push_back(done ? Cell(date) : Cell(nullptr));
      cells.push_back(done ? Cell(std::string("00:00:00")) : Cell(nullptr));
      cells.push_back(done ? std::move(acode) : Cell(nullptr));
      cells.push_back(done ? std::move(master_code) : Cell(nullptr));
    }
    insert_.Run(cells);
    ++rows_;
  }
  std::int64_t rows() const { return rows_; }

 private:
  bool repaired_;
  std::int64_t index_;  // Index_Rec of the last row written
  Statement insert_;
  std::int64_t rows_ = 0;
};

// A repayment voucher of one loan: cash in, principal and interest out of the loan and
// interest accounts. All three rows carry Status 'LoanR' as the accounting application
// writes them.
void RepaymentVoucher(LedgerWriter& ledger, std::int64_t loan, std::int64_t mid,
                      std::int64_t voucher, std::int64_t fyear, const std::string& date,
                      double principal, double interest, bool repaired = true) {
  ledger.Row(kCashAccount, voucher, fyear, date, "Receipt", "LoanR", kNoDate, principal + interest,
             0, "Loan repayment", nullptr, loan, mid, repaired);
  ledger.Row(loan, voucher, fyear, date, "Receipt", "LoanR", date, 0, principal,
             "Principal received", nullptr, loan, mid, repaired);
  ledger.Row(kInterestAccount, voucher, fyear, date, "Receipt", "LoanR", date, 0, interest,
             "Interest received", nullptr, loan, mid, repaired);
}

// An interest-only receipt of one loan: cash in, interest out of the interest account, with
// the loan's codes on both rows.
void InterestReceipt(LedgerWriter& ledger, std::int64_t loan, std::int64_t mid,
                     std::int64_t voucher, std::int64_t fyear, const std::string& date,
                     double interest) {
  ledger.Row(kCashAccount, voucher, fyear, date, "Receipt", "LoanR", kNoDate, interest, 0,
             "Interest received", nullptr, loan, mid);
  ledger.Row(kInterestAccount, voucher, fyear, date, "Receipt", "LoanR", date, 0, interest,
             "Interest received", nullptr, loan, mid);
}

void DepositVoucher(LedgerWriter& ledger, std::int64_t account, std::int64_t voucher,
                    std::int64_t fyear, const std::string& date, double amount,
                    bool repaired = true) {
  ledger.Row(kCashAccount, voucher, fyear, date, "Receipt", "Deposit", kNoDate, amount, 0,
             "Cash deposited", nullptr, nullptr, nullptr, repaired);
  ledger.Row(account, voucher, fyear, date, "Receipt", "Deposit", kNoDate, 0, amount, "Deposit",
             nullptr, nullptr, nullptr, repaired);
}

double Installment(double loan, double rate, int months) {
  const double r = rate / 1200.0;  // per month
  return base::RoundHalfEven(loan * r / (1 - std::pow(1 + r, -months)), 2);
}

}  // namespace

FiscalYears FiscalYearsAround(const std::string& today_bs) {
  const int y = YearOf(today_bs);
  const int first = MonthOf(today_bs) >= 4 ? y : y - 1;  // the year in use began in month 4
  FiscalYears years;
  years.current_from = BsDate(first, 4, 1);
  years.current_to = BsDate(first + 1, 3, calendar::BsMonthDays(first + 1, 3));
  years.previous_from = BsDate(first - 1, 4, 1);
  years.previous_to = BsDate(first, 3, calendar::BsMonthDays(first, 3));
  return years;
}

void WriteSettingsFile(const fs::path& folder, const fs::path& server, const std::string& catalog) {
  Database db(folder / "mavdata.cdf", true);
  db.Exec(
      "Create Table Settings(SN Int,[Using] Int,ServerName Varchar(100),UserName Varchar(50),"
      "PassWord Varchar(50),Dbase Varchar(50))");
  Statement insert(db.get(), "Insert into Settings values(1,1,?,'sa','',?)");
  insert.Run({server.string(), catalog});
}

void WriteSmsOutbox(const fs::path& file) {
  Database db(file, true);
  // A mobile number is a number to the gateway; stored whole, never with a fraction.
  db.Exec("Create Table Send(SN Int,Mobile Numeric,Msg Text,[Date] Text,[Time] Text)");
}

void WriteGammuOutbox(const fs::path& file) {
  Database db(file, true);
  db.Exec("PRAGMA journal_mode=WAL");
  // Times default to UTC (datetime('now')), as in gammu's own script; the daemon writes its
  // own times in local time.
  db.Exec(R"sql(
Begin;
Create Table gammu (Version Integer Not Null Default '0' Primary Key);
Insert Into gammu (Version) Values (17);

Create Table inbox (
  UpdatedInDB Numeric Not Null Default (datetime('now')),
  ReceivingDateTime Numeric Not Null Default (datetime('now')),
  Text Text Not Null,
  SenderNumber Text Not Null Default '',
  Coding Text Not Null Default 'Default_No_Compression',
  UDH Text Not Null,
  SMSCNumber Text Not Null Default '',
  Class Integer Not Null Default '-1',
  TextDecoded Text Not Null Default '',
  ID Integer Primary Key Autoincrement,
  RecipientID Text Not Null,
  Processed Text Not Null Default 'false',
  Status Integer Not Null Default '-1',
  Check (Coding In ('Default_No_Compression', 'Unicode_No_Compression', '8bit',
                    'Default_Compression', 'Unicode_Compression')));
Create Trigger update_inbox_time Update On inbox
  Begin Update inbox Set UpdatedInDB = datetime('now') Where ID = old.ID; End;

Create Table outbox (
  UpdatedInDB Numeric Not Null Default (datetime('now')),
  InsertIntoDB Numeric Not Null Default (datetime('now')),
  SendingDateTime Numeric Not Null Default (datetime('now')),
  SendBefore Time Not Null Default '23:59:59',
  SendAfter Time Not Null Default '00:00:00',
  Text Text,
  DestinationNumber Text Not Null Default '',
  Coding Text Not Null Default 'Default_No_Compression',
  UDH Text,
  Class Integer Default '-1',
  TextDecoded Text Not Null Default '',
  ID Integer Primary Key Autoincrement,
  MultiPart Text Not Null Default 'false',
  RelativeValidity Integer Default '-1',
  SenderID Text,
  SendingTimeOut Numeric Not Null Default (datetime('now')),
  DeliveryReport Text Default 'default',
  CreatorID Text Not Null,
  Retries Integer Default '0',
  Priority Integer Default '0',
  Status Text Not Null Default 'Reserved',
  StatusCode Integer Not Null Default '-1',
  Check (Coding In ('Default_No_Compression', 'Unicode_No_Compression', '8bit',
                    'Default_Compression', 'Unicode_Compression')),
  Check (DeliveryReport In ('default', 'yes', 'no')),
  Check (Status In ('SendingOK', 'SendingOKNoReport', 'SendingError', 'DeliveryOK',
                    'DeliveryFailed', 'DeliveryPending', 'DeliveryUnknown', 'Error',
                    'Reserved')));
Create Index outbox_date On outbox(SendingDateTime, SendingTimeOut);
Create Index outbox_sender On outbox(SenderID);
Create Trigger update_outbox_time Update On outbox
  Begin Update outbox Set UpdatedInDB = datetime('now') Where ID = old.ID; End;

Create Table outbox_multipart (
  Text Text,
  Coding Text Not Null Default 'Default_No_Compression',
  UDH Text,
  Class Integer Default '-1',
  TextDecoded Text Default Null,
  ID Integer,
  SequencePosition Integer Not Null Default '1',
  Status Text Not Null Default 'Reserved',
  StatusCode Integer Not Null Default '-1',
  Check (Coding In ('Default_No_Compression', 'Unicode_No_Compression', '8bit',
                    'Default_Compression', 'Unicode_Compression')),
  Check (Status In ('SendingOK', 'SendingOKNoReport', 'SendingError', 'DeliveryOK',
                    'DeliveryFailed', 'DeliveryPending', 'DeliveryUnknown', 'Error',
                    'Reserved')),
  Primary Key (ID, SequencePosition));

Create Table phones (
  ID Text Not Null,
  UpdatedInDB Numeric Not Null Default (datetime('now')),
  InsertIntoDB Numeric Not Null Default (datetime('now')),
  TimeOut Numeric Not Null Default (datetime('now')),
  Send Text Not Null Default 'no',
  Receive Text Not Null Default 'no',
  IMEI Text Primary Key Not Null,
  IMSI Text Not Null,
  NetCode Text Default 'ERROR',
  NetName Text Default 'ERROR',
  Client Text Not Null,
  Battery Integer Not Null Default -1,
  Signal Integer Not Null Default -1,
  Sent Integer Not Null Default 0,
  Received Integer Not Null Default 0);
Create Trigger update_phones_time Update On phones
  Begin Update phones Set UpdatedInDB = datetime('now') Where IMEI = old.IMEI; End;

Create Table sentitems (
  UpdatedInDB Numeric Not Null Default (datetime('now')),
  InsertIntoDB Numeric Not Null Default (datetime('now')),
  SendingDateTime Numeric Not Null Default (datetime('now')),
  DeliveryDateTime Numeric Null,
  Text Text Not Null,
  DestinationNumber Text Not Null Default '',
  Coding Text Not Null Default 'Default_No_Compression',
  UDH Text Not Null,
  SMSCNumber Text Not Null Default '',
  Class Integer Not Null Default '-1',
  TextDecoded Text Not Null Default '',
  ID Integer,
  SenderID Text Not Null,
  SequencePosition Integer Not Null Default '1',
  Status Text Not Null Default 'SendingOK',
  StatusError Integer Not Null Default '-1',
  TPMR Integer Not Null Default '-1',
  RelativeValidity Integer Not Null Default '-1',
  CreatorID Text Not Null,
  StatusCode Integer Not Null Default '-1',
  Check (Status In ('SendingOK', 'SendingOKNoReport', 'SendingError', 'DeliveryOK',
                    'DeliveryFailed', 'DeliveryPending', 'DeliveryUnknown', 'Error')),
  Check (Coding In ('Default_No_Compression', 'Unicode_No_Compression', '8bit',
                    'Default_Compression', 'Unicode_Compression')),
  Primary Key (ID, SequencePosition));
Create Index sentitems_date On sentitems(DeliveryDateTime);
Create Index sentitems_tpmr On sentitems(TPMR);
Create Index sentitems_dest On sentitems(DestinationNumber);
Create Index sentitems_sender On sentitems(SenderID);
Create Trigger update_sentitems_time Update On sentitems
  Begin Update sentitems Set UpdatedInDB = datetime('now') Where ID = old.ID; End;
Commit;
)sql");
}

void CreateApplicationCatalog(const fs::path& file) {
  Database db(file, true);
  db.Exec("Begin");
  CreateTables(db, false);
  CreateApplicationKeys(db);
  db.Exec("Commit");
}

void FillDemoCatalog(const fs::path& file, const fs::path& outbox, const std::string& today_ad,
                     const std::string& today_bs) {
  Database db(file, false);
  db.Exec("Begin");
  WriteFiscalYears(db, today_bs);
  WriteChart(db);
  const FiscalYears years = FiscalYearsAround(today_bs);

  const char* const kMembers[] = {
      "Ram Bahadur Thapa",      "Sita Kumari Shrestha", "Hari Prasad Adhikari", "Gita Devi Poudel",
      "Krishna Bahadur Gurung", "Maya Tamang",          "Bishnu Prasad Sharma", "Laxmi Kumari K.C.",
      "Shyam Sundar Rai",       "Parbati Magar"};
  Statement member(db.get(), "Insert into MasterAc values(?,?,?,?)");
  Statement account(db.get(), "Insert into Acc values(?,?,?,?,?,Null)");
  for (int i = 0; i < 10; ++i) {
    const std::int64_t mcode = i + 1;
    const std::string mobile = "98410000" + std::to_string(10 + i);
    member.Run({mcode, std::string(kMembers[i]), std::string("Kathmandu-") + std::to_string(i + 1),
                mobile});
    account.Run({std::int64_t{2001 + i}, std::int64_t{i % 3 == 0 ? 202 : 201}, mcode,
                 std::string(kMembers[i]), "SD-" + std::to_string(i + 1)});
  }

  LedgerWriter ledger(db, false);
  Statement schedule(
      db.get(), "Insert into Amortization values(?,?,?,12,24,?,?,?,'Monthly',?,'Dynamic',0,0)");
  std::int64_t voucher = 1;
  const std::int32_t days_into_year = DaysFrom(years.current_from, today_bs);

  // Eight loans of members 1..8, lent in the previous fiscal year, repaid monthly; the later
  // loans stop paying a few months before today so that their replies show dues.
  for (int i = 0; i < 8; ++i) {
    const std::int64_t loan = 1001 + i, mid = i + 1;
    const double amount = 50000.0 * (i + 1);
    const double rate = 12 + i % 4;
    const bool fixed_installment = i % 2 == 1;
    const std::string lent = calendar::BsAddDays(years.previous_from, 20 + 25 * i);
    const std::string first_due = calendar::BsAddMonths(lent, 1);
    const double payment = fixed_installment ? Installment(amount, rate, 24) : amount / 24;
    account.Run({loan, std::int64_t{i % 2 == 0 ? 101 : 102}, mid, std::string(kMembers[i]),
                 "LN-" + std::to_string(i + 1)});
    schedule.Run({loan, amount, rate, lent, first_due, payment,
                  std::string(fixed_installment ? "Kista" : "Principal")});
    ledger.Row(loan, voucher, 3, lent, "Payment", "Loan", kNoDate, amount, 0, "Loan issued");
    ledger.Row(kCashAccount, voucher, 3, lent, "Payment", "...", kNoDate, 0, amount, "Loan issued");
    ++voucher;

    double balance = amount;
    const int skipped = i / 2;  // months left unpaid before today
    for (int m = 1; m < 24; ++m) {
      const std::string due = calendar::BsAddMonths(lent, m);
      if (due > today_bs) break;
      if (calendar::BsAddMonths(due, skipped) > today_bs) break;
      const std::int64_t fyear = due < years.current_from ? 3 : 4;
      const double interest = base::RoundHalfEven(balance * rate / 1200.0, 2);
      const double principal =
          base::RoundHalfEven(fixed_installment ? payment - interest : payment, 2);
      balance -= principal;
      RepaymentVoucher(ledger, loan, mid, voucher++, fyear, due, principal, interest);
    }
  }

  // A member repaying two loans in one voucher (loans of members 1 and 2).
  const std::string joint = calendar::BsAddDays(years.current_from, days_into_year / 2);
  ledger.Row(kCashAccount, voucher, 4, joint, "Receipt", "LoanR", kNoDate, 3000, 0,
             "Loan repayment");
  ledger.Row(1001, voucher, 4, joint, "Receipt", "LoanR", joint, 0, 1000, "Principal received");
  ledger.Row(1002, voucher, 4, joint, "Receipt", "LoanR", joint, 0, 2000, "Principal received");
  ++voucher;

  // Deposits: every account saves each month of both years up to today.
  for (int i = 0; i < 10; ++i) {
    for (std::string day = calendar::BsAddDays(years.previous_from, 5 + i); day <= today_bs;
         day = calendar::BsAddMonths(day, 1)) {
      const std::int64_t fyear = day < years.current_from ? 3 : 4;
      DepositVoucher(ledger, 2001 + i, voucher++, fyear, day, 500.0 * (i + 1));
    }
  }
  // A deposit voucher whose rows carry two dates (entered across midnight).
  const std::string late = calendar::BsAddDays(years.current_from, days_into_year / 3);
  const std::string next_day = calendar::BsAddDays(late, 1);
  ledger.Row(kCashAccount, voucher, 4, late, "Receipt", "Deposit", kNoDate, 700, 0,
             "Cash deposited");
  ledger.Row(2003, voucher, 4, next_day, "Receipt", "Deposit", kNoDate, 0, 700, "Deposit");
  ++voucher;

  // Transfers between deposit accounts written by the mobile banking program: AD entry date,
  // no BS date or fiscal year yet.
  const std::chrono::sys_days today = ParseAd(today_ad);
  for (int t = 0; t < 3; ++t) {
    const std::string edate = FormatAd(today - std::chrono::days{3 * t + 1});
    ledger.Row(2001 + t, voucher, 0, "", "Journal", "TRFOut", kNoDate, 1000.0 * (t + 1), 0,
               "Transfer out", edate);
    ledger.Row(2005 + t, voucher, 0, "", "Journal", "TRFIn", kNoDate, 0, 1000.0 * (t + 1),
               "Transfer in", edate);
    ++voucher;
  }

  // The SIM gateway and pending requests.
  Statement gateway(db.get(),
                    "Insert into SMSDatabase values(1,?,'',0,0,'HAPPY BIRTHDAY TO YOU AND WISH "
                    "YOU ALL THE BEST.','.',101,'SIM','sa',0)");
  gateway.Run({outbox.string()});
  Statement loan_sms(db.get(), "Insert into LoanSMS values(?,?,?,?,'LOAN',Null,0,Null)");
  Statement service(db.get(), "Insert into SMSService values(?,?,1,?,?,'BAL',Null,0)");
  Statement statement(db.get(), "Insert into LoanStatement values(?,?,?,?,'LS',Null)");
  for (int i = 0; i < 3; ++i) {
    const std::string mobile = "98410000" + std::to_string(10 + i);
    loan_sms.Run({std::int64_t{i + 1}, std::int64_t{1001 + i}, mobile, today_ad});
    service.Run({std::int64_t{i + 1}, today_ad, std::int64_t{1004 + i}, mobile});
    statement.Run({std::int64_t{i + 1}, std::int64_t{1005 + i}, today_ad, mobile});
  }
  db.Exec("Commit");
}

void WriteLargeCatalog(const fs::path& file, const LargeCatalog& size,
                       const std::string& today_bs) {
  Database db(file, true);
  db.Exec("PRAGMA synchronous=OFF");
  db.Exec("Begin");
  CreateTables(db, true);
  WriteFiscalYears(db, today_bs);
  WriteChart(db);
  const FiscalYears years = FiscalYearsAround(today_bs);

  // About 95% of the rows belong to loans, the rest to deposit vouchers (2 rows each) of half
  // as many deposit accounts as loans. Every tenth loan (codes ending in 9) was paid out and
  // never repaid: its ledger is its disbursement (2 rows). The others are repaid in cycles of
  // one repayment voucher (cash, principal, interest) and two interest-only receipts (cash,
  // interest), members paying interest monthly and principal less often; so the
  // interest-income account holds about 38% of all rows.
  const int loans = std::max(size.loans, 1);
  const int paying = loans - loans / 10;
  const std::int64_t loan_rows = size.ledger_rows * 95 / 100;
  const int cycles = static_cast<int>(
      std::max<std::int64_t>((loan_rows - 2 * std::int64_t{loans}) / std::max(paying, 1) / 7, 0));
  const int deposit_accounts = std::max(loans / 2, 1);
  const std::int64_t loan_rows_written =
      2 * std::int64_t{loans} + std::int64_t{paying} * 7 * cycles;
  const std::int64_t deposit_vouchers =
      std::max<std::int64_t>(size.ledger_rows - loan_rows_written, 0) / 2;

  Statement member(db.get(), "Insert into MasterAc values(?,?,'Kathmandu',?)");
  Statement account(db.get(), "Insert into Acc values(?,?,?,?,?,Null)");
  Statement schedule(db.get(),
                     "Insert into Amortization values(?,?,14,12,?,?,?,?,'Monthly','Principal',"
                     "'Dynamic',0,0)");
  LedgerWriter ledger(db, true);
  std::int64_t voucher = 1;
  for (int i = 0; i < loans; ++i) {
    const std::int64_t loan = 100000 + i, mid = i + 1;
    const bool never_paid = i % 10 == 9;
    const std::string name = "Member " + std::to_string(mid);
    member.Run({mid, name, "9841" + std::to_string(100000 + i)});
    account.Run({loan, std::int64_t{101 + i % 2}, mid, name, "LN-" + std::to_string(mid)});
    const double amount = 100000;
    const int installments = std::max(cycles, 1);
    const std::string lent = calendar::BsAddDays(years.current_from, i % 30);
    schedule.Run({loan, amount, static_cast<double>(installments), lent,
                  calendar::BsAddDays(lent, 15), amount / installments});
    ledger.Row(loan, voucher, 4, lent, "Payment", "Loan", kNoDate, amount, 0, "Loan issued",
               nullptr, nullptr, nullptr);
    ledger.Row(kCashAccount, voucher, 4, lent, "Payment", "...", kNoDate, 0, amount, "Loan issued",
               nullptr, nullptr, nullptr);
    ++voucher;
    if (never_paid) continue;
    for (int r = 1; r <= 3 * cycles; ++r) {
      const std::string day = calendar::BsAddDays(lent, 10 * r % 360);
      if (r % 3 == 0) {
        RepaymentVoucher(ledger, loan, mid, voucher++, 4, day, 1000, 150);
      } else {
        InterestReceipt(ledger, loan, mid, voucher++, 4, day, 150);
      }
    }
  }
  for (int d = 0; d < deposit_accounts; ++d) {
    account.Run({std::int64_t{500000 + d}, std::int64_t{201}, std::int64_t{d + 1},
                 "Member " + std::to_string(d + 1), "SD-" + std::to_string(d + 1)});
  }
  for (std::int64_t v = 0; v < deposit_vouchers; ++v) {
    DepositVoucher(ledger, 500000 + v % deposit_accounts, voucher++, 4,
                   calendar::BsAddDays(years.current_from, static_cast<std::int32_t>(v % 360)),
                   1000);
  }
  CreateApplicationKeys(db);
  db.Exec("Commit");
  db.Exec("PRAGMA synchronous=FULL");
}

namespace {

// The highest Index_Rec of the ledger, 0 when it is empty.
std::int64_t LastIndexRec(Database& db) {
  std::int64_t last = 0;
  sqlite3_stmt* max = nullptr;
  sqlite3_prepare_v2(db.get(), "Select max(Index_Rec) from Master", -1, &max, nullptr);
  if (max != nullptr && sqlite3_step(max) == SQLITE_ROW) last = sqlite3_column_int64(max, 0);
  sqlite3_finalize(max);
  return last;
}

}  // namespace

void AddRepairBacklog(const fs::path& file, int vouchers, std::int64_t first_voucher,
                      const std::string& today_bs) {
  Database db(file, false);
  db.Exec("Begin");
  const FiscalYears years = FiscalYearsAround(today_bs);
  // Index_Rec of backlog rows continues above every existing one.
  LedgerWriter ledger(db, true, LastIndexRec(db));
  std::int64_t voucher = first_voucher;
  for (int v = 0; v < vouchers; ++v) {
    const std::string day = calendar::BsAddDays(years.current_from, v % 300);
    RepaymentVoucher(ledger, 100000 + v % 100, 1 + v % 100, voucher++, 4, day, 1000, 150, false);
    DepositVoucher(ledger, 500000 + v % 50, voucher++, 4, day, 1000, false);
  }
  db.Exec("Commit");
}

void AddHistory(const fs::path& file, const History& history, int loans, std::int64_t first_voucher,
                const std::string& today_bs) {
  Database db(file, false);
  db.Exec("PRAGMA synchronous=OFF");
  db.Exec("Begin");
  const FiscalYears years = FiscalYearsAround(today_bs);
  LedgerWriter ledger(db, true, LastIndexRec(db));
  std::int64_t voucher = first_voucher;
  for (int v = 0; v < history.unrepairable_vouchers; ++v) {
    const std::string day = calendar::BsAddDays(years.current_from, v % 300);
    ledger.Row(kCashAccount, voucher, 4, day, "Receipt", "LoanR", kNoDate, 150, 0,
               "Interest received", nullptr, nullptr, nullptr, false);
    ledger.Row(kInterestAccount, voucher, 4, day, "Receipt", "LoanR", day, 0, 150,
               "Interest received", nullptr, nullptr, nullptr, false);
    ++voucher;
  }

  // Requests of the last three years, a day each over about 1,000 days; the replies have
  // the length of the composed ones.
  const int first_year = YearOf(years.current_from) - 3;
  const auto request_day = [&](std::int64_t n) {
    return BsDate(first_year + static_cast<int>(n % 3), 1 + static_cast<int>(n / 3 % 12),
                  1 + static_cast<int>(n / 36 % 28));
  };
  loans = std::max(loans, 1);
  Statement sim(db.get(),
                "Insert into LoanSMS(SN,Accode,Mobile,Date,[Receive],[Send],Reply,Fyear) "
                "values(?,?,?,?,'LOAN',?,1,4)");
  for (std::int64_t n = 0; n < history.answered_sim; ++n) {
    const std::int64_t i = n % loans;
    const std::string day = request_day(n);
    sim.Run({n + 1, 100000 + i, "9841" + std::to_string(100000 + i), day,
             "DEAR MEMBER " + std::to_string(i + 1) + " (" + std::to_string(100000 + i) +
                 ")\r\nREPORT FROM: " + day + "\r\nD.LOAN: 45000.00\r\nP.LOAN: 0.00\r\nD.INT: " +
                 std::to_string(n % 997) + ".00\r\nPENAL: 0.00\r\nON: " + day});
  }
  Statement statement(db.get(),
                      "Insert into LoanStatement(SN,Accode,Date,Mobile,Request,Message_Reply) "
                      "values(?,?,?,?,'LS',?)");
  for (std::int64_t n = 0; n < history.answered_statements; ++n) {
    const std::int64_t i = n % loans;
    const std::string day = request_day(n);
    statement.Run({n + 1, 100000 + i, day, "9841" + std::to_string(100000 + i),
                   "Dear Member " + std::to_string(i + 1) + "\r\nLast Payment Date: " + day +
                       "\r\nLoan Taken: 100000.00\r\nLoan Paid: 55000.00\r\nDue Loan: "
                       "45000.00\r\nPayable Loan: 0.00\r\nInterest Due: " +
                       std::to_string(n % 997) + ".00\r\nPenal Due: 0.00\r\nTill Date: " + day});
  }
  db.Exec("Commit");
  db.Exec("PRAGMA synchronous=FULL");
}

}  // namespace tools
