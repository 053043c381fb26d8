// The Windows build's window under Wine on a virtual X display.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/host/agent_process.h"
#include "tests/host/x_display.h"
#include "tests/support/test_catalog.h"
#include "tests/wine/wine_agent.h"

namespace {

namespace fs = std::filesystem;
using host_test::AgentProcess;
using host_test::Capture;
using host_test::Field;

TEST(WindowsWindow, CaptionIconColoursAndPlacement) {
  const std::string xvfb_path = host_test::Which("Xvfb");
  ASSERT_FALSE(xvfb_path.empty()) << "Xvfb is missing";
  for (const char* tool : {"xwininfo", "xprop", "xwd", "convert"}) {
    ASSERT_FALSE(host_test::Which(tool).empty()) << tool << " is missing";
  }
  // Wine draws the frame and caption bar itself, as Windows does, instead of leaving them to
  // a window manager (Xvfb has none): the X window is then the whole Windows window.
  ASSERT_TRUE(
      wine_test::RunWine("reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Decorated /d N /f"));
  wine_test::EndWineSession();

  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path());
  test_support::ProgramFolder program(dir.path() / "program");
  test_support::SettingsRow row;
  row.ServerName = wine_test::WindowsPath(catalog.directory());
  row.UserName = "sa";
  row.PassWord = "";
  row.Dbase = catalog.name();
  program.AddSettings(row);

  // The server never resets: by default a server whose last client leaves (a probe of this
  // test) resets and refuses connections meanwhile, and Wine, connecting at that moment, would
  // end the agent.
  AgentProcess xvfb(
      xvfb_path, {}, dir.path(),
      {"-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, "xvfb");
  const std::string display = host_test::DisplayOf(xvfb);
  ASSERT_FALSE(display.empty()) << xvfb.Stop().err;
  const std::string x = "DISPLAY=" + display + " ";

  wine_test::WineAgent agent(program.path(), {{"DISPLAY", display}}, dir.path(), {});
  std::string info;
  ASSERT_TRUE(agent.process().WaitFor(
      [&] {
        info = Capture(x + "xwininfo -name 'MAV Services' 2>/dev/null");
        return info.find("IsViewable") != std::string::npos;
      },
      std::chrono::seconds(120)))
      << agent.process().Stop(SIGKILL).err;

  // The outer window (client area 4365 x 1200 twips, 291 x 80 pixels, plus frame and caption
  // bar) in the lower right corner: 130 twips from the right edge, 660 above the bottom.
  const int left = Field(info, "Absolute upper-left X"), top = Field(info, "Absolute upper-left Y");
  const int width = Field(info, "Width"), height = Field(info, "Height");
  EXPECT_GT(width, 291);
  EXPECT_GT(height, 80);
  EXPECT_EQ((1024 * 15 - 130) / 15, left + width);
  EXPECT_EQ((768 * 15 - 660) / 15, top + height);
  EXPECT_NE(std::string::npos,
            Capture(x + "xprop -name 'MAV Services' WM_NAME").find("\"MAV Services\""));

  // The background in the lower left corner of the client area, away from both labels; the
  // label colours RGB(128, 128, 0) and RGB(192, 64, 0) once drawn, and the icon's blue disc
  // RGB(64, 64, 160) in the caption bar.
  const std::string shot = (dir.path() / "screen.xwd").string();
  const std::string window_area = std::to_string(width) + "x" + std::to_string(height) + "+" +
                                  std::to_string(left) + "+" + std::to_string(top);
  std::string pixel, colours;
  agent.process().WaitFor([&] {
    if (std::system((x + "xwd -root -silent -out " + shot).c_str()) != 0) return false;
    pixel = Capture("convert xwd:" + shot + " -crop 1x1+" + std::to_string(left + 12) + "+" +
                    std::to_string(top + height - 12) + " txt:-");
    colours = Capture("convert xwd:" + shot + " -crop " + window_area + " -unique-colors txt:-");
    return colours.find("(192,64,0)") != std::string::npos;
  });
  EXPECT_NE(std::string::npos, pixel.find("(192,192,255)")) << pixel;
  EXPECT_NE(std::string::npos, colours.find("(192,64,0)")) << colours;
  EXPECT_NE(std::string::npos, colours.find("(128,128,0)")) << colours;
  EXPECT_NE(std::string::npos, colours.find("(64,64,160)")) << colours;

  agent.process().Stop(SIGKILL);

  // A start that fails shows its error in a message box and writes it to the log file beside
  // the executable: started with the session, the agent may have nobody to read the box.
  const fs::path no_settings = dir.path() / "no settings";
  fs::create_directories(no_settings);
  wine_test::WineAgent failing(no_settings, {{"DISPLAY", display}}, dir.path(), {});
  std::string log;
  EXPECT_TRUE(failing.process().WaitFor(
      [&] {
        std::ifstream in(no_settings / "mav-services.log", std::ios::binary);
        std::getline(in, log);
        return !log.empty();
      },
      std::chrono::seconds(60)));
  EXPECT_TRUE(std::regex_match(
      log, std::regex("[-0-9]{10} [:0-9]{8} Error [0-9]+: .*mavdata\\.cdf.*\r")))
      << log;
  failing.process().Stop(SIGKILL);
  xvfb.Stop(SIGTERM);
}

}  // namespace
