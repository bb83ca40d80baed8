#include "receiver_options.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "number_option.h"

namespace sim {

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

// "3", "3,4,5" or "2-100,105": 1-based frame counts.
bool CountList(const std::string& text, std::set<int>* out) {
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    const size_t dash = item.find('-');
    unsigned long first = 0, last = 0;
    if (!ParseNumber(item.substr(0, dash).c_str(), 0, 10000000, &first) || first == 0) return false;
    last = first;
    if (dash != std::string::npos &&
        (!ParseNumber(item.substr(dash + 1).c_str(), 0, 10000000, &last) || last < first ||
         last - first > 1000000))
      return false;
    for (unsigned long n = first; n <= last; ++n) out->insert(static_cast<int>(n));
    at = comma + 1;
  }
  return true;
}

// "255" or "1,9,65527": block sizes from 1 to `max`.
bool SizeList(const std::string& text, size_t max, std::vector<size_t>* out) {
  out->clear();
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    unsigned long v = 0;
    if (!ParseNumber(text.substr(at, comma - at).c_str(), 0, max, &v) || v == 0) return false;
    out->push_back(v);
    at = comma + 1;
  }
  return true;
}

}  // namespace

std::string ReceiverUsage(size_t maxBlock) {
  const std::string max = std::to_string(maxBlock);
  return "Mode and images:\n"
         "  --mode download|upload  download: fetch the download file and verify it (default);\n"
         "                          upload: serve the images to the PC\n"
         "  --file PATH             transfer file (64-byte header, packed image, EEPROM image):\n"
         "                          the expected images (download) or the served ones (upload)\n"
         "  --pak PATH --eeprom PATH  packed image (131072 bytes) and EEPROM image (256 bytes)\n"
         "                          files instead of --file\n"
         "Identity:\n"
         "  --psn N                 PSN of the receiver's first own frame (default 0)\n"
         "  --system-id N           system id (default 0x1234)\n"
         "  --model-id HEX          the 32-byte identity block as 64 hex digits (default: one\n"
         "                          carrying the system id with a correct check byte)\n"
         "Download:\n"
         "  --block-size N[,N...]   bytes per block request, 1 to " +
         max +
         " (default 255); a list\n"
         "                          is used in turn, block after block\n"
         "  --order sequential|reverse|shuffled  order of the block requests (default sequential)\n"
         "  --seed N                seed of the shuffled order (and of noise) (default 1)\n"
         "  --answer-ms N           wait for an answer before asking again (default 3000; in a\n"
         "                          serial upload, the wait for CMD_UP_READY)\n"
         "  --prepare-ms N          wait for the first block answer, while the PC writes the\n"
         "                          download file (default 60000)\n"
         "  --tries N               sends of one request (or of CMD_REQUEST in a serial upload)\n"
         "                          before giving up (default 4)\n"
         "  --save PATH             write the download file as received\n"
         "Upload:\n"
         "  --idle-ms N             longest silence of the PC between frames (default 15000)\n"
         "  --flash-size N          size announced for the packed image (default 131072)\n"
         "  --eeprom-size N         size announced for the EEPROM image (default 256)\n"
         "Faults (N counts frames from 1 over the whole run, a retry counts as a new frame; N\n"
         "may be a list such as 3,4,5 or a range such as 2-100):\n"
         "  --corrupt-sum N         the SUM of the Nth frame the receiver sends is off by one\n"
         "  --wrong-cmd N           the Nth frame the receiver sends carries another command (4\n"
         "                          in place of its own; 8 in place of a 4)\n"
         "  --stale-psn N           upload: the Nth answer carries the previous PSN\n"
         "  --short-block N         upload: the Nth block answer is one byte short\n"
         "  --long-block N          upload: the Nth block answer carries 3 bytes more than asked\n"
         "  --drop N                upload: the Nth answer is not sent; download: the Nth block\n"
         "                          answer is treated as lost and the block asked for again\n"
         "  --drop-request N        download: the Nth block request is lost on the way; the\n"
         "                          receiver asks again after --answer-ms\n"
         "  --end-after N           download: send CMD_END after N block answers (0: right after\n"
         "                          the handshake) and check only the answers\n"
         "  --beyond-end            download: also ask for a block ending one byte past the end "
         "of\n"
         "                          the file; the PC must not serve it\n"
         "  --verbose               log every frame on standard error\n";
}

bool OptionCursor::Number(unsigned long max, unsigned long* out) {
  const char* value = *i + 1 < argc ? argv[*i + 1] : nullptr;
  if (!ParseNumber(value, 0, max, out)) {
    *error = Name() + " needs a number up to " + std::to_string(max);
    return false;
  }
  ++*i;
  return true;
}

bool OptionCursor::Text(std::string* out) {
  if (*i + 1 >= argc) {
    *error = Name() + " needs a value";
    return false;
  }
  *out = argv[++*i];
  return true;
}

