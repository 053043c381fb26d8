#include "schema/agent_indexes.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "data/sql_dialect.h"
#include "tests/support/test_catalog.h"

namespace schema {
namespace {

std::set<std::string> IndexNames(test_support::TestCatalog& catalog) {
  std::set<std::string> names;
  for (const auto& row : catalog.Query("Select name from sqlite_master Where type='index'").rows) {
    names.insert(row.at(0).AsText());
  }
  return names;
}

// An index already there counts when its leading key columns are the ones needed, whatever
// its name; the agent creates the others under its own names, and only once.
TEST(CreateAgentIndexes, CountsIndexesOfOtherNamesAndCreatesTheMissingOnes) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path(), "MavData", test_support::CatalogLevel::kCurrent);
  const struct {
    const char* existing;
    const char* agent_index;
    bool created;
  } kCases[] = {
      {"Create Index Acc_Key On Acc(ACCODE,Mid)", "MAV_Acc_ACCODE", false},
      {"Create Unique Index Statement_Serial On loanstatement(sn)", "MAV_LoanStatement_SN", false},
      // The column compares without regard to case; so does this index.
      {"Create Index Master_Day On Master(Date COLLATE NOCASE,Status)", "MAV_Master_Date", false},
      {"Create Index Master_Code On Master(CODE)", "MAV_Master_CODE_PaidUpto", true},
      {"Create Index Master_Paid On Master(PaidUpto,CODE)", "MAV_Master_CODE_PaidUpto", true},
      {"Create Index Acc_Name On Acc(Name COLLATE BINARY)", "MAV_Acc_Name", true},
      {"Create Index Pending On SMSService(Reply) Where Reply is null", "MAV_SMSService_Reply",
       true},
      {"Create Index Amortization_Code On Amortization(Accode+0)", "MAV_Amortization_Accode", true},
      // A partial index counts for one of the same condition, however it is spaced and cased.
      {"Create Index Loans On Master(code,Date) Where status = 'Loan' OR vtype = 'Opening Balance'",
       "MAV_Master_CODE_Loan", false},
      // Sorted the other way: the rows would come in another order.
      {"Create Index Latest On Master(CODE,Date,Index_Rec,PaidUpto,VOUCHER_NO,Vtype,BillNo,Fyear,"
       "Status,Particular) Where Date IS Date",
       "MAV_Master_CODE_Latest", true},
  };
  for (const auto& c : kCases) catalog.Exec(c.existing);

  std::ostringstream log;
  const int created = CreateAgentIndexes(catalog.connection(), log);
  EXPECT_EQ("", log.str());
  const std::set<std::string> names = IndexNames(catalog);
  int kept = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.existing);
    EXPECT_EQ(c.created, names.count(c.agent_index) == 1);
    if (!c.created) ++kept;
  }
  EXPECT_EQ(static_cast<int>(AgentIndexes().size()) - kept, created);
  for (const AgentIndex& index : AgentIndexes()) {
    SCOPED_TRACE(index.Name());
    EXPECT_TRUE(HasIndexOn(catalog.connection(), index));
  }

  EXPECT_EQ(0, CreateAgentIndexes(catalog.connection(), log));
  EXPECT_EQ("", log.str());
}

// The plan of a statement, its steps joined.
std::string Plan(data::Connection& connection, const std::string& sql) {
  std::string plan;
  for (const auto& step : connection.Query("EXPLAIN QUERY PLAN " + sql).rows) {
    plan += step.at(3).AsText() + "; ";
  }
  return plan;
}

