// The program's command line: options f (transfer file), p (port text), x and y (window
// position), and the run that the port text selects.
#pragma once

#include <string>
#include <vector>

namespace app {

struct CommandLine {
  std::string file;
  std::string port;
  int posX = 0;
  int posY = 0;
};

// Takes the arguments after the program name. A leading '-' or '/' is dropped; the first
// character (any case) selects the option and the rest is its value. Others are ignored.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

enum class RunMode { UsbDownload, UsbUpload, SerialDownload };

struct RunSelection {
  RunMode mode = RunMode::UsbDownload;
  int number = 0;     // the number read from the port text after its first three characters
  int portIndex = 0;  // serial download: number - 1
};

// The port text's number decides: 0 or less is a USB download, 256 a USB upload, anything
// else a serial download on port index number - 1.
RunSelection SelectRun(const std::string& port);

// Decimal conversion in the manner of atoi: leading blanks and a sign, digits up to the first
// non-digit, 0 when there are none; saturates instead of overflowing.
int ParseDecimal(const std::string& text);

}  // namespace app
