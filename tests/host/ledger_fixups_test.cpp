#include "host/ledger_fixups.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "data/connection.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

using data::Value;

// A catalog at the current schema level with a loan ledger (accounts 101, 102 of members 11
// and 12), a deposit ledger (account 201) and a cash account 1 outside both.
class LedgerFixupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Insert("Ledger", {{"LCODE", 1}, {"NAME", "Loan Issued Ledger"}});
    Insert("Ledger", {{"LCODE", 2}, {"NAME", "Deposit Ledger"}});
    Insert("Ledger", {{"LCODE", 3}, {"NAME", "Cash Ledger"}});
    Insert("SubLedger", {{"LCODE", 1}, {"SubCODE", 10}});
    Insert("SubLedger", {{"LCODE", 2}, {"SubCODE", 20}});
    Insert("SubLedger", {{"LCODE", 3}, {"SubCODE", 30}});
    Insert("Acc", {{"ACCODE", 101}, {"subCode", 10}, {"Mid", 11}});
    Insert("Acc", {{"ACCODE", 102}, {"subCode", 10}, {"Mid", 12}});
    Insert("Acc", {{"ACCODE", 201}, {"subCode", 20}, {"Mid", 21}});
    Insert("Acc", {{"ACCODE", 1}, {"subCode", 30}, {"Mid", 0}});
  }

  void Insert(const std::string& table, const test_support::Row& row) {
    catalog_.Insert(table, row);
  }

  void Row(int code, Value voucher, int fyear, const char* date, const char* status) {
    Insert("Master", {{"Index_Rec", ++index_},
                      {"CODE", code},
                      {"VOUCHER_NO", voucher},
                      {"Fyear", fyear},
                      {"Date", date},
                      {"Status", status}});
  }

  Value Get(const std::string& column, int index_rec) {
    return catalog_.Scalar("Select " + column +
                           " from Master Where Index_Rec=" + std::to_string(index_rec));
  }

  int Count(const std::string& where) {
    return catalog_.Scalar("Select count(*) from Master Where " + where).AsInt32();
  }

  test_support::TempDir dir_;
  test_support::TestCatalog catalog_{dir_.path(), "MavData2075",
                                     test_support::CatalogLevel::kCurrent};
  int index_ = 0;
};

TEST_F(LedgerFixupsTest, RepaymentVoucherGetsTheLoanCodesOnEveryLoanRRow) {
  Row(1, 5, 3, "2081/05/01", "LoanR");    // 1: cash row of the voucher
  Row(101, 5, 3, "2081/05/01", "LoanR");  // 2: the loan's row
  Row(1, 5, 3, "2081/05/01", "Other");    // 3: another status in the same voucher
  Row(101, 5, 2, "2080/05/01", "LoanR");  // 4: same voucher number, another year
  EXPECT_EQ(1, FixLoanRepaymentCodes(catalog_.connection(), 3));
  for (int i : {1, 2}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Value(std::int64_t{101}), Get("Acode", i));
    EXPECT_EQ(Value(std::int64_t{11}), Get("MasterCode", i));
  }
  EXPECT_TRUE(Get("Acode", 3).IsNull());
  EXPECT_TRUE(Get("Acode", 4).IsNull());
  EXPECT_EQ(0, FixLoanRepaymentCodes(catalog_.connection(), 3));  // nothing left this year
}

TEST_F(LedgerFixupsTest, VoucherOfTwoLoansEndsWithOneLoansCodes) {
  Row(101, 7, 3, "2081/05/01", "LoanR");
  Row(102, 7, 3, "2081/05/01", "LoanR");
  EXPECT_EQ(2, FixLoanRepaymentCodes(catalog_.connection(), 3));
  // Both groups update both rows; whichever came last decides, but the rows agree.
  const Value acode = Get("Acode", 1);
  EXPECT_EQ(acode, Get("Acode", 2));
  EXPECT_TRUE(acode == Value(std::int64_t{101}) || acode == Value(std::int64_t{102}));
  EXPECT_EQ(Value(acode.AsInt64() == 101 ? std::int64_t{11} : std::int64_t{12}),
            Get("MasterCode", 1));
}

