// Parsing of penwick-files' command line: a verb, its operands, options anywhere after it.
#include "files_command.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace penwick_files {
namespace {

bool ParseCount(std::string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != text.npos) {
    return false;
  }
  *value = std::strtoull(std::string(text).c_str(), nullptr, 10);
  return true;
}

}  // namespace

const char kFilesUsage[] =
    "Usage: penwick-files send LOCAL REMOTE [--from BYTES] [--timeout SECONDS]\n"
    "  or:  penwick-files receive REMOTE LOCAL [--resume | --force] [--timeout SECONDS]\n"
    "  or:  penwick-files info [--timeout SECONDS]\n"
    "  or:  penwick-files --help | --version\n"
    "Sends a file to the receiver's file store or fetches one from it over USB, waiting for a\n"
    "receiver first (PENWICK_USB_IDS, PENWICK_USBIP). Ctrl-C cancels the transfer.\n"
    "  send               copies LOCAL to REMOTE; a file REMOTE the receiver has is replaced\n"
    "  receive            copies REMOTE into a temporary file beside LOCAL, which becomes LOCAL\n"
    "                     only once the whole file has arrived: a failed or cancelled receive\n"
    "                     leaves LOCAL as it was\n"
    "  info               shows the receiver's vendor:product id and device version\n"
    "  --from BYTES       send: start at this byte of LOCAL (the receiver keeps what it has)\n"
    "  --resume           receive: continue a partly received LOCAL. The last 64 KB of LOCAL\n"
    "                     are fetched again and compared first; when they differ from REMOTE\n"
    "                     nothing is appended. A failed resume keeps what arrived (resume\n"
    "                     again) and gives LOCAL back its times\n"
    "  --force            receive: replace an existing LOCAL\n"
    "  --timeout SECONDS  wait at most this long for a receiver (default: until one comes)\n"
    "A failure is reported on stderr in one line saying why.\n";

bool ParseFilesCommand(int argc, char** argv, FilesCommand* command, std::string* error) {
  std::vector<std::string_view> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      command->help = true;
      return true;
    }
    if (arg == "--version") {
      command->version = true;
      return true;
    }
    if (arg == "--resume") {
      command->resume = true;
    } else if (arg == "--force") {
      command->force = true;
    } else if (arg == "--from" || arg == "--timeout") {
      uint64_t value = 0;
      if (i + 1 >= argc || !ParseCount(argv[i + 1], &value)) {
        *error = std::string(arg) + " needs a whole number";
        return false;
      }
      ++i;
      if (arg == "--from") {
        command->from = value;
      } else {
        command->timeoutSeconds = value;
      }
    } else if (arg.starts_with("--")) {
      *error = "unknown option " + std::string(arg);
      return false;
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.empty()) {
    *error = "send, receive or info?";
    return false;
  }
  const std::string_view verb = operands.front();
  const size_t wanted = verb == "info" ? 1 : 3;
  if (verb != "send" && verb != "receive" && verb != "info") {
    *error = "unknown command " + std::string(verb);
    return false;
  }
  if (operands.size() != wanted) {
    *error = std::string(verb) + " takes " + (wanted == 1 ? "no operands" : "two operands");
    return false;
  }
  command->verb = verb == "send" ? Verb::kSend : verb == "receive" ? Verb::kReceive : Verb::kInfo;
  if (command->verb == Verb::kSend) {
    command->local = operands[1];
    command->remote = operands[2];
  } else if (command->verb == Verb::kReceive) {
    command->remote = operands[1];
    command->local = operands[2];
  }
  const bool receiveOnly = command->resume || command->force;
  if ((receiveOnly && command->verb != Verb::kReceive) ||
      (command->from != 0 && command->verb != Verb::kSend)) {
    *error = "--from belongs to send, --resume and --force to receive";
    return false;
  }
  if (command->resume && command->force) {
    *error = "--resume or --force, not both";
    return false;
  }
  return true;
}

}  // namespace penwick_files
