#ifndef MAV_HOST_SERVICE_WINDOW_SHARED_H_
#define MAV_HOST_SERVICE_WINDOW_SHARED_H_

// What the platform windows share (service_window.cpp draws with FLTK on X11,
// service_window_windows.cpp with Win32): the layout, colours and icon of the window, and
// the text of a start-up error.

#include <exception>
#include <string>

#include "host/app_icon.h"  // IconPixels
#include "host/service_form.h"

namespace host {

inline constexpr const char* kWindowCaption = "MAV Services";

// Label layout, in twips. The labels size themselves to their text; left and top stay.
inline constexpr int kLabel1Left = 630, kLabel1Top = 240, kLabel1Width = 3015, kLabel1Height = 270;
inline constexpr int kDbLabelLeft = 1530, kDbLabelTop = 720, kDbLabelWidth = 1215,
                     kDbLabelHeight = 180;
// Font sizes in pixels at 96 dots per inch (points × 96 / 72): 13.5 pt and 9 pt.
inline constexpr int kLabel1FontPixels = 18;
inline constexpr int kDbLabelFontPixels = 12;

struct Rgb {
  unsigned char red, green, blue;
};
inline constexpr Rgb kWindowColour{192, 192, 255};
inline constexpr Rgb kLabel1Colour{128, 128, 0};
inline constexpr Rgb kDbLabelColour{192, 64, 0};

// Twips to pixels at 96 dots per inch.
constexpr int Pixels(int twips) { return twips / kTwipsPerPixel; }

// "Error <number>: <description>" for the error that ended start-up; an exception other
// than AgentError counts as a database error.
std::string StartupReport(const std::exception_ptr& error);

}  // namespace host

#endif  // MAV_HOST_SERVICE_WINDOW_SHARED_H_
