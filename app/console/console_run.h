// The console front end: runs the run until it has ended, with Ctrl-C and SIGTERM forwarded
// to it, and its closing line.
#pragma once

#include <optional>

#include "command_line.h"

namespace app {

struct ConsoleSettings {
  bool json = false;
  bool verbose = false;  // message-list entries for people too
  std::optional<double> timeoutSeconds;
};

// Returns the exit status.
int RunConsole(const CommandLine& line, const ConsoleSettings& settings);

}  // namespace app
