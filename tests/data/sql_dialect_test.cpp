#include "data/sql_dialect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "tests/support/test_catalog.h"

namespace data {
namespace {

// Each test works on its own embedded database; every statement goes through the driver,
// which rewrites it with RewriteForSqlite.
class SqlDialect : public ::testing::Test {
 protected:
  void SetUp() override { db_ = OpenSqliteFile(dir_.path() / "dialect.db", true); }

  void Exec(const std::string& sql) {
    SCOPED_TRACE(sql);
    db_->Execute(sql);
  }

  // The first column of every row, as text (Null as "<null>").
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    for (const auto& row : db_->Query(sql).rows) {
      values.push_back(row.at(0).IsNull() ? "<null>" : row.at(0).AsText());
    }
    return values;
  }

  std::string Scalar(const std::string& sql) {
    const std::vector<std::string> values = Column(sql);
    return values.empty() ? "<none>" : values.front();
  }

  // Declared type of a column, as SQLite recorded it.
  std::string DeclaredType(const std::string& table, const std::string& column) {
    for (const auto& row : db_->Query("PRAGMA table_info(" + table + ")").rows) {
      if (row.at(1).AsText() == column) return row.at(2).AsText();
    }
    return "<no column>";
  }

  test_support::TempDir dir_;
  std::unique_ptr<Connection> db_;
};

using Texts = std::vector<std::string>;

// Names compared as the probe compares them: both in upper case.
bool EqualsUpper(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

TEST_F(SqlDialect, TopBecomesLimitAfterOrderAndGroup) {
  Exec("Create Table T(n int,Name varchar(10))");
  for (int n = 1; n <= 5; ++n) {
    Exec("Insert into T(n,Name) values(" + std::to_string(n) + ",'" + (n % 2 ? "odd" : "even") +
         "')");
  }
  EXPECT_EQ(Texts({"5", "4"}), Column("Select top 2 n from T order by n desc"));
  EXPECT_EQ(Texts({"odd"}), Column("Select Top 1 Name from T Group by Name Order by Name desc"));
  EXPECT_EQ(Texts({"5", "4", "3"}),
            Column("select distinct top (3) n from T order by n desc -- newest"));
  EXPECT_EQ(1u, db_->Query("Select Top 1 * from T").rows.size());
  EXPECT_EQ(2u, db_->Query("Select Top 1 * from T").columns.size());
  // TOP in a subquery limits the subquery only.
  EXPECT_EQ(Texts({"3"}), Column("Select count(*) from (Select top 3 n from T order by n) x"));
  EXPECT_EQ(Texts({"5"}), Column("Select n from T where n in (Select top 1 n from T order by n "
                                 "desc) order by n"));
  EXPECT_EQ("Select * from T LIMIT 1", RewriteForSqlite("Select Top 1 * from T"));
  EXPECT_EQ("Select n from T order by n LIMIT 100 -- top\n",
            RewriteForSqlite("Select top 100 n from T order by n -- top\n"));
}

TEST_F(SqlDialect, ColumnExistsProbeSeesColumnsOfEmptyTable) {
  Exec("Create Table [Master](CODE int,iDate varchar(10))");
  const QueryResult result = db_->Query("Select Top 1 * from Master");
  EXPECT_TRUE(result.rows.empty());
  EXPECT_EQ(Texts({"CODE", "iDate"}), result.columns);
}

TEST_F(SqlDialect, PlusNextToTextConcatenatesWithoutRegardToCase) {
  Exec("Create Table Acc(ACCODE int,Name varchar(100),Alias varchar(50),Debit Float,Credit Float)");
  Exec("Insert into Acc values(1,'Ram Bahadur','RB',10,5)");
  Exec("Insert into Acc values(2,'Sita','S1',0,0)");
  Exec("Insert into Acc values(3,'Hari',Null,2,Null)");
  EXPECT_EQ(Texts({"1"}), Column("Select ACCODE from [Acc] Where ([Name] + ' ƒ '+ "
                                 "[Alias])='ram bahadur ƒ rb'"));
  EXPECT_EQ(Texts({"Sita ƒ S1"}), Column("Select [Name] + ' ƒ ' + Alias from Acc where ACCODE=2"));
  EXPECT_EQ(Texts({"<Sita>"}), Column("Select ('<' + (Name + '>')) as x from Acc where ACCODE=2"));
  EXPECT_EQ(Texts({"S1:Sita"}), Column("Select Acc.Alias + ':' + left(Acc.Name,4) from Acc "
                                       "where ACCODE=2"));
  // As on the server, a Null part makes the whole text Null.
  EXPECT_EQ(Texts({"<null>"}), Column("Select Name + '/' + Alias from Acc where ACCODE=3"));
  // Sums of columns and numbers stay sums.
  EXPECT_EQ(Texts({"1"}), Column("Select ACCODE from Acc Where (Debit+Credit)>0 and ACCODE<3"));
  EXPECT_EQ(Texts({"16"}), Column("Select max([ACCODE]) + 15 as MM from [Acc] where Debit=10"));
  EXPECT_EQ(Texts({"15"}), Column("Select Debit + Credit from Acc where Name='RAM BAHADUR'"));
}

TEST_F(SqlDialect, ProductInsideConcatenationStaysWhole) {
  // || binds tighter than * in SQLite; without parentheses this would read ('n=' || 2) * 3.
  EXPECT_EQ(Texts({"n=6"}), Column("Select 'n=' + 2 * 3"));
}

TEST_F(SqlDialect, JetBooleansCountMinusOneAndOneAsTrue) {
  Exec("Create Table Settings(SN int,[Using] bit,ServerName varchar(50))");
  Exec("Insert into Settings values(1,-1,'a')");
  Exec("Insert into Settings values(2,0,'b')");
  Exec("Insert into Settings values(3,1,'c')");
  Exec("Insert into Settings values(4,Null,'d')");
  EXPECT_EQ(Texts({"1", "3"}), Column("Select SN from Settings Where [Using]=true order by SN"));
  EXPECT_EQ(Texts({"2"}), Column("Select SN from Settings Where [Using] = false order by SN"));
  EXPECT_EQ(Texts({"a"}), Column("Select ServerName from Settings where Settings.[Using]=true "
                                 "and SN<3"));

  Exec("Update Settings set [Using]=true Where SN=2");
  EXPECT_EQ("-1", Scalar("Select [Using] from Settings Where SN=2"));
  Exec("Update Settings set [Using]=false Where [Using]=true and SN<>2");
  EXPECT_EQ(Texts({"2"}), Column("Select SN from Settings Where [Using]=true"));
}

TEST_F(SqlDialect, LeftFunctionBecomesSubstrAndLeftJoinStays) {
  Exec("Create Table master(Date varchar(10),eDate varchar(10),Status varchar(30))");
  Exec("Insert into master values(Null,'2023-01-01','TRF-7')");
  Exec("Insert into master values('0000/00/00','2023-01-02','trf')");
  Exec("Insert into master values(Null,'2023-01-03','Loan')");
  Exec("Insert into master values('2080/01/01','2023-01-04','TRF')");
  Exec("Insert into master values(Null,'2023-01-05','TR')");
  EXPECT_EQ(Texts({"2023-01-01", "2023-01-02"}),
            Column("Select eDate,Date from master Where (date is null or date='0000/00/00') and "
                   "left(Status,3)='TRF' Group by Date,eDate order by eDate"));
  EXPECT_EQ(Texts({"5"}), Column("Select count(*) from master a Left Join master b on "
                                 "a.eDate=b.Date"));
  EXPECT_EQ(Texts({"Lo"}),
            Column("Select LEFT ( Status , 2 ) from master where eDate='2023-01-03'"));
}

// "Reply<>1" finds the pending requests through the index on Reply, and finds the same rows
// as <> itself, whatever the column holds.
TEST_F(SqlDialect, NotEqualToANumberIsTwoRangesOfTheSameRows) {
  const struct {
    const char* sql;
    const char* want;  // nullptr: unchanged
  } kTexts[] = {
      {"Select * from LoanSMS Where Reply<>1", "Select * from LoanSMS Where (Reply<1 or Reply>1)"},
      {"Update LoanSMS set [Send]='x' Where sn=5 and Reply <> 1",
       "Update LoanSMS set [Send]='x' Where sn=5 and (Reply < 1 or Reply>1)"},
      {"Select * from T a Where (a.[Reply]!=2.5) order by x",
       "Select * from T a Where ((a.[Reply]<2.5 or a.[Reply]>2.5)) order by x"},
      {"Select * from T Where not x<>1 or y=2", "Select * from T Where not (x<1 or x>1) or y=2"},
      {"Select * from T Where a+b<>1", nullptr},
      {"Select * from T Where x<>1+2", nullptr},
      {"Select * from T Where x<>'1'", nullptr},
      {"Select * from T Where f(x)<>1", nullptr},
      {"Select * from T Where x<>y", nullptr},
      {"Select * from T Where x<>-1", nullptr},
      {"Select x<>1 from T", nullptr},
      {"Select * from T Where 'x<>1'=x", nullptr},
      {"Select * from T Where a between 1 and x<>2", nullptr},
  };
  for (const auto& c : kTexts) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(c.want != nullptr ? c.want : c.sql, RewriteForSqlite(c.sql));
  }

  Exec("Create Table LoanSMS(SN int,Reply int,Note varchar(10))");
  Exec("Create Index MAV_LoanSMS_Reply On LoanSMS(Reply)");
  // The column's affinity makes '1' and 1.0 the number 1; 'x' stays a text, above numbers.
  const char* kReplies[] = {"Null", "0", "1", "2", "-1", "1.0", "'1'", "'x'", "1.5", "'01'"};
  int sn = 0;
  for (const char* reply : kReplies) {
    Exec("Insert into LoanSMS(SN,Reply) values(" + std::to_string(++sn) + "," + reply + ")");
  }
  EXPECT_EQ(Texts({"2", "4", "5", "8", "9"}),
            Column("Select SN from LoanSMS Where Reply<>1 order by SN"));
  EXPECT_EQ(Texts({"1", "3", "6", "7", "10"}),
            Column("Select SN from LoanSMS Where not Reply<>1 or Reply is null order by SN"));
  EXPECT_EQ(Texts({"2", "4", "5", "8", "9"}),
            Column("Select SN from LoanSMS Where Note is null and Reply<>1 order by SN"));
  Texts plan;
  for (const auto& row :
       db_->Query("EXPLAIN QUERY PLAN Select * from LoanSMS Where Reply<>1").rows) {
    plan.push_back(row.at(3).AsText());
  }
  EXPECT_EQ(
      Texts({"MULTI-INDEX OR", "INDEX 1", "SEARCH LoanSMS USING INDEX MAV_LoanSMS_Reply (Reply<?)",
             "INDEX 2", "SEARCH LoanSMS USING INDEX MAV_LoanSMS_Reply (Reply>?)"}),
      plan);
}

TEST_F(SqlDialect, InformationSchemaTablesFindsTablesAndViewsInAnyCase) {
  Exec("Create Table [Master](CODE int)");
  Exec("Create View LoanView as Select CODE from Master");
  const struct {
    const char* sql;
    std::size_t rows;
  } kCases[] = {
      {"Select * from Information_Schema.tables Where [Table_Name]='Master'", 1},
      {"Select * from Information_Schema.tables Where [Table_Name]='MASTER'", 1},
      {"select * from INFORMATION_SCHEMA.TABLES where table_name='loanview'", 1},
      {"Select * from [Information_Schema].[tables] Where [Table_Name]='LoanView'", 1},
      {"Select * from Information_Schema.tables Where [Table_Name]='Mast'", 0},
      {"Select * from Information_Schema.tables Where [Table_Name]='sqlite_master'", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    const QueryResult result = db_->Query(c.sql);
    EXPECT_EQ(c.rows, result.rows.size());
    ASSERT_GE(result.columns.size(), 4u);
    EXPECT_EQ("TABLE_NAME", result.columns[2]);
  }
  EXPECT_EQ("VIEW", Scalar("Select t.Table_Type from Information_Schema.tables t Where "
                           "t.Table_Name='LOANVIEW'"));
}

TEST_F(SqlDialect, InformationSchemaColumnsGivesDeclaredLengths) {
  Exec("Create Table VRemarks(SN int,IntStatus Varchar(600))");
  const QueryResult result = db_->Query(
      "Select COLUMN_NAME,DATA_TYPE,CHARACTER_MAXIMUM_LENGTH from "
      "Information_Schema.columns Where Table_Name='vremarks' order by "
      "ORDINAL_POSITION");
  ASSERT_EQ(2u, result.rows.size());
  EXPECT_EQ("SN", result.rows[0][0].AsText());
  EXPECT_TRUE(result.rows[0][2].IsNull());
  EXPECT_EQ("IntStatus", result.rows[1][0].AsText());
  EXPECT_EQ("Varchar", result.rows[1][1].AsText());
  EXPECT_EQ(600, result.rows[1][2].AsInt64());
  EXPECT_EQ("1", Scalar("Select count(*) from Information_Schema.columns Where "
                        "Table_Name='VRemarks' and Column_Name='INTSTATUS'"));
}

TEST_F(SqlDialect, CreatedTextColumnsCompareWithoutRegardToCase) {
  Exec("Create Table District(SN int,Name varchar(30))");
  Exec("Insert Into District(SN,Name) Values(1,'Kathmandu')");
  Exec("Insert Into District(SN,Name) Values(2,'KATHMANDU')");
  Exec("Insert Into District(SN,Name) Values(3,'bhaktapur')");
  Exec("Insert Into District(SN,Name) Values(4,'Lalitpur')");
  EXPECT_EQ(Texts({"1", "2"}),
            Column("Select SN from District Where Name='kathmandu' order by SN"));
  EXPECT_EQ(Texts({"2", "1"}), Column("Select count(*) from District Where Name in ('LALITPUR', "
                                      "'Kathmandu') Group by Name order by 1 desc"));
  EXPECT_EQ(Texts({"3", "1", "4"}),
            Column("Select min(SN) from District Group by Name Order by Name"));
  // Added columns too, and the column keeps its own explicit collation.
  Exec("Alter Table District Add DName Varchar(40)");
  Exec("Alter Table District Add Code varchar(10) collate binary");
  Exec("Update District set DName='===',Code='AB' Where SN=3");
  EXPECT_EQ("1", Scalar("Select count(*) from District Where DName='===' and Code='AB'"));
  EXPECT_EQ("0", Scalar("Select count(*) from District Where Code='ab'"));
}

TEST_F(SqlDialect, TypeNamesAreStrippedOfBracketsAndMapped) {
  Exec(
      "CREATE TABLE [Activation]([AcName] [bit] NULL,[Accode] [bit] NULL,[GLCode] [bit] "
      "NULL,[Custom] [bit] NULL,[Font] [varchar](20) NULL,[BillFont] [varchar](30) NULL,[BB] "
      "[int] NULL,[SanaKisan] [int] NULL)");
  EXPECT_EQ("bit", DeclaredType("Activation", "AcName"));
  EXPECT_EQ("varchar(20)", DeclaredType("Activation", "Font"));
  EXPECT_TRUE(EqualsUpper("int", DeclaredType("Activation", "BB")));  // SQLite writes INT
  Exec("Insert into Activation(Font) values('Preeti')");
  EXPECT_EQ("1", Scalar("Select count(*) from Activation Where Font='PREETI'"));

  Exec("Create Table LoginInfo(SN Int,Logo image,Notes varchar(max))");
  EXPECT_EQ("image", DeclaredType("LoginInfo", "Logo"));
  EXPECT_EQ("varchar", DeclaredType("LoginInfo", "Notes"));
  Exec("Insert into LoginInfo(SN,Logo) values(1,X'0031')");
  EXPECT_EQ(std::string("\0"
                        "1",
                        2),
            Scalar("Select Logo from LoginInfo"));
}

TEST_F(SqlDialect, KeywordColumnNamesAreQuoted) {
  Exec(
      "Create Table SMSSetting (SN Int,Mcode Int,Date Varchar(10),Accode Int,AType "
      "Varchar(30),Mobile Varchar(15),StopService Int,Limit Float)");
  Exec("Alter Table SMSSetting Add Order Int,DateTo Varchar(10)");
  Exec("Insert into SMSSetting(SN,[Limit],[Order]) values(1,500,2)");
  EXPECT_EQ("500", Scalar("Select [Limit] from SMSSetting"));
  EXPECT_EQ("2", Scalar("Select \"Order\" from SMSSetting"));
}

TEST_F(SqlDialect, MultiColumnAddAddsAllOrNone) {
  Exec("Create Table [Master](CODE int)");
  Exec("Insert into [Master](CODE) values(7)");
  Exec("Alter Table [Master] Add iDate Varchar(10),dTime Varchar(8)");
  Exec("Update [Master] set iDate='2080/01/01',dTime='00:00:00'");
  EXPECT_EQ("00:00:00", Scalar("Select dTime from Master Where iDate='2080/01/01'"));
  EXPECT_EQ("Alter Table [Master] Add a Int; Alter Table [Master] Add b Float",
            RewriteForSqlite("Alter Table [Master] Add a Int,b Float"));

  // One column already there: the server refuses the whole statement, and so does SQLite.
  try {
    db_->Execute("Alter Table [Master] Add BranchID Int,iDate Varchar(10)");
    FAIL() << "a duplicate column was accepted";
  } catch (const base::AgentError& error) {
    EXPECT_NE(std::string::npos, error.description().find("duplicate column name"));
  }
  EXPECT_EQ(Texts({"CODE", "iDate", "dTime"}), db_->Query("Select Top 1 * from Master").columns);
}

TEST_F(SqlDialect, AlterColumnOnlyChecksThatTheColumnExists) {
  Exec("Create Table VRemarks(SN int,IntStatus Varchar(15))");
  Exec("Insert into VRemarks values(1,'...')");
  Exec("Alter Table VRemarks Alter Column IntStatus Varchar(600)");
  Exec("Update VRemarks set IntStatus='" + std::string(600, 'x') + "'");
  EXPECT_EQ("600", Scalar("Select length(IntStatus) from VRemarks"));
  EXPECT_THROW(db_->Execute("Alter Table VRemarks Alter Column Missing Varchar(600)"),
               base::AgentError);
  EXPECT_THROW(db_->Execute("Alter Table Missing Alter Column IntStatus Varchar(600)"),
               base::AgentError);
}

TEST(RewriteForSqlite, LeavesLiteralsNamesAndCommentsAlone) {
  const char* kTexts[] = {
      "Select 'Select top 5 x' from T",
      "Select [top 5] from T",
      "Select \"left(\" from T",
      "Select `a + 'b'` from T",
      "Insert into Letter values(1,'[Using]=true', 'a' 'b')",
      "Select a from T -- select top 5 a from T where x=true\n",
      "/* Alter Table T Add a int, b int */ Select 1",
      "Select 'Information_Schema.tables', [Information_Schema.tables] from X",
      "Update LoanSMS set Reply=1,[Send]='it''s + ok' Where sn=3",
      "Select Date,PaidUpto,Vtype from [Master] Where Code In(5,6) and (Debit+Credit)>0 order by "
      "[Paidupto] DESC",
      "Select * from T where a = [true] and b=\"false\"",
      "Select a from T Left Join U on T.x=U.x",
      "Create Table T(a int, b Float, c bit, d [int])",
      "Select 'unterminated + 'x",
      "Select [unterminated top 1",
      "Select 1 /* open comment left(a,1)",
  };
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    if (std::string(text).find("[int]") == std::string::npos) {
      EXPECT_EQ(text, RewriteForSqlite(text));
    } else {
      EXPECT_EQ("Create Table T(a int, b Float, c bit, d int)", RewriteForSqlite(text));
    }
  }
}

TEST_F(SqlDialect, LiteralsAreStoredUnchanged) {
  Exec("Create Table Letter(SN int,Details Varchar(800))");
  const std::string kStored[] = {"kqsf] gd\xD2gf",
                                 "[Using]=true",
                                 "a + 'b'",
                                 "select top 1",
                                 "left(x,2)",
                                 "-- not a comment",
                                 "Information_Schema.tables"};
  int sn = 0;
  for (const std::string& text : kStored) {
    SCOPED_TRACE(text);
    ++sn;
    Exec("Insert into Letter(SN,Details) values(" + std::to_string(sn) + "," + SqlText(text) + ")");
    EXPECT_EQ(text, Scalar("Select Details from Letter where SN=" + std::to_string(sn)));
  }
}

// Random input must never crash or hang the rewriter, and a text built only from words
// and signs that make none of the rewritten constructs must come back unchanged.
TEST(RewriteForSqlite, RandomTextIsSafeAndPlainTextUnchanged) {
  std::mt19937 random(20240611);
  const char* kAnything[] = {
      "select", "top",      "5",         "(",     ")",      "'",
      "''",     "[",        "]",         "\"",    "--",     "/*",
      "*/",     "\n",       " ",         "+",     "-",      "*",
      "=",      "true",     "false",     "left",  "join",   ",",
      ";",      ".",        "Alter",     "Table", "Add",    "Create",
      "Column", "varchar",  "[varchar]", "(20)",  "image",  "Information_Schema",
      "tables", "columns",  "N",         "'x'",   "update", "set",
      "where",  "distinct", "percent",   "max",   "Limit",  "ƒ",
      "<>",     "!="};
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    const int length = static_cast<int>(random() % 60);
    if (i % 2 == 0) {
      for (int k = 0; k < length; ++k) text += static_cast<char>(random() % 256);
    } else {
      for (int k = 0; k < length; ++k) {
        text += kAnything[random() % std::size(kAnything)];
        if (random() % 3 == 0) text += ' ';
      }
    }
    const std::string once = RewriteForSqlite(text);
    EXPECT_LE(once.size(), text.size() * 40 + 1000) << text;
    // The readers of single statements finish on any text too (the sanitizer builds check
    // that they stay within it).
    EXPECT_LE(LimitForSqlite(text, 2).size(), text.size() * 40 + 1000) << text;
    DeclaredCollation(text, "x");
  }

