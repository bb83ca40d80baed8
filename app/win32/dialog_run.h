// The dialog front end of Windows: runs the controller in the program's dialog until the run
// has ended.
#pragma once

#include <optional>

#include "command_line.h"
#include "dialog_session.h"

namespace app {

// Returns the exit status; nothing when the dialog cannot be created (no desktop to show it on),
// before anything of the run has happened.
std::optional<int> RunDialog(const CommandLine& line, const DialogSettings& settings);

}  // namespace app
