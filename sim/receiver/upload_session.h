// The receiver's side of an upload, which the PC leads once the session is open (after the
// receiver's CMD_REQUEST on the serial line, after the PC's opening on USB): the receiver
// serves the size queries and block requests for the packed flash image and then the EEPROM
// image from given images, and checks that the PC follows the rules: every frame's PSN one
// more than the one before (starting from the request's on the serial line, from the PC's
// first frame on USB), flash before EEPROM, blocks in order and of the link's length, nothing
// past the end, and CMD_END at the end.
#pragma once

#include <chrono>
#include <cstdint>

#include "faults.h"
#include "images.h"
#include "link.h"
#include "session_io.h"

namespace sim {

struct UploadOptions {
  uint8_t psn = 0;
  Identity identity;
  std::chrono::milliseconds answerTimeout{3000};  // for CMD_UP_READY
  std::chrono::milliseconds idleTimeout{15000};   // between the PC's frames
  std::chrono::milliseconds openTimeout{30000};   // for the PC's opening (USB)
  int tries = 4;                                  // sends of CMD_REQUEST
  uint32_t flashSize = 131072;                    // announced size of the packed image
  uint32_t eepromSize = 256;                      // announced size of the EEPROM image
};

SessionResult RunUpload(Link& link, const UploadOptions& options, FaultPlan& faults,
                        const Images& served, const LogFn& log);

}  // namespace sim
