#ifndef MAV_TESTS_SUPPORT_TEST_CATALOG_H_
#define MAV_TESTS_SUPPORT_TEST_CATALOG_H_

// Fixtures shared by the test suites: temporary folders, embedded accounting catalogs and the
// agent's program folder.
//
//   test_support::TempDir dir;                            // removed at the end of the test
//   test_support::TestCatalog catalog(dir.path());        // dir/MavData2075.db, old schema
//   catalog.Insert("Acc", {{"ACCODE", 101}, {"Name", "Ram"}, {"Alias", data::Value()}});
//   auto main = data::OpenConnection(catalog.ConnectionString());
//
//   test_support::TestCatalog current(dir.path(), "Current", test_support::CatalogLevel::kCurrent);
//
//   test_support::ProgramFolder program(dir.path() / "program");
//   program.PointAt(catalog);                             // mavdata.cdf: one active Settings row

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "data/value.h"

namespace test_support {

// A new, empty folder under the system's temporary folder, removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A value as an SQL literal: Null -> "Null", integers in decimal, doubles with 17 significant
// digits (the value is stored exactly), texts through data::SqlText, booleans 1 / 0.
std::string SqlLiteral(const data::Value& value);

// The rows of `sql` as SQLite reads the text itself, on a connection of its own to `file`:
// none of the driver's rewriting, so the result stands for what a statement gave before a
// rewrite. `setup` runs first (a PRAGMA, or statements in a transaction that is then rolled
// back: "BEGIN; DROP INDEX ..."). Values as the driver gives them (integer, double, text,
// Null); throws std::runtime_error when a statement fails.
std::vector<std::vector<data::Value>> QueryAsWritten(const std::filesystem::path& file,
                                                     const std::string& sql,
                                                     const std::string& setup = "");

// Schema level of a test catalog.
enum class CatalogLevel {
  // The accounting application's own tables as they are before the agent's schema upgrade:
  // Master, MasterAc, Acc, OtherSetting, SubLedger, SavingSetting, Ledger, Amortization,
  // AmDetails, YearSetting, LocalGroup, VDC, Tole, LoanDemandForm, VRemarks, Company.
  // None of the columns the upgrade adds is present (Master has no iDate, dTime, BranchID,
  // eDate, Acode, MasterCode; OtherSetting has p1, p2, p3 but no Basis, LPeriod, ...), and
  // none of the tables the upgrade creates exists.
  kBeforeUpgrade,
  // The same tables after the whole upgrade: every table the upgrade creates in the catalog
  // (SMSDatabase, LoanSMS, SMSService, LoanStatement, SMSSetting, ...) and every column it
  // adds, with the types of its statements, but without its starting rows or values (the
  // tables are empty). The server's Master catalog (<dir>/Master.db) gets LoginInfo. A start
  // of the agent on this catalog finds every probed object present.
  kCurrent,
};

// One row for TestCatalog::Insert: column name and value.
using Row = std::vector<std::pair<std::string, data::Value>>;

// An embedded accounting catalog, the file <directory>/<name>.db, reached by the agent with
// ConnectionString(). The file stays when the object goes away (the TempDir removes it).
//
// Columns of the old schema, by table (types as SQL Server's statements give them):
//   Master        CODE int, VOUCHER_NO int, Fyear int, Date varchar(10), Status varchar(30),
//                 Vtype varchar(50), PaidUpto varchar(10), Debit Float, Credit Float,
//                 Index_Rec int, BillNo varchar(30), Particular varchar(255)
//   MasterAc      Mcode int, Name varchar(100), Address varchar(100), Phone varchar(30),
//                 Mobile varchar(15), Father varchar(80), DOB varchar(10), Gender varchar(10)
//   Acc           ACCODE int, Mid int, subCode int, Name varchar(100), Alias varchar(50),
//                 Nalias varchar(50), OpenDate varchar(10), Status varchar(20)
//   OtherSetting  SN int, p1 Float, p2 Float, p3 Float
//   SubLedger     LCODE int, SubCODE int, Name varchar(100), Alias varchar(30), IntRate Float
//   SavingSetting SN int, SubCode int, MinBalance Float, IntRate Float
//   Ledger        LCODE int, NAME varchar(100), LType varchar(30)
//   Amortization  Accode int, Loan Float, Interest Float, Nop int, Period Float,
//                 Tdate varchar(10), Tfrom varchar(10), Payment Float, LoanType varchar(20),
//                 Fixedby varchar(20), Calc varchar(20), Swith tinyint, Mi bit
//   AmDetails     Accode int, SN int, tDate varchar(10), Principal Float, Interest Float
//   YearSetting   SN int, Fyear varchar(20), Dfrom varchar(10), Dto varchar(10), [Using] bit
//   LocalGroup, VDC, Tole     SN int, Name varchar(60)
//   LoanDemandForm SN int, Mcode int, Amount Float, Date varchar(10), Purpose varchar(100)
//   VRemarks      SN int, Fyear int, VOUCHER_NO int, Remarks varchar(255)
//   Company       SN int, Name varchar(100), Address varchar(100), Phone varchar(40)
// No table has rows. Text columns compare without regard to case, as the driver creates them.
class TestCatalog {
 public:
  // Creates the catalog file (an existing file of that name is replaced).
  explicit TestCatalog(const std::filesystem::path& directory, std::string name = "MavData2075",
                       CatalogLevel level = CatalogLevel::kBeforeUpgrade);
  ~TestCatalog();
  TestCatalog(const TestCatalog&) = delete;
  TestCatalog& operator=(const TestCatalog&) = delete;

