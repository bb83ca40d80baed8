// What both frame receiver targets check of one receive: a frame given as whole carries a right
// sum, and nothing else than a frame, nothing yet or a bad sum comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "frames.h"

namespace fuzz {

// Receives one frame with the upload or the download session's receiver; true when a whole
// frame came. Aborts on a result the receivers never give or a whole frame with a wrong sum.
inline bool ReceiveOneFrame(transfer::SerialReceiver& receiver, bool upload,
                            uint8_t (&frame)[transfer::kSerialFrameBuffer]) {
  const int result = upload ? transfer::RxPacket_Upload(receiver, frame)
                            : transfer::RxPacket_Download(receiver, frame);
  if (result == transfer::kRxFrame) {
    const size_t summed = static_cast<size_t>(frame[transfer::kFrameLen]) + 3;
    if (transfer::FrameSum(frame, summed) != frame[summed]) std::abort();
    return true;
  }
  if (result != transfer::kRxNone && result != transfer::kRxBadSum) std::abort();
  return false;
}

}  // namespace fuzz
