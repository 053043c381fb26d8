#include "schema/schema_upgrade.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "data/connection.h"
#include "tests/schema/schema_test_util.h"
#include "tests/support/test_catalog.h"

namespace schema {
namespace {

using schema_test::RawCatalog;
using test_support::CatalogLevel;
using test_support::TestCatalog;

constexpr char kFallbackStart[] = "2081/05/10";

// Tables the upgrade creates in the accounting catalog.
const char* const kCreatedTables[] = {
    "MsgRoom",     "CheckRepair",     "District",      "TaxOnInterest", "MemberGroup", "SMSSetting",
    "SMSDatabase", "LoanSMS",         "PrintSet",      "Vault",         "Letter",      "Security",
    "Activation",  "OfficeStaff",     "OfficialInfo",  "FamilyInfo",    "DepositInfo", "NetSMS",
    "SMSService",  "InterestSetting", "ChangeIntRate", "LoanStatement", "Wallpaper",   "PRSetting",
};

// Columns the upgrade gives each table, beyond those it is created with.
const struct {
  const char* table;
  std::vector<const char*> columns;
} kAddedColumns[] = {
    {"Master", {"iDate", "dTime", "BranchID", "eDate", "Acode", "MasterCode"}},
    {"MasterAc",
     {"CitizenNo", "DCode", "IssueDate", "BranchID", "MType", "GN", "Email", "Mother", "MS", "PR",
      "Singal", "MDate"}},
    {"Acc", {"SPRate", "SSRate", "LSecurity", "SKCode", "BranchID", "BGroup", "Threshold"}},
    {"OtherSetting",
     {"iDate",    "dTime",    "SubCode",    "OnIns",  "PLOn",       "PFrom",      "PFromMI",
      "Basis",    "SomSys",   "AD1",        "AD2",    "AD3",        "Dr1",        "Dr2",
      "Dr3",      "IR1",      "IR2",        "IR3",    "PLGrace",    "Ag1",        "Ag2",
      "Ag3",      "Lperiod",  "DPeriod",    "MI1",    "MI2",        "MI3",        "MIGrace",
      "MiStatus", "AdvLoanC", "MonthlyDue", "InsDue", "MinDeposit", "DepPercent", "NoInterest"}},
    {"SubLedger",
     {"LLR", "Source", "SKCode", "NDeposit", "NRate", "AcAlias", "NDeposit1", "NRate1", "NDeposit2",
      "NRate2", "NDeposit3", "NRate3", "NDeposit4", "NRate4"}},
    {"SavingSetting",
     {"NDeposit", "NRate", "NDeposit1", "NRate1", "NDeposit2", "NRate2", "NDeposit3", "NRate3",
      "NDeposit4", "NRate4"}},
    {"Ledger", {"SKCode"}},
    {"Amortization", {"BranchID", "iStatus"}},
    {"AmDetails", {"BranchID"}},
    {"LocalGroup", {"DName"}},
    {"VDC", {"DName", "TDS"}},
    {"Tole", {"DName"}},
    {"LoanDemandForm", {"KittaNo", "Area"}},
    {"VRemarks", {"IntStatus"}},
    {"Company", {"NameNep", "AddressNep"}},
    {"SMSSetting", {"DateTo"}},
    {"SMSDatabase",
     {"BSMS", "SMSRs", "Msg", "Server", "Customer_ID", "dType", "DBUser", "SMSRsLoan"}},
    {"PrintSet",
     {"TM", "Data", "DoubleSided", "Preparedby", "Checkedby", "Verifiedby", "Approvedby"}},
    {"Security", {"CashDeno", "EMI", "IE", "IntPenalEdit"}},
    {"Activation", {"SanaKisan", "BB"}},
    {"OfficeStaff", {"dName"}},
    {"OfficialInfo", {"Qualification", "Board", "PassedYear", "Division", "Percent"}},
    {"MemberGroup", {"GType"}},
};

// Starting values of the rows a catalog holds before the upgrade, as SQLite literals
// (numbers compare by value, so 0 matches 0.0).
const struct {
  const char* table;
  const char* column;
  const char* value;
} kStartingValues[] = {
    {"MasterAc", "CitizenNo", "'...'"},
    {"MasterAc", "DCode", "0"},
    {"MasterAc", "IssueDate", "'0000/00/00'"},
    {"MasterAc", "BranchID", "1"},
    {"MasterAc", "MType", "1"},
    {"MasterAc", "GN", "0"},
    {"MasterAc", "Email", "'...'"},
    {"MasterAc", "Mother", "null"},
    {"MasterAc", "MS", "0"},
    {"MasterAc", "PR", "0"},
    {"MasterAc", "Singal", "0"},
    {"MasterAc", "MDate", "'0000/00/00'"},
    {"Acc", "SPRate", "0"},
    {"Acc", "SSRate", "0"},
    {"Acc", "LSecurity", "'Personal Guarantee'"},
    {"Acc", "SKCode", "'0'"},
    {"Acc", "BranchID", "1"},
    {"Acc", "BGroup", "'A'"},
    {"Acc", "Threshold", "0"},
    {"Acc", "Nalias", "'==='"},
    {"Master", "BranchID", "1"},
    {"Master", "iDate", "null"},
    {"Master", "eDate", "null"},
    {"Master", "MasterCode", "null"},
    {"OtherSetting", "SubCode", "0"},
    {"OtherSetting", "OnIns", "0"},
    {"OtherSetting", "PLOn", "0"},
    {"OtherSetting", "PFrom", "0"},
    {"OtherSetting", "PFromMI", "0"},
    {"OtherSetting", "Basis", "null"},
    {"OtherSetting", "p1", "12.5"},
    {"OtherSetting", "NoInterest", "null"},
    {"SubLedger", "LLR", "0"},
    {"SubLedger", "Source", "'==='"},
    {"SubLedger", "SKCode", "0"},
    {"SubLedger", "NDeposit", "0"},
    {"SubLedger", "NRate", "0"},
    {"SubLedger", "AcAlias", "'NA'"},
    {"SubLedger", "NDeposit1", "0"},
    {"SubLedger", "NRate4", "0"},
    {"SavingSetting", "NDeposit", "0"},
    {"SavingSetting", "NRate", "0"},
    {"SavingSetting", "NDeposit4", "0"},
    {"SavingSetting", "NRate1", "0"},
    {"Ledger", "SKCode", "0"},
    {"Amortization", "BranchID", "1"},
    {"Amortization", "iStatus", "'Dynamic'"},
    {"AmDetails", "BranchID", "1"},
    {"LocalGroup", "DName", "'==='"},
    {"VDC", "DName", "'==='"},
    {"VDC", "TDS", "1"},
    {"Tole", "DName", "'==='"},
    {"LoanDemandForm", "KittaNo", "'...'"},
    {"LoanDemandForm", "Area", "'...'"},
    {"VRemarks", "IntStatus", "'...'"},
    {"PrintSet", "IsSmall", "0"},
    {"PrintSet", "TM", "900"},
    {"PrintSet", "Data", "0"},
    {"PrintSet", "DoubleSided", "0"},
    {"PrintSet", "Preparedby", "1"},
    {"PrintSet", "Checkedby", "1"},
    {"PrintSet", "Verifiedby", "1"},
    {"PrintSet", "Approvedby", "1"},
    {"Wallpaper", "SN", "1"},
    {"Wallpaper", "Wallpaper", "10"},
    {"Wallpaper", "Banner", "11"},
    {"OfficeStaff", "SN", "1"},
    {"OfficeStaff", "Male", "1"},
    {"OfficeStaff", "Female", "1"},
    {"OfficeStaff", "Office", "1"},
    {"OfficeStaff", "Counter", "0"},
    {"OfficeStaff", "IntR", "0"},
    {"OfficeStaff", "dAddress", "'==='"},
    {"OfficeStaff", "dName", "null"},
    {"TaxOnInterest", "SN", "1"},
    {"TaxOnInterest", "Personal", "5"},
    {"TaxOnInterest", "Ins", "15"},
    {"TaxOnInterest", "[Group]", "5"},
    {"Letter", "SN", "1"},
    {"Letter", "Subject", "'ljifo'"},
};

const char* const kDistricts[] = {
    "BHAKTAPUR",   "DHADING",        "KATHMANDU", "KAVREPLANCHOWK", "LALITPUR",     "NUWAKOT",
    "RASUWA",      "SINDHUPANCHOWK", "BANKE",     "BARDIYA",        "DAILEKH",      "JAJARKOT",
    "SURKHET",     "BAGLUNG",        "MUSTANG",   "MYAGDI",         "PARBAT",       "GORKHA",
    "KASKI",       "LAMJUNG",        "MANANG",    "SYANGJA",        "TANAHU",       "DHANUSA",
    "DHOLKHA",     "MAHOTTARI",      "RAMECHHAP", "SARLAHI",        "SINDULI",      "DOLPA",
    "HUMLA",       "JUMLA",          "KALIKOT",   "MUGU",           "BHOJPUR",      "DHANKUTA",
    "MORANG",      "SANKHUWASABHA",  "SUNSARI",   "TERHATHUM",      "ARGHAKHANCHI", "GULMI",
    "KAPILVASTU",  "NAWALPARASI",    "PALPA",     "RUPANDEHI",      "BAITADI",      "DADELDHURA",
    "DARCHULA",    "KANCHANPUR",     "IIAM",      "JHAPA",          "PANCHTHAR",    "TAPLEJUNG",
    "BARA",        "CHITWAN",        "MAKWANPUR", "PARSA",          "RAUTAHAT",     "DANG",
    "DEUKHURI",    "PHYTHAN",        "ROLPA",     "RUKUM",          "SALYAN",       "KHOTANG",
    "OKHALDHUNGA", "SAPTARI",        "SIRAHA",    "SOLUKHUMBU",     "UDAYPUR",      "ACHHAM",
    "BAJHANG",     "BAJURA",         "DOTI",      "KAILALI"};

// The agent's view of one catalog folder: the accounting catalog and the Master catalog.
class SchemaUpgrade : public ::testing::Test {
 protected:
  void SetUp() override { UseCatalog(CatalogLevel::kBeforeUpgrade); }

