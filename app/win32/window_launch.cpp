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

namespace app {
namespace {

UINT g_previousOutputCodePage = 0;

bool Usable(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Points the C stream and the system's standard handle `which` at the console.
void ToConsole(std::FILE* stream, DWORD which, const char* device, const char* mode) {
  if (std::freopen(device, mode, stream) == nullptr) return;
  const HANDLE handle =
      ::CreateFileA(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) ::SetStdHandle(which, handle);
}

void RestoreCodePage() {
  if (g_previousOutputCodePage != 0) ::SetConsoleOutputCP(g_previousOutputCodePage);
}

}  // namespace

void UseConsole() {
  static bool done = false;
  if (done) return;
  done = true;
  const bool in = Usable(STD_INPUT_HANDLE);
  const bool out = Usable(STD_OUTPUT_HANDLE);
  const bool err = Usable(STD_ERROR_HANDLE);
  if (::GetConsoleWindow() == nullptr && !(out && err)) {
    // Output that nobody could see: the starter's console, else one of our own (only when no
    // output at all was passed, so that a script capturing one stream gets no window).
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && !out && !err) ::AllocConsole();
    if (::GetConsoleWindow() != nullptr) {
      if (!in) ToConsole(stdin, STD_INPUT_HANDLE, "CONIN$", "r");
      if (!out) ToConsole(stdout, STD_OUTPUT_HANDLE, "CONOUT$", "w");
      if (!err) ToConsole(stderr, STD_ERROR_HANDLE, "CONOUT$", "w");
    }
  }
  // Paths and messages are UTF-8 (the program's code page, set by its manifest); so is what the
  // console shows while the run lasts.
  if (::GetConsoleWindow() != nullptr) {
    const UINT previous = ::GetConsoleOutputCP();
    if (previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
      g_previousOutputCodePage = previous;
      std::atexit(RestoreCodePage);
    }
  }
}

std::optional<int> RunInWindow(const ProgramOptions& options, char**) {
  const char* ui = std::getenv("PENWICK_UI");
  if (ui != nullptr && std::strcmp(ui, "console") == 0) return std::nullopt;
  const std::optional<int> status =
      RunDialog(options.line, {options.service, options.timeoutSeconds});
  if (!status) {
    UseConsole();
    std::fprintf(stderr,
                 "PenwickUpload: the dialog cannot be shown (error %lu); the run is shown on the "
                 "console\n",
                 ::GetLastError());
  }
  return status;
}

}  // namespace app
