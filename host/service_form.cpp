#include "host/service_form.h"

#include <cctype>
#include <chrono>
#include <ctime>
#include <exception>
#include <system_error>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "host/connector_file.h"
#include "host/database_connection.h"
#include "host/fiscal_year.h"
#include "host/ledger_fixups.h"
#include "loans/loan_settings.h"
#include "schema/agent_indexes.h"
#include "schema/schema_upgrade.h"
#include "sms/sms_service.h"

namespace host {

ServiceForm::ServiceForm(AgentState& state, std::ostream& log)
    : state_(state), log_(log), errors_(log) {}

data::Connection& ServiceForm::Main() const {
  if (!state_.MainConnection) {
    throw base::AgentError(base::kConnectionFailed,
                           "The accounting catalog is not connected (no active Settings row)");
  }
  return *state_.MainConnection;
}

void ServiceForm::Form_Load() {
  if (place_window_) place_window_();
  SetDatabase();
  state_.loans.MainConnection = state_.MainConnection.get();

  schema::UpgradeContext upgrade;
  upgrade.MainConnection = &Main();  // without an active row start-up ends here
  upgrade.OpenMasterConnection = [this] {
    return data::OpenConnection(MasterConnectionString(state_));
  };
  upgrade.MasterConnection = &state_.MasterConnection;
  upgrade.FallbackStartDate =
      calendar::TodayBs(state_.env.now ? state_.env.now() : std::chrono::system_clock::now());
  schema::RunUpgradeSteps(upgrade, 1, 3);

  CopyPrintDatabase();
  state_.CurFyear = GetCurrentFyear(Main());
  schema::RunUpgradeSteps(upgrade, 4, schema::LastUpgradeStep());
  schema::CreateAgentIndexes(Main(), log_);
  loans::LoadLoanSettings(state_.loans);
}

void ServiceForm::CopyPrintDatabase() {
  namespace fs = std::filesystem;
  const fs::path& target = state_.env.print_copy_target;
  if (target.empty()) return;
  // The program folder's copy is found whatever the letter case of its name.
  fs::path source;
  std::error_code ec;
  for (fs::directory_iterator it(state_.env.program_folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::error_code type_ec;
    if (name == "chprint.mdb" && it->is_regular_file(type_ec)) {
      source = it->path();
      break;
    }
  }
  if (source.empty()) return;
  if (fs::exists(target, ec) || ec) return;  // never overwritten
  if (!fs::copy_file(source, target, fs::copy_options::skip_existing, ec) && ec) {
    throw base::AgentError(base::kFileNotFound, "Cannot copy " + source.string() + " to " +
                                                    target.string() + ": " + ec.message());
  }
}

template <typename Work>
void ServiceForm::Trap(const char* unit, Work&& work) {
  try {
    work();
  } catch (const base::AgentError& e) {
    errors_.Record(unit, e.number(), e.description());
  } catch (const std::exception& e) {
    errors_.Record(unit, base::kDatabaseError, e.what());
  }
}

void ServiceForm::Timer1_Timer() {
  lbl_datbase_ = ">> " + state_.DbName;

  Trap("SMS", [this] {
    state_.sms.SMSCustomerID = sms::GetSMSCustomerID(Main());
    if (state_.DbConnected && CheckInternetConnection()) {
      sms::SmsContext context = MakeSmsContext();
      sms::SetSMSDatabase(context);
      sms::CheckSMS(context);
    }
  });
  Trap("loan repayment codes", [this] { FixLoanRepaymentCodes(Main(), state_.CurFyear); });
  Trap("deposit entry dates", [this] { FixDepositEntryDates(Main(), state_.CurFyear); });
}

bool ServiceForm::CheckInternetConnection() {
  try {
    return state_.env.online && state_.env.online();
  } catch (...) {
    return false;  // the online test never fails the tick: an error means offline
  }
}

void ServiceForm::SetDatabase() { host::SetDatabase(state_); }

void ServiceForm::FileInfo(const std::filesystem::path& StrFile) {
  host::FileInfo(state_, StrFile);
}

std::string ServiceForm::GetDc(std::int32_t& LngAsc) { return host::GetDc(LngAsc); }

std::int32_t ServiceForm::GeTCurYear(const std::string& StrNDate) {
  return host::GeTCurYear(Main(), StrNDate);
}

sms::SmsContext ServiceForm::MakeSmsContext() {
  sms::SmsContext c;
  c.MainConnection = &Main();
  c.DbName = state_.DbName;
  c.CurFyear = state_.CurFyear;
  c.loans = &state_.loans;
  c.sms = &state_.sms;
  c.GeTCurYear = [this](const std::string& date) { return GeTCurYear(date); };
  c.now = state_.env.now;
  // A request that fails is left pending and reported once; the pass goes on.
  c.report_error = [this](const base::AgentError& e) {
    errors_.Record("SMS request", e.number(), e.description());
  };
  return c;
}

void ServiceForm::CheckSMS() {
  sms::SmsContext context = MakeSmsContext();
  sms::CheckSMS(context);
}

}  // namespace host