  void UseCatalog(CatalogLevel level) {
    main_.reset();
    catalog_.reset();  // an open file cannot be replaced on Windows
    catalog_ = std::make_unique<TestCatalog>(dir_.path(), "MavData2075", level);
    main_ = data::OpenConnection(catalog_->ConnectionString());
    context_.MainConnection = main_.get();
    context_.OpenMasterConnection = [this] {
      return data::OpenConnection(
          "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;"
          "Initial Catalog=Master;Data Source=" +
          dir_.path().string());
    };
    context_.MasterConnection = &master_;
    context_.FallbackStartDate = kFallbackStart;
  }

  // One row in each of the accounting application's tables the upgrade extends.
  void AddOldRows() {
    TestCatalog& c = *catalog_;
    c.Insert("Master", {{"CODE", 501}, {"VOUCHER_NO", 1}, {"Fyear", 3}, {"Debit", 100.0}});
    c.Insert("Master", {{"CODE", 502}, {"VOUCHER_NO", 2}, {"Fyear", 3}, {"Credit", 50.0}});
    c.Insert("MasterAc", {{"Mcode", 7}, {"Name", "Sita"}});
    c.Insert("Acc", {{"ACCODE", 501}, {"Name", "Sita"}, {"Nalias", data::Value()}});
    c.Insert("Acc", {{"ACCODE", 502}, {"Name", "Ram"}, {"Nalias", data::Value()}});
    c.Insert("OtherSetting", {{"SN", 1}, {"p1", 12.5}, {"p2", 2.0}, {"p3", 1.0}});
    c.Insert("SubLedger", {{"LCODE", 20}, {"SubCODE", 5}, {"Name", "Saving"}});
    c.Insert("SavingSetting", {{"SN", 1}, {"SubCode", 5}});
    c.Insert("Ledger", {{"LCODE", 20}, {"NAME", "Deposits"}});
    c.Insert("Amortization", {{"Accode", 501}, {"Loan", 100000.0}});
    c.Insert("AmDetails", {{"Accode", 501}, {"SN", 1}});
    c.Insert("LocalGroup", {{"SN", 1}, {"Name", "Ward 1"}});
    c.Insert("VDC", {{"SN", 1}, {"Name", "Dhulikhel"}});
    c.Insert("Tole", {{"SN", 1}, {"Name", "Bazar"}});
    c.Insert("LoanDemandForm", {{"SN", 1}, {"Mcode", 7}});
    c.Insert("VRemarks", {{"SN", 1}, {"Fyear", 3}, {"VOUCHER_NO", 1}});
    c.Insert("Company", {{"SN", 1}, {"Name", "Sahakari"}});
  }

