// The serial side's command line.
#pragma once

#include <string>
#include <vector>

#include "receiver/download_session.h"
#include "receiver/faults.h"
#include "receiver/upload_session.h"

namespace sim {

enum class Mode { Download, Upload };

struct SerialOptions {
  Mode mode = Mode::Download;
  std::string transferFile;  // download: expected images; upload: served images
  std::string pakFile;       // upload/download: a packed image file instead
  std::string eepromFile;    // with --pak
  int comNumber = 1;         // PENWICK_COM<n> for --run
  int timeoutSeconds = 30;   // wait for the reboot frame
  bool waitReboot = true;
  int rebootDelayMs = 50;  // the receiver restarting
  uint8_t psn = 0;
  Identity identity;
  bool modelIdGiven = false;
  size_t blockSize = 255;
  BlockOrder order = BlockOrder::Sequential;
  uint32_t seed = 1;
  int answerMs = 3000;
  int prepareMs = 60000;
  int idleMs = 15000;
  int tries = 4;
  uint32_t flashSize = 131072;
  size_t noise = 0;
  int hangupAfter = 0;  // hang up the line after this many frames sent (0: never)
  FaultPlan faults;
  int lingerMs = 0;      // keep the line open this long after the end
  std::string saveFile;  // download: write the file as received
  bool verbose = false;
  std::vector<std::string> run;  // command to run with PENWICK_COMn set
};

extern const char kSerialUsage[];

// Parses argv (argv[0] is the side's name). False with a message in `error` on a bad option;
// `*help` is set for --help.
bool ParseSerialOptions(int argc, char** argv, SerialOptions* out, bool* help, std::string* error);

}  // namespace sim
