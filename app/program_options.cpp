#include "program_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "penwick/console_kit/exit_codes.hpp"
#include "system_help.h"

namespace app {
namespace {

constexpr size_t kMaxPortText = 99;
constexpr double kMaxTimeout = 31536000;  // a year
bool ParseSeconds(const std::string& text, double* seconds) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value) || value <= 0 || value > kMaxTimeout)
    return false;
  *seconds = value;
  return true;
}

}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  // The first refusal is kept; the rest is still read, so that --json is known whatever its
  // place and the refusal reaches a JSON reader too.
  const auto refuse = [&options](std::string why) {
    if (options.error.empty()) options.error = std::move(why);
  };
  for (size_t i = 0; i < args.size();) {
    if (args[i].rfind("--", 0) != 0) {
      refuse(ReadLetterOption(args, &i, &options.line));
      continue;
    }
    const std::string& arg = args[i++];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--timeout") {
      std::string value;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i < args.size()) {
        value = args[i++];
      }
      double seconds = 0;
      if (ParseSeconds(value, &seconds)) {
        options.timeoutSeconds = seconds;
      } else {
        refuse("--timeout needs a number of seconds above 0, not \"" + value + "\"");
      }
    } else if (equals != std::string::npos) {
      refuse(name + " takes no value");
    } else if (name == "--help") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--console") {
      options.console = true;
    } else if (name == "--service") {
      options.service = true;
    } else if (name == "--verbose") {
      options.verbose = true;
    } else if (name == "--list") {
      options.list = true;
    } else if (name == "--json") {
      options.json = true;
      options.console = true;
    } else {
      refuse("unknown option " + arg);
    }
  }
  refuse(CheckPortText(options.line.port));
  return options;
}

std::string CheckPortText(const std::string& port) {
  if (port.size() > kMaxPortText) {
    return "the port text (-p) holds " + std::to_string(port.size()) +
           " characters; at most 99 are allowed";
  }
  const std::string quoted = "the port text (-p) \"" + port + "\"";
  if (port.find('/') != std::string::npos) return quoted + " is a device path; " + PortNamingHelp();
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  if (port.size() <= 3) {
    // Too short to hold a number, so it means a USB download; a digit in it says otherwise.
    if (std::any_of(port.begin(), port.end(), digit)) {
      return quoted + " is too short to hold a port number; " + PortNamingHelp();
    }
    return {};
  }
  // The number starts at the fourth character; anything but a sign and digits there (a blank,
  // a point, a letter) would have the number read from part of the text only, or not at all.
  const size_t sign = port[3] == '+' || port[3] == '-' ? 1 : 0;
  if (port.size() == 3 + sign || !std::all_of(port.begin() + 3 + sign, port.end(), digit)) {
    return quoted + " holds no plain port number after its first three characters; " +
           PortNamingHelp();
  }
  const bool named = sign == 0 && std::toupper(static_cast<unsigned char>(port[0])) == 'C' &&
                     std::toupper(static_cast<unsigned char>(port[1])) == 'O' &&
                     std::toupper(static_cast<unsigned char>(port[2])) == 'M';
  if (SelectRun(port).mode == RunMode::SerialDownload && !named) {
    return quoted + " names no serial port; " + PortNamingHelp();
  }
  return {};
}

std::string UsageSynopsis() {
  return "Usage: PenwickUpload -f FILE -p PORT [-x X -y Y] [--console] [--json] [--verbose] "
         "[--timeout SECONDS]\n"
         "  or:  PenwickUpload --service [-f FILE -p PORT]\n"
         "  or:  PenwickUpload --list [--json]\n"
         "  or:  PenwickUpload --help | --version\n";
}

std::string UsageText() {
  return UsageSynopsis() +
         "\n"
         "Moves the receiver's settings between the transfer file FILE and the receiver.\n"
         "Reboot the receiver when asked: the transfer starts when it comes back.\n"
         "\n"
         "  -f FILE            the transfer file: sent by a download, replaced by an upload\n"
         "  -p PORT            the port text, which picks the run:\n"
         "                       COM0 (or a number below 0), USB, or no -p: USB download,\n"
         "                         FILE into the receiver\n"
         "                       COM256: USB upload, the receiver into FILE\n"
         "                       COMn, any other n: serial download of FILE on COMn\n"
         "  -x X -y Y          the window's top left corner on the screen, in pixels (used\n"
         "                     when both are not 0)\n"
         "  A letter option's value follows the letter (-fsettings.dat -pCOM3) or is the next\n"
         "  argument (-f settings.dat -p COM3) unless that begins with --. The dash may be a /\n"
         "  or left out (fsettings.dat), the letter may be a capital, and a repeated option\n"
         "  replaces the earlier one. Any other word is refused (status 2), as is a port text\n"
         "  whose number is not written plainly after its first three characters (COMx, COM 3,\n"
         "  COM1.5, ttyUSB0), a short one with a digit (-p 3), a device path, or a serial port\n"
         "  not named COMn.\n"
         "\n"
         "  --console          show the run on the terminal; without it the run is shown in a\n"
         "                     window when a display can be reached\n"
         "  --service          show the window's service panel (serial upload, unpack, pack,\n"
         "                     identities); without -f the session ends with status 0\n"
         "  --json             JSON lines on stdout, one object per message, status, progress\n"
         "                     value and the result; the text for people goes to stderr\n"
         "  --verbose          on the console, the service panel's message list too\n"
         "  --timeout SECONDS  give up when no transfer has begun this long after start-up\n"
         "  --list             list the serial ports (with the COMn of each), the USB devices\n"
         "                     and the USB/IP servers the program can see, why it cannot use\n"
         "                     one, and the PENWICK_USB_IDS line for a receiver; no -f needed\n"
         "  --help, --version  this text, the version\n"
         "\n"
         "Environment:\n" +
         EnvironmentHelp() +
         "\n"
         "Exit status:\n" +
         pw::cli::ExitCodeHelp();
}

}  // namespace app