  // Start-up's two calls: steps 1..3, then the rest after the fiscal year.
  void Upgrade() {
    RunUpgradeSteps(context_, 1, 3);
    RunUpgradeSteps(context_, 4, LastUpgradeStep());
  }

  RawCatalog Raw() { return RawCatalog(catalog_->file()); }

  test_support::TempDir dir_;
  std::unique_ptr<TestCatalog> catalog_;
  std::unique_ptr<data::Connection> main_;
  std::unique_ptr<data::Connection> master_;
  UpgradeContext context_;
};

// Expects every row of `table` to hold `value` in `column`, and at least one row.
void ExpectEveryRow(RawCatalog& raw, const std::string& table, const std::string& column,
                    const std::string& value) {
  SCOPED_TRACE(table + "." + column + " = " + value);
  EXPECT_NE("0", raw.Scalar("select count(*) from [" + table + "]"));
  EXPECT_EQ("0", raw.Scalar("select count(*) from [" + table + "] where not (" + column + " is " +
                            value + ")"));
}

TEST_F(SchemaUpgrade, OldCatalogReachesTheCurrentLevel) {
  AddOldRows();
  Upgrade();
  RawCatalog raw = Raw();

  for (const char* table : kCreatedTables) {
    EXPECT_TRUE(raw.HasTable(table)) << table;
  }
  for (const auto& added : kAddedColumns) {
    for (const char* column : added.columns) {
      EXPECT_TRUE(raw.HasColumn(added.table, column)) << added.table << "." << column;
    }
  }
  RawCatalog master(dir_.path() / "Master.db");
  EXPECT_TRUE(master.HasTable("LoginInfo"));
  EXPECT_TRUE(master.HasColumn("LoginInfo", "Logo"));

  for (const auto& start : kStartingValues) {
    ExpectEveryRow(raw, start.table, start.column, start.value);
  }

  EXPECT_EQ("1", raw.Scalar("select count(*) from TaxOnInterest"));
  EXPECT_EQ("1", raw.Scalar("select count(*) from PrintSet"));
  EXPECT_EQ("1", raw.Scalar("select count(*) from Wallpaper"));
  EXPECT_EQ("1", raw.Scalar("select count(*) from OfficeStaff"));
  const std::vector<std::vector<std::string>> pr_rows = {
      {"1", "Rich"}, {"2", "Middle"}, {"3", "Poor"}};
  EXPECT_EQ(pr_rows, raw.Rows("select SN, PR from PRSetting order by rowid"));

  // The Nepali placeholders, byte for byte as UTF-8 ("Ò" is U+00D2).
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"ljifo", "kqsf] gd\xC3\x92gf"}}),
            raw.Rows("select Subject, Details from Letter"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"g]kfnL gfd", "g]kfnL &]ufgf"}}),
            raw.Rows("select NameNep, AddressNep from Company"));

  // SMSDatabase, Security and Activation were created empty and extended; no rows appear.
  for (const char* table : {"SMSDatabase", "Security", "Activation", "SMSSetting"}) {
    EXPECT_EQ("0", raw.Scalar(std::string("select count(*) from ") + table)) << table;
  }
}

