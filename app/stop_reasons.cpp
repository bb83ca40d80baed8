#include "stop_reasons.h"

#include <cstdio>
#include <string>

#include "penwick/console_kit/stop_signal.hpp"
#include "system_help.h"

namespace app {

Outcome StoppedBy(int signal) {
  return {pw::cli::kExitCancelled,
          std::string("the run was stopped by ") + pw::cli::StopSignalName(signal),
          "run it again when the receiver is ready"};
}

Outcome TimedOut(double seconds, bool usb) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", seconds);
  return {pw::cli::kExitTimedOut, std::string("no transfer began within ") + text + " s",
          usb ? "connect and reboot the receiver; " + UsbFindingAdvice()
              : "check the cable and the port, and reboot the receiver"};
}

}  // namespace app
