// The agent's window on a virtual X display.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/host/agent_process.h"
#include "tests/host/x_display.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using host_test::AgentProcess;
using host_test::Capture;
using host_test::Field;

TEST(ServiceWindow, CaptionSizeColourAndPlacement) {
  const std::string xvfb_path = host_test::Which("Xvfb");
  if (xvfb_path.empty()) GTEST_SKIP() << "Xvfb is not installed";
  for (const char* tool : {"xwininfo", "xprop", "xwd", "convert"}) {
    ASSERT_FALSE(host_test::Which(tool).empty()) << tool << " is missing beside Xvfb";
  }

  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path());
  test_support::ProgramFolder program(dir.path() / "program");
  program.PointAt(catalog);
  fs::create_directories(dir.path() / "home");

  // The server logs each client's connection, and it ends when its last client leaves:
  // nothing connects before the agent, so an agent that let go of the display after its first
  // connection would find the server gone.
  AgentProcess xvfb(xvfb_path, {}, dir.path(),
                    {"-displayfd", "1", "-terminate", "-audit", "2", "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp"},
                    "xvfb");
  const std::string display = host_test::DisplayOf(xvfb);
  ASSERT_FALSE(display.empty()) << xvfb.Stop().err;

  AgentProcess agent(program.InstallExecutable(),
                     {{"DISPLAY", display}, {"HOME", (dir.path() / "home").string()}}, dir.path());
  ASSERT_TRUE(agent.WaitFor([&] { return xvfb.Err().find(" connected ") != std::string::npos; }))
      << agent.Stop().err;
  const std::string x = "DISPLAY=" + display + " ";
  std::string info;
  ASSERT_TRUE(agent.WaitFor([&] {
    info = Capture(x + "xwininfo -name 'MAV Services' 2>/dev/null");
    return info.find("IsViewable") != std::string::npos;
  })) << agent.Stop().err
      << xvfb.Stop().err;

  // Client area 4365 x 1200 twips at 15 twips per pixel; lower right corner of the screen,
  // 130 twips from the right edge and 660 twips above the bottom (no frame under Xvfb).
  const int left = Field(info, "Absolute upper-left X"), top = Field(info, "Absolute upper-left Y");
  EXPECT_EQ(291, Field(info, "Width"));
  EXPECT_EQ(80, Field(info, "Height"));
  EXPECT_EQ((1024 * 15 - 4365 - 130) / 15, left);
  EXPECT_EQ((768 * 15 - 1200 - 660) / 15, top);
  EXPECT_NE(std::string::npos,
            Capture(x + "xprop -name 'MAV Services' WM_NAME").find("\"MAV Services\""));

  // Background colour in a corner of the client area, away from both labels; the label
  // colours RGB(128, 128, 0) and RGB(192, 64, 0) inside the window once it has been drawn.
  const std::string shot = (dir.path() / "screen.xwd").string();
  std::string pixel, colours;
  agent.WaitFor([&] {
    if (std::system((x + "xwd -root -silent -out " + shot).c_str()) != 0) return false;
    pixel = Capture("convert xwd:" + shot + " -crop 1x1+" + std::to_string(left + 4) + "+" +
                    std::to_string(top + 4) + " txt:-");
    colours = Capture("convert xwd:" + shot + " -crop 291x80+" + std::to_string(left) + "+" +
                      std::to_string(top) + " -unique-colors txt:-");
    return colours.find("(192,64,0)") != std::string::npos;
  });
  EXPECT_NE(std::string::npos, pixel.find("(192,192,255)")) << pixel;
  EXPECT_NE(std::string::npos, colours.find("(192,64,0)")) << colours;
  EXPECT_NE(std::string::npos, colours.find("(128,128,0)")) << colours;

  agent.Stop(SIGTERM);
  xvfb.Stop(SIGTERM);
}

}  // namespace
}  // namespace host