TEST_F(SchemaUpgrade, DistrictsAreTheSeventySixNamesInOrder) {
  Upgrade();
  const auto rows = Raw().Rows("select SN, Name from District order by rowid");
  ASSERT_EQ(std::size(kDistricts), rows.size());
  ASSERT_EQ(76u, rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(kDistricts[i]);
    EXPECT_EQ(std::to_string(i + 1), rows[i][0]);
    EXPECT_EQ(kDistricts[i], rows[i][1]);
  }
}

TEST_F(SchemaUpgrade, SecondStartChangesNothingButNalias) {
  AddOldRows();
  Upgrade();
  RawCatalog raw = Raw();
  RawCatalog master(dir_.path() / "Master.db");
  const std::string catalog_after_first = raw.Dump();
  const std::string master_after_first = master.Dump();

  raw.Exec("update Acc set Nalias = null where ACCODE = 502");
  Upgrade();

  EXPECT_EQ(catalog_after_first, raw.Dump());
  EXPECT_EQ(master_after_first, master.Dump());
}

TEST_F(SchemaUpgrade, CatalogLackingOnlyTheCreatedTablesGetsThemWithTheirStartingRows) {
  UseCatalog(CatalogLevel::kCurrent);
  RawCatalog raw = Raw();
  for (const char* table : kCreatedTables) {
    raw.Exec(std::string("drop table ") + table);
  }
  RawCatalog(dir_.path() / "Master.db").Exec("drop table LoginInfo");
  catalog_->Insert("MasterAc", {{"Mcode", 7}, {"BranchID", 2}, {"CitizenNo", "12-34"}});
  catalog_->Insert("Acc", {{"ACCODE", 501}, {"Nalias", "SITA"}, {"BGroup", "C"}});
  const auto members_before = raw.Rows("select * from MasterAc");
  const auto accounts_before = raw.Rows("select * from Acc");

  Upgrade();

  for (const char* table : kCreatedTables) {
    EXPECT_TRUE(raw.HasTable(table)) << table;
  }
  EXPECT_TRUE(RawCatalog(dir_.path() / "Master.db").HasTable("LoginInfo"));
  EXPECT_EQ("76", raw.Scalar("select count(*) from District"));
  EXPECT_EQ("1", raw.Scalar("select count(*) from TaxOnInterest"));
  EXPECT_EQ("3", raw.Scalar("select count(*) from PRSetting"));
  EXPECT_EQ("1", raw.Scalar("select count(*) from Letter"));
  // Activation is created with SanaKisan and BB and Security with IE, so their own steps
  // do not run; a fresh SMSSetting has no rows for the DateTo fill.
  for (const char* column : {"SanaKisan", "BB"}) {
    EXPECT_TRUE(raw.HasColumn("Activation", column));
  }
  for (const char* column : {"CashDeno", "EMI", "IE", "IntPenalEdit"}) {
    EXPECT_TRUE(raw.HasColumn("Security", column)) << column;
  }
  EXPECT_TRUE(raw.HasColumn("SMSSetting", "DateTo"));
  EXPECT_EQ("0", raw.Scalar("select count(*) from SMSSetting"));
  // The accounting tables' own values stay as they were.
  EXPECT_EQ(members_before, raw.Rows("select * from MasterAc"));
  EXPECT_EQ(accounts_before, raw.Rows("select * from Acc"));
}