TEST_F(LedgerFixupsTest, FiscalYearZeroMatchesOnlyYearZeroRows) {
  Row(101, 1, 0, "2081/05/01", "LoanR");
  Row(101, 2, 3, "2081/05/01", "LoanR");
  Row(201, 3, 0, "2081/05/01", "Deposit");
  Row(201, 4, 3, "2081/05/01", "Deposit");
  EXPECT_EQ(1, FixLoanRepaymentCodes(catalog_.connection(), 0));
  EXPECT_EQ(1, FixDepositEntryDates(catalog_.connection(), 0));
  EXPECT_FALSE(Get("Acode", 1).IsNull());
  EXPECT_TRUE(Get("Acode", 2).IsNull());
  EXPECT_FALSE(Get("iDate", 3).IsNull());
  EXPECT_TRUE(Get("iDate", 4).IsNull());
}

TEST_F(LedgerFixupsTest, NullMidStillRepairsTheVoucher) {
  Insert("Acc", {{"ACCODE", 103}, {"subCode", 10}, {"Mid", Value()}});
  Row(103, 9, 3, "2081/05/01", "LoanR");
  Row(101, 10, 3, "2081/05/01", "LoanR");
  EXPECT_EQ(2, FixLoanRepaymentCodes(catalog_.connection(), 3));
  EXPECT_EQ(Value(std::int64_t{103}), Get("Acode", 1));
  EXPECT_TRUE(Get("MasterCode", 1).IsNull());
  EXPECT_EQ(Value(std::int64_t{101}), Get("Acode", 2));
}

TEST_F(LedgerFixupsTest, VoucherWithoutNumberIsSkippedAndOthersGoOn) {
  Row(101, Value(), 3, "2081/05/01", "LoanR");
  Row(201, Value(), 3, "2081/05/01", "Deposit");
  Row(101, 12, 3, "2081/05/01", "LoanR");
  Row(201, 13, 3, "2081/05/02", "Deposit");
  EXPECT_EQ(1, FixLoanRepaymentCodes(catalog_.connection(), 3));
  EXPECT_EQ(1, FixDepositEntryDates(catalog_.connection(), 3));
  EXPECT_TRUE(Get("Acode", 1).IsNull());
  EXPECT_TRUE(Get("iDate", 2).IsNull());
  EXPECT_EQ(Value(std::int64_t{101}), Get("Acode", 3));
  EXPECT_EQ(Value("2081/05/02"), Get("iDate", 4));
}

// Vouchers without a number come first in the order of the batch; however many there are,
// they never take the places of the vouchers that can be repaired.
TEST_F(LedgerFixupsTest, VouchersWithoutNumberNeverFillTheBatch) {
  catalog_.Exec("Begin Transaction");
  for (int i = 0; i < 150; ++i) {
    Insert("Acc", {{"ACCODE", 1000 + i}, {"subCode", 10}, {"Mid", 1}});
    Insert("Acc", {{"ACCODE", 2000 + i}, {"subCode", 20}, {"Mid", 1}});
    Row(1000 + i, Value(), 3, "2081/05/01", "LoanR");
    Row(2000 + i, Value(), 3, "2081/05/01", "Deposit");
  }
  catalog_.Exec("Commit");
  Row(101, 12, 3, "2081/05/01", "LoanR");
  Row(201, 13, 3, "2081/05/02", "Deposit");
  EXPECT_EQ(1, FixLoanRepaymentCodes(catalog_.connection(), 3));
  EXPECT_EQ(1, FixDepositEntryDates(catalog_.connection(), 3));
  EXPECT_EQ(1, Count("Acode is not null"));
  EXPECT_EQ(1, Count("iDate is not null"));
}

