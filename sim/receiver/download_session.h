// The receiver's side of a download, which the receiver leads once the session is open (it
// announces itself with CMD_REQUEST on the serial line; on USB it answers the PC's opening):
// it learns the download file's size from the stream's header and chunk lengths, asks for the
// whole file in blocks of its chosen sizes and order, checks every answer (command, PSN,
// length), ends with CMD_END and then checks the file.
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
  std::vector<size_t> blockSizes{255};  // used in turn, block after block
  BlockOrder order = BlockOrder::Sequential;
  uint32_t seed = 1;
  std::chrono::milliseconds answerTimeout{3000};
  // The PC writes the download file between CMD_DOWN_READY and its first answer.
  std::chrono::milliseconds prepareTimeout{60000};
  std::chrono::milliseconds openTimeout{30000};  // for the PC's opening (USB)
  int tries = 4;                                 // sends of one request before giving up
};

SessionResult RunDownload(Link& link, const DownloadOptions& options, FaultPlan& faults,
                          const Images& expected, const ChunkExpander& expand, const LogFn& log);

}  // namespace sim