  const char* kPlain[] = {"select", "from",   "where",   "Acc",   "[Name]", "'x'",   "'it''s'",
                          "5",      "(",      ")",       ",",     "=",      "<",     "-",
                          "*",      "and",    "or",      "order", "by",     "group", "Join",
                          "\"q\"",  "-- c\n", "/* c */", " ",     "\n",     "'+'",   "in"};
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    const int length = static_cast<int>(random() % 40);
    for (int k = 0; k < length; ++k) {
      text += kPlain[random() % std::size(kPlain)];
      if (random() % 2 == 0) text += ' ';
    }
    EXPECT_EQ(text, RewriteForSqlite(text));
    LimitForSqlite(text, 2);
  }
}

// The accounting application's own tables before the upgrade, as the server holds them.
const char* const kOldSchema[] = {
    "Create Table [Master](CODE int,VOUCHER_NO int,Fyear int,Date varchar(10),Status "
    "varchar(30),Vtype varchar(50),PaidUpto varchar(10),Debit Float,Credit Float,Index_Rec "
    "int,BillNo varchar(30),Particular varchar(255))",
    "Create Table MasterAc(Mcode int,Name varchar(100),Address varchar(100),Phone varchar(30),"
    "Mobile varchar(15),Father varchar(80),DOB varchar(10),Gender varchar(10))",
    "Create Table Acc(ACCODE int,Mid int,subCode int,Name varchar(100),Alias varchar(50),"
    "Nalias varchar(50),OpenDate varchar(10),Status varchar(20))",
    "Create Table OtherSetting(SN int,p1 Float,p2 Float,p3 Float)",
    "Create Table SubLedger(LCODE int,SubCODE int,Name varchar(100),Alias varchar(30),IntRate "
    "Float)",
    "Create Table SavingSetting(SN int,SubCode int,MinBalance Float,IntRate Float)",
    "Create Table Ledger(LCODE int,NAME varchar(100),LType varchar(30))",
    "Create Table Amortization(Accode int,Loan Float,Interest Float,Nop int,Period Float,Tdate "
    "varchar(10),Tfrom varchar(10),Payment Float,LoanType varchar(20),Fixedby varchar(20),Calc "
    "varchar(20),Swith tinyint,Mi bit)",
    "Create Table AmDetails(Accode int,SN int,tDate varchar(10),Principal Float,Interest Float)",
    "Create Table YearSetting(SN int,Fyear varchar(20),Dfrom varchar(10),Dto varchar(10),"
    "[Using] bit)",
    "Create Table LocalGroup(SN int,Name varchar(60))",
    "Create Table VDC(SN int,Name varchar(60))",
    "Create Table Tole(SN int,Name varchar(60))",
    "Create Table LoanDemandForm(SN int,Mcode int,Amount Float,Date varchar(10),Purpose "
    "varchar(100))",
    "Create Table VRemarks(SN int,Fyear int,VOUCHER_NO int,Remarks varchar(255))",
    "Create Table Company(SN int,Name varchar(100),Address varchar(100),Phone varchar(40))",
    // The local settings file, the modem's outbox and the internet service's table.
    "Create Table Settings(SN int,[Using] bit,ServerName varchar(60),UserName varchar(30),"
    "PassWord varchar(30),Dbase varchar(60))",
    "Create Table Send(SN int,Mobile varchar(20),Msg varchar(600),[Date] varchar(10),[Time] "
    "varchar(10))",
    "Create Table DATABASE_SETTING(DATABASE_NAME varchar(60),Customer_ID int,SERVER_NAME "
    "varchar(60))",
};

