// PenwickUpload: moves the receiver's settings between a transfer file and the receiver.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console/console_run.h"
#include "console/console_view.h"
#include "device_list/device_list.h"
#include "launch.h"
#include "program_options.h"

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
  const bool window = options.error.empty() && !options.help && !options.version && !options.list &&
                      !options.console;
  if (window) {
    if (const auto status = app::RunInWindow(options, argv)) return *status;
  }
  app::UseConsole();
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
  if (options.service) {
    std::fprintf(stderr,
                 "PenwickUpload: the service panel needs the window; the run goes on "
                 "without it\n");
  }
  return app::RunConsole(options.line, {options.json, options.verbose, options.timeoutSeconds});
}
