#include "tests/data/connection_contract.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/drivers.h"
#include "data/record_set.h"
#include "tests/support/agent_error_of.h"

namespace {

using base::AgentError;
using data::RecordSet;
using data::Value;

using test_support::ErrorOf;

void CreateLedger(data::Connection& c) {
  c.Execute(
      "Create Table Master(CODE int,VOUCHER_NO int,Date varchar(10),Debit Float,"
      "Credit Float,Particular varchar(255))");
}

TEST_P(ConnectionContract, EmptyResultIsAtBothEndsAndHasNoCurrentRow) {
  CreateLedger(connection());
  RecordSet rs;
  rs.Open(connection(), "Select CODE,Date from Master Where CODE=1");
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ(0, rs.RecordCount());
  ASSERT_EQ(2, rs.FieldCount());  // the columns are known even without rows
  EXPECT_EQ("CODE", rs.FieldName(0));
  EXPECT_EQ("Date", rs.FieldName(1));
  EXPECT_EQ(base::kNoCurrentRecord, ErrorOf([&] { rs.Field("CODE"); }).number());
  EXPECT_EQ(base::kNoCurrentRecord, ErrorOf([&] { rs.MoveNext(); }).number());
  rs.MoveFirst();
  rs.MoveLast();
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
}

TEST_P(ConnectionContract, WalksRowsInOrderBothWays) {
  CreateLedger(connection());
  for (int code : {30, 10, 20}) {
    connection().Execute("Insert Into Master(CODE,Date) Values(" + std::to_string(code) +
                         ",'2080/01/0" + std::to_string(code / 10) + "')");
  }
  RecordSet rs;
  rs.Open(connection(), "Select CODE,Date from Master order by CODE");
  ASSERT_EQ(3, rs.RecordCount());
  EXPECT_FALSE(rs.Bof());
  std::vector<std::int64_t> seen;
  while (!rs.Eof()) {
    seen.push_back(rs.Field("CODE").AsInt64());
    rs.MoveNext();
  }
  EXPECT_EQ((std::vector<std::int64_t>{10, 20, 30}), seen);
  EXPECT_FALSE(rs.Bof());

  rs.MoveLast();
  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(30, rs.Field(0).AsInt32());
  EXPECT_EQ("2080/01/03", rs.Field(1).AsText());
  rs.MovePrevious();
  EXPECT_EQ(20, rs.Field(0).AsInt32());
  rs.MoveFirst();
  EXPECT_EQ(10, rs.Field(0).AsInt32());
  rs.MovePrevious();
  EXPECT_TRUE(rs.Bof());
  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(base::kNoCurrentRecord, ErrorOf([&] { rs.Field(0); }).number());

  rs.Close();
  EXPECT_FALSE(rs.IsOpen());
  EXPECT_EQ(0, rs.RecordCount());
}

TEST_P(ConnectionContract, FieldsByNameInAnyCaseAndByPosition) {
  CreateLedger(connection());
  connection().Execute("Insert Into Master(CODE,VOUCHER_NO,Particular) Values(7,12,'Cash')");
  RecordSet rs;
  rs.Open(connection(), "Select * from Master");
  ASSERT_EQ(6, rs.FieldCount());
  EXPECT_EQ("VOUCHER_NO", rs.FieldName(1));
  for (const char* name : {"Particular", "particular", "PARTICULAR", "pArTiCuLaR"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ("Cash", rs.Field(name).AsText());
  }
  EXPECT_EQ(rs.Field(1), rs.Field("Voucher_No"));
  EXPECT_EQ(base::kFieldNotFound, ErrorOf([&] { rs.Field("Particulars"); }).number());
  EXPECT_EQ(base::kFieldNotFound, ErrorOf([&] { rs.Field(6); }).number());
  EXPECT_EQ(base::kFieldNotFound, ErrorOf([&] { rs.Field(-1); }).number());
  EXPECT_EQ(base::kFieldNotFound, ErrorOf([&] { rs.FieldName(6); }).number());
}

TEST_P(ConnectionContract, ColumnNamesAreThoseTheQueryDeclares) {
  CreateLedger(connection());
  connection().Execute("Insert Into Master(CODE,Debit,Credit) Values(5,100,40.5)");
  RecordSet rs;
  rs.Open(connection(),
          "Select Sum(Credit) as Paid, sum(credit)-sum(debit) as balance, Max(CODE) MM "
          "from Master where Code=5");
  ASSERT_EQ(3, rs.FieldCount());
  EXPECT_EQ("Paid", rs.FieldName(0));
  EXPECT_EQ("balance", rs.FieldName(1));
  EXPECT_EQ("MM", rs.FieldName(2));
  EXPECT_DOUBLE_EQ(40.5, rs.Field("paid").AsDouble());
  EXPECT_DOUBLE_EQ(-59.5, rs.Field("Balance").AsDouble());
  EXPECT_EQ(5, rs.Field("mm").AsInt32());
}

TEST_P(ConnectionContract, NullIsNeitherEmptyTextNorZero) {
  connection().Execute("Create Table T(SN int,Name varchar(20),Amount Float)");
  connection().Execute("Insert Into T(SN,Name,Amount) Values(1,Null,Null)");
  connection().Execute("Insert Into T(SN,Name,Amount) Values(2,'',0)");
  RecordSet rs;
  rs.Open(connection(), "Select Name,Amount from T order by SN");

  const Value& null_name = rs.Field("Name");
  const Value& null_amount = rs.Field("Amount");
  EXPECT_TRUE(null_name.IsNull());
  EXPECT_TRUE(null_amount.IsNull());
  EXPECT_EQ("", null_name.AsText());  // a Null concatenates as empty text
  EXPECT_FALSE(null_name.Text().has_value());
  EXPECT_FALSE(null_amount.Double().has_value());
  EXPECT_EQ(base::kInvalidUseOfNull, ErrorOf([&] { null_amount.AsDouble(); }).number());
  EXPECT_EQ(base::kInvalidUseOfNull, ErrorOf([&] { null_amount.AsInt32(); }).number());
  EXPECT_EQ(base::kInvalidUseOfNull, ErrorOf([&] { null_name.AsBool(); }).number());

  rs.MoveNext();
  EXPECT_FALSE(rs.Field("Name").IsNull());
  EXPECT_EQ(std::optional<std::string>(""), rs.Field("Name").Text());
  EXPECT_FALSE(rs.Field("Amount").IsNull());
  EXPECT_EQ(0.0, rs.Field("Amount").AsDouble());
  EXPECT_EQ(base::kTypeMismatch, ErrorOf([&] { rs.Field("Name").AsDouble(); }).number());

  RecordSet filtered;
  filtered.Open(connection(), "Select SN from T Where Name is null");
  ASSERT_EQ(1, filtered.RecordCount());
  EXPECT_EQ(1, filtered.Field(0).AsInt32());
}

TEST_P(ConnectionContract, ValuesKeepTheirTypes) {
  connection().Execute("Create Table T(I int,F Float,S varchar(30),B bit)");
  connection().Execute("Insert Into T(I,F,S,B) Values(2147483647,0.1,'2080/01/01',1)");
  connection().Execute("Insert Into T(I,F,S,B) Values(-5,12500,'x',0)");
  RecordSet rs;
  rs.Open(connection(), "Select I,F,S,B from T order by I desc");
  EXPECT_EQ(Value(std::int64_t{2147483647}), rs.Field("I"));
  EXPECT_EQ(Value(0.1), rs.Field("F"));
  EXPECT_EQ(Value("2080/01/01"), rs.Field("S"));
  EXPECT_TRUE(rs.Field("B").AsBool());
  rs.MoveNext();
  EXPECT_EQ(-5, rs.Field("I").AsInt16());
  EXPECT_EQ(12500.0, rs.Field("F").AsDouble());  // a whole amount in a Float column
  EXPECT_EQ("12500", rs.Field("F").AsText());
  EXPECT_FALSE(rs.Field("B").AsBool());
}

TEST_P(ConnectionContract, OpenSetIsASnapshot) {
  CreateLedger(connection());
  connection().Execute("Insert Into Master(CODE,Particular) Values(1,'before')");
  RecordSet rs;
  rs.Open(connection(), "Select CODE,Particular from Master");

  connection().Execute("Update Master Set Particular='after' Where CODE=1");
  connection().Execute("Insert Into Master(CODE,Particular) Values(2,'new')");
  connection().Execute("Delete from Master Where CODE=1");

  EXPECT_EQ(1, rs.RecordCount());
  EXPECT_EQ("before", rs.Field("Particular").AsText());
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());

  RecordSet again;
  again.Open(connection(), "Select CODE,Particular from Master");
  ASSERT_EQ(1, again.RecordCount());
  EXPECT_EQ("new", again.Field("Particular").AsText());
}

// A server-side forward-only set reads its rows as it moves: the count is not known, it
// only moves forward, and statements run on the connection meanwhile.
TEST_P(ConnectionContract, ServerSideSetReadsForwardOnly) {
  CreateLedger(connection());
  for (int code : {30, 10, 50, 20, 40}) {
    connection().Execute("Insert Into Master(CODE) Values(" + std::to_string(code) + ")");
  }
  RecordSet rs;
  rs.SetCursorLocation(data::CursorLocation::kServer);
  rs.Open(connection(), "Select CODE from Master order by CODE");
  EXPECT_EQ(-1, rs.RecordCount());
  EXPECT_FALSE(rs.Bof());
  std::vector<std::int64_t> seen;
  for (; !rs.Eof(); rs.MoveNext()) {
    seen.push_back(rs.Field("code").AsInt64());
    EXPECT_EQ(Value(5), connection().Query("Select count(*) from Master").rows.at(0).at(0));
  }
  EXPECT_EQ((std::vector<std::int64_t>{10, 20, 30, 40, 50}), seen);
  EXPECT_EQ(base::kNoCurrentRecord, ErrorOf([&] { rs.MoveNext(); }).number());
  for (const auto& move : std::vector<std::function<void()>>{
           [&] { rs.MoveFirst(); }, [&] { rs.MoveLast(); }, [&] { rs.MovePrevious(); }}) {
    EXPECT_EQ(base::kOperationNotAllowed, ErrorOf(move).number());
  }

  rs.SetMaxRecords(2);
  rs.Open(connection(), "Select CODE from Master order by CODE desc");
  seen.clear();
  for (; !rs.Eof(); rs.MoveNext()) seen.push_back(rs.Field(0).AsInt64());
  EXPECT_EQ((std::vector<std::int64_t>{50, 40}), seen);

  rs.Open(connection(), "Select CODE,Date from Master Where CODE=0");
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ("Date", rs.FieldName(1));
}

// A read of the first rows stops there, and leaves the connection free for what follows.
TEST_P(ConnectionContract, FirstRowsStopAtTheLimit) {
  CreateLedger(connection());
  for (int code = 1; code <= 5; ++code) {
    connection().Execute("Insert Into Master(CODE) Values(" + std::to_string(code) + ")");
  }
  const data::QueryResult two =
      connection().QueryFirstRows("Select CODE,Date from Master order by CODE", 2);
  ASSERT_EQ(2u, two.rows.size());
  EXPECT_EQ(2u, two.columns.size());
  EXPECT_EQ(Value(2), two.rows[1][0]);
  EXPECT_EQ(1, connection().Execute("Delete from Master Where CODE=5"));
  EXPECT_EQ(4u, connection().QueryFirstRows("Select CODE from Master", 0).rows.size());
}

TEST_P(ConnectionContract, RefusedStatementNamesStatementAndDriverMessage) {
  CreateLedger(connection());
  const struct {
    const char* sql;
    const char* message;  // part of the driver's own message
  } kCases[] = {
      {"Select Nothing from NoSuchTable", "NoSuchTable"},
      {"Select NoSuchColumn from Master", "NoSuchColumn"},
      {"Selec CODE from Master", "syntax error"},
      {"Insert Into Master(CODE) Values(", "incomplete input"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    const base::AgentError query_error = ErrorOf([&] { connection().Query(c.sql); });
    EXPECT_EQ(base::kDatabaseError, query_error.number());
    EXPECT_NE(std::string::npos, query_error.description().find(c.sql))
        << query_error.description();
    EXPECT_NE(std::string::npos, query_error.description().find(c.message))
        << query_error.description();
    const base::AgentError exec_error = ErrorOf([&] { connection().Execute(c.sql); });
    EXPECT_NE(std::string::npos, exec_error.description().find(c.sql));
  }
  // The connection stays usable after a refused statement.
  connection().Execute("Insert Into Master(CODE) Values(1)");
  EXPECT_EQ(1, connection().Query("Select Count(*) from Master").rows.at(0).at(0).AsInt32());
}

TEST_P(ConnectionContract, TransactionRollsBackUnlessCommitted) {
  CreateLedger(connection());
  {
    data::Transaction t(connection());
    connection().Execute("Insert Into Master(CODE) Values(1)");
  }
  {
    data::Transaction t(connection());
    connection().Execute("Insert Into Master(CODE) Values(2)");
    t.Commit();
  }
  try {
    data::Transaction t(connection());
    connection().Execute("Insert Into Master(CODE) Values(3)");
    connection().Execute("Insert Into NoSuchTable(CODE) Values(4)");
    t.Commit();
    ADD_FAILURE() << "the second insert should fail";
  } catch (const base::AgentError&) {
  }
  RecordSet rs;
  rs.Open(connection(), "Select CODE from Master order by CODE");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_EQ(2, rs.Field(0).AsInt32());
}

TEST_P(ConnectionContract, StatementsOutsideATransactionTakeEffectAtOnce) {
  CreateLedger(connection());
  connection().Execute("Insert Into Master(CODE) Values(1)");
  auto other = OpenAnother();
  EXPECT_EQ(1, other->Query("Select Count(*) from Master").rows.at(0).at(0).AsInt32());

  connection().BeginTransaction();
  connection().Execute("Insert Into Master(CODE) Values(2)");
  EXPECT_EQ(1, other->Query("Select Count(*) from Master").rows.at(0).at(0).AsInt32())
      << "an uncommitted row is visible to another connection";
  connection().Commit();
  EXPECT_EQ(2, other->Query("Select Count(*) from Master").rows.at(0).at(0).AsInt32());
}

TEST_P(ConnectionContract, QuotedTextsAreStoredExactlyAndFoundAgain) {
  connection().Execute("Create Table Msg(SN int,Text varchar(600))");
  const char* const kTexts[] = {
      "O'Brien",
      "''",
      "'",
      "it''s",
      "'); Drop Table Msg; --",
      "a;b -- c /* d */",
      "[Name] + ' x '",
      "Dear RAM, Your Loan Due Rs.1,250.00 as on 2080/01/15",
      "\xe0\xa4\xa8\xe0\xa5\x87\xe0\xa4\xaa\xe0\xa4\xbe\xe0\xa4\xb2",  // Devanagari, UTF-8
      "kqsf] gd\xc3\x92gf",
      "",
  };
  int sn = 0;
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    ++sn;
    connection().Execute("Insert Into Msg(SN,Text) Values(" + std::to_string(sn) + "," +
                         data::SqlText(text) + ")");
    RecordSet rs;
    rs.Open(connection(), "Select SN,Text from Msg Where Text=" + data::SqlText(text));
    ASSERT_EQ(1, rs.RecordCount());
    EXPECT_EQ(sn, rs.Field("SN").AsInt32());
    EXPECT_EQ(text, rs.Field("Text").AsText());
  }
  EXPECT_EQ(sn, connection().Query("Select Count(*) from Msg").rows.at(0).at(0).AsInt32());
}

// A statement that changed no row says so: callers tell a mark that reached its row from
// one that missed it. Rows that triggers change are not the statement's own.
TEST_P(ConnectionContract, ExecuteCountsTheRowsItChanged) {
  CreateLedger(connection());
  connection().Execute("Create Table Audit(CODE int)");
  connection().Execute(
      "Create Trigger audit_master After Update On Master "
      "Begin Insert Into Audit(CODE) Values(new.CODE); Insert Into Audit(CODE) Values(0); End");
  const struct {
    const char* sql;
    std::int64_t want;
  } kCases[] = {
      {"Insert Into Master(CODE,VOUCHER_NO) Values(1,7)", 1},
      {"Insert Into Master(CODE,VOUCHER_NO) Values(2,7)", 1},
      {"Update Master set Debit=1 Where VOUCHER_NO=7", 2},
      {"Update Master set Debit=1 Where VOUCHER_NO=8", 0},
      {"Create Index IX_Master_Code On Master(CODE)", 0},
      {"Delete from Master Where CODE=2", 1},
      {"Delete from Master Where CODE=2", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(c.want, connection().Execute(c.sql));
  }
}

INSTANTIATE_TEST_SUITE_P(Embedded, ConnectionContract,
                         ::testing::Values(ConnectionFactory{"Sqlite",
                                                             [](const std::filesystem::path& file) {
                                                               return data::OpenSqliteFile(file,
                                                                                           true);
                                                             }}),
                         [](const ::testing::TestParamInfo<ConnectionFactory>& info) {
                           return info.param.name;
                         });

}  // namespace
