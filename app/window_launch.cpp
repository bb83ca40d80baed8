// The window front end's launch on Linux: the window when a display can be reached (checked
// before any toolkit object exists, since the toolkit aborts when its platform cannot start),
// else the console, saying why. The standard streams are always there.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "front_end.h"
#include "launch.h"
#include "platform_probe.h"
#include "qt/window_run.h"

namespace app {

void UseConsole() {}

std::optional<int> RunInWindow(const ProgramOptions& options, char** argv) {
  const FrontEndChoice choice = ChooseFrontEnd(false, RealDisplayProbes());
  if (choice.frontEnd == FrontEnd::Console) {
    if (!choice.why.empty()) std::fprintf(stderr, "PenwickUpload: %s\n", choice.why.c_str());
    return std::nullopt;
  }
  // Should the window fail to start after all, the same run goes on on the console.
  const auto onConsole = [argv](const std::string& why) {
    std::fprintf(stderr,
                 "PenwickUpload: the window cannot start (%s); the run is shown on "
                 "the console\n",
                 why.c_str());
    setenv("PENWICK_UI", "console", 1);
    execv("/proc/self/exe", argv);
  };
  return RunWindow(options.line,
                   {choice.platform, options.service, options.timeoutSeconds, onConsole});
}

}  // namespace app
