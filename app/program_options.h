// The whole command line: the program's own options, all starting with "--", among the
// settings editor's letter options (-f, -p, -x, -y), and the checks of the port text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"

namespace app {

struct ProgramOptions {
  bool help = false;
  bool version = false;
  bool console = false;                  // the console front end
  bool json = false;                     // JSON lines on stdout (implies the console)
  bool service = false;                  // the window shows its service panel
  bool list = false;                     // list the ports and devices, nothing else
  bool verbose = false;                  // the console shows the message list's entries too
  std::optional<double> timeoutSeconds;  // from the end of start-up until a transfer begins
  CommandLine line;                      // the letter options
  std::string error;  // why the command line is refused, empty when all was understood
};

// Reads every argument; the first one refused (or a port text that cannot be used) sets
// `error`.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// Empty when the port text can be used, else why not: over 99 characters, a device path, a
// text whose port number is not plainly written, or a serial port not named COMn.
std::string CheckPortText(const std::string& port);

// The synopsis (two lines).
std::string UsageSynopsis();
// The whole help: synopsis, runs, options and exit codes.
std::string UsageText();

}  // namespace app