TEST_F(SchemaUpgrade, OtherSettingLackingBasisGetsOnlyTheMissingSettingsColumns) {
  // A catalog upgraded up to the settings of step 70: OtherSetting has SubCode, OnIns and
  // PLOn (with values) but none of the other loan settings columns.
  UseCatalog(CatalogLevel::kCurrent);
  RawCatalog raw = Raw();
  const std::vector<std::string> kLater = {
      "Basis",    "SomSys",   "AD1",        "AD2",    "AD3",        "Dr1",        "Dr2",
      "Dr3",      "IR1",      "IR2",        "IR3",    "PLGrace",    "Ag1",        "Ag2",
      "Ag3",      "Lperiod",  "DPeriod",    "MI1",    "MI2",        "MI3",        "MIGrace",
      "MiStatus", "AdvLoanC", "MonthlyDue", "InsDue", "MinDeposit", "DepPercent", "NoInterest"};
  for (const std::string& column : kLater) {
    raw.Exec("alter table OtherSetting drop column " + column);
  }
  catalog_->Insert("OtherSetting", {{"SN", 1}, {"SubCode", 7}, {"OnIns", true}, {"PLOn", 2}});

  Upgrade();

  for (const std::string& column : kLater) {
    EXPECT_TRUE(raw.HasColumn("OtherSetting", column)) << column;
  }
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"7", "1", "2", "<null>"}}),
            raw.Rows("select SubCode, OnIns, PLOn, Basis from OtherSetting"));
}