// The schema upgrade: probe (a table, or a column of a table) and statements.
struct UpgradeStep {
  int number;
  const char* table;
  const char* column;  // "" when the step probes for the table
  std::vector<const char*> statements;
};

const UpgradeStep kUpgradeSteps[] = {
    {1,
     "MsgRoom",
     "",
     {"Create Table MsgRoom(SN int,MDate varchar(10),Msg varchar(200),Sender int,Receiver "
      "int,Stime varchar(30),[Read] int)"}},
    {2,
     "LoginInfo",
     "",
     {"Create Table LoginInfo(SN Int,DName Varchar(60),UName Varchar(50),Office "
      "varchar(150),Address varchar(100),Phone varchar(60),Logo image,LoginDate "
      "varchar(10),LoginTime varchar(8),Font varchar(30))"}},
    {3, "CheckRepair", "", {"Create Table CheckRepair(Repair Int)"}},
    {4, "District", "", {"Create Table District(SN int,Name varchar(30))"}},
    {5,
     "Master",
     "iDate",
     {"Alter Table [Master] Add iDate Varchar(10),dTime Varchar(8)",
      "Alter Table OtherSetting Add iDate int,dTime Varchar(8)"}},
    {6,
     "MasterAc",
     "DCode",
     {"Alter Table MasterAc Add CitizenNo Varchar(30),DCode Int,IssueDate varchar(10)",
      "Update MasterAc set CitizenNo='...',Dcode=0,IssueDate='0000/00/00'"}},
    {7,
     "MasterAc",
     "BranchID",
     {"Alter Table MasterAc Add BranchID Int", "Update MasterAc set BranchID=1"}},
    {8,
     "Acc",
     "SPRate",
     {"Alter Table Acc Add SPRate Float,SSRate Float", "Update Acc Set SPRate=0,SSRate=0"}},
    {9, "MasterAc", "MType", {"Alter Table MasterAc Add MType Int", "Update MasterAc Set Mtype=1"}},
    {10,
     "TaxOnInterest",
     "",
     {"Create Table TaxOnInterest(SN Int,Personal Float,Ins Float,[Group] Float)",
      "Insert Into TaxOnInterest(SN,Personal,Ins,[Group]) Values(1,5,15,5)"}},
    {11,
     "LocalGroup",
     "DName",
     {"Alter Table LocalGroup Add DName Varchar(40)", "Update LocalGroup Set DName='==='"}},
    {12, "VDC", "DName", {"Alter Table VDC Add DName Varchar(40)", "Update VDC Set DName='==='"}},
    {13,
     "Tole",
     "DName",
     {"Alter Table Tole Add DName Varchar(40)", "Update Tole Set DName='==='"}},
    {14,
     "MemberGroup",
     "",
     {"Create Table MemberGroup(SN int,Name Varchar(50),DName Varchar(50),Phone Varchar(40),VDC "
      "int,GN Int,WardNo Int,MDate Int)"}},
    {15, "MasterAc", "GN", {"Alter Table MasterAc Add GN Int", "Update MasterAc Set GN=0"}},
    {16, "SubLedger", "LLR", {"Alter Table SubLedger Add LLR Float", "Update SubLedger Set LLR=0"}},
    {17,
     "Acc",
     "LSecurity",
     {"Alter Table Acc Add LSecurity Varchar(30)",
      "Update Acc Set LSecurity='Personal Guarantee'"}},
    {18,
     "LoanDemandForm",
     "KittaNo",
     {"Alter Table LoanDemandForm Add KittaNo Varchar(30),Area Varchar(40)",
      "Update LoanDemandForm Set KittaNo='...',Area='...'"}},
    {19,
     "SMSSetting",
     "",
     {"Create Table SMSSetting (SN Int,Mcode Int,Date Varchar(10),Accode Int,AType "
      "Varchar(30),Mobile Varchar(15),StopService Int,Limit Float)"}},
    {20,
     "SMSDatabase",
     "",
     {"Create Table SMSDatabase (SN Int,[Database] Varchar(255),[Password] Varchar(30))"}},
    {21,
     "LoanSMS",
     "",
     {"Create Table LoanSMS(SN Int,Accode Int,Mobile Varchar(30),Date Varchar(10),[Receive] "
      "Varchar(255),[Send] Varchar(600),Reply Int, Fyear Int)"}},
    {22, "SMSSetting", "DateTo", {"Alter Table SMSSetting Add DateTo Varchar(10)"}},
    {23,
     "PrintSet",
     "",
     {"Create Table PrintSet(IsSmall bit)", "Insert into PrintSet(IsSmall) values(0)"}},
    {24,
     "PrintSet",
     "Data",
     {"Alter Table PrintSet Add TM Float,[Data] Bit", "Update PrintSet Set TM=900,[Data]=0"}},
    {25,
     "PrintSet",
     "DoubleSided",
     {"Alter Table [PrintSet] Add DoubleSided bit", "Update [PrintSet] set DoubleSided=0"}},
    {26,
     "Vault",
     "",
     {"Create Table Vault(SN int,Date Varchar(10),Fld1000 Float,Fld500 Float,Fld100 Float,Fld50 "
      "Float,Fld25 Float,Fld20 Float,Fld10 Float,Fld5 Float,Fld2 Float,Fld1 Float,Coins "
      "Float,Total Float,UID Int,DTime Varchar(8),InOut Varchar(3),Remarks Varchar(50))"}},
    {27,
     "Letter",
     "",
     {"Create Table Letter(SN int,Subject varchar(200),Details Varchar(800))",
      "Insert into Letter(sn,SubJect,Details) Values(1,'ljifo','kqsf] gdÒgf')"}},
    {28,
     "Security",
     "",
     {"Create Table Security(UID Int, LedgerCreate bit, LedgerEdit bit, LedgerDelete bit,LDEntry "
      "bit,LDEdit bit,LDDelete int,LDLimit Float,DepoEntry int,DepoEdit int,DepoDelete "
      "bit,DepoLimit Float,ColEntry bit,ColEdit bit,ColDelete bit,JVEntry bit,JVEdit bit,JVDelete "
      "bit,SPEntry bit,SPEdit bit,SPDelete bit,IntPost bit,SharePost bit,ChqIssue bit,OpEntry "
      "bit,OpEdit bit,OpDelete bit,OpPrint bit,AcClosing bit,Checking bit,CBackup bit,Trial bit,RP "
      "bit,IE bit,BS bit,AcState bit,LoanState bit,AcBal bit,CtlLedger bit,DayBook bit,UserReport "
      "bit,Summary bit,LoanMemo bit,LoanAgeing bit,Ratio bit,CashFlow bit,Periodic bit)"}},
    {29,
     "Security",
     "CashDeno",
     {"Alter Table Security Add CashDeno Bit", "Update Security Set CashDeno=0"}},
    {30,
     "Activation",
     "",
     {"CREATE TABLE [Activation]([AcName] [bit] NULL,[Accode] [bit] NULL,[GLCode] [bit] "
      "NULL,[Custom] [bit] NULL,[Font] [varchar](20) NULL,[BillFont] [varchar](30) NULL,[BB] [int] "
      "NULL,[SanaKisan] [int] NULL)"}},
    {31,
     "Activation",
     "SanaKisan",
     {"Alter Table Activation Add SanaKisan Bit", "Update Activation Set SanaKisan=0"}},
    {32,
     "SubLedger",
     "Source",
     {"Alter Table SubLedger Add Source Varchar(30)", "Update SubLedger Set Source='==='"}},
    {33,
     "Ledger",
     "SKCode",
     {"Alter Table Ledger Add SKCode Int", "Update Ledger Set SKCode=0",
      "Alter Table SubLedger Add SKCode Float", "Update SubLedger Set SKCode=0",
      "Alter Table Acc Add SKCode Varchar(15)", "Update Acc Set SKCode='0'"}},
    {34,
     "OfficeStaff",
     "",
     {"Create Table OfficeStaff(SN Int,Male Int,Female Int,Office Int,Counter Int,IntR "
      "Int,dAddress Varchar(60))",
      "Insert into OfficeStaff(SN,Male,Female,Office,Counter,IntR,dAddress) "
      "Values(1,1,1,1,0,0,'===')"}},
    {35, "OfficeStaff", "dName", {"Alter Table OfficeStaff Add dName varchar(80)"}},
    {36,
     "SubLedger",
     "NDeposit",
     {"Alter Table SubLedger Add NDeposit Float,NRate Float",
      "Update SubLedger Set NDeposit=0,NRate=0 Where NDeposit is null",
      "Alter Table SavingSetting Add NDeposit Float,NRate Float",
      "Update SavingSetting Set NDeposit=0,NRate=0 Where NDeposit is null"}},
    {37,
     "SMSDatabase",
     "bSMS",
     {"Alter Table SMSDatabase Add BSMS Int,SMSRs Float,Msg Varchar(160)",
      "Update SMSDatabase Set BSMS=1,SMSRs=5000,Msg='HAPPY BIRTHDAY TO YOU AND WISH YOU ALL THE "
      "BEST.'"}},
    {38,
     "SMSDatabase",
     "Server",
     {"Alter Table SMSDatabase Add Server Varchar(60), Customer_ID Int,dType Varchar(30),DBUser "
      "varchar(30)",
      "Update SMSDatabase Set Server='.',Customer_ID=0,DType='SIM',DBUser='sa'"}},
    {39,
     "SMSDatabase",
     "DbUser",
     {"Alter Table SMSDatabase Add DBUser varchar(30)", "Update SMSDatabase Set DbUser='sa'"}},
    {40,
     "Master",
     "BranchID",
     {"Alter Table [Master] Add BranchID Int", "Update [Master] set BranchID=1",
      "Alter Table Amortization Add BranchID Int", "Update Amortization set BranchID=1",
      "Alter Table AmDetails Add BranchID Int", "Update AmDetails set BranchID=1"}},
    {41,
     "Amortization",
     "BranchID",
     {"Alter Table Amortization Add BranchID Int", "Update Amortization set BranchID=1",
      "Alter Table AmDetails Add BranchID Int", "Update AmDetails set BranchID=1"}},
    {42,
     "Amortization",
     "iStatus",
     {"Alter Table Amortization Add iStatus Varchar(15)",
      "Update Amortization set iStatus='Dynamic'"}},
    {43,
     "OtherSetting",
     "SubCode",
     {"Alter Table OtherSetting Add SubCode int", "Update OtherSetting set SubCode=0"}},
    {44,
     "OtherSetting",
     "PLOn",
     {"Alter Table OtherSetting Add OnIns bit,PLOn Int", "Update OtherSetting set OnIns=0,PLOn=0"}},
    {45,
     "VRemarks",
     "IntStatus",
     {"Alter Table VRemarks Add IntStatus Varchar(600)", "Update VRemarks set IntStatus='...'"}},
    {46, "Acc", "BranchID", {"Alter Table [Acc] Add BranchID Int", "Update [Acc] set BranchID=1"}},
    {47,
     "MemberGroup",
     "GType",
     {"Alter Table [MemberGroup] Add GType Varchar(15)", "Update [MemberGroup] set Gtype='Mixed'"}},
    {48,
     "OtherSetting",
     "PFrom",
     {"Alter Table [OtherSetting] Add PFrom Int,PFromMI Int",
      "Update [OtherSetting] set PFrom=0,PFromMI=0"}},
    {49,
     "MasterAc",
     "email",
     {"Alter Table [MasterAc] Add Email Varchar(40)", "Update [MasterAc] set Email='...'"}},
    {50,
     "OfficialInfo",
     "",
     {"Create Table OfficialInfo(Mcode int,Profession varchar(30),OfficeName Varchar(80),Address "
      "Varchar(40),RegdNo varchar(30),PAN Varchar(12),Service varchar(80),ServiceProvider "
      "varchar(80),Phone varchar(30),Recommended varchar(30),Approved varchar(30))",
      "Create Table FamilyInfo(SN Int,MCode Int,FName varchar(60),Relation varchar(30),DOB "
      "varchar(10))",
      "Create Table DepositInfo(SN Int,MCode Int,DName varchar(60))"}},
    {51,
     "OfficialInfo",
     "Qualification",
     {"Alter Table [OfficialInfo] Add Qualification Varchar(40),Board varchar(50),PassedYear "
      "varchar(30),Division varchar(30),[Percent] varchar(30)",
      "Update [OfficialInfo] set "
      "Qualification='...',Board='...',PassedYear='...',Division='...',[Percent]='...'"}},
    {52, "Master", "eDate", {"Alter Table [Master] Add eDate Varchar(10)"}},
    {53, "MasterAc", "Mother", {"Alter Table [MasterAc] Add Mother Varchar(80)"}},
    {54,
     "NetSMS",
     "",
     {"Create Table NetSMS(SN Int,SERVER_NAME Varchar(80),DATABASE_NAME Varchar(50),USER_NAME "
      "Varchar(50),PASSWORD Varchar(50),CUSTOMER_ID Int,DATABASE_TYPE Varchar(30))"}},
    {55,
     "SMSService",
     "",
     {"Create Table SMSService(SN Int,Date Varchar(30),BranchID Int,Customer_ID Int,Mobile "
      "Varchar(15),Request Varchar(30),Reply Varchar(255),Process_Status Int)"}},
    {56,
     "InterestSetting",
     "",
     {"Create Table InterestSetting(SN Int,SubCode Int,Date Varchar(10),IntRate Float,Fyear Int)"}},
    {57,
     "ChangeIntRate",
     "",
     {"Create Table ChangeIntRate(SN Int,Date Varchar(10),PRate Float,CurRate Float,UID Int)"}},
    {58,
     "LoanStatement",
     "",
     {"Create Table LoanStatement(SN Int,Accode int,Date Varchar(10),Mobile Varchar(15),Request "
      "Varchar(5),Message_Reply Varchar(200))"}},
    {59,
     "Wallpaper",
     "",
     {"Create Table Wallpaper(SN Int,Wallpaper Int,Banner Int)",
      "Insert into Wallpaper(SN,Wallpaper,Banner) Values(1,10,11)"}},
    {60,
     "Activation",
     "BB",
     {"Alter Table Activation Add [BB] Int", "Update Activation set [BB]=1"}},
    {61,
     "MasterAc",
     "MS",
     {"Alter Table MasterAc Add MS Int,PR int,Singal bit",
      "Update MasterAc Set MS=0,PR=0,Singal=0"}},
    {62,
     "PRSetting",
     "",
     {"Create Table PRSetting(SN int,PR Varchar(30))",
      "Insert into PRSetting(SN,PR) Values(1,'Rich')",
      "Insert into PRSetting(SN,PR) Values(2,'Middle')",
      "Insert into PRSetting(SN,PR) Values(3,'Poor')"}},
    {63, "Acc", "BGroup", {"Alter Table Acc Add BGroup Varchar(3)", "Update Acc Set BGroup='A'"}},
    {64,
     "SubLedger",
     "AcAlias",
     {"Alter Table SubLedger Add AcAlias Varchar(15)", "Update SubLedger set AcAlias='NA'"}},
    {65,
     "MasterAc",
     "MDate",
     {"Alter Table MasterAc Add MDate Varchar(10)", "Update MasterAc set MDate='0000/00/00'"}},
    {66,
     "Acc",
     "Threshold",
     {"Alter Table [Acc] Add Threshold Float", "Update [Acc] set Threshold=0"}},
    {67, "Master", "Acode", {"Alter Table [Master] Add Acode Int,MasterCode Int"}},
    {68,
     "Company",
     "NameNep",
     {"Alter Table Company Add NameNep Varchar(255),AddressNep Varchar(255)",
      "Update Company set NameNep='g]kfnL gfd',AddressNep='g]kfnL &]ufgf'"}},
    {69,
     "SMSDatabase",
     "SMSRsLoan",
     {"Alter Table SMSDatabase Add SMSRsLoan Float", "Update SMSDatabase Set SMSRsLoan=0"}},
    {70,
     "OtherSetting",
     "Basis",
     {"Alter Table OtherSetting Add Basis Varchar(20),SomSys Bit,AD1 Float,AD2 Float,AD3 Float,Dr1 "
      "Float,Dr2 Float,Dr3 Float,IR1 Float,IR2 Float,IR3 Float,PLGrace Float,Ag1 Float,Ag2 "
      "Float,Ag3 Float,Lperiod Int,DPeriod Int,MI1 Float,MI2 Float,MI3 Float,MIGrace "
      "Float,MiStatus Varchar(12),AdvLoanC Bit,MonthlyDue Bit,InsDue Bit,MinDeposit Bit,DepPercent "
      "Float,OnIns Bit,PLOn Int,SubCode Int"}},
    {71,
     "SubLedger",
     "NDeposit1",
     {"Alter Table [SubLedger] Add NDeposit1 Float,NRate1 Float,NDeposit2 Float,NRate2 "
      "Float,NDeposit3 Float,NRate3 Float,NDeposit4 Float,NRate4 Float",
      "Update [SubLedger] set "
      "NDeposit1=0,NDeposit2=0,NDeposit3=0,NDeposit4=0,NRate1=0,NRate2=0,NRate3=0,NRate4=0"}},
    {72,
     "SavingSetting",
     "NDeposit1",
     {"Alter Table [SavingSetting] Add NDeposit1 Float,NRate1 Float,NDeposit2 Float,NRate2 "
      "Float,NDeposit3 Float,NRate3 Float,NDeposit4 Float,NRate4 Float",
      "Update [SavingSetting] set "
      "NDeposit1=0,NDeposit2=0,NDeposit3=0,NDeposit4=0,NRate1=0,NRate2=0,NRate3=0,NRate4=0"}},
    {73, "OtherSetting", "NoInterest", {"Alter Table OtherSetting Add NoInterest Int"}},
    {74, "Security", "EMI", {"Alter Table Security Add EMI Bit", "Update Security Set EMI=0"}},
    {75, "Security", "IE", {"Alter Table Security Add IE Bit", "Update Security Set IE=0"}},
    {76,
     "Security",
     "IntPenalEdit",
     {"Alter Table Security Add IntPenalEdit Bit", "Update Security Set IntPenalEdit=0"}},
    {77, "VDC", "TDS", {"Alter Table VDC Add TDS Int", "Update VDC Set TDS=1"}},
    {78,
     "PrintSet",
     "Preparedby",
     {"Alter Table [PrintSet] Add Preparedby Int,Checkedby Int,Verifiedby Int,Approvedby Int",
      "Update [PrintSet] set Preparedby=1,Checkedby=1,Verifiedby=1,Approvedby=1"}},
    {79, "", "", {"Update Acc set Nalias='===' Where nAlias is null"}},
};

