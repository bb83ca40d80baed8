// The choice of front end over a scripted environment and scripted probes: the window only on
// a platform whose plugin loads and whose display answers, else the console with the reason.
#include <gtest/gtest.h>

#include <map>

#include "front_end.h"

namespace {

using app::FrontEnd;

struct Machine {
  std::map<std::string, std::string> env;
  std::map<std::string, std::string> missingPlugins;  // platform -> why
  std::string xProblem;                               // for every X display
  std::string waylandProblem = "connection refused";
  std::vector<std::string> probed;

  app::FrontEndChoice Choose(bool consoleAsked = false) {
    app::DisplayProbes probes;
    probes.env = [this](const char* name) {
      const auto found = env.find(name);
      return found == env.end() ? std::string() : found->second;
    };
    probes.plugin = [this](const std::string& platform) {
      probed.push_back("plugin " + platform);
      const auto found = missingPlugins.find(platform);
      return found == missingPlugins.end() ? std::string() : found->second;
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

TEST(FrontEnd, ConsoleWhenAskedWithoutProbing) {
  Machine m;
  m.env = {{"DISPLAY", ":0"}};
  EXPECT_EQ(m.Choose(true).frontEnd, FrontEnd::Console);
  m.env["PENWICK_UI"] = "console";
  const auto choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Console);
  EXPECT_TRUE(choice.why.empty());  // asked for: nothing to explain
  EXPECT_TRUE(m.probed.empty());
}

TEST(FrontEnd, OffscreenAndMinimalNeedOnlyTheirPlugin) {
  Machine m;
  m.env = {{"QT_QPA_PLATFORM", "offscreen"}};
  auto choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Window);
  EXPECT_EQ(choice.platform, "offscreen");
  EXPECT_EQ(m.probed, std::vector<std::string>{"plugin offscreen"});

  m.env = {{"QT_QPA_PLATFORM", "minimal"}};
  m.missingPlugins["minimal"] = "no Qt platform plugin \"minimal\" is installed";
  choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Console);
  EXPECT_NE(choice.why.find("\"minimal\" is installed"), std::string::npos) << choice.why;
}

TEST(FrontEnd, XIsUsedOnlyWhenItsDisplayAnswers) {
  Machine m;
  m.env = {{"DISPLAY", ":5"}};
  auto choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Window);
  EXPECT_EQ(choice.platform, "xcb");
  EXPECT_EQ(m.probed, (std::vector<std::string>{"plugin xcb", "x :5"}));

  m.xProblem = "the connection was refused";
  choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Console);
  EXPECT_NE(choice.why.find("the X display :5 does not answer"), std::string::npos);

  m.env = {};  // no display at all
  choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Console);
  EXPECT_NE(choice.why.find("DISPLAY is not set"), std::string::npos);

  m.env = {{"QT_QPA_PLATFORM", "xcb:nograb"}, {"DISPLAY", ":5"}};
  m.xProblem.clear();
  EXPECT_EQ(m.Choose().platform, "xcb:nograb");  // its options kept
}

// A list is tried in order; a Wayland session falls back to X; a platform that cannot be
// checked before it starts is never started.
TEST(FrontEnd, ListsWaylandAndUncheckablePlatforms) {
  Machine m;
  m.env = {{"QT_QPA_PLATFORM", "wayland;xcb"},
           {"DISPLAY", ":1"},
           {"WAYLAND_DISPLAY", "wayland-1"},
           {"XDG_RUNTIME_DIR", "/run/user/7"}};
  auto choice = m.Choose();
  EXPECT_EQ(choice.platform, "xcb");
  EXPECT_EQ(m.probed[1], "wayland /run/user/7/wayland-1");

  m.waylandProblem.clear();
  EXPECT_EQ(m.Choose().platform, "wayland");

  m.env = {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", "/run/user/7"}};
  m.probed.clear();
  EXPECT_EQ(m.Choose().platform, "wayland");
  EXPECT_EQ(m.probed[1], "wayland /run/user/7/wayland-0");

  m.env = {{"QT_QPA_PLATFORM", "eglfs"}};
  choice = m.Choose();
  EXPECT_EQ(choice.frontEnd, FrontEnd::Console);
  EXPECT_NE(choice.why.find("\"eglfs\" cannot be checked"), std::string::npos);
}

}  // namespace
