// The agent's window on Windows: a native Win32 window with the look of the FLTK window
// (service_window.cpp), its 100 ms timer, and the console loop of the headless switch.
//
// Everything runs on the thread that created the window. The tick runs inside WM_TIMER and
// never lets the window process messages, so ticks never overlap; a tick that overruns
// delays the next WM_TIMER (Windows does not queue timer messages up).

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "host/service_window.h"
#include "host/service_window_shared.h"

namespace host {
namespace {

constexpr const wchar_t* kWindowClass = L"MavServicesWindow";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTickMs = 100;
// A fixed-size window with a caption, a system menu and a minimise button: it takes no
// input and nothing in it changes size.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// UTF-8 (the agent's texts) to UTF-16 (Windows' texts). Malformed bytes become U+FFFD.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

COLORREF Colour(Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

// A start-up error in a message box (below).
void ShowError(const std::string& report);

// The labels' font: Terminal, regular, OEM character set, `pixels` high (the character
// height, without internal leading). Where Terminal is missing Windows takes another
// fixed-pitch font. No smoothing: the text keeps the label colour exactly.
HFONT LabelFont(int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, OEM_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                     FIXED_PITCH | FF_MODERN, L"Terminal");
}

// The application icon (IconPixels) as a Windows icon: a 32-bit colour image with alpha and
// the mask of its transparent pixels.
HICON MakeIcon(int size) {
  const std::vector<unsigned char> rgba = IconPixels(size);
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = size;
  header.bV5Height = -size;  // rows top to bottom, as IconPixels gives them
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (colour == nullptr) return nullptr;
  // Monochrome mask, rows padded to 16 bits: a set bit shows the background.
  const int row_bytes = ((size + 15) / 16) * 2;
  std::vector<unsigned char> mask(static_cast<std::size_t>(row_bytes) * size, 0);
  auto* pixels = static_cast<unsigned char*>(bits);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const unsigned char* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
      unsigned char* q = &pixels[(static_cast<std::size_t>(y) * size + x) * 4];
      q[0] = p[2];  // blue, green, red, alpha in memory
      q[1] = p[1];
      q[2] = p[0];
      q[3] = p[3];
      if (p[3] == 0) mask[static_cast<std::size_t>(y) * row_bytes + x / 8] |= 0x80 >> (x % 8);
    }
  }
  HBITMAP mono = CreateBitmap(size, size, 1, 1, mask.data());
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mono;
  info.hbmColor = colour;
  HICON icon = CreateIconIndirect(&info);  // copies both bitmaps
  DeleteObject(mono);
  DeleteObject(colour);
  return icon;
}

struct AgentWindow {
  ServiceForm* form = nullptr;
  Supervision* supervision = nullptr;
  HWND hwnd = nullptr;
  HBRUSH background = nullptr;
  HFONT label1_font = nullptr, db_label_font = nullptr;
  HICON icon16 = nullptr, icon32 = nullptr;
  std::wstring db_label = Wide(kInitialDatabaseLabel);
  bool started = false;  // start-up is done (it may have to wait for the database)
  int status = 0;        // the exit status

  ~AgentWindow() {
    if (hwnd != nullptr) DestroyWindow(hwnd);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(background), static_cast<HGDIOBJ>(label1_font),
                           static_cast<HGDIOBJ>(db_label_font)}) {
      if (object != nullptr) DeleteObject(object);
    }
    if (icon16 != nullptr) DestroyIcon(icon16);
    if (icon32 != nullptr) DestroyIcon(icon32);
  }

  // The labels draw no background of their own: the window colour shows through.
  void Paint(HDC dc) const {
    SetBkMode(dc, TRANSPARENT);
    const std::wstring label1 = Wide(kRunningLabel);
    HGDIOBJ old = SelectObject(dc, label1_font);
    SetTextColor(dc, Colour(kLabel1Colour));
    TextOutW(dc, Pixels(kLabel1Left), Pixels(kLabel1Top), label1.data(),
             static_cast<int>(label1.size()));
    SelectObject(dc, db_label_font);
    SetTextColor(dc, Colour(kDbLabelColour));
    TextOutW(dc, Pixels(kDbLabelLeft), Pixels(kDbLabelTop), db_label.data(),
             static_cast<int>(db_label.size()));
    SelectObject(dc, old);
  }

  void Tick() {
    if (started) {
      form->Timer1_Timer();
      supervision->Ticked(form->LblDatbase());
    } else {
      try {
        started = form->TryStart();
      } catch (...) {
        const std::string report = StartupReport(std::current_exception());
        form->errors().Note(report);  // the log keeps it too
        ShowError(report);
        status = 1;
        DestroyWindow(hwnd);  // the run ends with the window
        return;
      }
      if (started) supervision->Started(form->LblDatbase());
    }
    std::wstring text = Wide(form->LblDatbase());
    if (text == db_label) return;
    db_label = std::move(text);
    InvalidateRect(hwnd, nullptr, TRUE);  // the old text's area shows the window again
  }
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* w = reinterpret_cast<AgentWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      if (w != nullptr) w->Paint(dc);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_TIMER:
      if (w != nullptr && wparam == kTimerId) w->Tick();
      return 0;
    case WM_DESTROY:
      if (w != nullptr) w->hwnd = nullptr;
      PostQuitMessage(0);  // closing the window ends the agent
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

