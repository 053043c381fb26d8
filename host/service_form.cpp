#include "host/service_form.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <random>
#include <system_error>

#include "base/agent_error.h"
#include "calendar/bs_date.h"
#include "host/connector_file.h"
#include "host/database_connection.h"
#include "host/fiscal_year.h"
#include "host/ledger_fixups.h"
#include "loans/loan_settings.h"
#include "schema/agent_indexes.h"
#include "schema/agent_tables.h"
#include "schema/schema_upgrade.h"
#include "sms/sms_service.h"

namespace host {

ServiceForm::ServiceForm(AgentState& state, std::ostream& log)
    : state_(state), log_(log), errors_(log) {}

data::Connection& ServiceForm::Main() const {
  if (!state_.MainConnection) {
    throw base::AgentError(base::kNotConfigured,
                           "The accounting catalog is not connected (no active Settings row)");
  }
  return *state_.MainConnection;
}

std::chrono::steady_clock::time_point ServiceForm::Clock() const {
  return state_.env.clock ? state_.env.clock() : std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point ServiceForm::Now() const {
  return state_.env.now ? state_.env.now() : std::chrono::system_clock::now();
}

std::unique_ptr<data::ReconnectingConnection> ServiceForm::Reconnecting(
    std::unique_ptr<data::Connection> connection, std::function<std::string()> connection_string) {
  return std::make_unique<data::ReconnectingConnection>(
      std::move(connection),
      [connection_string] { return data::OpenConnection(connection_string()); }, state_.env.clock,
      [this](const std::string& line) { errors_.Note(line); });
}

void ServiceForm::Form_Load() {
  if (place_window_) place_window_();
  SetDatabase();
  if (state_.MainConnection) {
    auto main = Reconnecting(std::move(state_.MainConnection),
                             [this] { return MainConnectionString(state_); });
    main_ = main.get();
    state_.MainConnection = std::move(main);
  }
  state_.loans.MainConnection = state_.MainConnection.get();

  schema::UpgradeContext upgrade;
  upgrade.MainConnection = &Main();  // without an active row start-up ends here
  upgrade.OpenMasterConnection = [this]() -> std::unique_ptr<data::Connection> {
    return Reconnecting(data::OpenConnection(MasterConnectionString(state_)),
                        [this] { return MasterConnectionString(state_); });
  };
  upgrade.MasterConnection = &state_.MasterConnection;
  upgrade.FallbackStartDate = calendar::TodayBs(Now());
  schema::RunUpgradeSteps(upgrade, 1, 3);

  CopyPrintDatabase();
  state_.CurFyearDate = calendar::TodayBs(Now());
  state_.CurFyear = GetCurrentFyear(Main());
  schema::RunUpgradeSteps(upgrade, 4, schema::LastUpgradeStep());
  schema::CreateAgentTables(Main());
  schema::CreateAgentIndexes(Main(), log_);
  loans::LoadLoanSettings(state_.loans);

  AgentIdentity me;
  me.host = state_.env.host_name;
  me.pid = state_.env.process_id;
  std::random_device random;
  char nonce[9];
  std::snprintf(nonce, sizeof nonce, "%08x", static_cast<unsigned>(random()));
  me.token = me.host + "/" + std::to_string(me.pid) + "/" + nonce;
  state_.catalog_lease = std::make_unique<AgentLease>("Catalog", me, state_.env.process_alive);
  state_.sim_lease = std::make_unique<AgentLease>("SIM", me, state_.env.process_alive);
}

bool ServiceForm::TryStart() {
  const auto now = Clock();
  if (!start_retry_.Ready(now)) return false;
  try {
    Form_Load();
  } catch (const base::AgentError& e) {
    if (!base::WaitingMends(e.number())) throw;
    start_retry_.Failed(now);
    const auto wait =
        std::chrono::duration_cast<std::chrono::seconds>(start_retry_.next_attempt() - now);
    if (e.Report() != start_waits_for_) {
      errors_.Note("Start-up waits: " + e.Report());
      start_waits_for_ = e.Report();
    }
    lbl_datbase_ =
        ">>Waiting for the database (" +
        std::string(e.number() == base::kDatabaseBusy ? "locked or busy" : "out of reach") +
        "), next try in " + std::to_string(wait.count()) + " s";
    return false;
  }
  if (!start_waits_for_.empty()) errors_.Note("Start-up done after waiting");
  start_retry_.Succeeded();
  lbl_datbase_ = kInitialDatabaseLabel;
  return true;
}

void ServiceForm::Finish() {
  if (state_.MainConnection == nullptr) return;
  for (AgentLease* lease : {state_.catalog_lease.get(), state_.sim_lease.get()}) {
    if (lease != nullptr) lease->Release(*state_.MainConnection);
  }
}

std::string ServiceForm::RoleText() const {
  const AgentLease* catalog = state_.catalog_lease.get();
  const AgentLease* sim = state_.sim_lease.get();
  if (catalog == nullptr || sim == nullptr) return "";
  const auto who = [](const AgentLease& lease) {
    if (lease.holder_token().empty()) return std::string("nobody");
    return lease.holder_host() + ", process " + std::to_string(lease.holder_pid());
  };
  if (catalog->held()) {
    if (sim->held() || sim->holder_token().empty()) return "";
    return "SIM replies by " + who(*sim);
  }
  return "standby for " + who(*catalog) + (sim->held() ? "; SIM replies here" : "");
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
    // A lost connection wrote its loss to the log once; its failures until it is back
    // would only repeat it.
    if (!base::IsConnectionError(e.number())) errors_.Record(unit, e.number(), e.description());
  } catch (const std::exception& e) {
    errors_.Record(unit, base::kDatabaseError, e.what());
  }
}

void ServiceForm::RefreshFiscalYear() {
  const std::string today = calendar::TodayBs(Now());
  if (today == state_.CurFyearDate) return;
  // The accounting application switches the year in use at the year's end; the day it is
  // read on is kept only once the read worked, so a failed read is tried on the next tick.
  const std::int32_t year = GetCurrentFyear(Main());
  state_.CurFyearDate = today;
  if (year == state_.CurFyear) return;
  errors_.Note("Fiscal year in use: " + std::to_string(year) + " (was " +
               std::to_string(state_.CurFyear) + ")");
  state_.CurFyear = year;
}

void ServiceForm::Timer1_Timer() {
  const auto tick_start = Clock();  // the leases' time for the whole tick
  const auto deadline = tick_start + kTickBudget;
  const std::function<bool()> out_of_time = [this, deadline] {
    return (stop_requested_ && stop_requested_()) || Clock() >= deadline;
  };
  if (main_ != nullptr) main_->ReopenIfReplaced();
  Trap("fiscal year", [this] { RefreshFiscalYear(); });

  // Several agents on one catalog (agent_lease.h): an agent does only the work it holds.
  // The SIM work follows the outbox, which the SMS step opens, so an agent that holds no
  // work at all runs that step once a second to see whether it may take the SIM work.
  const bool coordinated = state_.catalog_lease && state_.sim_lease;
  if (coordinated) {
    const bool had_catalog = state_.catalog_lease->held();
    Trap("roles", [&] {
      state_.catalog_lease->Refresh(Main(), tick_start, true);
      if (state_.sim_lease->held()) {
        state_.sim_lease->Refresh(Main(), tick_start, state_.sms.SMSLocalReady);
      }
    });
    if (state_.catalog_lease->held() != had_catalog) state_.round = TickRound();
  }
  const bool catalog_work = !coordinated || state_.catalog_lease->held();
  bool sms_step = catalog_work && state_.round.step == TickRound::Step::kSms;
  if (!catalog_work) {
    sms_step = state_.sim_lease->held() || tick_start - outbox_checked_ >= kStandbyCheckInterval;
    if (sms_step) outbox_checked_ = tick_start;
  }

  // Each part returns false when the budget ran out first: the tick ends there, and the
  // next one goes on with that part.
  TickRound& round = state_.round;
  bool sms_done = true;
  if (sms_step) {
    Trap("SMS", [&] {
      state_.sms.SMSCustomerID = sms::GetSMSCustomerID(Main());
      if (state_.DbConnected && CheckInternetConnection()) {
        sms::SmsContext context = MakeSmsContext(out_of_time);
        sms::SetSMSDatabase(context);
        if (coordinated) {
          state_.sim_lease->Refresh(Main(), tick_start, state_.sms.SMSLocalReady);
          context.work.sim = state_.sim_lease->held();
        }
        if (context.work.sim || context.work.catalog) sms_done = sms::CheckSMS(context);
      } else {
        state_.sms.pass = sms::SmsPass();  // offline: a new pass begins once back online
      }
    });
  }

  const std::string role = RoleText();
  lbl_datbase_ = ">> " + state_.DbName + (role.empty() ? "" : " (" + role + ")");
  // An agent alone never writes a role line; one beside others says what it does.
  if (role != role_logged_) {
    errors_.Note(state_.DbName + ": " + (role.empty() ? "this agent works" : role));
    role_logged_ = role;
  }
  if (!catalog_work || !sms_done) return;
  if (round.step == TickRound::Step::kSms) round.step = TickRound::Step::kLoanRepaymentCodes;
  if (round.step == TickRound::Step::kLoanRepaymentCodes) {
    bool done = true;
    Trap("loan repayment codes",
         [&] { done = FixLoanRepaymentCodes(Main(), state_.CurFyear, round.batch, out_of_time); });
    if (!done) return;
    round.step = TickRound::Step::kDepositEntryDates;
  }
  bool done = true;
  Trap("deposit entry dates",
       [&] { done = FixDepositEntryDates(Main(), state_.CurFyear, round.batch, out_of_time); });
  if (done) round.step = TickRound::Step::kSms;
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

sms::SmsContext ServiceForm::MakeSmsContext(std::function<bool()> out_of_time) {
  sms::SmsContext c;
  c.MainConnection = &Main();
  c.DbName = state_.DbName;
  c.program_folder = state_.env.program_folder;
  c.CurFyear = state_.CurFyear;
  c.loans = &state_.loans;
  c.sms = &state_.sms;
  c.GeTCurYear = [this](const std::string& date) { return GeTCurYear(date); };
  c.now = state_.env.now;
  c.clock = state_.env.clock;
  c.out_of_time = std::move(out_of_time);
  c.notice = [this](const std::string& line) { errors_.Note(line); };
  // A request that fails is left pending and reported once; the pass goes on.
  c.report_error = [this](const base::AgentError& e) {
    errors_.Record("SMS request", e.number(), e.description());
  };
  if (state_.catalog_lease && state_.sim_lease) {
    c.work.catalog = state_.catalog_lease->held();
    c.work.sim = state_.sim_lease->held();
    c.work.holder = state_.catalog_lease->token();
    c.work.catalog_fence = state_.catalog_lease->Fence();
    c.work.sim_fence = state_.sim_lease->Fence();
  }
  return c;
}

void ServiceForm::CheckSMS() {
  sms::SmsContext context = MakeSmsContext(nullptr);
  sms::CheckSMS(context);
}

}  // namespace host
