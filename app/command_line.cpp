// Parsing the command line and picking the run from the port text.
#include "command_line.h"

#include <cctype>
#include <climits>

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

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (const std::string& arg : args) {
    std::string text = arg;
    if (!text.empty() && (text[0] == '-' || text[0] == '/')) text.erase(0, 1);
    if (text.empty()) continue;
    const std::string value = text.substr(1);
    switch (std::tolower(static_cast<unsigned char>(text[0]))) {
      case 'f':
        line.file = value;
        break;
      case 'p':
        line.port = value;
        break;
      case 'x':
        line.posX = ParseDecimal(value);
        break;
      case 'y':
        line.posY = ParseDecimal(value);
        break;
      default:
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
