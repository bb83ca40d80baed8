// The choice of front end over a scripted environment and scripted probes: the window only on
// a platform whose plugin loads and whose display answers, else the console with the reason.
#include <gtest/gtest.h>

#include <map>

#include "front_end.h"

namespace {

using app::FrontEnd;

struct Machine {
  std::map<std::string, std::string> env;
  std::string missingPlugin;  // this platform's plugin is missing
  std::string xProblem;       // for every X display
  std::string waylandProblem = "connection refused";
  std::vector<std::string> probed;

  app::FrontEndChoice Choose(bool consoleAsked = false) {
    probed.clear();
    app::DisplayProbes probes;
    probes.env = [this](const char* name) { return env.count(name) ? env[name] : ""; };
    probes.plugin = [this](const std::string& platform) {
      probed.push_back("plugin " + platform);
      return platform == missingPlugin ? "no plugin \"" + platform + "\"" : "";
    };
    probes.x = [this](const std::string& display) {
      probed.push_back("x " + display);
      return xProblem;
    };
    probes.wayland = [this](const std::string& socket) {
      probed.push_back("wayland " + socket);
      return waylandProblem;
    };
    return app::ChooseFrontEnd(consoleAsked, probes);
  }
};

bool Says(const app::FrontEndChoice& choice, const std::string& text) {
  return choice.frontEnd == FrontEnd::Console && choice.why.find(text) != std::string::npos;
}

TEST(FrontEnd, ConsoleAskedOffscreenAndX) {
  Machine m;
  m.env = {{"DISPLAY", ":5"}, {"PENWICK_UI", "console"}};
  EXPECT_EQ(m.Choose().frontEnd, FrontEnd::Console);
  EXPECT_TRUE(m.Choose().why.empty() && m.probed.empty());  // asked for: nothing probed
  m.env.erase("PENWICK_UI");
  EXPECT_EQ(m.Choose(true).frontEnd, FrontEnd::Console);

  EXPECT_EQ(m.Choose().platform, "xcb");
  EXPECT_EQ(m.probed, (std::vector<std::string>{"plugin xcb", "x :5"}));
  m.xProblem = "refused";
  EXPECT_TRUE(Says(m.Choose(), "the X display :5 does not answer: refused"));
  m.env = {};
  EXPECT_TRUE(Says(m.Choose(), "DISPLAY is not set"));

  m.env = {{"QT_QPA_PLATFORM", "offscreen"}};
  EXPECT_EQ(m.Choose().platform, "offscreen");
  EXPECT_EQ(m.probed, std::vector<std::string>{"plugin offscreen"});
  m.missingPlugin = "offscreen";
  EXPECT_TRUE(Says(m.Choose(), "no plugin \"offscreen\""));
}

// A list is tried in order with each entry's options kept; a Wayland session falls back to X;
// a platform that cannot be checked before it starts is never started.
TEST(FrontEnd, ListsWaylandAndUncheckablePlatforms) {
  Machine m;
  m.env = {{"QT_QPA_PLATFORM", "wayland;xcb:nograb"},
           {"DISPLAY", ":1"},
           {"WAYLAND_DISPLAY", "wayland-1"},
           {"XDG_RUNTIME_DIR", "/run/user/7"}};
  EXPECT_EQ(m.Choose().platform, "xcb:nograb");
  EXPECT_EQ(m.probed[1], "wayland /run/user/7/wayland-1");
  m.waylandProblem.clear();
  EXPECT_EQ(m.Choose().platform, "wayland");

  m.env = {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", "/run/user/7"}};
  EXPECT_EQ(m.Choose().platform, "wayland");
  EXPECT_EQ(m.probed[1], "wayland /run/user/7/wayland-0");

  m.env = {{"QT_QPA_PLATFORM", "eglfs"}};
  EXPECT_TRUE(Says(m.Choose(), "\"eglfs\" cannot be checked"));
}

}  // namespace
