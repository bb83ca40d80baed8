// The real program in its window: a serial download on the offscreen platform that closes
// itself with success, the fall back to the console where no window can be shown (never a
// crash), and a run on a real X server (Xvfb) seen as an operator sees it, then stopped.
#include <signal.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <filesystem>
#include <thread>

#include "program_fixture.h"

namespace apptest {
namespace {

using namespace std::chrono_literals;

TEST_F(ProgramTest, WindowSerialDownloadClosesItselfWithSuccess) {
  MakeTransferFile();
  const std::string pty = StartSerialSim({"--file", "settings.dat", "--block-size", "200"});
  const ProgramResult run = RunProgram({"-fsettings.dat", "-pCOM1"},
                                       {"PENWICK_COM1=" + pty, "QT_QPA_PLATFORM=offscreen"});
  std::string simSays;
  EXPECT_EQ(FinishSim(&simSays), 0) << simSays;
  EXPECT_EQ(simSays.rfind("SIM OK", 0), 0u) << simSays;
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "");  // the window's run writes nothing on stdout
}

// An unreachable X display, a platform without a plugin, no display at all: the console runs
// instead, with the console's exit status.
TEST_F(ProgramTest, NoUsableDisplayRunsTheConsole) {
  for (const std::vector<std::string>& env :
       {std::vector<std::string>{"QT_QPA_PLATFORM=xcb", "DISPLAY=:9917"},
        std::vector<std::string>{"QT_QPA_PLATFORM=nosuchplatform"},
        std::vector<std::string>{"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="}}) {
    const ProgramResult run = RunProgram({"-fmissing.dat", "-pCOM0"}, env);
    EXPECT_EQ(run.status, 4) << env[0];
    EXPECT_NE(run.output.find("Failed: cannot open the transfer file missing.dat"),
              std::string::npos)
        << run.output;
  }
}

// Xvfb, started with a display number of its own choosing.
class XServer {
 public:
  bool Start() {
    if (!server_.Start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "640x400x24",
                        "-nolisten", "tcp"})) {
      return false;
    }
    const std::string number = server_.ReadLine(60s);
    if (number.empty()) return false;
    display_ = ":" + number.substr(0, number.find('\n'));
    return true;
  }
  ~XServer() { server_.Stop(5s); }
  const std::string& display() const { return display_; }

 private:
  pwtest::ChildProcess server_;
  std::string display_;
};

// The window's extent from its top-left corner on a black screen.
QSize WindowExtent(const QImage& screen, QPoint corner) {
  const auto lit = [&](int x, int y) {
    return x < screen.width() && y < screen.height() && screen.pixelColor(x, y).lightness() > 40;
  };
  int width = 0, height = 0;
  while (lit(corner.x() + width, corner.y() + 2)) ++width;
  while (lit(corner.x() + 2, corner.y() + height)) ++height;
  return {width, height};
}

TEST_F(ProgramTest, RealXServerShowsTheWindowUntilStopped) {
  XServer x;
  ASSERT_TRUE(x.Start()) << "Xvfb did not start (scripts/install-deps.sh installs it)";
  MakeTransferFile();
  const std::string silent =
      StartSerialSim({"--file", "settings.dat", "--timeout", "60", "--reboot-delay-ms", "60000"});
  StartProgram({"-fsettings.dat", "-pCOM1", "-x40", "-y30"},
               {"PENWICK_COM1=" + silent, "DISPLAY=" + x.display(), "QT_QPA_PLATFORM="});

  // This process looks at the same screen.
  qputenv("QT_QPA_PLATFORM", "xcb");
  qputenv("DISPLAY", x.display().c_str());
  int argc = 1;
  char name[] = "program_window_test";
  char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);
  QImage screen;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < deadline) {
    screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (WindowExtent(screen, {40, 30}).height() > 60) break;
    std::this_thread::sleep_for(50ms);  // the other program draws at its own pace
  }
  std::filesystem::create_directories(PENWICK_SCREENSHOT_DIR);
  screen.save(PENWICK_SCREENSHOT_DIR "/xvfb-screen.png");
  // Placed where -x and -y say (no window manager adds a frame), the size of the window the
  // offscreen tests draw, with dark text on its light face.
  const QSize extent = WindowExtent(screen, {40, 30});
  EXPECT_GT(extent.width(), 200);
  EXPECT_LT(extent.width(), 500);
  EXPECT_GT(extent.height(), 100);
  EXPECT_LT(extent.height(), 300);
  EXPECT_LT(screen.pixelColor(39, 40).lightness(), 40);  // nothing left of the window
  int ink = 0;
  for (int yy = 30; yy < 30 + extent.height() / 4; ++yy) {
    for (int xx = 40; xx < 40 + extent.width(); ++xx)
      ink += screen.pixelColor(xx, yy).lightness() < 80;
  }
  EXPECT_GT(ink, 40);  // "Please reboot your receiver"

  program->Signal(SIGTERM);
  const ProgramResult run = FinishProgram(60s);
  EXPECT_EQ(run.status, 8);  // cancelled while armed
  sim->Stop(5s);
}

}  // namespace
}  // namespace apptest
