#include "console_run.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "console_view.h"
#include "controller.h"
#include "libraries.h"
#include "penwick/cli/stop_signal.hpp"
#include "stop_reasons.h"

namespace app {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPumpSlice = 200ms;

bool Waiting(RunPhase phase) {
  return phase == RunPhase::Armed || phase == RunPhase::Running;
}

}  // namespace

int RunConsole(const CommandLine& line, const ConsoleSettings& settings) {
  std::FILE* human = settings.json ? stderr : stdout;
  ConsoleView view(human, isatty(fileno(human)) == 1, settings.json ? stdout : nullptr,
                   isatty(STDIN_FILENO) == 1);
  pw::SetMessageBoxHandler([&view](const pw::MessageBoxRequest& r) { return view.Answer(r); });
  pw::cli::InstallStopSignals();

  Libraries libraries;
  int exitCode = 0;
  {
    UploadController controller(view, libraries, line);
    controller.Startup();
    const bool usb = SelectRun(line.port).mode != RunMode::SerialDownload;
    const auto armed = Clock::now();
    if (usb && controller.phase() == RunPhase::Armed) {
      view.Note(libraries.UsbNote());
    }
    bool stopHandled = false;
    std::optional<Clock::time_point> cancelledAt;
    while (!controller.closed()) {
      if (!Waiting(controller.phase()) && !controller.WaitingForSessionEnd()) break;
      const auto now = Clock::now();
      if (!stopHandled && pw::cli::StopSignal() != 0) {
        stopHandled = true;
        controller.Stop(StoppedBy(pw::cli::StopSignal()));
      } else if (settings.timeoutSeconds && controller.phase() == RunPhase::Armed &&
                 now - armed >= std::chrono::duration<double>(*settings.timeoutSeconds)) {
        controller.Stop(TimedOut(*settings.timeoutSeconds, usb));
      }
      if (controller.WaitingForSessionEnd()) {
        if (!cancelledAt) cancelledAt = now;
        if (now - *cancelledAt >= kSessionEndWait) controller.StopWaiting();
      }
      if (controller.closed()) break;
      if (controller.phase() == RunPhase::Armed) {
        view.Waiting(std::chrono::duration_cast<std::chrono::seconds>(now - armed));
        if (usb) view.Note(libraries.UsbNote());
      }
      controller.window().Pump(
          [&] { return controller.closed() || (!stopHandled && pw::cli::StopSignal() != 0); },
          kPumpSlice);
    }
    exitCode = controller.outcome().exitCode;
    view.Result(controller.outcome());
  }
  pw::SetMessageBoxHandler(nullptr);
  return exitCode;
}

}  // namespace app
