// Parsing the serial side's command line.
#include "options.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "number_option.h"

namespace sim {

const char kSerialUsage[] =
    "usage: penwick-sim serial [options] [--run COMMAND ARGS...]\n"
    "\n"
    "Plays the receiver on a pseudo-terminal. The first line of standard output is\n"
    "\"PTY <slave path>\"; the PC opens that path (or COMn when PENWICK_COMn names it).\n"
    "The receiver waits for the reboot frame, then announces itself with CMD_REQUEST and\n"
    "plays the chosen mode. The last line is \"SIM OK <mode> ...\" or \"SIM FAIL <reason>\";\n"
    "the exit status is 0 for OK, 1 for FAIL, 2 for a bad command line.\n"
    "\n"
    "Mode and images:\n"
    "  --mode download|upload  download: fetch the download file and verify it (default);\n"
    "                          upload: serve the images to the PC\n"
    "  --file PATH             transfer file (64-byte header, packed image, EEPROM image):\n"
    "                          the expected images (download) or the served ones (upload)\n"
    "  --pak PATH --eeprom PATH  packed image (131072 bytes) and EEPROM image (256 bytes)\n"
    "                          files instead of --file\n"
    "Line and start:\n"
    "  --run COMMAND ARGS...   run COMMAND with PENWICK_COM<n> set to the slave path; the\n"
    "                          rest of the command line belongs to it; a command that ends\n"
    "                          with a non-zero status makes the run FAIL\n"
    "  --com N                 n of PENWICK_COM<n> (default 1)\n"
    "  --timeout SECONDS       wait this long for the reboot frame, and for the command of\n"
    "                          --run to end after the transfer (default 30)\n"
    "  --no-reboot             do not wait for the reboot frame; start at once\n"
    "  --reboot-delay-ms N     pause between the reboot frame and CMD_REQUEST (default 50)\n"
    "Identity:\n"
    "  --psn N                 PSN of CMD_REQUEST (default 0)\n"
    "  --system-id N           system id (default 0x1234)\n"
    "  --model-id HEX          the 32-byte identity block as 64 hex digits (default: one\n"
    "                          carrying the system id with a correct check byte)\n"
    "Download:\n"
    "  --block-size N          bytes per block request, 1 to 255 (default 255)\n"
    "  --order sequential|reverse|shuffled  order of the block requests (default sequential)\n"
    "  --seed N                seed of the shuffled order and of the noise (default 1)\n"
    "  --answer-ms N           wait for an answer before asking again (default 3000; in an\n"
    "                          upload, the wait for CMD_UP_READY)\n"
    "  --prepare-ms N          wait for the first block answer, while the PC writes the\n"
    "                          download file (default 60000)\n"
    "  --tries N               sends of one request (or of CMD_REQUEST in an upload) before\n"
    "                          giving up (default 4)\n"
    "  --save PATH             write the download file as received\n"
    "Upload:\n"
    "  --idle-ms N             longest silence of the PC between frames (default 15000)\n"
    "  --flash-size N          size announced for the packed image (default 131072)\n"
    "Faults (N counts frames from 1, a retry counts as a new frame; N may be a list such as\n"
    "3,4,5):\n"
    "  --corrupt-sum N         the SUM of the Nth frame the receiver sends is off by one\n"
    "  --stale-psn N           upload: the Nth answer carries the previous PSN\n"
    "  --short-block N         upload: the Nth block answer is one byte short\n"
    "  --drop N                upload: the Nth answer is not sent; download: the Nth block\n"
    "                          answer is treated as lost and the block asked for again\n"
    "  --end-after N           download: send CMD_END after N block answers (0: right after\n"
    "                          CMD_DOWN_READY) and check only the answers\n"
    "  --beyond-end            download: also ask for a block ending one byte past the end of\n"
    "                          the file; the PC must leave it unanswered\n"
    "  --noise N               N noise bytes before every frame the receiver sends\n"
    "  --hangup-after N        hang up the line (as if the cable were pulled) after sending\n"
    "                          N frames; the run is OK if all was well until then\n"
    "Other:\n"
    "  --linger-ms N           keep the line open N ms after the transfer (default 0; with\n"
    "                          --run it stays open until the command has ended)\n"
    "  --verbose               log every frame on standard error\n"
    "  --help                  this text\n";

namespace {

bool HexBytes(const char* text, std::array<uint8_t, 32>* out) {
  if (std::strlen(text) != 64) return false;
  for (size_t i = 0; i < 32; ++i) {
    char pair[3] = {text[2 * i], text[2 * i + 1], 0};
    char* end = nullptr;
    long v = std::strtol(pair, &end, 16);
    if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0]))) return false;
    (*out)[i] = static_cast<uint8_t>(v);
  }
  return true;
}

