#include "tests/support/test_catalog.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

#include "base/agent_error.h"
#include "data/connection_string.h"
#include "data/drivers.h"

namespace test_support {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0;; ++attempt) {
    const fs::path candidate =
        base / ("mav-test-" + std::to_string(random()) + "-" + std::to_string(counter++) + "-" +
                std::to_string(random() % 1000000));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
    if (attempt > 100) {
      throw base::AgentError(base::kFileNotFound,
                             "Cannot create a temporary folder under " + base.string());
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);  // best effort: a test must not fail on its cleanup
}

std::vector<std::vector<data::Value>> QueryAsWritten(const std::filesystem::path& file,
                                                     const std::string& sql,
                                                     const std::string& setup) {
  sqlite3* db = nullptr;
  const auto fail = [&](const std::string& what) {
    const std::string message = what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "");
    sqlite3_close_v2(db);
    throw std::runtime_error(message);
  };
  if (sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    fail("open " + file.string());
  }
  if (!setup.empty() && sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    fail(setup);
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail(sql);
  std::vector<std::vector<data::Value>> rows;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<data::Value>& row = rows.emplace_back();
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
          row.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
          break;
        case SQLITE_FLOAT:
          row.emplace_back(sqlite3_column_double(stmt, i));
          break;
        case SQLITE_NULL:
          row.emplace_back();
          break;
        default:
          row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                       static_cast<std::size_t>(sqlite3_column_bytes(stmt, i))));
      }
    }
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) fail(sql);
  if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
  return rows;
}

std::string SqlLiteral(const data::Value& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "Null"; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", v);
      return buffer;
    }
    std::string operator()(const std::string& v) const { return data::SqlText(v); }
    std::string operator()(bool v) const { return v ? "1" : "0"; }
  };
  return std::visit(Visitor{}, value.raw());
}

