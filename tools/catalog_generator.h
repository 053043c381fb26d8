#ifndef MAV_TOOLS_CATALOG_GENERATOR_H_
#define MAV_TOOLS_CATALOG_GENERATOR_H_

#include <cstdint>
#include <filesystem>
#include <string>

namespace tools {

// Generated accounting catalogs (embedded SQLite files) for the demo and the benchmarks,
// with the accounting application's own tables as they are before the agent's schema
// upgrade, and the files that go beside the agent (settings file, SMS outbox).

// Fiscal years written by the generators: five years, each from month 4 day 1 to the last
// day of month 3, the year in use (SN 4, [Using]=1) containing `today_bs`.
struct FiscalYears {
  std::int32_t current_sn = 4;
  std::string current_from, current_to;    // BS dates of the year in use
  std::string previous_from, previous_to;  // the year before it (SN 3)
};
FiscalYears FiscalYearsAround(const std::string& today_bs);

// Writes (replacing) the settings file "mavdata.cdf" of the program folder `folder`: one
// active Settings row naming the embedded catalog `catalog` in the directory `server`
// (absolute). Columns as the accounting application's settings file has them.
void WriteSettingsFile(const std::filesystem::path& folder, const std::filesystem::path& server,
                       const std::string& catalog);

// Writes (replacing) an empty SIM gateway outbox (table Send) at `file`.
void WriteSmsOutbox(const std::filesystem::path& file);

// Writes (replacing) an empty database of gammu-smsd at `file`: its tables of version 17
// (gammu, inbox, outbox, outbox_multipart, sentitems, phones) as gammu-smsd 1.42 creates them
// on SQLite, in write-ahead-log mode so that the daemon's reads never wait for the agent.
void WriteGammuOutbox(const std::filesystem::path& file);

// Creates (replacing) the catalog file `file` with the application's tables before the
// upgrade: Ledger, SubLedger, Acc, Master (with eDate; without iDate, dTime, Acode,
// MasterCode), MasterAc, OtherSetting (p1..p3), SavingSetting, Amortization, AmDetails,
// LocalGroup, VDC, Tole, LoanDemandForm, VRemarks, Company, YearSetting; and the SMS
// request tables SMSDatabase, LoanSMS, SMSService, LoanStatement as the upgrade creates them.
// Text columns compare without regard to case, as the embedded driver creates them. The only
// indexes are the keys and codes of an accounting database: Master(CODE),
// Master(VOUCHER_NO,Fyear), unique Master(Index_Rec), unique Acc(ACCODE),
// Amortization(Accode), SubLedger(SubCODE), LoanStatement(SN), SMSService(SN).
void CreateApplicationCatalog(const std::filesystem::path& file);

// The demo's sample cooperative, written into a catalog made by CreateApplicationCatalog:
// ledgers, members and accounts, loans with their schedules and ledger rows, deposit
// vouchers, rows of the previous fiscal year, transfer rows without a BS date, the SIM
// gateway settings row naming `outbox`, and pending SMS requests of all three kinds.
// `today_ad` is today's AD date "yyyy/mm/dd", `today_bs` its BS date.
void FillDemoCatalog(const std::filesystem::path& file, const std::filesystem::path& outbox,
                     const std::string& today_ad, const std::string& today_bs);

// A large catalog for benchmarks, with the tables and keys of CreateApplicationCatalog:
// `loans` loans and about `ledger_rows` Master rows in the fiscal year in use, made with
// Master already carrying iDate, dTime, Acode and MasterCode, all filled, so that nothing
// needs repair. Loan codes are 100000 + i for i in [0, loans); every tenth loan (i % 10 == 9)
// was never repaid, so its interest paid-up-to date comes from the interest-income account's
// ledger, which holds about 38% of the rows (interest-only receipts between repayments).
// Deposit accounts are 500000 + i.
struct LargeCatalog {
  int loans = 10000;
  std::int64_t ledger_rows = 1000000;
};
void WriteLargeCatalog(const std::filesystem::path& file, const LargeCatalog& size,
                       const std::string& today_bs);

// Adds `vouchers` loan repayment vouchers (3 rows each, Acode Null) and `vouchers` deposit
// vouchers (2 rows each, iDate Null) in the year in use, for the repair passes to work off.
// Voucher numbers start at `first_voucher`.
void AddRepairBacklog(const std::filesystem::path& file, int vouchers, std::int64_t first_voucher,
                      const std::string& today_bs);

// Years of history in a large catalog (one made by WriteLargeCatalog, with its loan codes):
// - `unrepairable_vouchers` interest-only receipts of the year in use whose vouchers have no
//   loan-ledger row: a cash row and an interest-income row, both "LoanR" without Acode, which
//   no repair can ever complete (2 rows each; voucher numbers from `first_voucher` on);
// - `answered_sim` SIM requests (LoanSMS, SN 1 on) answered: Reply 1, their reply in [Send];
// - `answered_statements` loan statement requests (LoanStatement, SN 1 on) answered, with
//   their Message_Reply.
// The requests name the loans in turn, dated over the years before `today_bs`.
struct History {
  int unrepairable_vouchers = 50000;
  std::int64_t answered_sim = 1000000;
  std::int64_t answered_statements = 500000;
};
void AddHistory(const std::filesystem::path& file, const History& history, int loans,
                std::int64_t first_voucher, const std::string& today_bs);

}  // namespace tools

#endif  // MAV_TOOLS_CATALOG_GENERATOR_H_
