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

// Reads the letter option at args[*at] and moves *at past what it used. A leading '-' or '/'
// is dropped; the first character (any case) names the option and the rest is its value. An
// empty value is taken from the next argument, whatever it begins with (a path may start with
// '/', a position with '-'), unless that begins with "--", the program's own options. A
// repeated option replaces the earlier value; an empty argument is passed over. Returns why
// the argument is refused (a word that names no option), empty when it was read.
std::string ReadLetterOption(const std::vector<std::string>& args, size_t* at, CommandLine* line);

// Every argument read as a letter option; the first refusal goes to `error` (if given) and
// ends the reading.
CommandLine ParseCommandLine(const std::vector<std::string>& args, std::string* error = nullptr);

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