namespace {

// The accounting application's own tables, before the agent's upgrade.
const char* const kOldTables[] = {
    "Create Table [Master](CODE int,VOUCHER_NO int,Fyear int,Date varchar(10),"
    "Status varchar(30),Vtype varchar(50),PaidUpto varchar(10),Debit Float,Credit Float,"
    "Index_Rec int,BillNo varchar(30),Particular varchar(255))",
    "Create Table MasterAc(Mcode int,Name varchar(100),Address varchar(100),Phone varchar(30),"
    "Mobile varchar(15),Father varchar(80),DOB varchar(10),Gender varchar(10))",
    "Create Table Acc(ACCODE int,Mid int,subCode int,Name varchar(100),Alias varchar(50),"
    "Nalias varchar(50),OpenDate varchar(10),Status varchar(20))",
    "Create Table OtherSetting(SN int,p1 Float,p2 Float,p3 Float)",
    "Create Table SubLedger(LCODE int,SubCODE int,Name varchar(100),Alias varchar(30),"
    "IntRate Float)",
    "Create Table SavingSetting(SN int,SubCode int,MinBalance Float,IntRate Float)",
    "Create Table Ledger(LCODE int,NAME varchar(100),LType varchar(30))",
    "Create Table Amortization(Accode int,Loan Float,Interest Float,Nop int,Period Float,"
    "Tdate varchar(10),Tfrom varchar(10),Payment Float,LoanType varchar(20),"
    "Fixedby varchar(20),Calc varchar(20),Swith tinyint,Mi bit)",
    "Create Table AmDetails(Accode int,SN int,tDate varchar(10),Principal Float,Interest Float)",
    "Create Table YearSetting(SN int,Fyear varchar(20),Dfrom varchar(10),Dto varchar(10),"
    "[Using] bit)",
    "Create Table LocalGroup(SN int,Name varchar(60))",
    "Create Table VDC(SN int,Name varchar(60))",
    "Create Table Tole(SN int,Name varchar(60))",
    "Create Table LoanDemandForm(SN int,Mcode int,Amount Float,Date varchar(10),"
    "Purpose varchar(100))",
    "Create Table VRemarks(SN int,Fyear int,VOUCHER_NO int,Remarks varchar(255))",
    "Create Table Company(SN int,Name varchar(100),Address varchar(100),Phone varchar(40))",
};

// What the upgrade leaves: tables it creates (with the columns later steps add folded in)
// and, per existing table, the columns it adds. One column per ALTER, so each statement
// is valid in either dialect.
const char* const kUpgradeTables[] = {
    "Create Table MsgRoom(SN int,MDate varchar(10),Msg varchar(200),Sender int,Receiver int,"
    "Stime varchar(30),[Read] int)",
    "Create Table CheckRepair(Repair Int)",
    "Create Table District(SN int,Name varchar(30))",
    "Create Table TaxOnInterest(SN Int,Personal Float,Ins Float,[Group] Float)",
    "Create Table MemberGroup(SN int,Name Varchar(50),DName Varchar(50),Phone Varchar(40),"
    "VDC int,GN Int,WardNo Int,MDate Int,GType Varchar(15))",
    "Create Table SMSSetting(SN Int,Mcode Int,Date Varchar(10),Accode Int,AType Varchar(30),"
    "Mobile Varchar(15),StopService Int,Limit Float,DateTo Varchar(10))",
    "Create Table SMSDatabase(SN Int,[Database] Varchar(255),[Password] Varchar(30),BSMS Int,"
    "SMSRs Float,Msg Varchar(160),Server Varchar(60),Customer_ID Int,dType Varchar(30),"
    "DBUser varchar(30),SMSRsLoan Float)",
    "Create Table LoanSMS(SN Int,Accode Int,Mobile Varchar(30),Date Varchar(10),"
    "[Receive] Varchar(255),[Send] Varchar(600),Reply Int,Fyear Int)",
    "Create Table PrintSet(IsSmall bit,TM Float,[Data] Bit,DoubleSided bit,Preparedby Int,"
    "Checkedby Int,Verifiedby Int,Approvedby Int)",
    "Create Table Vault(SN int,Date Varchar(10),Fld1000 Float,Fld500 Float,Fld100 Float,"
    "Fld50 Float,Fld25 Float,Fld20 Float,Fld10 Float,Fld5 Float,Fld2 Float,Fld1 Float,"
    "Coins Float,Total Float,UID Int,DTime Varchar(8),InOut Varchar(3),Remarks Varchar(50))",
    "Create Table Letter(SN int,Subject varchar(200),Details Varchar(800))",
    "Create Table Security(UID Int,LedgerCreate bit,LedgerEdit bit,LedgerDelete bit,"
    "LDEntry bit,LDEdit bit,LDDelete int,LDLimit Float,DepoEntry int,DepoEdit int,"
    "DepoDelete bit,DepoLimit Float,ColEntry bit,ColEdit bit,ColDelete bit,JVEntry bit,"
    "JVEdit bit,JVDelete bit,SPEntry bit,SPEdit bit,SPDelete bit,IntPost bit,SharePost bit,"
    "ChqIssue bit,OpEntry bit,OpEdit bit,OpDelete bit,OpPrint bit,AcClosing bit,Checking bit,"
    "CBackup bit,Trial bit,RP bit,IE bit,BS bit,AcState bit,LoanState bit,AcBal bit,"
    "CtlLedger bit,DayBook bit,UserReport bit,Summary bit,LoanMemo bit,LoanAgeing bit,"
    "Ratio bit,CashFlow bit,Periodic bit,CashDeno Bit,EMI Bit,IntPenalEdit Bit)",
    "Create Table Activation(AcName bit,Accode bit,GLCode bit,Custom bit,Font varchar(20),"
    "BillFont varchar(30),BB int,SanaKisan int)",
    "Create Table OfficeStaff(SN Int,Male Int,Female Int,Office Int,Counter Int,IntR Int,"
    "dAddress Varchar(60),dName varchar(80))",
    "Create Table OfficialInfo(Mcode int,Profession varchar(30),OfficeName Varchar(80),"
    "Address Varchar(40),RegdNo varchar(30),PAN Varchar(12),Service varchar(80),"
    "ServiceProvider varchar(80),Phone varchar(30),Recommended varchar(30),"
    "Approved varchar(30),Qualification Varchar(40),Board varchar(50),"
    "PassedYear varchar(30),Division varchar(30),[Percent] varchar(30))",
    "Create Table FamilyInfo(SN Int,MCode Int,FName varchar(60),Relation varchar(30),"
    "DOB varchar(10))",
    "Create Table DepositInfo(SN Int,MCode Int,DName varchar(60))",
    "Create Table NetSMS(SN Int,SERVER_NAME Varchar(80),DATABASE_NAME Varchar(50),"
    "USER_NAME Varchar(50),PASSWORD Varchar(50),CUSTOMER_ID Int,DATABASE_TYPE Varchar(30))",
    "Create Table SMSService(SN Int,Date Varchar(30),BranchID Int,Customer_ID Int,"
    "Mobile Varchar(15),Request Varchar(30),Reply Varchar(255),Process_Status Int)",
    "Create Table InterestSetting(SN Int,SubCode Int,Date Varchar(10),IntRate Float,Fyear Int)",
    "Create Table ChangeIntRate(SN Int,Date Varchar(10),PRate Float,CurRate Float,UID Int)",
    "Create Table LoanStatement(SN Int,Accode int,Date Varchar(10),Mobile Varchar(15),"
    "Request Varchar(5),Message_Reply Varchar(200))",
    "Create Table Wallpaper(SN Int,Wallpaper Int,Banner Int)",
    "Create Table PRSetting(SN int,PR Varchar(30))",
};

const struct {
  const char* table;
  const char* columns;  // "name type" entries separated by ","
} kAddedColumns[] = {
    {"Master",
     "iDate Varchar(10),dTime Varchar(8),BranchID Int,eDate Varchar(10),Acode Int,"
     "MasterCode Int"},
    {"MasterAc",
     "CitizenNo Varchar(30),DCode Int,IssueDate varchar(10),BranchID Int,MType Int,"
     "GN Int,Email Varchar(40),Mother Varchar(80),MS Int,PR int,Singal bit,"
     "MDate Varchar(10)"},
    {"Acc",
     "SPRate Float,SSRate Float,LSecurity Varchar(30),SKCode Varchar(15),BranchID Int,"
     "BGroup Varchar(3),Threshold Float"},
    {"OtherSetting",
     "iDate int,dTime Varchar(8),SubCode int,OnIns bit,PLOn Int,PFrom Int,PFromMI Int,"
     "Basis Varchar(20),SomSys Bit,AD1 Float,AD2 Float,AD3 Float,Dr1 Float,Dr2 Float,"
     "Dr3 Float,IR1 Float,IR2 Float,IR3 Float,PLGrace Float,Ag1 Float,Ag2 Float,Ag3 Float,"
     "Lperiod Int,DPeriod Int,MI1 Float,MI2 Float,MI3 Float,MIGrace Float,"
     "MiStatus Varchar(12),AdvLoanC Bit,MonthlyDue Bit,InsDue Bit,MinDeposit Bit,"
     "DepPercent Float,NoInterest Int"},
    {"SubLedger",
     "LLR Float,Source Varchar(30),SKCode Float,NDeposit Float,NRate Float,"
     "AcAlias Varchar(15),NDeposit1 Float,NRate1 Float,NDeposit2 Float,"
     "NRate2 Float,NDeposit3 Float,NRate3 Float,NDeposit4 Float,NRate4 Float"},
    {"SavingSetting",
     "NDeposit Float,NRate Float,NDeposit1 Float,NRate1 Float,"
     "NDeposit2 Float,NRate2 Float,NDeposit3 Float,NRate3 Float,"
     "NDeposit4 Float,NRate4 Float"},
    {"Ledger", "SKCode Int"},
    {"Amortization", "BranchID Int,iStatus Varchar(15)"},
    {"AmDetails", "BranchID Int"},
    {"LocalGroup", "DName Varchar(40)"},
    {"VDC", "DName Varchar(40),TDS Int"},
    {"Tole", "DName Varchar(40)"},
    {"LoanDemandForm", "KittaNo Varchar(30),Area Varchar(40)"},
    {"VRemarks", "IntStatus Varchar(600)"},
    {"Company", "NameNep Varchar(255),AddressNep Varchar(255)"},
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t stop = text.find(separator, start);
    parts.push_back(text.substr(start, stop - start));
    if (stop == std::string::npos) return parts;
    start = stop + 1;
  }
}

}  // namespace