TEST_F(LedgerFixupsTest, DepositVoucherGetsItsDateOnEveryRowOfTheYear) {
  Row(201, 20, 3, "2081/06/01", "Deposit");  // 1
  Row(1, 20, 3, "2081/06/01", "Cash");       // 2: another account of the voucher
  Row(201, 20, 2, "2080/06/01", "Deposit");  // 3: same number, another year
  Row(1, 21, 3, "2081/06/02", "Cash");       // 4: a voucher without a deposit account
  EXPECT_EQ(1, FixDepositEntryDates(catalog_.connection(), 3));
  EXPECT_EQ(Value("2081/06/01"), Get("iDate", 1));
  EXPECT_EQ(Value("00:00:00"), Get("dTime", 1));
  EXPECT_EQ(Value("2081/06/01"), Get("iDate", 2));
  EXPECT_TRUE(Get("iDate", 3).IsNull());
  EXPECT_TRUE(Get("iDate", 4).IsNull());
}

TEST_F(LedgerFixupsTest, DepositVoucherWithTwoDatesTakesTheLaterDate) {
  Row(201, 30, 3, "2081/06/02", "Deposit");
  Row(1, 30, 3, "2081/06/01", "Cash");
  Row(201, 30, 3, "2081/06/01", "Deposit");
  EXPECT_EQ(2, FixDepositEntryDates(catalog_.connection(), 3));
  EXPECT_EQ(3, Count("iDate='2081/06/02'"));
}

TEST_F(LedgerFixupsTest, NullDateIsWrittenAsEmptyAndCountsAsRepaired) {
  Row(201, 40, 3, "2081/06/02", "Deposit");
  catalog_.Exec("Update Master set Date=Null");
  EXPECT_EQ(1, FixDepositEntryDates(catalog_.connection(), 3));
  EXPECT_EQ(Value(""), Get("iDate", 1));
  EXPECT_EQ(0, FixDepositEntryDates(catalog_.connection(), 3));
}

TEST_F(LedgerFixupsTest, HundredGroupsPerCallInVoucherOrder) {
  catalog_.Exec("Begin Transaction");
  for (int v = 250; v >= 1; --v) {  // inserted in reverse: the order comes from the query
    Row(101, v, 3, "2081/05/01", "LoanR");
    Row(201, v + 1000, 3, "2081/05/01", "Deposit");
  }
  catalog_.Exec("Commit");
  const struct {
    int want_loans, want_deposits, last_repaired_voucher;
  } kCalls[] = {{100, 100, 100}, {100, 100, 200}, {50, 50, 250}, {0, 0, 250}};
  for (const auto& c : kCalls) {
    SCOPED_TRACE(c.last_repaired_voucher);
    EXPECT_EQ(c.want_loans, FixLoanRepaymentCodes(catalog_.connection(), 3));
    EXPECT_EQ(c.want_deposits, FixDepositEntryDates(catalog_.connection(), 3));
    EXPECT_EQ(c.last_repaired_voucher, Count("Acode is not null"));
    EXPECT_EQ(0,
              Count("Acode is not null and VOUCHER_NO>" + std::to_string(c.last_repaired_voucher)));
    EXPECT_EQ(c.last_repaired_voucher, Count("iDate is not null"));
  }
}

// The repairs are counted for the activity line across both passes, batches cut short by
// the tick's budget, finished batches and failed ones, until the host takes the count.
TEST_F(LedgerFixupsTest, BatchCountsRepairsUntilTheCountIsTaken) {
  for (int v = 1; v <= 3; ++v) {
    Row(101, v, 3, "2081/05/01", "LoanR");
    Row(201, v + 10, 3, "2081/05/01", "Deposit");
  }
  FixupBatch batch;
  int asked = 0;
  const std::function<bool()> one_group = [&] { return ++asked > 2; };  // the open, a group
  EXPECT_FALSE(FixLoanRepaymentCodes(catalog_.connection(), 3, batch, one_group));
  EXPECT_EQ(1, batch.repaired);
  EXPECT_TRUE(FixLoanRepaymentCodes(catalog_.connection(), 3, batch, nullptr));
  EXPECT_TRUE(FixDepositEntryDates(catalog_.connection(), 3, batch, nullptr));
  EXPECT_EQ(6, batch.repaired);
  catalog_.Exec("Alter table Ledger rename to Ledger_gone");
  EXPECT_THROW(FixDepositEntryDates(catalog_.connection(), 3, batch, nullptr), std::exception);
  EXPECT_EQ(6, batch.repaired);
  EXPECT_FALSE(batch.open);
}

