// The window front end: runs the controller in the main window until the run has ended.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "command_line.h"

namespace app {

struct WindowSettings {
  std::string platform;  // the Qt platform that was checked (a QT_QPA_PLATFORM value)
  bool service = false;  // show the service panel
  std::optional<double> timeoutSeconds;  // from the end of start-up until a transfer begins
  // Called instead of the abort with which Qt ends a process whose platform failed to start
  // after all (the display went away since it was checked); it must not return.
  std::function<void(const std::string& why)> cannotStart;
  // Nobody sees the window (set by RunWindow for offscreen platforms): a run that failed
  // closes at once, its closing line on standard error.
  bool nobodySees = false;
};

// Returns the exit status.
int RunWindow(const CommandLine& line, const WindowSettings& settings);

}  // namespace app