TestCatalog::TestCatalog(const fs::path& directory, std::string name, CatalogLevel level)
    : directory_(directory), name_(std::move(name)) {
  fs::create_directories(directory_);
  std::error_code ec;
  fs::remove(file(), ec);
  connection_ = data::OpenSqliteFile(file(), /*create=*/true);
  data::Transaction transaction(*connection_);  // one commit for the whole schema
  for (const char* sql : kOldTables) Exec(sql);
  if (level == CatalogLevel::kCurrent) AddUpgradeObjects();
  transaction.Commit();
}

TestCatalog::~TestCatalog() = default;

void TestCatalog::CopyTo(const fs::path& backup) {
  connection_->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
  fs::copy_file(file(), backup, fs::copy_options::overwrite_existing);
}

void TestCatalog::PutBack(const fs::path& backup) {
  connection_.reset();
  const fs::path copy = fs::path(file()).concat(".restoring");
  fs::copy_file(backup, copy, fs::copy_options::overwrite_existing);
  std::error_code ec;
  fs::remove(fs::path(file()).concat("-wal"), ec);
  fs::remove(fs::path(file()).concat("-shm"), ec);
  fs::rename(copy, file());
  connection_ = data::OpenSqliteFile(file(), /*create=*/false);
}

std::string TestCatalog::ConnectionString() const {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial Catalog=" +
         name_ + ";Data Source=" + directory_.string();
}

