// The command line of penwick-files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace penwick_files {

enum class Verb { kSend, kReceive, kInfo };

struct FilesCommand {
  Verb verb = Verb::kInfo;
  std::string local;
  std::string remote;
  uint64_t from = 0;                       // send: start at this byte of LOCAL
  bool resume = false;                     // receive: continue LOCAL from its size
  bool force = false;                      // receive: replace an existing LOCAL
  std::optional<uint64_t> timeoutSeconds;  // wait for a receiver at most this long
  bool help = false;
  bool version = false;
};

extern const char kFilesUsage[];

// Parses argv; false with a message in `*error`.
bool ParseFilesCommand(int argc, char** argv, FilesCommand* command, std::string* error);

}  // namespace penwick_files
