// The console front end: runs the controller until the run has ended, with Ctrl-C and
// SIGTERM as Exit, the time waited for the receiver on show, and --timeout.
#pragma once

#include <optional>

#include "command_line.h"

namespace app {

struct ConsoleSettings {
  bool json = false;
  std::optional<double> timeoutSeconds;
};

// Returns the exit status.
int RunConsole(const CommandLine& line, const ConsoleSettings& settings);

}  // namespace app