// Runs the whole upgrade, with its probes, and then every query and statement the agent
// sends at run time, on one catalog: each must run on SQLite after rewriting.
TEST_F(SqlDialect, EveryStatementOfTheAgentRuns) {
  for (const char* sql : kOldSchema) Exec(sql);

  auto table_exists = [&](const std::string& name) {
    return !db_->Query("Select * from Information_Schema.tables Where [Table_Name]='" + name + "'")
                .rows.empty();
  };
  auto column_exists = [&](const std::string& table, const std::string& column) {
    for (const std::string& name : db_->Query("Select Top 1 * from " + table).columns) {
      if (EqualsUpper(name, column)) return true;
    }
    return false;
  };

  std::vector<int> refused;
  for (const UpgradeStep& step : kUpgradeSteps) {
    SCOPED_TRACE("step " + std::to_string(step.number));
    const bool missing =
        *step.table == '\0' || (*step.column == '\0' ? !table_exists(step.table)
                                                     : !column_exists(step.table, step.column));
    if (!missing) continue;
    for (const char* sql : step.statements) {
      try {
        db_->Execute(sql);
      } catch (const base::AgentError& error) {
        // The server refuses these too: the step adds a column an earlier step added.
        EXPECT_NE(std::string::npos, error.description().find("duplicate column")) << sql;
        refused.push_back(step.number);
      }
    }
    if (step.number == 4) {
      Exec("Insert Into District(SN,Name) Values(1,'BHAKTAPUR')");
      Exec("Insert Into District(SN,Name) Values(2,'DHADING')");
    }
    if (step.number == 22) {
      for (const auto& row : db_->Query("Select Accode,Date from SMSSetting order by Date").rows) {
        Exec("Update SMSSetting Set DateTo='2081/01/01' Where Accode=" + row.at(0).AsText());
      }
    }
  }
  // Step 70 adds OnIns, PLOn and SubCode again after steps 43 and 44 added them.
  EXPECT_EQ(std::vector<int>{70}, refused);
  EXPECT_TRUE(table_exists("loanstatement"));
  EXPECT_TRUE(column_exists("master", "ACODE"));
  EXPECT_EQ("2", Scalar("Select count(*) from District Where Name='BHAKTAPUR' or SN=2"));
  EXPECT_EQ("3", Scalar("Select count(*) from PRSetting"));
  EXPECT_EQ("5", Scalar("Select [Group] from TaxOnInterest"));
  EXPECT_EQ("image", DeclaredType("LoginInfo", "Logo"));
  EXPECT_EQ("Float", DeclaredType("Security", "LDLimit"));

  // A few rows so that the queries below return something.
  Exec("Insert into Settings(SN,[Using],ServerName,Dbase) values(1,-1,'.','MavData')");
  Exec(
      "Insert into YearSetting(SN,Fyear,Dfrom,Dto,[Using]) values(3,'2080/81','2080/04/01',"
      "'2081/03/31',1)");
  Exec("Insert into Ledger(LCODE,NAME) values(1,'Loan Issued Ledger')");
  Exec("Insert into Ledger(LCODE,NAME) values(2,'Deposit Ledger')");
  Exec("Insert into SubLedger(LCODE,SubCODE,LLR) values(1,10,0)");
  Exec("Insert into SubLedger(LCODE,SubCODE,LLR) values(2,20,0)");
  Exec("Insert into Acc(ACCODE,Mid,subCode,Name,Alias) values(101,7,10,'Ram','R1')");
  Exec("Insert into Acc(ACCODE,Mid,subCode,Name,Alias) values(201,7,20,'Ram','S1')");
  Exec(
      "Insert into [Master](CODE,VOUCHER_NO,Fyear,Date,Status,Vtype,PaidUpto,Debit,Credit) "
      "values(101,5,3,'2080/05/01','LoanR','Receipt','2080/05/01',0,100)");
  Exec(
      "Insert into [Master](CODE,VOUCHER_NO,Fyear,Date,Status,Vtype,PaidUpto,Debit,Credit) "
      "values(101,1,3,'2080/04/02','Loan','Payment','0000/00/00',1000,0)");
  Exec(
      "Insert into [Master](CODE,VOUCHER_NO,Fyear,Date,Status,eDate) "
      "values(201,6,3,'0000/00/00','TRF','2023-08-20')");
  Exec(
      "Insert into Amortization(Accode,Loan,Interest,Calc,Swith,Mi) "
      "values(101,1000,12,'Flat',1,0)");
  Exec("Insert into LoanSMS(SN,Accode,Mobile,Reply) values(1,101,'9800000000',0)");
  Exec("Insert into SMSService(SN,Customer_ID,Date) values(1,5,'2023-08-20')");
  Exec("Insert into LoanStatement(SN,Accode,Date) values(1,101,'2023-08-20')");
  Exec("Insert into DATABASE_SETTING(DATABASE_NAME,Customer_ID) values('MavData',5)");

  const struct {
    const char* sql;
    const char* first;  // first column of the first row, "<none>" for no row
  } kRunTime[] = {
      {"Select * from Settings Where [Using]=true", "1"},
      {"Select Sn,Fyear,Dfrom,Dto from YearSetting Where [Using]=1", "3"},
      {"Select * from YearSetting Where dTo>='2080/10/01' order by SN", "3"},
      {"Select top 100 Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO,Master.Fyear from Ledger Inner "
       "Join SubLedger on Ledger.LCODE=SubLedger.LCODE Inner Join Acc on "
       "SubLedger.SubCODE=Acc.subCode Inner Join Master on Acc.ACCODE=Master.CODE Where "
       "Ledger.NAME='Loan Issued Ledger' and Master.Status='LoanR' and Master.Fyear=3 and Acode "
       "is null Group by Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO ,Master.Fyear Order by "
       "Master.Fyear,Master.VOUCHER_NO",
       "101"},
      {"Update [Master] set ACode=101,MasterCode=7 Where Voucher_No=5 and Fyear=3 and "
       "Status='LoanR'",
       nullptr},
      {"Select top 100 Master.VOUCHER_NO,Master.Date from Ledger Inner Join SubLedger on "
       "Ledger.LCODE=SubLedger.LCODE Inner Join Acc on SubLedger.SubCODE=Acc.subCode Inner Join "
       "Master on Acc.ACCODE=Master.CODE Where Ledger.NAME='Deposit Ledger' and Master.Fyear=3 "
       "and iDate is null Group by Master.VOUCHER_NO,Master.Date Order by "
       "Master.VOUCHER_NO,Master.Date",
       "6"},
      {"Update [Master] set iDate='0000/00/00',dTime='00:00:00' Where Voucher_No=6 and Fyear=3",
       nullptr},
      {"Select * from Information_Schema.tables Where [Table_Name]='Master'", "main"},
      {"Select * from OtherSetting", "<none>"},
      {"Select * from Amortization where Accode=101", "101"},
      {"Select Min([Date]) LDate from [Master] where code=101 and (Status='Loan' or "
       "Vtype='Opening Balance')",
       "2080/04/02"},
      {"Select Name from [Acc] Where ([Name] + ' ƒ '+ [Alias])='ram ƒ r1'", "Ram"},
      {"Select Name from [Acc] Where Name='RAM'", "Ram"},
      {"Select PaidUpto from master Where Code=101 order by PaidUpto Desc", "2080/05/01"},
      {"SELECT MASTER.Index_Rec,Acc.ACCODE, MASTER.DATE,Master.PaidUpto,Master.Vtype, "
       "MASTER.VOUCHER_NO,Master.BillNo,Master.Fyear,Master.Status,Master.Particular,"
       "Sum(Master.Debit) as Debit,Sum(Master.Credit) as Credit FROM Acc INNER JOIN MASTER ON "
       "Acc.ACCODE = MASTER.CODE WHERE Acc.ACCODE=101 and (Master.Status "
       "in('LoanR','Loan','Billing','Journal','...','IntPosting','DLCollection','Loan') or "
       "Vtype='Opening Balance') Group by Master.Index_Rec,Acc.Accode, Master.Date, "
       "Master.PaidUpto,Master.Voucher_No,Master.Vtype,Master.BillNo,Master.Fyear,Master.Status,"
       "Master.Particular ORDER BY MASTER.DATE Desc",
       "<null>"},
      {"Select Date,PaidUpto,Vtype from [Master] Where Code In(101,0) and (Debit+Credit)>0 "
       "order by [Paidupto] DESC",
       "2080/05/01"},
      {"Select Sum(Credit) as Paid from Master where Code=101", "100"},
      {"Select Sum(Debit) as Loan from Master where Code=101 and (Status='Loan' or "
       "Vtype='Opening Balance')",
       "1000"},
      {"Select Interest,Calc,Swith from Amortization where Accode=101", "12"},
      {"Select Mi from Amortization Where Accode=101", "0"},
      {"Select Name from Acc Where ACCODE=101", "Ram"},
      {"Select sum(credit)-sum(debit) as balance from [Master] where code=101", "-900"},
      {"Select Calc from Amortization where Accode=101", "Flat"},
      {"Select LLR from SubLedger Where SubCode=10", "0"},
      {"Select Subcode from Acc where Accode=101", "10"},
      {"Select * from SMSDatabase", "<none>"},
      {"Select * from DATABASE_SETTING Where DATABASE_NAME='MavData' and Customer_ID=5", "MavData"},
      {"Select * from LoanSMS Where Reply<>1", "1"},
      {"Insert into Send(SN,Mobile,Msg,[Date],[Time]) values(1,9800000000,'Dear Ram','2080/05/04',"
       "'10:15:00')",
       nullptr},
      {"Update LoanSMS set Reply=1,[Send]='Dear Ram',Fyear=3 Where sn=1", nullptr},
      {"Select * from SMSService Where Reply is null", "1"},
      {"Update SMSService set Reply='Balance' Where SN=1", nullptr},
      {"Select * from LoanStatement Where Message_Reply is null", "1"},
      {"Update LoanStatement set Message_Reply='Dear Ram' Where SN=1 and Accode=101", nullptr},
      {"Select Date,eDate from master Where (date is null or date='0000/00/00') and "
       "left(Status,3)='TRF' Group by Date,eDate",
       "0000/00/00"},
      {"Update Master set Date='2080/05/04',Fyear=3 Where eDate='2023-08-20'", nullptr},
      {"select max([SN]) as MM from [Send]", "1"},
  };
  for (const auto& c : kRunTime) {
    SCOPED_TRACE(c.sql);
    if (c.first == nullptr) {
      EXPECT_NO_THROW(db_->Execute(c.sql));
    } else {
      EXPECT_EQ(c.first, Scalar(c.sql));
    }
  }
  EXPECT_EQ("Dear Ram", Scalar("Select Msg from Send"));
  EXPECT_EQ("Dear Ram", Scalar("Select [Send] from LoanSMS"));
  EXPECT_EQ("101", Scalar("Select ACode from Master Where VOUCHER_NO=5"));
}

