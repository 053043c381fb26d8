#include "host/service_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/service_window_shared.h"

namespace host {
namespace {

Fl_Color Colour(Rgb rgb) { return fl_rgb_color(rgb.red, rgb.green, rgb.blue); }

// A label that sizes itself to its text (left and top stay) and draws no background.
class AutoSizeLabel : public Fl_Box {
 public:
  AutoSizeLabel(int x, int y, int w, int h, const char* text, int font_size, Fl_Color color)
      : Fl_Box(FL_NO_BOX, x, y, w, h, nullptr) {
    labelfont(FL_COURIER);
    labelsize(font_size);
    labelcolor(color);
    align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
    SetText(text);
  }

  void SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    copy_label(text_.c_str());
    int w = 0, h = 0;
    fl_font(labelfont(), labelsize());
    fl_measure(text_.c_str(), w, h, 0);
    size(w > 0 ? w : 1, h > 0 ? h : labelsize());
    if (window() != nullptr) window()->redraw();  // the old text's area shows the window
  }

 private:
  std::string text_;
};

struct AgentWindow {
  AgentWindow()
      : window(Pixels(kFormWidthTwips), Pixels(kFormHeightTwips), kWindowCaption),
        label1(Pixels(kLabel1Left), Pixels(kLabel1Top), Pixels(kLabel1Width), Pixels(kLabel1Height),
               kRunningLabel, kLabel1FontPixels, Colour(kLabel1Colour)),
        db_label(Pixels(kDbLabelLeft), Pixels(kDbLabelTop), Pixels(kDbLabelWidth),
                 Pixels(kDbLabelHeight), kInitialDatabaseLabel, kDbLabelFontPixels,
                 Colour(kDbLabelColour)),
        icon16(IconPixels(16)),
        icon32(IconPixels(32)) {
    window.end();
    window.color(Colour(kWindowColour));
    const Fl_RGB_Image small(icon16.data(), 16, 16, 4);
    const Fl_RGB_Image big(icon32.data(), 32, 32, 4);
    const Fl_RGB_Image* images[] = {&big, &small};
    window.icons(images, 2);  // copied by the window
  }

  Fl_Double_Window window;
  AutoSizeLabel label1;
  AutoSizeLabel db_label;
  std::vector<unsigned char> icon16, icon32;
  ServiceForm* form = nullptr;
  bool started = false;  // start-up is done (it may have to wait for the database)
  int status = 0;        // the exit status
  Supervision* supervision = nullptr;
};

void OnTimer(void* data) {
  auto* w = static_cast<AgentWindow*>(data);
  if (w->started) {
    w->form->Timer1_Timer();  // runs to its end before the toolkit sees another event
    w->supervision->Ticked(w->form->LblDatbase());
  } else {
    try {
      w->started = w->form->TryStart();
    } catch (...) {
      const std::string report = StartupReport(std::current_exception());
      w->form->errors().Note(report);  // the log keeps it too
      fl_message_title(kWindowCaption);
      fl_alert("%s", report.c_str());
      w->status = 1;
      w->window.hide();  // the run ends with the window
      return;
    }
    if (w->started) w->supervision->Started(w->form->LblDatbase());
  }
  w->db_label.SetText(w->form->LblDatbase());
  Fl::repeat_timeout(0.1, OnTimer, data);
}

// How long a stop signal waits for the agent to end by itself before the process ends at
// once. A tick stops before its next row; only a call that does not return (a statement
// waiting for another program's lock, a server that does not answer) takes this long.
constexpr std::chrono::milliseconds kStopGrace{700};

// Takes SIGINT and SIGTERM on a thread of its own, so that a stop is seen while start-up or
// a tick is busy. The signals must be blocked in every thread (the caller blocks them before
// this starts). Ending the process in the middle of a tick is safe: every write of the
// agent is one statement or one transaction, and the SMS queue survives a kill at any point.
class StopWatch {
 public:
  explicit StopWatch(const sigset_t& signals) : signals_(signals), thread_([this] { Run(); }) {}
  ~StopWatch() { Finish(); }

  bool requested() const { return requested_.load(); }

  // Waits until `when`, or less when a stop comes first. True when a stop was requested.
  bool WaitUntil(std::chrono::steady_clock::time_point when) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_until(lock, when, [this] { return requested_.load(); });
  }

