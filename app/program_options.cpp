#include "program_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "penwick/cli/exit_codes.hpp"

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
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      options.rest.push_back(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--timeout") {
      std::string value;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      double seconds = 0;
      if (!ParseSeconds(value, &seconds)) {
        options.error = "--timeout needs a number of seconds above 0, not \"" + value + "\"";
        return options;
      }
      options.timeoutSeconds = seconds;
      continue;
    }
    if (equals != std::string::npos) {
      options.error = name + " takes no value";
      return options;
    }
    if (name == "--help") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--console") {
      options.console = true;
    } else if (name == "--service") {
      options.service = true;
    } else if (name == "--list") {
      options.list = true;
    } else if (name == "--json") {
      options.json = true;
      options.console = true;
    } else {
      options.error = "unknown option " + arg;
      return options;
    }
  }
  return options;
}

std::string CheckPortText(const std::string& port) {
  if (port.size() > kMaxPortText) {
    return "the port text (-p) holds " + std::to_string(port.size()) +
           " characters; at most 99 are allowed";
  }
  if (port.find('/') != std::string::npos) {
    return "the port text (-p) \"" + port +
           "\" is a device path; serial ports are named COMn (COM1 is /dev/ttyS0), and "
           "PENWICK_COMn=/dev/... points COMn at another device";
  }
  return {};
}

std::string UsageSynopsis() {
  return "usage: PenwickUpload -fFILE -pPORT [-xX -yY] [--console] [--json] [--timeout SECONDS]\n"
         "       PenwickUpload --service [-fFILE -pPORT]\n"
         "       PenwickUpload --list [--json]\n"
         "       PenwickUpload --help | --version\n";
}

std::string UsageText() {
  return UsageSynopsis() +
         "\n"
         "Moves the receiver's settings between the transfer file FILE and the receiver.\n"
         "The port text PORT picks the run:\n"
         "  COM0 (a number of 0 or less, or none)  USB download: FILE into the receiver\n"
         "  COM256                                 USB upload: the receiver into FILE\n"
         "  COMn (any other number)                serial download on COMn\n"
         "COMn is /dev/ttyS<n-1> unless PENWICK_COMn names its device. USB receivers are\n"
         "found through PENWICK_USB_IDS (local devices) and PENWICK_USBIP (USB/IP servers).\n"
         "Reboot the receiver when asked: the transfer starts when it comes back.\n"
         "\n"
         "  --console          show the run on the terminal (also PENWICK_UI=console); without\n"
         "                     it the run is shown in a window when a display can be reached\n"
         "  --service          show the window's service panel (serial upload, unpack, pack,\n"
         "                     identities); without -f the session ends with status 0\n"
         "  --json             JSON lines on stdout, one object per message, status, progress\n"
         "                     value and the result; the text for people goes to stderr\n"
         "  --timeout SECONDS  give up when no transfer has begun this long after start-up\n"
         "  --list             list the serial ports (with the COMn of each), the USB devices\n"
         "                     and the USB/IP servers the program can see, why it cannot use\n"
         "                     one, and the PENWICK_USB_IDS line for a receiver; no -f needed\n"
         "  --help, --version  this text, the version\n"
         "\n"
         "Exit status:\n" +
         pw::cli::ExitCodeHelp();
}

}  // namespace app