TEST_F(SchemaUpgrade, MasterLackingBranchIdWhileAmortizationHasIt) {
  AddOldRows();
  catalog_->Exec("Alter Table Amortization Add BranchID Int");
  catalog_->Insert("Amortization", {{"Accode", 502}, {"Loan", 5000.0}, {"BranchID", 3}});
  catalog_->Exec("Update Amortization Set BranchID=4 Where Accode=501");
  catalog_->Insert("Amortization", {{"Accode", 503}, {"Loan", 7000.0}});  // no branch yet

  Upgrade();

  RawCatalog raw = Raw();
  ExpectEveryRow(raw, "Master", "BranchID", "1");
  ExpectEveryRow(raw, "AmDetails", "BranchID", "1");
  // The loans keep the branches they were given; a loan without one gets branch 1.
  EXPECT_EQ((std::vector<std::vector<std::string>>{
                {"501", "4", "Dynamic"}, {"502", "3", "Dynamic"}, {"503", "1", "Dynamic"}}),
            raw.Rows("select Accode, BranchID, iStatus from Amortization order by Accode"));
}

TEST_F(SchemaUpgrade, ColumnsAlreadyPresentKeepTheirValues) {
  // Tables that already have one of the columns their step adds: the step adds the others,
  // gives only those their starting value, and leaves the present column's data alone.
  const struct {
    const char* table;
    const char* present;  // definition of the column already there
    const char* set;      // its value in the one row
    const char* probe;    // the present column's value afterwards (SQLite literal)
    const char* sibling;  // a column the same statement adds
    const char* start;    // the sibling's starting value
  } kCases[] = {
      {"MasterAc", "PR int", "PR=2", "2", "MS", "0"},
      {"MasterAc", "Singal bit", "Singal=1", "1", "MS", "0"},
      {"Acc", "SSRate Float", "SSRate=1.5", "1.5", "SPRate", "0"},
      {"SubLedger", "NRate3 Float", "NRate3=4", "4", "NDeposit3", "0"},
      {"LoanDemandForm", "Area Varchar(40)", "Area='Ropani 2'", "'Ropani 2'", "KittaNo", "'...'"},
      {"Company", "AddressNep Varchar(255)", "AddressNep='Dhulikhel'", "'Dhulikhel'", "NameNep",
       "'g]kfnL gfd'"},
  };
  AddOldRows();
  for (const auto& c : kCases) {
    catalog_->Exec(std::string("Alter Table ") + c.table + " Add " + c.present);
    catalog_->Exec(std::string("Update ") + c.table + " Set " + c.set);
  }

  Upgrade();

  RawCatalog raw = Raw();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.table + std::string(" ") + c.present);
    const std::string column = std::string(c.present).substr(0, std::string(c.present).find(' '));
    ExpectEveryRow(raw, c.table, column, c.probe);
    ExpectEveryRow(raw, c.table, c.sibling, c.start);
  }
}