// Creates the window, hidden, with its client area 4365 by 1200 twips.
bool CreateAgentWindow(AgentWindow& w) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  w.background = CreateSolidBrush(Colour(kWindowColour));
  w.label1_font = LabelFont(kLabel1FontPixels);
  w.db_label_font = LabelFont(kDbLabelFontPixels);
  w.icon16 = MakeIcon(16);
  w.icon32 = MakeIcon(32);

  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = w.icon32;
  window_class.hIconSm = w.icon16;
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = w.background;
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window_class) == 0) return false;

  RECT outer{0, 0, Pixels(kFormWidthTwips), Pixels(kFormHeightTwips)};
  AdjustWindowRectEx(&outer, kWindowStyle, FALSE, 0);
  const std::wstring caption = Wide(kWindowCaption);
  w.hwnd = CreateWindowExW(0, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT,
                           CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                           nullptr, nullptr, instance, &w);
  if (w.hwnd == nullptr) return false;
  SendMessageW(w.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(w.icon32));
  SendMessageW(w.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(w.icon16));
  return true;
}

// Start-up step 1: the window's outer rectangle in the lower right corner of the screen.
void PlaceWindow(HWND hwnd) {
  RECT outer;
  GetWindowRect(hwnd, &outer);
  const WindowPlacement p =
      LowerRightPlacement(static_cast<float>(GetSystemMetrics(SM_CXSCREEN) * kTwipsPerPixel),
                          static_cast<float>(GetSystemMetrics(SM_CYSCREEN) * kTwipsPerPixel),
                          static_cast<float>((outer.right - outer.left) * kTwipsPerPixel),
                          static_cast<float>((outer.bottom - outer.top) * kTwipsPerPixel));
  SetWindowPos(hwnd, nullptr, static_cast<int>(p.left / kTwipsPerPixel),
               static_cast<int>(p.top / kTwipsPerPixel), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowError(const std::string& report) {
  const std::wstring text = Wide(report), caption = Wide(kWindowCaption);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// The headless loop ends on a console control event. The handler finds the loop's event by
// a name unique to the process, so no handle has to be kept where the handler could see it.
std::wstring EventName(const wchar_t* what) {
  return std::wstring(L"Local\\mav-services-") + what + L"-" +
         std::to_wstring(GetCurrentProcessId());
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(L"stop").c_str());
  if (stop == nullptr) return FALSE;  // not running headless: the default handler ends us
  SetEvent(stop);
  CloseHandle(stop);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Windows ends the process when the handler returns: let the tick under way finish.
    HANDLE stopped = OpenEventW(SYNCHRONIZE, FALSE, EventName(L"stopped").c_str());
    if (stopped != nullptr) {
      WaitForSingleObject(stopped, 4000);
      CloseHandle(stopped);
    }
  }
  return TRUE;
}

}  // namespace

bool DisplayAvailable() {
  // A service's window station is invisible: nobody could see the window.
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

int RunWindowed(ServiceForm& form, Supervision& supervision) {
  AgentWindow w;
  w.form = &form;
  w.supervision = &supervision;
  if (!CreateAgentWindow(w)) {
    const std::string report =
        "Error 0: Cannot create the window (Windows error " + std::to_string(GetLastError()) + ")";
    form.errors().Note(report);
    ShowError(report);
    return 1;
  }
  form.set_place_window([&w] { PlaceWindow(w.hwnd); });
  try {
    w.started = form.TryStart();  // when it must wait, the window shows why meanwhile
  } catch (...) {
    const std::string report = StartupReport(std::current_exception());
    form.errors().Note(report);  // the log file keeps it: nobody may be there to read the box
    ShowError(report);
    return 1;
  }
  w.db_label = Wide(form.LblDatbase());
  if (w.started) supervision.Started(form.LblDatbase());
  ShowWindow(w.hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(w.hwnd);
  SetTimer(w.hwnd, kTimerId, kTickMs, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (w.started) form.Finish();
  form.errors().Summarise();
  supervision.Stopping();
  return w.status;
}

int RunHeadless(ServiceForm& form, Supervision& supervision, std::ostream& out, std::ostream& err) {
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, EventName(L"stop").c_str());
  HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, EventName(L"stopped").c_str());
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // The tick asks between its rows, so that a stop in a backlog is not kept waiting.
  form.set_stop_requested([stop] { return WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; });
  const auto finish = [&](int status) {
    SetEvent(stopped);
    CloseHandle(stop);
    CloseHandle(stopped);
    return status;
  };

  // Start-up, which waits as long as the database is locked or out of reach; the label
  // says so meanwhile.
  std::string shown;
  for (;;) {
    try {
      if (form.TryStart()) break;
    } catch (...) {
      err << StartupReport(std::current_exception()) << std::endl;
      return finish(1);
    }
    if (form.LblDatbase() != shown) {
      shown = form.LblDatbase();
      out << shown << std::endl;
    }
    if (WaitForSingleObject(stop, kTickMs) == WAIT_OBJECT_0) {
      form.errors().Summarise();
      return finish(0);
    }
  }

  // The database label as the window would show it when it appears, then each new text.
  shown = form.LblDatbase();
  out << shown << std::endl;
  supervision.Started(shown);
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + std::chrono::milliseconds(kTickMs);
  for (;;) {
    // Wait for the next tick; a tick that overran starts the next one at once.
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    const DWORD ms = static_cast<DWORD>(std::max<std::int64_t>(wait.count(), 0));
    if (WaitForSingleObject(stop, ms) == WAIT_OBJECT_0) break;
    next = std::max(next + std::chrono::milliseconds(kTickMs), Clock::now());
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
  return finish(0);
}

}  // namespace host