// The steps of a query plan (EXPLAIN QUERY PLAN) that sort rows read from `table` itself,
// rather than the few rows of sub-selects: a sort beside a SCAN or SEARCH of the table.
std::vector<std::string> SortsOfTableRows(Connection& db, const std::string& sql,
                                          const std::string& table) {
  const QueryResult plan = db.Query("EXPLAIN QUERY PLAN " + sql);
  std::vector<std::string> sorts;
  for (const auto& sort : plan.rows) {
    if (sort.at(3).AsText().find("TEMP B-TREE") == std::string::npos) continue;
    for (const auto& step : plan.rows) {
      const std::string detail = step.at(3).AsText();
      if (step.at(1).AsInt64() == sort.at(1).AsInt64() &&
          (detail.rfind("SCAN " + table, 0) == 0 || detail.rfind("SEARCH " + table, 0) == 0)) {
        sorts.push_back(detail + " / " + sort.at(3).AsText());
      }
    }
  }
  return sorts;
}

// The interest paid-up-to lookup reads the first row of two accounts' ledgers, one of them
// long: through the index on (CODE, PaidUpto) each account gives its first rows in order,
// and only those few rows are sorted.
TEST_F(SqlDialect, FirstRowsOfAnInListAreReadValueByValue) {
  Exec(
      "Create Table Master(CODE int,Date varchar(10),PaidUpto varchar(10),Vtype varchar(30),"
      "Debit Float,Credit Float)");
  Exec("Create Index MAV_Master_CODE_PaidUpto On Master(CODE,PaidUpto)");
  Exec("Begin");
  for (int i = 0; i < 300; ++i) {
    char paid_upto[16];
    std::snprintf(paid_upto, sizeof paid_upto, "2080/%02d/%02d", 1 + i % 12, 1 + i / 12);
    const int code = i % 3 == 0 ? 101 : i % 3 == 1 ? 2 : 7;
    // Texts in both letter cases, so that an order by the wrong collation shows.
    Exec("Insert Into Master Values(" + std::to_string(code) + ",'2080/01/01','" + paid_upto +
         "','" + (i % 2 == 0 ? "r" : "R") + std::to_string(1000 + i) + "'," +
         std::to_string(i % 10 == 0 ? 0 : i) + ",0)");
  }
  Exec("Commit");

  const std::string kPaidUpto =
      "Select Date,PaidUpto,Vtype from [Master] Where Code In(101,2) and (Debit+Credit)>0 order "
      "by [Paidupto] DESC";
  const std::string split = LimitForSqlite(RewriteForSqlite(kPaidUpto), 1);
  EXPECT_EQ(Texts{}, SortsOfTableRows(*db_, split, "Master")) << split;
  // The same text with a plain LIMIT sorts every row of both accounts.
  EXPECT_NE(Texts{}, SortsOfTableRows(*db_, RewriteForSqlite(kPaidUpto) + " LIMIT 1", "Master"));

  const struct {
    const char* sql;
    int rows;    // read at most
    bool split;  // read value by value
  } kCases[] = {
      {kPaidUpto.c_str(), 1, true},
      {"Select * from Master Where Code In (2, 101, 2) order by PaidUpto desc, Vtype", 7, true},
      {"Select Vtype,Code from [Master] Where Debit>0 and code in(7,-1,101) order by Vtype", 9,
       true},
      {"Select Vtype from Master Where Code In(2,101) or Code=7 order by Vtype", 5, false},
      {"Select Vtype from Master Where Code not In(2,101) order by Vtype", 5, false},
      {"Select Vtype from Master Where Code In(2,101) order by PaidUpto", 5, false},
      {"Select Vtype from Master Where Code In(2,101.5) order by Vtype", 5, false},
      {"Select Vtype from Master Where Code In(2,101)", 5, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    const std::string text = LimitForSqlite(RewriteForSqlite(c.sql), c.rows);
    EXPECT_EQ(c.split, text.find("UNION ALL") != std::string::npos) << text;
    std::vector<std::vector<Value>> want = db_->Query(c.sql).rows;
    want.resize(std::min<std::size_t>(want.size(), c.rows));
    const std::vector<std::vector<Value>> got = db_->QueryFirstRows(c.sql, c.rows).rows;
    ASSERT_EQ(want.size(), got.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      for (std::size_t j = 0; j < want[i].size(); ++j) {
        EXPECT_EQ(want[i][j].AsText(), got[i][j].AsText()) << "row " << i << " column " << j;
      }
    }
  }
}

TEST(GroupInSortOrderForSqlite, SortsByTheRestOfTheGroupingAndGroupsInThatOrder) {
  const struct {
    const char* sql;
    const char* want;  // null: unchanged
  } kCases[] = {
      {"Select M.a,Sum(M.v) from M Where M.k=? and (M.s in('x') or M.t=1) Group by M.i,A.c, "
       "M.d,M.p ORDER BY M.d Desc",
       "Select M.a,Sum(M.v) from M Where (M.k=? and (M.s in('x') or M.t=1)) and M.d IS M.d "
       "Group by M.d, M.i, A.c, M.p ORDER BY M.d Desc, M.i, A.c, M.p"},
      {"select [t].[a] from t group by t.a, t.b, T.C order by t.c, t.A desc",
       "select [t].[a] from t where t.c IS t.c group by T.C, t.a, t.b order by t.c, t.A desc, "
       "t.b"},
      {"select t.a from t where t.x=1 or t.y=2 group by t.a, t.b order by t.b asc",
       "select t.a from t where (t.x=1 or t.y=2) and t.b IS t.b group by t.b, t.a order by "
       "t.b asc, t.a"},
      {"select t.a from t group by t.a, t.b order by t.b desc, t.a", nullptr},  // all of them
      {"select t.a from t group by t.a, t.b order by t.c", nullptr},  // not a grouping term
      {"select t.a from t group by a, t.b order by t.b", nullptr},    // not table.column
      {"select t.a from t group by t.a, t.b order by 2", nullptr},
      {"select t.a from t group by t.a, lower(t.b) order by t.a", nullptr},
      {"select t.a from t group by t.a, t.b order by t.a collate binary", nullptr},
      {"select distinct t.a from t group by t.a, t.b order by t.b", nullptr},
      {"select t.a from t group by t.a, t.b having count(*)>1 order by t.b", nullptr},
      {"select t.a from t group by t.a, t.b order by t.b limit 3", nullptr},
      {"select t.a from t group by t.a, t.b /* note */ order by t.b", nullptr},
      {"select t.a from t group by t.a, t.b union select u.a from u order by 1", nullptr},
      {"select t.a from (select t.a from t group by t.a, t.b order by t.b) as t", nullptr},
      {"select t.a from t group by t.a, t.b order by t.b; select 1",
       "select t.a from t where t.b IS t.b group by t.b, t.a order by t.b, t.a; select 1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    const std::string once = GroupInSortOrderForSqlite(c.sql);
    EXPECT_EQ(c.want != nullptr ? c.want : c.sql, once);
    EXPECT_EQ(once, GroupInSortOrderForSqlite(once));
  }
}

// Grouped rows in their sort order are the rows SQLite gives the statement as written, in
// the same order, whatever ties there are: equal sort values (texts equal but for letter
// case, Null), equal groups, sums whose value depends on the order of their terms. With an
// index on the sort and grouping columns and the mark, the first rows are read without
// grouping and sorting them all; without it, in the same order. The table is large enough
// for SQLite's sorter to write sorted runs to disk and merge them.
TEST_F(SqlDialect, GroupsInSortOrderGiveTheSameRowsInTheSameOrder) {
  Exec("Create Table T(k int,a varchar(10),b int,c varchar(10),v Float,x varchar(210))");
  std::mt19937 random(20815);
  const auto pick = [&](std::initializer_list<const char*> values) {
    return *(values.begin() + random() % values.size());
  };
  Exec("Begin");
  for (int i = 0; i < 8000; ++i) {
    Exec(std::string("Insert Into T Values(") + pick({"1", "1", "1", "2"}) + "," +
         pick({"Null", "'2080/01/01'", "'2080/01/02'", "'x'", "'X'", "''"}) + "," +
         pick({"Null", "1", "2", "2", "'2'", "2.5", "'b'"}) + "," +
         pick({"Null", "'c'", "'C'", "'d'"}) + "," + pick({"0.1", "0.2", "1e16", "-1e16", "Null"}) +
         ",'" + std::string(200, 'p') + std::to_string(i % 7) + "')");
  }
  Exec("Commit");
  const char* kStatements[] = {
      "Select T.a,T.b,T.c,Sum(T.v) as v,count(*) as n,T.x from T Where T.k=1 Group by T.b,T.a,"
      "T.c,T.x Order by T.a Desc",
      "Select T.a,T.b,T.c,Sum(T.v) as v from T Where T.k=1 Group by T.b,T.a,T.c Order by T.c,"
      "T.a Desc",
      "Select T.b,Sum(T.v) as v from T Group by T.a,T.b Order by T.b",
  };
  const std::string first = GroupInSortOrderForSqlite(kStatements[0]);
  EXPECT_NE(Texts{}, SortsOfTableRows(*db_, first, "T"));
  for (const bool indexed : {false, true}) {
    if (indexed) Exec("Create Index Sorted On T(k,a Desc,b,c,x) Where a IS a");
    for (const char* sql : kStatements) {
      SCOPED_TRACE(std::string(sql) + (indexed ? " (indexed)" : ""));
      // The smallest sorted runs SQLite writes (250 pages): several of them.
      const auto want =
          test_support::QueryAsWritten(dir_.path() / "dialect.db", sql, "PRAGMA cache_size=10");
      const auto got = db_->Query(sql).rows;
      ASSERT_EQ(want.size(), got.size());
      for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(want[i], got[i]) << "row " << i;
    }
  }
  EXPECT_EQ(Texts{}, SortsOfTableRows(*db_, first, "T"));
}

TEST(DeclaredCollation, FindsTheColumnsCollateClause) {
  const struct {
    const char* create;
    const char* column;
    const char* want;
  } kCases[] = {
      {"CREATE TABLE Acc(ACCODE Int,Name Varchar(100) COLLATE NOCASE,Alias Varchar(50))", "name",
       "NOCASE"},
      {"CREATE TABLE Acc(ACCODE Int,Name Varchar(100) COLLATE NOCASE,Alias Varchar(50))", "Alias",
       "BINARY"},
      {"CREATE TABLE Acc(ACCODE Int,Name Varchar(100) COLLATE NOCASE,Alias Varchar(50))", "Mid",
       ""},
      {"CREATE TABLE [T] (x numeric(10, 2) COLLATE RTRIM, \"Limit\" int collate [NoCase], "
       "CONSTRAINT k PRIMARY KEY (y COLLATE BINARY), y text)",
       "LIMIT", "NoCase"},
      {"CREATE TABLE [T] (x numeric(10, 2) COLLATE RTRIM, \"Limit\" int, y text)", "x", "RTRIM"},
      {"CREATE TABLE T(a int, -- note, b\n b text /* , c */, c text COLLATE NOCASE)", "b",
       "BINARY"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.create) + " / " + c.column);
    EXPECT_EQ(c.want, DeclaredCollation(c.create, c.column));
  }
}

// Rewriting a rewritten statement changes nothing more.
TEST(RewriteForSqlite, RewritingTwiceChangesNothingMore) {
  for (const UpgradeStep& step : kUpgradeSteps) {
    for (const char* sql : step.statements) {
      SCOPED_TRACE(sql);
      const std::string once = RewriteForSqlite(sql);
      EXPECT_EQ(once, RewriteForSqlite(once));
    }
  }
}

}  // namespace
}  // namespace data
