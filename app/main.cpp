// PenwickUpload: moves the receiver's settings between a transfer file and the receiver.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console/console_run.h"
#include "console/console_view.h"
#include "device_list/device_list.h"
#include "front_end.h"
#include "platform_probe.h"
#include "program_options.h"
#include "qt/window_run.h"

namespace {

int Refuse(const std::string& why, bool json) {
  app::ConsoleView view(stderr, false, json ? stdout : nullptr, false);
  std::fprintf(stderr, "PenwickUpload: %s\n%s", why.c_str(), app::UsageSynopsis().c_str());
  view.Result({pw::cli::kExitUsage, why, "see PenwickUpload --help"});
  return pw::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const app::ProgramOptions options =
      app::ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!options.error.empty()) return Refuse(options.error, options.json);
  if (options.help) {
    std::printf("%s", app::UsageText().c_str());
    return 0;
  }
  if (options.version) {
    std::printf("PenwickUpload %s\n", PENWICK_VERSION);
    return 0;
  }
  if (options.list) return app::RunDeviceList(options.json);
  const app::CommandLine& line = options.line;
  // Chosen before any toolkit object exists: the toolkit aborts when its platform cannot start.
  const app::FrontEndChoice choice = app::ChooseFrontEnd(options.console, app::RealDisplayProbes());
  if (choice.frontEnd == app::FrontEnd::Window) {
    // Should the window fail to start after all, the same run goes on on the console.
    const auto onConsole = [argv](const std::string& why) {
      std::fprintf(stderr,
                   "PenwickUpload: the window cannot start (%s); the run is shown on "
                   "the console\n",
                   why.c_str());
      setenv("PENWICK_UI", "console", 1);
      execv("/proc/self/exe", argv);
    };
    return app::RunWindow(line,
                          {choice.platform, options.service, options.timeoutSeconds, onConsole});
  }
  if (!choice.why.empty()) std::fprintf(stderr, "PenwickUpload: %s\n", choice.why.c_str());
  if (options.service) {
    std::fprintf(stderr,
                 "PenwickUpload: the service panel needs the window; the run goes on "
                 "without it\n");
  }
  return app::RunConsole(line, {options.json, options.verbose, options.timeoutSeconds});
}
