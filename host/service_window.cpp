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

#include "base/agent_error.h"

namespace host {
namespace {

// Window and label layout, in twips.
constexpr int kLabel1Left = 630, kLabel1Top = 240, kLabel1Width = 3015, kLabel1Height = 270;
constexpr int kDbLabelLeft = 1530, kDbLabelTop = 720, kDbLabelWidth = 1215, kDbLabelHeight = 180;
// Font sizes in pixels at 96 dots per inch (points × 96 / 72): 13.5 pt and 9 pt.
constexpr int kLabel1FontPixels = 18;
constexpr int kDbLabelFontPixels = 12;

constexpr int Pixels(int twips) { return twips / kTwipsPerPixel; }

// The application icon: a blue disc with a white speech bubble, `size` pixels square,
// RGBA rows top to bottom.
std::vector<unsigned char> IconPixels(int size) {
  std::vector<unsigned char> rgba(static_cast<std::size_t>(size) * size * 4, 0);
  const float c = (size - 1) / 2.0f;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      unsigned char* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
      const float dx = x - c, dy = y - c;
      if (dx * dx + dy * dy > c * c + 0.5f) continue;  // transparent outside the disc
      // Bubble: a box over the middle of the disc, with a small tail under its left half.
      const float u = x / static_cast<float>(size), v = y / static_cast<float>(size);
      const bool bubble =
          (u > 0.22f && u < 0.78f && v > 0.28f && v < 0.62f) ||
          (u > 0.32f && u < 0.44f && v >= 0.62f && v < 0.74f && u - 0.32f < 0.74f - v);
      p[0] = bubble ? 255 : 64;
      p[1] = bubble ? 255 : 64;
      p[2] = bubble ? 255 : 160;
      p[3] = 255;
    }
  }
  return rgba;
}

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
      : window(Pixels(kFormWidthTwips), Pixels(kFormHeightTwips), "MAV Services"),
        label1(Pixels(kLabel1Left), Pixels(kLabel1Top), Pixels(kLabel1Width), Pixels(kLabel1Height),
               kRunningLabel, kLabel1FontPixels, fl_rgb_color(128, 128, 0)),
        db_label(Pixels(kDbLabelLeft), Pixels(kDbLabelTop), Pixels(kDbLabelWidth),
                 Pixels(kDbLabelHeight), kInitialDatabaseLabel, kDbLabelFontPixels,
                 fl_rgb_color(192, 64, 0)),
        icon16(IconPixels(16)),
        icon32(IconPixels(32)) {
    window.end();
    window.color(fl_rgb_color(192, 192, 255));
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

std::string StartupReport(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const base::AgentError& e) {
    return e.Report();
  } catch (const std::exception& e) {
    return base::AgentError(base::kDatabaseError, e.what()).Report();
  }
}

}  // namespace

WindowPlacement LowerRightPlacement(float screen_width, float screen_height, float window_width,
                                    float window_height) {
  return {screen_width - window_width - 130.0f, screen_height - window_height - 660.0f};
}

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
    fl_message_title("MAV Services");
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
