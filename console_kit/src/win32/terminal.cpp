// Terminals on Windows: a stream is one when its handle is a console's. The C runtime's isatty
// cannot tell: it says yes for every character device, the null device included.
#include <io.h>
#include <windows.h>

#include "penwick/console_kit/terminal.hpp"

namespace pw::cli {
namespace {

HANDLE HandleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

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
