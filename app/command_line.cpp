// Parsing the command line and picking the run from the port text.
#include "command_line.h"

#include <cctype>
#include <climits>
#include <utility>

namespace app {

int ParseDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) {
      value = static_cast<long long>(INT_MAX) + 1;
      break;
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string ReadLetterOption(const std::vector<std::string>& args, size_t* at, CommandLine* line) {
  const std::string& arg = args[(*at)++];
  if (arg.empty()) return {};
  std::string text = arg;
  if (text[0] == '-' || text[0] == '/') text.erase(0, 1);
  const char letter =
      text.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  if (letter != 'f' && letter != 'p' && letter != 'x' && letter != 'y') {
    return "\"" + arg +
           "\" is not an option; the options are -f FILE, -p PORT, -x X and -y Y (the value "
           "attached, as in -pCOM3, or as the next argument) and those that begin with --";
  }
  std::string value = text.substr(1);
  if (value.empty() && *at < args.size() && args[*at].rfind("--", 0) != 0) value = args[(*at)++];
  switch (letter) {
    case 'f':
      line->file = value;
      break;
    case 'p':
      line->port = value;
      break;
    case 'x':
      line->posX = ParseDecimal(value);
      break;
    default:
      line->posY = ParseDecimal(value);
      break;
  }
  return {};
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, std::string* error) {
  CommandLine line;
  for (size_t at = 0; at < args.size();) {
    std::string refused = ReadLetterOption(args, &at, &line);
    if (!refused.empty()) {
      if (error != nullptr) *error = std::move(refused);
      break;
    }
  }
  return line;
}

RunSelection SelectRun(const std::string& port) {
  RunSelection run;
  run.number = port.size() > 3 ? ParseDecimal(port.substr(3)) : 0;
  if (run.number <= 0) {
    run.mode = RunMode::UsbDownload;
  } else if (run.number == 256) {
    run.mode = RunMode::UsbUpload;
  } else {
    run.mode = RunMode::SerialDownload;
    run.portIndex = run.number - 1;
  }
  return run;
}

}  // namespace app