// Step 36 fills with "... Where NDeposit is null". SubLedger already has NRate: the step adds
// NDeposit, every row then matches the clause, yet a stored NRate stays. SavingSetting has
// both columns: only Nulls in rows the clause picks are filled, judged on the rows as they
// were (filling NDeposit first would leave the second row's NRate out).
TEST_F(SchemaUpgrade, StepWithWhereClauseKeepsValuesOfColumnsAlreadyPresent) {
  catalog_->Exec("Alter Table SubLedger Add NRate Float");
  catalog_->Exec("Alter Table SavingSetting Add NDeposit Float,NRate Float");
  catalog_->Insert("SubLedger", {{"LCODE", 20}, {"SubCODE", 5}, {"NRate", 7.5}});
  catalog_->Insert("SubLedger", {{"LCODE", 20}, {"SubCODE", 6}});
  catalog_->Insert("SavingSetting", {{"SN", 1}, {"NDeposit", 100.0}, {"NRate", 2.0}});
  catalog_->Insert("SavingSetting", {{"SN", 2}});
  catalog_->Insert("SavingSetting", {{"SN", 3}, {"NDeposit", 100.0}});

  Upgrade();

  RawCatalog raw = Raw();
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"5", "0.0", "7.5"}, {"6", "0.0", "0.0"}}),
            raw.Rows("select SubCODE, NDeposit, NRate from SubLedger order by SubCODE"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{
                {"1", "100.0", "2.0"}, {"2", "0.0", "0.0"}, {"3", "100.0", "<null>"}}),
            raw.Rows("select SN, NDeposit, NRate from SavingSetting order by SN"));
}

TEST_F(SchemaUpgrade, StepFailingHalfWayLeavesNoTraceAndCompletesOnTheNextStart) {
  AddOldRows();
  RunUpgradeSteps(context_, 1, 32);
  RawCatalog raw = Raw();
  // Step 33 extends Ledger, then SubLedger, then Acc; refuse its SubLedger update.
  raw.Exec(
      "create trigger refuse_update before update on SubLedger "
      "begin select raise(abort, 'refused'); end");
  const std::string before = raw.Dump();

  try {
    RunUpgradeSteps(context_, 33, LastUpgradeStep());
    FAIL() << "the refused update must end the upgrade";
  } catch (const base::AgentError& error) {
    EXPECT_NE(std::string::npos, error.description().find("step 33")) << error.description();
  }
  EXPECT_EQ(before, raw.Dump());
  EXPECT_FALSE(raw.HasColumn("Ledger", "SKCode"));
  EXPECT_TRUE(raw.HasColumn("SubLedger", "Source"));  // step 32 stays done

  raw.Exec("drop trigger refuse_update");
  Upgrade();
  ExpectEveryRow(raw, "Ledger", "SKCode", "0");
  ExpectEveryRow(raw, "SubLedger", "SKCode", "0");
  ExpectEveryRow(raw, "Acc", "SKCode", "'0'");
  EXPECT_TRUE(raw.HasColumn("Acc", "Threshold"));
}

TEST_F(SchemaUpgrade, DateToIsAYearAfterTheLastVisitedRowOfEachAccount) {
  RunUpgradeSteps(context_, 19, 19);  // SMSSetting as first created, without DateTo
  struct Row {
    int sn;
    data::Value accode;
    data::Value date;
  };
  const Row kRows[] = {
      {1, 10, "2081/01/01"},
      {2, 10, "2080/05/10"},
      {3, 20, "0000/00/00"},
      {4, 30, data::Value()},
      {5, 40, "2081/12/30"},
      {6, 20, "2079/02/01"},
      {7, data::Value(), "2080/01/01"},
  };
  for (const Row& row : kRows) {
    catalog_->Insert("SMSSetting", {{"SN", row.sn}, {"Accode", row.accode}, {"Date", row.date}});
  }

  RunUpgradeSteps(context_, 22, 22);

  // Rows are visited in Date order and each update covers the whole account, so an account
  // ends with the date of its row that sorts last; a missing date counts from the fallback.
  const std::string fallback_year = calendar::BsAddDays(kFallbackStart, 365);
  const struct {
    int sn;
    std::string want;
  } kWant[] = {
      {1, "2081/12/31"},  // 2081 has 366 days
      {2, "2081/12/31"},
      {3, calendar::BsAddDays("2079/02/01", 365)},
      {4, fallback_year},
      {5, calendar::BsAddDays("2081/12/30", 365)},
      {6, calendar::BsAddDays("2079/02/01", 365)},
      {7, calendar::BsAddDays("2080/01/01", 365)},
  };
  RawCatalog raw = Raw();
  for (const auto& want : kWant) {
    SCOPED_TRACE("SN " + std::to_string(want.sn));
    EXPECT_EQ(want.want,
              raw.Scalar("select DateTo from SMSSetting where SN=" + std::to_string(want.sn)));
  }
  EXPECT_NE(kFallbackStart, fallback_year);
}