OptionParse ParseReceiverOption(OptionCursor& at, size_t maxBlock, ReceiverOptions* o) {
  const std::string arg = at.Name();
  unsigned long n = 0;
  auto bad = [&](const std::string& why) {
    *at.error = why;
    return OptionParse::Bad;
  };
  auto num = [&](unsigned long max) { return at.Number(max, &n); };
  auto text = [&](std::string* into) { return at.Text(into); };
  std::string word;
  if (arg == "--mode") {
    if (!text(&word)) return OptionParse::Bad;
    if (word == "download")
      o->mode = Mode::Download;
    else if (word == "upload")
      o->mode = Mode::Upload;
    else
      return bad("--mode is download or upload");
  } else if (arg == "--order") {
    if (!text(&word)) return OptionParse::Bad;
    if (word == "sequential")
      o->order = BlockOrder::Sequential;
    else if (word == "reverse")
      o->order = BlockOrder::Reverse;
    else if (word == "shuffled")
      o->order = BlockOrder::Shuffled;
    else
      return bad("--order is sequential, reverse or shuffled");
  } else if (arg == "--file" || arg == "--pak" || arg == "--eeprom" || arg == "--save") {
    std::string& into = arg == "--file"     ? o->transferFile
                        : arg == "--pak"    ? o->pakFile
                        : arg == "--eeprom" ? o->eepromFile
                                            : o->saveFile;
    if (!text(&into)) return OptionParse::Bad;
  } else if (arg == "--model-id") {
    if (!text(&word)) return OptionParse::Bad;
    if (!HexBytes(word.c_str(), &o->identity.modelId)) return bad("--model-id needs 64 hex digits");
    o->modelIdGiven = true;
  } else if (arg == "--psn") {
    if (!num(255)) return OptionParse::Bad;
    o->psn = static_cast<uint8_t>(n);
  } else if (arg == "--system-id") {
    if (!num(0xFFFF)) return OptionParse::Bad;
    o->identity.systemId = static_cast<uint16_t>(n);
  } else if (arg == "--block-size") {
    if (!text(&word)) return OptionParse::Bad;
    if (!SizeList(word, maxBlock, &o->blockSizes))
      return bad("--block-size is 1 to " + std::to_string(maxBlock) + ", or a list of them");
  } else if (arg == "--seed") {
    if (!num(0xFFFFFFFF)) return OptionParse::Bad;
    o->seed = static_cast<uint32_t>(n);
  } else if (arg == "--answer-ms" || arg == "--prepare-ms" || arg == "--idle-ms") {
    if (!num(3600000)) return OptionParse::Bad;
    int& into = arg == "--answer-ms"    ? o->answerMs
                : arg == "--prepare-ms" ? o->prepareMs
                                        : o->idleMs;
    into = static_cast<int>(n);
  } else if (arg == "--tries") {
    if (!num(1000)) return OptionParse::Bad;
    if (n == 0) return bad("--tries is at least 1");
    o->tries = static_cast<int>(n);
  } else if (arg == "--flash-size" || arg == "--eeprom-size") {
    if (!num(0xFFFFFF)) return OptionParse::Bad;
    (arg == "--flash-size" ? o->flashSize : o->eepromSize) = static_cast<uint32_t>(n);
  } else if (arg == "--corrupt-sum" || arg == "--stale-psn" || arg == "--short-block" ||
             arg == "--long-block" || arg == "--wrong-cmd" || arg == "--drop" ||
             arg == "--drop-request") {
    FaultPlan& f = o->faults;
    std::set<int>& into = arg == "--corrupt-sum"   ? f.corruptSum
                          : arg == "--stale-psn"   ? f.stalePsn
                          : arg == "--short-block" ? f.shortBlock
                          : arg == "--long-block"  ? f.longBlock
                          : arg == "--wrong-cmd"   ? f.wrongCmd
                          : arg == "--drop"        ? f.drop
                                                   : f.dropRequest;
    if (!text(&word) || !CountList(word, &into))
      return bad(arg + " needs frame counts like 3, 3,4,5 or 2-100");
  } else if (arg == "--end-after") {
    if (!num(0xFFFFFF)) return OptionParse::Bad;
    o->faults.endAfter = static_cast<int>(n);
  } else if (arg == "--beyond-end") {
    o->faults.beyondEnd = true;
  } else if (arg == "--verbose" || arg == "-v") {
    o->verbose = true;
  } else {
    return OptionParse::NotMine;
  }
  return OptionParse::Taken;
}

bool FinishReceiverOptions(ReceiverOptions* o, std::string* error) {
  if (o->transferFile.empty() && o->pakFile.empty())
    return *error = "--file or --pak/--eeprom is required", false;
  if (!o->transferFile.empty() && !o->pakFile.empty())
    return *error = "--file and --pak exclude each other", false;
  if (!o->pakFile.empty() && o->eepromFile.empty()) return *error = "--pak needs --eeprom", false;
  if (!o->modelIdGiven) o->identity.modelId = MakeModelId(o->identity.systemId);
  return true;
}

bool LoadReceiverImages(const ReceiverOptions& o, Images* images, std::string* error) {
  return o.pakFile.empty() ? LoadTransferFile(o.transferFile, images, error)
                           : LoadImageFiles(o.pakFile, o.eepromFile, images, error);
}

DownloadOptions MakeDownloadOptions(const ReceiverOptions& o) {
  DownloadOptions d;
  d.psn = o.psn;
  d.identity = o.identity;
  d.blockSizes = o.blockSizes;
  d.order = o.order;
  d.seed = o.seed;
  d.answerTimeout = std::chrono::milliseconds(o.answerMs);
  d.prepareTimeout = std::chrono::milliseconds(o.prepareMs);
  d.openTimeout = std::chrono::seconds(o.timeoutSeconds);
  d.tries = o.tries;
  return d;
}

UploadOptions MakeUploadOptions(const ReceiverOptions& o) {
  UploadOptions u;
  u.psn = o.psn;
  u.identity = o.identity;
  u.answerTimeout = std::chrono::milliseconds(o.answerMs);
  u.idleTimeout = std::chrono::milliseconds(o.idleMs);
  u.openTimeout = std::chrono::seconds(o.timeoutSeconds);
  u.tries = o.tries;
  u.flashSize = o.flashSize;
  u.eepromSize = o.eepromSize;
  return u;
}

}  // namespace sim
