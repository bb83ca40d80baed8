// Terminals on POSIX systems: a tty is a terminal, and every terminal takes the escape sequences.
#include "penwick/console_kit/terminal.hpp"

#include <unistd.h>

namespace pw::cli {

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

bool RedrawsInPlace(std::FILE* out) {
  return IsTerminal(out);
}

}  // namespace pw::cli
