// Parsing the serial side's command line.
#include "options.h"

namespace sim {

std::string SerialUsage() {
  return "Usage: penwick-sim serial [options] [--run COMMAND ARGS...]\n"
         "\n"
         "Plays the receiver on a pseudo-terminal. The first line of standard output is\n"
         "\"PTY <slave path>\"; the PC opens that path (or COMn when PENWICK_COMn names it).\n"
         "The receiver waits for the reboot frame, then announces itself with CMD_REQUEST and\n"
         "plays the chosen mode. The last line is \"SIM OK <mode> ...\" or \"SIM FAIL <reason>\";\n"
         "the exit status is 0 for OK, 1 for FAIL, 2 for a bad command line.\n"
         "\n"
         "Line and start:\n"
         "  --run COMMAND ARGS...   run COMMAND with PENWICK_COM<n> set to the slave path; the\n"
         "                          rest of the command line belongs to it; a command that ends\n"
         "                          with a non-zero status makes the run FAIL\n"
         "  --com N                 n of PENWICK_COM<n> (default 1)\n"
         "  --timeout SECONDS       wait this long for the reboot frame, and for the command of\n"
         "                          --run to end after the transfer (default 30)\n"
         "  --no-reboot             do not wait for the reboot frame; start at once\n"
         "  --reboot-delay-ms N     pause between the reboot frame and CMD_REQUEST (default 50)\n"
         "  --noise N               N noise bytes before every frame the receiver sends\n"
         "  --hangup-after N        hang up the line (as if the cable were pulled) after sending\n"
         "                          N frames; the run is OK if all was well until then\n"
         "  --linger-ms N           keep the line open N ms after the transfer (default 0; with\n"
         "                          --run it stays open until the command has ended)\n" +
         ReceiverUsage(255) + "  --help                  this text\n";
}

bool ParseSerialOptions(int argc, char** argv, SerialOptions* o, bool* help, std::string* error) {
  *help = false;
  for (int i = 1; i < argc; ++i) {
    OptionCursor at{argc, argv, &i, error};
    const std::string arg = at.Name();
    switch (ParseReceiverOption(at, 255, o)) {
      case OptionParse::Taken:
        continue;
      case OptionParse::Bad:
        return false;
      case OptionParse::NotMine:
        break;
    }
    unsigned long n = 0;
    auto num = [&](unsigned long max) { return at.Number(max, &n); };
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    } else if (arg == "--run") {
      o->run.assign(argv + i + 1, argv + argc);
      if (o->run.empty()) {
        *error = "--run needs a command";
        return false;
      }
      break;
    } else if (arg == "--com") {
      if (!num(255)) return false;
      o->comNumber = static_cast<int>(n);
    } else if (arg == "--timeout") {
      if (!num(86400)) return false;
      o->timeoutSeconds = static_cast<int>(n);
    } else if (arg == "--no-reboot") {
      o->waitReboot = false;
    } else if (arg == "--reboot-delay-ms") {
      if (!num(60000)) return false;
      o->rebootDelayMs = static_cast<int>(n);
    } else if (arg == "--linger-ms") {
      if (!num(3600000)) return false;
      o->lingerMs = static_cast<int>(n);
    } else if (arg == "--hangup-after") {
      if (!num(10000000)) return false;
      o->hangupAfter = static_cast<int>(n);
    } else if (arg == "--noise") {
      if (!num(4096)) return false;
      o->noise = n;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return FinishReceiverOptions(o, error);
}

}  // namespace sim
