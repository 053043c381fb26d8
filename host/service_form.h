#ifndef MAV_HOST_SERVICE_FORM_H_
#define MAV_HOST_SERVICE_FORM_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "data/reconnecting_connection.h"
#include "host/agent_state.h"
#include "host/tick_error_log.h"

namespace host {

// Window size in twips (1/1440 inch; 15 twips are one pixel at 96 dots per inch).
inline constexpr int kFormWidthTwips = 4365;
inline constexpr int kFormHeightTwips = 1200;
inline constexpr int kTwipsPerPixel = 15;

// Text of the window's main label; it never changes.
inline constexpr const char* kRunningLabel = "RUNNING MAV SERVICES";

// Initial text of the database label, shown until the first tick.
inline constexpr const char* kInitialDatabaseLabel = ">>Database";

// How long one tick works before it leaves the rest of its work to the next tick, so that a
// backlog never keeps the agent from its window or from a stop signal.
inline constexpr std::chrono::milliseconds kTickBudget{200};

// The agent's one window: start-up, the 100 ms tick, and the form-level operations. It
// works on the program's state object and knows nothing of the window toolkit; the window
// (or the headless loop) calls Form_Load once and Timer1_Timer on every tick, and shows
// LblDatbase().
class ServiceForm {
 public:
  // `log` receives the tick's trapped errors and the indexes that start-up could not create.
  ServiceForm(AgentState& state, std::ostream& log);

  // Places the window (step 1 of start-up); set by the window before Form_Load.
  void set_place_window(std::function<void()> place) { place_window_ = std::move(place); }

  // Asked between the rows of a tick: true once the agent is to stop, and the tick then
  // returns at once. Set by the headless loop.
  void set_stop_requested(std::function<bool()> stop) { stop_requested_ = std::move(stop); }

  // Start-up: place the window, SetDatabase, upgrade steps 1-3, print database copy,
  // CurFyear, upgrade steps 4-last, the agent's indexes, loan settings. Throws AgentError on
  // the first failure; an index that cannot be created is only logged. The accounting
  // catalog's connection (and the Master catalog's) is then reopened by itself after it was
  // lost (data::ReconnectingConnection); losses go to the log once.
  void Form_Load();

  // Form_Load, waiting out what waiting mends (base::WaitingMends: a lock another program
  // holds, a database out of reach, a busy server): such a failure is logged once, the label
  // says that start-up waits and why, and the next call tries again once the delay has passed
  // (1 s, doubling up to 1 min). Returns true once started, false while it waits. Throws
  // the errors that waiting cannot mend (no settings file, no active Settings row, a
  // rejected login, a statement refused).
  bool TryStart();

  // The agent's end: lets go of the work it holds, so that a standby agent takes it at once.
  void Finish();

  // One tick: the label, then the round of work of one long tick (customer number, gateway
  // settings and the SMS pass when connected and online; repair pass 1; repair pass 2),
  // each part going on where the last tick left it, until kTickBudget has passed or a stop
  // is requested. Before that, a replaced catalog file is reopened and, when the BS date
  // changed, the fiscal year in use is read again (a change is logged). Traps every error:
  // the SMS work, pass 1 and pass 2 are trapped each on its own, so a failure of one never
  // keeps the others from running; a lost connection was logged by the connection.
  void Timer1_Timer();

  // Online test through state.env.online; false on any error.
  bool CheckInternetConnection();

  void SetDatabase();
  void FileInfo(const std::filesystem::path& StrFile);
  std::string GetDc(std::int32_t& LngAsc);
  std::int32_t GeTCurYear(const std::string& StrNDate);
  void CheckSMS();

  const std::string& LblDatbase() const { return lbl_datbase_; }
  TickErrorLog& errors() { return errors_; }

 private:
  data::Connection& Main() const;
  sms::SmsContext MakeSmsContext(std::function<bool()> out_of_time);
  std::unique_ptr<data::ReconnectingConnection> Reconnecting(
      std::unique_ptr<data::Connection> connection, std::function<std::string()> connection_string);
  void CopyPrintDatabase();
  void RefreshFiscalYear();
  std::string RoleText() const;
  std::chrono::steady_clock::time_point Clock() const;
  std::chrono::system_clock::time_point Now() const;
  template <typename Work>
  void Trap(const char* unit, Work&& work);

  AgentState& state_;
  std::ostream& log_;
  TickErrorLog errors_;
  std::function<void()> place_window_;
  std::function<bool()> stop_requested_;
  data::ReconnectingConnection* main_ = nullptr;  // state_.MainConnection once started
  std::string lbl_datbase_ = kInitialDatabaseLabel;
  base::Backoff start_retry_ = base::ConnectionBackoff();
  std::string start_waits_for_;  // the error start-up last waited for, as logged
  // When an agent without work last looked whether it may take the SIM work.
  std::chrono::steady_clock::time_point outbox_checked_{};
  std::string role_logged_;  // the role line last written to the log
};

}  // namespace host

#endif  // MAV_HOST_SERVICE_FORM_H_
