// The fixtures other suites build on: a fault here would make their tests pass or fail for
// the wrong reason.

#include "tests/support/test_catalog.h"

#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/record_set.h"

namespace test_support {
namespace {

namespace fs = std::filesystem;

TEST(TempDir, IsFreshAndRemovedWithItsContents) {
  fs::path kept;
  {
    TempDir a;
    TempDir b;
    EXPECT_NE(a.path(), b.path());
    EXPECT_TRUE(fs::is_directory(a.path()));
    EXPECT_TRUE(fs::is_empty(a.path()));
    TestCatalog catalog(a.path() / "nested");
    kept = a.path();
  }
  EXPECT_FALSE(fs::exists(kept));
}

TEST(TestCatalog, OldCatalogLacksWhatTheUpgradeAdds) {
  TempDir dir;
  TestCatalog catalog(dir.path());
  for (const char* table : {"Master", "MasterAc", "Acc", "OtherSetting", "SubLedger",
                            "SavingSetting", "Ledger", "Amortization", "AmDetails", "YearSetting",
                            "LocalGroup", "VDC", "Tole", "LoanDemandForm", "VRemarks", "Company"}) {
    SCOPED_TRACE(table);
    EXPECT_TRUE(catalog.HasTable(table));
  }
  for (const char* table : {"SMSDatabase", "LoanSMS", "LoanStatement", "SMSService", "MsgRoom"}) {
    SCOPED_TRACE(table);
    EXPECT_FALSE(catalog.HasTable(table));
  }
  EXPECT_TRUE(catalog.HasColumn("Master", "PaidUpto"));
  EXPECT_TRUE(catalog.HasColumn("Acc", "nalias"));
  EXPECT_TRUE(catalog.HasColumn("OtherSetting", "p3"));
  for (const char* column : {"iDate", "dTime", "BranchID", "eDate", "Acode", "MasterCode"}) {
    SCOPED_TRACE(column);
    EXPECT_FALSE(catalog.HasColumn("Master", column));
  }
  EXPECT_FALSE(catalog.HasColumn("OtherSetting", "Basis"));
  EXPECT_FALSE(catalog.HasColumn("Amortization", "iStatus"));
}

TEST(TestCatalog, CurrentCatalogHasWhatTheRuntimeReads) {
  TempDir dir;
  TestCatalog catalog(dir.path(), "Current", CatalogLevel::kCurrent);
  const struct {
    const char* table;
    const char* column;
  } kColumns[] = {
      {"Master", "iDate"},
      {"Master", "eDate"},
      {"Master", "MasterCode"},
      {"OtherSetting", "LPeriod"},
      {"OtherSetting", "MiStatus"},
      {"OtherSetting", "PFrom"},
      {"OtherSetting", "MonthlyDue"},
      {"SMSDatabase", "SMSRsLoan"},
      {"SMSDatabase", "dType"},
      {"SMSDatabase", "Database"},
      {"LoanSMS", "Send"},
      {"SMSService", "Reply"},
      {"LoanStatement", "Message_Reply"},
      {"SubLedger", "LLR"},
      {"VDC", "TDS"},
      {"Security", "IntPenalEdit"},
      {"PrintSet", "Approvedby"},
      {"SMSSetting", "DateTo"},
  };
  for (const auto& c : kColumns) {
    SCOPED_TRACE(std::string(c.table) + "." + c.column);
    EXPECT_TRUE(catalog.HasColumn(c.table, c.column));
  }
  auto master = data::OpenConnection(
      "Provider=SQLOLEDB.1;User ID=sa;pwd=;Initial Catalog=Master;Data Source=" +
      dir.path().string());
  EXPECT_EQ(0, master->Query("Select Count(*) from LoginInfo").rows.at(0).at(0).AsInt32());
}

TEST(TestCatalog, InsertStoresValuesExactly) {
  TempDir dir;
  TestCatalog catalog(dir.path());
  catalog.Insert("Master", {{"CODE", 101},
                            {"VOUCHER_NO", std::int64_t{7}},
                            {"Date", "2080/01/15"},
                            {"Status", "LoanR"},
                            {"Debit", 0.1},
                            {"Credit", data::Value()},
                            {"Particular", "Ram's loan"}});
  auto c = data::OpenConnection(catalog.ConnectionString());
  data::RecordSet rs;
  rs.Open(*c, "Select * from Master");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_EQ(101, rs.Field("CODE").AsInt32());
  EXPECT_EQ("2080/01/15", rs.Field("Date").AsText());
  EXPECT_EQ(0.1, rs.Field("Debit").AsDouble());
  EXPECT_TRUE(rs.Field("Credit").IsNull());
  EXPECT_EQ("Ram's loan", rs.Field("Particular").AsText());
  EXPECT_EQ(data::Value(101), catalog.Scalar("Select CODE from Master"));
  EXPECT_TRUE(catalog.Scalar("Select CODE from Master Where CODE=0").IsNull());
}

TEST(ProgramFolder, SettingsFileOpensWithTheAgentsConnectionString) {
  TempDir dir;
  TestCatalog catalog(dir.path() / "data");
  ProgramFolder program(dir.path() / "program");
  SettingsRow inactive;
  inactive.Using = 0;
  inactive.ServerName = "other";
  program.AddSettings(inactive);
  program.PointAt(catalog);

  auto settings = data::OpenConnection(program.SettingsConnectionString());
  data::RecordSet rs;
  rs.Open(*settings, "Select * from Settings Where [Using]<>0");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_EQ(2, rs.Field("SN").AsInt32());
  EXPECT_EQ(catalog.directory().string(), rs.Field("ServerName").AsText());
  EXPECT_EQ("", rs.Field("PassWord").AsText());
  EXPECT_FALSE(rs.Field("PassWord").IsNull());
  EXPECT_EQ(catalog.name(), rs.Field("Dbase").AsText());

  // The row leads the agent to the catalog.
  auto main = data::OpenConnection(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + rs.Field("UserName").AsText() +
      ";pwd=" + rs.Field("PassWord").AsText() + ";Initial Catalog=" + rs.Field("Dbase").AsText() +
      ";Data Source=" + rs.Field("ServerName").AsText());
  EXPECT_EQ(0, main->Query("Select Count(*) from Acc").rows.at(0).at(0).AsInt32());
}

}  // namespace
}  // namespace test_support