// Passes calls through to a connection and counts the queries.
class CountingConnection : public data::Connection {
 public:
  explicit CountingConnection(data::Connection& inner) : inner_(inner) {}
  std::int64_t Execute(const std::string& sql) override { return inner_.Execute(sql); }
  data::QueryResult Query(const std::string& sql) override {
    ++queries;
    return inner_.Query(sql);
  }
  data::QueryResult QueryFirstRows(const std::string& sql, std::int64_t max_rows) override {
    ++queries;
    return inner_.QueryFirstRows(sql, max_rows);
  }
  std::optional<std::string> DataVersion() override { return inner_.DataVersion(); }
  void BeginTransaction() override { inner_.BeginTransaction(); }
  void Commit() override { inner_.Commit(); }
  void Rollback() override { inner_.Rollback(); }
  data::Dialect dialect() const override { return inner_.dialect(); }
  std::string Describe() const override { return inner_.Describe(); }

  int queries = 0;

 private:
  data::Connection& inner_;
};

// Rows no repair can complete (an interest receipt without a loan row, a cash row without a
// deposit account) are read once; a pass reads again only once the catalog changed, and then
// repairs what became repairable, whoever wrote it.
TEST_F(LedgerFixupsTest, NothingRepairableIsReadAgainOnlyAfterAChange) {
  Row(1, 20, 3, "2081/05/01", "LoanR");  // 1: the receipt's cash row
  Row(1, 21, 3, "2081/05/01", "Cash");   // 2: no deposit account in this voucher
  CountingConnection main(catalog_.connection());
  FixupBatch batch;
  const auto round = [&](std::int32_t fyear) {
    EXPECT_TRUE(FixLoanRepaymentCodes(main, fyear, batch, nullptr));
    EXPECT_TRUE(FixDepositEntryDates(main, fyear, batch, nullptr));
  };
  round(3);
  EXPECT_EQ(2, main.queries);
  round(3);
  round(3);
  EXPECT_EQ(2, main.queries);

  // Another program adds the voucher's loan row.
  auto other = data::OpenConnection(catalog_.ConnectionString());
  other->Execute(
      "Insert into Master(Index_Rec,CODE,VOUCHER_NO,Fyear,Date,Status) "
      "values(3,101,20,3,'2081/05/01','LoanR')");
  round(3);
  EXPECT_EQ(Value(std::int64_t{101}), Get("Acode", 1));
  EXPECT_EQ(Value(std::int64_t{101}), Get("Acode", 3));
  round(3);  // read again after its own repair, and found nothing
  const int quiet = main.queries;
  round(3);
  EXPECT_EQ(quiet, main.queries);

  // The agent's own connection writes a deposit row into the cash voucher.
  main.Execute(
      "Insert into Master(Index_Rec,CODE,VOUCHER_NO,Fyear,Date,Status) "
      "values(4,201,21,3,'2081/05/01','Deposit')");
  round(3);
  EXPECT_EQ(Value("2081/05/01"), Get("iDate", 2));
  EXPECT_EQ(Value("2081/05/01"), Get("iDate", 4));

  // Another fiscal year is read for itself.
  round(3);
  const int before = main.queries;
  round(4);
  EXPECT_EQ(before + 2, main.queries);
}

}  // namespace
}  // namespace host
