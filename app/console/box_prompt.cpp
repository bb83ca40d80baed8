#include "box_prompt.h"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <vector>

#include "penwick/console_kit/stop_signal.hpp"
#include "penwick/message_box.hpp"

namespace app {
namespace {

// One line from standard input; false at its end or on a stop signal.
bool ReadLine(std::string* line) {
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

}  // namespace

const char* AnswerName(int answer) {
  switch (answer) {
    case pw::kIdOk:
      return "ok";
    case pw::kIdCancel:
      return "cancel";
    case pw::kIdRetry:
      return "retry";
    case pw::kIdYes:
      return "yes";
    case pw::kIdNo:
      return "no";
    default:
      return "none";
  }
}

bool OffersChoice(unsigned type) {
  return pw::ButtonsOf(type).size() > 1;
}

int AskOnTerminal(unsigned type) {
  const std::vector<int> buttons = pw::ButtonsOf(type);
  const int fallback = pw::DefaultButton(type);
  std::string choices;
  for (int button : buttons)
    choices += std::string(choices.empty() ? "" : "/") + AnswerName(button);
  while (true) {
    std::fprintf(stderr, "Answer (%s) [%s]: ", choices.c_str(), AnswerName(fallback));
    std::fflush(stderr);
    std::string line;
    if (!ReadLine(&line)) return fallback;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (line.empty()) return fallback;
    for (int button : buttons) {
      const std::string name = AnswerName(button);
      if (std::tolower(static_cast<unsigned char>(line[0])) == name[0]) return button;
    }
  }
}

}  // namespace app