void TestCatalog::Exec(const std::string& sql) { connection_->Execute(sql); }

void TestCatalog::Insert(const std::string& table, const Row& row) {
  std::string columns;
  std::string values;
  for (const auto& [column, value] : row) {
    if (!columns.empty()) {
      columns += ",";
      values += ",";
    }
    columns += "[" + column + "]";
    values += SqlLiteral(value);
  }
  Exec("Insert Into [" + table + "](" + columns + ") Values(" + values + ")");
}

data::QueryResult TestCatalog::Query(const std::string& sql) { return connection_->Query(sql); }

data::Value TestCatalog::Scalar(const std::string& sql) {
  data::QueryResult result = Query(sql);
  if (result.rows.empty() || result.rows[0].empty()) return data::Value();
  return result.rows[0][0];
}

bool TestCatalog::HasTable(const std::string& table) {
  // Asked of SQLite's own catalog, so the answer does not depend on the dialect rewriter.
  data::QueryResult result = Query("Select name from sqlite_master Where type='table'");
  for (const auto& row : result.rows) {
    if (data::EqualsIgnoreCase(row[0].AsText(), table)) return true;
  }
  return false;
}

bool TestCatalog::HasColumn(const std::string& table, const std::string& column) {
  data::QueryResult result = Query("Select * from [" + table + "] Where 1=0");
  for (const auto& name : result.columns) {
    if (data::EqualsIgnoreCase(name, column)) return true;
  }
  return false;
}

void TestCatalog::AddUpgradeObjects() {
  for (const char* sql : kUpgradeTables) Exec(sql);
  for (const auto& added : kAddedColumns) {
    for (const std::string& column : Split(added.columns, ',')) {
      Exec("Alter Table [" + std::string(added.table) + "] Add " + column);
    }
  }
  // The server's Master catalog with the login table the upgrade creates there.
  auto master = data::OpenSqliteFile(directory_ / "Master.db", /*create=*/true);
  master->Execute(
      "Create Table If Not Exists LoginInfo(SN Int,DName Varchar(60),UName Varchar(50),"
      "Office varchar(150),Address varchar(100),Phone varchar(60),Logo image,"
      "LoginDate varchar(10),LoginTime varchar(8),Font varchar(30))");
}

ProgramFolder::ProgramFolder(fs::path folder) : folder_(std::move(folder)) {
  fs::create_directories(folder_);
  std::error_code ec;
  fs::remove(SettingsFile(), ec);
  auto settings = data::OpenSqliteFile(SettingsFile(), /*create=*/true, /*write_ahead_log=*/false);
  settings->Execute(
      "Create Table Settings(SN int,[Using] int,ServerName varchar(255),"
      "UserName varchar(50),PassWord varchar(50),Dbase varchar(50))");
}

std::string ProgramFolder::SettingsConnectionString() const {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + SettingsFile().string() +
         ";Persist Security Info=false;Jet OLEDB:Database Password=907qx";
}

void ProgramFolder::AddSettings(const SettingsRow& row) {
  auto settings = data::OpenSqliteFile(SettingsFile(), /*create=*/false, /*write_ahead_log=*/false);
  settings->Execute(
      "Insert Into Settings(SN,[Using],ServerName,UserName,PassWord,Dbase) "
      "Values(" +
      std::to_string(next_sn_++) + "," + SqlLiteral(row.Using) + "," + SqlLiteral(row.ServerName) +
      "," + SqlLiteral(row.UserName) + "," + SqlLiteral(row.PassWord) + "," +
      SqlLiteral(row.Dbase) + ")");
}

void ProgramFolder::PointAt(const TestCatalog& catalog) {
  SettingsRow row;
  row.ServerName = catalog.directory().string();
  row.UserName = "sa";
  row.PassWord = "";
  row.Dbase = catalog.name();
  AddSettings(row);
}

void ProgramFolder::WriteFile(const std::string& name, const std::string& content) const {
  std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) {
    throw base::AgentError(base::kFileNotFound, "Cannot write " + (folder_ / name).string());
  }
}

fs::path ProgramFolder::InstallExecutable() const {
  const fs::path source(MAV_SERVICES_EXE);
  const fs::path target = folder_ / source.filename();
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  return target;
}

}  // namespace test_support
