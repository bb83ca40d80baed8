// A console's line input: Ctrl-C and Ctrl-Break end a pending read (it returns with nothing),
// after the control handler has recorded the stop, so a plain read is enough.
#include <cstdio>

#include "penwick/console_kit/stop_signal.hpp"
#include "terminal_line.h"

namespace app {

bool ReadTerminalLine(std::string* line) {
  line->clear();
  while (true) {
    const int c = std::fgetc(stdin);
    if (pw::cli::StopSignal() != 0) return false;
    if (c == EOF) return false;
    if (c == '\n') return true;
    if (c != '\r') *line += static_cast<char>(c);
  }
}

}  // namespace app
