// Cost of rewriting the agent's statements for SQLite: every statement on an embedded
// catalog passes through RewriteForSqlite once, before SQLite compiles it.

#include <benchmark/benchmark.h>

#include <string>

#include "data/sql_dialect.h"

namespace {

void Rewrite(benchmark::State& state, const std::string& sql) {
  for (auto _ : state) {
    std::string out = data::RewriteForSqlite(sql);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(sql.size()));
}

// A query with nothing to rewrite (the loan lookups).
void BM_RewriteUnchangedLookup(benchmark::State& state) {
  Rewrite(state, "Select * from Amortization where Accode=101");
}
BENCHMARK(BM_RewriteUnchangedLookup);

// The ledger repair query run on every tick: TOP with joins, GROUP BY and ORDER BY.
void BM_RewriteTopQuery(benchmark::State& state) {
  Rewrite(state,
          "Select top 100 Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO,Master.Fyear from Ledger Inner "
          "Join SubLedger on Ledger.LCODE=SubLedger.LCODE Inner Join Acc on "
          "SubLedger.SubCODE=Acc.subCode Inner Join Master on Acc.ACCODE=Master.CODE Where "
          "Ledger.NAME='Loan Issued Ledger' and Master.Status='LoanR' and Master.Fyear=3 and "
          "Acode is null Group by Acc.ACCODE ,Acc.Mid ,Master.VOUCHER_NO ,Master.Fyear Order by "
          "Master.Fyear,Master.VOUCHER_NO");
}
BENCHMARK(BM_RewriteTopQuery);

// The table probe of the schema upgrade.
void BM_RewriteTableProbe(benchmark::State& state) {
  Rewrite(state, "Select * from Information_Schema.tables Where [Table_Name]='LoanStatement'");
}
BENCHMARK(BM_RewriteTableProbe);

// The account-name match with "+" concatenation.
void BM_RewriteConcatenation(benchmark::State& state) {
  Rewrite(state, "Select Accode from [Acc] Where ([Name] + ' ƒ '+ [Alias])='Ram ƒ R1'");
}
BENCHMARK(BM_RewriteConcatenation);

// The largest ALTER of the upgrade: 29 columns, split into 29 statements.
void BM_RewriteAddOf29Columns(benchmark::State& state) {
  Rewrite(state,
          "Alter Table OtherSetting Add Basis Varchar(20),SomSys Bit,AD1 Float,AD2 Float,AD3 "
          "Float,Dr1 Float,Dr2 Float,Dr3 Float,IR1 Float,IR2 Float,IR3 Float,PLGrace Float,Ag1 "
          "Float,Ag2 Float,Ag3 Float,Lperiod Int,DPeriod Int,MI1 Float,MI2 Float,MI3 "
          "Float,MIGrace Float,MiStatus Varchar(12),AdvLoanC Bit,MonthlyDue Bit,InsDue "
          "Bit,MinDeposit Bit,DepPercent Float,OnIns Bit,PLOn Int,SubCode Int");
}
BENCHMARK(BM_RewriteAddOf29Columns);

}  // namespace

BENCHMARK_MAIN();
