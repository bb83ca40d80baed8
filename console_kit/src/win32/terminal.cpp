// Terminals on Windows: a stream is one when its handle is a console's. The C runtime's isatty
// cannot tell: it says yes for every character device, the null device included. And the
// standard streams of a windowed program, which has no console of its own.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "penwick/console_kit/terminal.hpp"

namespace pw::cli {
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

// Whether the process has a console (one without a window too, as Wine's on a terminal is).
bool HasConsole() {
  const HANDLE console =
      ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(console);
  return true;
}

void RestoreCodePage() {
  if (g_previousOutputCodePage != 0) ::SetConsoleOutputCP(g_previousOutputCodePage);
}

HANDLE HandleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

void UseConsole() {
  static bool done = false;
  if (done) return;
  done = true;
  const bool in = Usable(STD_INPUT_HANDLE);
  const bool out = Usable(STD_OUTPUT_HANDLE);
  const bool err = Usable(STD_ERROR_HANDLE);
  if (!(out && err) && !HasConsole()) {
    // Output that nobody could see: the starter's console, else one of our own (only when no
    // output at all was passed, so that a script capturing one stream gets no window).
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && !out && !err) ::AllocConsole();
    if (HasConsole()) {
      if (!in) ToConsole(stdin, STD_INPUT_HANDLE, "CONIN$", "r");
      if (!out) ToConsole(stdout, STD_OUTPUT_HANDLE, "CONOUT$", "w");
      if (!err) ToConsole(stderr, STD_ERROR_HANDLE, "CONOUT$", "w");
    }
  }
  // Paths and messages are UTF-8 (the program's code page, set by its manifest); so is what the
  // console shows while the run lasts.
  if (HasConsole()) {
    const UINT previous = ::GetConsoleOutputCP();
    if (previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
      g_previousOutputCodePage = previous;
      std::atexit(RestoreCodePage);
    }
  }
}

bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  const HANDLE handle = HandleOf(stream);
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

bool RedrawsInPlace(std::FILE* out) {
  DWORD mode = 0;
  const HANDLE handle = HandleOf(out);
  if (handle == INVALID_HANDLE_VALUE || ::GetConsoleMode(handle, &mode) == 0) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace pw::cli