// The loan rows of an account (the interest paid-up-to date), the first loan date, the sums
// of a reply and the latest paid-up-to date read the same rows, in the same order, once the
// agent's indexes are there as they did before: on an account with many rows of one date,
// repeated and missing record numbers, missing dates, texts equal but for letter case, and
// amounts whose sum depends on the order they are added in. The loan rows and the first loan
// date come through the indexes made for them, which no sum reads.
TEST(CreateAgentIndexes, RepliesReadTheSameRowsThroughTheIndexes) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path(), "MavData", test_support::CatalogLevel::kCurrent);
  // The accounting application's keys.
  catalog.Exec("Create Index Master_CODE On Master(CODE)");
  catalog.Exec("Create Unique Index Acc_ACCODE On Acc(ACCODE)");
  std::mt19937 random(2081);
  const auto pick = [&](std::initializer_list<const char*> values) {
    return std::string(*(values.begin() + random() % values.size()));
  };
  catalog.Exec("Begin");
  for (const int code : {2, 501})
    catalog.Exec("Insert Into Acc(ACCODE) Values(" + std::to_string(code) + ")");
  // Long rows: fewer of them fill SQLite's sorter.
  const std::string particular = "'" + std::string(200, 'r') + "'";
  for (int i = 0; i < 8000; ++i) {
    catalog.Exec(
        "Insert Into Master(CODE,Date,Status,Vtype,PaidUpto,Debit,Credit,Index_Rec,"
        "VOUCHER_NO,BillNo,Particular) Values(" +
        pick({"2", "2", "2", "501", "502"}) + "," +
        pick({"'2081/04/02'", "'2081/04/02'", "'2081/03/30'", "Null", "''"}) + "," +
        pick({"'LoanR'", "'loanr'", "'Loan'", "'Journal'", "'Receipt'"}) + "," +
        pick({"'Journal'", "'Opening Balance'", "'opening balance'"}) + "," +
        pick({"Null", "'0000/00/00'", "'2081/03/30'", "''"}) + "," +
        pick({"0", "0.1", "0.2", "0.3", "100.01"}) + "," + pick({"0.2", "0.7", "3.3"}) + "," +
        pick({"Null", "7", "7", "8", "9"}) + "," + std::to_string(i % 50) + "," +
        pick({"'a'", "'A'"}) + "," + particular + ")");
  }
  catalog.Exec("Commit");
  std::ostringstream log;
  CreateAgentIndexes(catalog.connection(), log);
  ASSERT_EQ("", log.str());

  // Before: as SQLite read the statements without the two indexes (and their rewriting),
  // its sorter writing sorted runs to disk and merging them.
  const std::string kBefore =
      "PRAGMA cache_size=10; BEGIN; DROP INDEX MAV_Master_CODE_Latest; "
      "DROP INDEX MAV_Master_CODE_Loan;";
  for (const int code : {2, 501, 502, 503}) {
    const std::string c = std::to_string(code);
    const std::string kLoanRows =
        "SELECT MASTER.Index_Rec,Acc.ACCODE, MASTER.DATE,Master.PaidUpto,Master.Vtype, "
        "MASTER.VOUCHER_NO,Master.BillNo,Master.Fyear,Master.Status,Master.Particular,"
        "Sum(Master.Debit) as Debit,Sum(Master.Credit) as Credit FROM Acc INNER JOIN MASTER "
        "ON Acc.ACCODE = MASTER.CODE WHERE Acc.ACCODE=" +
        c +
        " and (Master.Status in('LoanR','Loan','Billing','Journal','...','IntPosting',"
        "'DLCollection','Loan') or Vtype='Opening Balance') Group by Master.Index_Rec,"
        "Acc.Accode, Master.Date, Master.PaidUpto,Master.Voucher_No,Master.Vtype,"
        "Master.BillNo,Master.Fyear,Master.Status,Master.Particular ORDER BY MASTER.DATE Desc";
    const std::string kLoanCondition = " and (Status='Loan' or Vtype='Opening Balance')";
    const struct {
      std::string sql;
      const char* index;  // the index the statement reads through; null: neither new one
    } kStatements[] = {
        {kLoanRows, "MAV_Master_CODE_Latest"},
        {"Select Min([Date]) LDate from [Master] where code=" + c + kLoanCondition,
         "MAV_Master_CODE_Loan"},
        {"Select Sum(Debit) as Loan from Master where Code=" + c + kLoanCondition,
         "MAV_Master_CODE_Loan"},
        {"Select sum(credit)-sum(debit) as balance from [Master] where code=" + c, nullptr},
        {"Select Sum(Credit) as Paid from Master where Code=" + c, nullptr},
        {"Select PaidUpto from master Where Code=" + c + " order by PaidUpto Desc", nullptr},
    };
    for (const auto& statement : kStatements) {
      SCOPED_TRACE(statement.sql);
      const auto before = test_support::QueryAsWritten(
          catalog.file(), data::RewriteForSqlite(statement.sql), kBefore);
      std::vector<std::vector<data::Value>> after;
      const auto cursor = catalog.connection().OpenCursor(statement.sql);  // as the agent reads
      for (std::vector<data::Value> row; cursor->Next(row);) after.push_back(row);
      ASSERT_EQ(before.size(), after.size());
      for (std::size_t i = 0; i < before.size(); ++i) ASSERT_EQ(before[i], after[i]) << "row " << i;

      const std::string plan =
          Plan(catalog.connection(), data::GroupInSortOrderForSqlite(statement.sql));
      for (const char* index : {"MAV_Master_CODE_Latest", "MAV_Master_CODE_Loan"}) {
        EXPECT_EQ(statement.index != nullptr && std::string(index) == statement.index,
                  plan.find(index) != std::string::npos)
            << plan;
      }
      if (statement.index == kStatements[0].index) {
        EXPECT_EQ(std::string::npos, plan.find("TEMP B-TREE")) << plan;
      }
    }
  }
}

// An index the catalog refuses is reported once and left out; the others are created.
TEST(CreateAgentIndexes, RefusalIsLoggedAndTheOthersAreStillCreated) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path());  // before the upgrade: tables and columns missing
  const std::set<std::string> kRefused = {"MAV_Master_Acode_Status_Fyear",
                                          "MAV_Master_iDate_Fyear",
                                          "MAV_Master_eDate",
                                          "MAV_LoanSMS_Reply",
                                          "MAV_LoanSMS_SN",
                                          "MAV_SMSService_Reply",
                                          "MAV_SMSService_SN",
                                          "MAV_LoanStatement_Message_Reply",
                                          "MAV_LoanStatement_SN"};

  std::ostringstream log;
  const int created = CreateAgentIndexes(catalog.connection(), log);
  EXPECT_EQ(static_cast<int>(AgentIndexes().size() - kRefused.size()), created);
  std::istringstream lines(log.str());
  std::multiset<std::string> reported;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    EXPECT_NE(std::string::npos, line.find(" not created: Error "));
    reported.insert(line.substr(6, line.find(' ', 6) - 6));  // after "Index "
  }
  EXPECT_EQ(std::multiset<std::string>(kRefused.begin(), kRefused.end()), reported);
}

}  // namespace
}  // namespace schema
