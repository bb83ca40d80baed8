#include "console_run.h"

#include <chrono>
#include <string>

#include "console_view.h"
#include "libraries.h"
#include "penwick/console_kit/stop_signal.hpp"
#include "penwick/console_kit/terminal.hpp"
#include "run.h"

namespace app {
namespace {

using namespace std::chrono_literals;

constexpr auto kPumpSlice = 200ms;

}  // namespace

int RunConsole(const CommandLine& line, const ConsoleSettings& settings) {
  std::FILE* human = settings.json ? stderr : stdout;
  ConsoleView view(human, pw::cli::RedrawsInPlace(human), settings.json ? stdout : nullptr,
                   pw::cli::IsTerminal(stdin), settings.verbose);
  pw::SetMessageBoxHandler([&view](const pw::MessageBoxRequest& r) { return view.Answer(r); });
  pw::cli::InstallStopSignals();

  Libraries libraries;
  int exitCode = 0;
  {
    Run run(view, libraries, line, {settings.timeoutSeconds, false, false});
    run.Start();
    bool stopHandled = false;
    while (!run.Over()) {
      if (!stopHandled && pw::cli::StopSignal() != 0) {
        stopHandled = true;
        run.Signal(pw::cli::StopSignal());
      }
      run.Tick();
      if (run.Over()) break;
      run.controller().window().Pump(
          [&] { return run.Over() || (!stopHandled && pw::cli::StopSignal() != 0); }, kPumpSlice);
    }
    exitCode = run.ExitStatus();
    view.Result(run.controller().outcome());
  }
  pw::SetMessageBoxHandler(nullptr);
  return exitCode;
}

}  // namespace app
