// What differs between systems in how the program starts a run: the standard streams a console
// run writes to, and the window front end (chosen, started, or not built).
#pragma once

#include <optional>

#include "program_options.h"

namespace app {

// Makes standard input, output and error usable by a run shown on the console. A program built
// as a windowed one (PenwickUpload.exe on Windows) has none unless its starter passed them: it
// then writes to its starter's console, or to a console of its own.
void UseConsole();

// Runs the window when the options and the system call for it and returns its exit status;
// nothing when the run is to go on on the console (after saying why, when a window was wanted).
std::optional<int> RunInWindow(const ProgramOptions& options, char** argv);

}  // namespace app
