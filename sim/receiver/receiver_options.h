// The command-line options both sides of the emulated receiver share: the mode, the images,
// the identity, how the receiver plays a download or an upload, and the faults it injects.
// Each side adds the options of its own link.
#pragma once

#include <string>
#include <vector>

#include "download_session.h"
#include "faults.h"
#include "upload_session.h"

namespace sim {

enum class Mode { Download, Upload };

struct ReceiverOptions {
  Mode mode = Mode::Download;
  std::string transferFile;  // download: expected images; upload: served images
  std::string pakFile;       // a packed image file instead
  std::string eepromFile;    // with --pak
  int timeoutSeconds = 30;   // wait for the PC to start a transfer
  uint8_t psn = 0;
  Identity identity;
  bool modelIdGiven = false;
  std::vector<size_t> blockSizes{255};
  BlockOrder order = BlockOrder::Sequential;
  uint32_t seed = 1;
  int answerMs = 3000;
  int prepareMs = 60000;
  int idleMs = 15000;
  int tries = 4;
  uint32_t flashSize = 131072;
  uint32_t eepromSize = 256;
  int hangupAfter = 0;  // hang up the line after this many frames sent (0: never)
  FaultPlan faults;
  int lingerMs = 0;      // keep the line this long after the end
  std::string saveFile;  // download: write the file as received
  bool verbose = false;
};

// The option at argv[*i] and the reading of its value (which advances *i).
struct OptionCursor {
  int argc;
  char** argv;
  int* i;
  std::string* error;

  std::string Name() const { return argv[*i]; }
  // A number up to `max`; false with a message in `error`.
  bool Number(unsigned long max, unsigned long* out);
  // Any text; false when the value is missing.
  bool Text(std::string* out);
};

enum class OptionParse { Taken, NotMine, Bad };

// Parses the shared option at argv[*i] (and its value, advancing *i). `maxBlock` is the
// largest block request of the side's link.
OptionParse ParseReceiverOption(OptionCursor& at, size_t maxBlock, ReceiverOptions* o);
// Checks the options as a whole once all are parsed, and fills in the default identity.
bool FinishReceiverOptions(ReceiverOptions* o, std::string* error);

// The usage lines of the shared options, for a side's --help.
std::string ReceiverUsage(size_t maxBlock);

// The images the options name: read from the transfer file or the two image files.
bool LoadReceiverImages(const ReceiverOptions& o, Images* images, std::string* error);

// The session options the shared ones make.
DownloadOptions MakeDownloadOptions(const ReceiverOptions& o);
UploadOptions MakeUploadOptions(const ReceiverOptions& o);

}  // namespace sim
