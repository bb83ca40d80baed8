#include "front_end.h"

#include <vector>

namespace app {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(separator, start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The platform's name without its options ("xcb:nograb" is "xcb").
std::string PlatformName(const std::string& entry) {
  return entry.substr(0, entry.find(':'));
}

std::string WaylandSocket(const DisplayProbes& probes) {
  std::string name = probes.env("WAYLAND_DISPLAY");
  if (name.empty()) name = "wayland-0";
  if (name.front() == '/') return name;
  const std::string runtime = probes.env("XDG_RUNTIME_DIR");
  return runtime.empty() ? std::string() : runtime + "/" + name;
}

// Empty when the platform `entry` can start here, else why not.
std::string Problem(const std::string& entry, const DisplayProbes& probes) {
  const std::string name = PlatformName(entry);
  if (name != "offscreen" && name != "minimal" && name != "xcb" && name.rfind("wayland", 0) != 0) {
    return "the platform \"" + name +
           "\" cannot be checked before it starts (xcb, wayland, offscreen and minimal can)";
  }
  // What the environment alone tells comes first: loading a plugin costs time.
  const std::string display = probes.env("DISPLAY");
  if (name == "xcb" && display.empty()) return "DISPLAY is not set";
  if (std::string problem = probes.plugin(name); !problem.empty()) return problem;
  if (name == "xcb") {
    if (std::string problem = probes.x(display); !problem.empty()) {
      return "the X display " + display + " does not answer: " + problem;
    }
  } else if (name != "offscreen" && name != "minimal") {
    const std::string socket = WaylandSocket(probes);
    if (socket.empty()) return "XDG_RUNTIME_DIR is not set, so no Wayland display can be found";
    if (std::string problem = probes.wayland(socket); !problem.empty()) {
      return "the Wayland display " + socket + " does not answer: " + problem;
    }
  }
  return {};
}

}  // namespace

FrontEndChoice ChooseFrontEnd(bool consoleAsked, const DisplayProbes& probes) {
  FrontEndChoice choice;
  if (consoleAsked || probes.env("PENWICK_UI") == "console") return choice;
  const std::string named = probes.env("QT_QPA_PLATFORM");
  std::vector<std::string> candidates = Split(named, ';');
  if (candidates.empty()) {
    const bool waylandSession =
        !probes.env("WAYLAND_DISPLAY").empty() || probes.env("XDG_SESSION_TYPE") == "wayland";
    if (waylandSession) candidates.push_back("wayland");
    if (!probes.env("DISPLAY").empty() || !waylandSession) candidates.push_back("xcb");
  }
  std::string why;
  for (const std::string& entry : candidates) {
    const std::string problem = Problem(entry, probes);
    if (problem.empty()) {
      choice.frontEnd = FrontEnd::Window;
      choice.platform = entry;
      return choice;
    }
    why += (why.empty() ? "" : "; ") + problem;
  }
  choice.why = "no window can be shown (" + why + "), so the run is shown on the console";
  return choice;
}

}  // namespace app