// "3" or "3,4,5": 1-based frame counts.
bool CountList(const std::string& text, std::set<int>* out) {
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    unsigned long v = 0;
    if (!ParseNumber(text.substr(at, comma - at).c_str(), 0, 10000000, &v) || v == 0) return false;
    out->insert(static_cast<int>(v));
    at = comma + 1;
  }
  return true;
}

}  // namespace

bool ParseSerialOptions(int argc, char** argv, SerialOptions* o, bool* help, std::string* error) {
  *help = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    unsigned long n = 0;
    auto num = [&](unsigned long max) {
      if (!ParseNumber(value, 0, max, &n)) {
        *error = arg + " needs a number up to " + std::to_string(max);
        return false;
      }
      ++i;
      return true;
    };
    auto text = [&](std::string* into) {
      if (value == nullptr) {
        *error = arg + " needs a value";
        return false;
      }
      *into = value;
      ++i;
      return true;
    };
    std::string word;
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
    } else if (arg == "--mode") {
      if (!text(&word)) return false;
      if (word == "download")
        o->mode = Mode::Download;
      else if (word == "upload")
        o->mode = Mode::Upload;
      else
        return *error = "--mode is download or upload", false;
    } else if (arg == "--order") {
      if (!text(&word)) return false;
      if (word == "sequential")
        o->order = BlockOrder::Sequential;
      else if (word == "reverse")
        o->order = BlockOrder::Reverse;
      else if (word == "shuffled")
        o->order = BlockOrder::Shuffled;
      else
        return *error = "--order is sequential, reverse or shuffled", false;
    } else if (arg == "--file") {
      if (!text(&o->transferFile)) return false;
    } else if (arg == "--pak") {
      if (!text(&o->pakFile)) return false;
    } else if (arg == "--eeprom") {
      if (!text(&o->eepromFile)) return false;
    } else if (arg == "--save") {
      if (!text(&o->saveFile)) return false;
    } else if (arg == "--model-id") {
      if (!text(&word)) return false;
      if (!HexBytes(word.c_str(), &o->identity.modelId))
        return *error = "--model-id needs 64 hex digits", false;
      o->modelIdGiven = true;
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
    } else if (arg == "--psn") {
      if (!num(255)) return false;
      o->psn = static_cast<uint8_t>(n);
    } else if (arg == "--system-id") {
      if (!num(0xFFFF)) return false;
      o->identity.systemId = static_cast<uint16_t>(n);
    } else if (arg == "--block-size") {
      if (!num(255)) return false;
      if (n == 0) return *error = "--block-size is 1 to 255", false;
      o->blockSize = n;
    } else if (arg == "--seed") {
      if (!num(0xFFFFFFFF)) return false;
      o->seed = static_cast<uint32_t>(n);
    } else if (arg == "--answer-ms" || arg == "--prepare-ms" || arg == "--idle-ms") {
      if (!num(3600000)) return false;
      int& into = arg == "--answer-ms"    ? o->answerMs
                  : arg == "--prepare-ms" ? o->prepareMs
                                          : o->idleMs;
      into = static_cast<int>(n);
    } else if (arg == "--linger-ms") {
      if (!num(3600000)) return false;
      o->lingerMs = static_cast<int>(n);
    } else if (arg == "--tries") {
      if (!num(1000)) return false;
      if (n == 0) return *error = "--tries is at least 1", false;
      o->tries = static_cast<int>(n);
    } else if (arg == "--flash-size") {
      if (!num(0xFFFFFF)) return false;
      o->flashSize = static_cast<uint32_t>(n);
    } else if (arg == "--hangup-after") {
      if (!num(10000000)) return false;
      o->hangupAfter = static_cast<int>(n);
    } else if (arg == "--noise") {
      if (!num(4096)) return false;
      o->noise = n;
    } else if (arg == "--corrupt-sum" || arg == "--stale-psn" || arg == "--short-block" ||
               arg == "--drop") {
      std::set<int>& into = arg == "--corrupt-sum"   ? o->faults.corruptSum
                            : arg == "--stale-psn"   ? o->faults.stalePsn
                            : arg == "--short-block" ? o->faults.shortBlock
                                                     : o->faults.drop;
      if (!text(&word) || !CountList(word, &into))
        return *error = arg + " needs frame counts like 3 or 3,4,5", false;
    } else if (arg == "--end-after") {
      if (!num(0xFFFFFF)) return false;
      o->faults.endAfter = static_cast<int>(n);
    } else if (arg == "--beyond-end") {
      o->faults.beyondEnd = true;
    } else if (arg == "--verbose" || arg == "-v") {
      o->verbose = true;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (o->transferFile.empty() && o->pakFile.empty())
    return *error = "--file or --pak/--eeprom is required", false;
  if (!o->transferFile.empty() && !o->pakFile.empty())
    return *error = "--file and --pak exclude each other", false;
  if (!o->pakFile.empty() && o->eepromFile.empty()) return *error = "--pak needs --eeprom", false;
  if (!o->modelIdGiven) o->identity.modelId = MakeModelId(o->identity.systemId);
  return true;
}

}  // namespace sim