  // The agent has ended by itself: the thread returns.
  void Finish() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    changed_.notify_all();
    // Wakes sigwait when no signal came (a signal sent to this thread, blocked, is taken by
    // sigwait; one that comes after the thread returned dies with it).
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
  }

 private:
  void Run() {
    int signal = 0;
    sigwait(&signals_, &signal);
    std::unique_lock<std::mutex> lock(mutex_);
    if (finished_) return;
    requested_ = true;
    changed_.notify_all();
    if (changed_.wait_for(lock, kStopGrace, [this] { return finished_; })) return;
    static constexpr char kLine[] = "Stopped while a database call was still running\n";
    (void)!write(STDERR_FILENO, kLine, sizeof kLine - 1);
    _exit(0);
  }

  sigset_t signals_;
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace

bool DisplayAvailable() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  // The toolkit keeps this connection instead of opening its own later. An X server resets
  // when its last client leaves, and refuses connections while it does: on a display with no
  // other client (one that has just started) closing here and reopening would fail at random.
  fl_open_display(display);
  return true;
}

int RunWindowed(ServiceForm& form, Supervision& supervision) {
  AgentWindow w;
  w.form = &form;
  w.supervision = &supervision;
  form.set_place_window([&w] {
    int sx = 0, sy = 0, sw = 0, sh = 0;
    Fl::screen_xywh(sx, sy, sw, sh, 0);
    const WindowPlacement p = LowerRightPlacement(
        static_cast<float>(sw * kTwipsPerPixel), static_cast<float>(sh * kTwipsPerPixel),
        static_cast<float>(w.window.w() * kTwipsPerPixel),
        static_cast<float>(w.window.h() * kTwipsPerPixel));
    w.window.position(sx + static_cast<int>(p.left / kTwipsPerPixel),
                      sy + static_cast<int>(p.top / kTwipsPerPixel));
  });
  try {
    w.started = form.TryStart();  // when it must wait, the window shows why meanwhile
  } catch (...) {
    const std::string report = StartupReport(std::current_exception());
    form.errors().Note(report);  // the log keeps it too
    fl_message_title(kWindowCaption);
    fl_alert("%s", report.c_str());
    return 1;
  }
  w.db_label.SetText(form.LblDatbase());
  if (w.started) supervision.Started(form.LblDatbase());
  w.window.show();
  Fl::add_timeout(0.1, OnTimer, &w);
  Fl::run();  // returns when the window has been closed
  Fl::remove_timeout(OnTimer, &w);
  if (w.started) form.Finish();
  form.errors().Summarise();
  supervision.Stopping();
  return w.status;
}

int RunHeadless(ServiceForm& form, Supervision& supervision, std::ostream& out, std::ostream& err) {
  // The stop signals are taken by a thread of their own (StopWatch): the tick asks for them
  // between its rows and the wait between ticks ends on them. They are blocked before any
  // thread starts, so that no thread is interrupted by them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  // A reader of the label lines that goes away must not end the agent.
  signal(SIGPIPE, SIG_IGN);
  StopWatch watch(stop);
  form.set_stop_requested([&watch] { return watch.requested(); });

  using Clock = std::chrono::steady_clock;
  // Start-up, which waits as long as the database is locked or out of reach; the label
  // says so meanwhile.
  std::string shown;
  for (;;) {
    try {
      if (form.TryStart()) break;
    } catch (...) {
      err << StartupReport(std::current_exception()) << std::endl;
      return 1;
    }
    if (form.LblDatbase() != shown) {
      shown = form.LblDatbase();
      out << shown << std::endl;
    }
    if (watch.WaitUntil(Clock::now() + std::chrono::milliseconds(100))) {
      form.errors().Summarise();
      watch.Finish();
      return 0;
    }
  }

  // The database label as the window would show it when it appears, then each new text.
  shown = form.LblDatbase();
  out << shown << std::endl;
  supervision.Started(shown);
  auto next = Clock::now() + std::chrono::milliseconds(100);
  for (;;) {
    // Wait for the next tick; a tick that overran starts the next one at once.
    if (watch.WaitUntil(next)) break;
    next = std::max(next + std::chrono::milliseconds(100), Clock::now());
    form.Timer1_Timer();
    supervision.Ticked(form.LblDatbase());
    if (form.LblDatbase() != shown) {
      shown = form.LblDatbase();
      out << shown << std::endl;
    }
  }
  form.Finish();
  form.errors().Summarise();
  supervision.Stopping();
  watch.Finish();
  return 0;
}

}  // namespace host
