// The window front end's launch on Windows. The program is built twice from the same code:
// PenwickUpload.com for the console (cmd.exe and scripts start it, wait for it and read its
// output and exit status) and PenwickUpload.exe as a windowed program, which the system starts
// without a console window. The window itself is not built for Windows yet: every run is shown
// on the console (pw::cli::UseConsole finds one), and a run that asked for the window says so.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launch.h"
#include "penwick/console_kit/terminal.hpp"

namespace app {

std::optional<int> RunInWindow(const ProgramOptions&, char**) {
  const char* ui = std::getenv("PENWICK_UI");
  if (ui != nullptr && std::strcmp(ui, "console") == 0) return std::nullopt;
  pw::cli::UseConsole();
  std::fprintf(stderr,
               "PenwickUpload: the window is not built for Windows yet; the run is shown on the "
               "console\n");
  return std::nullopt;
}

}  // namespace app
