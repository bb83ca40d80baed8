// The dialog front end of Windows: runs the controller in the program's dialog until the run
// has ended.
#pragma once

#include "command_line.h"
#include "dialog_session.h"

namespace app {

// Returns the exit status.
int RunDialog(const CommandLine& line, const DialogSettings& settings);

}  // namespace app
