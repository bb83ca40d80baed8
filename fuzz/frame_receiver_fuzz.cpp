// Arbitrary received bytes in the serial receive queue, taken apart by the download and the
// upload session's frame receivers, fed in pieces so that frames and magics straddle calls.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "frame_check.h"
#include "frames.h"
#include "fuzz_target.h"

namespace {

// Receives every frame of the input; returns how many were whole with a right sum.
size_t ReceiveAll(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool upload = (data[0] & 1) != 0;
  const size_t piece = static_cast<size_t>(data[1]) + 1;
  data += 2;
  size -= 2;

  transfer::CByteQueue queue;
  transfer::SerialReceiver receiver;
  receiver.queue = &queue;
  receiver.running = [] { return true; };
  receiver.bodyWait = std::chrono::milliseconds(0);
  uint8_t frame[transfer::kSerialFrameBuffer];
  size_t frames = 0;
  for (size_t at = 0; at < size || queue.Count() > 0;) {
    if (at < size) {
      const size_t n = piece < size - at ? piece : size - at;
      if (!queue.PushChunk(data + at, n)) std::abort();  // the receiver drains every call
      at += n;
    }
    while (queue.Count() > 0) {
      if (fuzz::ReceiveOneFrame(receiver, upload, frame)) ++frames;
    }
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReceiveAll(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return ReceiveAll(data, size) == 0;
}
