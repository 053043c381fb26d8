#ifndef MAV_TESTS_LOANS_LOAN_CATALOG_H_
#define MAV_TESTS_LOANS_LOAN_CATALOG_H_

// A fixture for the loan computations: an upgraded embedded catalog, its connection as the
// main connection of a LoanState, and short helpers for the rows the computations read.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "data/connection.h"
#include "data/record_set.h"
#include "data/value.h"
#include "loans/loan_state.h"
#include "tests/support/test_catalog.h"

namespace loans_test {

// An Amortization row; the defaults describe a monthly fixed-principal loan of 12,000 at
// 12 percent, 1,000 a month from 2081/02/01.
struct LoanRow {
  std::int32_t accode = 501;
  data::Value Loan = 12000.0;
  data::Value Interest = 12.0;
  data::Value Nop = std::int64_t{1};
  data::Value Period = 12.0;
  data::Value Tdate = "2081/01/01";
  data::Value Tfrom = "2081/02/01";
  data::Value Payment = 1000.0;
  data::Value LoanType = "Monthly";
  data::Value Fixedby = "Principal";
  data::Value Calc = "Declining";
  data::Value Swith = data::Value();
  data::Value Mi = data::Value();
};

// A Master (ledger) row.
struct LedgerRow {
  std::int32_t code = 501;
  std::string date;
  std::string status = "Loan";
  double debit = 0;
  double credit = 0;
  data::Value paid_upto = "0000/00/00";
  std::string vtype = "Journal";
};

// The catalog is made once per suite (creating the upgraded tables is slow); each test
// starts from empty tables and fresh settings.
class LoanCatalogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test_support::TempDir();
    catalog_ = new test_support::TestCatalog(dir_->path(), "MavData2081",
                                             test_support::CatalogLevel::kCurrent);
    connection_ = data::OpenConnection(catalog_->ConnectionString()).release();
  }

  static void TearDownTestSuite() {
    delete connection_;
    delete catalog_;
    delete dir_;
    connection_ = nullptr;
    catalog_ = nullptr;
    dir_ = nullptr;
  }

  void SetUp() override {
    for (const char* table : {"Master", "Acc", "Amortization", "OtherSetting", "SubLedger"}) {
      catalog().Exec(std::string("Delete From [") + table + "]");
    }
    state_.MainConnection = connection_;
    state_.settings.LPeriod = 360;
  }

  static test_support::TestCatalog& catalog() { return *catalog_; }

  void AddLoan(const LoanRow& row) {
    catalog_->Insert("Amortization", {{"Accode", std::int64_t{row.accode}},
                                      {"Loan", row.Loan},
                                      {"Interest", row.Interest},
                                      {"Nop", row.Nop},
                                      {"Period", row.Period},
                                      {"Tdate", row.Tdate},
                                      {"Tfrom", row.Tfrom},
                                      {"Payment", row.Payment},
                                      {"LoanType", row.LoanType},
                                      {"Fixedby", row.Fixedby},
                                      {"Calc", row.Calc},
                                      {"Swith", row.Swith},
                                      {"Mi", row.Mi}});
  }

  void AddLedger(const LedgerRow& row) {
    catalog_->Insert("Master", {{"CODE", std::int64_t{row.code}},
                                {"VOUCHER_NO", std::int64_t{++voucher_}},
                                {"Fyear", std::int64_t{1}},
                                {"Date", row.date},
                                {"Status", row.status},
                                {"Vtype", row.vtype},
                                {"PaidUpto", row.paid_upto},
                                {"Debit", row.debit},
                                {"Credit", row.credit},
                                {"Index_Rec", std::int64_t{voucher_}},
                                {"BillNo", "B" + std::to_string(voucher_)},
                                {"Particular", "entry"}});
  }

  void AddAccount(std::int32_t accode, const std::string& name, data::Value alias = data::Value(),
                  data::Value subcode = data::Value()) {
    catalog_->Insert("Acc", {{"ACCODE", std::int64_t{accode}},
                             {"Name", name},
                             {"Alias", std::move(alias)},
                             {"subCode", std::move(subcode)}});
  }

  static inline test_support::TempDir* dir_ = nullptr;
  static inline test_support::TestCatalog* catalog_ = nullptr;
  static inline data::Connection* connection_ = nullptr;
  loans::LoanState state_;
  int voucher_ = 0;
};

// An in-memory plan with the builders' fields, from rows of
// (date, beginning balance, principal, ending balance); interest 0.
struct PlanRow {
  const char* date;
  double beg;
  double principal;
  double end;
};

inline data::RecordSet MakePlan(std::initializer_list<PlanRow> rows) {
  data::RecordSet plan;
  plan.AppendField("SN", data::FieldType::kBigInt);
  plan.AppendField("tDate", data::FieldType::kText);
  plan.AppendField("BegBalance", data::FieldType::kDouble);
  plan.AppendField("Installment", data::FieldType::kDouble);
  plan.AppendField("Principal", data::FieldType::kDouble);
  plan.AppendField("Interest", data::FieldType::kDouble);
  plan.AppendField("EndingBalance", data::FieldType::kDouble);
  plan.Open();
  std::int64_t sn = 0;
  for (const PlanRow& r : rows) {
    plan.AddNew();
    plan.SetValue(0, data::Value(++sn));
    plan.SetValue(1, data::Value(r.date));
    plan.SetValue(2, data::Value(r.beg));
    plan.SetValue(3, data::Value(r.principal));
    plan.SetValue(4, data::Value(r.principal));
    plan.SetValue(5, data::Value(0.0));
    plan.SetValue(6, data::Value(r.end));
    plan.Update();
  }
  if (plan.RecordCount() > 0) plan.MoveFirst();
  return plan;
}

}  // namespace loans_test

#endif  // MAV_TESTS_LOANS_LOAN_CATALOG_H_