TEST_F(SchemaUpgrade, NaliasStepFillsOnlyNullNames) {
  catalog_->Insert("Acc", {{"ACCODE", 1}, {"Nalias", "RAM"}});
  catalog_->Insert("Acc", {{"ACCODE", 2}, {"Nalias", data::Value()}});
  catalog_->Insert("Acc", {{"ACCODE", 3}, {"Nalias", ""}});

  RunUpgradeSteps(context_, LastUpgradeStep(), LastUpgradeStep());

  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1", "RAM"}, {"2", "==="}, {"3", ""}}),
            Raw().Rows("select ACCODE, Nalias from Acc order by ACCODE"));
}

TEST_F(SchemaUpgrade, ReplyWidthStepChangesNothingOnTheEmbeddedDriver) {
  UseCatalog(CatalogLevel::kCurrent);
  const std::string before = Raw().Dump();
  RunUpgradeSteps(context_, LastUpgradeStep() - 1, LastUpgradeStep() - 1);
  EXPECT_EQ(before, Raw().Dump());
}

TEST_F(SchemaUpgrade, RefusesWithoutAConnectionOrOutsideTheList) {
  UpgradeContext empty;
  EXPECT_THROW(RunUpgradeSteps(empty, 1, 3), base::AgentError);
  EXPECT_THROW(RunUpgradeSteps(context_, 0, 3), base::AgentError);
  EXPECT_THROW(RunUpgradeSteps(context_, 4, LastUpgradeStep() + 1), base::AgentError);
  EXPECT_FALSE(Raw().HasTable("MsgRoom"));
}

// A SQL Server connection that answers the column-width query with `width` and records
// every other statement.
class FakeServer : public data::Connection {
 public:
  explicit FakeServer(data::Value width) : width_(std::move(width)) {}

  std::int64_t Execute(const std::string& sql) override {
    log.push_back(sql);
    return 0;
  }
  data::QueryResult Query(const std::string& sql) override {
    data::QueryResult result;
    if (sql.find("CHARACTER_MAXIMUM_LENGTH") != std::string::npos) {
      log.push_back(sql);
      result.columns = {"CHARACTER_MAXIMUM_LENGTH"};
      result.rows = {{width_}};
    }
    return result;
  }
  void BeginTransaction() override { log.push_back("<begin>"); }
  void Commit() override { log.push_back("<commit>"); }
  void Rollback() override { log.push_back("<rollback>"); }
  data::Dialect dialect() const override { return data::Dialect::kSqlServer; }
  std::string Describe() const override { return "fake server"; }

  std::vector<std::string> log;

 private:
  data::Value width_;
};

TEST(ReplyWidthStep, WidensOnlyAReplyColumnNarrowerThanSixHundred) {
  const std::string probe =
      "Select CHARACTER_MAXIMUM_LENGTH from Information_Schema.columns Where "
      "Table_Name='LoanStatement' and Column_Name='Message_Reply'";
  const struct {
    data::Value width;
    bool widened;
  } kCases[] = {{200, true},  {599, true}, {600, false},
                {800, false}, {-1, false}, {data::Value(), false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.width.AsText());
    FakeServer server(c.width);
    UpgradeContext context;
    context.MainConnection = &server;
    RunUpgradeSteps(context, LastUpgradeStep() - 1, LastUpgradeStep() - 1);
    std::vector<std::string> want = {probe};
    if (c.widened) {
      want.insert(want.end(),
                  {"<begin>", "Alter Table LoanStatement Alter Column Message_Reply Varchar(600)",
                   "<commit>"});
    }
    EXPECT_EQ(want, server.log);
  }
}

}  // namespace
}  // namespace schema