  const std::string& name() const { return name_; }
  const std::filesystem::path& directory() const { return directory_; }
  std::filesystem::path file() const { return directory_ / (name_ + ".db"); }

  // "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial Catalog=<name>;
  // Data Source=<directory>", as the agent builds it from the settings file.
  std::string ConnectionString() const;

  // The catalog's own connection (statements are SQL Server texts, rewritten by the driver).
  data::Connection& connection() { return *connection_; }

  // Runs a statement; throws base::AgentError as the driver does.
  void Exec(const std::string& sql);

  // "Insert Into [table]([c1],[c2],...) Values(v1,v2,...)" with the values as SqlLiteral.
  void Insert(const std::string& table, const Row& row);

  data::QueryResult Query(const std::string& sql);

  // First column of the first row, Null when the query returns no row.
  data::Value Scalar(const std::string& sql);

  // True when the table exists / the table has the column (any letter case).
  bool HasTable(const std::string& table);
  bool HasColumn(const std::string& table, const std::string& column);

  // Brings a kBeforeUpgrade catalog to kCurrent (see CatalogLevel).
  void AddUpgradeObjects();

  // A backup put back: the file becomes a copy of `backup` (a new file under the same name,
  // without write-ahead log), and the catalog's own connection is opened on it again. No other
  // program may have the file open.
  void PutBack(const std::filesystem::path& backup);

  // A backup of the catalog as it stands: all its commits in the file `backup`.
  void CopyTo(const std::filesystem::path& backup);

 private:
  std::filesystem::path directory_;
  std::string name_;
  std::unique_ptr<data::Connection> connection_;
};

// A row of the Settings table of the local settings file. Unset columns are Null.
struct SettingsRow {
  data::Value Using = std::int64_t{-1};  // the active row: -1 (true as Jet stores it) or 0
  data::Value ServerName;
  data::Value UserName;
  data::Value PassWord;
  data::Value Dbase;
};

// The agent's program folder (the folder of its executable) with the local settings file
// "mavdata.cdf": an SQLite database holding the table
//   Settings(SN int, [Using] int, ServerName text, UserName text, PassWord text, Dbase text).
// The folder is created when missing; the settings file is created empty by the constructor.
class ProgramFolder {
 public:
  explicit ProgramFolder(std::filesystem::path folder);

  const std::filesystem::path& path() const { return folder_; }
  std::filesystem::path SettingsFile() const { return folder_ / "mavdata.cdf"; }

  // "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<folder>/mavdata.cdf;Persist Security
  // Info=false;Jet OLEDB:Database Password=907qx".
  std::string SettingsConnectionString() const;

  // Appends a Settings row (SN counts 1, 2, ... in order of addition).
  void AddSettings(const SettingsRow& row);

  // Appends an active Settings row naming the catalog: ServerName = its directory,
  // UserName "sa", PassWord "", Dbase = its name.
  void PointAt(const TestCatalog& catalog);

  // Writes `content` to <folder>/<name> as is (e.g. the connector file "MAVConnector.xml").
  void WriteFile(const std::string& name, const std::string& content) const;

  // Copies the built agent executable into the folder and returns its path there.
  std::filesystem::path InstallExecutable() const;

 private:
  std::filesystem::path folder_;
  int next_sn_ = 1;
};

}  // namespace test_support

#endif  // MAV_TESTS_SUPPORT_TEST_CATALOG_H_
