// Arbitrary environments for the choice of front end: lines of the input are the values of
// QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR and XDG_SESSION_TYPE, and every
// plugin and display answers. A window is only ever chosen on an entry of QT_QPA_PLATFORM
// (or, without one, Wayland or X) that can be checked, X only with DISPLAY set; the console
// chosen for lack of a display always says why.
#include <cstdlib>
#include <map>
#include <string>

#include "front_end.h"
#include "fuzz_target.h"

namespace {

app::FrontEndChoice Choose(const uint8_t* data, size_t size,
                           std::map<std::string, std::string>* env) {
  const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                         "XDG_SESSION_TYPE"};
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (const char* name : names) {
    if (start > text.size()) break;
    const size_t end = std::min(text.find('\n', start), text.size());
    (*env)[name] = text.substr(start, end - start);
    start = end + 1;
  }
  app::DisplayProbes probes;
  probes.env = [env](const char* name) { return env->count(name) ? env->at(name) : ""; };
  probes.plugin = [](const std::string&) { return std::string(); };
  probes.x = [](const std::string&) { return std::string(); };
  probes.wayland = [](const std::string&) { return std::string(); };
  return app::ChooseFrontEnd(false, probes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::map<std::string, std::string> env;
  const app::FrontEndChoice choice = Choose(data, size, &env);
  if (choice.frontEnd == app::FrontEnd::Console) {
    if (choice.why.empty()) std::abort();
    return 0;
  }
  const std::string& named = env["QT_QPA_PLATFORM"];
  const std::string name = choice.platform.substr(0, choice.platform.find(':'));
  const bool listed = (";" + named + ";").find(";" + choice.platform + ";") != std::string::npos;
  const bool fallback = choice.platform == "xcb" || choice.platform == "wayland";
  if (!listed && !fallback) std::abort();
  if (name != "xcb" && name != "offscreen" && name != "minimal" && name.rfind("wayland", 0) != 0)
    std::abort();
  if (name == "xcb" && env["DISPLAY"].empty()) std::abort();
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  std::map<std::string, std::string> env;
  return Choose(data, size, &env).frontEnd == app::FrontEnd::Console;
}
