// The launch on Windows. The program is built twice from the same code: PenwickUpload.com for
// the console (cmd.exe and scripts start it, wait for it and read its output and exit status)
// and PenwickUpload.exe as a windowed program, which the system starts without a console window.
// Both show a run in the program's dialog unless --console, --json or PENWICK_UI=console asks
// for the console. A run on the console writes to the standard streams its starter passed
// (pipes, files); without them to its starter's console, or, when it has none, to a console of
// its own, so that the run is never unseen.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialog_run.h"
#include "launch.h"
#include "penwick/console_kit/terminal.hpp"

namespace app {

std::optional<int> RunInWindow(const ProgramOptions& options, char**) {
  const char* ui = std::getenv("PENWICK_UI");
  if (ui != nullptr && std::strcmp(ui, "console") == 0) return std::nullopt;
  const std::optional<int> status =
      RunDialog(options.line, {options.service, options.timeoutSeconds});
  if (!status) {
    pw::cli::UseConsole();
    std::fprintf(stderr,
                 "PenwickUpload: the dialog cannot be shown (error %lu); the run is shown on the "
                 "console\n",
                 ::GetLastError());
  }
  return status;
}

}  // namespace app
