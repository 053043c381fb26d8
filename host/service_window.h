#ifndef MAV_HOST_SERVICE_WINDOW_H_
#define MAV_HOST_SERVICE_WINDOW_H_

#include <ostream>

#include "host/service_form.h"
#include "host/supervision.h"

namespace host {

// Position of the window's outer top-left corner, in twips.
struct WindowPlacement {
  float left;
  float top;
};

// The lower right corner of the screen: 130 twips to the right edge and 660 twips above
// the bottom edge, for the task bar. Sizes are in twips, the window's its outer size;
// single-precision arithmetic.
WindowPlacement LowerRightPlacement(float screen_width, float screen_height, float window_width,
                                    float window_height);

// True when a window can be shown. On X11: when a display can be opened; the window toolkit
// then uses that connection. Asked before the toolkit starts, because the toolkit ends the
// process when it finds none. On Windows: when the process runs on an interactive desktop
// (not as a service).
bool DisplayAvailable();

// Runs the agent with its window: start-up (an error is shown in a message box and written
// to the form's log), then the window appears and the 100 ms timer ticks until the window is
// closed. `supervision` hears of the end of start-up, of every tick and of the end. Returns
// the exit status: 0 after the window closed, 1 when start-up failed.
int RunWindowed(ServiceForm& form, Supervision& supervision);

// Runs the agent without a window: the same start-up (an error is written to `err` as
// "Error <number>: <description>") and ticks every 100 ms. When start-up has finished, the
// database label's text is written to `out` (">>Database" before the first tick), then
// again whenever it changes. SIGINT and SIGTERM end it (on Windows: Ctrl-C, Ctrl-Break and
// the console closing) within a second, in the middle of a backlog too: the tick stops
// before its next row, and on POSIX systems a database call that does not return is cut
// short by ending the process. `supervision` hears of the end of start-up, of every tick
// and of the end. Returns the exit status: 0 after a signal, 1 when start-up failed.
int RunHeadless(ServiceForm& form, Supervision& supervision, std::ostream& out, std::ostream& err);

}  // namespace host

#endif  // MAV_HOST_SERVICE_WINDOW_H_
