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

#include <chrono>
#include <cmath>
#include <exception>
#include <string>
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
};

void OnTimer(void* data) {
  auto* w = static_cast<AgentWindow*>(data);
  w->form->Timer1_Timer();  // runs to its end before the toolkit sees another event
  w->db_label.SetText(w->form->LblDatbase());
  Fl::repeat_timeout(0.1, OnTimer, data);
}

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

int RunWindowed(ServiceForm& form) {
  AgentWindow w;
  w.form = &form;
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
    form.Form_Load();
  } catch (...) {
    const std::string report = StartupReport(std::current_exception());
    fl_message_title(kWindowCaption);
    fl_alert("%s", report.c_str());
    return 1;
  }
  w.window.show();
  Fl::add_timeout(0.1, OnTimer, &w);
  Fl::run();  // returns when the window has been closed
  Fl::remove_timeout(OnTimer, &w);
  form.errors().Summarise();
  return 0;
}

int RunHeadless(ServiceForm& form, std::ostream& out, std::ostream& err) {
  // The stop signals are taken synchronously by the wait between ticks, so a tick is never
  // interrupted and no handler state is needed.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  // A reader of the label lines that goes away must not end the agent.
  signal(SIGPIPE, SIG_IGN);

  try {
    form.Form_Load();
  } catch (...) {
    err << StartupReport(std::current_exception()) << std::endl;
    return 1;
  }

  // The database label as the window would show it when it appears, then each new text.
  std::string shown = form.LblDatbase();
  out << shown << std::endl;
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + std::chrono::milliseconds(100);
  for (;;) {
    // Wait for the next tick; a tick that overran starts the next one at once.
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now());
    if (wait.count() > 0) {
      timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                       static_cast<long>(wait.count() % 1000000000)};
      if (sigtimedwait(&stop, nullptr, &timeout) > 0) break;
    } else {
      timespec zero{0, 0};
      if (sigtimedwait(&stop, nullptr, &zero) > 0) break;
    }
    next = std::max(next + std::chrono::milliseconds(100), Clock::now());
    form.Timer1_Timer();
    if (form.LblDatbase() != shown) {
      shown = form.LblDatbase();
      out << shown << std::endl;
    }
  }
  form.errors().Summarise();
  return 0;
}

}  // namespace host
