// The serial side's command line: the receiver's shared options and those of the line.
#pragma once

#include <string>
#include <vector>

#include "receiver/receiver_options.h"

namespace sim {

struct SerialOptions : ReceiverOptions {
  int comNumber = 1;  // PENWICK_COM<n> for --run
  bool waitReboot = true;
  int rebootDelayMs = 50;  // the receiver restarting
  size_t noise = 0;
  std::vector<std::string> run;  // command to run with PENWICK_COMn set
};

// The usage text of the serial side.
std::string SerialUsage();

// Parses argv (argv[0] is the side's name). False with a message in `error` on a bad option;
// `*help` is set for --help.
bool ParseSerialOptions(int argc, char** argv, SerialOptions* out, bool* help, std::string* error);

}  // namespace sim
