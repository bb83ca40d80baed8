// The receiver's side of a download, which the receiver leads: it announces itself with
// CMD_REQUEST, learns the download file's size from the stream's header and chunk lengths,
// asks for the whole file in blocks of its chosen size and order, checks every answer (command,
// PSN, length, and that repeated blocks agree), ends with CMD_END and then checks the file.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "download_check.h"
#include "faults.h"
#include "images.h"
#include "link.h"
#include "session_io.h"

namespace sim {

enum class BlockOrder { Sequential, Reverse, Shuffled };

struct DownloadOptions {
  uint8_t psn = 0;  // PSN of CMD_REQUEST; every later request takes the next one
  Identity identity;
  size_t blockSize = 255;
  BlockOrder order = BlockOrder::Sequential;
  uint32_t seed = 1;
  std::chrono::milliseconds answerTimeout{3000};
  // The PC writes the download file between CMD_DOWN_READY and its first answer.
  std::chrono::milliseconds prepareTimeout{60000};
  int tries = 4;  // sends of one request before giving up
};

struct SessionResult {
  bool ok = false;
  std::string summary;        // one line, without the "SIM OK"/"SIM FAIL" prefix
  std::vector<uint8_t> file;  // download: the file as received
  size_t retries = 0;         // requests sent again
  size_t staleAnswers = 0;    // answers to an earlier request, ignored
  bool lineLost = false;      // it ended because the line failed or closed
};

SessionResult RunDownload(Link& link, const DownloadOptions& options, FaultPlan& faults,
                          const Images& expected, const ChunkExpander& expand, const LogFn& log);

}  // namespace sim
