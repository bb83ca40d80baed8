// The window front end's launch, which differs between systems: chosen and started, or not
// built (window_launch.cpp, win32/window_launch.cpp).
#pragma once

#include <optional>

#include "program_options.h"

namespace app {

// Runs the window when the options and the system call for it and returns its exit status;
// nothing when the run is to go on on the console (after saying why, when a window was wanted).
std::optional<int> RunInWindow(const ProgramOptions& options, char** argv);

}  // namespace app
