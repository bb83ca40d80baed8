// The program's own options, all starting with "--" (the settings editor's letter options
// ignore such arguments, so its command lines keep working), and the checks of the port text.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

struct ProgramOptions {
  bool help = false;
  bool version = false;
  bool console = false;                  // the console front end
  bool json = false;                     // JSON lines on stdout (implies the console)
  bool service = false;                  // the window shows its service panel
  bool list = false;                     // list the ports and devices, nothing else
  std::optional<double> timeoutSeconds;  // from the end of start-up until a transfer begins
  std::vector<std::string> rest;         // the arguments for the letter options
  std::string error;                     // a refused option, empty when all were understood
};

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// Empty when the port text can be used, else why not.
std::string CheckPortText(const std::string& port);

// The synopsis (two lines).
std::string UsageSynopsis();
// The whole help: synopsis, runs, options and exit codes.
std::string UsageText();

}  // namespace app
