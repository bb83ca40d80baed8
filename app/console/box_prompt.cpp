#include "box_prompt.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "penwick/message_box.hpp"
#include "terminal_line.h"

namespace app {

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
    if (!ReadTerminalLine(&line)) return fallback;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (line.empty()) return fallback;
    for (int button : buttons) {
      const std::string name = AnswerName(button);
      if (std::tolower(static_cast<unsigned char>(line[0])) == name[0]) return button;
    }
  }
}

}  // namespace app
