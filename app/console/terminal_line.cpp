// Standard input and the stop signal's descriptor polled together, so that Ctrl-C ends the wait.
#include "terminal_line.h"

#include <poll.h>
#include <unistd.h>

#include "penwick/console_kit/stop_signal.hpp"

namespace app {

bool ReadTerminalLine(std::string* line) {
  line->clear();
  while (true) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {pw::cli::StopSignalFd(), POLLIN, 0}};
    if (poll(fds, fds[1].fd >= 0 ? 2 : 1, -1) < 0) continue;
    if (pw::cli::StopSignal() != 0) return false;
    char c = 0;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got <= 0) return false;
    if (c == '\n') return true;
    *line += c;
  }
}

}  // namespace app
